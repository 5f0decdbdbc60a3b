// The window's commands that hand something to the shell: opening the output folder of
// the last batch in the file manager, and opening a link or document.
#pragma once

#include <string>

#include "form/form.h"

namespace cw::app {

struct ExplorerOptions {
  bool newWindow = false;     // "/n" instead of "/e"
  bool openItself = false;    // no "/select,"; a path ending in ".exe" is run directly
  bool rootAtParent = false;  // cut the path back to its folder and add "/root,"
  bool wait = false;          // wait until the started program has ended
  int showMode = 2;           // 1 hidden, 2 normal, 3 minimised, 4 maximised,
                              // 5 normal not activated, 6 minimised not activated
};

// Left-button press on the status label: opens the folder named by its tag text in a
// file-manager window (OpenFolder), when that folder exists.
void OpenOutputFolder(form::Window& window);
// Shows a folder in the file manager, through the shell; true when the shell took it.
bool OpenFolder(const std::string& folder);

// Shows `path` in the file manager (or runs it, see ExplorerOptions). `path` is cut back
// to its folder in place with rootAtParent. True when the program could be started.
bool OpenInExplorer(std::string& path, const ExplorerOptions& options = {});
// The command line OpenInExplorer runs for these options (after the cut of rootAtParent).
std::string ExplorerCommandLine(std::string& path, const ExplorerOptions& options);
// Starts a command line unchanged (working code page); waits as OpenInExplorer says.
bool RunCommandLine(const std::string& commandLine, bool wait, int showMode);
// The SW_ value for a show mode, clamped into 1..6.
int ShowWindowValue(int showMode);

// Hands a URL or document to the shell's "open" verb; the result is not looked at.
void ShellOpen(const std::string& target, const std::string& parameters = "");

}  // namespace cw::app
