#include "db/DemoPlant.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "util/DateTime.h"

namespace demo {
namespace {

constexpr std::int64_t kDay = 86400;  // seconds

// ---- Calendar arithmetic on day numbers (days since 1970-01-01) ----

struct Civil {
  int y, m, d;
};

std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const auto doy = static_cast<unsigned>((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1);
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

Civil CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(y + (m <= 2 ? 1 : 0)), static_cast<int>(m), static_cast<int>(d)};
}

// 1 Monday .. 7 Sunday; day 0 was a Thursday.
int IsoWeekday(std::int64_t z) { return static_cast<int>(((z % 7) + 7 + 3) % 7) + 1; }

// The ISO week: the week of the year that holds its Thursday.
int IsoWeek(std::int64_t z) {
  const std::int64_t thursday = z - IsoWeekday(z) + 4;
  const int year = CivilFromDays(thursday).y;
  return static_cast<int>((thursday - DaysFromCivil(year, 1, 1)) / 7 + 1);
}

int DayOfYear(std::int64_t z) {
  return static_cast<int>(z - DaysFromCivil(CivilFromDays(z).y, 1, 1) + 1);
}

// ---- Fixed-width texts ----

char* Digits(char* p, std::int64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return p + width;
}

// 'YYYY-MM-DD'
struct DateText {
  char s[11];
  explicit DateText(std::int64_t day) {
    Civil c = CivilFromDays(day);
    char* p = Digits(s, c.y, 4);
    *p++ = '-';
    p = Digits(p, c.m, 2);
    *p++ = '-';
    p = Digits(p, c.d, 2);
    *p = '\0';
  }
  std::string_view View() const { return {s, 10}; }
};

// 'YYYY-MM-DD HH:MM:SS' of seconds since 1970-01-01 00:00:00.
struct StampText {
  char s[20];
  explicit StampText(std::int64_t t) {
    std::int64_t day = t >= 0 ? t / kDay : (t - kDay + 1) / kDay;
    std::int64_t sec = t - day * kDay;
    std::memcpy(s, DateText(day).s, 10);
    char* p = s + 10;
    *p++ = ' ';
    p = Digits(p, sec / 3600, 2);
    *p++ = ':';
    p = Digits(p, sec / 60 % 60, 2);
    *p++ = ':';
    p = Digits(p, sec % 60, 2);
    *p = '\0';
  }
  std::string_view View() const { return {s, 19}; }
  std::string_view Date() const { return {s, 10}; }
};

// yyyymmdd
std::string DayText(std::int64_t day) {
  Civil c = CivilFromDays(day);
  char s[9];
  char* p = Digits(s, c.y, 4);
  p = Digits(p, c.m, 2);
  Digits(p, c.d, 2);
  return std::string(s, 8);
}

std::string Number(std::int64_t value, int width) {
  std::string s(static_cast<std::size_t>(width), '0');
  Digits(s.data(), value, width);
  return s;
}

// ---- Random numbers: splitmix64, the same sequence on every platform ----

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [lo, hi]; lo when hi < lo.
  std::int64_t Between(std::int64_t lo, std::int64_t hi) {
    if (hi <= lo) return lo;
    return lo + static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(hi - lo + 1));
  }
  bool Chance(int num, int den) { return Next() % static_cast<std::uint64_t>(den) < static_cast<std::uint64_t>(num); }

 private:
  std::uint64_t state_;
};

// ---- The plant's fixed content ----

struct ShiftDef {
  const char* model;
  const char* text;
  int beg, end;  // minutes of the day
  const char* breakModel;
};
constexpr ShiftDef kShifts[] = {
    {"3S", "Frueh", 360, 840, "3S-F"},
    {"3S", "Spaet", 840, 1320, "3S-S"},
    {"3S", "Nacht", 1320, 360, "3S-N"},
    {"TS", "Tag", 420, 930, "TS-T"},
};

struct BreakDef {
  const char* breakModel;
  const char* num;
  int beg, end;
};
constexpr BreakDef kBreaks[] = {
    {"3S-F", "F1", 540, 555},  {"3S-F", "F2", 720, 750},  {"3S-S", "S1", 1020, 1035},
    {"3S-S", "S2", 1170, 1200}, {"3S-N", "N1", 60, 90},    {"3S-N", "N2", 210, 225},
    {"TS-T", "T1", 720, 750},
};

constexpr const char* kThreeShift = "3S";
constexpr const char* kDayShift = "TS";
constexpr const char* kCalendar = "K1";
constexpr const char* kCreatedBy = "DEMO";

bool IsEnd(const char* code) {
  return !std::strcmp(code, "AE") || !std::strcmp(code, "AT") || !std::strcmp(code, "RE");
}

// One booking message of a workplace, in time order.
struct Message {
  std::int64_t t;
  const char* code;
  int occupation;
};

// One order position worked at a workplace.
struct Occupation {
  int order;
  int position;
  bool setup;
  std::int64_t begin;
};

class Generator {
 public:
  Generator(const PlantOptions& o, RowSink& sink, PlantSummary& summary)
      : o_(o), sink_(sink), s_(summary) {}

  bool Run() {
    const std::string& t = o_.today;
    today_ = DaysFromCivil(std::stoi(t.substr(0, 4)), std::stoi(t.substr(4, 2)),
                           std::stoi(t.substr(6, 2)));
    first_ = today_ - o_.days;
    // The calendar reaches back to the day before the history, which a run
    // over the whole history starts from.
    const int fromYear = std::min(CivilFromDays(today_).y - 1, CivilFromDays(first_ - 1).y);
    calFrom_ = DaysFromCivil(fromYear, 1, 1);
    calTo_ = DaysFromCivil(CivilFromDays(today_).y + 1, 12, 31);

    s_ = PlantSummary{};
    s_.workplaces = o_.workplaces;
    s_.groups = o_.groups;
    s_.days = o_.days;
    s_.firstDay = DayText(first_);
    s_.lastDay = DayText(today_ - 1);
    s_.calendarFrom = DayText(calFrom_);
    s_.calendarTo = DayText(calTo_);
    for (std::int64_t d = first_; d < today_; ++d) s_.workingDays += IsoWeekday(d) <= 5 ? 1 : 0;

    return DeclareTables() && Calendar() && ShiftModels() && Assignments() && Workplaces() &&
           Bookings() && Parameters();
  }

 private:
  // ---- Tables ----

  static constexpr std::array kBakCols{"BakDtm", "BakJhr", "BakMon", "BakTag",
                                       "BakWch", "BakWtg", "BakJtg"};
  static constexpr std::array kKalCols{"KalNum", "KalDtm", "KalBtp"};
  static constexpr std::array kEmoCols{"EmoEmo", "EmoTtp", "EmoBeg", "EmoTxt",
                                       "EmoEnd", "EmoArt", "EmoPmo"};
  static constexpr std::array kPmsCols{"PmsNum", "PmsBeg", "PmsEnd", "PmsInt",
                                       "PmsPse", "PmsBzt", "PmsPrz"};
  static constexpr std::array kPmzCols{"PmzPmo", "PmzPms", "PmzGvo", "PmzGbi"};
  static constexpr std::array kAemCols{"AemApg", "AemKng", "AemEmo", "AemGvo", "AemGbi",
                                       "AemBez", "AemTxt", "AemKal", "AemLkz", "AemVzt",
                                       "AemEzt", "AemPrz", "AemAfz", "AemApz", "AemPrp",
                                       "AemAfp", "AemApp", "AemMaz"};
  static constexpr std::array kAplCols{"AplApl", "AplBez", "AplTxt", "AplApg", "AplFbe",
                                       "AplSts", "AplSis", "AplUdt", "AplTag", "AplSta",
                                       "AplErf"};
  static constexpr std::array kMelCols{"KeyBnr", "KeyLfn", "ObjTyp", "KeyPnr", "KeyApl",
                                       "KeyApk", "KeyApp", "Sts00A", "Sts00U", "KeyDat",
                                       "KeyUhr", "KeySek", "MelMsk", "MelTrm", "MelErf",
                                       "MelDat"};
  static constexpr std::array kMapCols{"MapBnr", "MapObj", "MapPnr", "MapApl", "MapApk",
                                       "MapApp", "Map00E", "Map00R", "Map00A", "Map00U",
                                       "Map00S", "MapMdt", "MapMzt", "MapDat", "MapErf",
                                       "MapSts"};
  static constexpr std::array kMrkCols{"MrkKng", "MrkApl", "MrkApk", "MrkApp", "MrkPnr",
                                       "MrkBnr", "MrkMdt", "MrkObj", "MrkDat", "MrkEsb"};
  static constexpr std::array kNzpCols{"NzpAkz", "NzpGvn", "NzpGbi", "NzpAak", "NzpAwt",
                                       "NzpKjh", "NzpKmn", "NzpKwo", "NzpKtg", "NzpAan",
                                       "NzpVfh", "NzpNfh", "NzpMrk", "NzpAdt", "NzpAus"};

  bool DeclareTables() {
    struct {
      int* handle;
      const char* name;
      std::span<const char* const> cols;
    } tables[] = {
        {&bak_, "Kvn133Bak", kBakCols}, {&kal_, "Kvn133Kal", kKalCols},
        {&emo_, "Kvn533Emo", kEmoCols}, {&pms_, "Kvn535Pms", kPmsCols},
        {&pmz_, "Kvn536Pmz", kPmzCols}, {&aem_, "Kvn532Aem", kAemCols},
        {&apl_, "Kvn531Apl", kAplCols}, {&mel_, "Kvn560Mel", kMelCols},
        {&map_, "Kvn565Map", kMapCols}, {&mrk_, "Kvn563Mrk", kMrkCols},
        {&nzp_, "Kvn591Nzp", kNzpCols},
    };
    for (auto& t : tables) {
      *t.handle = sink_.Table(t.name, t.cols);
      if (*t.handle < 0) return false;
    }
    return true;
  }

  template <std::size_t N>
  bool Put(int table, const std::array<Value, N>& values) {
    return sink_.Row(table, values);
  }

  // ---- Works calendar and calendar K1 ----

  bool Calendar() {
    for (std::int64_t d = calFrom_; d <= calTo_; ++d) {
      const Civil c = CivilFromDays(d);
      const int wd = IsoWeekday(d);
      const DateText date(d);
      if (!Put(bak_, std::array{Value::Date(date.View()), Value::Int(c.y), Value::Int(c.m),
                                Value::Int(c.d), Value::Int(IsoWeek(d)), Value::Int(wd),
                                Value::Int(DayOfYear(d))}))
        return false;
      const char* type = wd <= 5 ? "WT" : wd == 6 ? "SA" : "SO";
      if (!Put(kal_, std::array{Value::Text(kCalendar), Value::Date(date.View()),
                                Value::Text(type)}))
        return false;
    }
    return true;
  }

  // ---- Shift models "3S" and "TS" on working days, breaks per shift ----

  bool ShiftModels() {
    for (const ShiftDef& s : kShifts) {
      if (!Put(emo_, std::array{Value::Text(s.model), Value::Text("WT"), Value::Int(s.beg),
                                Value::Text(s.text), Value::Int(s.end), Value::Int(0),
                                Value::Text(s.breakModel)}))
        return false;
    }
    const DateText from(calFrom_), to(calTo_);
    for (const BreakDef& b : kBreaks) {
      if (!Put(pms_, std::array{Value::Text(b.num), Value::Int(b.beg), Value::Int(b.end),
                                Value::Int(0), Value::Int(b.end - b.beg), Value::Int(0),
                                Value::Int(0)}))
        return false;
      if (!Put(pmz_, std::array{Value::Text(b.breakModel), Value::Text(b.num),
                                Value::Date(from.View()), Value::Date(to.View())}))
        return false;
    }
    return true;
  }

  // ---- Groups, workplaces and who works which model ----

  // Groups G1, G3, ... work three shifts, G2, G4, ... the day shift.
  static const char* GroupModel(int g) { return g % 2 == 0 ? kThreeShift : kDayShift; }
  int GroupOf(int w) const {
    return static_cast<int>(static_cast<std::int64_t>(w) * o_.groups / o_.workplaces);
  }
  static std::string GroupNumber(int g) { return "G" + std::to_string(g + 1); }
  // The last workplace has an assignment of its own, the other model.
  bool HasOwnModel(int w) const { return w == o_.workplaces - 1; }
  const char* ModelOf(int w) const {
    const char* group = GroupModel(GroupOf(w));
    if (!HasOwnModel(w)) return group;
    return group == kThreeShift ? kDayShift : kThreeShift;
  }

  bool Assignment(const std::string& apg, int kind, const char* model) {
    const DateText from(calFrom_);
    const bool three = model == kThreeShift;
    return Put(aem_, std::array{Value::Text(apg), Value::Int(kind), Value::Text(model),
                                Value::Date(from.View()), Value::Null(),
                                Value::Text(three ? "Dreischicht" : "Tagschicht"),
                                Value::Text(model), Value::Text(kCalendar), Value::Int(0),
                                Value::Int(0), Value::Int(0), Value::Int(0), Value::Int(0),
                                Value::Int(0), Value::Int(0), Value::Int(0), Value::Int(0),
                                Value::Int(0)});
  }

  bool Assignments() {
    for (int g = 0; g < o_.groups; ++g) {
      if (!Assignment(GroupNumber(g), 1, GroupModel(g))) return false;
    }
    const int own = o_.workplaces - 1;
    return Assignment(WorkplaceNumber(own), 2, ModelOf(own));
  }

  bool Workplaces() {
    const StampText created(calFrom_ * kDay);
    for (int w = 0; w < o_.workplaces; ++w) {
      const std::string apl = WorkplaceNumber(w);
      const std::string bez = "Arbeitsplatz " + apl.substr(6);
      const std::string txt = "AP" + apl.substr(6);
      if (!Put(apl_, std::array{Value::Text(apl), Value::Text(bez), Value::Text(txt),
                                Value::Text(GroupNumber(GroupOf(w))), Value::Text("FB1"),
                                Value::Int(0), Value::Int(0), Value::Date(created.View()),
                                Value::Int(0), Value::Int(0), Value::Text(kCreatedBy)}))
        return false;
    }
    return true;
  }

  // ---- Booking messages, message buffer and markers ----

  // The occupations and messages of one workplace over the history, in time
  // order, before the cut at today 00:00.
  void Timeline(int w, Random& rng, std::vector<Occupation>& occs, std::vector<Message>& msgs) {
    const bool three = ModelOf(w) == kThreeShift;
    // Three-shift workplaces run round the clock from 06:00 on working days,
    // each from its own offset, so occupations cross shifts and midnight.
    const std::int64_t phase = three ? rng.Between(0, 150) * 60 : 0;
    const int extra = (o_.messages - 2 * o_.positions) / 2;  // interruptions per day
    std::int64_t prevEnd = -1;
    int order = 0;
    for (std::int64_t day = first_; day < today_; ++day) {
      if (IsoWeekday(day) > 5) continue;
      ++order;
      std::int64_t ws, we;
      if (three) {
        ws = day * kDay + 6 * 3600 + phase;
        we = ws + kDay;
      } else {
        ws = day * kDay + 7 * 3600 - rng.Between(0, 20 * 60);
        we = day * kDay + 15 * 3600 + 30 * 60 + rng.Between(0, 45 * 60);
      }
      std::vector<std::int64_t> weights(static_cast<std::size_t>(o_.positions));
      std::int64_t total = 0;
      for (auto& x : weights) total += (x = rng.Between(60, 140));

      std::int64_t ss = ws, acc = 0;
      for (int j = 0; j < o_.positions; ++j) {
        acc += weights[static_cast<std::size_t>(j)];
        const std::int64_t se = j == o_.positions - 1 ? we : ws + (we - ws) * acc / total;
        const std::int64_t len = se - ss;
        std::int64_t begin;
        if (j > 0 && prevEnd >= 0 && rng.Chance(1, 3)) {
          begin = prevEnd;  // changeover in the same second
        } else {
          begin = std::max(prevEnd + 60, ss + rng.Between(0, len * 6 / 100));
        }
        std::int64_t end = se - rng.Between(len * 2 / 100, len * 10 / 100);
        if (end < begin + 300) end = begin + 300;

        const int occ = static_cast<int>(occs.size());
        const bool setup = rng.Chance(1, 4);
        occs.push_back({order, (j + 1) * 10, setup, begin});
        msgs.push_back({begin, setup ? "RB" : "AB", occ});

        int k = extra / o_.positions + (j < extra % o_.positions ? 1 : 0);
        k = static_cast<int>(std::min<std::int64_t>(k, (end - begin) / 360));
        if (k > 0) {
          const std::int64_t sub = (end - begin) / k;
          for (int i = 0; i < k; ++i) {
            const std::int64_t from = begin + i * sub;
            const std::int64_t au = from + rng.Between(sub * 15 / 100, sub * 45 / 100);
            const std::int64_t aw =
                au + rng.Between(180, std::max<std::int64_t>(180, std::min<std::int64_t>(
                                                                      1500, sub * 40 / 100)));
            msgs.push_back({au, "AU", occ});
            msgs.push_back({aw, "AW", occ});
          }
        }
        const char* endCode = setup ? "RE" : rng.Chance(1, 3) ? "AT" : "AE";
        msgs.push_back({end, endCode, occ});
        prevEnd = end;
        ss = se;
      }
    }
  }

  bool Bookings() {
    std::vector<Occupation> occs;
    std::vector<Message> msgs;
    for (int w = 0; w < o_.workplaces; ++w) {
      Random rng(o_.seed * 0x100000001B3ull + static_cast<std::uint64_t>(w) + 1);
      occs.clear();
      msgs.clear();
      Timeline(w, rng, occs, msgs);

      // The history ends at today 00:00: later messages never happened.
      const std::int64_t cutoff = today_ * kDay;
      while (!msgs.empty() && msgs.back().t >= cutoff) msgs.pop_back();
      // Some workplaces leave their last order position running, a few of
      // them interrupted.
      if (w % 3 == 1 && !msgs.empty() && IsEnd(msgs.back().code)) msgs.pop_back();
      if (w % 6 == 1 && !msgs.empty() && !std::strcmp(msgs.back().code, "AW")) msgs.pop_back();
      if (!WriteWorkplace(w, occs, msgs, rng)) return false;
    }
    return true;
  }

  bool WriteWorkplace(int w, const std::vector<Occupation>& occs,
                      const std::vector<Message>& msgs, Random& rng) {
    const std::string apl = WorkplaceNumber(w);
    const std::string pnr = Number(1000 + w + 1, 8);
    const std::string apkPrefix = "FA" + Number(w + 1, 4);
    auto apkOf = [&](const Occupation& o) { return apkPrefix + Number(o.order, 6); };
    auto appOf = [&](const Occupation& o) { return Number(o.position, 4); };

    // The last message of every order position tells its state at the end.
    std::vector<int> last(occs.size(), -1);
    std::int64_t prevT = -1;
    int sek = 0, lfn = 0;
    for (std::size_t i = 0; i < msgs.size(); ++i) {
      const Message& m = msgs[i];
      sek = m.t == prevT ? sek + 1 : 0;
      prevT = m.t;
      const Occupation& o = occs[static_cast<std::size_t>(m.occupation)];
      last[static_cast<std::size_t>(m.occupation)] = static_cast<int>(i);
      const StampText ts(m.t);
      const std::string apk = apkOf(o), app = appOf(o), sekText = Number(sek, 2);
      const bool interrupted = !std::strcmp(m.code, "AU");
      if (!Put(mel_, std::array{Value::Int(1), Value::Int(++lfn), Value::Text("M_A"),
                                Value::Text(pnr), Value::Text(apl), Value::Text(apk),
                                Value::Text(app), Value::Text(IsEnd(m.code) ? "0" : "1"),
                                Value::Text(interrupted ? "1" : "0"), Value::Date(ts.Date()),
                                Value::Date(ts.View()), Value::Text(sekText),
                                Value::Text(m.code), Value::Text("01"), Value::Text(kCreatedBy),
                                Value::Date(ts.View())}))
        return false;
    }
    s_.messages += static_cast<std::int64_t>(msgs.size());

    // The message buffer: one row per order position still running.
    for (std::size_t k = 0; k < occs.size(); ++k) {
      if (last[k] < 0) continue;
      const Message& m = msgs[static_cast<std::size_t>(last[k])];
      if (IsEnd(m.code)) continue;
      const bool interrupted = !std::strcmp(m.code, "AU");
      const StampText ts(m.t);
      const std::string apk = apkOf(occs[k]), app = appOf(occs[k]);
      if (!Put(map_, std::array{Value::Int(1), Value::Text("M_A"), Value::Text(pnr),
                                Value::Text(apl), Value::Text(apk), Value::Text(app),
                                Value::Text("0"), Value::Text(occs[k].setup ? "1" : "0"),
                                Value::Text("1"), Value::Text(interrupted ? "1" : "0"),
                                Value::Text("0"), Value::Date(ts.Date()), Value::Date(ts.View()),
                                Value::Date(ts.View()), Value::Text(kCreatedBy),
                                Value::Text("1")}))
        return false;
      ++s_.running;
      s_.interrupted += interrupted ? 1 : 0;
    }

    // Recalculation markers: every fourth workplace and the one with its own
    // model, at the begin of an order position of the recent half of the
    // history; the first workplace gets a second one from the older half.
    if (w % 4 != 0 && !HasOwnModel(w)) return true;
    const std::int64_t middle = first_ + o_.days / 2;
    auto pick = [&](bool recent) -> int {
      std::vector<int> candidates;
      for (std::size_t k = 0; k < occs.size(); ++k) {
        if (last[k] < 0) continue;
        if ((occs[k].begin >= middle * kDay) == recent) candidates.push_back(static_cast<int>(k));
      }
      if (candidates.empty()) return -1;
      return candidates[static_cast<std::size_t>(
          rng.Between(0, static_cast<std::int64_t>(candidates.size()) - 1))];
    };
    for (int which = 0; which < (w == 0 ? 2 : 1); ++which) {
      const int k = pick(which == 0);
      if (k < 0) continue;
      const Occupation& o = occs[static_cast<std::size_t>(k)];
      const StampText ts(o.begin);
      const std::string apk = apkOf(o), app = appOf(o);
      if (!Put(mrk_, std::array{Value::Text("LZM"), Value::Text(apl), Value::Text(apk),
                                Value::Text(app), Value::Text(pnr), Value::Int(1),
                                Value::Date(ts.View()), Value::Text("M_A"),
                                Value::Date(ts.View()), Value::Text(kCreatedBy)}))
        return false;
      ++s_.markers;
    }
    return true;
  }

  // ---- The evaluation parameter row of kind 4, valid over the calendar ----

  bool Parameters() {
    const DateText from(calFrom_), to(calTo_);
    return Put(nzp_, std::array{Value::Int(4), Value::Date(from.View()), Value::Date(to.View()),
                                Value::Int(0), Value::Int(0), Value::Int(0), Value::Int(0),
                                Value::Int(0), Value::Int(0), Value::Int(0), Value::Int(0),
                                Value::Int(0), Value::Int(0), Value::Null(), Value::Null()});
  }

  const PlantOptions& o_;
  RowSink& sink_;
  PlantSummary& s_;
  std::int64_t today_ = 0, first_ = 0, calFrom_ = 0, calTo_ = 0;
  int bak_ = -1, kal_ = -1, emo_ = -1, pms_ = -1, pmz_ = -1, aem_ = -1, apl_ = -1, mel_ = -1,
      map_ = -1, mrk_ = -1, nzp_ = -1;
};

}  // namespace

std::string WorkplaceNumber(int i) { return Number(1000 + i + 1, 10); }

bool CheckOptions(const PlantOptions& o, std::string* error) {
  auto fail = [&](const std::string& why) {
    *error = why;
    return false;
  };
  if (o.workplaces < 1 || o.workplaces > 8999) return fail("--workplaces must be 1 to 8999");
  if (o.groups < 1 || o.groups > o.workplaces)
    return fail("--groups must be 1 to the number of workplaces");
  if (o.days < 1 || o.days > 3660) return fail("--days must be 1 to 3660");
  if (o.positions < 1 || o.positions > 40) return fail("--positions must be 1 to 40");
  if (o.messages < 2 * o.positions || o.messages > 400)
    return fail("--messages must be at least twice --positions and at most 400");
  if (!pelvaro::IsCalendarDate(o.today.c_str()) || o.today < "19710101")
    return fail("--today must be a date yyyymmdd from 19710101 on");
  return true;
}

bool GeneratePlant(const PlantOptions& options, RowSink& sink, PlantSummary* summary,
                   std::string* error) {
  if (!CheckOptions(options, error)) return false;
  PlantSummary local;
  Generator g(options, sink, summary != nullptr ? *summary : local);
  if (!g.Run()) {
    *error = sink.Error();
    return false;
  }
  return true;
}

// ---- SQLite sink ----

std::unique_ptr<SqliteRowSink> SqliteRowSink::Open(const std::string& path, std::string* error) {
  std::unique_ptr<SqliteRowSink> sink(new SqliteRowSink());
  if (sqlite3_open_v2(path.c_str(), &sink->db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    *error = "cannot open " + path + ": " + sqlite3_errmsg(sink->db_);
    return nullptr;
  }
  // A large cache keeps the message index in memory while it is filled.
  if (sqlite3_exec(sink->db_, "PRAGMA cache_size=-65536; BEGIN;", nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    *error = std::string("cannot begin the load: ") + sqlite3_errmsg(sink->db_);
    return nullptr;
  }
  sink->open_ = true;
  return sink;
}

SqliteRowSink::~SqliteRowSink() {
  for (sqlite3_stmt* st : statements_) sqlite3_finalize(st);
  if (open_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db_);
}

bool SqliteRowSink::Fail(const std::string& what) {
  error_ = what + ": " + sqlite3_errmsg(db_);
  return false;
}

int SqliteRowSink::Table(std::string_view table, std::span<const char* const> columns) {
  std::string sql = "INSERT INTO " + std::string(table) + " (";
  std::string marks;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    sql += i ? "," : "";
    sql += columns[i];
    marks += i ? ",?" : "?";
  }
  sql += ") VALUES (" + marks + ")";
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) !=
      SQLITE_OK) {
    Fail("cannot prepare " + sql);
    return -1;
  }
  statements_.push_back(st);
  columns_.push_back(columns.size());
  return static_cast<int>(statements_.size()) - 1;
}

bool SqliteRowSink::Row(int table, std::span<const Value> values) {
  if (table < 0 || static_cast<std::size_t>(table) >= statements_.size()) {
    error_ = "row for an undeclared table";
    return false;
  }
  sqlite3_stmt* st = statements_[static_cast<std::size_t>(table)];
  if (values.size() != columns_[static_cast<std::size_t>(table)]) {
    error_ = std::string("wrong number of values for ") + sqlite3_sql(st);
    return false;
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    const Value& v = values[i];
    const int at = static_cast<int>(i) + 1;
    switch (v.kind) {
      case Value::kNull:
        sqlite3_bind_null(st, at);
        break;
      case Value::kInt:
        sqlite3_bind_int64(st, at, v.i);
        break;
      case Value::kReal:
        sqlite3_bind_double(st, at, v.d);
        break;
      case Value::kText:
      case Value::kDate:
        sqlite3_bind_text(st, at, v.text.data(), static_cast<int>(v.text.size()), SQLITE_STATIC);
        break;
    }
  }
  const int rc = sqlite3_step(st);
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) return Fail(std::string("insert into table ") + sqlite3_sql(st));
  return true;
}

bool SqliteRowSink::Commit() {
  if (!open_) {
    error_ = "no load to commit";
    return false;
  }
  open_ = false;
  if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    Fail("commit");
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  return true;
}

}  // namespace demo
