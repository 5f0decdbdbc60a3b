// Command-line paths on POSIX: the engine sees the file system as Wine does, "/" as "Z:\".
#include <filesystem>
#include <system_error>

#include "cli/cli_util.h"
#include "encoding/charset.h"

namespace cw::cli {

std::string PathFromArg(const std::string& arg) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(arg, ec);
  std::string utf8 = ec ? arg : absolute.lexically_normal().string();
  std::string working = FromUtf8(utf8);
  for (char& c : working) {
    if (c == '/') c = '\\';
  }
  return "Z:" + working;
}

std::string PathForDisplay(const std::string& path) {
  std::string shown = path;
  if (shown.size() >= 2 && (shown[0] == 'Z' || shown[0] == 'z') && shown[1] == ':') shown.erase(0, 2);
  // After the conversion, where no byte below 80 can be part of another character (the
  // 5C second byte of 淺 is not a backslash).
  std::string utf8 = ToUtf8(shown);
  for (char& c : utf8) {
    if (c == '\\') c = '/';
  }
  return utf8;
}

}  // namespace cw::cli
