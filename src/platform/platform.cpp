// The parts of the platform layer that every backend shares: status names, the
// message-pump and message-box hooks, the error log and the path check.
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>
#include <utility>

#include "encoding/charset.h"
#include "platform/backend.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw::platform {
namespace {

// The program-wide hook record. The hooks are set by one thread, before any other
// starts; failures may be logged by the threads of a parallel batch at once.
struct Hooks {
  std::function<void()> pump;
  std::thread::id pumpThread;  // the thread that set the pump: the window's
  std::function<void(uint64_t, uint64_t)> fileProgress;
  std::function<int(const std::string&, const std::string&, uint32_t)> messageBox;
  std::function<void(const std::string&)> errorLog;
  std::string lastError;
  std::mutex logMutex;  // guards lastError and the calls of errorLog
};

Hooks& TheHooks() {
  static Hooks hooks;
  return hooks;
}

// Each thread's own: the files of a parallel batch fail on their own threads.
thread_local Status threadFailure = Status::Ok;

}  // namespace

const char* StatusName(Status status) {
  switch (status) {
    case Status::Ok: return "Ok";
    case Status::NotFound: return "NotFound";
    case Status::AccessDenied: return "AccessDenied";
    case Status::SharingViolation: return "SharingViolation";
    case Status::DiskFull: return "DiskFull";
    case Status::AlreadyExists: return "AlreadyExists";
    case Status::TooLarge: return "TooLarge";
    case Status::InvalidPath: return "InvalidPath";
    case Status::Other: return "Other";
  }
  return "Other";
}

bool Exists(const std::string& path) { return GetAttributes(path) != kInvalidAttributes; }

void PumpMessages() {
  // Only the window's thread has messages to pump; the other threads of a parallel
  // batch go on with their files.
  if (std::this_thread::get_id() != TheHooks().pumpThread) return;
  // A copy, so that a hook that replaces itself while it runs is not destroyed mid-call.
  const std::function<void()> pump = TheHooks().pump;
  if (pump) pump();
}

void SetPumpHook(std::function<void()> hook) {
  TheHooks().pump = std::move(hook);
  TheHooks().pumpThread = std::this_thread::get_id();
}

void ReportFileProgress(uint64_t done, uint64_t total) {
  const auto progress = TheHooks().fileProgress;
  if (progress) progress(done, total);
}

std::function<void(uint64_t, uint64_t)> SetFileProgressHook(std::function<void(uint64_t, uint64_t)> hook) {
  std::swap(TheHooks().fileProgress, hook);
  return hook;
}

int ShowMessage(const std::string& text, const std::string& caption, uint32_t flags) {
  const auto messageBox = TheHooks().messageBox;
  if (messageBox) return messageBox(text, caption, flags);
  return detail::ShowSystemMessage(text, caption, flags);
}

void SetMessageBoxHook(std::function<int(const std::string&, const std::string&, uint32_t)> hook) {
  TheHooks().messageBox = std::move(hook);
}

std::string LastError() {
  Hooks& hooks = TheHooks();
  const std::lock_guard<std::mutex> lock(hooks.logMutex);
  return hooks.lastError;
}

void SetErrorLogHook(std::function<void(const std::string&)> hook) { TheHooks().errorLog = std::move(hook); }

Status ThreadFailure() { return threadFailure; }

void ForgetThreadFailure() { threadFailure = Status::Ok; }

namespace detail {

static void Log(std::string line) {
  Hooks& hooks = TheHooks();
  const std::lock_guard<std::mutex> lock(hooks.logMutex);
  hooks.lastError = std::move(line);
  const auto errorLog = hooks.errorLog;
  if (errorLog) errorLog(hooks.lastError);
}

Status LogFailure(const char* call, const std::string& path, Status status, long systemCode) {
  threadFailure = status;
  // Asks the fault code, when a test has put it in place, whether this failure was one
  // it caused.
  const char* injected = TheFaultHooks().takeFired.load(std::memory_order_relaxed)() ? ", injected" : "";
  Log(std::string(call) + " " + path + ": " + StatusName(status) + " (system error " + std::to_string(systemCode) +
      injected + ")");
  return status;
}

Status Fail(const char* call, const std::string& path) {
  const long code = LastSystemError();
  return LogFailure(call, path, StatusFromSystemError(code), code);
}

Status FailInvalidPath(const char* call, const std::string& path) {
  return LogFailure(call, path, Status::InvalidPath, SystemErrorFor(Status::InvalidPath));
}

bool IsRepresentablePath(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  return PlainWorkingToUtf8(path) || Utf16ToWorking(WorkingToUtf16(path)) == path;
}

Status BytesToReadAt(uint64_t size, uint64_t offset, size_t count, const std::string& path, size_t* wanted) {
  const uint64_t available = size > offset ? size - offset : 0;
  const uint64_t bytes = count < available ? count : available;
  if (bytes > kMaxWholeFileSize) return LogFailure("ReadAt", path, Status::TooLarge, 0);
  *wanted = static_cast<size_t>(bytes);
  return Status::Ok;
}

std::string MakeRunId(uint64_t processId, unsigned attempt) {
  // Each part alone could repeat (a clock of coarse steps, a random device that some
  // old runtimes make deterministic, process ids reused); mixed, they do not together.
  uint64_t mixed = static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  mixed ^= static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) * 0x9E3779B97F4A7C15u;
  mixed ^= (processId << 32) ^ (processId >> 32) ^ (static_cast<uint64_t>(attempt) * 0xC2B2AE3D27D4EB4Fu);
  std::random_device device;
  mixed ^= (static_cast<uint64_t>(device()) << 32) | device();
  // A final mixing step (splitmix64), so that close inputs give unrelated names.
  mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9u;
  mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBu;
  mixed ^= mixed >> 31;
  char id[17];
  std::snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(mixed));
  return id;
}

std::string RunLockPath(const std::string& folder, const std::string& id) {
  // A folder given with its trailing backslash keeps just that one (the split steps over
  // two-byte characters, whose second byte may be 5C).
  const text::PathParts parts = text::SplitAtLastBackslash(folder);
  const bool endsWithBackslash = parts.hasBackslash && parts.name.empty();
  return folder + (endsWithBackslash ? "" : "\\") + id + ".lock";
}

bool IsRunId(const std::string& id) {
  if (id.size() != 16) return false;
  for (const char c : id) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace detail
Status WriteNewFile(const std::string& path, std::string_view bytes) {
  std::unique_ptr<NewFile> file;
  Status status = CreateNewFile(path, &file);
  if (status != Status::Ok) return status;
  status = file->Write(bytes);
  if (status == Status::Ok) status = file->Close();
  if (status != Status::Ok) file->Abandon();
  return status;
}

}  // namespace cw::platform
