// Every statement of a run made to fail in turn, and the run killed at many
// points: the run ends normally and reports exactly the failures the program
// reports, leaves no row written by halves, and a clean run afterwards gives
// the database a run that never failed gives.
//
// The plant is small on purpose (every run is a process, two runs per
// statement): four workplaces, a three-shift model with breaks (one over
// midnight) for a group, a two-shift model with gaps of one workplace's own,
// one workplace without any model, a week of messages with interruptions and
// occupations over midnight, a message buffer, markers and parameter rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "db/DbDb.h"
#include "db/DbMel.h"
#include "tests/ReliabilityFixture.h"
#include "util/Text.h"

namespace {

using e2e::Entry;
using rel::Lane;
using rel::Outcome;
using rel::IsInsertRefusal;
using rel::kClosingText;
using rel::kGapText;
using rel::Printable;
using rel::Texts;

void SweepPlant(e2e::Site& s) {
  s.Calendar("20040301", "20040331");
  s.Exec("UPDATE Kvn133Kal SET KalBtp='WE' WHERE strftime('%w',KalDtm) IN ('0','6')");
  // Three shifts on working days, one on the weekend.
  s.Shift("M3", "Frueh", 360, 840, 0, "P1");
  s.Shift("M3", "Spaet", 840, 1320, 0, "P2");
  s.Shift("M3", "Nacht", 1320, 360, 0, "P3");
  s.Shift("M3", "Wochenende", 360, 840, 0, "P1", "WE");
  s.Break("P1", "B11", 540, 555);
  s.Break("P1", "B12", 720, 750);
  s.Break("P2", "B21", 1080, 1110);
  s.Break("P3", "B31", 1425, 15);  // over midnight
  s.Break("P3", "B32", 120, 150);
  // Workplace 4713's own model: gaps before, between and after its shifts.
  s.Shift("M2", "Tag", 420, 930, 0, "P4");
  s.Shift("M2", "Abend", 960, 1410, 2, "P4");
  s.Break("P4", "B41", 720, 750);
  s.Assign("G1", 1, "M3");
  s.Assign("4713", 2, "M2");
  for (const char* apl : {"4711", "4712", "4713"}) s.Workplace(apl, "G1");
  s.Workplace("4800", "G2");  // no shift model: a closing record only

  // 4711: an occupation from before the span, interruptions, one over
  // midnight, two at once fully interrupted, one still running (and
  // interrupted) at the evaluation time.
  s.Message("4711", "20040312210000", "AB", "00", "M_A", "A0");
  s.Message("4711", "20040313070000", "AU", "00", "M_A", "A0");
  s.Message("4711", "20040313073000", "AW", "00", "M_A", "A0");
  s.Message("4711", "20040315050000", "AE", "00", "M_A", "A0");
  s.Message("4711", "20040315080000", "AB", "00", "M_A", "A2");
  s.Message("4711", "20040315100000", "AU", "00", "M_A", "A2");
  s.Message("4711", "20040315104500", "AW", "00", "M_A", "A2");
  s.Message("4711", "20040315133000", "AE", "00", "M_A", "A2");
  s.Message("4711", "20040316213000", "RB", "00", "M_A", "A3");
  s.Message("4711", "20040317021000", "AU", "00", "M_A", "A3");
  s.Message("4711", "20040317024000", "AW", "00", "M_A", "A3");
  s.Message("4711", "20040317040000", "RE", "00", "M_A", "A3");
  s.Message("4711", "20040318130000", "AB", "00", "M_A", "A4");
  s.Message("4711", "20040318150000", "AB", "01", "M_A", "A5");
  s.Message("4711", "20040318160000", "AU", "00", "M_A", "A4");
  s.Message("4711", "20040318163000", "AU", "00", "M_A", "A5");
  s.Message("4711", "20040318170000", "AW", "00", "M_A", "A4");
  s.Message("4711", "20040318200000", "AT", "00", "M_A", "A4");
  s.Message("4711", "20040318230000", "AE", "00", "M_A", "A5");
  s.Message("4711", "20040319220000", "AB", "00", "M_A", "A6");
  s.Message("4711", "20040320090000", "AU", "00", "M_A", "A6");
  s.Buffer("4711", "A6", "M_A", "1");
  // 4712: a weekend occupation, one over midnight, an unknown code and a
  // message of another object type.
  s.Message("4712", "20040314063000", "AB");
  s.Message("4712", "20040314120000", "AE");
  s.Message("4712", "20040317143000", "AB");
  s.Message("4712", "20040317150000", "XX");
  s.Message("4712", "20040317160000", "AU", "00", "M__");
  s.Message("4712", "20040318010000", "AE");
  // 4713: occupations that begin and end in the gaps of its own model.
  s.Message("4713", "20040316154000", "AB");
  s.Message("4713", "20040316162000", "AU");
  s.Message("4713", "20040316180000", "AW");
  s.Message("4713", "20040316235000", "AE");
  s.Message("4713", "20040319060000", "AB");
  s.Message("4713", "20040319073000", "AE");
  // 4800: one occupation, no model.
  s.Message("4800", "20040318100000", "AB");
  s.Message("4800", "20040318110000", "AE");

  // Markers: two for one workplace, one of another kind that no run touches.
  s.Marker("4711", "20040316083000", "A1");
  s.Marker("4711", "20040318120000", "A2");
  s.Marker("4713", "20040317000000");
  s.Marker("4800", "20040319100000");
  s.Marker("4712", "20040317000000", "A1", "XYZ");
  // A record of an earlier run outside every span.
  s.Exec("INSERT INTO Kvn590Nza (NzaSa,NzaApl,NzaApk,NzaApp,NzaPnr,NzaDtm,NzaEdt,NzaBzA,NzaDat) "
         "VALUES (12,'4711',' ',' ','OLD','2004-03-05 06:00:00','2004-03-05 14:00:00',99,"
         "'2004-03-06 01:00:00')");
  s.ParameterRow(4, "2003-01-01", "2003-12-31");
  s.ParameterRow(4, "2004-01-01", "2004-12-31");
  s.ParameterRow(5, "2004-01-01", "2004-12-31");
}

const Texts kModeX = {"QUORVELT", "APL", "0000000000", "20040314", "00000000"};
const Texts kModeM = {"MEIER", "APL", "0000000000"};

constexpr int kFault = -3113;
constexpr int kInvalidCursor = -1001;  // a read of a cursor whose open failed

// The statements of a clean run, by number (index 0 unused).
struct Trace {
  std::vector<std::string> op;
  long Size() const { return static_cast<long>(op.size()) - 1; }
};

Trace ReadTrace(const std::string& path) {
  Trace t;
  t.op.push_back("");
  std::istringstream in(rel::ReadFile(path));
  long n;
  std::string op;
  while (in >> n >> op) {
    if (n != t.Size() + 1) ADD_FAILURE() << "trace out of order at " << n;
    t.op.push_back(op);
  }
  return t;
}

// The markers of kind LZM in the order the marker cursor delivers them.
Texts CursorMarkers(const std::string& db) {
  rel::DbFile f(db);
  return f.Rows("SELECT " + rel::QuotedColumnsBut(f, "Kvn563Mrk", "") +
                " FROM Kvn563Mrk WHERE MrkKng='LZM' ORDER BY MrkApl,MrkApk,MrkApp,MrkMdt");
}

// One mode of the sweep: the pristine database, the clean run's trace and
// the state it leaves.
struct Scenario {
  std::unique_ptr<e2e::Site> site;
  std::string pristine;
  Texts args;
  bool markerMode = false;
  Trace trace;
  rel::State clean;
  Texts allMarkers;      // every marker of the pristine file, snapshot form
  Texts cursorMarkers;   // the LZM markers, cursor order
  std::string setupError;
};

std::map<char, std::unique_ptr<Scenario>>& Scenarios() {
  static std::map<char, std::unique_ptr<Scenario>> all;
  return all;
}

Scenario& Get(char mode) {
  auto& slot = Scenarios()[mode];
  if (slot) return *slot;
  slot = std::make_unique<Scenario>();
  Scenario& sc = *slot;
  sc.site = std::make_unique<e2e::Site>();
  SweepPlant(*sc.site);
  sc.pristine = sc.site->dir() + "/pristine.db";
  sc.site->Exec("VACUUM INTO '" + sc.pristine + "'");
  sc.args = mode == 'X' ? kModeX : kModeM;
  sc.markerMode = mode == 'M';
  sc.allMarkers = rel::Snapshot(sc.pristine).markers;
  sc.cursorMarkers = CursorMarkers(sc.pristine);

  Lane base(sc.site->dir() + "/base");
  base.CopyDb(sc.pristine);
  const std::string tracePath = base.root() + "/trace";
  Outcome o = base.Run(sc.args, {"PELVARO_TRACE=" + tracePath});
  if (!rel::Clean(o)) sc.setupError = "clean run: " + std::string(rel::Clean(o).message());
  if (!base.Log().empty()) sc.setupError += " clean run logged: " + base.Log();
  sc.trace = ReadTrace(tracePath);
  sc.clean = rel::Snapshot(base.DbPath());
  return sc;
}

// What a failure at statement n must leave in the log, from the statement's
// operation in the clean run.
struct Want {
  Texts oneOf;               // the log is one of these texts exactly
  bool refusalsOnly = false; // or: any number of refused inserts (status -1)
};

// Position of statement n among the statements of its cursor: the first
// statement of the name opens it, the last closes it, the others fetch.
enum class CursorStep { kOpen, kFetch, kClose };
CursorStep StepOf(const Trace& t, long n, int* fetchIndex) {
  long first = 0, last = 0;
  int fetches = 0;
  for (long i = 1; i <= t.Size(); ++i) {
    if (t.op[i] != t.op[n]) continue;
    if (!first) first = i;
    last = i;
    if (i > first && i < n) ++fetches;
  }
  if (fetchIndex) *fetchIndex = fetches;  // fetches before n
  if (n == first) return CursorStep::kOpen;
  if (n == last) return CursorStep::kClose;
  return CursorStep::kFetch;
}

Want Expected(const Trace& t, long n) {
  const std::string& op = t.op[n];
  Want w;
  if (op == "Nza_PKeyIns") {
    w.oneOf = {Entry(kGapText, "Nza_PKeyIns", kFault), Entry("Nza_PKeyIns", "Nza_PKeyIns()", kFault),
               Entry(kClosingText, "Nza_PKeyIns", kFault)};
  } else if (op == "Apl_PKeyOpen" || op == "Mrk_MrkKng") {
    const bool apl = op == "Apl_PKeyOpen";
    const std::string message = apl ? "Fehler Apl lesen" : "Cursor-Read fehlgeschlagen ";
    const std::string funktion = apl ? "Apl_PKeyRead()" : "Mrk_MrkKng_Read";
    switch (StepOf(t, n, nullptr)) {
      case CursorStep::kOpen:
        w.oneOf = {Entry(message, funktion, kInvalidCursor)};
        break;
      case CursorStep::kFetch:
        w.oneOf = {Entry(message, funktion, kFault)};
        break;
      case CursorStep::kClose:
        w.oneOf = {""};
        break;
    }
  } else if (op == "Nzp_PKeyRead") {
    w.oneOf = {Entry("Fehler bei ReadKey Kvn591Nzp", "Nzp_PKeyRead()", kFault)};
  } else if (op == "Nzp_PKeyUpd") {
    w.oneOf = {Entry("Fehler bei Update Kvn591Nzp", "Nzp_PKeyUpd()", kFault)};
  } else if (op == "Bak_DayAdd" && n < t.Size() && t.op[n + 1] == "Aem_Apg_Open") {
    // The step to the next day of a pass: the pass stops and says so.
    w.oneOf = {Entry("Kein Folgetag im Betriebskalender", "EvaluateWorkplace", kFault)};
  } else if (op == "Nza_Del_SA12") {
    // The old records stay; new ones of the same key are refused.
    w.refusalsOnly = true;
  } else {
    w.oneOf = {""};
  }
  return w;
}

std::string CheckLog(const Want& w, const std::string& log) {
  if (w.refusalsOnly) {
    for (const std::string& e : rel::SplitEntries(log))
      if (!IsInsertRefusal(e)) return "unexpected entry " + Printable(e);
    return "";
  }
  if (std::find(w.oneOf.begin(), w.oneOf.end(), log) != w.oneOf.end()) return "";
  return "log " + (log.empty() ? std::string("empty") : Printable(log)) + ", want " +
         (w.oneOf[0].empty() ? std::string("empty") : Printable(w.oneOf[0]));
}

// The markers a mode M run leaves when statement n fails: a failed fetch
// ends the walk (that marker and the later ones stay), a failed open serves
// none, a failed delete keeps its marker; any other failure serves them all.
Texts MarkersLeft(const Scenario& sc, long n) {
  const Trace& t = sc.trace;
  const long lzm = static_cast<long>(sc.cursorMarkers.size());
  long keepFrom = lzm;  // cursor index from which the markers stay
  long keepOne = -1;
  if (t.op[n] == "Mrk_MrkKng") {
    int fetches = 0;
    CursorStep step = StepOf(t, n, &fetches);
    if (step == CursorStep::kOpen) keepFrom = 0;
    if (step == CursorStep::kFetch) keepFrom = fetches;
  } else if (t.op[n] == "Mrk_PKeyDel") {
    keepOne = std::count(t.op.begin() + 1, t.op.begin() + n, std::string("Mrk_PKeyDel"));
  }
  Texts left;
  for (const std::string& m : sc.allMarkers) {
    auto it = std::find(sc.cursorMarkers.begin(), sc.cursorMarkers.end(), m);
    long idx = it == sc.cursorMarkers.end() ? -1 : it - sc.cursorMarkers.begin();
    if (idx < 0 || idx >= keepFrom || idx == keepOne) left.push_back(m);
  }
  return left;
}

// Lays the pristine markers again: mode M deletes a marker once its pass has
// run, whatever failed in it, so the same work is asked for again by marking.
bool RelayMarkers(const Lane& lane, const std::string& pristine) {
  rel::DbFile db(lane.DbPath());
  return db.Exec("ATTACH '" + pristine + "' AS p; DELETE FROM main.Kvn563Mrk; "
                 "INSERT INTO main.Kvn563Mrk SELECT * FROM p.Kvn563Mrk; DETACH p;");
}

// The rerun after a failed or killed run: the same command without a fault
// (mode M with its markers laid again); it must log nothing and leave the
// clean run's state.
std::string Rerun(const Scenario& sc, const Lane& lane) {
  if (sc.markerMode && !RelayMarkers(lane, sc.pristine)) return "markers not laid again";
  lane.ClearLog();
  Outcome o = lane.Run(sc.args);
  if (auto c = rel::Clean(o); !c) return std::string("rerun: ") + c.message();
  if (!lane.Log().empty()) return "rerun logged " + Printable(lane.Log());
  if (auto same = rel::SameState(sc.clean, rel::Snapshot(lane.DbPath())); !same)
    return std::string("rerun differs from the clean run: ") + same.message();
  return "";
}

// Runs `one` for every item on two lanes at once; returns the failures.
template <typename One>
std::vector<std::string> OnTwoLanes(const Scenario& sc, const std::string& name,
                                    const std::vector<long>& items, One one) {
  std::vector<std::string> failures;
  std::mutex mu;
  std::atomic<std::size_t> next{0};
  auto worker = [&](int k) {
    Lane lane(sc.site->dir() + "/" + name + std::to_string(k));
    for (std::size_t i; (i = next++) < items.size();) {
      std::string f = one(lane, items[i]);
      if (!f.empty()) {
        std::lock_guard<std::mutex> lock(mu);
        failures.push_back("N=" + std::to_string(items[i]) + " (" + sc.trace.op[items[i]] + "): " + f);
      }
    }
  };
  std::thread a(worker, 0), b(worker, 1);
  a.join();
  b.join();
  std::sort(failures.begin(), failures.end());
  return failures;
}

void Report(const std::vector<std::string>& failures) {
  for (std::size_t i = 0; i < failures.size() && i < 25; ++i) ADD_FAILURE() << failures[i];
  EXPECT_EQ(failures.size(), 0u) << "statements that went wrong";
}

class FaultSweep : public ::testing::TestWithParam<char> {
 protected:
  static void TearDownTestSuite() { Scenarios().clear(); }
};

TEST_P(FaultSweep, EveryStatementFailingInTurnIsReportedAndRepairedByARerun) {
  const Scenario& sc = Get(GetParam());
  ASSERT_EQ(sc.setupError, "");
  const long S = sc.trace.Size();
  ASSERT_GT(S, 500);
  ASSERT_GT(sc.clean.records.size(), 25u);
  std::vector<long> all;
  for (long n = 1; n <= S; ++n) all.push_back(n);

  std::atomic<int> reported{0}, refused{0};
  const auto started = std::chrono::steady_clock::now();
  auto failures = OnTwoLanes(sc, "fault", all, [&](const Lane& lane, long n) -> std::string {
    lane.CopyDb(sc.pristine);
    lane.ClearLog();
    Outcome o = lane.Run(sc.args, {"PELVARO_FAULT_AT=" + std::to_string(n) + ":" + std::to_string(kFault)});
    if (auto c = rel::Clean(o); !c) return c.message();
    const std::string log = lane.Log();
    if (std::string f = CheckLog(Expected(sc.trace, n), log); !f.empty()) return f;
    if (!log.empty()) ++reported;
    if (log.find("ErrorCode__: -1\r\n") != std::string::npos) ++refused;
    {
      rel::DbFile db(lane.DbPath());
      if (std::string h = rel::HalfWrittenRecords(db); h != "0") return h + " half-written records";
    }
    if (sc.markerMode) {
      Texts left = rel::Snapshot(lane.DbPath()).markers;
      Texts want = MarkersLeft(sc, n);
      std::sort(left.begin(), left.end());
      std::sort(want.begin(), want.end());
      if (left != want) return "markers left " + rel::FirstDifference(want, left);
    }
    return Rerun(sc, lane);
  });
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("[ sweep %c ] %ld statements failed in turn (%d reported, %d with refused inserts), "
              "%zu records, %.1f s\n",
              GetParam(), S, reported.load(), refused.load(), sc.clean.records.size(), seconds);
  Report(failures);
}

// Kill points: evenly spread over the run, and the three statements of a
// guarded write (savepoint, statement, commit) of the first, a middle and
// the last insert, of the stamp and of a marker deletion.
std::vector<long> KillPoints(const Trace& t) {
  std::vector<long> points;
  const long S = t.Size();
  for (long i = 1; i < 40; ++i) points.push_back(i * S / 40);
  std::vector<long> writes;
  for (long n = 2; n < S; ++n)
    if (t.op[n - 1] == "savepoint" && t.op[n] != "savepoint") writes.push_back(n);
  auto guarded = [&](long n) {
    for (long k : {n - 1, n, n + 1}) points.push_back(k);
  };
  std::vector<long> inserts, others;
  for (long n : writes) (t.op[n] == "Nza_PKeyIns" ? inserts : others).push_back(n);
  if (!inserts.empty()) {
    guarded(inserts.front());
    guarded(inserts[inserts.size() / 2]);
    guarded(inserts.back());
  }
  for (const char* op : {"Nzp_PKeyUpd", "Mrk_PKeyDel", "Mrk_Del_AplLzm", "Nza_Del_SA12"}) {
    auto it = std::find_if(others.begin(), others.end(), [&](long n) { return t.op[n] == op; });
    if (it != others.end()) guarded(*it);
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  return points;
}

TEST_P(FaultSweep, KilledAnywhereTheFileOpensCleanlyAndARerunRepairs) {
  const Scenario& sc = Get(GetParam());
  ASSERT_EQ(sc.setupError, "");
  const std::vector<long> points = KillPoints(sc.trace);
  ASSERT_GE(points.size(), 30u);

  const auto started = std::chrono::steady_clock::now();
  auto failures = OnTwoLanes(sc, "kill", points, [&](const Lane& lane, long n) -> std::string {
    lane.CopyDb(sc.pristine);
    lane.ClearLog();
    Outcome o = lane.Run(sc.args, {"PELVARO_KILL_AT=" + std::to_string(n)});
    if (o.hung || !o.signalled || o.signal != SIGKILL) return "not killed";
    if (!lane.Log().empty()) return "killed run logged " + Printable(lane.Log());
    {
      rel::DbFile db(lane.DbPath());
      if (std::string ok = db.One("PRAGMA integrity_check"); ok != "ok") return "integrity: " + ok;
      if (std::string h = rel::HalfWrittenRecords(db); h != "0") return h + " half-written records";
    }
    return Rerun(sc, lane);
  });
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("[ crash %c ] %zu kill points of %ld statements, %.1f s\n", GetParam(), points.size(),
              sc.trace.Size(), seconds);
  Report(failures);
}

INSTANTIATE_TEST_SUITE_P(Reliability, FaultSweep, ::testing::Values('X', 'M'),
                         [](const auto& info) { return std::string("Mode") + info.param; });

// A write whose commit failed stays pending, as on the site's database: the
// savepoint of the next write of the same operation replaces its namesake,
// so when that write is refused its rollback undoes only that write, and the
// next commit (here the closing one) makes the first row lasting. The first
// write was reported a success to its caller; it must not vanish.
TEST(FaultSweepGuardedWrite, ARefusedWriteDoesNotUndoAnEarlierOneWhoseCommitFailed) {
  testdb::SqliteFile file;
  ASSERT_EQ(file.Connect(), rt::kOk);
  auto record = [](const char* time) {
    db::Kvn590Nza n{};
    n.NzaSa = 12;
    pelvaro::CopyText(n.NzaApl, "4711");
    pelvaro::CopyText(n.NzaApk, " ");
    pelvaro::CopyText(n.NzaApp, " ");
    pelvaro::CopyText(n.NzaPnr, "Frueh");
    pelvaro::CopyText(n.NzaDtmDay, "20040315");
    pelvaro::CopyText(n.NzaDtmTime, time);
    pelvaro::CopyText(n.NzaEdtDay, "20040315");
    pelvaro::CopyText(n.NzaEdtTime, "140000");
    return n;
  };
  const db::Kvn590Nza first = record("060000"), second = record("070000");
  ASSERT_EQ(db::Nza_PKeyIns(&second), rt::kOk);  // already there: the next one is refused

  rt::InjectFault("CommitWork", kFault);
  ASSERT_EQ(db::Nza_PKeyIns(&first), rt::kOk);
  ASSERT_EQ(db::Nza_PKeyIns(&second), rt::kUniqueViolation);
  db::dbDisconnect();
  rt::Disconnect();

  EXPECT_EQ(file.Rows("SELECT strftime('%H%M%S',NzaDtm) FROM Kvn590Nza ORDER BY NzaDtm"),
            (Texts{"060000", "070000"}));
}

}  // namespace
