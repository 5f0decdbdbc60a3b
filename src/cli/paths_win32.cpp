// Command-line paths on Windows: native already. The system makes them whole: a relative
// path is taken from the current folder (of its drive, for "D:name"), "/" is a separator
// as "\" is, and "." and ".." are resolved.
#include <windows.h>

#include "cli/cli_util.h"
#include "encoding/charset.h"

namespace cw::cli {

std::string PathFromArg(const std::string& arg) {
  const std::wstring wide = WorkingToWide(FromUtf8(arg));
  std::wstring full(MAX_PATH, L'\0');
  DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
  if (length >= full.size()) {
    // A long path: the size asked for counts the terminating zero.
    full.assign(length, L'\0');
    length = GetFullPathNameW(wide.c_str(), length, &full[0], nullptr);
  }
  // An empty argument, or one the system cannot make a path of: the engine says why.
  if (length == 0 || length >= full.size()) return FromUtf8(arg);
  full.resize(length);
  return WideToWorking(full);
}

std::string PathForDisplay(const std::string& path) { return ToUtf8(path); }

}  // namespace cw::cli
