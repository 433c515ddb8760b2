#include "app/program_end.h"

#include <cstdio>
#include <cstdlib>

void ProcessEnd::end(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  // No destructors: the stack may hold a tick suspended in a yield, whose windows and timers would
  // otherwise be torn down beneath it.
  std::_Exit(status);
}
