// What the common platform code and the two backends share: fault injection, the error
// log, the path check and each backend's own message box.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/platform.h"

namespace cw::platform::detail {

// True when a test asked this call to fail: *status is the requested failure, which is
// logged like a real one. The caller must then return before touching the disk.
bool TakeInjectedFailure(Operation operation, const char* call, const std::string& path,
                         Status* status);

// Logs the failure of `call` on `path` and returns `status`, so that backends can
// write `return LogFailure(...)`.
Status LogFailure(const char* call, const std::string& path, Status status, long systemCode);
void LogInjectedFailure(const char* call, const std::string& path, Status status);

// A path may reach the system only when it is not empty, holds no zero byte (the
// system would stop reading there and name another file) and survives the conversion
// to Unicode and back (a broken byte sequence would turn into U+FFFD).
bool IsRepresentablePath(const std::string& path);

// How much of a ReadAt of `count` bytes from `offset` a file of `size` bytes holds;
// TooLarge (logged) when that is more than a whole-file read may hold either.
Status BytesToReadAt(uint64_t size, uint64_t offset, size_t count, const std::string& path,
                     size_t* wanted);

// The bookkeeping both backends' new files share: Write checks for an injected failure
// and an open file, Close keeps the file, Abandon (or destruction without Close)
// closes and removes it. A backend supplies the three system steps.
class NewFileBase : public NewFile {
 public:
  explicit NewFileBase(std::string path) : path_(std::move(path)) {}
  Status Write(std::string_view bytes) final {
    Status status;
    if (TakeInjectedFailure(Operation::WriteAt, "NewFile::Write", path_, &status)) return status;
    if (!IsOpen()) return LogFailure("write", path_, Status::Other, 0);
    return Append(bytes);
  }
  Status Close() final {
    if (!IsOpen()) return Status::Ok;
    const Status status = CloseSystemFile();
    if (status != Status::Ok) {
      RemoveOnce();
      return status;
    }
    kept_ = true;
    return Status::Ok;
  }
  void Abandon() final {
    if (IsOpen()) CloseSystemFile();
    if (!kept_) RemoveOnce();
  }

 protected:
  const std::string& Path() const { return path_; }
  // Call from the backend's destructor: a file never closed is taken away.
  void AbandonUnlessKept() { Abandon(); }

 private:
  virtual bool IsOpen() const = 0;
  virtual Status Append(std::string_view bytes) = 0;
  virtual Status CloseSystemFile() = 0;  // closes the handle; the file stays
  virtual void RemoveSystemFile() = 0;
  void RemoveOnce() {
    if (removed_) return;
    RemoveSystemFile();
    removed_ = true;
  }

  std::string path_;
  bool kept_ = false;
  bool removed_ = false;
};

// The message box shown when no hook is installed; each backend has its own.
int ShowSystemMessage(const std::string& text, const std::string& caption, uint32_t flags);

}  // namespace cw::platform::detail
