// chengwen-cli: a command-line driver of the conversion engine, for scripts, benchmarks
// and black-box tests. The Windows program itself takes no arguments.
#include <string>

#include "cli/command.h"
#include "cli/console.h"

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

namespace {

std::string Usage() {
  std::string usage = "usage: chengwen-cli COMMAND [ARGS...]\n\ncommands:\n";
  for (const Command& c : Commands()) usage += std::string("  ") + c.usage + "\n";
  return usage;
}

int Run(const Args& args) {
  if (args.empty()) {
    Err(Usage());
    return 2;
  }
  if (args[0] == "help" || args[0] == "--help") {
    Out(Usage());
    return 0;
  }
  for (const Command& c : Commands()) {
    if (args[0] == c.name) return c.run(Args(args.begin() + 1, args.end()));
  }
  Err("chengwen-cli: unknown command '" + args[0] + "'\n" + Usage());
  return 2;
}

}  // namespace
}  // namespace cw::cli

int main(int argc, char** argv) {
  const cw::cli::SavedConsole saved = cw::cli::PrepareConsole();
  const int status = cw::cli::Run(cw::cli::CommandLineArgs(argc, argv));
  cw::cli::RestoreConsole(saved);
  return status;
}
