// CW_CHECK: a condition the code relies on but can survive without. The shipped program
// falls back and goes on (a user's batch never stops for it); the test programs install
// a handler that stops at once, so a fallback never hides a fault from a test.
#pragma once

namespace cw {

using CheckHandler = void (*)(const char* condition, const char* file, int line);
// Installs the handler a failed check calls; null restores the default, which does
// nothing.
void SetCheckHandler(CheckHandler handler);
void CheckFailed(const char* condition, const char* file, int line);

}  // namespace cw

#define CW_CHECK(condition) ((condition) ? static_cast<void>(0) : ::cw::CheckFailed(#condition, __FILE__, __LINE__))
