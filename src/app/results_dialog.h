// The result list of a run: a small window with a list view (file name, its folder, what
// happened, read as, why, output), "复制" to put the list on the clipboard as text, and
// "关闭". It is owned by the main window and keeps it waiting until it is closed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "batch/file_results.h"

namespace cw::app {

// Control ids inside the result window.
constexpr int kResultsListId = 100;
constexpr int kResultsCopyId = 101;

// Creates the window, owned by `owner`, filled with the rows, and shows it.
HWND CreateResultsWindow(HWND owner, const std::vector<batch::FileResult>& results, bool dryRun);
// Keeps the owner disabled and dispatches messages until the window is closed.
void RunResultsWindow(HWND owner, HWND results);
// Puts the text (working code page) on the clipboard as Unicode text.
bool CopyTextToClipboard(HWND owner, const std::string& text);

}  // namespace cw::app
