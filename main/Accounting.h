// Accounting of the booking messages of one time window into the figures of
// an evaluation record: occupied, interrupted and break time.
#pragma once

#include <cstdint>

#include "db/DbMel.h"
#include "db/Dbstd.h"

namespace pelvaro {

// A span of seconds in minutes.seconds form: 90 seconds are 1.30.
double MinSec(std::int64_t seconds);

// A gap or closing window: the record's begin and end bound the window; the
// two counts carry the workplace's state from window to window.
void AccountIntervals(db::Kvn590Nza* rec, std::int32_t& running, std::int32_t& interrupted);

// A shift window, with the part of every span that falls into the breaks of
// the shift model.
void AccountShiftTime(db::Kvn590Nza* rec, const db::Kvn533Emo& shift, std::int32_t& running,
                      std::int32_t& interrupted);

// Seconds of the span from `from` to `to` (timestamps) that lie within the
// breaks of the shift's model and day type on `day`.
std::int32_t BreakSecondsBetween(const db::Kvn533Emo& shift, const char* from, const char* to,
                                 const char* day);

// Break rows are read once per shift model, day type and day and kept; the
// shift evaluation forgets them at every shift-model row, so that each row
// reads the breaks as they stand.
void ForgetBreaks();

}  // namespace pelvaro
