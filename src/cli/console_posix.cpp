// The command line and the terminal on POSIX: arguments and names are UTF-8 bytes already.
#include <unistd.h>

#include "cli/console.h"

namespace cw::cli {

SavedConsole PrepareConsole() { return {}; }

void RestoreConsole(const SavedConsole&) {}

std::vector<std::string> CommandLineArgs(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void Out(std::string_view utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stdout); }

void Err(std::string_view utf8) { std::fwrite(utf8.data(), 1, utf8.size(), stderr); }

bool OutputRedraws() { return isatty(STDOUT_FILENO) != 0; }

std::FILE* OpenFileArg(const std::string& utf8Path, const char* mode) { return std::fopen(utf8Path.c_str(), mode); }

}  // namespace cw::cli
