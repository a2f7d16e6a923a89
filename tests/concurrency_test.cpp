// Several batch processes on one database file and one message log at once:
// runs on disjoint workplaces wait for each other's writes and give the
// records of runs one after the other; runs on the same workplace leave no
// corrupted or doubled row; writers of one log lose and tear no entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/ReliabilityFixture.h"

namespace {

using rel::Lane;
using rel::Outcome;
using rel::Texts;

// Two groups of six workplaces on a three-shift model with breaks, a week of
// messages for each: enough work for two runs to overlap.
void BusyPlant(e2e::Site& s) {
  s.Calendar("20040301", "20040331");
  s.Shift("M3", "Frueh", 360, 840, 0, "P1");
  s.Shift("M3", "Spaet", 840, 1320, 0, "P1");
  s.Shift("M3", "Nacht", 1320, 360, 0, "P2");
  s.Break("P1", "B11", 540, 560);
  s.Break("P1", "B12", 1080, 1110);
  s.Break("P2", "B21", 1425, 15);
  s.Assign("G1", 1, "M3");
  s.Assign("G2", 1, "M3");
  s.Exec("BEGIN");
  for (const char* group : {"G1", "G2"}) {
    for (int k = 1; k <= 6; ++k) {
      const std::string apl = std::string(group == std::string("G1") ? "51" : "52") + "0" +
                              std::to_string(k);
      s.Workplace(apl, group);
      for (int day = 13; day <= 19; ++day) {
        const std::string d = "200403" + std::to_string(day);
        const std::string next = "200403" + std::to_string(day + 1);
        s.Message(apl, d + "0700" + std::to_string(10 + k), "AB");
        s.Message(apl, d + "090000", "AU");
        s.Message(apl, d + "092000", "AW");
        s.Message(apl, d + "130000", "AE");
        s.Message(apl, d + "210000", "RB");
        s.Message(apl, next + "020000", "RE");
      }
    }
  }
  s.Exec("COMMIT");
  s.ParameterRow(4, "2004-01-01", "2004-12-31");
}

const Texts kGroup1 = {"MEIER", "GRP", "G1", "20040314", "00000000"};
const Texts kGroup2 = {"MEIER", "GRP", "G2", "20040314", "00000000"};
const Texts kOne = {"MEIER", "APL", "5101", "20040314", "00000000"};

class ConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BusyPlant(site);
    pristine = site.dir() + "/pristine.db";
    site.Exec("VACUUM INTO '" + pristine + "'");
  }
  // A second site whose configuration names the first one's database file.
  Lane Beside(const Lane& owner, const std::string& name) {
    return Lane(site.dir() + "/" + name, "../" + owner.root().substr(site.dir().size() + 1) + "/test.db");
  }
  // Runs two commands at once, each in its own site.
  static std::pair<Outcome, Outcome> AtOnce(const Lane& a, const Texts& argsA, const Lane& b,
                                            const Texts& argsB) {
    Outcome oa, ob;
    std::thread t([&] { oa = a.Run(argsA); });
    ob = b.Run(argsB);
    t.join();
    return {oa, ob};
  }
  e2e::Site site;
  std::string pristine;
};

TEST_F(ConcurrencyTest, DisjointGroupsAtOnceGiveTheRecordsOfRunsOneAfterTheOther) {
  Lane sequential(site.dir() + "/seq");
  sequential.CopyDb(pristine);
  ASSERT_TRUE(rel::Clean(sequential.Run(kGroup1)));
  ASSERT_TRUE(rel::Clean(sequential.Run(kGroup2)));
  ASSERT_EQ(sequential.Log(), "");
  const rel::State want = rel::Snapshot(sequential.DbPath());
  ASSERT_GT(want.records.size(), 12u * 20u);

  Lane first(site.dir() + "/par");
  Lane second = Beside(first, "par2");
  for (int round = 0; round < 3; ++round) {
    first.CopyDb(pristine);
    auto [a, b] = AtOnce(first, kGroup1, second, kGroup2);
    EXPECT_TRUE(rel::Clean(a)) << round;
    EXPECT_TRUE(rel::Clean(b)) << round;
    EXPECT_EQ(first.Log(), "") << round;
    EXPECT_EQ(second.Log(), "") << round;
    EXPECT_TRUE(rel::SameState(want, rel::Snapshot(first.DbPath()))) << round;
  }
}

TEST_F(ConcurrencyTest, OneWorkplaceTwiceAtOnceLeavesNoDoubledRowAndARerunRepairs) {
  Lane alone(site.dir() + "/alone");
  alone.CopyDb(pristine);
  ASSERT_TRUE(rel::Clean(alone.Run(kOne)));
  const rel::State want = rel::Snapshot(alone.DbPath());

  Lane first(site.dir() + "/same");
  Lane second = Beside(first, "same2");
  for (int round = 0; round < 3; ++round) {
    first.CopyDb(pristine);
    first.ClearLog();
    second.ClearLog();
    auto [a, b] = AtOnce(first, kOne, second, kOne);
    EXPECT_TRUE(rel::Clean(a)) << round;
    EXPECT_TRUE(rel::Clean(b)) << round;
    // Only refused inserts may be logged: the other run wrote the row first.
    for (const Lane* lane : {&first, &second})
      for (const std::string& e : rel::SplitEntries(lane->Log()))
        EXPECT_TRUE(rel::IsInsertRefusal(e)) << rel::Printable(e);
    {
      rel::DbFile db(first.DbPath());
      EXPECT_EQ(db.One("PRAGMA integrity_check"), "ok");
      EXPECT_EQ(rel::HalfWrittenRecords(db), "0");
      EXPECT_EQ(db.One("SELECT count(*) - count(DISTINCT NzaSa||'/'||NzaApl||'/'||NzaApk||'/'||"
                       "NzaApp||'/'||NzaPnr||'/'||NzaDtm) FROM Kvn590Nza"),
                "0");
    }
    first.ClearLog();
    ASSERT_TRUE(rel::Clean(first.Run(kOne)));
    EXPECT_EQ(first.Log(), "");
    EXPECT_TRUE(rel::SameState(want, rel::Snapshot(first.DbPath()))) << round;
  }
}

// Four processes report refusals into one log at the same time, each many
// times: every entry arrives whole, none is lost. The refusal's code, the
// number of command-line words, tells the writers apart.
TEST_F(ConcurrencyTest, FourWritersOfOneLogLoseAndTearNoEntry) {
  Lane shared(site.dir() + "/log");
  shared.CopyDb(pristine);
  const std::vector<Texts> commands = {
      {}, {"MEIER"}, {"MEIER", "APL"}, {"MEIER", "APL", "5101"}};
  constexpr int kRuns = 12;
  std::vector<std::thread> writers;
  std::vector<int> clean(commands.size(), 0);
  for (std::size_t w = 0; w < commands.size(); ++w) {
    writers.emplace_back([&, w] {
      Lane mine = shared.Alias("w" + std::to_string(w));
      for (int i = 0; i < kRuns; ++i) clean[w] += rel::Clean(mine.Run(commands[w])) ? 1 : 0;
    });
  }
  for (auto& t : writers) t.join();
  for (std::size_t w = 0; w < commands.size(); ++w) EXPECT_EQ(clean[w], kRuns) << w;

  std::map<std::string, int> seen;
  const Texts entries = rel::SplitEntries(shared.Log());
  for (const std::string& e : entries) ++seen[e];
  std::map<std::string, int> want;
  for (std::size_t w = 0; w < commands.size(); ++w)
    want[e2e::Entry("Mindestanzahl Parameter unterschritten", "Main()",
                    static_cast<int>(commands[w].size()) + 1)] = kRuns;
  EXPECT_EQ(entries.size(), commands.size() * kRuns);
  EXPECT_EQ(seen, want);
}

}  // namespace
