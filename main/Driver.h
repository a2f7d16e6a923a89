// The batch driver: one whole run from the command line.
#pragma once

namespace pelvaro {

// Runs the batch program for the given command line. Reports go to the message
// log only; nothing is printed.
void RunBatch(int argc, char** argv);

}  // namespace pelvaro
