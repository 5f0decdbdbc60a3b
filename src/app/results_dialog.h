// The result list of a run: a small window with a list view (file name, its folder, what
// happened, read as, why, output), "复制" to put the list on the clipboard as text, and
// "关闭", and after a run that replaced originals "撤销本次转换" with a line that says how the
// undo went. It is owned by the main window and keeps it waiting until it is closed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "batch/batch_job.h"
#include "batch/file_results.h"

namespace cw::app {

// Control ids inside the result window.
constexpr int kResultsListId = 100;
constexpr int kResultsCopyId = 101;
constexpr int kResultsUndoId = 102;
constexpr int kResultsUndoLineId = 103;

// Creates the window, owned by `owner`, filled with the rows, and shows it. With an undo
// action it has the undo button; once the undo is done the button is disabled.
HWND CreateResultsWindow(HWND owner, const std::vector<batch::FileResult>& results, bool dryRun,
                         const batch::UndoAction& undo = nullptr);
// Keeps the owner disabled and dispatches messages until the window is closed.
void RunResultsWindow(HWND owner, HWND results);
// Puts the text (working code page) on the clipboard as Unicode text.
bool CopyTextToClipboard(HWND owner, const std::string& text);

}  // namespace cw::app
