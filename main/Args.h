// The command line of the batch program: five positional arguments (user,
// kind, workplace, begin date, end date), cut to their buffers, and the run
// mode they select.
#pragma once

namespace pelvaro {

// The report a refused command line asks for, as its log entry carries it.
struct ArgsRefusal {
  const char* funktion = nullptr;
  const char* message = nullptr;
  int errorCode = 0;
};

struct RunArgs {
  char user[51] = {};      // first 8 characters of argument 1
  char kind[4] = {};       // first 3 characters of argument 2
  char workplace[11] = {}; // first 10 characters of argument 3
  char beginDate[9] = {};  // first 8 characters of argument 4 (modes A, G, X)
  char endDate[9] = {};    // first 8 characters of argument 5 (modes A, G, X)
  char mode = '\0';        // 'A', 'G', 'X' or 'M'; '\0' when refused
  bool refused = false;
  ArgsRefusal refusal;     // set when refused
};

// Takes the arguments and chooses the run mode:
//   workplace "0000000000": user "QUORVELT" gives X, any other user M;
//   any other workplace: kind "APL" gives A, any other kind G.
// Refusals, checked in this order:
//   fewer than three arguments, or mode A, G or X without arguments 4 and 5:
//     "Main()", "Mindestanzahl Parameter unterschritten", number of words;
//   a begin date that is "00000000" or no calendar date (modes A, G, X):
//     "Main()", "Unzulaessiges Beginndatum", -1;
//   an end date that is neither "00000000" nor a calendar date (A, G, X):
//     "Main()", "Unzulaessiges Endedatum", -1.
// Mode M reads no dates. Touches neither the database nor the log.
RunArgs ReadRunArgs(int argc, const char* const* argv);

}  // namespace pelvaro
