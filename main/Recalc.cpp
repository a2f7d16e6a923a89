#include "main/Recalc.h"

#include <string_view>

#include "db/DbMel.h"
#include "main/Evaluate.h"
#include "main/Report.h"
#include "util/DateTime.h"
#include "util/Text.h"

namespace pelvaro {

void RecalculateFromMarkers(char* today) {
  db::Kvn563Mrk marker{};
  db::Mrk_MrkKng_Open("LZM");
  int status;
  while ((status = db::Mrk_MrkKng_Read(&marker)) == 0) {
    char begin[9];
    CopyText(begin, std::string_view(marker.MrkMdt, strnlen(marker.MrkMdt, 8)));
    if (!IsCalendarDate(begin)) {
      // A marker without a real day would give the pass a span whose text
      // bounds delete records it never rebuilds: it is reported and kept.
      ReportFailure("RecalculateFromMarkers", "Unzulaessiges Markerdatum", -1);
      continue;
    }
    DateCalc(2, -1, begin, begin);
    EvaluateWorkplace(marker.MrkApl, begin, today);
    db::Mrk_PKeyDel(&marker);
  }
  if (status != 0 && status != 1403)
    ReportFailure("Mrk_MrkKng_Read", "Cursor-Read fehlgeschlagen ", status);
  db::Mrk_MrkKng_Close();
}

}  // namespace pelvaro
