// Fault injection at the system-call seam: tests make a system call fail (the nth one,
// once or from then on) or make the nth public call of a kind fail as the system would
// fail it, so the backend's own error handling runs either way. The first injection puts
// this file's hooks and wrappers in place (the shipped program never calls in here, so
// its calls go straight to the system); ClearInjectedFailures takes the wrappers away.
#include <atomic>
#include <mutex>
#include <vector>

#include "base/check.h"
#include "platform/backend.h"
#include "platform/faulty_call.h"

namespace cw::platform {
namespace {

struct PendingFailure {
  Operation operation;
  int callsLeft;  // this many calls of the kind, counting the one that fails
  Status status;
};

struct SystemFault {
  std::string call;
  long code;
  int skip;   // calls of that name let through first
  int times;  // calls that fail then; kEveryCall: all of them
};

// The operation a public call under way was made to fail, and with which error.
struct ArmedFailure {
  Operation operation;
  long code;
};

// What tests inject is shared by every thread (a parallel batch meets it on any of them)
// and kept under the mutex; while nothing is injected, `injected` spares every system
// call the lock. What a public call under way has armed, and whether a fault fired in
// it, belong to the thread making the call.
struct Faults {
  std::mutex mutex;
  std::atomic<bool> injected{false};
  std::vector<PendingFailure> pending;
  std::vector<SystemFault> system;
  bool diverted = false;  // the wrappers stand in front of the table's entries
};

Faults& TheFaults() {
  static Faults faults;
  return faults;
}

thread_local std::vector<ArmedFailure> armed;  // innermost public call last
// Set when a fault fires, so that the failure it causes is logged as injected; a public
// call starting or ending forgets a fault the backend took in its stride.
thread_local bool faultFired = false;

// The system calls whose failure is the failure of an operation, where InjectFailure
// strikes: the open of a read or a write, the write of an in-place change, the move
// (on Windows first the rename through the handle), the delete (which on POSIX looks at
// the file first), the flush. Each backend finds its own
// names; none is the other's.
bool FailsOperation(Operation operation, std::string_view call) {
  static const struct {
    Operation operation;
    const char* win32;
    const char* posix;
  } kCalls[] = {
      {Operation::Read, "CreateFileW", "open"},          {Operation::Write, "CreateFileW", "open"},
      {Operation::Open, "CreateFileW", "open"},          {Operation::Delete, "DeleteFileW", "unlink"},
      {Operation::Delete, "DeleteFileW", "lstat"},       {Operation::CreateFolder, "CreateDirectoryW", "mkdir"},
      {Operation::Move, "ReplaceFileW", "rename"},       {Operation::Move, "MoveFileExW", "renameat2"},
      {Operation::Move, "MoveFileExW", "link"},          {Operation::Move, "CreateHardLinkW", "link"},
      {Operation::Find, "FindFirstFileW", "opendir"},    {Operation::WriteAt, "WriteFile", "pwrite"},
      {Operation::WriteAt, "SetEndOfFile", "ftruncate"}, {Operation::Move, "SetFileInformationByHandle", "rename"},
      {Operation::Flush, "FlushFileBuffers", "fsync"},
  };
  for (const auto& row : kCalls) {
    if (row.operation == operation && (call == row.win32 || call == row.posix)) return true;
  }
  return false;
}

bool TakeFiredFault() {
  const bool fired = faultFired;
  faultFired = false;
  return fired;
}

bool EnterCall(Operation operation) {
  faultFired = false;
  Faults& faults = TheFaults();
  if (!faults.injected) return false;
  // Every pending injection of this kind counts the call, so several can wait at once;
  // when two fall due together, the one injected first decides.
  const std::lock_guard<std::mutex> lock(faults.mutex);
  std::vector<PendingFailure>& pending = faults.pending;
  Status status = Status::Ok;
  for (auto it = pending.begin(); it != pending.end();) {
    if (it->operation == operation && --it->callsLeft == 0) {
      if (status == Status::Ok) status = it->status;
      it = pending.erase(it);
    } else {
      ++it;
    }
  }
  if (status == Status::Ok) return false;
  armed.push_back({operation, detail::SystemErrorFor(status)});
  return true;
}

void LeaveCall(bool armedHere) {
  if (armedHere) armed.pop_back();
  faultFired = false;
}

bool IsSystemCall(std::string_view name) {
  for (const detail::SystemCallEntry* entry : detail::SystemCallEntries()) {
    if (name == entry->Name()) return true;
  }
  return false;
}

// Called with the lock held, before the first fault can fire. The hooks stay once put
// in place: a public call under way on another thread still leaves through them.
void StartInjecting(Faults& faults) {
  faults.injected = true;
  detail::FaultHooks& hooks = detail::TheFaultHooks();
  hooks.enter = &EnterCall;
  hooks.leave = &LeaveCall;
  hooks.takeFired = &TakeFiredFault;
  if (faults.diverted) return;
  detail::DivertSystemCalls();
  // An entry the backend's list left out would never fail when told to.
  for (const detail::SystemCallEntry* entry : detail::SystemCallEntries()) CW_CHECK(entry->IsDiverted());
  faults.diverted = true;
}

}  // namespace

namespace detail {

bool TakeSystemFault(std::string_view call, long* code) {
  if (!armed.empty() && FailsOperation(armed.back().operation, call)) {
    *code = armed.back().code;
    faultFired = true;
    return true;
  }
  Faults& faults = TheFaults();
  if (!faults.injected) return false;
  const std::lock_guard<std::mutex> lock(faults.mutex);
  // Every fault waiting for this call counts it; of those due, the one injected first
  // fires and the others wait for the next call.
  bool fired = false;
  for (auto it = faults.system.begin(); it != faults.system.end();) {
    if (it->skip > 0 && it->call == call) {
      --it->skip;
      ++it;
    } else if (it->call != call || fired) {
      ++it;
    } else {
      fired = true;
      *code = it->code;
      it = (it->times != kEveryCall && --it->times == 0) ? faults.system.erase(it) : it + 1;
    }
  }
  faultFired = faultFired || fired;
  return fired;
}

}  // namespace detail

void InjectFailure(Operation operation, int nth, Status status) {
  if (nth < 1 || status == Status::Ok) return;
  Faults& faults = TheFaults();
  const std::lock_guard<std::mutex> lock(faults.mutex);
  faults.pending.push_back({operation, nth, status});
  StartInjecting(faults);
}

bool InjectSystemError(const std::string& call, long code, int nth, int times) {
  if (nth < 1 || (times < 1 && times != kEveryCall) || !IsSystemCall(call)) return false;
  Faults& faults = TheFaults();
  const std::lock_guard<std::mutex> lock(faults.mutex);
  faults.system.push_back({call, code, nth - 1, times});
  StartInjecting(faults);
  return true;
}

void ClearInjectedFailures() {
  Faults& faults = TheFaults();
  const std::lock_guard<std::mutex> lock(faults.mutex);
  faults.pending.clear();
  faults.system.clear();
  faults.injected = false;
  for (detail::SystemCallEntry* entry : detail::SystemCallEntries()) entry->Restore();
  faults.diverted = false;
}

}  // namespace cw::platform
