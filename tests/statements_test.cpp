// Every statement of the table operations beside the text each backend
// executes, kept in one reviewed file per dialect
// (tests/golden/statements_sqlite.txt, tests/golden/statements_postgres.txt).
// A change of the translation shows up there as a diff. Set
// PELVARO_UPDATE_GOLDEN=1 to write the files anew after a deliberate change.
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

std::string Listing(rt::Dialect dialect) {
  std::ostringstream out;
  for (const rt::Statement* st : AllStatements()) {
    out << "== " << st->op << "\n"
        << "original: " << st->text << "\n";
    if (st->range) out << "range:    " << st->range << "\n";
    out << "executed: " << rt::Translate(*st, dialect).text << "\n\n";
  }
  return out.str();
}

void ExpectListing(rt::Dialect dialect, const char* file) {
  const std::string path = std::string(PELVARO_SOURCE_DIR) + "/tests/golden/" + file;
  const std::string now = Listing(dialect);
  if (const char* update = std::getenv("PELVARO_UPDATE_GOLDEN"); update && *update == '1') {
    std::ofstream(path, std::ios::binary) << now;
  }
  std::ifstream in(path, std::ios::binary);
  std::stringstream golden;
  golden << in.rdbuf();
  EXPECT_EQ(golden.str(), now) << "translation changed; review " << file
                               << " and rerun with PELVARO_UPDATE_GOLDEN=1";
}

TEST(Statements, ExecutedTextsMatchTheReviewedListing) {
  ExpectListing(rt::Dialect::kSqlite, "statements_sqlite.txt");
}

TEST(Statements, PostgresTextsMatchTheReviewedListing) {
  ExpectListing(rt::Dialect::kPostgres, "statements_postgres.txt");
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

// Each executed text is prepared by a real server on the schema: names,
// types of the inferred parameters and the dialect words all hold.
TEST(Statements, EveryPostgresTextPreparesOnTheServerAndKeepsNoOracleWords) {
  testdb::Db db(testdb::Backend::kPostgres);
  TESTDB_SKIP_UNLESS_AVAILABLE(db);
  int n = 0;
  for (const rt::Statement* st : AllStatements()) {
    rt::Translation t = rt::Translate(*st, rt::Dialect::kPostgres);
    for (const char* word : {":b", "sysdate", " into :", "DAYLO", "DAYHI"})
      EXPECT_EQ(t.text.find(word), std::string::npos) << st->op << " keeps " << word;
    const std::string name = "check_" + std::to_string(++n);
    PGresult* r = PQprepare(db.pgRaw(), name.c_str(), t.text.c_str(), 0, nullptr);
    EXPECT_EQ(PQresultStatus(r), PGRES_COMMAND_OK) << st->op << ": " << PQresultErrorMessage(r);
    PQclear(r);
    // Every distinct placeholder is one parameter of the prepared statement.
    r = PQdescribePrepared(db.pgRaw(), name.c_str());
    EXPECT_EQ(PQnparams(r), t.params) << st->op;
    PQclear(r);
  }
}

}  // namespace
