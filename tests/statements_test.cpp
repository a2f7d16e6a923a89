// Every statement of the table operations beside the text SQLite executes,
// kept in one reviewed file (tests/golden/statements_sqlite.txt). A change of
// the translation shows up there as a diff. Set PELVARO_UPDATE_GOLDEN=1 to
// write the file anew after a deliberate change.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "db/DbMel.h"
#include "db/Dbstd.h"
#include "db/Translate.h"
#include "tests/DbFixture.h"

namespace {

std::vector<const rt::Statement*> AllStatements() {
  std::vector<const rt::Statement*> all = db::DbstdStatements();
  const auto& mel = db::DbMelStatements();
  all.insert(all.end(), mel.begin(), mel.end());
  all.push_back(&rt::kCommitWork);
  return all;
}

std::string Listing() {
  std::ostringstream out;
  for (const rt::Statement* st : AllStatements()) {
    out << "== " << st->op << "\n"
        << "original: " << st->text << "\n";
    if (st->range) out << "range:    " << st->range << "\n";
    out << "executed: " << rt::Translate(*st, rt::Dialect::kSqlite).text << "\n\n";
  }
  return out.str();
}

TEST(Statements, ExecutedTextsMatchTheReviewedListing) {
  const std::string path = std::string(PELVARO_SOURCE_DIR) + "/tests/golden/statements_sqlite.txt";
  const std::string now = Listing();
  if (const char* update = std::getenv("PELVARO_UPDATE_GOLDEN"); update && *update == '1') {
    std::ofstream(path, std::ios::binary) << now;
  }
  std::ifstream in(path, std::ios::binary);
  std::stringstream golden;
  golden << in.rdbuf();
  EXPECT_EQ(golden.str(), now) << "translation changed; review and rerun with PELVARO_UPDATE_GOLDEN=1";
}

TEST(Statements, EveryExecutedTextPreparesOnTheSchemaAndKeepsNoOracleWords) {
  testdb::SqliteFile db;
  for (const rt::Statement* st : AllStatements()) {
    rt::Translation t = rt::Translate(*st, rt::Dialect::kSqlite);
    for (const char* word : {":b", "TO_CHAR", "TO_DATE", "sysdate", "KvSystem.", " into :", "WORK"})
      EXPECT_EQ(t.text.find(word), std::string::npos) << st->op << " keeps " << word;
    if (std::string(st->text).rfind("COMMIT", 0) == 0) continue;  // needs a transaction
    sqlite3_stmt* h = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db.raw(), t.text.c_str(), -1, &h, nullptr), SQLITE_OK)
        << st->op << ": " << sqlite3_errmsg(db.raw());
    sqlite3_finalize(h);
  }
}

}  // namespace
