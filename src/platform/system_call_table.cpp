// What the shipped program keeps of the system-call seam: the list of the table's
// entries, and the fault hooks, which do nothing until a test's first injection puts
// the fault code's own in their place (fault.cpp, which only tests link).
#include "platform/backend.h"

namespace cw::platform::detail {
namespace {

bool EnterPlainCall(Operation) { return false; }
void LeavePlainCall(bool) {}
bool NoFaultFired() { return false; }

std::vector<SystemCallEntry*>& Entries() {
  static std::vector<SystemCallEntry*> entries;
  return entries;
}

}  // namespace

SystemCallEntry::SystemCallEntry(const char* name) : name_(name) { Entries().push_back(this); }

const std::vector<SystemCallEntry*>& SystemCallEntries() {
  LoadSystemCalls();
  return Entries();
}

long SystemErrorFor(Status status) { return kSystemErrorOf[static_cast<size_t>(status)]; }

FaultHooks& TheFaultHooks() {
  // Constant: set up before any code runs, so a call needs no check that it was.
  static FaultHooks hooks{{&EnterPlainCall}, {&LeavePlainCall}, {&NoFaultFired}};
  return hooks;
}

}  // namespace cw::platform::detail
