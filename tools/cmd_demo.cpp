// pelvaro-admin demo DIR [options]: a demonstration plant laid out as a site
// is: DIR/plant.db, DIR/files/korvane.ini and the working directory
// DIR/site/bin/batch/run (with its Msg folder), four levels below DIR, from
// which the configuration file's fixed relative path reaches DIR/files.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "db/DemoPlant.h"
#include "db/Schema.h"
#include "tools/Admin.h"
#include "util/Clock.h"
#include "util/Config.h"
#include "util/Env.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: pelvaro-admin demo DIR [--workplaces N] [--groups G] [--days D] [--positions P]\n"
    "                              [--messages M] [--seed S] [--today YYYYMMDD]\n";

constexpr const char* kRunDir = "site/bin/batch/run";
// The database as the working directory sees it.
constexpr const char* kNetService = "../../../../plant.db";
constexpr const char* kLogin = "pelvaro";
constexpr const char* kPassword = "demo";

bool ParseInt(const std::string& text, long long lo, long long hi, long long* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

// Options as "--name value" or "--name=value".
bool ParseOptions(const std::vector<std::string>& args, std::string* dir,
                  demo::PlantOptions* o, std::string* error) {
  struct IntOption {
    const char* name;
    int* target;
  } ints[] = {{"--workplaces", &o->workplaces}, {"--groups", &o->groups},
              {"--days", &o->days},             {"--positions", &o->positions},
              {"--messages", &o->messages}};
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    if (name.rfind("--", 0) != 0) {
      if (!dir->empty()) {
        *error = "more than one DIR: " + name;
        return false;
      }
      *dir = name;
      continue;
    }
    if (auto eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      *error = "missing value for " + name;
      return false;
    }
    bool known = false;
    for (auto& opt : ints) {
      if (name != opt.name) continue;
      long long v = 0;
      if (!ParseInt(value, INT_MIN, INT_MAX, &v)) {
        *error = name + " needs a whole number, not '" + value + "'";
        return false;
      }
      *opt.target = static_cast<int>(v);
      known = true;
    }
    if (name == "--seed") {
      long long v = 0;
      if (!ParseInt(value, 0, LLONG_MAX, &v)) {
        *error = "--seed needs a whole number from 0 on, not '" + value + "'";
        return false;
      }
      o->seed = static_cast<std::uint64_t>(v);
      known = true;
    } else if (name == "--today") {
      o->today = value;
      known = true;
    }
    if (!known) {
      *error = "unknown option " + name;
      return false;
    }
  }
  if (dir->empty()) {
    *error = "DIR missing";
    return false;
  }
  return true;
}

// The configuration file: entries of two lines, a section line and a line
// "number;name;stored value". Sections and numbers are not empty or 0, since
// the reader's lookup takes an empty section or the number 0 for a match.
bool WriteConfigFile(const fs::path& file) {
  std::ofstream out(file, std::ios::binary);
  struct {
    const char* comment;
    const char* name;
    const char* value;
  } entries[] = {{"Datenbank-Benutzer", "LOGIN", kLogin},
                 {"Datenbank-Kennwort", "PASS", kPassword},
                 {"Net8-Dienstname", "NET8", kNetService}};
  int number = 0;
  for (const auto& e : entries) {
    out << ";DB;" << e.comment << "\n"
        << ++number << ";" << e.name << ";" << pelvaro::EncipherValue(e.value) << "\n";
  }
  out.close();
  return static_cast<bool>(out);
}

// The batch program beside this one, if it is there.
std::string BatchProgram() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    fs::path batch = self.parent_path() / "pelvaro";
    if (fs::exists(batch, ec)) return batch.string();
  }
  return "pelvaro";
}

int Refuse(const std::string& why) {
  std::fprintf(stderr, "pelvaro-admin demo: %s\n", why.c_str());
  return 1;
}

int RunDemo(const std::vector<std::string>& args) {
  std::string dirArg, error;
  demo::PlantOptions options;
  if (!ParseOptions(args, &dirArg, &options, &error)) {
    std::fprintf(stderr, "pelvaro-admin demo: %s\n%s", error.c_str(), kUsage);
    return 1;
  }
  if (options.today.empty()) {
    char today[9];
    pelvaro::DateText(pelvaro::CurrentEnv()->Now(), today);
    options.today = today;
  }
  if (!demo::CheckOptions(options, &error)) return Refuse(error);

  const fs::path dir(dirArg);
  std::error_code ec;
  if (fs::exists(dir, ec)) {
    if (!fs::is_directory(dir, ec)) return Refuse(dirArg + " exists and is not a directory");
    if (!fs::is_empty(dir, ec)) return Refuse(dirArg + " exists and is not empty");
  }
  const fs::path runDir = dir / kRunDir;
  const fs::path dbPath = dir / "plant.db";
  const fs::path iniPath = dir / "files" / "korvane.ini";
  fs::create_directories(dir / "files", ec);
  if (!ec) fs::create_directories(runDir / "Msg", ec);
  if (ec) return Refuse("cannot create the folders in " + dirArg + ": " + ec.message());

  // Whatever was made is taken away again when the plant cannot be built.
  auto undo = [&](const std::string& why) {
    std::error_code ignored;
    for (const char* name : {"plant.db", "plant.db-wal", "plant.db-shm", "files", "site"})
      fs::remove_all(dir / name, ignored);
    return Refuse(why);
  };
  if (!rt::CreateSqliteDatabase(dbPath.string(), &error)) return undo(error);
  demo::PlantSummary summary;
  {
    std::unique_ptr<demo::SqliteRowSink> sink = demo::SqliteRowSink::Open(dbPath.string(), &error);
    if (!sink) return undo(error);
    if (!demo::GeneratePlant(options, *sink, &summary, &error)) return undo(error);
    if (!sink->Commit()) return undo(sink->Error());
  }
  if (!WriteConfigFile(iniPath)) return undo("cannot write " + iniPath.string());

  std::printf(
      "demo plant in %s: %d workplaces in %d groups, %d days of history %s..%s (%d working "
      "days), %lld booking messages, %d positions running (%d interrupted), %d recalculation "
      "markers\n",
      dirArg.c_str(), summary.workplaces, summary.groups, summary.days, summary.firstDay.c_str(),
      summary.lastDay.c_str(), summary.workingDays, static_cast<long long>(summary.messages),
      summary.running, summary.interrupted, summary.markers);
  std::printf("run: cd %s && %s QUORVELT APL 0000000000 %s 00000000\n", runDir.c_str(),
              BatchProgram().c_str(), summary.firstDay.c_str());
  return 0;
}

}  // namespace

ADMIN_COMMAND(demo, "demo",
              "DIR [--workplaces N] [--groups G] [--days D] [--positions P] [--messages M] "
              "[--seed S] [--today YYYYMMDD]",
              "builds a demonstration plant in DIR: database, configuration file and working "
              "directory (defaults 12 workplaces, 3 groups, 28 days, 3 positions and 30 messages "
              "per workplace and working day, seed 1, today)",
              RunDemo);
