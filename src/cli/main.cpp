// chengwen-cli: a command-line driver of the conversion engine, for scripts, benchmarks
// and black-box tests. The Windows program itself takes no arguments.
#include <cstdio>
#include <cstring>

#include "cli/command.h"

namespace cw::cli {

std::vector<Command>& MutableCommands() {
  static std::vector<Command> commands;
  return commands;
}

bool RegisterCommand(const Command& command) {
  MutableCommands().push_back(command);
  return true;
}

const std::vector<Command>& Commands() { return MutableCommands(); }

static void PrintUsage(FILE* out) {
  std::fprintf(out, "usage: chengwen-cli COMMAND [ARGS...]\n\ncommands:\n");
  for (const Command& c : Commands()) std::fprintf(out, "  %s\n", c.usage);
}

}  // namespace cw::cli

int main(int argc, char** argv) {
  using namespace cw::cli;
  if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  for (const Command& c : Commands()) {
    if (std::strcmp(argv[1], c.name) == 0) return c.run(Args(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "chengwen-cli: unknown command '%s'\n", argv[1]);
  PrintUsage(stderr);
  return 2;
}
