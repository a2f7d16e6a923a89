// Failure reports of the batch driver and the evaluation: one FMSG entry of
// the message log each.
#pragma once

namespace pelvaro {

void ReportFailure(const char* funktion, const char* message, int errorCode);

}  // namespace pelvaro
