// What chengwen-cli needs from the system it runs on: its arguments as UTF-8, text out to
// a console or to a file, and files named on the command line. One backend per system
// (console_posix.cpp, console_win32.cpp), picked by the build.
//
// Output is UTF-8 text. Where standard output or error is a Windows console, the text
// goes to it as characters (WriteConsoleW), whatever the console's code page, which is
// left as it was; redirected to a file or a pipe, and everywhere on POSIX, it goes out as
// UTF-8 bytes with "\n" line ends, the same bytes on every system.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace cw::cli {

// What PrepareConsole changed in the console, for RestoreConsole to put back: the
// console's settings outlast the program (cmd.exe keeps them).
struct SavedConsole {
  unsigned long mode = 0;
  bool restore = false;
};

// Called first: binary standard streams on Windows (no "\n" becomes "\r\n", and
// transcode's bytes pass unchanged), and a console that redraws the batch's line.
SavedConsole PrepareConsole();
// Called last, with what PrepareConsole gave.
void RestoreConsole(const SavedConsole& saved);

// The program's arguments after its own name, as UTF-8. On Windows they are read from
// the system in UTF-16 (GetCommandLineW), so that names outside the ANSI code page arrive
// whole; `argv` is used only where the system hands arguments over as bytes.
std::vector<std::string> CommandLineArgs(int argc, char** argv);

// UTF-8 text to standard output or standard error.
void Out(std::string_view utf8);
void Err(std::string_view utf8);

// Whether standard output is a terminal where "\r" and "\x1b[K" redraw a line.
bool OutputRedraws();

// std::fopen of a path given as UTF-8.
std::FILE* OpenFileArg(const std::string& utf8Path, const char* mode);

}  // namespace cw::cli
