#include "main/Evaluate.h"

#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "db/DbMel.h"
#include "main/Accounting.h"
#include "main/PassState.h"
#include "main/Report.h"
#include "util/DateTime.h"
#include "util/Text.h"

namespace pelvaro {
namespace {

constexpr double kOneSecond = 0.01;  // one second in minutes.seconds form
constexpr const char* kGapShiftModel = "LMO00.00";

bool Same(const char* a, const char* b, std::size_t n) { return std::strncmp(a, b, n) == 0; }

// Two rows of the day's shift-model cursor that agree in every field.
bool SameRow(const db::AemDayRow& a, const db::AemDayRow& b) {
#define PELVARO_SAME_TEXT(f) Same(a.f, b.f, sizeof a.f)
#define PELVARO_SAME_NUM(f) (a.f == b.f)
  return PELVARO_SAME_NUM(AemKng) && PELVARO_SAME_TEXT(AemApg) && PELVARO_SAME_TEXT(AemEmo) &&
         PELVARO_SAME_TEXT(AemGvo) && PELVARO_SAME_TEXT(AemBez) && PELVARO_SAME_TEXT(AemTxt) &&
         PELVARO_SAME_TEXT(AemKal) && PELVARO_SAME_NUM(AemLkz) && PELVARO_SAME_NUM(AemVzt) &&
         PELVARO_SAME_NUM(AemEzt) && PELVARO_SAME_NUM(AemPrz) && PELVARO_SAME_NUM(AemAfz) &&
         PELVARO_SAME_NUM(AemApz) && PELVARO_SAME_NUM(AemPrp) && PELVARO_SAME_NUM(AemAfp) &&
         PELVARO_SAME_NUM(AemApp) && PELVARO_SAME_TEXT(KalBtp) && PELVARO_SAME_NUM(BakJhr) &&
         PELVARO_SAME_NUM(BakMon) && PELVARO_SAME_NUM(BakWch) && PELVARO_SAME_NUM(BakWtg) &&
         PELVARO_SAME_NUM(BakJtg) && PELVARO_SAME_TEXT(KalDtm) && PELVARO_SAME_NUM(AemMaz);
#undef PELVARO_SAME_TEXT
#undef PELVARO_SAME_NUM
}

// "00:0000:00" with the hours and minutes of the window's begin and end.
void WindowText(db::Kvn590Nza* rec) {
  char text[11] = "00:0000:00";
  auto put = [&](std::size_t at, const char* time, std::size_t from) {
    for (std::size_t k = 0; k < 2; ++k) {
      if (from + k < 6 && time[from + k] != '\0') {
        text[at + k] = time[from + k];
      } else {
        break;
      }
    }
  };
  if (strnlen(rec->NzaDtmTime, 7) >= 4) {
    put(0, rec->NzaDtmTime, 0);
    put(3, rec->NzaDtmTime, 2);
  }
  if (strnlen(rec->NzaEdtTime, 7) >= 4) {
    put(5, rec->NzaEdtTime, 0);
    put(8, rec->NzaEdtTime, 2);
  }
  CopyText(rec->NzaPnr, std::string_view(text, 10));
}

// Gap and closing windows: accounted, then written from one second of
// occupied time on.
void FinishGapRecord(db::Kvn590Nza* rec, std::int32_t& running, std::int32_t& interrupted,
                     const char* funktion, const char* message) {
  CopyText(rec->NzaEmo, kGapShiftModel);
  WindowText(rec);
  AccountIntervals(rec, running, interrupted);
  rec->NzaIst = rec->NzaBzA;
  rec->NzaSol = 0;
  rec->NzaPau = 0;
  if (rec->NzaBzA >= kOneSecond) {
    int status = db::Nza_PKeyIns(rec);
    if (status != 0) ReportFailure(funktion, message, status);
  }
}

std::int32_t ShiftMinutes(const db::Kvn533Emo& s) {
  return s.EmoEnd > s.EmoBeg ? s.EmoEnd - s.EmoBeg : s.EmoEnd + 1440 - s.EmoBeg;
}

// The break minutes of every shift of the model and day type on the day: the
// same for each shift of one shift-model row, so read once per row.
std::int32_t BreakMinutes(const db::AemDayRow& row, const db::Kvn533Emo& s,
                          std::optional<std::int32_t>* once) {
  if (!once->has_value()) {
    db::EmoPmsRow pause{};
    CopyText(pause.EmoEmo, TextOf(s.EmoEmo));
    CopyText(pause.EmoTtp, TextOf(s.EmoTtp));
    pause.PmsPse = 0;
    db::Pms_SumPause(&pause, row.KalDtm);
    *once = pause.PmsPse;
  }
  return **once;
}

// The shift record up to its break minutes, before accounting.
void BuildShiftRecord(const db::AemDayRow& row, const db::Kvn533Emo& s,
                      std::optional<std::int32_t>* breakMinutes, db::Kvn590Nza* a) {
  InitResultRecord(a);
  a->NzaWtg = row.BakWtg;
  a->NzaWoc = row.BakWch;
  a->NzaJtg = row.BakJtg;
  CopyText(a->NzaTtp, TextOf(row.KalBtp));
  CopyText(a->NzaErf, "PELVAR");
  CopyText(a->NzaDtmDay, TextOf(row.KalDtm));
  MinToTime(s.EmoBeg, a->NzaDtmTime);
  if (s.EmoBeg < s.EmoEnd)
    CopyText(a->NzaEdtDay, TextOf(row.KalDtm));
  else
    DateCalc(2, 1, row.KalDtm, a->NzaEdtDay);
  MinToTime(s.EmoEnd, a->NzaEdtTime);
  CopyText(a->NzaPnr, TextOf(s.EmoTxt));
  CopyText(a->NzaEmo, TextOf(s.EmoEmo));

  a->NzaSol = ShiftMinutes(s);
  a->NzaPau = BreakMinutes(row, s, breakMinutes);
}

}  // namespace

void CountOpenPositions(const char* apl, const char* day, std::int32_t& running,
                        std::int32_t& interrupted) {
  db::Kvn565Map map{};
  db::Map_Apl_Open(apl);
  while (db::Map_Apl_Read(&map) == 0) {
    if (std::strcmp(map.MapObj, "M_A") == 0) {
      running += 1;
      if (std::strcmp(map.Map00U, "1") == 0) interrupted += 1;
    }
  }
  db::Map_Apl_Close();

  // Walking back, newest first, undoes every message since the start of the day.
  db::Kvn560Mel mel{};
  db::Mel_AplDesc_Open(apl, day);
  while (db::Mel_AplDesc_Read(&mel) == 0) {
    const char* m = mel.MelMsk;
    if (!std::strcmp(m, "AB") || !std::strcmp(m, "RB")) {
      running = running > 0 ? running - 1 : 0;
    } else if (!std::strcmp(m, "AT") || !std::strcmp(m, "AE") || !std::strcmp(m, "RE")) {
      running += 1;
    } else if (!std::strcmp(m, "AU")) {
      interrupted = interrupted > 0 ? interrupted - 1 : 0;
    } else if (!std::strcmp(m, "AW")) {
      interrupted += 1;
    }
  }
  db::Mel_AplDesc_Close();
}

void EvaluateShiftModel(const db::AemDayRow& row, std::int32_t& running, std::int32_t& interrupted) {
  ForgetBreaks();
  db::Kvn533Emo shift{};
  db::Emo_PKeyOpen(row.AemEmo, row.KalBtp);
  int status = db::Emo_PKeyRead(&shift);
  if (status == 0 && gPass.FirstShift) {
    MinToTime(shift.EmoBeg, gPass.LastTime);
    gPass.FirstShift = 0;
  }
  db::Kvn590Nza a, gap;
  std::optional<std::int32_t> breakMinutes;
  while (status == 0) {
    BuildShiftRecord(row, shift, &breakMinutes, &a);
    if (std::strcmp(gPass.LastTime, a.NzaDtmTime) != 0 ||
        std::strcmp(gPass.LastDate, a.NzaDtmDay) != 0) {
      gap = a;
      CopyText(gap.NzaDtmDay, TextOf(gPass.LastDate));
      CopyText(gap.NzaDtmTime, TextOf(gPass.LastTime));
      CopyText(gap.NzaEdtDay, TextOf(a.NzaDtmDay));
      CopyText(gap.NzaEdtTime, TextOf(a.NzaDtmTime));
      FinishGapRecord(&gap, running, interrupted, "Nza_PKeyIns", "Nza_PKeyIns(Dummy-Satz)");
    }
    AccountShiftTime(&a, shift, running, interrupted);
    a.NzaIst = a.NzaBzA;
    CopyText(gPass.LastDate, TextOf(a.NzaEdtDay));
    CopyText(gPass.LastTime, TextOf(a.NzaEdtTime));
    if (shift.EmoArt == 2) a.NzaSol = 0;
    int ins = db::Nza_PKeyIns(&a);
    if (ins != 0) ReportFailure("Nza_PKeyIns()", "Nza_PKeyIns", ins);
    status = db::Emo_PKeyRead(&shift);
  }
  db::Emo_PKeyClose();
}

void WriteClosingRecord(const db::AemDayRow& row, std::int32_t& running, std::int32_t& interrupted) {
  db::Kvn590Nza k;
  InitResultRecord(&k);
  CopyText(k.NzaDtmDay, TextOf(gPass.LastDate));
  CopyText(k.NzaDtmTime, TextOf(gPass.LastTime));
  CopyText(k.NzaEdtDay, TextOf(row.KalDtm));
  CopyText(k.NzaEdtTime, "235959");
  FinishGapRecord(&k, running, interrupted, "Nza_PKeyIns", "Nza_PKeyIns(NZA-Dummy-Abschluss)");
}

void EvaluateWorkplace(const char* apl, char* begin, char* end) {
  TakeEvaluationTime();
  if (std::strncmp(end, gPass.EvalTime, 8) > 0) CopyText(end, 9, std::string_view(gPass.EvalTime, 8));

  CopyText(gPass.LastDate, std::string_view(begin, strnlen(begin, 8)));
  CopyText(gPass.LastTime, "000000");
  CopyText(gPass.PassWorkplace, std::string_view(apl, strnlen(apl, 10)));
  gPass.FirstShift = 1;

  db::AemDayRow row{};
  CopyText(row.AemApg, TextOf(gPass.PassWorkplace));
  row.AemKng = 2;

  db::Nza_Del_SA12(gPass.PassWorkplace, begin, end);

  std::int32_t running = 0, interrupted = 0;
  CountOpenPositions(gPass.PassWorkplace, begin, running, interrupted);

  std::int32_t own = 0;
  db::Aem_Count(gPass.PassWorkplace, &own);
  if (own == 0) {
    row.AemKng = 1;
    db::Kvn531Apl workplace{};
    CopyText(workplace.AplApl, TextOf(gPass.PassWorkplace));
    db::Apl_PKeySel(&workplace);
    CopyText(row.AemApg, TextOf(workplace.AplApg));
  }

  std::vector<db::AemDayRow> dayRows;
  while (std::strncmp(begin, end, 9) <= 0) {
    CopyText(row.KalDtm, std::string_view(begin, strnlen(begin, 8)));
    db::Aem_Apg_Open(&row);
    dayRows.clear();
    while (db::Aem_Apg_Read(&row) == 0) {
      // The cursor joins every shift of the model, so one assignment comes
      // once per shift; each distinct row is evaluated once.
      bool repeated = false;
      for (const auto& seen : dayRows) repeated = repeated || SameRow(seen, row);
      if (repeated) continue;
      dayRows.push_back(row);
      EvaluateShiftModel(row, running, interrupted);
    }
    db::Aem_Apg_Close();

    const bool lastDay = std::strncmp(begin, end, 9) == 0;
    if (lastDay) WriteClosingRecord(row, running, interrupted);

    int status = DateCalc(2, 1, begin, begin);
    if (status != 0) {
      // No calendar row for the next day: the pass must not repeat a day.
      // Days left unevaluated are reported; the span is complete when only
      // the day after the last one is missing.
      if (!lastDay)
        ReportFailure("EvaluateWorkplace", "Kein Folgetag im Betriebskalender", status);
      break;
    }
  }
}

}  // namespace pelvaro
