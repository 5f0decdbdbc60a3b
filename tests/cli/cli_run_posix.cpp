// chengwen-cli started through the shell.
#include <sys/wait.h>

#include <cstdio>

#include "cli/cli_run.h"
#include "support/temp_dir.h"

namespace cw::test {

CliRun RunCli(const std::string& arguments, const std::string& stdinPath, const std::string& folder) {
  std::string command = std::string("'") + CW_CLI_PATH + "' " + arguments + " <'" +
                        (stdinPath.empty() ? std::string("/dev/null") : stdinPath) + "' 2>/dev/null";
  if (!folder.empty()) command = "cd '" + Shown(folder) + "' && " + command;
  CliRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) run.out.append(buffer, n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

std::string Shown(const std::string& path) { return ToFsPath(path).string(); }

}  // namespace cw::test
