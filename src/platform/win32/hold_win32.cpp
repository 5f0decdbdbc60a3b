// Keeping other programs from writing an original while it is converted (Windows).
//
// A handle that shares reading and deleting but no writing makes every writer's open
// fail as "in use". The replace must then be made while the handle is still held, and
// only a rename with POSIX semantics can replace a file that is open (the handle shares
// deleting): Windows 10 1809 and later on NTFS. Elsewhere (older systems, FAT, Wine) the
// hold would have to go just before the replace, and a writer retrying against it
// would get in exactly there; so a file is held only on a volume where such a rename
// has been seen to work.
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>

#include "platform/win32/system_calls.h"
#include "platform/win32/win32_util.h"

namespace cw::platform {
namespace {

using win32::Sys;

std::atomic<bool> anyVolumeKnown{false};
std::atomic<bool> assumeEveryVolume{false};
std::mutex volumesMutex;
std::set<DWORD>& VolumesThatReplaceHeldFiles() {
  static std::set<DWORD> volumes;
  return volumes;
}

bool ReplacesHeldFiles(HANDLE handle) {
  if (assumeEveryVolume) return true;
  BY_HANDLE_FILE_INFORMATION information;
  if (!Sys().GetFileInformationByHandle(handle, &information)) return false;
  const std::lock_guard<std::mutex> lock(volumesMutex);
  return VolumesThatReplaceHeldFiles().count(information.dwVolumeSerialNumber) != 0;
}

class Win32WriteBlock final : public WriteBlock {
 public:
  explicit Win32WriteBlock(HANDLE handle) : handle_(handle) {}
  ~Win32WriteBlock() override { Release(); }
  Win32WriteBlock(const Win32WriteBlock&) = delete;
  Win32WriteBlock& operator=(const Win32WriteBlock&) = delete;
  void Release() override {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    Sys().CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

}  // namespace

namespace win32 {

void NoteReplacedWithPosixSemantics(void* handle) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!Sys().GetFileInformationByHandle(handle, &information)) return;
  const std::lock_guard<std::mutex> lock(volumesMutex);
  VolumesThatReplaceHeldFiles().insert(information.dwVolumeSerialNumber);
  anyVolumeKnown = true;
}

}  // namespace win32

void AssumeHeldFilesCanBeReplaced(bool assume) { assumeEveryVolume = assume; }

std::unique_ptr<WriteBlock> BlockWriters(const std::string& path) {
  if (!anyVolumeKnown && !assumeEveryVolume) return nullptr;  // Wine, older systems: no cost at all
  std::wstring wide;
  if (!win32::ToWidePath(path, &wide)) return nullptr;
  // Read access, so that the handle counts in the checks of sharing (one with attribute
  // access only would not); not logged: a file in use stays convertible as before.
  HANDLE handle = Sys().CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  auto block = std::make_unique<Win32WriteBlock>(handle);
  if (!ReplacesHeldFiles(handle)) return nullptr;
  return block;
}

}  // namespace cw::platform
