// Helpers shared by the chengwen-cli commands: paths and texts from the command line.
#pragma once

#include <string>
#include <string_view>

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

// A UTF-8 text (a name, a path) made safe to print inside one line of output: nothing in
// it can end the line or forge another. Tab, CR and LF show as \t, \r and \n; every
// other control character (C0, DEL, C1), U+2028 and U+2029, and every byte that is not
// part of valid UTF-8 shows as \xNN, one per byte; a backslash shows as \\, so that an
// escape can always be told from the same characters in a name. All else is itself.
std::string EscapeForLine(std::string_view utf8);
// PathForDisplay for one line: as it is when nothing in it needs an escape (a Windows
// path keeps its single backslashes), otherwise escaped throughout, backslashes too, so
// that its escapes cannot be read as separators.
std::string PathForLine(const std::string& path);
// TextForDisplay for one line, on the same terms: a caption, a name, a column of the
// result list.
std::string TextForLine(const std::string& text);

}  // namespace cw::cli
