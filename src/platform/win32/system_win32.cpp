// Win32 backend: the table of system calls, UTF-16 paths, error mapping, the program's
// folder and MessageBoxW.
#include <windows.h>

#include <cstring>
#include <string>
#include <string_view>

#include "encoding/charset.h"
#include "platform/backend.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/win32_util.h"

namespace cw::platform {
namespace win32 {
namespace {

// Whether a full path may take the "\\?\" form as it is: that form is not normalised,
// so "." and ".." components and forward slashes would no longer mean what they say.
bool IsPlainFullPath(const std::wstring& path) {
  const bool drive = path.size() >= 3 && path[1] == L':' && path[2] == L'\\';
  const bool unc = path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.';
  if (!drive && !unc) return false;
  if (path.find(L'/') != std::wstring::npos) return false;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    const std::wstring_view part(path.data() + start, end - start);
    if (part == L"." || part == L"..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

bool ToWidePath(const std::string& path, std::wstring* wide) {
  if (!detail::IsRepresentablePath(path)) return false;
  *wide = WorkingToWide(path);
  // Past MAX_PATH (248 for a folder) the W functions need the "\\?\" form, which lifts
  // the limit to about 32,767 characters.
  constexpr size_t kShortLimit = 240;
  if (wide->size() >= kShortLimit && IsPlainFullPath(*wide)) {
    if ((*wide)[1] == L':') {
      wide->insert(0, L"\\\\?\\");
    } else {
      wide->replace(0, 2, L"\\\\?\\UNC\\");
    }
  }
  return true;
}

std::string FromWide(const wchar_t* wide) { return WideToWorking(wide); }

Status StatusFromWin32(unsigned long error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_NO_MORE_FILES:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return Status::NotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return Status::AccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return Status::SharingViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return Status::DiskFull;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return Status::AlreadyExists;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return Status::TooLarge;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE: return Status::InvalidPath;
    default: return Status::Other;
  }
}

BOOL WINAPI SetFileInformationByHandleWhereAvailable(HANDLE file, int infoClass, LPVOID info, DWORD size) {
  using Function = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
  // Looked up once; the answer never changes while the process lives.
  static const Function real = [] {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC found = kernel ? GetProcAddress(kernel, "SetFileInformationByHandle") : nullptr;
    Function function = nullptr;
    static_assert(sizeof function == sizeof found, "function pointers of one size");
    std::memcpy(&function, &found, sizeof function);
    return function;
  }();
  if (!real) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  return real(file, infoClass, info, size);
}

SystemCalls& Sys() {
  static SystemCalls calls;
  return calls;
}

}  // namespace win32

std::string ProgramFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    buffer.resize(buffer.size() * 2);  // cut short: try again with room to spare
  }
  const size_t slash = buffer.rfind(L'\\');
  if (slash != std::wstring::npos) buffer.resize(slash);
  return win32::FromWide(buffer.c_str());
}

namespace detail {

long LastSystemError() { return static_cast<long>(GetLastError()); }

void SetSystemError(long code) { SetLastError(static_cast<DWORD>(code)); }

Status StatusFromSystemError(long code) { return win32::StatusFromWin32(static_cast<unsigned long>(code)); }

// What an injected status reports, in the order of Status.
const long kSystemErrorOf[kStatusCount] = {ERROR_SUCCESS,           ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
                                           ERROR_SHARING_VIOLATION, ERROR_DISK_FULL,      ERROR_FILE_EXISTS,
                                           ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_NAME,   ERROR_GEN_FAILURE};

void LoadSystemCalls() { win32::Sys(); }

int ShowSystemMessage(const std::string& text, const std::string& caption, uint32_t flags) {
  return MessageBoxW(nullptr, WorkingToWide(text).c_str(), WorkingToWide(caption).c_str(), flags);
}

}  // namespace detail
}  // namespace cw::platform
