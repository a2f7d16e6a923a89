// What the parts of one workplace evaluation pass share, and the preset of
// every evaluation record.
#pragma once

#include <cstdint>

#include "db/DbMel.h"

namespace pelvaro {

struct PassState {
  char EvalTime[15] = {};       // local time at the start of the pass, yyyymmddHHMMSS
  char PassWorkplace[11] = {};  // workplace of the pass
  char LastDate[9] = {};        // end day of the latest shift record
  char LastTime[7] = {};        // end time of the latest shift record
  std::int32_t FirstShift = 0;  // 1 until the first shift row of the pass
};

// One instance for the program: only one pass runs at a time.
extern PassState gPass;

// Sets the evaluation time from the clock of the platform layer.
void TakeEvaluationTime();

// Presets every field of an evaluation record for the current pass.
void InitResultRecord(db::Kvn590Nza* rec);

}  // namespace pelvaro
