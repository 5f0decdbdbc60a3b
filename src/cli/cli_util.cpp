// Command-line texts to and from the working code page. The paths, which differ between
// systems, are in paths_posix.cpp and paths_win32.cpp.
#include "cli/cli_util.h"

#include "encoding/charset.h"

namespace cw::cli {

std::string TextFromArg(const std::string& arg) { return FromUtf8(arg); }

std::string TextForDisplay(const std::string& text) { return ToUtf8(text); }

}  // namespace cw::cli
