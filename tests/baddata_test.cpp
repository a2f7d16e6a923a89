// Rows that other programs wrote: NULL where a statement reads a value, texts
// longer than their record fields, words in number columns, dates that are
// none, shift and break minutes outside the day, a break longer than its
// shift, holes in the calendar, message codes in lower case. SQLite stores
// what it is given; every run ends within the watchdog's time with exit
// status 0, and each case states the records and the log it leads to.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/ReliabilityFixture.h"

namespace {

using e2e::Entry;
using rel::Lane;
using rel::Texts;

// Workplace 4711 of group G1: shifts 06:00-14:00 and 14:00-22:00 with a break
// in each, an occupation with an interruption on the 18th, one running since
// the 19th (in the message buffer), a marker and the parameter row.
void SmallPlant(e2e::Site& s) {
  s.Calendar("20040301", "20040331");
  s.Shift("M1", "Frueh", 360, 840, 0, "P1");
  s.Shift("M1", "Spaet", 840, 1320, 0, "P1");
  s.Break("P1", "B1", 540, 570);
  s.Break("P1", "B2", 1080, 1110);
  s.Assign("G1", 1, "M1");
  s.Workplace("4711", "G1");
  s.Message("4711", "20040318070000", "AB");
  s.Message("4711", "20040318090000", "AU");
  s.Message("4711", "20040318093000", "AW");
  s.Message("4711", "20040318200000", "AE");
  s.Message("4711", "20040319100000", "AB", "00", "M_A", "A2");
  s.Buffer("4711", "A2", "M_A", "0");
  s.Marker("4711", "20040319080000");
  s.ParameterRow(4, "2004-01-01", "2004-12-31");
}

const Texts kModeA = {"MEIER", "APL", "4711", "20040318", "00000000"};
const Texts kModeM = {"MEIER", "APL", "0000000000"};
const Texts kModeX = {"QUORVELT", "APL", "0000000000", "20040318", "00000000"};

// The records of a run, one text each: begin, end, window or shift text,
// shift model, occupied, net, interrupted, break, interrupted in break,
// planned and break minutes.
Texts Records(const std::string& db, const std::string& where = "1") {
  rel::DbFile f(db);
  return f.Rows(
      "SELECT NzaApl,ifnull(strftime('%Y%m%d%H%M%S',NzaDtm),quote(NzaDtm)),"
      "ifnull(strftime('%Y%m%d%H%M%S',NzaEdt),quote(NzaEdt)),NzaPnr,NzaEmo,NzaBzA,NzaNza,NzaUza,"
      "NzaPza,NzaPzu,NzaSol,NzaPau FROM Kvn590Nza WHERE " + where + " ORDER BY NzaApl,NzaDtm,NzaPnr");
}

class BadDataTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    site_ = new e2e::Site;
    SmallPlant(*site_);
    pristine_ = site_->dir() + "/pristine.db";
    site_->Exec("VACUUM INTO '" + pristine_ + "'");
    Lane base(site_->dir() + "/base");
    base.CopyDb(pristine_);
    baseline_ = rel::Clean(base.Run(kModeA)) ? Records(base.DbPath()) : Texts{"<failed>"};
    base.CopyDb(pristine_);
    baselineM_ = rel::Clean(base.Run(kModeM)) ? Records(base.DbPath()) : Texts{"<failed>"};
  }
  static void TearDownTestSuite() {
    delete site_;
    site_ = nullptr;
  }
  // A fresh copy of the plant with `sql` applied by another program's
  // connection, then the run; the run must end within the watchdog's time.
  struct Result {
    Texts records, log;
    std::string db;
  };
  Result RunWith(const std::string& sql, const Texts& args = kModeA) {
    Lane lane(site_->dir() + "/case" + std::to_string(++cases_));
    lane.CopyDb(pristine_);
    {
      rel::DbFile db(lane.DbPath());
      EXPECT_TRUE(db.Exec(sql)) << sql;
    }
    rel::Outcome o = lane.Run(args, {}, std::chrono::seconds(20));
    EXPECT_TRUE(rel::Clean(o)) << sql;
    Result r;
    r.records = Records(lane.DbPath());
    for (const std::string& e : rel::SplitEntries(lane.Log())) r.log.push_back(rel::Printable(e));
    r.db = lane.DbPath();
    return r;
  }
  static Texts Logged(std::initializer_list<std::string> entries) {
    Texts out;
    for (const std::string& e : entries) out.push_back(rel::Printable(e));
    return out;
  }
  // Another program's change beside the plant's rows, e.g. all messages gone.
  Texts RecordsWith(const std::string& sql) { return RunWith(sql).records; }

  static inline e2e::Site* site_ = nullptr;
  static inline std::string pristine_;
  static inline Texts baseline_, baselineM_;
  static inline int cases_ = 0;
};

// The fields of a record text of Records().
Texts Fields(const std::string& record) {
  Texts out;
  std::size_t pos = 0;
  for (;;) {
    std::size_t bar = record.find('|', pos);
    out.push_back(record.substr(pos, bar == std::string::npos ? std::string::npos : bar - pos));
    if (bar == std::string::npos) return out;
    pos = bar + 1;
  }
}

// Seconds of a duration in minutes.seconds form (62.05 is 3725 seconds).
long Seconds(const std::string& text) {
  const double v = std::stod(text);
  const long minutes = static_cast<long>(v);
  return minutes * 60 + std::lround((v - static_cast<double>(minutes)) * 100);
}

// The parts of every record add up to its occupied time, and the records
// cover the windows of the plant's shifts (and no other).
::testing::AssertionResult PartsAddUp(const Texts& records) {
  for (const std::string& r : records) {
    Texts f = Fields(r);
    if (f.size() != 12) return ::testing::AssertionFailure() << r;
    if (Seconds(f[5]) != Seconds(f[6]) + Seconds(f[7]) + Seconds(f[8]) + Seconds(f[9]))
      return ::testing::AssertionFailure() << "parts do not add up: " << r;
  }
  return ::testing::AssertionSuccess();
}

Texts Windows(const Texts& records) {
  Texts out;
  for (const std::string& r : records) {
    Texts f = Fields(r);
    out.push_back(f[1] + "-" + f[2] + " " + f[4]);
  }
  return out;
}

// The one record of a workplace whose shift model cannot be found: the whole
// span in the closing record, occupied from 07:00 to 20:00 of the 18th and
// from 10:00 of the 19th up to the evaluation time, 10:00 of the 20th.
const Texts kClosingOnly = {
    "4711|20040317000000|20040320235959|00:0023:59|LMO00.00|2220.0|2190.0|30.0|0.0|0.0|0.0|0.0"};

// NULL in every column that a statement reads and that a row can leave
// empty (key columns are NOT NULL). A column the program only carries leaves
// the records as they were; the others each give the result stated.
TEST_F(BadDataTest, NullInEveryColumnAStatementReads) {
  ASSERT_GT(baseline_.size(), 6u);
  ASSERT_GT(baselineM_.size(), 4u);
  const Texts noMessages = RecordsWith("DELETE FROM Kvn560Mel");
  const Texts noBreaks = RecordsWith("DELETE FROM Kvn535Pms");
  ASSERT_NE(noMessages, baseline_);
  ASSERT_NE(noBreaks, baseline_);
  Texts emptyShiftText;
  for (const std::string& r : baseline_) {
    Texts f = Fields(r);
    std::string t;
    for (std::size_t i = 0; i < f.size(); ++i) t += (i ? "|" : "") + (i == 3 ? std::string() : f[i]);
    emptyShiftText.push_back(t);
  }
  const std::string notFound =
      rel::Printable(Entry("Fehler bei ReadKey Kvn591Nzp", "Nzp_PKeyRead()", 1403));

  rel::DbFile db(pristine_);
  int columns = 0;
  for (const char* table : {"Kvn560Mel", "Kvn565Map", "Kvn531Apl", "Kvn532Aem", "Kvn133Kal",
                            "Kvn133Bak", "Kvn533Emo", "Kvn535Pms", "Kvn536Pmz", "Kvn563Mrk",
                            "Kvn591Nzp"}) {
    const bool markers = std::string(table) == "Kvn563Mrk";
    for (const std::string& col : db.Rows(std::string("SELECT name FROM pragma_table_info('") +
                                          table + "') WHERE \"notnull\"=0")) {
      const std::string name = std::string(table) + "." + col;
      SCOPED_TRACE(name);
      ++columns;
      Result r = RunWith(std::string("UPDATE ") + table + " SET " + col + "=NULL",
                         markers ? kModeM : kModeA);
      if (name == "Kvn560Mel.KeyApl" || name == "Kvn560Mel.ObjTyp" || name == "Kvn560Mel.KeyDat" ||
          name == "Kvn560Mel.MelMsk") {
        // Not the workplace's, no date, no code: as if there were no
        // messages (the buffer's occupation then runs throughout).
        EXPECT_EQ(r.records, noMessages);
      } else if (name == "Kvn560Mel.KeyUhr") {
        // A message without a time is seen from the day after its date on
        // and within no window of its own day: the figures follow the
        // counts as they come, shift by shift.
        EXPECT_EQ(Windows(r.records), Windows(baseline_));
        EXPECT_TRUE(PartsAddUp(r.records));
      } else if (name == "Kvn531Apl.AplApg" || name == "Kvn532Aem.AemKal" ||
                 name == "Kvn133Kal.KalBtp") {
        // No group, no calendar, no day type: no shift on any day.
        EXPECT_EQ(r.records, kClosingOnly);
      } else if (name == "Kvn533Emo.EmoTxt") {
        EXPECT_EQ(r.records, emptyShiftText);
      } else if (name == "Kvn533Emo.EmoEnd") {
        // An end of minute 0: both shifts run to midnight.
        ASSERT_EQ(r.records.size(), baseline_.size());
        for (const std::string& rec : r.records) {
          Texts f = Fields(rec);
          EXPECT_EQ(f[2].substr(8), "000000") << rec;
          EXPECT_EQ(f[10], f[3] == "Frueh" ? "1080.0" : "600.0") << rec;
        }
        EXPECT_TRUE(PartsAddUp(r.records));
      } else if (name == "Kvn533Emo.EmoPmo" || name == "Kvn536Pmz.PmzGbi") {
        // No break model, or a break assignment without an end: no breaks.
        EXPECT_EQ(r.records, noBreaks);
      } else if (name == "Kvn535Pms.PmsBeg" || name == "Kvn535Pms.PmsEnd") {
        // The break sum leaves a break without both ends out; the break
        // measure takes the missing end as minute 0.
        EXPECT_EQ(Windows(r.records), Windows(baseline_));
        for (const std::string& rec : r.records) EXPECT_EQ(Fields(rec)[11], "0.0") << rec;
        EXPECT_TRUE(PartsAddUp(r.records));
      } else if (name == "Kvn591Nzp.NzpGbi") {
        // A parameter row without an end of validity is valid on no day.
        EXPECT_EQ(r.records, baseline_);
        EXPECT_EQ(r.log, Texts{notFound});
        continue;
      } else {
        EXPECT_EQ(r.records, markers ? baselineM_ : baseline_);
      }
      EXPECT_EQ(r.log, Texts{});
      rel::DbFile after(r.db);
      EXPECT_EQ(rel::HalfWrittenRecords(after), "0");
      if (markers) {
        EXPECT_EQ(after.One("SELECT count(*) FROM Kvn563Mrk"), "0");
      } else if (name.rfind("Kvn591Nzp.", 0) == 0) {
        EXPECT_EQ(after.One("SELECT NzpAus FROM Kvn591Nzp"), "MEIER");
      }
    }
  }
  EXPECT_GT(columns, 150);
}

// Texts too long, words in number columns, dates that are none, minutes
// outside the day, a break longer than its shift, holes in the calendar and
// codes in lower case. Each case states its result; the ones that are not
// sensible (they follow from SQLite storing any type in any column) say so.
TEST_F(BadDataTest, ForeignRowsGiveADefinedResult) {
  const Texts noMessages = RecordsWith("DELETE FROM Kvn560Mel");
  const Texts noBreaks = RecordsWith("DELETE FROM Kvn535Pms");
  auto figures = [](const Texts& records) {
    Texts out;
    for (const std::string& r : records) {
      Texts f = Fields(r);
      out.push_back(f[1] + "-" + f[2] + " " + f[5] + " " + f[6] + " " + f[7] + " " + f[8] + " " + f[9]);
    }
    return out;
  };
  auto column = [](const Result& r, const std::string& sql) { return rel::DbFile(r.db).Rows(sql); };
  const std::string notFound =
      rel::Printable(Entry("Fehler bei ReadKey Kvn591Nzp", "Nzp_PKeyRead()", 1403));

  struct Case {
    const char* name;
    std::string sql;
    Texts args;
    std::function<void(const Result&)> check;
    bool logs = false;  // the case's check looks at the log itself
  };
  const std::vector<Case> cases = {
      {"shift_text_longer_than_its_field",
       "UPDATE Kvn533Emo SET EmoTxt='Fruehschicht der Abteilung Montage Nord'", kModeA,
       [&](const Result& r) {
         EXPECT_EQ(figures(r.records), figures(baseline_));
         for (const std::string& rec : r.records) EXPECT_EQ(Fields(rec)[3], "Fruehschic");
       }},
      {"group_longer_than_its_field", "UPDATE Kvn531Apl SET AplApg='G1xxxxxxxxxxxxxxxxxxxxxxxx'",
       kModeA, [&](const Result& r) { EXPECT_EQ(r.records, kClosingOnly); }},
      {"workplace_number_longer_than_its_field",  // cut to ten characters, no row of its own
       "INSERT INTO Kvn531Apl (AplApl,AplApg) VALUES ('4711-abcdefghijklmnopqrstuvwxyz','G1')",
       kModeX,
       [&](const Result& r) {
         EXPECT_EQ(r.records, baseline_);
         EXPECT_EQ(column(r, "SELECT NzpAus FROM Kvn591Nzp"), Texts{"QUORVELT"});
       }},
      {"code_with_a_letter_more", "UPDATE Kvn560Mel SET MelMsk=MelMsk||'X'", kModeA,
       [&](const Result& r) { EXPECT_EQ(r.records, noMessages); }},
      {"codes_in_lower_case", "UPDATE Kvn560Mel SET MelMsk=lower(MelMsk)", kModeA,
       [&](const Result& r) { EXPECT_EQ(r.records, noMessages); }},
      {"word_as_shift_end",  // reads as minute 0: the shift runs to midnight
       "UPDATE Kvn533Emo SET EmoEnd='vierzehn' WHERE EmoTxt='Frueh'", kModeA,
       [&](const Result& r) {
         for (const std::string& rec : r.records) {
           Texts f = Fields(rec);
           EXPECT_EQ(f[10], f[3] == "Frueh" ? "1080.0" : "480.0") << rec;
         }
         EXPECT_TRUE(PartsAddUp(r.records));
       }},
      {"words_as_calendar_day_numbers", "UPDATE Kvn133Bak SET BakWtg='Montag', BakJtg='x'", kModeA,
       [&](const Result& r) {
         EXPECT_EQ(figures(r.records), figures(baseline_));
         EXPECT_EQ(column(r, "SELECT DISTINCT NzaWtg||'/'||NzaJtg FROM Kvn590Nza"), Texts{"0/0"});
       }},
      {"words_in_the_parameter_row",  // read as 0 and written back so
       "UPDATE Kvn591Nzp SET NzpVfh='viel', NzpAan='nix'", kModeA,
       [&](const Result& r) {
         EXPECT_EQ(r.records, baseline_);
         EXPECT_EQ(column(r, "SELECT NzpAan,NzpVfh,NzpNfh,NzpAus FROM Kvn591Nzp"),
                   Texts{"0|0|12|MEIER"});
       }},
      {"word_as_marker_number",  // not sensible: served, but never deleted
       "UPDATE Kvn563Mrk SET MrkBnr='eins'", kModeM,
       [&](const Result& r) {
         EXPECT_EQ(r.records, baselineM_);
         EXPECT_EQ(column(r, "SELECT MrkApl,MrkBnr FROM Kvn563Mrk"), Texts{"4711|eins"});
       }},
      {"word_as_shift_begin",  // not sensible: sorts after every number, windows overlap
       "UPDATE Kvn533Emo SET EmoBeg='sechs' WHERE EmoTxt='Frueh'", kModeA,
       [&](const Result& r) {
         EXPECT_EQ(r.records.size(), 10u);
         EXPECT_TRUE(PartsAddUp(r.records));
       }},
      {"word_as_break_begin",  // not sensible: a break sum of 9120 minutes
       "UPDATE Kvn535Pms SET PmsBeg='neun'", kModeA,
       [&](const Result& r) {
         EXPECT_EQ(Windows(r.records), Windows(baseline_));
         EXPECT_TRUE(PartsAddUp(r.records));
         for (const std::string& rec : r.records) EXPECT_EQ(Fields(rec)[11], "9120.0");
       }},
      {"message_day_no_date", "UPDATE Kvn560Mel SET KeyDat='18.03.2004' WHERE KeyDat='2004-03-18'",
       kModeA,
       [&](const Result& r) {
         EXPECT_EQ(r.records, RecordsWith("DELETE FROM Kvn560Mel WHERE KeyDat='2004-03-18'"));
       }},
      {"message_time_no_time",  // not sensible: negative net times on the 18th
       "UPDATE Kvn560Mel SET KeyUhr='7 Uhr' WHERE KeyUhr='2004-03-18 07:00:00'", kModeA,
       [&](const Result& r) {
         EXPECT_EQ(Windows(r.records), Windows(baseline_));
         EXPECT_TRUE(PartsAddUp(r.records));
       }},
      {"calendar_day_no_date", "UPDATE Kvn133Kal SET KalDtm='2004/03/18' WHERE KalDtm='2004-03-18'",
       kModeA,
       [&](const Result& r) {
         EXPECT_EQ(r.records, RecordsWith("DELETE FROM Kvn133Kal WHERE KalDtm='2004-03-18'"));
       }},
      {"assignment_from_no_date", "UPDATE Kvn532Aem SET AemGvo='bald'", kModeA,
       [&](const Result& r) { EXPECT_EQ(r.records, kClosingOnly); }},
      {"break_assignment_from_no_date", "UPDATE Kvn536Pmz SET PmzGvo='gestern'", kModeA,
       [&](const Result& r) { EXPECT_EQ(r.records, noBreaks); }},
      {"parameter_row_from_no_date", "UPDATE Kvn591Nzp SET NzpGvn='irgendwann'", kModeA,
       [&](const Result& r) {
         EXPECT_EQ(r.records, baseline_);
         EXPECT_EQ(r.log, Texts{notFound});
         EXPECT_EQ(column(r, "SELECT NzpAus FROM Kvn591Nzp"), Texts{"ALT"});
       },
       true},
      {"shift_begin_negative",  // no begin instant: each insert refused and reported
       "UPDATE Kvn533Emo SET EmoBeg=-60 WHERE EmoTxt='Frueh'", kModeA,
       [&](const Result& r) {
         Texts spaet;
         for (const std::string& rec : baseline_)
           if (Fields(rec)[3] == "Spaet") spaet.push_back(rec);
         EXPECT_EQ(r.records, spaet);
         const std::string refused =
             rel::Printable(Entry("Nza_PKeyIns", "Nza_PKeyIns()", rt::kDateFormat));
         EXPECT_EQ(r.log, Texts(4, refused));
       },
       true},
      {"shift_end_5000",  // no end instant: refused and reported like a bad begin
       "UPDATE Kvn533Emo SET EmoEnd=5000 WHERE EmoTxt='Spaet'", kModeA,
       [&](const Result& r) {
         EXPECT_EQ(column(r, "SELECT count(*) FROM Kvn590Nza WHERE NzaEdt IS NULL"), Texts{"0"});
         ASSERT_EQ(r.log.size(), 4u);
         for (const std::string& e : r.log) {
           EXPECT_NE(e.find("Message____: Nza_PKeyIns / Funktion___: Nza_PKeyIns() / ErrorCode__: -"),
                     std::string::npos)
               << e;
         }
       },
       true},
      {"break_begin_negative", "UPDATE Kvn535Pms SET PmsBeg=-30 WHERE PmsNum='B1'", kModeA,
       [&](const Result& r) {
         EXPECT_EQ(Windows(r.records), Windows(baseline_));
         EXPECT_TRUE(PartsAddUp(r.records));
       }},
      {"break_end_5000", "UPDATE Kvn535Pms SET PmsEnd=5000 WHERE PmsNum='B2'", kModeA,
       [&](const Result& r) {
         EXPECT_EQ(Windows(r.records), Windows(baseline_));
         EXPECT_TRUE(PartsAddUp(r.records));
       }},
      {"break_longer_than_its_shift",  // 05:00-15:00 in a shift 06:00-14:00
       "UPDATE Kvn535Pms SET PmsBeg=300, PmsEnd=900 WHERE PmsNum='B1'", kModeA,
       [&](const Result& r) {
         EXPECT_EQ(Windows(r.records), Windows(baseline_));
         EXPECT_TRUE(PartsAddUp(r.records));
         for (const std::string& rec : r.records) {
           Texts f = Fields(rec);
           if (f[3] == "Frueh") {
             EXPECT_EQ(f[6], "0.0") << "all of it in the break: " << rec;
           }
         }
       }},
      {"works_calendar_hole_within_the_span",  // the pass stops and says so
       "DELETE FROM Kvn133Bak WHERE BakDtm='2004-03-19'", kModeA,
       [&](const Result& r) {
         EXPECT_EQ(r.records, Texts(baseline_.begin(), baseline_.begin() + 4));
         EXPECT_EQ(r.log, Texts{rel::Printable(Entry("Kein Folgetag im Betriebskalender",
                                                      "EvaluateWorkplace", 1403))});
       },
       true},
      {"works_calendar_hole_before_the_span",  // the begin stays on the 18th
       "DELETE FROM Kvn133Bak WHERE BakDtm='2004-03-17'", kModeA,
       [&](const Result& r) { EXPECT_EQ(r.records, Texts(baseline_.begin() + 2, baseline_.end())); }},
      {"calendar_hole",  // no shifts that day: one gap record over it
       "DELETE FROM Kvn133Kal WHERE KalDtm='2004-03-19'", kModeA,
       [&](const Result& r) {
         Texts want(baseline_.begin(), baseline_.begin() + 4);
         want.push_back(
             "4711|20040318220000|20040320060000|22:0006:00|LMO00.00|1200.0|1200.0|0.0|0.0|0.0|0.0|0.0");
         want.insert(want.end(), baseline_.begin() + 6, baseline_.end());
         EXPECT_EQ(r.records, want);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result r = RunWith(c.sql, c.args);
    c.check(r);
    if (!c.logs) {
      EXPECT_EQ(r.log, Texts{});
    }
  }
}

}  // namespace
