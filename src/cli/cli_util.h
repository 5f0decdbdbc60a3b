// Helpers shared by the chengwen-cli commands: paths and texts from the command line.
#pragma once

#include <string>

namespace cw::cli {

// A path from the command line (UTF-8, relative or absolute) as the engine's whole
// working-code-page path with backslashes. On POSIX "/" is the root "Z:\" (as under
// Wine); on Windows an argument may be "C:\...", "\\server\share\..." or relative, with
// "/" or "\" between its names.
std::string PathFromArg(const std::string& arg);

// A working-code-page path back in the form the system's users write it, as UTF-8:
// "/" separators on POSIX, the Windows path itself on Windows.
std::string PathForDisplay(const std::string& path);

// UTF-8 from the command line to working-code-page text, and back for printing.
std::string TextFromArg(const std::string& arg);
std::string TextForDisplay(const std::string& text);

}  // namespace cw::cli
