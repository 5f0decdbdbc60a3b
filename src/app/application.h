// Start-up, the message loop and exit of chengwen.exe.
#pragma once

#include <windows.h>

namespace cw::app {

// Runs the program: creates the main window, pumps messages until it closes, and
// returns the process exit code.
int RunApplication(HINSTANCE instance, int showCommand);

}  // namespace cw::app
