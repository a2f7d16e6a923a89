// The message, message buffer, result and marker operations on a real
// database of each backend: selection windows, order, read semantics, NULLs,
// cut texts, binds of every field, guarded writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "db/DbMel.h"
#include "db/Runtime.h"
#include "db/SqliteBackend.h"
#include "tests/DbFixture.h"
#include "util/Text.h"

namespace {

using pelvaro::CopyText;

std::string Q(const char* s) { return s ? "'" + std::string(s) + "'" : std::string("NULL"); }

class DbMelTest : public ::testing::TestWithParam<testdb::Backend> {
 protected:
  void SetUp() override {
    TESTDB_SKIP_UNLESS_AVAILABLE(db);
    ASSERT_EQ(db.Connect(), rt::kOk);
  }

  // A time of day as the backend keeps it: a bare time gets a date part on
  // the server.
  std::string Uhr(const char* uhr) {
    return uhr && std::strlen(uhr) == 8 ? db.TimeOfDay(uhr) : uhr ? uhr : "";
  }

  // One booking message with the columns the selections look at.
  void AddMel(int bnr, const char* apl, const char* obj, const char* dat, const char* uhr,
              const char* sek, const char* msk = "AB") {
    db.Exec("insert into Kvn560Mel (KeyBnr,KeyApl,ObjTyp,KeyDat,KeyUhr,KeySek,MelMsk) values (" +
            std::to_string(bnr) + "," + Q(apl) + "," + Q(obj) + "," + Q(dat) + "," + Q(uhr ? Uhr(uhr).c_str() : nullptr) + "," +
            Q(sek) + "," + Q(msk) + ")");
  }

  // KeyBnr of every row the ascending cursor delivers; checks the end status.
  std::vector<int> Asc(const char* apl, const char* fd, const char* ft, const char* td,
                       const char* tt) {
    std::vector<int> out;
    db::Kvn560Mel rec{};
    EXPECT_EQ(db::Mel_Apl_Open(apl, fd, ft, td, tt), rt::kOk);
    int status;
    while ((status = db::Mel_Apl_Read(&rec)) == rt::kOk) out.push_back(rec.KeyBnr);
    EXPECT_EQ(status, rt::kNoData);
    EXPECT_EQ(db::Mel_Apl_Close(), rt::kOk);
    return out;
  }

  std::vector<int> Desc(const char* apl, const char* day) {
    std::vector<int> out;
    db::Kvn560Mel rec{};
    EXPECT_EQ(db::Mel_AplDesc_Open(apl, day), rt::kOk);
    int status;
    while ((status = db::Mel_AplDesc_Read(&rec)) == rt::kOk) out.push_back(rec.KeyBnr);
    EXPECT_EQ(status, rt::kNoData);
    EXPECT_EQ(db::Mel_AplDesc_Close(), rt::kOk);
    return out;
  }

  testdb::Db db{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Backends, DbMelTest,
                         ::testing::Values(testdb::Backend::kSqlite, testdb::Backend::kPostgres),
                         testdb::BackendParamName());

// ---------------------------------------------------------------------------
// Booking messages

TEST_P(DbMelTest, AscendingWindowIsHalfOpenWithKeySekAndObjectTypes) {
  // Date and time stored in both forms: date only or with a time part; the
  // time of day bare or with any date part.
  AddMel(1, "A1", "M_A", "2024-01-05", "06:00:00", "00");                     // from-instant
  AddMel(2, "A1", "M__", "2024-01-05 00:00:00", "1899-12-30 05:59:59", "99");  // just before
  AddMel(3, "A1", "M__", "2024-01-05 13:59:59", "2024-01-05 13:59:59", "00");  // last second
  AddMel(4, "A1", "M_A", "2024-01-05", "14:00:00", "00");                      // to-instant
  AddMel(5, "A1", "M_A", "2024-01-04 00:00:00", "23:59:59", "05");             // day before
  AddMel(6, "A1", "M_A", "2024-01-06", "00:00:00", "00");                      // day after
  AddMel(7, "A1", "M_X", "2024-01-05", "10:00:00", "00");                      // other object type
  AddMel(8, "A1", "M_", "2024-01-05", "10:00:00", "00");                       // other object type
  AddMel(9, "A2", "M_A", "2024-01-05", "10:00:00", "00");                      // other workplace
  AddMel(10, "A1", "M_A", "2024-01-05", "06:00:00", "0");                      // below "00"
  AddMel(11, "A1", "M_A", "2024-01-05", "07:00:00", nullptr);                  // no sequence
  AddMel(12, "A1", "M_A", "2024-01-05", "06:00:01", nullptr);                  // later: any KeySek
  AddMel(13, "A1", "M__", "2024-01-05 00:00:00", "2024-01-05 10:00:00", "02");
  AddMel(14, "A1", "M_A", "2024-01-05", "10:00:00", "00");
  AddMel(15, "A1", "M__", "2024-01-05", "10:00:00", "01");

  struct Case {
    const char *fd, *ft, *td, *tt;
    std::vector<int> expected;
  } cases[] = {
      {"20240105", "060000", "20240105", "140000", {1, 12, 11, 14, 15, 13, 3}},
      {"20240104", "220000", "20240105", "060000", {5, 2}},             // across midnight
      {"20240105", "055959", "20240105", "060000", {2}},                // one second
      {"20240105", "060000", "20240105", "060001", {1}},
      {"20240105", "070000", "20240105", "080000", {}},                 // NULL KeySek at from
      {"20240101", "000000", "20240201", "000000", {5, 2, 10, 1, 12, 11, 14, 15, 13, 3, 4, 6}},
      {"20240105", "140000", "20240105", "140000", {}},                 // from equals to
      {"20240106", "000000", "20240105", "000000", {}},                 // from after to
      {"20240105", "140000", "20240105", "060000", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Asc("A1", c.fd, c.ft, c.td, c.tt), c.expected)
        << c.fd << " " << c.ft << " - " << c.td << " " << c.tt;
  }
  EXPECT_EQ(Asc("A2", "20240101", "000000", "20240201", "000000"), std::vector<int>{9});
  EXPECT_EQ(Asc("A9", "20240101", "000000", "20240201", "000000"), std::vector<int>{});
}

TEST_P(DbMelTest, DescendingCursorFromStartOfDayNewestFirstIncludingFuture) {
  AddMel(1, "A1", "M_A", "2024-01-04", "23:59:59", "00");                      // day before
  AddMel(2, "A1", "M_A", "2024-01-05", "00:00:00", "00");                      // start of day
  AddMel(3, "A1", "M_A", "2024-01-05 00:00:00", "00:00:00", "0");              // below "00"
  AddMel(4, "A1", "M__", "2024-01-05", "1899-12-30 10:00:00", "00");
  AddMel(5, "A1", "M_A", "2024-01-05 00:00:00", "10:00:00", "02");
  AddMel(6, "A1", "M_A", "2024-01-05", "10:00:00", "01");
  AddMel(7, "A1", "M_A", "2099-12-31 00:00:00", "08:00:00", "00");             // far future
  AddMel(8, "A1", "M_X", "2024-01-06", "08:00:00", "00");                      // other type
  AddMel(9, "A2", "M_A", "2024-01-06", "08:00:00", "00");                      // other workplace
  AddMel(10, "A1", "M__", "2024-01-05", "00:00:01", nullptr);

  struct Case {
    const char* day;
    std::vector<int> expected;
  } cases[] = {
      {"20240105", {7, 5, 6, 4, 10, 2}},
      {"20240104", {7, 5, 6, 4, 10, 2, 3, 1}},
      {"20240106", {7}},
      {"21000101", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Desc("A1", c.day), c.expected) << c.day;
}

// The day bounds added for the index must not change what a cursor delivers:
// every window over messages in all stored forms gives exactly the rows, in
// the order, that the statement without the bounds gives.
TEST_P(DbMelTest, DayBoundsDeliverTheSameRowsAsTheStatementWithoutThem) {
  const char* days[] = {"2024-02-29", "2024-03-01", "2024-03-02", "2024-03-03"};
  const char* times[] = {"00:00:00", "05:59:59", "06:00:00", "13:59:59", "14:00:00", "23:59:59"};
  const char* seks[] = {"00", "01", "0", "99"};
  std::string insert =
      "insert into Kvn560Mel (KeyBnr,KeyApl,ObjTyp,KeyDat,KeyUhr,KeySek) values ";
  unsigned seed = 7;
  auto next = [&seed](unsigned n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  std::vector<std::string> keyOf;  // day, time and KeySek of each KeyBnr
  for (int i = 0; i < 400; ++i) {
    const std::string day = days[next(4)], time = times[next(6)];
    const char* sekText = seks[next(4)];
    keyOf.push_back(day + " " + time + " " + sekText);
    std::string dat, uhr;
    switch (next(3)) {
      case 0: dat = day; break;
      case 1: dat = day + " 00:00:00"; break;
      default: dat = day + " " + times[next(6)]; break;  // a time part the day ignores
    }
    switch (next(3)) {
      case 0: uhr = Uhr(time.c_str()); break;
      case 1: uhr = "1899-12-30 " + time; break;
      default: uhr = day + " " + time; break;
    }
    const char* obj = next(8) == 0 ? "M_X" : (next(2) ? "M_A" : "M__");
    const char* apl = next(10) == 0 ? "A2" : "A1";
    insert += std::string(i ? "," : "") + "(" + std::to_string(i) + ",'" + apl + "','" + obj +
              "','" + dat + "','" + uhr + "','" + sekText + "')";
  }
  db.Exec(insert);

  // The same statement texts, at other addresses, without bounds.
  static const std::string ascText = db::DbMelStatements()[0]->text;
  static const std::string descText = db::DbMelStatements()[1]->text;
  ASSERT_NE(db::DbMelStatements()[0]->range, nullptr);
  ASSERT_NE(db::DbMelStatements()[1]->range, nullptr);
  const rt::Statement plainAsc{"T_PlainAsc", ascText.c_str()};
  const rt::Statement plainDesc{"T_PlainDesc", descText.c_str()};
  auto plain = [](const rt::Statement& st, std::vector<rt::HostVar> in) {
    std::vector<int> out;
    rt::Cursor c;
    EXPECT_EQ(rt::Open(c, st, in), rt::kOk);
    std::int32_t bnr;
    while (rt::Fetch(c, {{rt::Int32(&bnr)}}) == rt::kOk) out.push_back(bnr);
    rt::Close(c);
    return out;
  };

  const char* dayTexts[] = {"20240228", "20240229", "20240230", "20240301", "20240302",
                            "20240303", "20240304", "2024030", ""};
  const char* timeTexts[] = {"000000", "055959", "060000", "140000", "235959"};
  char apl[11] = "A1", m1[4] = "M_A", m2[4] = "M__", fd[9], ft[7], td[9], tt[7], zero[7] = "000000",
       sek[3] = "00";
  // Rows of one second and KeySek may come in any order: compare the keys in
  // order and the rows as sets.
  auto same = [&keyOf](std::vector<int> got, std::vector<int> expected) {
    std::vector<std::string> gotKeys, expectedKeys;
    for (int b : got) gotKeys.push_back(keyOf[b]);
    for (int b : expected) expectedKeys.push_back(keyOf[b]);
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    return gotKeys == expectedKeys && got == expected;
  };
  int windows = 0, nonEmpty = 0;
  for (const char* fromDay : dayTexts)
    for (const char* fromTime : timeTexts)
      for (const char* toDay : dayTexts)
        for (const char* toTime : timeTexts) {
          CopyText(fd, fromDay);
          CopyText(ft, fromTime);
          CopyText(td, toDay);
          CopyText(tt, toTime);
          const std::vector<int> expected =
              plain(plainAsc, {rt::Text(apl), rt::Text(m1), rt::Text(m2), rt::Text(fd),
                               rt::Text(ft), rt::Text(td), rt::Text(tt)});
          ASSERT_TRUE(same(Asc(apl, fd, ft, td, tt), expected))
              << fromDay << " " << fromTime << " - " << toDay << " " << toTime;
          ++windows;
          nonEmpty += !expected.empty();
        }
  EXPECT_GT(nonEmpty, windows / 4);
  for (const char* day : dayTexts) {
    CopyText(fd, day);
    const std::vector<int> expected = plain(
        plainDesc, {rt::Text(m2), rt::Text(m1), rt::Text(apl), rt::Text(fd), rt::Text(zero),
                    rt::Text(sek)});
    EXPECT_TRUE(same(Desc(apl, fd), expected)) << day;
  }
}

TEST_P(DbMelTest, EverySelectedColumnLandsInItsFieldAndMelDatIsKept) {
  db.Exec(
      "insert into Kvn560Mel (KeyBnr,KeyLfn,ObjTyp,KeyPnr,KeyApl,KeyApk,KeyApp,"
      "Sts00E,Sts00R,Sts00A,Sts00U,Sts00S,Sts006,Sts007,Sts008,Sts009,Sts010,Sts011,Sts012,"
      "Sts013,Sts014,Sts015,Sts016,KeyDat,KeyUhr,KeySek,KeyUbg,KeyAug,MelMsk,MelAwn,MelFcd,"
      "MelTrm,MelOff,MelFnr,MelGum,MelFam,MelMam,MelNam,MelZt1,MelZt2,MelZt3,MelMee,MelAec,"
      "MelTrc,MelErf,MelKsb,MelKdt,MelKfc,MelKgm,MelKfm,MelKmm,MelKnm,KeyTnr,MelDat) "
      "values (101,102,'M_A','PNR45678','APL4567890','APK456789012','APP45',"
      "'a','b','c','d','e','f','g','h','i','j','k','l','m','n','o','p',"
      "'2024-01-05 00:00:00','1899-12-30 10:11:12','07','UBG45','AUG4',"
      "'AB','AWN45678','FCD','T2','F',-7,1.5,2.5,3.5,4.5,5.5,6.5,7.5,"
      "'MEE','q','r','ERF45678','KSB45678','2023-12-31','KFC',8.5,9.5,10.5,11.5,"
      "'TNR45678901234567890','2020-01-01 00:00:00')");
  db::Kvn560Mel r{};
  CopyText(r.MelDat, "KEEPDAT");
  ASSERT_EQ(db::Mel_Apl_Open("APL4567890", "20240105", "000000", "20240106", "000000"), rt::kOk);
  ASSERT_EQ(db::Mel_Apl_Read(&r), rt::kOk);
  db::Mel_Apl_Close();

  struct Text {
    const char* name;
    const char* got;
    const char* expected;
  } texts[] = {
      {"ObjTyp", r.ObjTyp, "M_A"},       {"KeyPnr", r.KeyPnr, "PNR45678"},
      {"KeyApl", r.KeyApl, "APL4567890"}, {"KeyApk", r.KeyApk, "APK456789012"},
      {"KeyApp", r.KeyApp, "APP45"},      {"Sts00E", r.Sts00E, "a"},
      {"Sts00R", r.Sts00R, "b"},          {"Sts00A", r.Sts00A, "c"},
      {"Sts00U", r.Sts00U, "d"},          {"Sts00S", r.Sts00S, "e"},
      {"Sts006", r.Sts006, "f"},          {"Sts007", r.Sts007, "g"},
      {"Sts008", r.Sts008, "h"},          {"Sts009", r.Sts009, "i"},
      {"Sts010", r.Sts010, "j"},          {"Sts011", r.Sts011, "k"},
      {"Sts012", r.Sts012, "l"},          {"Sts013", r.Sts013, "m"},
      {"Sts014", r.Sts014, "n"},          {"Sts015", r.Sts015, "o"},
      {"Sts016", r.Sts016, "p"},          {"KeyDat", r.KeyDat, "20240105"},
      {"KeyUhr", r.KeyUhr, "101112"},     {"KeySek", r.KeySek, "07"},
      {"KeyUbg", r.KeyUbg, "UBG45"},      {"KeyAug", r.KeyAug, "AUG4"},
      {"MelMsk", r.MelMsk, "AB"},         {"MelFcd", r.MelFcd, "FCD"},
      {"MelAwn", r.MelAwn, "AWN45678"},   {"MelTrm", r.MelTrm, "T2"},
      {"MelOff", r.MelOff, "F"},          {"MelMee", r.MelMee, "MEE"},
      {"MelAec", r.MelAec, "q"},          {"MelTrc", r.MelTrc, "r"},
      // A date column read without TO_CHAR gives the backend's own text of it.
      {"MelKsb", r.MelKsb, "KSB45678"},
      {"MelKdt", r.MelKdt, db.pg() ? "2023-12-31 00:" : "2023-12-31"},
      {"MelKfc", r.MelKfc, "KFC"},        {"KeyTnr", r.KeyTnr, "TNR45678901234567890"},
      {"MelDat", r.MelDat, "KEEPDAT"},    {"MelErf", r.MelErf, "ERF45678"},
  };
  for (const Text& t : texts) EXPECT_STREQ(t.got, t.expected) << t.name;
  struct Number {
    const char* name;
    double got, expected;
  } numbers[] = {
      {"KeyBnr", double(r.KeyBnr), 101}, {"KeyLfn", double(r.KeyLfn), 102},
      {"MelFnr", double(r.MelFnr), -7},  {"MelGum", r.MelGum, 1.5},
      {"MelFam", r.MelFam, 2.5},         {"MelMam", r.MelMam, 3.5},
      {"MelNam", r.MelNam, 4.5},         {"MelZt1", r.MelZt1, 5.5},
      {"MelZt2", r.MelZt2, 6.5},         {"MelZt3", r.MelZt3, 7.5},
      {"MelKgm", r.MelKgm, 8.5},         {"MelKfm", r.MelKfm, 9.5},
      {"MelKmm", r.MelKmm, 10.5},        {"MelKnm", r.MelKnm, 11.5},
  };
  for (const Number& n : numbers) EXPECT_EQ(n.got, n.expected) << n.name;
}

TEST_P(DbMelTest, LongTextsAreCutAndNullsReadAsEmptyOrZero) {
  db.Exec("insert into Kvn560Mel (KeyBnr,KeyApl,ObjTyp,KeyDat,KeyUhr,KeySek,KeyPnr,KeyUbg,Sts00E,"
          "KeyTnr,MelKdt,MelMsk) values (1,'A1','M_A','2024-01-05','" + Uhr("08:00:00") + "','00',"
          "'PNR4567890123','UBG4567','xyz','TNR456789012345678901234567890',"
          "'2023-12-31 01:02:03','ABCD')");
  // Only the columns the selection needs; KeySek too may be NULL past the from-instant.
  db.Exec("insert into Kvn560Mel (KeyApl,ObjTyp,KeyDat,KeyUhr) values "
          "('A1','M__','2024-01-05','" + Uhr("09:00:00") + "')");
  db::Kvn560Mel r;
  std::memset(&r, 'Z', sizeof r);
  ASSERT_EQ(db::Mel_Apl_Open("A1", "20240105", "000000", "20240106", "000000"), rt::kOk);
  ASSERT_EQ(db::Mel_Apl_Read(&r), rt::kOk);
  EXPECT_STREQ(r.KeyPnr, "PNR45678");
  EXPECT_STREQ(r.KeyUbg, "UBG45");
  EXPECT_STREQ(r.Sts00E, "x");
  EXPECT_STREQ(r.KeyTnr, "TNR45678901234567890");
  EXPECT_STREQ(r.MelKdt, "2023-12-31 01:");
  EXPECT_STREQ(r.MelMsk, "ABC");

  std::memset(&r, 'Z', sizeof r);
  ASSERT_EQ(db::Mel_Apl_Read(&r), rt::kOk);
  EXPECT_EQ(r.KeyBnr, 0);
  EXPECT_EQ(r.KeyLfn, 0);
  EXPECT_STREQ(r.ObjTyp, "M__");
  EXPECT_STREQ(r.KeyUhr, "090000");
  EXPECT_STREQ(r.KeySek, "");
  EXPECT_STREQ(r.MelMsk, "");
  EXPECT_STREQ(r.KeyUbg, "");
  EXPECT_STREQ(r.MelKdt, "");
  EXPECT_EQ(r.MelFnr, 0);
  EXPECT_EQ(r.MelZt2, 0.0);
  EXPECT_EQ(r.MelKnm, 0.0);
  EXPECT_EQ(db::Mel_Apl_Read(&r), rt::kNoData);
  db::Mel_Apl_Close();

  // The descending cursor shares the copy step.
  ASSERT_EQ(db::Mel_AplDesc_Open("A1", "20240105"), rt::kOk);
  ASSERT_EQ(db::Mel_AplDesc_Read(&r), rt::kOk);
  EXPECT_STREQ(r.MelMsk, "");
  ASSERT_EQ(db::Mel_AplDesc_Read(&r), rt::kOk);
  EXPECT_STREQ(r.KeyUbg, "UBG45");
  db::Mel_AplDesc_Close();
}

TEST_P(DbMelTest, ReadAtTheEndZeroesKeysAndAmountsAndKeepsTheRest) {
  AddMel(1, "A1", "M_A", "2024-01-05", "08:00:00", "00");
  // Both cursors, each after its last row and on an empty selection.
  struct Case {
    const char* name;
    int (*open)();
    int (*read)(db::Kvn560Mel*);
    int (*close)();
    int rows;
  } cases[] = {
      {"asc, empty", [] { return db::Mel_Apl_Open("A1", "20240106", "000000", "20240107", "000000"); },
       db::Mel_Apl_Read, db::Mel_Apl_Close, 0},
      {"asc, after a row",
       [] { return db::Mel_Apl_Open("A1", "20240105", "000000", "20240106", "000000"); },
       db::Mel_Apl_Read, db::Mel_Apl_Close, 1},
      {"desc, empty", [] { return db::Mel_AplDesc_Open("A1", "20240106"); }, db::Mel_AplDesc_Read,
       db::Mel_AplDesc_Close, 0},
      {"desc, after a row", [] { return db::Mel_AplDesc_Open("A1", "20240105"); },
       db::Mel_AplDesc_Read, db::Mel_AplDesc_Close, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.open(), rt::kOk);
    db::Kvn560Mel r{};
    for (int i = 0; i < c.rows; ++i) ASSERT_EQ(c.read(&r), rt::kOk);
    r.KeyBnr = r.KeyLfn = 9;
    r.MelFnr = 9;
    r.MelGum = r.MelFam = r.MelMam = r.MelNam = r.MelKgm = r.MelKfm = r.MelKmm = r.MelKnm = 9.0;
    r.MelZt1 = r.MelZt2 = r.MelZt3 = 9.0;
    CopyText(r.KeyDat, "KEEP");
    CopyText(r.MelMsk, "KP");
    CopyText(r.KeyTnr, "KEEPTNR");
    CopyText(r.MelDat, "KEEPDAT");
    EXPECT_EQ(c.read(&r), rt::kNoData);
    EXPECT_EQ(r.KeyBnr, 0);
    EXPECT_EQ(r.KeyLfn, 0);
    for (double v : {r.MelGum, r.MelFam, r.MelMam, r.MelNam, r.MelKgm, r.MelKfm, r.MelKmm, r.MelKnm})
      EXPECT_EQ(v, 0.0);
    EXPECT_EQ(r.MelFnr, 9);
    for (double v : {r.MelZt1, r.MelZt2, r.MelZt3}) EXPECT_EQ(v, 9.0);
    EXPECT_STREQ(r.KeyDat, "KEEP");
    EXPECT_STREQ(r.MelMsk, "KP");
    EXPECT_STREQ(r.KeyTnr, "KEEPTNR");
    EXPECT_STREQ(r.MelDat, "KEEPDAT");
    EXPECT_EQ(c.close(), rt::kOk);
  }
}

TEST_P(DbMelTest, MelFnrIsTransferredAsSixteenBitsAndWidenedWithSign) {
  db.Exec("insert into Kvn560Mel (KeyBnr,KeyApl,ObjTyp,KeyDat,KeyUhr,KeySek,MelFnr) values "
          "(1,'A1','M_A','2024-01-05','" + Uhr("08:00:00") + "','00',-32768),"
          "(2,'A1','M_A','2024-01-05','" + Uhr("08:00:01") + "','00',32767),"
          "(3,'A1','M_A','2024-01-05','" + Uhr("08:00:02") + "','00',-1)");
  ASSERT_EQ(db::Mel_Apl_Open("A1", "20240105", "000000", "20240106", "000000"), rt::kOk);
  db::Kvn560Mel r{};
  std::vector<std::int32_t> got;
  while (db::Mel_Apl_Read(&r) == rt::kOk) got.push_back(r.MelFnr);
  db::Mel_Apl_Close();
  EXPECT_EQ(got, (std::vector<std::int32_t>{-32768, 32767, -1}));
}

TEST_P(DbMelTest, FailedOpenMakesTheReadFail) {
  AddMel(1, "A1", "M_A", "2024-01-05", "08:00:00", "00");
  rt::InjectFault("Mel_Apl", -3113);
  EXPECT_EQ(db::Mel_Apl_Open("A1", "20240105", "000000", "20240106", "000000"), -3113);
  db::Kvn560Mel r{};
  EXPECT_NE(db::Mel_Apl_Read(&r), rt::kOk);
  db::Mel_Apl_Close();
  // A fresh open works again.
  EXPECT_EQ(Asc("A1", "20240105", "000000", "20240106", "000000"), std::vector<int>{1});
}

TEST_P(DbMelTest, OtherOperationsMayRunBetweenTwoReadsOfAnOpenCursor) {
  for (int i = 1; i <= 3; ++i)
    AddMel(i, "A1", "M_A", "2024-01-05", ("0" + std::to_string(i) + ":00:00").c_str(), "00");
  db.Exec("insert into Kvn565Map (MapBnr,MapObj,MapApl,MapApk,MapApp) values (7,'M_A','A1','K','P')");
  db.Exec("insert into Kvn563Mrk (MrkKng,MrkApl,MrkApk,MrkApp,MrkPnr,MrkBnr,MrkMdt) values "
          "('LZM','A1','K','P','N',1,'2024-01-05 00:00:00')");
  ASSERT_EQ(db::Mel_Apl_Open("A1", "20240105", "000000", "20240106", "000000"), rt::kOk);
  db::Kvn560Mel r{};
  ASSERT_EQ(db::Mel_Apl_Read(&r), rt::kOk);
  EXPECT_EQ(r.KeyBnr, 1);

  // Another cursor of the module, a write and a delete in between.
  ASSERT_EQ(db::Mel_AplDesc_Open("A1", "20240101"), rt::kOk);
  db::Kvn560Mel d{};
  ASSERT_EQ(db::Mel_AplDesc_Read(&d), rt::kOk);
  EXPECT_EQ(d.KeyBnr, 3);
  db::Mel_AplDesc_Close();
  db::Kvn565Map m{};
  ASSERT_EQ(db::Map_Apl_Open("A1"), rt::kOk);
  ASSERT_EQ(db::Map_Apl_Read(&m), rt::kOk);
  db::Map_Apl_Close();
  EXPECT_EQ(m.MapBnr, 7);
  EXPECT_EQ(db::Mrk_Del_AplLzm("A1", "20240101"), rt::kOk);
  EXPECT_EQ(db::Nza_Del_SA12("A1", "20240101", "20240109"), rt::kOk);

  ASSERT_EQ(db::Mel_Apl_Read(&r), rt::kOk);
  EXPECT_EQ(r.KeyBnr, 2);
  EXPECT_STREQ(r.KeyUhr, "020000");
  ASSERT_EQ(db::Mel_Apl_Read(&r), rt::kOk);
  EXPECT_EQ(r.KeyBnr, 3);
  EXPECT_EQ(db::Mel_Apl_Read(&r), rt::kNoData);
  EXPECT_EQ(db::Mel_Apl_Close(), rt::kOk);
}

// ---------------------------------------------------------------------------
// Message buffer records

TEST_P(DbMelTest, MapCursorDeliversTheWorkplacesMessageTypesInKeyOrder) {
  db.Exec("insert into Kvn565Map (MapBnr,MapObj,MapApl,MapApk,MapApp) values "
          "(1,'M__','A1','K1','P1'),(2,'M_A','A1','K2','P1'),(3,'M_A','A1','K1','P2'),"
          "(4,'M_X','A1','K1','P1'),(5,'M_A','A2','K1','P1'),(6,'M_A','A10','K1','P1'),"
          "(7,'M_A','A1','K1','P1')");
  struct Case {
    const char* apl;
    std::vector<int> expected;
  } cases[] = {{"A1", {7, 3, 2, 1}}, {"A2", {5}}, {"A3", {}}};
  for (const Case& c : cases) {
    std::vector<int> got;
    db::Kvn565Map r{};
    ASSERT_EQ(db::Map_Apl_Open(c.apl), rt::kOk);
    int status;
    while ((status = db::Map_Apl_Read(&r)) == rt::kOk) got.push_back(r.MapBnr);
    EXPECT_EQ(status, rt::kNoData);
    EXPECT_EQ(db::Map_Apl_Close(), rt::kOk);
    EXPECT_EQ(got, c.expected) << c.apl;
  }
}

TEST_P(DbMelTest, MapEveryColumnLandsInItsFieldAndNullsDoNotFail) {
  db.Exec("insert into Kvn565Map (MapBnr,MapObj,MapPnr,MapApl,MapApk,MapApp,Map00E,Map00R,"
          "Map00A,Map00U,Map00S,Map006,Map007,Map008,Map009,Map010,Map011,Map012,Map013,Map014,"
          "Map015,Map016,MapMdt,MapMzt,MapDat,MapErf,MapSts,MapUbg,MapTnr) values (42,'M_A','PNR45678','APL4567890','APK456789012','APP45',"
          "'a','b','c','d','e','f','g','h','i','j','k','l','m','n','o','p',"
          "'2024-01-05 00:00:00','1899-12-30 10:11:12','2020-01-01','ERF45678','s','UBG45',"
          "'TNR45678901234567890')");
  db.Exec("insert into Kvn565Map (MapObj,MapApl,MapApk,MapApp) values ('M__','APL4567890','K','P')");
  db::Kvn565Map r{};
  CopyText(r.MapDat, "KEEPDAT");
  ASSERT_EQ(db::Map_Apl_Open("APL4567890"), rt::kOk);
  ASSERT_EQ(db::Map_Apl_Read(&r), rt::kOk);
  struct Text {
    const char* name;
    const char* got;
    const char* expected;
  } texts[] = {
      {"MapObj", r.MapObj, "M_A"},        {"MapPnr", r.MapPnr, "PNR45678"},
      {"MapApl", r.MapApl, "APL4567890"}, {"MapApk", r.MapApk, "APK456789012"},
      {"MapApp", r.MapApp, "APP45"},      {"Map00E", r.Map00E, "a"},
      {"Map00R", r.Map00R, "b"},          {"Map00A", r.Map00A, "c"},
      {"Map00U", r.Map00U, "d"},          {"Map00S", r.Map00S, "e"},
      {"Map006", r.Map006, "f"},          {"Map007", r.Map007, "g"},
      {"Map008", r.Map008, "h"},          {"Map009", r.Map009, "i"},
      {"Map010", r.Map010, "j"},          {"Map011", r.Map011, "k"},
      {"Map012", r.Map012, "l"},          {"Map013", r.Map013, "m"},
      {"Map014", r.Map014, "n"},          {"Map015", r.Map015, "o"},
      {"Map016", r.Map016, "p"},          {"MapMdt", r.MapMdt, "20240105"},
      {"MapMzt", r.MapMzt, "101112"},     {"MapDat", r.MapDat, "KEEPDAT"},
      {"MapErf", r.MapErf, "ERF45678"},   {"MapSts", r.MapSts, "s"},
      {"MapUbg", r.MapUbg, "UBG45"},      {"MapTnr", r.MapTnr, "TNR45678901234567890"},
  };
  for (const Text& t : texts) EXPECT_STREQ(t.got, t.expected) << t.name;
  EXPECT_EQ(r.MapBnr, 42);

  ASSERT_EQ(db::Map_Apl_Read(&r), rt::kOk);
  EXPECT_EQ(r.MapBnr, 0);
  EXPECT_STREQ(r.MapObj, "M__");
  EXPECT_STREQ(r.MapPnr, "");
  EXPECT_STREQ(r.Map00U, "");
  EXPECT_STREQ(r.MapMdt, "");
  EXPECT_STREQ(r.MapTnr, "");
  db::Map_Apl_Close();
}

TEST_P(DbMelTest, MapReadAtTheEndRewritesOnlyTheKeyFields) {
  db.Exec("insert into Kvn565Map (MapBnr,MapObj,MapPnr,MapApl,MapApk,MapApp,Map00U,MapMdt) values "
          "(5,'M_A','N1','A1','K1','P1','U','2024-01-05')");
  db::Kvn565Map r{};
  ASSERT_EQ(db::Map_Apl_Open("A1"), rt::kOk);
  ASSERT_EQ(db::Map_Apl_Read(&r), rt::kOk);
  db::Kvn565Map before = r;
  CopyText(r.MapApk, "XX");
  r.MapBnr = 99;
  CopyText(r.Map00U, "Z");
  CopyText(r.MapMdt, "KEEP");
  EXPECT_EQ(db::Map_Apl_Read(&r), rt::kNoData);
  db::Map_Apl_Close();
  // The key fields come back from the buffers, which still hold the last row.
  EXPECT_EQ(r.MapBnr, before.MapBnr);
  EXPECT_STREQ(r.MapApk, before.MapApk);
  EXPECT_STREQ(r.MapPnr, "N1");
  EXPECT_STREQ(r.Map00U, "Z");
  EXPECT_STREQ(r.MapMdt, "KEEP");
}

// ---------------------------------------------------------------------------
// Evaluation results

// A record with a distinct value in every field.
db::Kvn590Nza DistinctNza() {
  db::Kvn590Nza n{};
  n.NzaSa = 12;
  CopyText(n.NzaApl, "APL4567890");
  CopyText(n.NzaApk, "APK456789012");
  CopyText(n.NzaApp, "APP45");
  CopyText(n.NzaPnr, "PNR4567890");
  CopyText(n.NzaDtmDay, "20240105");
  CopyText(n.NzaDtmTime, "060000");
  n.NzaBeg = 1;
  n.NzaBbn = 2;
  n.NzaBln = 3;
  CopyText(n.NzaBmk, "BMK");
  CopyText(n.NzaEdtDay, "20240105");
  CopyText(n.NzaEdtTime, "140000");
  n.NzaEnd = 4;
  n.NzaEbn = 5;
  n.NzaEln = 6;
  CopyText(n.NzaEmk, "EMK");
  CopyText(n.NzaUbg, "UBG45");
  n.NzaRau = 7;
  n.NzaVar = 8;
  n.Nza00A = 9;
  n.Nza00U = 10;
  n.Nza00S = 11;
  CopyText(n.NzaEmo, "EMO4567890");
  n.NzaWtg = 12;
  n.NzaJtg = 13;
  CopyText(n.NzaTtp, "TTP");
  CopyText(n.NzaJwo, "JWO4");
  n.NzaWoc = 14;
  n.NzaPzm = 15;
  n.NzaMaz = 16;
  n.NzaGum = 17.25;
  n.NzaAum = 18.25;
  n.NzaNzr = 19.25;
  n.NzaBzr = 20.25;
  n.NzaUzr = 21.25;
  n.NzaPzr = 22.25;
  n.NzaRbz = 23.25;
  n.NzaNza = 24.25;
  n.NzaBzA = 25.25;
  n.NzaUza = 26.25;
  n.NzaPza = 27.25;
  n.NzaAbz = 28.25;
  n.NzaBzu = 29.25;
  n.NzaNzu = 30.25;
  n.NzaPzu = 31.25;
  n.NzaUbz = 32.25;
  n.NzaIst = 33.25;
  n.NzaSol = 34.25;
  n.NzaPau = 35.25;
  n.NzaRf1 = 36.25;
  n.NzaRf2 = 37.25;
  n.NzaRf3 = 38.25;
  n.NzaFnr = 39;
  CopyText(n.NzaTnr, "TNR45678901234567890");
  CopyText(n.NzaDat, "19990101000000");
  CopyText(n.NzaErf, "ERF45678");
  return n;
}

TEST_P(DbMelTest, NzaInsertWritesEveryFieldIntoItsColumnAndTheDatabaseTime) {
  const db::Kvn590Nza n = DistinctNza();
  const db::Kvn590Nza copy = n;
  const std::string before = db.NowText();
  ASSERT_EQ(db::Nza_PKeyIns(&n), rt::kOk);
  const std::string after = db.NowText();
  EXPECT_EQ(std::memcmp(&n, &copy, sizeof n), 0);  // the record is read only

  struct Column {
    const char* name;
    const char* expected;
  } columns[] = {
      {"NzaSa", "12"},          {"NzaApl", "APL4567890"},  {"NzaApk", "APK456789012"},
      {"NzaApp", "APP45"},      {"NzaPnr", "PNR4567890"},  {"NzaDtm", "2024-01-05 06:00:00"},
      {"NzaBeg", "1"},          {"NzaBbn", "2"},           {"NzaBln", "3"},
      {"NzaBmk", "BMK"},        {"NzaEdt", "2024-01-05 14:00:00"},
      {"NzaEnd", "4"},          {"NzaEbn", "5"},           {"NzaEln", "6"},
      {"NzaEmk", "EMK"},        {"NzaUbg", "UBG45"},       {"NzaRau", "7"},
      {"NzaVar", "8"},          {"Nza00A", "9"},           {"Nza00U", "10"},
      {"Nza00S", "11"},         {"NzaEmo", "EMO4567890"},  {"NzaWtg", "12"},
      {"NzaJtg", "13"},         {"NzaTtp", "TTP"},         {"NzaJwo", "JWO4"},
      {"NzaWoc", "14"},         {"NzaPzm", "15"},          {"NzaMaz", "16"},
      {"NzaGum", "17.25"},      {"NzaAum", "18.25"},       {"NzaNzr", "19.25"},
      {"NzaBzr", "20.25"},      {"NzaUzr", "21.25"},       {"NzaPzr", "22.25"},
      {"NzaRbz", "23.25"},      {"NzaNza", "24.25"},       {"NzaBzA", "25.25"},
      {"NzaUza", "26.25"},      {"NzaPza", "27.25"},       {"NzaAbz", "28.25"},
      {"NzaBzu", "29.25"},      {"NzaNzu", "30.25"},       {"NzaPzu", "31.25"},
      {"NzaUbz", "32.25"},      {"NzaIst", "33.25"},       {"NzaSol", "34.25"},
      {"NzaPau", "35.25"},      {"NzaRf1", "36.25"},       {"NzaRf2", "37.25"},
      {"NzaRf3", "38.25"},      {"NzaFnr", "39"},          {"NzaTnr", "TNR45678901234567890"},
      {"NzaErf", "ERF45678"},
  };
  EXPECT_EQ(std::size(columns), 54u);
  for (const Column& c : columns)
    EXPECT_EQ(db.One(std::string("select ") + c.name + " from Kvn590Nza"), c.expected) << c.name;
  // The database's time, whatever the record held.
  const std::string dat = db.One("select NzaDat from Kvn590Nza");
  EXPECT_GE(dat, before);
  EXPECT_LE(dat, after);
}

// The real backend, remembering the texts bound to the last write.
class BindRecorder : public rt::Backend {
 public:
  explicit BindRecorder(std::unique_ptr<rt::Backend> real) : real_(std::move(real)) {}
  int Query(const rt::Statement& st, std::span<const rt::HostVar> in, rt::ResultSet* rs,
            std::size_t maxRows) override {
    return real_->Query(st, in, rs, maxRows);
  }
  int Exec(const rt::Statement& st, std::span<const rt::HostVar> in, long* changes) override {
    if (!in.empty()) {
      texts.clear();
      for (const rt::HostVar& v : in)
        texts.push_back(v.kind == rt::HostKind::kText
                            ? std::string(static_cast<const char*>(v.addr),
                                          strnlen(static_cast<const char*>(v.addr), v.width))
                            : std::string("#"));
    }
    return real_->Exec(st, in, changes);
  }
  std::string ExecutedText(const rt::Statement& st) override { return real_->ExecutedText(st); }
  std::vector<std::string> texts;

 private:
  std::unique_ptr<rt::Backend> real_;
};

TEST_P(DbMelTest, NzaInsertTimestampTexts) {
  std::unique_ptr<rt::Backend> real;
  ASSERT_EQ(db.OpenBackend(&real), rt::kOk);
  auto recorder = std::make_unique<BindRecorder>(std::move(real));
  BindRecorder* binds = recorder.get();
  rt::Install(std::move(recorder));

  struct Case {
    const char *dtmDay, *dtmTime, *edtDay, *edtTime;
    const char *boundDtm, *boundEdt;  // :b5 and :b10
    const char* storedEdt;            // nullptr: refused; "" for no date
  } cases[] = {
      {"20240105", "060000", "20240105", "140000", "20240105060000", "20240105140000",
       "2024-01-05 14:00:00"},
      // No end: an empty end text, which stores no date.
      {"20240106", "060000", "", "", "20240106060000", "", ""},
      // A short end is joined without blanks; it names no instant, so the
      // row is refused like a short begin.
      {"20240107", "060000", "2024010", "0600", "20240107060000", "20240100600", nullptr},
      // Short begin parts get blanks on their left: no date, so the row is refused.
      {"2024010", "060000", "20240105", "140000", " 2024010060000", "20240105140000", nullptr},
      {"20240105", "60000", "20240105", "140000", "20240105 60000", "20240105140000", nullptr},
      {"", "", "20240105", "140000", "              ", "20240105140000", nullptr},
  };
  int rows = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.dtmDay) + "/" + c.dtmTime);
    db::Kvn590Nza n = DistinctNza();
    CopyText(n.NzaDtmDay, c.dtmDay);
    CopyText(n.NzaDtmTime, c.dtmTime);
    CopyText(n.NzaEdtDay, c.edtDay);
    CopyText(n.NzaEdtTime, c.edtTime);
    const int status = db::Nza_PKeyIns(&n);
    ASSERT_EQ(binds->texts.size(), 54u);
    EXPECT_EQ(binds->texts[5], c.boundDtm);
    EXPECT_EQ(binds->texts[10], c.boundEdt);
    if (c.storedEdt) {
      ASSERT_EQ(status, rt::kOk);
      ++rows;
      const std::string day(c.dtmDay);
      EXPECT_EQ(db.One("select coalesce(CAST(NzaEdt AS text),'') from Kvn590Nza where NzaDtm='" +
                       day.substr(0, 4) +
                       "-" + day.substr(4, 2) + "-" + day.substr(6, 2) + " 06:00:00'"),
                c.storedEdt);
    } else {
      EXPECT_LT(status, 0);
    }
    EXPECT_EQ(db.One("select count(*) from Kvn590Nza"), std::to_string(rows));
  }
}

TEST_P(DbMelTest, NzaInsertDuplicateAndInjectedFailureLeaveTheTableAsItWas) {
  db::Kvn590Nza n = DistinctNza();
  ASSERT_EQ(db::Nza_PKeyIns(&n), rt::kOk);
  const std::string table = "select * from Kvn590Nza order by NzaDtm";
  const auto rowsBefore = db.Rows(table);

  // Same key, other figures: refused.
  n.NzaGum = 99;
  EXPECT_EQ(db::Nza_PKeyIns(&n), rt::kUniqueViolation);
  EXPECT_EQ(db.Rows(table), rowsBefore);

  // Injected failure of the statement.
  CopyText(n.NzaDtmTime, "070000");
  rt::InjectFault("Nza_PKeyIns", -3113);
  EXPECT_EQ(db::Nza_PKeyIns(&n), -3113);
  EXPECT_EQ(db.Rows(table), rowsBefore);

  // A later insert succeeds and is committed: another connection sees it.
  EXPECT_EQ(db::Nza_PKeyIns(&n), rt::kOk);
  EXPECT_EQ(db.One("select NzaGum from Kvn590Nza where NzaDtm='2024-01-05 07:00:00'"), "99.0");
  EXPECT_EQ(db.Rows(table).size(), 2u);
}

TEST_P(DbMelTest, NzaDeleteKind12OfTheWorkplaceInAnInclusiveSpanOfDays) {
  struct Row {
    int sa;
    const char* apl;
    const char* dtm;
  };
  const Row rows[] = {
      {12, "A1", "2024-01-04 23:59:59"}, {12, "A1", "2024-01-05 00:00:00"},
      {12, "A1", "2024-01-05"},          {12, "A1", "2024-01-05 12:00:00"},
      {12, "A1", "2024-01-05 23:59:59"}, {12, "A1", "2024-01-06 00:00:00"},
      {12, "A1", "2024-01-07 08:00:00"}, {11, "A1", "2024-01-05 12:00:00"},
      {13, "A1", "2024-01-05 12:00:00"}, {12, "A2", "2024-01-05 12:00:00"},
      {12, "A10", "2024-01-05 12:00:00"},
  };
  struct Case {
    const char *apl, *from, *to;
    std::vector<int> deleted;  // indexes into rows
  } cases[] = {
      {"A1", "20240105", "20240105", {1, 2, 3, 4}},
      {"A1", "20240104", "20240106", {0, 1, 2, 3, 4, 5}},
      {"A1", "20240106", "20240107", {5, 6}},
      {"A1", "20240106", "20240105", {}},
      {"A3", "20240101", "20241231", {}},
      {"A2", "20240105", "20240105", {9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.apl) + " " + c.from + "-" + c.to);
    db.Exec("delete from Kvn590Nza");
    // NzaPnr apart, so that the same instant in two stored forms is two keys
    // on the server too.
    std::string insert = "insert into Kvn590Nza (NzaSa,NzaApl,NzaApk,NzaApp,NzaPnr,NzaDtm,NzaBeg) values ";
    for (std::size_t i = 0; i < std::size(rows); ++i)
      insert += std::string(i ? "," : "") + "(" + std::to_string(rows[i].sa) + ",'" + rows[i].apl +
                "','K','P','N" + std::to_string(i) + "','" + rows[i].dtm + "'," + std::to_string(i) + ")";
    db.Exec(insert);
    EXPECT_EQ(db::Nza_Del_SA12(c.apl, c.from, c.to), rt::kOk);
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < std::size(rows); ++i)
      if (std::find(c.deleted.begin(), c.deleted.end(), static_cast<int>(i)) == c.deleted.end())
        expected.push_back(std::to_string(i));
    EXPECT_EQ(db.Rows("select NzaBeg from Kvn590Nza order by NzaBeg"), expected);
  }
}

TEST_P(DbMelTest, NzaDeleteInjectedFailureLeavesTheRows) {
  db.Exec("insert into Kvn590Nza (NzaSa,NzaApl,NzaApk,NzaApp,NzaPnr,NzaDtm) values "
          "(12,'A1','K','P','N','2024-01-05 06:00:00')");
  rt::InjectFault("Nza_Del_SA12", -54);
  EXPECT_EQ(db::Nza_Del_SA12("A1", "20240105", "20240105"), -54);
  EXPECT_EQ(db.One("select count(*) from Kvn590Nza"), "1");
  EXPECT_EQ(db::Nza_Del_SA12("A1", "20240105", "20240105"), rt::kOk);
  EXPECT_EQ(db.One("select count(*) from Kvn590Nza"), "0");
}

// ---------------------------------------------------------------------------
// Recalculation markers

void AddMarkers(testdb::Db& db) {
  db.Exec("insert into Kvn563Mrk (MrkKng,MrkApl,MrkApk,MrkApp,MrkPnr,MrkBnr,MrkMdt,MrkObj,MrkDat,MrkEsb) "
          "values ('LZM','A2','K1','P1','N1',1,'2024-01-03 08:00:00','O1','2024-01-01','E1'),"
          "('LZM','A1','K2','P1','N1',2,'2024-01-02 00:00:00','O2',NULL,'E2'),"
          "('LZM','A1','K1','P1','N1',3,'2024-01-05 10:00:00','O3',NULL,'E3'),"
          "('LZM','A1','K1','P1','N1',4,'2024-01-04',NULL,NULL,NULL),"
          "('XYZ','A1','K1','P1','N1',5,'2024-01-01 00:00:00','O5',NULL,'E5')");
}

TEST_P(DbMelTest, MarkerCursorDeliversOneKindInOrderWithEveryField) {
  AddMarkers(db);
  db::Kvn563Mrk r{};
  CopyText(r.MrkDat, "KEEPDAT");
  ASSERT_EQ(db::Mrk_MrkKng_Open("LZM"), rt::kOk);
  std::vector<std::string> got;
  int status;
  while ((status = db::Mrk_MrkKng_Read(&r)) == rt::kOk) {
    got.push_back(std::string(r.MrkKng) + "|" + r.MrkApl + "|" + r.MrkApk + "|" + r.MrkApp + "|" +
                  r.MrkPnr + "|" + std::to_string(r.MrkBnr) + "|" + r.MrkObj + "|" + r.MrkMdt + "|" +
                  r.MrkDat + "|" + r.MrkEsb);
  }
  EXPECT_EQ(status, rt::kNoData);
  EXPECT_EQ(db::Mrk_MrkKng_Close(), rt::kOk);
  EXPECT_EQ(got, (std::vector<std::string>{
                     "LZM|A1|K1|P1|N1|4||20240104000000|KEEPDAT|",
                     "LZM|A1|K1|P1|N1|3|O3|20240105100000|KEEPDAT|E3",
                     "LZM|A1|K2|P1|N1|2|O2|20240102000000|KEEPDAT|E2",
                     "LZM|A2|K1|P1|N1|1|O1|20240103080000|KEEPDAT|E1",
                 }));
}

TEST_P(DbMelTest, MarkerCursorWithoutMarkersLeavesTheRecord) {
  AddMarkers(db);
  db::Kvn563Mrk r;
  std::memset(&r, 'Z', sizeof r);
  const db::Kvn563Mrk copy = r;
  ASSERT_EQ(db::Mrk_MrkKng_Open("ABC"), rt::kOk);
  EXPECT_EQ(db::Mrk_MrkKng_Read(&r), rt::kNoData);
  EXPECT_EQ(std::memcmp(&r, &copy, sizeof r), 0);
  EXPECT_EQ(db::Mrk_MrkKng_Close(), rt::kOk);
}

TEST_P(DbMelTest, MarkerDeletedUnderTheOpenCursorIsStillDelivered) {
  AddMarkers(db);
  ASSERT_EQ(db::Mrk_MrkKng_Open("LZM"), rt::kOk);
  db::Kvn563Mrk r{};
  ASSERT_EQ(db::Mrk_MrkKng_Read(&r), rt::kOk);
  ASSERT_EQ(r.MrkBnr, 4);
  db::Kvn563Mrk next = r;
  next.MrkBnr = 3;
  EXPECT_EQ(db::Mrk_PKeyDel(&next), rt::kOk);
  EXPECT_EQ(db::Mrk_Del_AplLzm("A2", "20240101"), rt::kOk);  // bnr 1
  EXPECT_EQ(db.Rows("select MrkBnr from Kvn563Mrk where MrkKng='LZM' order by MrkBnr"),
            (std::vector<std::string>{"2", "4"}));
  std::vector<int> rest;
  while (db::Mrk_MrkKng_Read(&r) == rt::kOk) rest.push_back(r.MrkBnr);
  db::Mrk_MrkKng_Close();
  EXPECT_EQ(rest, (std::vector<int>{3, 2, 1}));
}

TEST_P(DbMelTest, MarkerDeleteByKeyIgnoresTimeObjectAndEsb) {
  db.Exec("insert into Kvn563Mrk (MrkKng,MrkApl,MrkApk,MrkApp,MrkPnr,MrkBnr,MrkMdt,MrkObj,MrkEsb) values "
          "('LZM','A1','K','P','N',1,'2024-01-05 10:00:00','O1','E1'),"   // 0: the record
          "('LZM','A1','K','P','N',1,'2023-06-01','O2','E2'),"            // 1: other time, obj, esb
          "('LZM','A1','K','P','N',2,'2024-01-05 10:00:00','O1','E1'),"   // 2: other MrkBnr
          "('LZM','A1','K','P','M',1,'2024-01-05 10:00:00','O1','E1'),"   // 3: other MrkPnr
          "('LZM','A1','K','Q','N',1,'2024-01-05 10:00:00','O1','E1'),"   // 4: other MrkApp
          "('LZM','A1','J','P','N',1,'2024-01-05 10:00:00','O1','E1'),"   // 5: other MrkApk
          "('LZM','A2','K','P','N',1,'2024-01-05 10:00:00','O1','E1'),"   // 6: other MrkApl
          "('LZX','A1','K','P','N',1,'2024-01-05 10:00:00','O1','E1')");  // 7: other MrkKng
  db::Kvn563Mrk r{};
  CopyText(r.MrkKng, "LZM");
  CopyText(r.MrkApl, "A1");
  CopyText(r.MrkApk, "K");
  CopyText(r.MrkApp, "P");
  CopyText(r.MrkPnr, "N");
  r.MrkBnr = 1;
  CopyText(r.MrkMdt, "20991231235959");
  CopyText(r.MrkObj, "XXX");
  CopyText(r.MrkEsb, "XXX");
  const db::Kvn563Mrk copy = r;
  EXPECT_EQ(db::Mrk_PKeyDel(&r), rt::kOk);
  EXPECT_EQ(std::memcmp(&r, &copy, sizeof r), 0);
  EXPECT_EQ(db.Rows("select MrkKng||MrkApl||MrkApk||MrkApp||MrkPnr||MrkBnr from Kvn563Mrk order by 1"),
            (std::vector<std::string>{"LZMA1JPN1", "LZMA1KPM1", "LZMA1KPN2", "LZMA1KQN1",
                                      "LZMA2KPN1", "LZXA1KPN1"}));
  // Nothing left to delete: still 0.
  EXPECT_EQ(db::Mrk_PKeyDel(&r), rt::kOk);
  // A refused delete leaves the table.
  r.MrkBnr = 2;
  rt::InjectFault("Mrk_PKeyDel", -54);
  EXPECT_EQ(db::Mrk_PKeyDel(&r), -54);
  EXPECT_EQ(db.One("select count(*) from Kvn563Mrk"), "6");
}

TEST_P(DbMelTest, MarkerDeleteOfAWorkplaceFromADayOn) {
  struct Row {
    const char *kng, *apl, *mdt;
  };
  const Row rows[] = {
      {"LZM", "A1", "2024-01-04 23:59:59"}, {"LZM", "A1", "2024-01-05 00:00:00"},
      {"LZM", "A1", "2024-01-05"},          {"LZM", "A1", "2024-01-05 23:59:59"},
      {"LZM", "A1", "2099-01-01 08:00:00"}, {"XYZ", "A1", "2024-01-06 00:00:00"},
      {"LZM", "A2", "2024-01-06 00:00:00"}, {"LZM", "A10", "2024-01-06 00:00:00"},
  };
  struct Case {
    const char *apl, *day;
    std::vector<int> deleted;
  } cases[] = {
      {"A1", "20240105", {1, 2, 3, 4}},
      {"A1", "20240104", {0, 1, 2, 3, 4}},
      {"A1", "20240106", {4}},
      {"A2", "20240107", {}},
      {"A3", "20240101", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.apl) + " " + c.day);
    db.Exec("delete from Kvn563Mrk");
    std::string insert =
        "insert into Kvn563Mrk (MrkKng,MrkApl,MrkApk,MrkApp,MrkPnr,MrkBnr,MrkMdt) values ";
    for (std::size_t i = 0; i < std::size(rows); ++i)
      insert += std::string(i ? "," : "") + "('" + rows[i].kng + "','" + rows[i].apl +
                "','K','P','N'," + std::to_string(i) + ",'" + rows[i].mdt + "')";
    db.Exec(insert);
    EXPECT_EQ(db::Mrk_Del_AplLzm(c.apl, c.day), rt::kOk);
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < std::size(rows); ++i)
      if (std::find(c.deleted.begin(), c.deleted.end(), static_cast<int>(i)) == c.deleted.end())
        expected.push_back(std::to_string(i));
    EXPECT_EQ(db.Rows("select MrkBnr from Kvn563Mrk order by MrkBnr"), expected);
  }
}

}  // namespace
