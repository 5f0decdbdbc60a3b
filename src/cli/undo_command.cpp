// chengwen-cli undo: puts back the originals the latest overwrite run on a folder (and
// the folders under it) replaced, where their conversions are still as the run left them.
#include <string>

#include "cli/cli_util.h"
#include "cli/command.h"
#include "cli/console.h"
#include "convert/undo.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw::cli {
namespace {

constexpr const char* kUsage = "undo FOLDER";

int RunUndo(const Args& args) {
  if (args.size() != 1) {
    Err(std::string("usage: chengwen-cli ") + kUsage + "\n");
    return 2;
  }
  std::string folder = PathFromArg(args[0]);
  while (folder.size() > 3 && text::FindLast(folder, "\\") == folder.size() - 1) folder.pop_back();
  const uint32_t attributes = platform::GetAttributes(folder);
  if (attributes == platform::kInvalidAttributes || (attributes & platform::kAttrDirectory) == 0) {
    Err("chengwen-cli undo: " + EscapeForLine(args[0]) + ": not a folder\n");
    return 2;
  }
  const undo::Result result = undo::UndoFolder(folder, /*tree=*/true);
  for (const std::string& path : result.changed) {
    Out("changed since the run, left as it is (its original kept): " + PathForLine(path) + "\n");
  }
  for (const std::string& path : result.failed) Out("could not be put back: " + PathForLine(path) + "\n");
  Out("restored: " + std::to_string(result.restored) + ", changed since: " + std::to_string(result.changed.size()) +
      ", failed: " + std::to_string(result.failed.size()) + "\n");
  return result.changed.empty() && result.failed.empty() ? 0 : 1;
}

}  // namespace

CW_CLI_COMMAND(undo, "undo", kUsage, RunUndo);

}  // namespace cw::cli
