// The workplace evaluation pass and the shift evaluation pass: the evaluation
// records of one workplace over a span of days.
#pragma once

#include <cstdint>

#include "db/Dbstd.h"

namespace pelvaro {

// Rebuilds the records of workplace `apl` from `begin` to `end` (date
// buffers of 9 bytes, both changed: the end is cut to today, the begin is
// advanced past the end).
void EvaluateWorkplace(const char* apl, char* begin, char* end);

// Adds the order positions running and interrupted at 00:00 of `day`.
void CountOpenPositions(const char* apl, const char* day, std::int32_t& running,
                        std::int32_t& interrupted);

// The shifts of one shift-model row of a day, with the gaps before them.
void EvaluateShiftModel(const db::AemDayRow& row, std::int32_t& running, std::int32_t& interrupted);

// The time from the end of the last shift up to 23:59:59 of the last day.
void WriteClosingRecord(const db::AemDayRow& row, std::int32_t& running, std::int32_t& interrupted);

}  // namespace pelvaro
