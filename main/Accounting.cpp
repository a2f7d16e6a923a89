#include "main/Accounting.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "main/PassState.h"
#include "util/DateTime.h"
#include "util/Text.h"

namespace pelvaro {
namespace {

using Stamp = std::array<char, 15>;

Stamp JoinStamp(std::string_view day, std::string_view time) {
  Stamp s{};
  std::size_t n = std::min<std::size_t>(day.size(), 14);
  std::copy_n(day.begin(), n, s.begin());
  std::size_t m = std::min<std::size_t>(time.size(), 14 - n);
  std::copy_n(time.begin(), m, s.begin() + n);
  return s;
}

int Compare(const Stamp& a, const char* b) { return std::strncmp(a.data(), b, 15); }
int Compare(const Stamp& a, const Stamp& b) { return std::strncmp(a.data(), b.data(), 15); }

bool IsCode(const char (&msk)[4], const char* code) { return std::strcmp(msk, code) == 0; }

std::int32_t Clamp32(std::int64_t v) {
  if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

// Where the gap walk and the shift walk differ, each difference is one flag.
struct WalkRules {
  // "AB"/"RB" closes an interruption: gap windows when the interruption count
  // is at least the running count, shift windows only when it equals it.
  bool resumeNeedsEqualCounts;
  // Gap windows run the window-end steps only when a message was seen; shift
  // windows always run them.
  bool windowEndNeedsSeen;
  // Shift windows measure the breaks of every closed span.
  const db::Kvn533Emo* shift;
};

struct Totals {
  std::int64_t occupied = 0;
  std::int64_t interrupted = 0;
  std::int64_t occupiedBreak = 0;
  std::int64_t interruptedBreak = 0;
};

class Walk {
 public:
  Walk(const db::Kvn590Nza& rec, const WalkRules& rules)
      : rec_(rec),
        rules_(rules),
        begin_(JoinStamp(TextOf(rec.NzaDtmDay), TextOf(rec.NzaDtmTime))),
        end_(JoinStamp(TextOf(rec.NzaEdtDay), TextOf(rec.NzaEdtTime))),
        occBegin_(begin_),
        occEnd_(begin_),
        intBegin_(begin_),
        intEnd_(begin_) {}

  Totals Run(std::int32_t& running, std::int32_t& interrupted) {
    bool seen = false;
    db::Kvn560Mel mel{};
    db::Mel_Apl_Open(rec_.NzaApl, rec_.NzaDtmDay, rec_.NzaDtmTime, rec_.NzaEdtDay, rec_.NzaEdtTime);
    while (db::Mel_Apl_Read(&mel) == 0) {
      if (Message(mel, running, interrupted)) seen = true;
    }
    db::Mel_Apl_Close();
    if (seen || !rules_.windowEndNeedsSeen) WindowEnd(running, interrupted);
    return totals_;
  }

 private:
  // One message through the state machine; false for a code without a role.
  bool Message(const db::Kvn560Mel& mel, std::int32_t& run, std::int32_t& intr) {
    const Stamp t = JoinStamp(TextOf(mel.KeyDat), TextOf(mel.KeyUhr));
    const auto& code = mel.MelMsk;
    if (IsCode(code, "AB") || IsCode(code, "RB")) {
      if (run == 0) occBegin_ = t;
      bool closes = rules_.resumeNeedsEqualCounts ? (intr == run && intr >= 1)
                                                  : (intr >= run && intr >= 1);
      if (closes) {
        intEnd_ = t;
        AddInterrupted();
      }
      run += 1;
    } else if (IsCode(code, "AT") || IsCode(code, "AE") || IsCode(code, "RE")) {
      if (run == 1) {
        occEnd_ = t;
        AddOccupied();
      }
      if (run - 1 == intr && intr > 0) intBegin_ = t;
      run = run > 0 ? run - 1 : 0;
    } else if (IsCode(code, "AU")) {
      if (run - 1 == intr) intBegin_ = t;
      intr += 1;
    } else if (IsCode(code, "AW")) {
      if (intr >= run && intr == 1) {
        intEnd_ = t;
        AddInterrupted();
      }
      intr = intr > 0 ? intr - 1 : 0;
    } else {
      return false;
    }
    return true;
  }

  // Open spans are cut at the window end, and at the evaluation time when it
  // lies inside them.
  void WindowEnd(std::int32_t& run, std::int32_t& intr) {
    const char* evalTime = gPass.EvalTime;
    if (intr > 0 && intr >= run && run > 0) {
      intEnd_ = end_;
      if (Compare(intBegin_, evalTime) < 0 && Compare(end_, evalTime) > 0)
        intEnd_ = JoinStamp(TextOf(gPass.EvalTime), {});
      AddInterrupted();
    }
    if (run > 0) {
      occEnd_ = end_;
      if (Compare(occBegin_, evalTime) < 0 && Compare(end_, evalTime) > 0)
        occEnd_ = JoinStamp(TextOf(gPass.EvalTime), {});
      AddOccupied();
    } else {
      intr = 0;
    }
  }

  void AddOccupied() {
    totals_.occupied += TimeDiffSec(occEnd_.data(), occBegin_.data());
    if (rules_.shift)
      totals_.occupiedBreak +=
          BreakSecondsBetween(*rules_.shift, occBegin_.data(), occEnd_.data(), rec_.NzaDtmDay);
  }

  void AddInterrupted() {
    totals_.interrupted += TimeDiffSec(intEnd_.data(), intBegin_.data());
    if (rules_.shift)
      totals_.interruptedBreak +=
          BreakSecondsBetween(*rules_.shift, intBegin_.data(), intEnd_.data(), rec_.NzaDtmDay);
  }

  const db::Kvn590Nza& rec_;
  const WalkRules& rules_;
  const Stamp begin_, end_;
  Stamp occBegin_, occEnd_, intBegin_, intEnd_;
  Totals totals_;
};

}  // namespace

double MinSec(std::int64_t seconds) {
  const std::int64_t s = Clamp32(seconds);
  const std::int64_t q = s / 60;
  const std::int64_t r = s % 60;
  // Formed in extended precision, then stored as a double.
  return static_cast<double>(static_cast<long double>(q) +
                             static_cast<long double>(r) * static_cast<long double>(0.01));
}

void AccountIntervals(db::Kvn590Nza* rec, std::int32_t& running, std::int32_t& interrupted) {
  const WalkRules rules{/*resumeNeedsEqualCounts=*/false, /*windowEndNeedsSeen=*/true, nullptr};
  Totals t = Walk(*rec, rules).Run(running, interrupted);
  rec->NzaBzA = MinSec(t.occupied);
  rec->NzaUza = MinSec(t.interrupted);
  rec->NzaNza = MinSec(t.occupied - t.interrupted);
  rec->NzaPza = 0;
  rec->NzaPzu = 0;
}

void AccountShiftTime(db::Kvn590Nza* rec, const db::Kvn533Emo& shift, std::int32_t& running,
                      std::int32_t& interrupted) {
  const Stamp begin = JoinStamp(TextOf(rec->NzaDtmDay), TextOf(rec->NzaDtmTime));
  const bool active = Compare(begin, gPass.EvalTime) <= 0;
  const WalkRules rules{/*resumeNeedsEqualCounts=*/true, /*windowEndNeedsSeen=*/false, &shift};
  Totals t = Walk(*rec, rules).Run(running, interrupted);
  if (!active) return;  // a window after the evaluation time keeps the preset
  const std::int64_t w = t.occupied, g = t.interrupted;
  const std::int64_t wb = t.occupiedBreak, gb = t.interruptedBreak;
  rec->NzaBzA = MinSec(w);
  rec->NzaNza = MinSec(w - wb - g + gb);
  rec->NzaUza = MinSec(g - gb);
  rec->NzaPza = MinSec(wb - gb);
  rec->NzaPzu = MinSec(gb);
}

namespace {

// The break rows of one shift model, day type and day, each row (PmsNum) once.
// They are read at the first span measured against them and kept until the
// next shift-model row: every span of its shifts uses the same rows.
struct BreakRows {
  bool loaded = false;
  char emo[11] = {};
  char ttp[4] = {};
  char day[9] = {};
  char nextDay[9] = {};
  char dayAfterNext[9] = {};
  std::vector<db::EmoPmsRow> rows;

  bool Holds(const db::Kvn533Emo& shift, const char* d) const {
    return loaded && std::strcmp(emo, shift.EmoEmo) == 0 && std::strcmp(ttp, shift.EmoTtp) == 0 &&
           std::strcmp(day, d) == 0;
  }
  const char* Next() {
    if (!nextDay[0]) DateCalc(2, 1, day, nextDay);
    return nextDay;
  }
  const char* AfterNext() {
    if (!dayAfterNext[0]) DateCalc(2, 1, Next(), dayAfterNext);
    return dayAfterNext;
  }
};

BreakRows& Breaks() {
  static BreakRows breaks;
  return breaks;
}

BreakRows& BreaksFor(const db::Kvn533Emo& shift, const char* day) {
  BreakRows& b = Breaks();
  if (b.Holds(shift, day)) return b;
  b = BreakRows();
  CopyText(b.emo, TextOf(shift.EmoEmo));
  CopyText(b.ttp, TextOf(shift.EmoTtp));
  CopyText(b.day, std::string_view(day, strnlen(day, 8)));
  db::EmoPmsRow brk{};
  db::Pms_Emo_Open(b.emo, b.ttp, b.day);
  while (db::Pms_Emo_Read(&brk) == 0) {
    // The cursor joins the breaks through every shift of the model: a break
    // model shared by several shifts brings each of its rows several times.
    bool seen = false;
    for (const auto& r : b.rows) seen = seen || std::strncmp(r.PmsNum, brk.PmsNum, sizeof r.PmsNum) == 0;
    if (!seen) b.rows.push_back(brk);
  }
  db::Pms_Emo_Close();
  b.loaded = true;
  return b;
}

}  // namespace

void ForgetBreaks() { Breaks() = BreakRows(); }

std::int32_t BreakSecondsBetween(const db::Kvn533Emo& shift, const char* from, const char* to,
                                 const char* day) {
  const bool passesMidnight = shift.EmoBeg >= shift.EmoEnd;
  BreakRows& breaks = BreaksFor(shift, day);
  const char* dayText = breaks.day;
  const Stamp f = JoinStamp(std::string_view(from, strnlen(from, 14)), {});
  const Stamp t = JoinStamp(std::string_view(to, strnlen(to, 14)), {});

  std::int64_t sum = 0;
  for (const db::EmoPmsRow& brk : breaks.rows) {
    const bool overMidnight = brk.PmsEnd < brk.PmsBeg;
    const char* beginDay = nullptr;
    if (!passesMidnight) {
      beginDay = dayText;
    } else {
      // The placement rules of a shift over midnight; a later one overrides.
      if (brk.PmsBeg < brk.PmsEnd && brk.PmsBeg >= shift.EmoBeg) beginDay = dayText;
      if (overMidnight) beginDay = dayText;
      if (brk.PmsBeg < shift.EmoEnd && brk.PmsBeg < shift.EmoBeg) beginDay = breaks.Next();
      if (!beginDay) continue;  // no rule places it: left out
    }
    // A break over midnight ends on the day after its begin day.
    const char* endDay = beginDay;
    if (overMidnight) endDay = beginDay == dayText ? breaks.Next() : breaks.AfterNext();

    char begTime[7], endTime[7];
    MinToTime(brk.PmsBeg, begTime);
    MinToTime(brk.PmsEnd, endTime);
    const Stamp bb = JoinStamp(std::string_view(beginDay, strnlen(beginDay, 8)), TextOf(begTime));
    const Stamp be = JoinStamp(std::string_view(endDay, strnlen(endDay, 8)), TextOf(endTime));

    if (Compare(f, bb) < 0) {
      if (Compare(t, be) > 0) {
        std::int64_t minutes = overMidnight ? std::int64_t{brk.PmsEnd} + 1440 - brk.PmsBeg
                                            : std::int64_t{brk.PmsEnd} - brk.PmsBeg;
        sum += minutes * 60;
      } else if (Compare(t, bb) > 0) {
        sum += TimeDiffSec(t.data(), bb.data());
      }
    } else if (Compare(f, be) < 0) {
      if (Compare(t, be) > 0)
        sum += TimeDiffSec(be.data(), f.data());
      else if (Compare(t, bb) > 0)
        sum += TimeDiffSec(t.data(), f.data());
    }
  }
  return Clamp32(sum);
}

}  // namespace pelvaro
