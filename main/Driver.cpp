#include "main/Driver.h"

namespace pelvaro {

void RunBatch(int /*argc*/, char** /*argv*/) {}

}  // namespace pelvaro
