#include "main/Driver.h"

#include <cstring>
#include <string_view>

#include "db/DbDb.h"
#include "db/DbMel.h"
#include "db/Dbstd.h"
#include "main/Args.h"
#include "main/Evaluate.h"
#include "main/Recalc.h"
#include "main/Report.h"
#include "util/Clock.h"
#include "util/DateTime.h"
#include "util/Env.h"
#include "util/MsgLog.h"
#include "util/Text.h"

namespace pelvaro {
namespace {

struct Span {
  char begin[9] = {};
  char end[9] = {};
  char markerDay[9] = {};
  char today[9] = {};
};

// The workplaces of a cursor (a group, or all), each over the same days.
template <typename Read>
int EvaluateEach(Read read, Span& span) {
  db::Kvn531Apl apl{};
  int status;
  while ((status = read(&apl)) == 0) {
    CopyText(span.begin, TextOf(span.markerDay));
    EvaluateWorkplace(apl.AplApl, span.begin, span.end);
    if (std::strcmp(span.end, span.today) >= 0) db::Mrk_Del_AplLzm(apl.AplApl, span.markerDay);
  }
  return status;
}

bool Failed(int status) { return status != 0 && status != 1403; }

// The parameter row of kind 4 valid today receives the run's stamp. False
// when it cannot be read: the run then ends at once.
bool Stamp(const char* user) {
  db::Kvn591Nzp nzp{};
  nzp.NzpAkz = 4;
  int status = db::Nzp_PKeyRead(&nzp);
  if (status != 0) {
    ReportFailure("Nzp_PKeyRead()", "Fehler bei ReadKey Kvn591Nzp", status);
    return false;
  }
  CopyText(nzp.NzpAus, std::string_view(user, strnlen(user, 8)));
  nzp.NzpAan = 0;
  status = db::Nzp_PKeyUpd(&nzp);
  if (status != 0) ReportFailure("Nzp_PKeyUpd()", "Fehler bei Update Kvn591Nzp", status);
  return true;
}

}  // namespace

void RunBatch(int argc, char** argv) {
  MsgInit(7, ".\\Msg\\Pelvaro.Txt");
  int status = db::dbConnect();
  if (status != 0) {
    ReportFailure("dbConnect", "Fehlerhafter Connect mit der DB ", status);
    return;
  }
  RunArgs args = ReadRunArgs(argc, argv);
  if (args.refused) {
    ReportFailure(args.refusal.funktion, args.refusal.message, args.refusal.errorCode);
    return;
  }

  Span span;
  DateText(CurrentEnv()->Now(), span.today);

  if (args.mode != 'M') {
    CopyText(span.begin, TextOf(args.beginDate));
    DateCalc(2, -1, span.begin, span.begin);
    CopyText(span.markerDay, TextOf(span.begin));
    CopyText(span.end, std::strcmp(args.endDate, "00000000") == 0 ? TextOf(span.today)
                                                                   : TextOf(args.endDate));
  }

  switch (args.mode) {
    case 'A':
      EvaluateWorkplace(args.workplace, span.begin, span.end);
      if (std::strcmp(span.end, span.today) >= 0) db::Mrk_Del_AplLzm(args.workplace, span.markerDay);
      break;
    case 'G': {
      db::Apl_Apg_Open(args.workplace);
      status = EvaluateEach(db::Apl_Apg_Read, span);
      db::Apl_Apg_Close();
      if (Failed(status)) ReportFailure("Apl_Apg_Read()", "Fehler Apl lesen", status);
      break;
    }
    case 'X': {
      db::Apl_PKeyOpen("0000000000", "9999999999");
      status = EvaluateEach(db::Apl_PKeyRead, span);
      db::Apl_PKeyClose();
      if (Failed(status)) ReportFailure("Apl_PKeyRead()", "Fehler Apl lesen", status);
      break;
    }
    default:
      RecalculateFromMarkers(span.today);
      break;
  }

  if (!Stamp(args.user)) return;
  db::dbDisconnect();
}

}  // namespace pelvaro
