// Win32 backend: listing a folder with FindFirstFileW / FindNextFileW.
#include <windows.h>

#include <string>

#include "platform/backend.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/win32_util.h"

namespace cw::platform {
namespace {

// FindFirstFileW fails on a folder where nothing matches as it does on a missing file;
// only a folder that is there tells the two apart (a missing folder gives another error
// on most volumes, but not on every one).
bool IsFolderWithoutMatch(const std::wstring& pattern, DWORD error) {
  if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES) return false;
  const size_t slash = pattern.rfind(L'\\');
  if (slash == std::wstring::npos) return true;  // the current folder
  const DWORD attributes = win32::Sys().GetFileAttributesW(pattern.substr(0, slash + 1).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

Status FindEntries(const std::string& pattern, std::vector<DirEntry>* entries) {
  entries->clear();
  const win32::PublicCall call(Operation::Find, "FindFirstFileW", pattern);
  if (call.status() != Status::Ok) return call.status();
  WIN32_FIND_DATAW data;
  HANDLE find = win32::Sys().FindFirstFileW(call.Path().c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    if (IsFolderWithoutMatch(call.Path(), GetLastError())) return Status::Ok;
    return call.Fail("FindFirstFileW");
  }
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
