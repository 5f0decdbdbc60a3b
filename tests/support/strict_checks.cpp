// In the test programs a failed CW_CHECK stops the program with the condition and its
// place, where the shipped program would fall back silently.
#include <cstdio>
#include <cstdlib>

#include "base/check.h"

namespace {

void StopAtFailedCheck(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: CW_CHECK failed: %s\n", file, line, condition);
  std::fflush(stderr);
  std::abort();
}

[[maybe_unused]] const bool installed = (cw::SetCheckHandler(&StopAtFailedCheck), true);

}  // namespace
