// The local clock of the platform layer as the system's text forms.
#pragma once

#include "util/Env.h"

namespace pelvaro {

// yyyymmddHHMMSS of a local time.
void TimestampText(const LocalTime& t, char (&out)[15]);
// yyyymmdd of a local time.
void DateText(const LocalTime& t, char (&out)[9]);

}  // namespace pelvaro
