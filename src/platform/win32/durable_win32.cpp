// Win32 backend: flushing a folder, and the locks that say a run is alive.
#include <windows.h>

#include <string>

#include "platform/backend.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/win32_util.h"

namespace cw::platform {
namespace {

using win32::PublicCall;
using win32::Sys;

// The lock is the open itself: a file opened with no sharing, which nobody else can
// open until the handle is closed, as the system does when the process ends.
class Win32RunLock final : public RunLock {
 public:
  Win32RunLock(HANDLE handle, std::wstring wide, std::string id)
      : handle_(handle), wide_(std::move(wide)), id_(std::move(id)) {}
  ~Win32RunLock() override {
    Sys().CloseHandle(handle_);
    Sys().DeleteFileW(wide_.c_str());
  }
  Win32RunLock(const Win32RunLock&) = delete;
  Win32RunLock& operator=(const Win32RunLock&) = delete;
  const std::string& Id() const override { return id_; }

 private:
  HANDLE handle_;
  std::wstring wide_;
  std::string id_;
};

}  // namespace

// A volume handle that may be flushed needs administrator's rights: each file is
// flushed by itself instead.
Status FlushVolume(const std::string&) { return Status::Other; }

Status FlushFolder(const std::string& path) {
  // Checked like every path, though there is nothing to flush: NTFS logs a rename with
  // the file's own metadata, and FlushFileBuffers needs a handle that may write.
  const PublicCall call(Operation::Flush, "FlushFileBuffers", path);
  if (call.status() != Status::Ok) return call.status();
  const DWORD attributes = Sys().GetFileAttributesW(call.Path().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return call.Fail("GetFileAttributesW");
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return detail::LogFailure("FlushFileBuffers", path, Status::NotFound, ERROR_DIRECTORY);
  }
  return Status::Ok;
}

std::string DefaultRunLockFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  std::wstring folder = length > 0 && length <= MAX_PATH ? std::wstring(buffer, length) : std::wstring(L"C:\\");
  if (folder.back() != L'\\') folder += L'\\';
  return win32::FromWide((folder + L"chengwen-runs").c_str());
}

Status AcquireRunLock(const std::string& folder, std::unique_ptr<RunLock>* lock) {
  lock->reset();
  const Status made = CreateFolder(folder);
  if (made != Status::Ok && made != Status::AlreadyExists) return made;
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string id = detail::MakeRunId(GetCurrentProcessId(), attempt);
    const PublicCall call(Operation::Write, "CreateFileW", detail::RunLockPath(folder, id));
    if (call.status() != Status::Ok) return call.status();
    HANDLE handle =
        Sys().CreateFileW(call.Path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) continue;
    if (handle == INVALID_HANDLE_VALUE) return call.Fail("CreateFileW");
    *lock = std::make_unique<Win32RunLock>(handle, call.Path(), id);
    return Status::Ok;
  }
  return detail::LogFailure("CreateFileW", folder, Status::AlreadyExists, ERROR_FILE_EXISTS);
}

RunState QueryRun(const std::string& folder, const std::string& id) {
  std::wstring wide;
  if (!detail::IsRunId(id) || !win32::ToWidePath(detail::RunLockPath(folder, id), &wide)) return RunState::Unknown;
  HANDLE probe = Sys().CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    Sys().CloseHandle(probe);
    return RunState::Ended;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION ? RunState::Alive : RunState::Unknown;
}

}  // namespace cw::platform
