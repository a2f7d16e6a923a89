// The batch program: five positional arguments, exit status always 0.
#include "main/Driver.h"

int main(int argc, char** argv) {
  pelvaro::RunBatch(argc, argv);
  return 0;
}
