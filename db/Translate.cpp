#include "db/Translate.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <string>

namespace rt {
namespace {

struct Token {
  enum Kind { kSpace, kIdent, kParam, kString, kNumber, kPunct } kind;
  std::string text;
};

bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> out;
  std::size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    std::size_t j = i + 1;
    Token::Kind kind;
    if (std::isspace(static_cast<unsigned char>(c))) {
      while (j < s.size() && std::isspace(static_cast<unsigned char>(s[j]))) ++j;
      kind = Token::kSpace;
    } else if (c == ':' && j < s.size() && s[j] == 'b') {
      ++j;
      while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
      kind = Token::kParam;
    } else if (c == '\'') {
      while (j < s.size() && s[j] != '\'') ++j;
      if (j < s.size()) ++j;
      kind = Token::kString;
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      while (j < s.size() && IsIdentChar(s[j])) ++j;
      kind = Token::kNumber;
    } else if (IsIdentChar(c)) {
      while (j < s.size() && IsIdentChar(s[j])) ++j;
      kind = Token::kIdent;
    } else {
      kind = Token::kPunct;
    }
    out.push_back({kind, std::string(s.substr(i, j - i))});
    i = j;
  }
  return out;
}

bool Is(const Token& t, std::string_view word) {
  if (t.kind != Token::kIdent || t.text.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(t.text[i])) !=
        std::tolower(static_cast<unsigned char>(word[i])))
      return false;
  return true;
}

bool IsPunct(const Token& t, char c) { return t.kind == Token::kPunct && t.text[0] == c; }

// A token stream without the blanks, with the way back to the positions.
class Walker {
 public:
  explicit Walker(const std::vector<Token>& toks) : toks_(toks) {}
  // Index of the n-th non-blank token at or after i, or size().
  std::size_t Skip(std::size_t i, int n = 0) const {
    while (i < toks_.size() && toks_[i].kind == Token::kSpace) ++i;
    while (n-- > 0 && i < toks_.size()) {
      ++i;
      while (i < toks_.size() && toks_[i].kind == Token::kSpace) ++i;
    }
    return i;
  }
  const Token* At(std::size_t i) const { return i < toks_.size() ? &toks_[i] : nullptr; }

 private:
  const std::vector<Token>& toks_;
};

// The format texts of TO_CHAR and TO_DATE that the statements use.
const char* StrftimeFormat(std::string_view fmt) {
  if (fmt == "'yyyymmdd'") return "'%Y%m%d'";
  if (fmt == "'HH24MISS'") return "'%H%M%S'";
  if (fmt == "'yyyymmddHH24MISS'") return "'%Y%m%d%H%M%S'";
  return nullptr;
}

class Translator {
 public:
  Translator(Dialect d) : dialect_(d) {}

  Translation Run(const Statement& st) {
    std::vector<Token> toks = Tokenize(st.text);
    StripInto(&toks);
    NumberParams(toks);
    std::string where;
    if (st.range) where = Emit(Tokenize(st.range), true);
    std::string body = Emit(toks, false);
    if (!where.empty()) {
      // The WHERE of the statement takes the range condition before its own.
      std::size_t pos = FindWord(body, "where");
      if (pos != std::string::npos) {
        std::size_t end = FindWord(body, "order", pos);
        if (end == std::string::npos) end = body.size();
        while (end > pos && body[end - 1] == ' ') --end;
        body.insert(end, ")");
        body.insert(pos + 6, "(" + where + ") and (");
      }
    }
    return {body, static_cast<int>(params_.size())};
  }

 private:
  static std::size_t FindWord(const std::string& s, std::string_view w, std::size_t from = 0) {
    for (std::size_t i = from; i + w.size() <= s.size(); ++i) {
      bool match = true;
      for (std::size_t k = 0; k < w.size() && match; ++k)
        match = std::tolower(static_cast<unsigned char>(s[i + k])) == w[k];
      if (match && (i == 0 || !IsIdentChar(s[i - 1])) &&
          (i + w.size() == s.size() || !IsIdentChar(s[i + w.size()])))
        return i;
    }
    return std::string::npos;
  }

  // "select ... into :b0:b1,:b2  from" loses "into ... " up to "from".
  static void StripInto(std::vector<Token>* toks) {
    Walker w(*toks);
    for (std::size_t i = 0; i < toks->size(); ++i) {
      if (!Is((*toks)[i], "into")) continue;
      const Token* next = w.At(w.Skip(i + 1));
      if (!next || next->kind != Token::kParam) continue;
      std::size_t j = i + 1;
      while (j < toks->size() && !Is((*toks)[j], "from")) ++j;
      // From the blank before "into" up to the blank before "from".
      if (j > i + 1 && (*toks)[j - 1].kind == Token::kSpace) --j;
      std::size_t b = (i > 0 && (*toks)[i - 1].kind == Token::kSpace) ? i - 1 : i;
      toks->erase(toks->begin() + b, toks->begin() + j);
      return;
    }
  }

  void NumberParams(const std::vector<Token>& toks) {
    for (const Token& t : toks)
      if (t.kind == Token::kParam && !params_.count(t.text)) {
        int n = static_cast<int>(params_.size()) + 1;
        params_[t.text] = n;
      }
  }

  std::string Param(const Token& t) {
    auto it = params_.find(t.text);
    int n;
    if (it == params_.end()) {
      n = static_cast<int>(params_.size()) + 1;
      params_[t.text] = n;
    } else {
      n = it->second;
    }
    return (dialect_ == Dialect::kSqlite ? "?" : "$") + std::to_string(n);
  }

  // The instant of the text t (yyyymmdd, or yyyymmddHHMMSS with `withTime`):
  // an empty text is no date; a text that names no instant fails the
  // statement with invalid_datetime_format, as TO_DATE fails on the site's
  // database (the server's own to_date would read some of them leniently).
  // The nested CASE keeps the server from computing the day of a text that
  // failed the pattern, also when it folds constants.
  static std::string PgToDate(const std::string& t, bool withTime) {
    const std::string d = withTime ? "substr(" + t + ",1,8)" : t;
    const std::string type = withTime ? "timestamp" : "date";
    const std::string fail = "('no date '||" + t + ")::" + type;
    const std::string value =
        withTime ? "to_date(" + d + ",'yyyymmdd')+substr(" + t + ",9,6)::time"
                 : "to_date(" + d + ",'yyyymmdd')";
    return "(case when " + t + "='' then NULL::" + type + " when " + t +
           " ~ '^[0-9]{4}(0[1-9]|1[0-2])(0[1-9]|[12][0-9]|3[01])" +
           (withTime ? "([01][0-9]|2[0-3])[0-5][0-9][0-5][0-9]" : "") + "$' and substr(" + t +
           ",1,4)<>'0000' then (case when to_char(make_date(substr(" + t +
           ",1,4)::integer,substr(" + t + ",5,2)::integer,1)+(substr(" + t +
           ",7,2)::integer-1),'YYYYMMDD')=" + d + " then " + value + " else " + fail +
           " end) else " + fail + " end)";
  }

  // The value of a day text as the first stored value of that day. A text that
  // is not eight digits gives no bound at all, so the rows stay the same.
  std::string DayIso(const std::string& p) {
    return "substr(" + p + ",1,4)||'-'||substr(" + p + ",5,2)||'-'||substr(" + p + ",7,2)";
  }
  // The bound of the day text p, moved by `days` calendar days when given.
  std::string DayBound(const std::string& p, bool high, const std::string& days = "") {
    if (dialect_ == Dialect::kPostgres) {
      // Built from the month's first day, so that no day text makes the bound
      // fail: a day past the month's end gives the next month's first day.
      const std::string t = p + "::text";
      const std::string month = "make_date(substr(" + t + ",1,4)::integer,substr(" + t +
                                ",5,2)::integer,1)";
      const std::string day = "substr(" + t + ",7,2)::integer";
      std::string v = "least(" + month + "+" + (high ? day : day + "-1") + ",(" + month +
                      "+interval '1 month')::date)";
      if (!days.empty()) v = "(" + v + "+" + days + "::integer)";
      return "(case when " + t + " ~ '^[0-9]{4}(0[1-9]|1[0-2])[0-9]{2}$' and substr(" + t +
             ",1,4)<>'0000' then " + v + " else '" + (high ? "" : "-") + "infinity'::date end)";
    }
    std::string v = days.empty() ? DayIso(p) : "date(" + DayIso(p) + "," + days + "||' days')";
    if (high) v += "||'~'";
    return "(case when length(" + p + ")=8 and " + p + " not glob '*[^0-9]*' then " + v +
           " else '" + (high ? "~" : "") + "' end)";
  }

  std::string Emit(const std::vector<Token>& toks, bool isRange) {
    Walker w(toks);
    std::string out;
    bool inWhere = isRange;
    for (std::size_t i = 0; i < toks.size(); ++i) {
      const Token& t = toks[i];
      if (Is(t, "where")) inWhere = true;
      if (t.kind == Token::kParam) {
        out += Param(t);
        continue;
      }
      // TO_CHAR(x,'fmt')
      if (Is(t, "TO_CHAR")) {
        std::size_t a = w.Skip(i + 1), x = w.Skip(a, 1), c = w.Skip(x, 1), f = w.Skip(c, 1),
                    e = w.Skip(f, 1);
        if (w.At(e) && IsPunct(toks[a], '(') && IsPunct(toks[c], ',') &&
            toks[f].kind == Token::kString && IsPunct(toks[e], ')')) {
          if (dialect_ == Dialect::kSqlite) {
            if (const char* fmt = StrftimeFormat(toks[f].text)) {
              out += "strftime(" + std::string(fmt) + "," + toks[x].text + ")";
              i = e;
              continue;
            }
          } else {
            out += "TO_CHAR(" + toks[x].text + "," + toks[f].text + ")";
            i = e;
            continue;
          }
        }
      }
      // TO_DATE(:bN,'fmt'), optionally followed by +:bM days
      if (Is(t, "TO_DATE")) {
        std::size_t a = w.Skip(i + 1), x = w.Skip(a, 1), c = w.Skip(x, 1), f = w.Skip(c, 1),
                    e = w.Skip(f, 1);
        if (w.At(e) && IsPunct(toks[a], '(') && toks[x].kind == Token::kParam &&
            IsPunct(toks[c], ',') && toks[f].kind == Token::kString && IsPunct(toks[e], ')')) {
          std::string p = Param(toks[x]);
          std::size_t plus = w.Skip(e + 1), days = w.Skip(plus, 1);
          bool addDays = w.At(days) && IsPunct(toks[plus], '+') && toks[days].kind == Token::kParam;
          std::string dayParam = addDays ? Param(toks[days]) : "";
          if (dialect_ == Dialect::kSqlite) {
            // The backend's own conversion: an empty text is no date, a text
            // that names no instant fails the statement as it would on the
            // site's database.
            std::string date = "pelvaro_to_date(" + p + "," + toks[f].text + ")";
            out += addDays ? "datetime(" + date + "," + dayParam + "||' days')" : date;
          } else if (toks[f].text == "'yyyymmddHH24MISS'") {
            // The day plus the time of day: no time zone takes part, so no
            // instant moves across a change of daylight saving time.
            out += PgToDate(p + "::text", true);
            if (addDays) out += "+" + dayParam + "::integer*interval '1 day'";
          } else if (toks[f].text == "'yyyymmdd'") {
            out += PgToDate(p + "::text", false);
            if (addDays) out += "+" + dayParam + "::integer";
          } else {
            out += "TO_DATE(" + p + "," + toks[f].text + ")";
            if (addDays) out += "+" + dayParam + "::integer";
          }
          i = addDays ? days : e;
          continue;
        }
      }
      // DAYLO(:bN) / DAYHI(:bN), or with a day offset DAYLO(:bN,:bM).
      if (Is(t, "DAYLO") || Is(t, "DAYHI")) {
        std::size_t a = w.Skip(i + 1), x = w.Skip(a, 1), e = w.Skip(x, 1);
        std::string days;
        if (w.At(e) && IsPunct(toks[e], ',')) {
          std::size_t n = w.Skip(e, 1);
          if (w.At(n) && toks[n].kind == Token::kParam) days = Param(toks[n]);
          e = w.Skip(n, 1);
        }
        if (w.At(e) && toks[x].kind == Token::kParam) {
          out += DayBound(Param(toks[x]), Is(t, "DAYHI"), days);
          i = e;
          continue;
        }
      }
      // trunc(sysdate) and sysdate. The embedded database's clock is the
      // program's (pelvaro_now). On PostgreSQL the time the statement
      // began, cut to whole seconds: CURRENT_DATE and LOCALTIMESTAMP would give
      // the start of the open transaction, which may be long past.
      if (Is(t, "trunc")) {
        std::size_t a = w.Skip(i + 1), x = w.Skip(a, 1), e = w.Skip(x, 1);
        if (w.At(e) && Is(toks[x], "sysdate") && IsPunct(toks[e], ')')) {
          out += dialect_ == Dialect::kSqlite ? "datetime(pelvaro_now(),'start of day')"
                                              : "statement_timestamp()::date";
          i = e;
          continue;
        }
      }
      if (Is(t, "sysdate")) {
        out += dialect_ == Dialect::kSqlite
                   ? "pelvaro_now()"
                   : "date_trunc('second',statement_timestamp()::timestamp)";
        continue;
      }
      if (Is(t, "KvSystem")) {
        std::size_t dot = w.Skip(i + 1);
        if (w.At(dot) && IsPunct(toks[dot], '.')) {
          if (dialect_ == Dialect::kPostgres) out += "KvSystem.";
          i = dot;
          continue;
        }
      }
      if (Is(t, "WORK") && dialect_ == Dialect::kSqlite) {
        // "COMMIT WORK": SQLite knows no WORK.
        if (!out.empty() && out.back() == ' ') out.pop_back();
        continue;
      }
      // A date column compared raw: SQLite holds dates as texts that may lack
      // the time, so both sides are brought to one form.
      if (dialect_ == Dialect::kSqlite && inWhere && !isRange && t.kind == Token::kIdent &&
          IsDateColumn(t.text)) {
        out += "datetime(" + t.text + ")";
        continue;
      }
      out += t.text;
    }
    return out;
  }

  Dialect dialect_;
  std::map<std::string, int> params_;
};

}  // namespace

bool IsDateColumn(std::string_view name) {
  static constexpr std::array<std::string_view, 22> kColumns = {
      "KeyDat", "KeyUhr", "MapMdt", "MapMzt", "MrkMdt", "MrkDat", "NzaDtm", "NzaEdt",
      "NzaDat", "AemGvo", "AemGbi", "KalDtm", "BakDtm", "PmzGvo", "PmzGbi", "NzpGvn",
      "NzpGbi", "NzpAdt", "AplUdt", "MelKdt", "MelDat", "MapDat"};
  for (auto c : kColumns)
    if (c.size() == name.size() &&
        std::equal(c.begin(), c.end(), name.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) ==
                 std::tolower(static_cast<unsigned char>(b));
        }))
      return true;
  return false;
}

Translation Translate(const Statement& st, Dialect dialect) { return Translator(dialect).Run(st); }

}  // namespace rt
