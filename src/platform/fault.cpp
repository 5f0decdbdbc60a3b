// Fault injection: tests make the nth call of a kind fail as a full disk or a denied
// write would, without touching the disk.
#include <vector>

#include "platform/backend.h"

namespace cw::platform {
namespace {

struct PendingFailure {
  Operation operation;
  int callsLeft;  // this many calls of the kind, counting the one that fails
  Status status;
};

std::vector<PendingFailure>& Pending() {
  static std::vector<PendingFailure> pending;
  return pending;
}

}  // namespace

void InjectFailure(Operation operation, int nth, Status status) {
  if (nth < 1 || status == Status::Ok) return;
  Pending().push_back({operation, nth, status});
}

void ClearInjectedFailures() { Pending().clear(); }

namespace detail {

bool TakeInjectedFailure(Operation operation, const char* call, const std::string& path,
                         Status* status) {
  // Every pending injection of this kind counts the call, so several can wait at once;
  // when two fall due together, the one injected first decides.
  std::vector<PendingFailure>& pending = Pending();
  bool failed = false;
  for (auto it = pending.begin(); it != pending.end();) {
    if (it->operation == operation && --it->callsLeft == 0) {
      if (!failed) *status = it->status;
      failed = true;
      it = pending.erase(it);
    } else {
      ++it;
    }
  }
  if (failed) LogInjectedFailure(call, path, *status);
  return failed;
}

}  // namespace detail
}  // namespace cw::platform
