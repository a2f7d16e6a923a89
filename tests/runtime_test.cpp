// The SQL runtime on a real database of each backend: status codes, guarded
// writes, cursors that keep what they saw at OPEN, NULLs and cut texts, faults.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "db/Runtime.h"
#include "db/Translate.h"
#include "tests/DbFixture.h"

namespace {

const rt::Statement kSelApg{"T_Sel", "select AplApg ,AplSts into :b0:b1,:b2:b3  from Kvn531Apl where AplApl=:b0"};
const rt::Statement kOpenApg{"T_Open", "select AplApl ,AplBez ,AplSts ,AplVrf  from Kvn531Apl where AplApg=:b0 order by AplApl"};
const rt::WriteStatement kDelApl{{"T_Del", "delete  from Kvn531Apl  where AplApl=:b0"},
                                 "savepoint T_Del_Sp", "rollback  to T_Del_Sp"};
const rt::WriteStatement kInsApl{{"T_Ins", "insert into Kvn531Apl (AplApl,AplApg) values (:b0,:b1)"},
                                 "savepoint T_Ins_Sp", "rollback  to T_Ins_Sp"};

class RuntimeTest : public ::testing::TestWithParam<testdb::Backend> {
 protected:
  void SetUp() override {
    TESTDB_SKIP_UNLESS_AVAILABLE(db);
    db.Exec("insert into Kvn531Apl (AplApl,AplApg,AplSts,AplBez,AplVrf) values "
            "('1','G1',7,'one',1.5),('2','G1',NULL,NULL,NULL),('3','G1',70000,'three',3),"
            "('4','G2',1,'0123456789012345678901234567890123456789',0)");
    ASSERT_EQ(db.Connect(), rt::kOk);
  }
  testdb::Db db{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Backends, RuntimeTest,
                         ::testing::Values(testdb::Backend::kSqlite, testdb::Backend::kPostgres),
                         testdb::BackendParamName());

TEST_P(RuntimeTest, SingleRowSelectAnswersRowNoRowAndTooManyRows) {
  char apl[11] = "1", apg[11] = "x";
  std::int16_t sts = 0;
  EXPECT_EQ(rt::SelectOne(kSelApg, {{rt::Text(apl)}}, {{rt::Text(apg), rt::Int16(&sts)}}), rt::kOk);
  EXPECT_STREQ(apg, "G1");
  EXPECT_EQ(sts, 7);

  std::strcpy(apg, "keep");
  std::strcpy(apl, "9");
  EXPECT_EQ(rt::SelectOne(kSelApg, {{rt::Text(apl)}}, {{rt::Text(apg), rt::Int16(&sts)}}), rt::kNoData);
  EXPECT_STREQ(apg, "keep");

  const rt::Statement twoRows{"T_Two", "select AplApl into :b0:b1  from Kvn531Apl where AplApg=:b0"};
  char group[11] = "G1";
  EXPECT_EQ(rt::SelectOne(twoRows, {{rt::Text(group)}}, {{rt::Text(apg)}}), rt::kTooManyRows);
  EXPECT_STREQ(apg, "keep");
}

TEST_P(RuntimeTest, NullReadsAsEmptyOrZeroAndLongTextsAreCut) {
  char group[11] = "G1";
  rt::Cursor c;
  ASSERT_EQ(rt::Open(c, kOpenApg, {{rt::Text(group)}}), rt::kOk);
  char apl[11], bez[5];
  std::int16_t sts;
  double vrf;
  std::int16_t ind = 5;
  rt::HostVar bezVar = rt::Text(bez);
  bezVar.indicator = &ind;
  std::vector<rt::HostVar> out = {rt::Text(apl), bezVar, rt::Int16(&sts), rt::Float64(&vrf)};
  ASSERT_EQ(rt::Fetch(c, out), rt::kOk);
  EXPECT_STREQ(bez, "one");
  EXPECT_EQ(ind, 0);
  std::strcpy(bez, "xxxx");
  sts = 9;
  vrf = 9;
  ASSERT_EQ(rt::Fetch(c, out), rt::kOk);
  EXPECT_STREQ(apl, "2");
  EXPECT_STREQ(bez, "");
  EXPECT_EQ(ind, -1);
  EXPECT_EQ(sts, 0);
  EXPECT_EQ(vrf, 0.0);
  ASSERT_EQ(rt::Fetch(c, out), rt::kOk);
  EXPECT_STREQ(bez, "thre");           // cut to width - 1
  EXPECT_EQ(sts, 32767);               // a 16-bit output saturates
  EXPECT_EQ(rt::Fetch(c, out), rt::kNoData);
  EXPECT_EQ(rt::Close(c), rt::kOk);
}

TEST_P(RuntimeTest, CursorDeliversRowsAsTheyStoodAtOpenAcrossCommits) {
  char group[11] = "G1";
  rt::Cursor c;
  ASSERT_EQ(rt::Open(c, kOpenApg, {{rt::Text(group)}}), rt::kOk);
  char apl[11];
  ASSERT_EQ(rt::Fetch(c, {{rt::Text(apl)}}), rt::kOk);
  EXPECT_STREQ(apl, "1");
  char victim[11] = "2";
  EXPECT_EQ(rt::GuardedWrite(kDelApl, {{rt::Text(victim)}}), rt::kOk);
  EXPECT_EQ(db.One("select count(*) from Kvn531Apl where AplApl='2'"), "0");  // committed
  ASSERT_EQ(rt::Fetch(c, {{rt::Text(apl)}}), rt::kOk);
  EXPECT_STREQ(apl, "2");
  ASSERT_EQ(rt::Fetch(c, {{rt::Text(apl)}}), rt::kOk);
  EXPECT_STREQ(apl, "3");
  EXPECT_EQ(rt::Fetch(c, {{rt::Text(apl)}}), rt::kNoData);
  rt::Close(c);
}

TEST_P(RuntimeTest, GuardedWriteReturnsStatementStatusAndUndoesAFailure) {
  char apl[11] = "1", apg[11] = "G9";
  // Duplicate key: refused, -1, table as before.
  EXPECT_EQ(rt::GuardedWrite(kInsApl, {{rt::Text(apl), rt::Text(apg)}}), rt::kUniqueViolation);
  EXPECT_EQ(db.One("select count(*) from Kvn531Apl"), "4");
  // Injected failure of the next statement of the operation.
  std::strcpy(apl, "5");
  rt::InjectFault("T_Ins", -3113);
  EXPECT_EQ(rt::GuardedWrite(kInsApl, {{rt::Text(apl), rt::Text(apg)}}), -3113);
  EXPECT_EQ(db.One("select count(*) from Kvn531Apl"), "4");
  // A later write succeeds and is committed, visible to another connection.
  EXPECT_EQ(rt::GuardedWrite(kInsApl, {{rt::Text(apl), rt::Text(apg)}}), rt::kOk);
  EXPECT_EQ(db.One("select AplApg from Kvn531Apl where AplApl='5'"), "G9");
  // A delete that touches no row is still 0, unless asked otherwise.
  std::strcpy(apl, "77");
  EXPECT_EQ(rt::GuardedWrite(kDelApl, {{rt::Text(apl)}}), rt::kOk);
  EXPECT_EQ(rt::GuardedWrite(kDelApl, {{rt::Text(apl)}}, true), rt::kNoData);
}

TEST_P(RuntimeTest, FailedWriteLeavesNoTransactionHoldingTheLock) {
  char apl[11] = "1", apg[11] = "G9";
  EXPECT_EQ(rt::GuardedWrite(kInsApl, {{rt::Text(apl), rt::Text(apg)}}), rt::kUniqueViolation);
  // Another connection can write at once.
  if (db.pg())
    db.Exec("SET lock_timeout = 1");
  else
    sqlite3_busy_timeout(db.raw(), 0);
  db.Exec("insert into Kvn531Apl (AplApl) values ('other')");
}

TEST_P(RuntimeTest, NthStatementFaultAndStatementCount) {
  long before = rt::StatementCount();
  char apl[11] = "1", apg[11];
  std::int16_t sts;
  rt::InjectFaultAt(before + 2, -99);
  EXPECT_EQ(rt::SelectOne(kSelApg, {{rt::Text(apl)}}, {{rt::Text(apg), rt::Int16(&sts)}}), rt::kOk);
  EXPECT_EQ(rt::SelectOne(kSelApg, {{rt::Text(apl)}}, {{rt::Text(apg), rt::Int16(&sts)}}), -99);
  EXPECT_EQ(rt::SelectOne(kSelApg, {{rt::Text(apl)}}, {{rt::Text(apg), rt::Int16(&sts)}}), rt::kOk);
  EXPECT_EQ(rt::StatementCount(), before + 3);
}

TEST_P(RuntimeTest, UnknownTableAndColumnMapToTheirCodes) {
  char apl[11] = "1", out[11];
  const rt::Statement noTable{"T_NoTab", "select X into :b0:b1  from Kvn999Xyz where X=:b0"};
  const rt::Statement noColumn{"T_NoCol", "select AplNix into :b0:b1  from Kvn531Apl where AplApl=:b0"};
  EXPECT_EQ(rt::SelectOne(noTable, {{rt::Text(apl)}}, {{rt::Text(out)}}), rt::kNoSuchTable);
  EXPECT_EQ(rt::SelectOne(noColumn, {{rt::Text(apl)}}, {{rt::Text(out)}}), rt::kInvalidIdentifier);
}

TEST(RuntimeConnect, MissingFileOrNonDatabaseIsAFailedConnectAndNothingIsCreated) {
  char tmpl[] = "/tmp/pelvaro-conn-XXXXXX";
  std::string dir = mkdtemp(tmpl);
  std::string missing = dir + "/missing.db";
  EXPECT_LT(rt::Connect("u/p@" + missing), 0);
  EXPECT_FALSE(std::ifstream(missing).good());
  std::string junk = dir + "/junk.db";
  std::ofstream(junk) << "this is not a database file, not at all, no no no no no no no no no no no no";
  EXPECT_LT(rt::Connect("u/p@" + junk), 0);
  EXPECT_FALSE(rt::Connected());
  EXPECT_EQ(rt::Connect("u/p@" + std::string(120, 'x')), rt::kConnectStringTooLong);
  std::remove(junk.c_str());
  std::remove(dir.c_str());
}

TEST(Translate, SqliteDialectTable) {
  struct Case {
    const char* original;
    const char* range;
    const char* executed;
  } cases[] = {
      {"select count(*)  into :b0  from Kvn532Aem where (AemApg=:b1 and AemKng=2)", nullptr,
       "select count(*)  from Kvn532Aem where (AemApg=?1 and AemKng=2)"},
      {"COMMIT WORK", nullptr, "COMMIT"},
      {"select TO_CHAR(BakDtm,'yyyymmdd') ,BakJhr into :b0:b1,:b2:b3  from KvSystem.Kvn133Bak "
       "where BakDtm=(TO_DATE(:b14,'yyyymmdd')+:b15)",
       nullptr,
       "select strftime('%Y%m%d',BakDtm) ,BakJhr  from Kvn133Bak where "
       "datetime(BakDtm)=(datetime(pelvaro_to_date(?1,'yyyymmdd'),?2||' days'))"},
      {"select NzpAkz into :b0:b1  from Kvn591Nzp where ((NzpAkz=:b0 and NzpGvn<trunc(sysdate)) and "
       "NzpGbi>trunc(sysdate))",
       nullptr,
       "select NzpAkz  from Kvn591Nzp where ((NzpAkz=?1 and datetime(NzpGvn)<datetime(pelvaro_now(),'start "
       "of day')) and datetime(NzpGbi)>datetime(pelvaro_now(),'start of day'))"},
      // A name at several places is one parameter; numbering follows first appearance.
      {"select a from T where (x=:b3 and y=:b5) or (x=:b3 and z=:b8)", "KeyDat>=DAYLO(:b3)",
       "select a from T where (KeyDat>=(case when length(?1)=8 and ?1 not glob '*[^0-9]*' then "
       "substr(?1,1,4)||'-'||substr(?1,5,2)||'-'||substr(?1,7,2) else '' end)) and ((x=?1 and y=?2) or "
       "(x=?1 and z=?3))"},
  };
  for (const auto& c : cases) {
    rt::Statement st{"T", c.original, c.range};
    EXPECT_EQ(rt::Translate(st, rt::Dialect::kSqlite).text, c.executed) << c.original;
  }
}

TEST(Translate, PostgresDialectTable) {
  // The day and timestamp texts are checked on a real server (pg_test).
  struct Case {
    const char* original;
    const char* executed;
  } cases[] = {
      {"COMMIT WORK", "COMMIT WORK"},
      // The schema stays; a name at two places is one parameter.
      {"select BakJhr into :b0:b1  from KvSystem.Kvn133Bak where BakJhr=:b3 or BakTag=:b3",
       "select BakJhr  from KvSystem.Kvn133Bak where BakJhr=$1 or BakTag=$1"},
      {"update T set a=sysdate where b<trunc(sysdate)",
       "update T set a=date_trunc('second',statement_timestamp()::timestamp) where "
       "b<statement_timestamp()::date"},
  };
  for (const auto& c : cases) {
    rt::Statement st{"T", c.original};
    EXPECT_EQ(rt::Translate(st, rt::Dialect::kPostgres).text, c.executed) << c.original;
  }
}

}  // namespace
