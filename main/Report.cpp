#include "main/Report.h"

#include "util/MsgLog.h"

namespace pelvaro {

void ReportFailure(const char* funktion, const char* message, int errorCode) {
  LogEntry entry{};
  entry.Funktion = funktion;
  entry.Message = message;
  entry.MsgArt = FMSG;
  entry.ErrorCode = errorCode;
  MsgWrite(&entry);
}

}  // namespace pelvaro
