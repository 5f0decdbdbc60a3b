// The sub-commands of chengwen-cli register themselves here, one file each.
#pragma once

#include <string>
#include <vector>

namespace cw::cli {

// Arguments after the sub-command's name, as given (UTF-8 on the command line).
using Args = std::vector<std::string>;
// Returns the process exit status.
using CommandFunction = int (*)(const Args& args);

struct Command {
  const char* name;
  const char* usage;  // one line, shown by "chengwen-cli help"
  CommandFunction run;
};

// Called from a static object in each command's file.
bool RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

}  // namespace cw::cli

#define CW_CLI_COMMAND(id, name, usage, fn) \
  static const bool kRegistered_##id = ::cw::cli::RegisterCommand({name, usage, fn})
