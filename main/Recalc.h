// Run mode M: re-evaluation of the workplaces named by recalculation markers.
#pragma once

namespace pelvaro {

// One pass per marker of kind "LZM", from the day before the marker's day up
// to `today` (yyyymmdd, 9 bytes); each marker is deleted after its pass.
void RecalculateFromMarkers(char* today);

}  // namespace pelvaro
