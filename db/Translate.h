// Mechanical translation of the statement texts into the dialect a backend
// executes. The rules, for every statement alike:
//  - the INTO list of a single-row select goes (outputs follow the select list);
//  - each distinct placeholder name :bN becomes one numbered parameter, in the
//    order in which the names first appear, so a name standing at several
//    places takes one value;
//  - the range condition of a statement, if any, is ANDed into its WHERE;
//  - dialect words are mapped (see Translate.cpp for each backend).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/Runtime.h"

namespace rt {

enum class Dialect { kSqlite, kPostgres };

struct Translation {
  std::string text;  // the executed text
  int params = 0;    // number of distinct placeholder names, bound 1..params
};

Translation Translate(const Statement& st, Dialect dialect);

// Columns that hold a date or a time; the translation knows them by name.
bool IsDateColumn(std::string_view name);

}  // namespace rt
