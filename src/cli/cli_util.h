// Helpers shared by the chengwen-cli commands: paths and texts from the command line.
#pragma once

#include <string>

namespace cw::cli {

// A path from the command line (UTF-8, relative or absolute, "/" separators) as the
// engine's working-code-page path ("Z:\..." with backslashes).
std::string PathFromArg(const std::string& arg);

// A working-code-page path back in the form the user typed (UTF-8, "/" separators).
std::string PathForDisplay(const std::string& path);

// UTF-8 from the command line to working-code-page text, and back for printing.
std::string TextFromArg(const std::string& arg);
std::string TextForDisplay(const std::string& text);

}  // namespace cw::cli
