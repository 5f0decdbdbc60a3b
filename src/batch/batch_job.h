// The batch job: folder mode, the file list and the drop, and the control of a running
// batch (captions, stop, progress, completion), over the window model and a small
// dialogs interface.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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
  // The result list of a run (after a dry run, of what a run would do).
  virtual void ShowResults(const std::vector<FileResult>& results, bool dryRun) {
    (void)results;
    (void)dryRun;
  }
};

struct FailedFile {
  std::string path;
  ConvertStatus status;
};
// The question at the end of a run with failures: Yes shows the result list.
constexpr uint32_t kResultsQuestionFlags = 0x0034;  // MB_YESNO | MB_ICONWARNING
constexpr int kAnswerYes = 6;                       // IDYES

// The shared state of the batch job: one run at a time.
struct BatchState {
  std::string batchRoot;                            // source root of the latest run
  bool stopRequested = false;                       // set by a stop click, read between files
  EncodingChoice passInput = EncodingChoice::Auto;  // taken at the start of every pass
  EncodingChoice passOutput = EncodingChoice::Auto;
  std::vector<std::string> droppedFiles;
  std::vector<std::string> droppedFolders;
  bool running = false;     // a folder, list or drop run is in progress
  bool dialogOpen = false;  // a start is waiting for its dialog's answer
  int found = 0;            // files listed or given so far in the current or last run
  int converted = 0;        // files of the current or last run, by outcome
  int failed = 0;
  // Each failed file of the run with its reason, in order (files met twice are neither
  // converted nor failed: the run converts a file once).
  std::vector<FailedFile> failures;
  RunRecord record;                 // what the run has converted and written
  int convertedWithLosses = 0;      // of the converted: bytes or characters replaced on the way
  bool dryRun = false;              // the run only lists what it would do
  std::vector<FileResult> results;  // one record per file of the current or last run
};

// One file's outcome, as the batch hands it to an observer.
struct FileOutcome {
  const std::string& source;
  const std::string& output;
  ConvertStatus status;
  const ConvertReport& report;
};

class BatchJob {
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
  std::string FailureText() const;
  // Shows the result list of the last run (the window's click on the failure part).
  void ShowLastResults();

  // The parts below are public for the command-line driver and the tests.
  // Called with every caption the status label takes (the command-line driver prints
  // them); the label itself is always written first.
  void SetStatusObserver(std::function<void(const std::string& caption)> observer);
  // Called after every file with its outcome (the command-line driver prints it).
  void SetFileObserver(std::function<void(const FileOutcome& outcome)> observer);

  // How many files a pass converts at once (1, the window's way, unless set). More than
  // one reads the options once per pass, so it is for runs whose controls stay as they
  // are, the command line's; the outcomes still come in the pass's order.
  void SetJobs(int jobs) { jobs_ = jobs; }

  // One pass over a folder (no list) or over the given list of full paths.
  void RunBatch(std::string& folder, const std::vector<std::string>* givenList);
  void NoteRefused(std::vector<FailedFile>& refused);
  // Writes the completion caption and the output folder into the status label.
  void ShowCompletion();
  // Where a source file's output goes under the current root and options.
  std::string OutputPathFor(const std::string& sourcePath) const;
  // The conversion options of the next file, read from the controls now.
  ConversionOptions OptionsFromControls() const;

 private:
  enum class RunKind { None, Folder, List, Drop };
  // A control of the window, found by its table name the first time it is asked for.
  form::Control& Ctl(form::ControlId id) const;

  void StopClick(form::ControlId button);
  void BeginRun(RunKind kind, bool dryRun = false);
  // After the completion: the list of a dry run, or the offer to show it after failures.
  void OfferResults();
  void EndRun();
  void RunDrop();
  void SetStatus(const std::string& caption);
  // Where a file goes when its output folder is named after `root`.
  std::string PlaceOutput(const std::string& sourcePath, const std::string& root) const;
  // The folder that receives the output of the files under `root`.
  std::string OutputFolderOf(const std::string& root) const;

  form::Window& window_;
  Dialogs& dialogs_;
  BatchState state_;
  bool closeWanted_ = false;
  RunKind runKind_ = RunKind::None;
  bool collectingDrop_ = false;  // the current drop's first item was accepted
  int jobs_ = 1;
  std::function<void(const std::string&)> statusObserver_;
  std::function<void(const FileOutcome&)> fileObserver_;
  mutable form::Control* controls_[form::kControlCount] = {};
  // Stands in for a control the window lacks, so that the batch never has to check.
  mutable form::MemoryWindow spare_;
};

// What converting the file would do, found without writing anything.
FileResult PlanFile(const std::string& sourcePath, const std::string& outputPath, const ConversionOptions& options);

// Free helpers of the batch (working-code-page texts, double-byte aware).
// The text after the last backslash, then before its last dot.
std::string BaseNameWithoutExtension(const std::string& path);
// The text before the last backslash ("D:\docs\a.txt" -> "D:\docs", "D:\a.txt" -> "D:").
std::string DirectoryOf(const std::string& path);
// Lists a folder's matching files (or its sub-folders) for every piece of the filter,
// pieces being separated by "|" or ";"; returns the number of entries. Both text arguments may be changed as described
// for folder mode. A file matched by several pieces is listed once, where it was found first. Matches that cannot be
// converted (a pipe or device, a name no path can express) are not listed; with `refused` they are appended there with
// their reason.
int ListFolder(std::string& folder, std::string& filter, std::vector<std::string>& list, bool append, bool folders,
               std::vector<FailedFile>* refused = nullptr);
// Appends the matches of one wildcard pattern. Folders that are links or junctions are
// left out, so that no walk can go round in circles; so are the program's own
// temporary files.
void FindEntries(const std::string& pattern, bool folders, std::vector<std::string>& list,
                 std::vector<FailedFile>* refused = nullptr);
// File names between the working code page and UTF-16, through GB18030 so that a name
// outside GBK keeps every character.
std::u16string GbkToUtf16(std::string_view text);
std::string Utf16ToGbk(std::u16string_view text);
// The output marker appended to a root to name its output folder.
const std::string& OutputMarker();

}  // namespace cw::batch
