// The real dialogs behind the batch (folder browser, multi-select open dialog, message
// box) and the message pump that keeps the window alive during a run.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "batch/batch_job.h"

namespace cw::app {

// The open dialog's name buffer: 61440 bytes.
constexpr size_t kOpenFileBufferChars = 61440 / sizeof(wchar_t);

class Win32Dialogs : public batch::Dialogs {
 public:
  // Every dialog is owned by this window (may be null) and keeps it waiting: the
  // folder browser opens over it, the message box stays in front of it.
  explicit Win32Dialogs(HWND owner = nullptr) : owner_(owner) {}
  void SetOwner(HWND owner) { owner_ = owner; }

  // Starts at `initialFolder` when it still exists; a folder typed into its box (a full
  // path, or a name under the selection) is taken with OK, and one that does not exist
  // is said so, with the browser left open.
  std::string BrowseForFolder(const std::string& initialFolder, const std::string& title) override;
  std::vector<std::string> OpenFiles(const std::string& initialFolder, const std::string& title,
                                     const std::string& filter, uint32_t flags) override;
  int Ask(const std::string& text, const std::string& caption, uint32_t flags) override;
  // The result window, owned by the main window, until the user closes it.
  void ShowResults(const std::vector<batch::FileResult>& results, bool dryRun, const batch::UndoAction& undo) override;

 private:
  HWND owner_;
};

// "caption|patterns|caption|patterns" as the open dialog wants it: zero-separated, with a
// second zero at the end.
std::wstring OpenDialogFilter(const std::string& filter);
// The names the open dialog returned: one full path, or a folder followed by names, each
// ended by a zero and the whole ended by a second zero. Full working-code-page paths.
std::vector<std::string> ParseOpenFileNames(const wchar_t* buffer, size_t size);

// Dispatches every waiting message of the thread; returns when the queue is empty or the
// next message is the quit message, which stays queued.
void PumpWindowMessages();
// Translates and dispatches one message, with the dialog keys (Tab, arrows) for the
// top-level window it belongs to.
void DispatchWindowMessage(MSG& message);

}  // namespace cw::app
