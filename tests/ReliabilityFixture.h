// Helpers for the reliability tests: site folders of their own beside the one
// an e2e::Site lays out (so that several runs can go at once, each in its own
// folder, on a copy of one database file), a process runner with a watchdog
// that reports a killed or hanging run instead of failing the test from a
// worker thread, and snapshots of what a run leaves in a database file.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/E2eFixture.h"

namespace rel {

using Texts = std::vector<std::string>;

struct Outcome {
  e2e::RunResult run;
  bool signalled = false;  // ended by a signal
  int signal = 0;
  bool hung = false;       // still running at the watchdog's limit and killed
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A site of its own below `root`: ROOT/files/korvane.ini naming ROOT/<db>,
// the working directory four levels below ROOT with its Msg folder, and a
// console folder.
class Lane {
 public:
  Lane() = default;
  Lane(const std::string& root, const std::string& dbName = "test.db") : root_(root), db_(dbName) {
    namespace fs = std::filesystem;
    fs::create_directories(root_ + "/files");
    fs::create_directories(WorkDir() + "/Msg");
    fs::create_directories(root_ + "/console");
    e2e::Site::WriteConfig(ConfigPath(), "../../../../" + db_);
  }
  const std::string& root() const { return root_; }
  // The same site with console files of its own, for runs at once.
  Lane Alias(const std::string& tag) const {
    Lane other = *this;
    other.console_ = "console/" + tag;
    std::filesystem::create_directories(root_ + "/" + other.console_);
    return other;
  }
  std::string DbPath() const { return root_ + "/" + db_; }
  std::string WorkDir() const { return root_ + "/site/bin/batch/run"; }
  std::string ConfigPath() const { return root_ + "/files/korvane.ini"; }
  std::string LogPath() const { return WorkDir() + "/Msg/Pelvaro.Txt"; }
  std::string Log() const { return ReadFile(LogPath()); }
  void ClearLog() const { std::filesystem::remove(LogPath()); }

  // The database file replaced by a copy of `pristine` (its WAL and shared
  // memory files go too).
  void CopyDb(const std::string& pristine) const {
    namespace fs = std::filesystem;
    fs::remove(DbPath() + "-wal");
    fs::remove(DbPath() + "-shm");
    fs::copy_file(pristine, DbPath(), fs::copy_options::overwrite_existing);
  }

  // Runs the program with the frozen clock in this site's working directory.
  // A run that has not ended within `limit` is killed and marked hung.
  Outcome Run(const Texts& args, const Texts& env = {},
              std::chrono::milliseconds limit = std::chrono::seconds(60),
              const std::string& clock = e2e::kClock,
              const Texts& prefix = {}) const {
    Outcome o;
    // The program itself is the process, its clock stopped by PELVARO_NOW
    // (a clock library preloaded into it would not start under the
    // sanitizers). Behind a prefix (a change of user) the variable is handed
    // on by env.
    std::string now;
    for (char c : clock)
      if (c >= '0' && c <= '9') now += c;
    const Texts clockEnv = {"PELVARO_NOW=" + now};
    Texts argvText = prefix;
    Texts envText = {"TZ=UTC", "PATH=/usr/bin:/bin:/usr/sbin:/sbin"};
    if (prefix.empty()) {
      envText.insert(envText.end(), clockEnv.begin(), clockEnv.end());
    } else {
      argvText.push_back("/usr/bin/env");
      argvText.insert(argvText.end(), clockEnv.begin(), clockEnv.end());
    }
    argvText.push_back(e2e::kProgram);
    argvText.insert(argvText.end(), args.begin(), args.end());
    envText.insert(envText.end(), env.begin(), env.end());
    std::vector<char*> argv, envp;
    for (auto& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string outPath = root_ + "/" + console_ + "/stdout";
    const std::string errPath = root_ + "/" + console_ + "/stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addchdir_np(&actions, WorkDir().c_str());
    pid_t pid = 0;
    const char* program = argv[0];
    int rc = posix_spawnp(&pid, program, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      o.run.err = "posix_spawn failed: " + std::to_string(rc);
      return o;
    }
    o.run.started = true;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) break;
      if (done < 0) return o;
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        o.hung = true;
        return o;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    o.run.exited = WIFEXITED(status);
    o.run.exitStatus = o.run.exited ? WEXITSTATUS(status) : -1;
    o.signalled = WIFSIGNALED(status);
    o.signal = o.signalled ? WTERMSIG(status) : 0;
    o.run.out = ReadFile(outPath);
    o.run.err = ReadFile(errPath);
    return o;
  }

 private:
  std::string root_, db_;
  std::string console_ = "console";
};

// Exit status 0, silent console, within the watchdog's time.
inline ::testing::AssertionResult Clean(const Outcome& o) {
  if (o.hung) return ::testing::AssertionFailure() << "the run did not end and was killed";
  if (o.signalled) return ::testing::AssertionFailure() << "ended by signal " << o.signal;
  return e2e::CleanExit(o.run);
}

// A read connection to a database file, closed with the object.
class DbFile {
 public:
  explicit DbFile(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      sqlite3_close_v2(db_);
      db_ = nullptr;
    } else {
      sqlite3_busy_timeout(db_, 10000);
    }
  }
  ~DbFile() { sqlite3_close_v2(db_); }
  DbFile(const DbFile&) = delete;
  DbFile& operator=(const DbFile&) = delete;
  bool ok() const { return db_ != nullptr; }

  // Rows of a query, columns joined by '|', NULL as "<null>"; a failing
  // statement gives one row that says so.
  Texts Rows(const std::string& sql) {
    Texts out;
    sqlite3_stmt* st = nullptr;
    if (!db_ || sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      out.push_back(std::string("<error> ") + (db_ ? sqlite3_errmsg(db_) : "not open"));
      return out;
    }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        if (c) row += '|';
        const unsigned char* t = sqlite3_column_text(st, c);
        row += t ? reinterpret_cast<const char*>(t) : "<null>";
      }
      out.push_back(row);
    }
    if (rc != SQLITE_DONE) out.push_back(std::string("<error> ") + sqlite3_errmsg(db_));
    sqlite3_finalize(st);
    return out;
  }
  std::string One(const std::string& sql) {
    Texts rows = Rows(sql);
    return rows.empty() ? "<no row>" : rows[0];
  }
  bool Exec(const std::string& sql) {
    return db_ && sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  }

 private:
  sqlite3* db_ = nullptr;
};

// The columns of a table but the named one, quoted so that a number and a
// text of the same digits stay apart.
inline std::string QuotedColumnsBut(DbFile& db, const std::string& table,
                                    const std::string& left) {
  std::string cols;
  for (const std::string& c : db.Rows("SELECT name FROM pragma_table_info('" + table + "')")) {
    if (c == left) continue;
    cols += (cols.empty() ? "quote(" : ",quote(") + c + ")";
  }
  return cols;
}

// What a run leaves: every evaluation record but its NzaDat, every marker,
// every parameter row but its NzpAdt.
struct State {
  Texts records, markers, parameters;
  bool operator==(const State&) const = default;
};

inline State Snapshot(const std::string& path) {
  DbFile db(path);
  State s;
  s.records = db.Rows("SELECT " + QuotedColumnsBut(db, "Kvn590Nza", "NzaDat") +
                      " FROM Kvn590Nza ORDER BY NzaSa,NzaApl,NzaApk,NzaApp,NzaPnr,NzaDtm");
  s.markers = db.Rows("SELECT " + QuotedColumnsBut(db, "Kvn563Mrk", "") +
                      " FROM Kvn563Mrk ORDER BY 1,2,3,4,5,6,7");
  s.parameters = db.Rows("SELECT " + QuotedColumnsBut(db, "Kvn591Nzp", "NzpAdt") +
                         " FROM Kvn591Nzp ORDER BY NzpAkz,NzpGvn");
  return s;
}

// Evaluation records that lack a key column, a timestamp or their insert
// time: a row written by halves.
inline std::string HalfWrittenRecords(DbFile& db) {
  return db.One(
      "SELECT count(*) FROM Kvn590Nza WHERE NzaSa IS NULL OR NzaApl IS NULL OR NzaApk IS NULL "
      "OR NzaApp IS NULL OR NzaPnr IS NULL OR NzaDtm IS NULL OR NzaEdt IS NULL OR NzaDat IS NULL");
}

// The first difference of two row lists, for a readable failure.
inline std::string FirstDifference(const Texts& want, const Texts& got) {
  for (std::size_t i = 0; i < want.size() || i < got.size(); ++i) {
    std::string w = i < want.size() ? want[i] : "<none>";
    std::string g = i < got.size() ? got[i] : "<none>";
    if (w != g) return "row " + std::to_string(i) + ":\n  want " + w + "\n  got  " + g;
  }
  return "";
}

inline ::testing::AssertionResult SameState(const State& want, const State& got) {
  if (want == got) return ::testing::AssertionSuccess();
  auto f = ::testing::AssertionFailure();
  if (want.records != got.records) f << "records " << FirstDifference(want.records, got.records);
  if (want.markers != got.markers) f << " markers " << FirstDifference(want.markers, got.markers);
  if (want.parameters != got.parameters)
    f << " parameters " << FirstDifference(want.parameters, got.parameters);
  return f;
}

// The log split into its entries (each begins with the byte 0xFE).
inline Texts SplitEntries(const std::string& log) {
  Texts out;
  std::size_t pos = 0;
  while (pos < log.size()) {
    std::size_t next = log.find('\xFE', pos + 1);
    if (next == std::string::npos) next = log.size();
    out.push_back(log.substr(pos, next - pos));
    pos = next;
  }
  return out;
}

inline const std::string kGapText = "Nza_PKeyIns(Dummy-Satz)";
inline const std::string kClosingText = "Nza_PKeyIns(NZA-Dummy-Abschluss)";

// An entry of an insert refused for its key (status -1).
inline bool IsInsertRefusal(const std::string& entry) {
  return entry == e2e::Entry(kGapText, "Nza_PKeyIns", -1) ||
         entry == e2e::Entry("Nza_PKeyIns", "Nza_PKeyIns()", -1) ||
         entry == e2e::Entry(kClosingText, "Nza_PKeyIns", -1);
}

// The log on one line, for a failure message.
inline std::string Printable(const std::string& log) {
  std::string out;
  for (char c : log) {
    if (c == '\r') continue;
    out += c == '\n' ? std::string(" / ") : c == '\xFE' ? std::string("<FE>") : std::string(1, c);
  }
  return out;
}

}  // namespace rel
