// The connection of a run: the connect string from the configuration file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "db/DbDb.h"
#include "db/Runtime.h"
#include "tests/DbFixture.h"
#include "util/Config.h"

namespace {

TEST(ConnectString, UserPasswordAndNameJoinedWithTheirCount) {
  struct Case {
    std::string user, password, net, text;
    bool fits;
  } cases[] = {
      {"u", "p", "n", "u/p@n", true},
      {"", "", "", "/@", true},
      {"scott", "tiger", "plant.db", "scott/tiger@plant.db", true},
      {std::string(50, 'u'), std::string(49, 'p'), "", "", false},  // 101
      {std::string(49, 'u'), std::string(49, 'p'), "", std::string(49, 'u') + "/" + std::string(49, 'p') + "@",
       true},  // exactly 100
  };
  for (const auto& c : cases) {
    db::ConnectString cs;
    EXPECT_EQ(db::BuildConnectString(c.user.c_str(), c.password.c_str(), c.net.c_str(), &cs), c.fits);
    EXPECT_EQ(std::string(cs.arr, cs.len), c.text);
    EXPECT_EQ(cs.len, c.text.size());
  }
}

class DbConnectTest : public ::testing::Test {
 protected:
  void WriteConfig(const std::string& user, const std::string& password, const std::string& net) {
    ini = db.dir() + "/korvane.ini";
    std::ofstream(ini) << ";DB;\n1;LOGIN;" << pelvaro::EncipherValue(user) << "\n;DB;\n2;PASS;"
                       << pelvaro::EncipherValue(password) << "\n;DB;\n3;NET8;"
                       << pelvaro::EncipherValue(net) << "\n";
    setenv("KORVANE_INI", ini.c_str(), 1);
  }
  void TearDown() override { unsetenv("KORVANE_INI"); }
  testdb::SqliteFile db;
  std::string ini;
};

TEST_F(DbConnectTest, ConnectsToTheConfiguredDatabaseAndCommitsAtTheEnd) {
  WriteConfig("scott", "tiger", db.path());
  ASSERT_EQ(db::dbConnect(), 0);
  EXPECT_TRUE(rt::Connected());
  db::dbDisconnect();
}

TEST_F(DbConnectTest, FailuresComeBackAsNegativeStatus) {
  WriteConfig("scott", "tiger", db.dir() + "/missing.db");
  EXPECT_LT(db::dbConnect(), 0);
  EXPECT_FALSE(std::ifstream(db.dir() + "/missing.db").good());

  WriteConfig(std::string(40, 'u'), std::string(40, 'p'), db.path());  // over 100 characters
  EXPECT_EQ(db::dbConnect(), rt::kConnectStringTooLong);

  setenv("KORVANE_INI", (db.dir() + "/no-such.ini").c_str(), 1);  // empty credentials: "/@"
  EXPECT_LT(db::dbConnect(), 0);
  EXPECT_FALSE(rt::Connected());
}

}  // namespace
