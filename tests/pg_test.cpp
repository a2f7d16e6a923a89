// The PostgreSQL backend on a real server: failed connects and their codes,
// the login from the configuration file, Oracle's transaction behaviour over
// PostgreSQL's (implicit transaction, a failing statement undone alone,
// savepoints), status codes of failing statements, the index ranges of the
// message windows, and init-db.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "db/DbDb.h"
#include "db/DbMel.h"
#include "db/PgBackend.h"
#include "db/Runtime.h"
#include "db/Translate.h"
#include "tests/DbFixture.h"
#include "util/Config.h"
#include "util/Text.h"

namespace {

using testdb::Backend;

const rt::Statement kCountApl{"T_Count", "select count(*)  into :b0  from Kvn531Apl"};
const rt::Statement kInsApl{"T_Ins", "insert into Kvn531Apl (AplApl,AplApg) values (:b0,:b1)"};
const rt::WriteStatement kGuardedIns{kInsApl, "savepoint T_Ins_Sp", "rollback  to T_Ins_Sp"};

int Count() {
  std::int32_t n = -1;
  EXPECT_EQ(rt::SelectOne(kCountApl, {}, {{rt::Int32(&n)}}), rt::kOk);
  return n;
}

int Insert(const char* apl, const char* apg = "G1") {
  char a[11], g[11];
  pelvaro::CopyText(a, apl);
  pelvaro::CopyText(g, apg);
  return rt::Execute(kInsApl, {{rt::Text(a), rt::Text(g)}});
}

// ---------------------------------------------------------------------------
// Connect

TEST(PgConnect, ConnectionsThatReachNoServerFailWithTheirCodes) {
  struct Case {
    const char* net;
    int status;
  } cases[] = {
      {"pg:host=/tmp/pelvaro-no-server-here dbname=x", -12541},  // stopped server
      {"pg:host", -12154},                                       // unreadable
      {"pg:nosuchoption=1", -12154},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rt::Connect(std::string("u/p@") + c.net), c.status) << c.net;
    EXPECT_FALSE(rt::Connected()) << c.net;
  }
}

class PgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TESTDB_SKIP_UNLESS_AVAILABLE(db);
    db.Exec("insert into Kvn531Apl (AplApl,AplApg,AplSts) values ('1','G1',1),('2','G1',2)");
    ASSERT_EQ(db.Connect(), rt::kOk);
  }
  const testdb::PgServer& server() const { return testdb::PgServer::Get(); }
  testdb::Db db{Backend::kPostgres};
};

TEST_F(PgTest, RefusedLoginsAnswerTheirCodesAndLeaveNoConnection) {
  rt::Disconnect();
  const std::string net = db.net();
  struct Case {
    std::string connect;
    int status;
  } cases[] = {
      {server().user + "/wrong-password@" + net, -1017},
      {"nosuchrole/x@" + net, -1017},
      {server().user + "/" + server().password + "@pg:" + server().WithDatabase("pv_missing"),
       -12514},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rt::Connect(c.connect), c.status) << c.connect;
    EXPECT_FALSE(rt::Connected());
  }
  EXPECT_EQ(db.Connect(), rt::kOk);
  EXPECT_EQ(Count(), 2);
}

// The configuration file holds the login and a short net service name: a
// libpq service names the server and the database (a configuration value
// holds at most 40 characters).
TEST_F(PgTest, DbConnectTakesTheLoginFromTheConfigurationFile) {
  rt::Disconnect();
  const std::string services = db.dir() + "/pg_service.conf";
  {
    std::ofstream out(services);
    out << "[pelvaro_test]\n";
    std::string info = db.net().substr(3);
    for (std::size_t pos = 0; pos != std::string::npos;) {
      std::size_t end = info.find(' ', pos);
      out << info.substr(pos, end == std::string::npos ? end : end - pos) << "\n";
      pos = end == std::string::npos ? end : end + 1;
    }
  }
  const std::string ini = db.dir() + "/korvane.ini";
  auto write = [&](const std::string& password) {
    std::ofstream out(ini, std::ios::binary | std::ios::trunc);
    out << ";DB;\r\n1;LOGIN;" << pelvaro::EncipherValue(server().user) << "\r\n;DB;\r\n2;PASS;"
        << pelvaro::EncipherValue(password) << "\r\n;DB;\r\n3;NET8;"
        << pelvaro::EncipherValue("pg:service=pelvaro_test") << "\r\n";
  };
  ::setenv(pelvaro::kConfigFileVariable, ini.c_str(), 1);
  ::setenv("PGSERVICEFILE", services.c_str(), 1);
  write("wrong");
  EXPECT_EQ(db::dbConnect(), -1017);
  write(server().password);
  EXPECT_EQ(db::dbConnect(), rt::kOk);
  ::unsetenv(pelvaro::kConfigFileVariable);
  ::unsetenv("PGSERVICEFILE");
  EXPECT_EQ(Count(), 2);
}

// ---------------------------------------------------------------------------
// Transactions

TEST_F(PgTest, WritesStayInTheImplicitTransactionUntilCommitWork) {
  EXPECT_EQ(Insert("3"), rt::kOk);
  EXPECT_EQ(db.One("select count(*) from Kvn531Apl"), "2");  // not yet committed
  EXPECT_EQ(Count(), 3);                                      // seen by its own connection
  EXPECT_EQ(rt::Execute(rt::kCommitWork), rt::kOk);
  EXPECT_EQ(db.One("select count(*) from Kvn531Apl"), "3");
  // A commit with nothing pending is no error; an uncommitted write goes with
  // the connection.
  EXPECT_EQ(rt::Execute(rt::kCommitWork), rt::kOk);
  EXPECT_EQ(Insert("4"), rt::kOk);
  rt::Disconnect();
  EXPECT_EQ(db.One("select count(*) from Kvn531Apl"), "3");
}

// Every failing statement, in every state of the transaction before it: it
// answers its code, is undone alone, and the statements after it run.
TEST_F(PgTest, AFailingStatementIsUndoneAloneInEveryStateOfTheTransaction) {
  const rt::Statement noTable{"T_NoTab", "select X into :b0:b1  from Kvn999Xyz where X=:b0"};
  const rt::Statement noColumn{"T_NoCol", "select AplNix into :b0:b1  from Kvn531Apl where AplApl=:b0"};
  const rt::Statement noSchema{"T_NoSchema", "select count(*)  into :b0  from KvNone.Kvn133Bak"};
  const rt::Statement byNumber{"T_Num", "select AplApl into :b0:b1  from Kvn531Apl where AplSts=:b0"};
  const rt::Statement twoRows{"T_Two", "select AplApl into :b0:b1  from Kvn531Apl where AplApg=:b0"};
  const rt::Statement nullKey{"T_Null", "insert into Kvn531Apl (AplApl) values (NULL)"};
  const rt::Statement longKey{"T_Num2", "insert into Kvn531Apl (AplApl,AplSts) values ('9',:b0)"};
  char arg[32], out[16];
  struct Failure {
    const char* what;
    int status;
    std::function<int()> run;
  } failures[] = {
      {"unknown table", rt::kNoSuchTable,
       [&] { return rt::SelectOne(noTable, {{rt::Text(arg)}}, {{rt::Text(out)}}); }},
      {"unknown column", rt::kInvalidIdentifier,
       [&] { return rt::SelectOne(noColumn, {{rt::Text(arg)}}, {{rt::Text(out)}}); }},
      {"unknown schema", rt::kNoSuchTable,
       [&] { return rt::SelectOne(noSchema, {}, {{rt::Text(out)}}); }},
      {"text for a number", rt::kInvalidNumber,
       [&] {
         std::strcpy(arg, "abc");
         return rt::SelectOne(byNumber, {{rt::Text(arg)}}, {{rt::Text(out)}});
       }},
      {"number out of range", -1438,
       [&] {
         std::strcpy(arg, "99999999999999999999");
         return rt::Execute(longKey, {{rt::Text(arg)}});
       }},
      {"two rows", rt::kTooManyRows,
       [&] {
         std::strcpy(arg, "G1");
         return rt::SelectOne(twoRows, {{rt::Text(arg)}}, {{rt::Text(out)}});
       }},
      {"duplicate key", rt::kUniqueViolation, [&] { return Insert("1"); }},
      {"NULL key", rt::kNotNull, [&] { return rt::Execute(nullKey); }},
      {"text into a number column", rt::kInvalidNumber,
       [&] {
         std::strcpy(arg, "x1");
         return rt::Execute(longKey, {{rt::Text(arg)}});
       }},
  };
  enum State { kNothingPending, kWritePending, kAfterSavepoint };
  int key = 100;
  for (State state : {kNothingPending, kWritePending, kAfterSavepoint}) {
    for (Failure& f : failures) {
      SCOPED_TRACE(std::string(f.what) + " in state " + std::to_string(state));
      const std::string pending = std::to_string(key++);
      int expected = Count();
      if (state != kNothingPending) {
        ASSERT_EQ(Insert(pending.c_str()), rt::kOk);
        ++expected;
      }
      if (state == kAfterSavepoint) {
        ASSERT_EQ(rt::Execute({"T_Sp", "savepoint T_Sp"}), rt::kOk);
      }
      EXPECT_EQ(f.run(), f.status);
      EXPECT_EQ(Count(), expected);  // the next statement runs
      const std::string later = std::to_string(key++);
      EXPECT_EQ(Insert(later.c_str()), rt::kOk);
      if (state == kAfterSavepoint) {
        // The savepoint still stands: rolling back to it drops the later insert.
        EXPECT_EQ(rt::Execute({"T_Rb", "rollback  to T_Sp"}), rt::kOk);
      } else {
        ++expected;
      }
      EXPECT_EQ(rt::Execute(rt::kCommitWork), rt::kOk);
      EXPECT_EQ(db.One("select count(*) from Kvn531Apl"), std::to_string(expected));
      EXPECT_EQ(db.One("select count(*) from Kvn531Apl where AplApl='" + pending + "'"),
                state == kNothingPending ? "0" : "1");
    }
  }
}

TEST_F(PgTest, RollbackToASavepointUndoesWhatFollowedItOnly) {
  ASSERT_EQ(Insert("a"), rt::kOk);
  ASSERT_EQ(rt::Execute({"T_Sp1", "savepoint Sp1"}), rt::kOk);
  ASSERT_EQ(Insert("b"), rt::kOk);
  ASSERT_EQ(rt::Execute({"T_Sp2", "savepoint Sp2"}), rt::kOk);
  ASSERT_EQ(Insert("c"), rt::kOk);
  EXPECT_EQ(rt::Execute({"T_Rb1", "rollback  to Sp1"}), rt::kOk);
  // Sp2 went with the rollback; an unknown savepoint is refused, nothing else.
  EXPECT_EQ(rt::Execute({"T_Rb2", "rollback  to Sp2"}), -1086);
  EXPECT_EQ(rt::Execute({"T_Rb3", "rollback  to Never_Sp"}), -1086);
  EXPECT_EQ(Count(), 3);
  EXPECT_EQ(rt::Execute(rt::kCommitWork), rt::kOk);
  EXPECT_EQ(db.Rows("select AplApl from Kvn531Apl order by AplApl"),
            (std::vector<std::string>{"1", "2", "a"}));
  // Without an open transaction there is no savepoint either.
  EXPECT_EQ(rt::Execute({"T_Rb1", "rollback  to Sp1"}), -1086);
}

TEST_F(PgTest, GuardedWriteFailureLeavesTheTableAndALaterWriteCommits) {
  char apl[11] = "1", apg[11] = "G9";
  EXPECT_EQ(rt::GuardedWrite(kGuardedIns, {{rt::Text(apl), rt::Text(apg)}}), rt::kUniqueViolation);
  rt::InjectFault("T_Ins", -3113);
  std::strcpy(apl, "5");
  EXPECT_EQ(rt::GuardedWrite(kGuardedIns, {{rt::Text(apl), rt::Text(apg)}}), -3113);
  EXPECT_EQ(db.One("select count(*) from Kvn531Apl"), "2");
  EXPECT_EQ(rt::GuardedWrite(kGuardedIns, {{rt::Text(apl), rt::Text(apg)}}), rt::kOk);
  EXPECT_EQ(db.One("select AplApg from Kvn531Apl where AplApl='5'"), "G9");  // committed
}

TEST_F(PgTest, AWriteThatWaitsTooLongForALockIsResourceBusyAndUndone) {
  ASSERT_EQ(rt::Execute({"T_Set", "SET lock_timeout = 200"}), rt::kOk);
  ASSERT_EQ(rt::Execute(rt::kCommitWork), rt::kOk);
  db.Exec("BEGIN; LOCK TABLE Kvn531Apl IN ACCESS EXCLUSIVE MODE");
  char apl[11] = "7", apg[11] = "G7";
  EXPECT_EQ(rt::GuardedWrite(kGuardedIns, {{rt::Text(apl), rt::Text(apg)}}), rt::kResourceBusy);
  db.Exec("COMMIT");
  EXPECT_EQ(rt::GuardedWrite(kGuardedIns, {{rt::Text(apl), rt::Text(apg)}}), rt::kOk);
  EXPECT_EQ(db.One("select count(*) from Kvn531Apl"), "3");
}

TEST_F(PgTest, ALostConnectionAnswersNegativeStatusesAndNoMore) {
  db.Exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = current_database() "
          "AND pid <> pg_backend_pid()");
  EXPECT_LT(Insert("8"), 0);
  std::int32_t n = 0;
  EXPECT_LT(rt::SelectOne(kCountApl, {}, {{rt::Int32(&n)}}), 0);
  EXPECT_LT(rt::Execute(rt::kCommitWork), 0);
}

// Day and timestamp texts: a real one keeps its time, an empty one is no
// date, and one that names no instant fails the statement (-1861) as TO_DATE
// does on the site's database, where the server's own to_date would read some
// leniently; the statement after it runs.
TEST_F(PgTest, DayAndTimestampTextsAreReadStrictly) {
  const rt::Statement day{"T_Day", "select TO_CHAR(TO_DATE(:b0,'yyyymmdd'),'yyyymmddHH24MISS') into :b1:b2  from Kvn531Apl where AplApl='1'"};
  const rt::Statement stamp{"T_Stamp", "select TO_CHAR(TO_DATE(:b0,'yyyymmddHH24MISS'),'yyyymmddHH24MISS') into :b1:b2  from Kvn531Apl where AplApl='1'"};
  struct Case {
    const rt::Statement* st;
    const char* text;
    int status;
    const char* read;  // "" for no date
  } cases[] = {
      {&day, "20240229", rt::kOk, "20240229000000"},
      {&day, "", rt::kOk, ""},
      {&day, "20230229", -1861, nullptr},  {&day, "20240231", -1861, nullptr},
      {&day, "20241301", -1861, nullptr},  {&day, "20240100", -1861, nullptr},
      {&day, "00000101", -1861, nullptr},  {&day, "2024010", -1861, nullptr},
      {&day, " 2024010", -1861, nullptr},  {&day, "abcdefgh", -1861, nullptr},
      {&day, "202401011", -1861, nullptr},
      {&stamp, "20240105235959", rt::kOk, "20240105235959"},
      {&stamp, "", rt::kOk, ""},
      {&stamp, "20240105240000", -1861, nullptr}, {&stamp, "20240105 60000", -1861, nullptr},
      {&stamp, " 2024010060000", -1861, nullptr}, {&stamp, "20240231060000", -1861, nullptr},
      {&stamp, "20240100600", -1861, nullptr},    {&stamp, "20240105", -1861, nullptr},
  };
  for (const Case& c : cases) {
    char in[16], got[16] = "x";
    pelvaro::CopyText(in, c.text);
    EXPECT_EQ(rt::SelectOne(*c.st, {{rt::Text(in)}}, {{rt::Text(got)}}), c.status) << c.text;
    if (c.read) {
      EXPECT_STREQ(got, c.read) << c.text;
    }
    EXPECT_EQ(Count(), 2) << c.text;
  }
}

// The program's texts are single-byte (Windows-1252): the server's UTF-8
// reaches the buffers one byte per character, and goes back the same way.
TEST_F(PgTest, TextsTravelOneBytePerCharacter) {
  db.Exec("update Kvn531Apl set AplBez = 'Dr\u00e4hbank f\u00fcr \u20ac' where AplApl = '1'");
  const rt::Statement read{"T_Bez", "select AplBez into :b0:b1  from Kvn531Apl where AplApl=:b2"};
  char apl[11] = "1", bez[8] = "";
  ASSERT_EQ(rt::SelectOne(read, {{rt::Text(apl)}}, {{rt::Text(bez)}}), rt::kOk);
  EXPECT_STREQ(bez, "Dr\xe4hban");  // cut to 7 characters, one byte each
  char wide[31] = "";
  ASSERT_EQ(rt::SelectOne(read, {{rt::Text(apl)}}, {{rt::Text(wide)}}), rt::kOk);
  EXPECT_STREQ(wide, "Dr\xe4hbank f\xfcr \x80");
  char key[11] = "\xfc" "1", group[11] = "G\xe4";
  ASSERT_EQ(Insert(key, group), rt::kOk);
  ASSERT_EQ(rt::Execute(rt::kCommitWork), rt::kOk);
  EXPECT_EQ(db.One("select AplApg from Kvn531Apl where AplApl = U&'\\00FC1'"), "G\xc3\xa4");
}

// ---------------------------------------------------------------------------
// Index ranges of the message windows

TEST_F(PgTest, MessageWindowsAndSpanDeletesAreIndexRangesOnTheDays) {
  // A year of messages of one workplace, some of another.
  db.Exec("insert into Kvn560Mel (KeyApl,ObjTyp,KeyDat,KeyUhr,KeySek,MelMsk) "
          "select case when i % 10 = 0 then 'W2' else 'W1' end, 'M_A', "
          "date '2024-01-01' + (i / 60), timestamp '2024-01-01 00:00:00' + (i % 60) * interval "
          "'20 minutes', '00', 'AB' from generate_series(0, 60 * 366 - 1) i;"
          "insert into Kvn590Nza (NzaSa,NzaApl,NzaApk,NzaApp,NzaPnr,NzaDtm) "
          "select 12, 'W1', ' ', ' ', ' ', timestamp '2024-01-01 00:00:00' + i * interval '8 hours' "
          "from generate_series(0, 3 * 366 - 1) i;"
          "ANALYZE Kvn560Mel; ANALYZE Kvn590Nza");
  auto statement = [](const char* op) -> const rt::Statement* {
    for (const rt::Statement* st : db::DbMelStatements())
      if (std::strcmp(st->op, op) == 0) return st;
    return nullptr;
  };
  struct Case {
    const char* op;
    const char* args;
    std::vector<const char*> conditions;
  } cases[] = {
      {"Mel_Apl", "'W1','M_A','M__','20240610','060000','20240610','140000'",
       {"keyapl =", "keydat >=", "keydat <"}},
      {"Mel_AplDesc", "'M_A','M__','W1','20241225','000000','00'", {"keyapl =", "keydat >="}},
      {"Nza_Del_SA12", "12,'W1','20240609','20240611'", {"nzaapl =", "nzadtm >=", "nzadtm <"}},
  };
  for (const Case& c : cases) {
    const rt::Statement* st = statement(c.op);
    ASSERT_NE(st, nullptr) << c.op;
    const std::string name = std::string("plan_") + c.op;
    db.Exec("PREPARE " + name + " AS " + rt::Translate(*st, rt::Dialect::kPostgres).text);
    // The plan for these values, and the plan for any values that the server
    // may switch to after a few executions.
    for (const char* mode : {"force_custom_plan", "force_generic_plan"}) {
      db.Exec(std::string("SET plan_cache_mode = ") + mode);
      std::string plan;
      for (const std::string& line : db.Rows("EXPLAIN EXECUTE " + name + "(" + c.args + ")"))
        plan += line + "\n";
      std::string lower;
      for (char ch : plan) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      EXPECT_EQ(lower.find("seq scan"), std::string::npos) << c.op << " " << mode << "\n" << plan;
      const auto cond = lower.find("index cond");
      ASSERT_NE(cond, std::string::npos) << c.op << " " << mode << "\n" << plan;
      for (const char* part : c.conditions)
        EXPECT_NE(lower.find(part, cond), std::string::npos)
            << c.op << " " << mode << " lacks " << part << "\n" << plan;
    }
  }
}

// ---------------------------------------------------------------------------
// init-db

TEST(PgInitDb, CreatesTheTablesInAnExistingDatabaseOnceAndRefusesThen) {
  const testdb::PgServer& s = testdb::PgServer::Get();
  if (!s.why.empty()) GTEST_SKIP() << s.why;
  const std::string name = "pv_init_" + std::to_string(::getpid());
  PGconn* admin = s.ConnectTo(s.conninfo);
  ASSERT_EQ(PQstatus(admin), CONNECTION_OK) << PQerrorMessage(admin);
  PQclear(PQexec(admin, ("CREATE DATABASE " + name + " TEMPLATE template0").c_str()));
  const std::string conninfo = s.WithDatabase(name);

  char dir[] = "/tmp/pelvaro-initdb-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string ini = std::string(dir) + "/korvane.ini";
  {
    std::ofstream out(ini, std::ios::binary);
    out << ";DB;\r\n1;LOGIN;" << pelvaro::EncipherValue(s.user) << "\r\n;DB;\r\n2;PASS;"
        << pelvaro::EncipherValue(s.password) << "\r\n";
  }
  auto run = [&](std::string* err) {
    const std::string errPath = std::string(dir) + "/err";
    const std::string cmd = "KORVANE_INI='" + ini + "' '" PELVARO_BIN_DIR "/pelvaro-admin' init-db 'pg:" +
                            conninfo + "' >/dev/null 2>'" + errPath + "'";
    int rc = std::system(cmd.c_str());
    std::ifstream in(errPath);
    err->assign(std::istreambuf_iterator<char>(in), {});
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  };
  std::string err;
  EXPECT_EQ(run(&err), 0) << err;
  PGconn* conn = s.ConnectTo(conninfo);
  PGresult* r = PQexec(conn,
                       "select count(*) from pg_tables where tablename like 'kvn%' and "
                       "(schemaname = 'kvsystem') = (tablename like 'kvn133%')");
  EXPECT_STREQ(PQgetvalue(r, 0, 0), "12");
  PQclear(r);
  PQfinish(conn);
  EXPECT_EQ(run(&err), 1);
  EXPECT_NE(err.find("exist"), std::string::npos) << err;

  PQclear(PQexec(admin, ("DROP DATABASE " + name + " WITH (FORCE)").c_str()));
  PQfinish(admin);
  if (std::system(("rm -rf '" + std::string(dir) + "'").c_str()) != 0) {
  }
}

}  // namespace
