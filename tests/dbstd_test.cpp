// The operations of the module Dbstd on a real database of each backend:
// workplaces, works calendar, shift models and breaks, evaluation parameters.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "db/Dbstd.h"
#include "tests/DbFixture.h"

namespace {

// Fills a record with a pattern, so that any byte a failed read writes shows.
template <typename T>
void Scribble(T* rec) {
  std::memset(rec, 0x5a, sizeof *rec);
}

template <typename T>
bool SameBytes(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

template <std::size_t N>
void Set(char (&field)[N], const char* text) {
  std::snprintf(field, N, "%s", text);
}

// ---------------------------------------------------------------------------
// Every statement runs on the SQLite schema as translated.

TEST(DbstdStatementsTest, EveryStatementPreparesOnTheSchema) {
  testdb::SqliteFile db;
  ASSERT_EQ(db.Connect(), rt::kOk);
  ASSERT_EQ(db::DbstdStatements().size(), 13u);
  for (const rt::Statement* st : db::DbstdStatements()) {
    std::string executed = rt::CurrentBackend()->ExecutedText(*st);
    std::printf("%s\n  original: %s\n  executed: %s\n", st->op, st->text, executed.c_str());
    sqlite3_stmt* h = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db.raw(), executed.c_str(), -1, &h, nullptr), SQLITE_OK)
        << st->op << ": " << sqlite3_errmsg(db.raw());
    sqlite3_finalize(h);
  }
}

// ---------------------------------------------------------------------------
// Workplaces

class DbstdAplTest : public ::testing::TestWithParam<testdb::Backend> {
 protected:
  void SetUp() override {
    TESTDB_SKIP_UNLESS_AVAILABLE(db);
    db.Exec(
        "insert into Kvn531Apl values ('0000000001','Bohrwerk 1','Txt1','G1','Fbe1',3,-2,4,5,"
        "'ABCDEF','2004-03-05 06:07:08',6,1.25,2.25,3.25,4.25,5.25,6.25,7.25,8.25,9,10.5,11.5,"
        "12.5,'St1','St2','St3',13.5,14.5,15.5,'Zf1','Zf2','Zf3','DNA','Dwn',-7,"
        "'2004-01-01 00:00:00','Erf')");
    db.Exec("insert into Kvn531Apl (AplApl,AplApg) values ('0000000000','G1'),('0000000002',"
            "'G2'),('9999999998','G1'),('9999999999','G1'),('0000000003','G1')");
    ASSERT_EQ(db.Connect(), rt::kOk);
  }
  testdb::Db db{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Backends, DbstdAplTest,
                         ::testing::Values(testdb::Backend::kSqlite, testdb::Backend::kPostgres),
                         testdb::BackendParamName());

TEST_P(DbstdAplTest, PKeySelFillsEveryFieldFromItsColumn) {
  db::Kvn531Apl r;
  Scribble(&r);
  Set(r.AplApl, "0000000001");
  Set(r.AplDat, "keep");
  ASSERT_EQ(db::Apl_PKeySel(&r), rt::kOk);
  EXPECT_STREQ(r.AplApl, "0000000001");
  EXPECT_STREQ(r.AplBez, "Bohrwerk 1");
  EXPECT_STREQ(r.AplTxt, "Txt1");
  EXPECT_STREQ(r.AplApg, "G1");
  EXPECT_STREQ(r.AplFbe, "Fbe1");
  EXPECT_EQ(r.AplSts, 3);
  EXPECT_EQ(r.AplSis, -2);
  EXPECT_EQ(r.AplApr, 4);
  EXPECT_EQ(r.AplAaf, 5);
  EXPECT_STREQ(r.AplUbg, "ABCD");  // read as text 5
  EXPECT_STREQ(r.AplUdt, "20040305060708");
  EXPECT_EQ(r.AplTag, 6);
  const double reals[] = {r.AplVrf, r.AplRsp, r.AplRsi, r.AplAfp,
                          r.AplAfi, r.AplPau, r.AplUnt, r.AplIak};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(reals[i], 1.25 + i) << i;
  EXPECT_EQ(r.AplAvt, 9);
  EXPECT_EQ(r.AplKap, 10.5);
  EXPECT_EQ(r.AplAvr, 11.5);
  EXPECT_EQ(r.AplAvp, 12.5);
  EXPECT_STREQ(r.AplSt1, "St1");
  EXPECT_STREQ(r.AplSt2, "St2");
  EXPECT_STREQ(r.AplSt3, "St3");
  EXPECT_EQ(r.AplSf1, 13.5);
  EXPECT_EQ(r.AplSf2, 14.5);
  EXPECT_EQ(r.AplSf3, 15.5);
  EXPECT_STREQ(r.AplZf1, "Zf1");
  EXPECT_STREQ(r.AplZf2, "Zf2");
  EXPECT_STREQ(r.AplZf3, "Zf3");
  EXPECT_STREQ(r.AplDna, "DNA");
  EXPECT_STREQ(r.AplDwn, "Dwn");
  EXPECT_EQ(r.AplSta, -7);
  EXPECT_STREQ(r.AplDat, "keep");  // not read
  EXPECT_STREQ(r.AplErf, "Erf");
}

TEST_P(DbstdAplTest, PKeySelFailureClearsAllButTheNumber) {
  struct Case {
    const char* apl;
    int injected;  // 0: no fault
    int status;
  } cases[] = {{"0000000077", 0, rt::kNoData}, {"0000000001", -3113, -3113}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.apl);
    if (c.injected) rt::InjectFault("Apl_PKeySel", c.injected);
    db::Kvn531Apl r;
    Scribble(&r);
    Set(r.AplApl, c.apl);
    db::Kvn531Apl expected;
    std::memset(&expected, 0, sizeof expected);
    std::memcpy(expected.AplApl, r.AplApl, sizeof r.AplApl);
    EXPECT_EQ(db::Apl_PKeySel(&r), c.status);
    EXPECT_TRUE(SameBytes(r, expected));
    EXPECT_STREQ(r.AplApl, c.apl);
  }
}

TEST_P(DbstdAplTest, NullColumnsDoNotFailARead) {
  db::Kvn531Apl r;
  Scribble(&r);
  Set(r.AplApl, "0000000002");
  ASSERT_EQ(db::Apl_PKeySel(&r), rt::kOk);
  EXPECT_STREQ(r.AplApg, "G2");
  EXPECT_STREQ(r.AplBez, "");
  EXPECT_STREQ(r.AplUdt, "");
  EXPECT_STREQ(r.AplErf, "");
  EXPECT_EQ(r.AplSts, 0);
  EXPECT_EQ(r.AplSta, 0);
  EXPECT_EQ(r.AplVrf, 0.0);
  EXPECT_EQ(r.AplSf3, 0.0);
}

TEST_P(DbstdAplTest, PKeyCursorLeavesOutBothBounds) {
  ASSERT_EQ(db::Apl_PKeyOpen("0000000000", "9999999999"), rt::kOk);
  std::vector<std::string> seen;
  db::Kvn531Apl r;
  std::memset(&r, 0, sizeof r);
  int status;
  while ((status = db::Apl_PKeyRead(&r)) == rt::kOk) {
    seen.push_back(r.AplApl);
    // Another operation of the module between two reads: the cursor goes on.
    db::Kvn531Apl other;
    std::memset(&other, 0, sizeof other);
    Set(other.AplApl, "0000000001");
    EXPECT_EQ(db::Apl_PKeySel(&other), rt::kOk);
  }
  EXPECT_EQ(status, rt::kNoData);
  EXPECT_STREQ(r.AplApl, "9999999998");  // the end leaves the last row
  EXPECT_EQ(db::Apl_PKeyClose(), rt::kOk);
  EXPECT_EQ(seen, (std::vector<std::string>{"0000000001", "0000000002", "0000000003",
                                             "9999999998"}));
}

TEST_P(DbstdAplTest, GroupCursorReadsTheGroupInOrderAndAnEmptyGroupNothing) {
  ASSERT_EQ(db::Apl_Apg_Open("G1"), rt::kOk);
  std::vector<std::string> seen;
  db::Kvn531Apl r;
  std::memset(&r, 0, sizeof r);
  while (db::Apl_Apg_Read(&r) == rt::kOk) seen.push_back(r.AplApl);
  EXPECT_EQ(db::Apl_Apg_Close(), rt::kOk);
  EXPECT_EQ(seen, (std::vector<std::string>{"0000000000", "0000000001", "0000000003",
                                             "9999999998", "9999999999"}));

  ASSERT_EQ(db::Apl_Apg_Open("G9"), rt::kOk);
  Scribble(&r);
  db::Kvn531Apl before = r;
  EXPECT_EQ(db::Apl_Apg_Read(&r), rt::kNoData);
  EXPECT_TRUE(SameBytes(r, before));
  EXPECT_EQ(db::Apl_Apg_Close(), rt::kOk);
}

// ---------------------------------------------------------------------------
// Works calendar (dates stored in both forms)

class DbstdBakTest : public ::testing::TestWithParam<testdb::Backend> {
 protected:
  void SetUp() override {
    TESTDB_SKIP_UNLESS_AVAILABLE(db);
    db.Exec(
        "insert into Kvn133Bak values ('2004-12-25',2004,12,25,52,6,360),"
        "('2004-12-26 00:00:00',2004,12,26,52,7,361),('2004-12-29',2004,12,29,53,3,364),"
        "('2004-12-30 00:00:00',2004,12,30,53,4,365),('2004-12-31',2004,12,31,53,5,366),"
        "('2005-01-01 00:00:00',2005,1,1,53,6,1)");
    ASSERT_EQ(db.Connect(), rt::kOk);
  }
  testdb::Db db{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Backends, DbstdBakTest,
                         ::testing::Values(testdb::Backend::kSqlite, testdb::Backend::kPostgres),
                         testdb::BackendParamName());

TEST_P(DbstdBakTest, DayAddFindsTheRowOfTheTargetDayOrLeavesTheRecord) {
  struct Case {
    const char* from;
    int days;
    int status;
    const char* found;
    int jtg;
  } cases[] = {
      {"20041231", 0, rt::kOk, "20041231", 366},     {"20041231", -1, rt::kOk, "20041230", 365},
      {"20041231", 1, rt::kOk, "20050101", 1},       {"20041226", 3, rt::kOk, "20041229", 364},
      {"20050101", -7, rt::kOk, "20041225", 360},    {"20041226", 1, rt::kNoData, nullptr, 0},
      {"20041231", 2, rt::kNoData, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " " + std::to_string(c.days));
    db::Kvn133Bak r;
    Scribble(&r);
    Set(r.BakDtm, c.from);
    r.BakDays = c.days;
    db::Kvn133Bak before = r;
    ASSERT_EQ(db::Bak_DayAdd(&r), c.status);
    if (c.status != rt::kOk) {
      EXPECT_TRUE(SameBytes(r, before));
      continue;
    }
    EXPECT_STREQ(r.BakDtm, c.found);
    std::string key(c.found);
    EXPECT_EQ(r.BakJhr, std::stoi(key.substr(0, 4)));
    EXPECT_EQ(r.BakMon, std::stoi(key.substr(4, 2)));
    EXPECT_EQ(r.BakTag, std::stoi(key.substr(6, 2)));
    EXPECT_EQ(r.BakJtg, c.jtg);
    EXPECT_EQ(r.BakDays, c.days);
  }
}

TEST_P(DbstdBakTest, DayCountCountsOnlyCalendarRowsAfterTheStartUpToTheEnd) {
  struct Case {
    const char* from;
    const char* to;
    int count;
  } cases[] = {
      {"20041224", "20041231", 5},  // seven days, two of them missing
      {"20041225", "20041226", 1},  // the start day itself is not counted
      {"20041231", "20041231", 0},
      {"20041231", "20041224", 0},
      {"20041231", "20050105", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + ".." + c.to);
    db::Kvn133Bak r;
    std::memset(&r, 0, sizeof r);
    Set(r.BakDtm, c.from);
    Set(r.BakDtm2, c.to);
    r.BakDays = -99;
    ASSERT_EQ(db::Bak_DayCount(&r), rt::kOk);
    EXPECT_EQ(r.BakDays, c.count);
    EXPECT_STREQ(r.BakDtm, c.from);
  }
}

TEST_P(DbstdBakTest, FailedReadsLeaveTheRecordAsItWas) {
  for (const char* op : {"Bak_DayAdd", "Bak_DayCount"}) {
    SCOPED_TRACE(op);
    db::Kvn133Bak r;
    Scribble(&r);
    Set(r.BakDtm, "20041230");
    Set(r.BakDtm2, "20041231");
    r.BakDays = 12345;
    db::Kvn133Bak before = r;
    rt::InjectFault(op, -3113);
    int status = std::string(op) == "Bak_DayAdd" ? db::Bak_DayAdd(&r) : db::Bak_DayCount(&r);
    EXPECT_EQ(status, -3113);
    EXPECT_TRUE(SameBytes(r, before));
  }
}

// ---------------------------------------------------------------------------
// Shift models and breaks

class DbstdShiftTest : public ::testing::TestWithParam<testdb::Backend> {
 protected:
  void SetUp() override {
    TESTDB_SKIP_UNLESS_AVAILABLE(db);
    db.Exec(
        "insert into Kvn133Bak values ('2004-06-01',2004,6,1,23,2,153),"
        "('2004-06-05 00:00:00',2004,6,5,23,6,157)");
    db.Exec(
        "insert into Kvn133Kal values ('K1','2004-06-01 00:00:00','AT'),('K1','2004-06-05','SA'),"
        "('K2','2004-06-01','FT')");
    // M3: three shifts on AT (inserted out of order), none on SA. M2: one
    // shift. M1: one shift without breaks.
    db.Exec(
        "insert into Kvn533Emo (EmoEmo,EmoTtp,EmoBeg,EmoTxt,EmoEnd,EmoArt,EmoPmo) values "
        "('M3','AT',1320,'Nacht',360,3,'P5'),('M3','AT',360,'Frueh',840,1,'P3'),"
        "('M3','AT',840,'Spaet',1320,2,'P4'),('M2','AT',360,'Tag',1080,1,'P1'),"
        "('M1','AT',420,'Kurz',900,1,'P0'),('M1','FT',420,'Feier',900,1,'P0')");
    db.Exec(
        "insert into Kvn532Aem values "
        "('G1',1,'M3','2004-01-01',NULL,'Bez G1','Txt','K1',1,2,3,4,5,6,7,8,9,10),"
        "('G2',1,'M1','2004-01-01'," + db.EmptyDate() + ",'Bez','Txt','K1',0,0,0,0,0,0,0,0,0,0),"
        "('G3',1,'M1','2004-01-01','2004-05-31 00:00:00','Bez','Txt','K1',0,0,0,0,0,0,0,0,0,0),"
        "('G4',1,'M1','2004-06-01 00:00:00','2004-06-01','Bez','Txt','K1',0,0,0,0,0,0,0,0,0,0),"
        "('G5',1,'M1','2004-06-02',NULL,'Bez','Txt','K1',0,0,0,0,0,0,0,0,0,0),"
        "('G6',1,'M3','2004-01-01',NULL,'Bez','Txt','K2',0,0,0,0,0,0,0,0,0,0),"
        "('A1',2,'M1','2004-01-01',NULL,'Bez','Txt','K1',0,0,0,0,0,0,0,0,0,0),"
        "('A1',2,'M3','2005-01-01',NULL,'Bez','Txt','K1',0,0,0,0,0,0,0,0,0,0),"
        "('A1',1,'M2','2004-01-01',NULL,'Bez','Txt','K1',0,0,0,0,0,0,0,0,0,0)");
    db.Exec(
        "insert into Kvn535Pms values ('B1',720,750,1,30,2,3),('B2',1425,15,1,30,2,3),"
        "('B3',600,615,1,15,2,3),('B4',1080,1110,1,30,2,3),('B5',1430,10,1,20,2,3),"
        "('B7',100,130,1,30,2,3),('B8',500,510,1,10,2,3),('B9',610,670,1,60,2,3)");
    // B7 ended before the day, B8 and B9 have no end of validity.
    db.Exec(
        "insert into Kvn536Pmz values ('P1','B1','2004-01-01','2004-12-31'),"
        "('P1','B2','2004-01-01 00:00:00','2004-12-31 00:00:00'),"
        "('P3','B3','2004-01-01','2004-06-01'),('P4','B4','2004-06-01','2004-12-31'),"
        "('P5','B5','2004-01-01','2004-12-31'),('P3','B7','2003-01-01','2004-05-31'),"
        "('P4','B8','2004-01-01'," + db.EmptyDate() + "),('P3','B9','2004-01-01',NULL)");
    ASSERT_EQ(db.Connect(), rt::kOk);
  }

  static db::AemDayRow Key(const char* apg, int kng, const char* date) {
    db::AemDayRow r;
    Scribble(&r);
    r.AemKng = kng;
    Set(r.AemApg, apg);
    Set(r.KalDtm, date);
    return r;
  }

  // All rows of the day's shift-model cursor.
  static std::vector<db::AemDayRow> DayRows(const char* apg, int kng, const char* date) {
    db::AemDayRow key = Key(apg, kng, date);
    std::vector<db::AemDayRow> rows;
    EXPECT_EQ(db::Aem_Apg_Open(&key), rt::kOk);
    db::AemDayRow r = key;
    while (db::Aem_Apg_Read(&r) == rt::kOk) rows.push_back(r);
    EXPECT_EQ(db::Aem_Apg_Close(), rt::kOk);
    return rows;
  }

  testdb::Db db{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Backends, DbstdShiftTest,
                         ::testing::Values(testdb::Backend::kSqlite, testdb::Backend::kPostgres),
                         testdb::BackendParamName());

TEST_P(DbstdShiftTest, AemCountCountsOnlyAssignmentsOfKindTwo) {
  struct Case {
    const char* apl;
    int count;
  } cases[] = {{"A1", 2}, {"G1", 0}, {"XX", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.apl);
    std::int32_t n = -5;
    EXPECT_EQ(db::Aem_Count(c.apl, &n), rt::kOk);
    EXPECT_EQ(n, c.count);
  }
  std::int32_t n = 7;
  rt::InjectFault("Aem_Count", -3113);
  EXPECT_EQ(db::Aem_Count("A1", &n), -3113);
  EXPECT_EQ(n, 7);  // written only on success
}

TEST_P(DbstdShiftTest, DayCursorYieldsValidAssignmentsJoinedWithTheDaysShifts) {
  struct Case {
    const char* apg;
    int kng;
    const char* date;
    std::size_t rows;
    const char* emo;
  } cases[] = {
      {"G1", 1, "20040601", 3, "M3"},  // one row per shift of the day type
      {"G1", 2, "20040601", 0, ""},    // other kind
      {"G1", 1, "20040605", 0, ""},    // day type without shifts
      {"G1", 1, "20040602", 0, ""},    // day not in the calendars
      {"G2", 1, "20040601", 1, "M1"},  // empty end of validity: open
      {"G3", 1, "20040601", 0, ""},    // validity ended the day before
      {"G4", 1, "20040601", 1, "M1"},  // validity of exactly that day
      {"G5", 1, "20040601", 0, ""},    // not yet valid
      {"G6", 1, "20040601", 0, ""},    // its calendar gives a day type M3 lacks
      {"A1", 2, "20040601", 1, "M1"},  // the workplace's own assignment
      {"A1", 1, "20040601", 1, "M2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.apg) + " " + std::to_string(c.kng) + " " + c.date);
    auto rows = DayRows(c.apg, c.kng, c.date);
    ASSERT_EQ(rows.size(), c.rows);
    for (const auto& r : rows) {
      EXPECT_STREQ(r.AemEmo, c.emo);
      EXPECT_STREQ(r.AemApg, c.apg);
      EXPECT_STREQ(r.KalDtm, c.date);
    }
  }
}

TEST_P(DbstdShiftTest, DayCursorFillsTheRowAndRepeatsItPerShift) {
  auto rows = DayRows("G1", 1, "20040601");
  ASSERT_EQ(rows.size(), 3u);
  const db::AemDayRow& r = rows[0];
  EXPECT_EQ(r.AemKng, 1);  // input only: kept
  EXPECT_STREQ(r.AemApg, "G1");
  EXPECT_STREQ(r.AemEmo, "M3");
  EXPECT_STREQ(r.AemGvo, "20040101");
  EXPECT_STREQ(r.AemBez, "Bez G1");
  EXPECT_STREQ(r.AemTxt, "Txt");
  EXPECT_STREQ(r.AemKal, "K1");
  const std::int32_t nums[] = {r.AemLkz, r.AemVzt, r.AemEzt, r.AemPrz, r.AemAfz,
                               r.AemApz, r.AemPrp, r.AemAfp, r.AemApp, r.AemMaz};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(nums[i], i + 1) << i;
  EXPECT_STREQ(r.KalBtp, "AT");
  EXPECT_EQ(r.BakJhr, 2004);
  EXPECT_EQ(r.BakMon, 6);
  EXPECT_EQ(r.BakWch, 23);
  EXPECT_EQ(r.BakWtg, 2);
  EXPECT_EQ(r.BakJtg, 153);
  EXPECT_STREQ(r.KalDtm, "20040601");
  EXPECT_TRUE(SameBytes(rows[1], r));
  EXPECT_TRUE(SameBytes(rows[2], r));

  // The end of the cursor leaves the record as it was.
  db::AemDayRow key = Key("G1", 1, "20040605");
  ASSERT_EQ(db::Aem_Apg_Open(&key), rt::kOk);
  db::AemDayRow before = key;
  EXPECT_EQ(db::Aem_Apg_Read(&key), rt::kNoData);
  EXPECT_TRUE(SameBytes(key, before));
  EXPECT_EQ(db::Aem_Apg_Close(), rt::kOk);
}

TEST_P(DbstdShiftTest, ShiftCursorReadsTheShiftsByBegin) {
  ASSERT_EQ(db::Emo_PKeyOpen("M3", "AT"), rt::kOk);
  db::Kvn533Emo s;
  Scribble(&s);
  struct Want {
    const char* txt;
    int beg, end, art;
  } want[] = {{"Frueh", 360, 840, 1}, {"Spaet", 840, 1320, 2}, {"Nacht", 1320, 360, 3}};
  for (const Want& w : want) {
    ASSERT_EQ(db::Emo_PKeyRead(&s), rt::kOk);
    EXPECT_STREQ(s.EmoEmo, "M3");
    EXPECT_STREQ(s.EmoTtp, "AT");
    EXPECT_STREQ(s.EmoTxt, w.txt);
    EXPECT_EQ(s.EmoBeg, w.beg);
    EXPECT_EQ(s.EmoEnd, w.end);
    EXPECT_EQ(s.EmoArt, w.art);
  }
  db::Kvn533Emo before = s;
  EXPECT_EQ(db::Emo_PKeyRead(&s), rt::kNoData);
  EXPECT_TRUE(SameBytes(s, before));
  EXPECT_EQ(db::Emo_PKeyClose(), rt::kOk);

  ASSERT_EQ(db::Emo_PKeyOpen("M3", "SA"), rt::kOk);
  EXPECT_EQ(db::Emo_PKeyRead(&s), rt::kNoData);
  EXPECT_EQ(db::Emo_PKeyClose(), rt::kOk);
}

TEST_P(DbstdShiftTest, BreakCursorCoversAllShiftsAndOnlyValidBreaks) {
  ASSERT_EQ(db::Pms_Emo_Open("M3", "AT", "20040601"), rt::kOk);
  std::vector<std::string> seen;
  db::EmoPmsRow r;
  Scribble(&r);
  r.EmoArt = 77;
  while (db::Pms_Emo_Read(&r) == rt::kOk)
    seen.push_back(std::string(r.EmoTxt) + ":" + r.PmsNum + ":" + std::to_string(r.PmsBeg) + "-" +
                   std::to_string(r.PmsEnd));
  EXPECT_EQ(db::Pms_Emo_Close(), rt::kOk);
  // B7 (ended), B8 (empty end) and B9 (no end) are never valid.
  EXPECT_EQ(seen, (std::vector<std::string>{"Frueh:B3:600-615", "Spaet:B4:1080-1110",
                                             "Nacht:B5:1430-10"}));
  EXPECT_STREQ(r.EmoEmo, "M3");
  EXPECT_STREQ(r.EmoTtp, "AT");
  EXPECT_EQ(r.EmoBeg, 1320);
  EXPECT_EQ(r.EmoEnd, 360);
  EXPECT_EQ(r.EmoArt, 77);  // not read
  EXPECT_EQ(r.PmsInt, 1);
  EXPECT_EQ(r.PmsPse, 20);
  EXPECT_EQ(r.PmsBzt, 2);
  EXPECT_EQ(r.PmsPrz, 3);

  // Outside the validity of every break assignment: nothing.
  ASSERT_EQ(db::Pms_Emo_Open("M3", "AT", "20050101"), rt::kOk);
  EXPECT_EQ(db::Pms_Emo_Read(&r), rt::kNoData);
  EXPECT_EQ(db::Pms_Emo_Close(), rt::kOk);
}

TEST_P(DbstdShiftTest, SumPauseAddsBreaksOfAllShiftsAlsoOverMidnight) {
  struct Case {
    const char* emo;
    const char* date;
    int minutes;
  } cases[] = {
      {"M2", "20040601", 60},  // 12:00-12:30 and 23:45-00:15
      {"M3", "20040601", 65},  // 15 + 30 + 20 of three shifts
      {"M3", "20040602", 50},  // B3 ended on 20040601
      {"M1", "20040601", 0},   // no breaks
      {"M2", "20050101", 0},   // no valid break assignment
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.emo) + " " + c.date);
    db::EmoPmsRow r;
    Scribble(&r);
    Set(r.EmoEmo, c.emo);
    Set(r.EmoTtp, "AT");
    r.PmsPse = 999;
    EXPECT_EQ(db::Pms_SumPause(&r, c.date), rt::kOk);
    EXPECT_EQ(r.PmsPse, c.minutes);
  }
}

TEST_P(DbstdShiftTest, SumPauseStopsAtTheFirstErrorAndSkipsNoData) {
  struct Case {
    int first, second;  // injected status per statement; 0 runs it
    int status, minutes;
  } cases[] = {
      {-3113, 0, -3113, 999},         // first fails: the sum stays
      {0, -3113, -3113, 30},          // second fails: the first sum stays
      {rt::kNoData, 0, rt::kOk, 30},  // no row counts as no break
      {0, rt::kNoData, rt::kNoData, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + "/" + std::to_string(c.second));
    long next = rt::StatementCount() + 1;
    if (c.first) rt::InjectFaultAt(next, c.first);
    if (c.second) rt::InjectFaultAt(next + 1, c.second);
    db::EmoPmsRow r;
    Scribble(&r);
    Set(r.EmoEmo, "M2");
    Set(r.EmoTtp, "AT");
    r.PmsPse = 999;
    EXPECT_EQ(db::Pms_SumPause(&r, "20040601"), c.status);
    EXPECT_EQ(r.PmsPse, c.minutes);
    rt::ClearFaults();
  }
}

// ---------------------------------------------------------------------------
// Evaluation parameters

class DbstdNzpTest : public ::testing::TestWithParam<testdb::Backend> {
 protected:
  void SetUp() override {
    TESTDB_SKIP_UNLESS_AVAILABLE(db);
    // Validity relative to the database's today, in both stored forms.
    auto day = [this](int offset) { return "'" + db.Today(offset) + "'"; };
    db.Exec(
        "insert into Kvn591Nzp values "
        "(4," + day(-10) + ",'" + db.Today(10) + " 00:00:00',"
        "1,2,3,4,5,6,7,8,9,10,'2000-01-01 00:00:00','OLD'),"
        "(5," + day(0) + "," + day(10) + ",1,1,1,1,1,1,1,1,1,1,NULL,'T'),"
        "(6," + day(-10) + "," + day(0) + ",1,1,1,1,1,1,1,1,1,1,NULL,'T'),"
        "(7," + day(-1) + "," + day(1) + ",1,1,1,1,1,1,1,1,1,1,"
        "NULL,'T'),"
        "(8," + day(-10) + "," + day(10) + ",1,1,1,1,1,1,1,1,1,"
        "1,NULL,'T'),"
        "(8," + day(-5) + "," + day(5) + ",1,1,1,1,1,1,1,1,1,1,"
        "NULL,'T'),"
        "(9,'" + db.Today(-1) + " 08:00:00',"
        + day(1) + ",1,1,1,1,1,1,1,1,1,1,'2000-01-01 00:00:00','OLD')");
    ASSERT_EQ(db.Connect(), rt::kOk);
  }

  std::string Day(int offset) { return db.TodayText(offset); }

  testdb::Db db{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Backends, DbstdNzpTest,
                         ::testing::Values(testdb::Backend::kSqlite, testdb::Backend::kPostgres),
                         testdb::BackendParamName());

TEST_P(DbstdNzpTest, ReadFindsOnlyARowValidStrictlyAroundToday) {
  struct Case {
    int akz;
    int status;
  } cases[] = {
      {4, rt::kOk},
      {5, rt::kNoData},         // begins today
      {6, rt::kNoData},         // ends today
      {7, rt::kOk},             // yesterday to tomorrow
      {8, rt::kTooManyRows},    // two rows valid today
      {9, rt::kOk},             // begins yesterday at 08:00
      {3, rt::kNoData},         // no row of the kind
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.akz);
    db::Kvn591Nzp r;
    Scribble(&r);
    r.NzpAkz = c.akz;
    db::Kvn591Nzp before = r;
    EXPECT_EQ(db::Nzp_PKeyRead(&r), c.status);
    if (c.status != rt::kOk) {
      EXPECT_TRUE(SameBytes(r, before));
    }
  }
}

TEST_P(DbstdNzpTest, ReadFillsTheSelectedFieldsOnly) {
  db::Kvn591Nzp r;
  Scribble(&r);
  r.NzpAkz = 4;
  Set(r.NzpAdt, "keep");
  ASSERT_EQ(db::Nzp_PKeyRead(&r), rt::kOk);
  EXPECT_EQ(r.NzpAkz, 4);
  EXPECT_EQ(r.NzpGvn, Day(-10));
  EXPECT_EQ(r.NzpGbi, Day(10));
  const std::int32_t nums[] = {r.NzpAak, r.NzpAwt, r.NzpKjh, r.NzpKmn, r.NzpKwo,
                               r.NzpKtg, r.NzpAan, r.NzpVfh, r.NzpNfh, r.NzpMrk};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(nums[i], i + 1) << i;
  EXPECT_STREQ(r.NzpAus, "OLD");
  EXPECT_STREQ(r.NzpAdt, "keep");
}

TEST_P(DbstdNzpTest, UpdateStampsTheRowWithTheDatabaseTime) {
  db::Kvn591Nzp r;
  std::memset(&r, 0, sizeof r);
  r.NzpAkz = 4;
  ASSERT_EQ(db::Nzp_PKeyRead(&r), rt::kOk);
  Set(r.NzpAus, "BATCH");
  r.NzpAan = 42;
  r.NzpVfh = 43;
  r.NzpNfh = 44;
  r.NzpAak = 99;  // not written
  Set(r.NzpAdt, "19990101000000");
  const std::string others = db.One("select " + db.GroupConcat("NzpAdt||NzpAus||NzpAan") +
                                    " from Kvn591Nzp where NzpAkz<>4");
  const std::string before = db.NowText();
  ASSERT_EQ(db::Nzp_PKeyUpd(&r), rt::kOk);
  const std::string after = db.NowText();

  const std::string adt = db.One("select NzpAdt from Kvn591Nzp where NzpAkz=4");
  EXPECT_LE(before, adt);
  EXPECT_LE(adt, after);
  EXPECT_EQ(db.One("select NzpAus||'|'||NzpAan||'|'||NzpVfh||'|'||NzpNfh||'|'||NzpAak||'|'||"
                   "NzpMrk from Kvn591Nzp where NzpAkz=4"),
            "BATCH|42|43|44|1|10");
  EXPECT_EQ(db.One("select " + db.GroupConcat("NzpAdt||NzpAus||NzpAan") +
                   " from Kvn591Nzp where NzpAkz<>4"),
            others);
}

TEST_P(DbstdNzpTest, UpdateThatReachesNoRowAnswersNoDataAndChangesNothing) {
  const std::string table =
      "select " +
      db.GroupConcat("CAST(NzpAkz AS text)||CAST(NzpGvn AS text)||NzpAdt||NzpAus||NzpAan", ";") +
      " from Kvn591Nzp";
  const std::string all = db.One(table);

  // The row begins at 08:00: the read finds it, the update by day does not.
  db::Kvn591Nzp r;
  std::memset(&r, 0, sizeof r);
  r.NzpAkz = 9;
  ASSERT_EQ(db::Nzp_PKeyRead(&r), rt::kOk);
  EXPECT_EQ(r.NzpGvn, Day(-1));
  Set(r.NzpAus, "BATCH");
  EXPECT_EQ(db::Nzp_PKeyUpd(&r), rt::kNoData);
  EXPECT_EQ(db.One(table), all);

  // A failing statement is rolled back and its status returned.
  std::memset(&r, 0, sizeof r);
  r.NzpAkz = 4;
  ASSERT_EQ(db::Nzp_PKeyRead(&r), rt::kOk);
  Set(r.NzpAus, "BATCH");
  rt::InjectFault("Nzp_PKeyUpd", -1);
  EXPECT_EQ(db::Nzp_PKeyUpd(&r), -1);
  EXPECT_EQ(db.One(table), all);

  // The connection is left fit for the next write.
  EXPECT_EQ(db::Nzp_PKeyUpd(&r), rt::kOk);
  EXPECT_EQ(db.One("select NzpAus from Kvn591Nzp where NzpAkz=4"), "BATCH");
}

}  // namespace
