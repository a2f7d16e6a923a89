// The hot statements against a year of messages: each is served by an index
// range, never by a scan of its table, and a one-shift window of the message
// cursor visits that window's rows only.
#include <sqlite3.h>
#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "db/DbMel.h"
#include "db/Dbstd.h"
#include "db/Runtime.h"
#include "tests/DbFixture.h"

namespace {

constexpr int kMessages = 50000;

class QueryPlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // 50,000 messages of one workplace, one every 631 seconds through 2024;
    // the date stored with and without a time part, the time with a date part
    // or bare. A few rows of other workplaces and of the other tables.
    db.Exec("begin");
    db.Exec("with recursive n(i) as (select 0 union all select i+1 from n where i<" +
            std::to_string(kMessages - 1) +
            "), t(i,ts) as (select i, datetime('2024-01-01', '+'||(i*631)||' seconds') from n) "
            "insert into Kvn560Mel (KeyBnr,KeyApl,ObjTyp,KeyDat,KeyUhr,KeySek,MelMsk) "
            "select i,'W1',case when i%2 then 'M_A' else 'M__' end,"
            "case when i%3 then date(ts) else ts end,"
            "case when i%5 then time(ts) else ts end,'00','AB' from t");
    db.Exec("insert into Kvn560Mel (KeyBnr,KeyApl,ObjTyp,KeyDat,KeyUhr,KeySek) "
            "select KeyBnr,'W2',ObjTyp,KeyDat,KeyUhr,KeySek from Kvn560Mel where KeyBnr%50=0");
    db.Exec("insert into Kvn590Nza (NzaSa,NzaApl,NzaApk,NzaApp,NzaPnr,NzaDtm) "
            "select 12,KeyApl,'K','P',KeyBnr,KeyDat from Kvn560Mel where KeyBnr%10=0");
    db.Exec("insert into Kvn565Map (MapBnr,MapObj,MapApl,MapApk,MapApp) "
            "select KeyBnr,ObjTyp,KeyApl,KeyBnr,'P' from Kvn560Mel where KeyBnr%10=0");
    db.Exec("insert into Kvn563Mrk (MrkKng,MrkApl,MrkApk,MrkApp,MrkPnr,MrkBnr,MrkMdt) "
            "select 'LZM',KeyApl,KeyBnr,'P','N',KeyBnr,KeyDat from Kvn560Mel where KeyBnr%10=0");
    db.Exec("commit");
    ASSERT_EQ(db.Connect(), rt::kOk);
  }

  static const rt::Statement* Find(const char* op) {
    for (const rt::Statement* st : db::DbMelStatements())
      if (std::strcmp(st->op, op) == 0) return st;
    for (const rt::Statement* st : db::DbstdStatements())
      if (std::strcmp(st->op, op) == 0) return st;
    ADD_FAILURE() << "no statement " << op;
    return nullptr;
  }

  // The details of EXPLAIN QUERY PLAN for the text the backend executes.
  std::vector<std::string> Plan(const rt::Statement& st) {
    const std::string text = rt::CurrentBackend()->ExecutedText(st);
    std::vector<std::string> details;
    sqlite3_stmt* h = nullptr;
    const std::string eqp = "EXPLAIN QUERY PLAN " + text;
    EXPECT_EQ(sqlite3_prepare_v2(db.raw(), eqp.c_str(), -1, &h, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db.raw()) << "\n" << text;
    while (h && sqlite3_step(h) == SQLITE_ROW)
      details.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(h, 3)));
    sqlite3_finalize(h);
    return details;
  }

  // Runs the executed text of a select with text inputs on the raw connection
  // and answers the rows and the virtual machine steps it took.
  struct Run {
    int rows = 0;
    int vmSteps = 0;
    int fullScanSteps = 0;
  };
  Run Measure(const std::string& text, const std::vector<const char*>& in) {
    Run r;
    sqlite3_stmt* h = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db.raw(), text.c_str(), -1, &h, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db.raw());
    if (!h) return r;
    for (std::size_t i = 0; i < in.size(); ++i)
      sqlite3_bind_text(h, static_cast<int>(i + 1), in[i], -1, SQLITE_STATIC);
    while (sqlite3_step(h) == SQLITE_ROW) ++r.rows;
    r.vmSteps = sqlite3_stmt_status(h, SQLITE_STMTSTATUS_VM_STEP, 0);
    r.fullScanSteps = sqlite3_stmt_status(h, SQLITE_STMTSTATUS_FULLSCAN_STEP, 0);
    sqlite3_finalize(h);
    return r;
  }

  testdb::SqliteFile db;
};

TEST_F(QueryPlanTest, EveryHotStatementIsServedByAnIndexNeverByAScan) {
  struct Case {
    const char* op;
    std::vector<const char*> mustContain;  // in one plan line
  } cases[] = {
      {"Mel_Apl", {"SEARCH Kvn560Mel USING INDEX", "KeyApl=?", "KeyDat>? AND KeyDat<?"}},
      {"Mel_AplDesc", {"SEARCH Kvn560Mel USING INDEX", "KeyApl=?", "KeyDat>?"}},
      {"Map_Apl", {"SEARCH Kvn565Map USING", "MapApl=?"}},
      {"Nza_Del_SA12", {"SEARCH Kvn590Nza USING INDEX", "NzaDtm>? AND NzaDtm<?"}},
      {"Nza_PKeyIns", {}},
      {"Mrk_Del_AplLzm", {"SEARCH Kvn563Mrk USING", "MrkKng=? AND MrkApl=?"}},
      // Once per day and per calendar step: the calendar tables by their keys.
      {"Aem_Apg_Open", {"SEARCH Kvn133Kal USING INDEX", "KalNum=? AND KalDtm>? AND KalDtm<?"}},
      {"Bak_DayAdd", {"SEARCH Kvn133Bak USING INDEX", "BakDtm>? AND BakDtm<?"}},
      {"Mrk_PKeyDel", {"SEARCH Kvn563Mrk USING",
                       "MrkKng=? AND MrkApl=? AND MrkApk=? AND MrkApp=? AND MrkPnr=? AND MrkBnr=?"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op);
    const rt::Statement* st = Find(c.op);
    ASSERT_NE(st, nullptr);
    const std::vector<std::string> plan = Plan(*st);
    std::cout << c.op << "\n  original: " << st->text
              << "\n  executed: " << rt::CurrentBackend()->ExecutedText(*st) << "\n";
    for (const std::string& line : plan) {
      std::cout << "  plan:     " << line << "\n";
      for (const char* table :
           {"Kvn560Mel", "Kvn565Map", "Kvn590Nza", "Kvn563Mrk", "Kvn133Kal", "Kvn133Bak"})
        EXPECT_NE(line.rfind(std::string("SCAN ") + table, 0), 0u) << line;
    }
    if (c.mustContain.empty()) continue;
    bool found = false;
    for (const std::string& line : plan) {
      bool all = true;
      for (const char* part : c.mustContain) all = all && line.find(part) != std::string::npos;
      found = found || all;
    }
    EXPECT_TRUE(found) << "no plan line with every part of the expected index range";
  }
}

TEST_F(QueryPlanTest, OneShiftWindowVisitsOnlyTheWindowsRows) {
  // 2024-06-10 06:00:00 up to 14:00:00: 28,800 seconds, about 45 messages.
  const char* in[] = {"W1", "20240610", "060000", "20240610", "140000"};
  const std::string expected =
      db.One("select count(*) from Kvn560Mel where KeyApl='W1' and "
             "datetime(KeyDat) between '2024-06-10 00:00:00' and '2024-06-10 23:59:59' and "
             "time(KeyUhr) >= '06:00:00' and time(KeyUhr) < '14:00:00'");
  ASSERT_GT(std::stoi(expected), 30);

  // Through the module.
  ASSERT_EQ(db::Mel_Apl_Open(in[0], in[1], in[2], in[3], in[4]), rt::kOk);
  db::Kvn560Mel rec{};
  int rows = 0;
  while (db::Mel_Apl_Read(&rec) == rt::kOk) {
    EXPECT_EQ(std::string(rec.KeyDat), "20240610");
    ++rows;
  }
  EXPECT_EQ(db::Mel_Apl_Close(), rt::kOk);
  EXPECT_EQ(std::to_string(rows), expected);

  // The executed texts on the raw connection: the one-shift window and the
  // descending cursor from a day near the end of the year.
  const rt::Statement* asc = Find("Mel_Apl");
  const rt::Statement* desc = Find("Mel_AplDesc");
  ASSERT_NE(asc, nullptr);
  ASSERT_NE(desc, nullptr);
  const std::string ascText = rt::CurrentBackend()->ExecutedText(*asc);
  const std::string descText = rt::CurrentBackend()->ExecutedText(*desc);
  const std::vector<const char*> ascIn = {in[0], "M_A", "M__", in[1], in[2], in[3], in[4]};
  const std::vector<const char*> descIn = {"M__", "M_A", "W1", "20241225", "000000", "00"};
  const Run ascRun = Measure(ascText, ascIn);
  const Run descRun = Measure(descText, descIn);
  EXPECT_EQ(ascRun.rows, rows);
  EXPECT_GT(descRun.rows, 0);
  EXPECT_EQ(ascRun.fullScanSteps, 0);
  EXPECT_EQ(descRun.fullScanSteps, 0);

  // Without the day bounds the same statement visits every message of the
  // workplace: the measure tells the two apart.
  const rt::Statement plain{"T_Plain", asc->text};
  const Run plainRun = Measure(rt::CurrentBackend()->ExecutedText(plain), ascIn);
  EXPECT_EQ(plainRun.rows, rows);
  EXPECT_GT(plainRun.vmSteps, kMessages);
  EXPECT_LT(ascRun.vmSteps, kMessages);

  // Take away every message of the workplace outside the days the two
  // cursors read: their cost stays as it was, so they never visited those.
  db.Exec("delete from Kvn560Mel where KeyApl='W1' and date(KeyDat)<>'2024-06-10' and "
          "date(KeyDat)<'2024-12-25'");
  ASSERT_LT(std::stoi(db.One("select count(*) from Kvn560Mel where KeyApl='W1'")), 2000);
  const Run ascAlone = Measure(ascText, ascIn);
  const Run descAlone = Measure(descText, descIn);
  EXPECT_EQ(ascAlone.rows, ascRun.rows);
  EXPECT_EQ(descAlone.rows, descRun.rows);
  std::cout << "steps: window " << ascRun.vmSteps << " (alone " << ascAlone.vmSteps
            << ", without bounds " << plainRun.vmSteps << "), descending " << descRun.vmSteps
            << " (alone " << descAlone.vmSteps << ")\n";
  EXPECT_EQ(ascRun.vmSteps, ascAlone.vmSteps);
  EXPECT_EQ(descRun.vmSteps, descAlone.vmSteps);
}

}  // namespace
