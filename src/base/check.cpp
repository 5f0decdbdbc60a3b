// The handler of failed checks.
#include "base/check.h"

#include <atomic>

namespace cw {
namespace {

std::atomic<CheckHandler> handler{nullptr};

}  // namespace

void SetCheckHandler(CheckHandler newHandler) { handler = newHandler; }

void CheckFailed(const char* condition, const char* file, int line) {
  if (const CheckHandler current = handler.load()) current(condition, file, line);
}

}  // namespace cw
