// The batch job: folder mode, the file list and the drop, and the control of a running
// batch (captions, stop, progress, completion), over the window model and a small
// dialogs interface.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch_run.h"
#include "batch/file_results.h"
#include "convert/convert_file.h"
#include "convert/options.h"
#include "form/form.h"
#include "form/main_window.h"
#include "form/memory_window.h"

namespace cw::batch {

// What the batch hands to the shell's dialogs, with the values Windows uses.
constexpr uint32_t kOpenFilesFlags = 0x1A04;     // OFN_FILEMUSTEXIST | PATHMUSTEXIST | ALLOWMULTISELECT | HIDEREADONLY
constexpr uint32_t kDropQuestionFlags = 0x2001;  // MB_OKCANCEL | MB_TASKMODAL, no icon
constexpr int kAnswerOk = 1;                     // IDOK

// The undo the result list offers: asks for confirmation, puts the run's originals back
// and returns the line that says how it went (empty when the user declined). An empty
// action: the run kept nothing to undo.
using UndoAction = std::function<std::string()>;

// The dialogs a batch asks. The Win32 shell gives the real ones; tests and the
// command-line driver give scripted answers.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // The shell's folder browser with its initial selection and title; the chosen folder
  // with leading and trailing blanks (0x20 and A1 A1) removed, or empty when nothing
  // usable was chosen.
  virtual std::string BrowseForFolder(const std::string& initialFolder, const std::string& title) = 0;
  // The multi-select open dialog: full paths in the dialog's order, empty when cancelled.
  // `filter` is the "caption|patterns|caption|patterns" text; `flags` the OFN_ flags.
  virtual std::vector<std::string> OpenFiles(const std::string& initialFolder, const std::string& title,
                                             const std::string& filter, uint32_t flags) = 0;
  // A message box with the given flags (MB_OKCANCEL | MB_TASKMODAL for the drop
  // question); returns the button pressed, 1 for OK.
  virtual int Ask(const std::string& text, const std::string& caption, uint32_t flags) = 0;
  // The result list of a run (after a dry run, of what a run would do), with the undo
  // of the run when it has one.
  virtual void ShowResults(const std::vector<FileResult>& results, bool dryRun, const UndoAction& undo) {
    (void)results;
    (void)dryRun;
    (void)undo;
  }
};

// The question at the end of a run with failures: Yes shows the result list.
constexpr uint32_t kResultsQuestionFlags = 0x0034;  // MB_YESNO | MB_ICONWARNING
constexpr int kAnswerYes = 6;                       // IDYES
// The question after an overwrite run with nothing failed or lost: Yes shows the list.
constexpr uint32_t kUndoableQuestionFlags = 0x0044;  // MB_YESNO | MB_ICONINFORMATION
// The undo's confirmation, over every window of the program (the result list too).
constexpr uint32_t kUndoQuestionFlags = 0x2021;  // MB_OKCANCEL | MB_ICONQUESTION | MB_TASKMODAL

// The line after an undo: what was put back, what was left because it changed after the
// run, and what could not be put back.
std::string UndoOutcome(int restored, int changed, int failed);

// The window's batch: its buttons, dialogs and drop over a BatchRun whose options are
// the window's controls, read when the rules read them, and whose view is the status
// label and the progress bar.
class BatchJob : private RunSettings, private RunView {
 public:
  BatchJob(form::Window& window, Dialogs& dialogs);

  // Bound to the click (and the right-button release) of ControlId::FolderButton: starts folder
  // mode at the idle caption, otherwise asks the running batch to stop.
  // With `dryRun` (Shift held) the run converts nothing and shows what it would do.
  void OnFolderButtonClick(bool dryRun = false);
  // Bound to the click of ControlId::ListButton: starts a file-list run, or asks it to stop.
  void OnListButtonClick(bool dryRun = false);
  // Called once per dropped item (count, 1-based index, full path, extension); the last
  // item asks the question and runs the drop. A drop while a run is in progress is
  // refused, and the status line says so.
  void OnDropItem(int count, int index, const std::string& path, const std::string& extension);

  bool IsRunning() const { return state_.running; }
  // The window asks to close: false while a run is in progress (the run is asked to stop
  // after its current file, and CloseWanted() tells the shell to close when it ends).
  bool RequestClose();
  bool CloseWanted() const { return closeWanted_; }

  const BatchState& State() const { return state_; }
  // The failure part at the end of the completion caption ("（N 个文件转换失败）"), empty
  // when the last run had no failure (or was a dry run).
  std::string FailureText() const { return run_.FailureText(); }
  // Shows the result list of the last run (the window's click on the failure part).
  void ShowLastResults();
  // The undo of the last run: empty after a dry run, and when the run replaced no
  // original or has been undone already (or a later run came after it).
  UndoAction UndoOffer();

  // Called with every caption the status label takes; the label itself is always
  // written first.
  void SetStatusObserver(std::function<void(const std::string& caption)> observer);
  // Called after every file with its outcome.
  void SetFileObserver(std::function<void(const FileOutcome& outcome)> observer) {
    run_.SetFileObserver(std::move(observer));
  }
  // How many files a pass converts at once (1, the window's way, unless set).
  void SetJobs(int jobs) { run_.SetJobs(jobs); }
  // Where a source file's output goes under the current root and options.
  std::string OutputPathFor(const std::string& sourcePath) const { return run_.OutputPathFor(sourcePath); }
  // The conversion options of the next file, read from the controls now.
  ConversionOptions OptionsFromControls() const;

 private:
  enum class RunKind { None, Folder, List, Drop };
  // A control of the window, found by its table name the first time it is asked for.
  form::Control& Ctl(form::ControlId id) const;

  void StopClick(form::ControlId button);
  void BeginRun(RunKind kind, bool dryRun = false);
  // After the completion: the list of a dry run, or the offer to show it after failures
  // or after a run that replaced originals (the list is where it is undone).
  void OfferResults();
  bool AskForResults(bool undoable);
  std::string UndoLastRun();
  void EndRun();
  void RunDrop();
  void SetStatus(const std::string& caption);

  // RunSettings: the controls.
  void PassEncodings(EncodingChoice* input, EncodingChoice* output) const override;
  std::string Filter() const override;
  bool SubFolders() const override;
  ConversionOptions FileOptions() const override { return OptionsFromControls(); }
  bool Overwrite() const override;
  // RunView: the status label and the progress bar.
  void ShowStatus(const std::string& caption) override { SetStatus(caption); }
  void SetProgressMaximum(int maximum) override;
  void SetProgressPosition(int position) override;
  void SetOutputFolder(const std::string& folder) override;

  form::Window& window_;
  Dialogs& dialogs_;
  BatchState state_;
  BatchRun run_;
  bool closeWanted_ = false;
  RunKind runKind_ = RunKind::None;
  bool collectingDrop_ = false;  // the current drop's first item was accepted
  std::function<void(const std::string&)> statusObserver_;
  mutable form::Control* controls_[form::kControlCount] = {};
  // Stands in for a control the window lacks, so that the batch never has to check.
  mutable form::MemoryWindow spare_;
};

}  // namespace cw::batch
