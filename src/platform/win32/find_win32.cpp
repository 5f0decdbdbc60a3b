// Win32 backend: listing a folder with FindFirstFileW / FindNextFileW.
#include <windows.h>

#include "platform/backend.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/win32_util.h"

namespace cw::platform {

Status FindEntries(const std::string& pattern, std::vector<DirEntry>* entries) {
  entries->clear();
  const win32::PublicCall call(Operation::Find, "FindFirstFileW", pattern);
  if (call.status() != Status::Ok) return call.status();
  WIN32_FIND_DATAW data;
  HANDLE find = win32::Sys().FindFirstFileW(call.Path().c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return call.Fail("FindFirstFileW");
  do {
    // A name with a lone surrogate has no working-code-page form that leads back to it.
    std::string name = win32::FromWide(data.cFileName);
    std::wstring back;
    const bool representable = win32::ToWidePath(name, &back) && back == data.cFileName;
    entries->push_back({std::move(name), data.dwFileAttributes, representable});
  } while (win32::Sys().FindNextFileW(find, &data));
  const DWORD error = GetLastError();
  FindClose(find);
  // A listing cut short by anything but its end is reported, with what it found so far.
  if (error != ERROR_NO_MORE_FILES) {
    return detail::LogFailure("FindNextFileW", pattern, win32::StatusFromWin32(error), static_cast<long>(error));
  }
  return Status::Ok;
}

}  // namespace cw::platform
