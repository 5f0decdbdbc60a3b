// What the common platform code and the two backends share: the system-call seam and
// the hooks that fault injection is installed through, the sequence every public call
// starts with, the error log, reads and writes in steps, and each backend's own message
// box.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace cw::platform::detail {

// ---- Supplied by each backend ------------------------------------------------------

// The error the latest failed system call left (GetLastError, errno), and setting it
// as a failing call would.
long LastSystemError();
void SetSystemError(long code);
Status StatusFromSystemError(long code);
// A system error that maps back to each status, in the order of Status: what an
// injected failure reports.
constexpr size_t kStatusCount = static_cast<size_t>(Status::Other) + 1;
extern const long kSystemErrorOf[kStatusCount];
// Builds the backend's table of system calls (each entry registers itself).
void LoadSystemCalls();
// Puts the fault code's wrapper in front of every entry of the table (faulty_call.h).
void DivertSystemCalls();
// The message box shown when no hook is installed.
int ShowSystemMessage(const std::string& text, const std::string& caption, uint32_t flags);

// ---- The system-call seam ----------------------------------------------------------

// kSystemErrorOf[status].
long SystemErrorFor(Status status);

// An entry of the backend's table; each registers itself when the table is built, so
// that the calls can be found by name and put back after a test.
class SystemCallEntry {
 public:
  explicit SystemCallEntry(const char* name);
  virtual ~SystemCallEntry() = default;
  SystemCallEntry(const SystemCallEntry&) = delete;
  SystemCallEntry& operator=(const SystemCallEntry&) = delete;
  const char* Name() const { return name_; }
  // Whether the calls go through the fault code's wrapper now.
  virtual bool IsDiverted() const = 0;
  // The real call back, in place of a test's stand-in and of the wrapper.
  virtual void Restore() = 0;

 private:
  const char* name_;
};
// Every entry of the backend's table, in the order they were built.
const std::vector<SystemCallEntry*>& SystemCallEntries();

// One system call as the backend makes it: straight to the function in place, which is
// the real one unless a test put a stand-in there or injected faults. Faults live
// outside the table: the fault code diverts the entry to a wrapper of the same type
// that fails the call when a fault is due (`Failed()`, with the error set) and passes it
// on to the stand-in (or the real call) otherwise. So the shipped program's calls test
// nothing on the way. The pointers are atomic because a parallel batch makes the calls
// on several threads while a test may change them from its own.
template <typename Function, typename Result>
class SystemCall : public SystemCallEntry {
 public:
  using FunctionType = Function;

  SystemCall(const char* name, Function real, Result failed)
      : SystemCallEntry(name), real_(real), standIn_(real), current_(real), failed_(failed) {}
  template <typename... Args>
  Result operator()(Args... args) const {
    return current_.load(std::memory_order_relaxed)(args...);
  }
  // A test's stand-in; nullptr (or Restore) brings the real call back. Faults injected
  // meanwhile still come first.
  void Replace(Function function) {
    standIn_.store(function ? function : real_, std::memory_order_relaxed);
    Route();
  }
  Function Real() const { return real_; }
  // What a call reaches now: the real call, a stand-in or the fault code's wrapper.
  Function Current() const { return current_.load(std::memory_order_relaxed); }
  // What a call that no fault stops reaches: the stand-in or the real call.
  Function StandIn() const { return standIn_.load(std::memory_order_relaxed); }
  Result Failed() const { return failed_; }
  // The fault code's wrapper in front of the stand-in; nullptr takes it away.
  void Divert(Function wrapper) {
    wrapper_ = wrapper;
    Route();
  }
  bool IsDiverted() const override { return wrapper_ != nullptr; }
  void Restore() override {
    standIn_.store(real_, std::memory_order_relaxed);
    wrapper_ = nullptr;
    Route();
  }

 private:
  void Route() { current_.store(wrapper_ ? wrapper_ : StandIn(), std::memory_order_relaxed); }

  Function real_;
  std::atomic<Function> standIn_;
  std::atomic<Function> current_;
  Function wrapper_ = nullptr;
  Result failed_;
};

// What a public call does for fault injection, and whether the failure being logged was
// injected: no-ops until a test injects its first failure and the fault code puts its
// own in their place, so that the shipped program consults no fault state.
struct FaultHooks {
  // A public call of the kind begins; true when it armed an injected failure.
  std::atomic<bool (*)(Operation)> enter;
  // It ends (`armed`: what enter answered).
  std::atomic<void (*)(bool armed)> leave;
  // Whether a fault fired since the last question (or since the public call began).
  std::atomic<bool (*)()> takeFired;
};
FaultHooks& TheFaultHooks();

// ---- The error log -----------------------------------------------------------------

// Logs the failure of `call` on `path` and returns `status`, so that backends can
// write `return LogFailure(...)`. A failure a test injected says so.
Status LogFailure(const char* call, const std::string& path, Status status, long systemCode);
// Logs the failure of `call` with the latest system error and returns its status.
Status Fail(const char* call, const std::string& path);
// Logs a path no system call could be given.
Status FailInvalidPath(const char* call, const std::string& path);

// A path may reach the system only when it is not empty, holds no zero byte (the
// system would stop reading there and name another file) and survives the conversion
// to Unicode and back (a broken byte sequence would turn into U+FFFD).
bool IsRepresentablePath(const std::string& path);

// ---- What every public call does first ---------------------------------------------

// Counts the call for InjectFailure (through the fault hooks); when an injection falls
// due, the calls that fail the operation fail with the injected status's system error
// for as long as the public call lasts, so the backend's own error handling meets it.
class CallScope {
 public:
  explicit CallScope(Operation operation) : armed_(TheFaultHooks().enter.load(std::memory_order_relaxed)(operation)) {}
  ~CallScope() { TheFaultHooks().leave.load(std::memory_order_relaxed)(armed_); }
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  const bool armed_;
};

// A public call on one path (or two, for a move: the log then names "from -> to"):
// the fault hook, then each path checked and put in the system's form by the backend's
// `ToSystem` (which also gives long paths the form that lifts the length limit). A
// refused path is logged against `call`, the system call it never reached.
template <typename SystemPath, bool (*ToSystem)(const std::string&, SystemPath*)>
class PublicCall : public CallScope {
 public:
  PublicCall(Operation operation, const char* call, const std::string& path) : CallScope(operation), subject_(path) {
    Convert(call, {&path});
  }
  PublicCall(Operation operation, const char* call, const std::string& from, const std::string& to)
      : CallScope(operation), subject_(from + " -> " + to) {
    Convert(call, {&from, &to});
  }
  // Ok, or InvalidPath (logged) when a path cannot reach the system.
  Status status() const { return status_; }
  const SystemPath& Path(size_t index = 0) const { return paths_[index]; }
  SystemPath& MutablePath(size_t index = 0) { return paths_[index]; }
  // The path (or "from -> to") as the log names it.
  const std::string& Subject() const { return subject_; }
  Status Fail(const char* call) const { return detail::Fail(call, subject_); }

 private:
  void Convert(const char* call, std::initializer_list<const std::string*> paths) {
    size_t index = 0;
    for (const std::string* path : paths) {
      if (!ToSystem(*path, &paths_[index++])) {
        status_ = FailInvalidPath(call, subject_);
        return;
      }
    }
  }

  std::string subject_;
  SystemPath paths_[2];
  Status status_ = Status::Ok;
};

// ---- Reads and writes in steps -----------------------------------------------------

// Whole-file reads and writes go in steps and pump window messages between them
// (`pump`), so the window answers while a very large file goes to or from the disk.
constexpr size_t kPumpStep = 4u << 20;

// Reads up to `count` bytes: `read(buffer, size, done)` reads at most `size` bytes that
// lie `done` bytes in and returns how many (0 at the end: the file shrank meanwhile), or
// a negative number with the system error set. The bytes pass through a small buffer
// that stays in the cache: cheaper than zero-filling the whole result first and then
// reading into memory touched for the first time.
template <typename ReadStep>
Status ReadInSteps(size_t count, const char* call, const std::string& path, bool pump, ReadStep read,
                   std::string* bytes) {
  std::string data;
  try {
    data.reserve(count);
  } catch (const std::bad_alloc&) {
    return LogFailure(call, path, Status::TooLarge, SystemErrorFor(Status::TooLarge));
  }
  // No bigger than the read: most files are small, and a block this size, taken and
  // given back for each, made the allocator grow and shrink its heap file after file.
  const size_t stepSize = count < 256 * 1024 ? count : 256 * 1024;
  const std::unique_ptr<char[]> step(new char[stepSize]);
  size_t done = 0;
  size_t sincePump = 0;
  while (done < count) {
    const auto n = read(step.get(), count - done < stepSize ? count - done : stepSize, done);
    if (n < 0) return Fail(call, path);
    if (n == 0) break;
    data.append(step.get(), static_cast<size_t>(n));
    done += static_cast<size_t>(n);
    sincePump += static_cast<size_t>(n);
    if (pump && sincePump >= kPumpStep && done < count) {
      PumpMessages();
      sincePump = 0;
    }
  }
  *bytes = std::move(data);
  return Status::Ok;
}

// Writes every byte: `write(data, size, done)` writes at most `size` bytes (never more
// than kPumpStep at once) and returns how many, or a negative number with the system
// error set. A write that takes nothing is a full disk, not a reason to try forever.
template <typename WriteStep>
Status WriteInSteps(std::string_view bytes, const char* call, const std::string& path, bool pump, WriteStep write) {
  size_t done = 0;
  while (done < bytes.size()) {
    const size_t wanted = bytes.size() - done < kPumpStep ? bytes.size() - done : kPumpStep;
    const auto n = write(bytes.data() + done, wanted, done);
    if (n < 0) return Fail(call, path);
    if (n == 0) return LogFailure(call, path, Status::DiskFull, SystemErrorFor(Status::DiskFull));
    done += static_cast<size_t>(n);
    if (pump && done < bytes.size()) PumpMessages();
  }
  return Status::Ok;
}

// How much of a ReadAt of `count` bytes from `offset` a file of `size` bytes holds;
// TooLarge (logged) when that is more than a whole-file read may hold either.
Status BytesToReadAt(uint64_t size, uint64_t offset, size_t count, const std::string& path, size_t* wanted);

// The new file of either backend: Write counts as an in-place change for fault
// injection, Close keeps the file, Abandon (or destruction without Close) closes and
// removes it. `Ops` supplies the backend's types (Handle, SystemPath) and its system
// steps, as static functions: AppendAt (append at an offset, which Win32 may ignore,
// writing on from where it stopped), Close, Remove, Identify, Flush, StartFlush, and
// Place, which gives the open file its final name (replacing or not, and keeping the
// replaced file under a second name when `kept` is given) and says whether it had to
// close the file for it.
template <typename Ops>
class SystemNewFile final : public NewFile {
 public:
  using Handle = typename Ops::Handle;
  using SystemPath = typename Ops::SystemPath;

  SystemNewFile(Handle handle, SystemPath native, std::string path)
      : handle_(handle), native_(std::move(native)), path_(std::move(path)) {}
  ~SystemNewFile() override { Abandon(); }
  SystemNewFile(const SystemNewFile&) = delete;
  SystemNewFile& operator=(const SystemNewFile&) = delete;

  Status Write(std::string_view bytes) override {
    const CallScope scope(Operation::WriteAt);
    if (!open_) return LogFailure("write", path_, Status::Other, 0);
    const Status status = Ops::AppendAt(handle_, offset_, bytes, path_);
    if (status == Status::Ok) offset_ += bytes.size();
    return status;
  }
  Status Close() override {
    if (!open_) return Status::Ok;
    open_ = false;
    const Status status = Ops::Close(handle_, path_);
    if (status != Status::Ok) {
      RemoveOnce();
      return status;
    }
    kept_ = true;
    return Status::Ok;
  }
  void Abandon() override {
    if (open_) {
      open_ = false;
      Ops::Close(handle_, path_);
    }
    if (!kept_) RemoveOnce();
  }
  Status Identify(FileInfo* info) override {
    if (!open_) return LogFailure("identify", path_, Status::Other, 0);
    return Ops::Identify(handle_, info, path_);
  }
  Status Flush() override {
    const CallScope scope(Operation::Flush);
    if (!open_) return LogFailure("flush", path_, Status::Other, 0);
    return Ops::Flush(handle_, path_);
  }
  void StartFlush() override {
    if (open_) Ops::StartFlush(handle_);
  }
  Status ReplaceInto(const std::string& path) override { return Place(path, true, nullptr); }
  Status MoveInto(const std::string& path) override { return Place(path, false, nullptr); }
  Status ReplaceKeeping(const std::string& path, const std::string& kept) override { return Place(path, true, &kept); }

 private:
  Status Place(const std::string& to, bool replace, const std::string* kept) {
    if (!open_) return LogFailure("rename", path_ + " -> " + to, Status::Other, 0);
    bool closed = false;
    const Status status = Ops::Place(handle_, native_, path_, to, replace, kept, &closed);
    if (closed) open_ = false;
    if (status != Status::Ok) return status;
    // The file has its final name now: nothing may remove it under its old one, where
    // another file may stand by now.
    kept_ = true;
    removed_ = true;
    if (open_) {
      open_ = false;
      // Logged should it fail, but the file has its name: reporting the move as failed
      // would have the caller treat the old file as still in place.
      Ops::Close(handle_, to);
    }
    return Status::Ok;
  }
  void RemoveOnce() {
    if (removed_) return;
    Ops::Remove(native_);
    removed_ = true;
  }

  Handle handle_;
  SystemPath native_;
  std::string path_;
  uint64_t offset_ = 0;
  bool open_ = true;
  bool kept_ = false;
  bool removed_ = false;
};

// ---- The journal of an in-place rewrite -------------------------------------------------

// What "<temporary>.jnl" says of the rewrite of `target` with the bytes of <temporary>,
// whose old bytes lie in "<temporary>.old" (see IsKeptAsideName). Names are in the
// working code page: a name alone is one in the journal's folder, anything else a path.
struct RewriteJournal {
  std::string target;
  std::string kept;  // the second name of the old bytes (ReplaceKeeping), or empty
  uint64_t oldSize = 0;
  uint64_t newSize = 0;
  uint64_t volume = 0;  // what the target is (FileInfo::SameFileAs)
  uint64_t index = 0;
};
constexpr std::string_view kAsideSuffix = ".old";
constexpr std::string_view kJournalSuffix = ".jnl";
// The journal's bytes, with a checksum at the end: a journal torn at any byte (a kill or
// a power cut while it was written) decodes to nothing.
std::string EncodeRewriteJournal(const RewriteJournal& journal);
bool DecodeRewriteJournal(std::string_view stored, RewriteJournal* journal);
// How a journal beside `temporary` names `path`: its name alone when both lie in one
// folder, else the whole path.
std::string JournalName(const std::string& temporary, const std::string& path);

// ---- Run identity ---------------------------------------------------------------------

// A fresh run identity: 16 lower-case hex digits from the clock, the process, the
// system's randomness and `attempt` (a retry after a name clash takes another).
std::string MakeRunId(uint64_t processId, unsigned attempt);
// folder + separator + id + ".lock", the separator being the path's own.
std::string RunLockPath(const std::string& folder, const std::string& id);
// Whether `id` has the form MakeRunId gives (so it can name no other file).
bool IsRunId(const std::string& id);

}  // namespace cw::platform::detail
