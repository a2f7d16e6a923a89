#include "main/PassState.h"

#include <cstring>

#include "util/Clock.h"
#include "util/Env.h"
#include "util/Text.h"

namespace pelvaro {

PassState gPass;

void TakeEvaluationTime() {
  TimestampText(CurrentEnv()->Now(), gPass.EvalTime);
}

void InitResultRecord(db::Kvn590Nza* rec) {
  // All texts empty and all numbers 0 first, then the fields with a value.
  std::memset(rec, 0, sizeof *rec);
  rec->NzaSa = 12;
  CopyText(rec->NzaApl, TextOf(gPass.PassWorkplace));
  CopyText(rec->NzaApk, " ");
  CopyText(rec->NzaApp, " ");
  CopyText(rec->NzaPnr, " ");
  CopyText(rec->NzaDtmDay, "00000000");
  CopyText(rec->NzaDtmTime, "000000");
  CopyText(rec->NzaBmk, "SB");
  CopyText(rec->NzaEdtDay, "00000000");
  CopyText(rec->NzaEdtTime, "000000");
  CopyText(rec->NzaEmk, "SE");
}

}  // namespace pelvaro
