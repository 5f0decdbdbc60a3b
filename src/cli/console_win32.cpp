// The command line and the console on Windows. Arguments come from GetCommandLineW, as
// the main() of a console program gets them only in the ANSI code page (a name such as
// 繁體.txt would arrive as "??.txt" on a Western system). Text for a console goes in
// through WriteConsoleW: no code page to set (SetConsoleOutputCP would change it for the
// cmd.exe window after the program ends too) and correct on every Windows from XP on.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>

#include "cli/console.h"
#include "encoding/charset.h"

namespace cw::cli {
namespace {

// Windows 10's console understands "\x1b[K" once a program asks for it; older ones refuse
// the flag, and the batch then prints every caption on a line of its own.
constexpr DWORD kVirtualTerminal = 0x0004;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING

// The console behind a standard handle, or null when it goes to a file or a pipe.
HANDLE ConsoleOf(DWORD which, DWORD* mode) {
  HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, mode)) return nullptr;
  return handle;
}

void Write(std::FILE* stream, DWORD which, std::string_view utf8) {
  DWORD mode = 0;
  HANDLE console = ConsoleOf(which, &mode);
  if (!console) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    return;
  }
  // What went out through the C library first comes first on the screen.
  std::fflush(stream);
  const std::wstring wide = WorkingToWide(FromUtf8(utf8));
  // Older consoles take a limited amount in one call; pieces never split a surrogate pair.
  constexpr size_t kPiece = 8192;
  for (size_t at = 0; at < wide.size();) {
    size_t count = std::min(kPiece, wide.size() - at);
    if (at + count < wide.size() && wide[at + count - 1] >= 0xD800 && wide[at + count - 1] <= 0xDBFF) --count;
    DWORD written = 0;
    if (!WriteConsoleW(console, wide.data() + at, static_cast<DWORD>(count), &written, nullptr) || written == 0) return;
    at += written;
  }
}

}  // namespace

SavedConsole PrepareConsole() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SavedConsole saved;
  DWORD mode = 0;
  HANDLE console = ConsoleOf(STD_OUTPUT_HANDLE, &mode);
  if (console && !(mode & kVirtualTerminal) && SetConsoleMode(console, mode | kVirtualTerminal)) {
    saved.mode = mode;
    saved.restore = true;
  }
  return saved;
}

void RestoreConsole(const SavedConsole& saved) {
  std::fflush(stdout);
  DWORD mode = 0;
  HANDLE console = ConsoleOf(STD_OUTPUT_HANDLE, &mode);
  if (console && saved.restore) SetConsoleMode(console, saved.mode);
}

std::vector<std::string> CommandLineArgs(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(ToUtf8(WideToWorking(wide[i])));
  LocalFree(wide);
  return args;
}

void Out(std::string_view utf8) { Write(stdout, STD_OUTPUT_HANDLE, utf8); }

void Err(std::string_view utf8) { Write(stderr, STD_ERROR_HANDLE, utf8); }

bool OutputRedraws() {
  DWORD mode = 0;
  return ConsoleOf(STD_OUTPUT_HANDLE, &mode) && (mode & kVirtualTerminal);
}

std::FILE* OpenFileArg(const std::string& utf8Path, const char* mode) {
  return _wfopen(WorkingToWide(FromUtf8(utf8Path)).c_str(), WorkingToWide(mode).c_str());
}

}  // namespace cw::cli
