// A batch run without a window: the passes over folders and lists, the options read
// when the rules read them (from a RunSettings: the window's controls, or the command
// line's flags), and what the run shows (through a RunView). The window's BatchJob and
// chengwen-cli's batch command both drive it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "batch/file_results.h"
#include "batch/parallel_pass.h"
#include "convert/convert_file.h"
#include "convert/options.h"
#include "convert/replace_group.h"
#include "platform/platform.h"

namespace cw::batch {

// Where a run takes its options, each at the moment the rules read it.
class RunSettings {
 public:
  virtual ~RunSettings() = default;
  // At the start of each pass (a folder, each of its sub-folders, a list): the two
  // encodings, fixed for every file of the pass.
  virtual void PassEncodings(EncodingChoice* input, EncodingChoice* output) const = 0;
  // For each folder pass: the file-name filter and whether sub-folders are walked.
  virtual std::string Filter() const = 0;
  virtual bool SubFolders() const = 0;
  // For each file: the options other than the two encodings.
  virtual ConversionOptions FileOptions() const = 0;
  // Whether outputs replace their originals (placement of the sub-folder walk and the
  // completion line).
  virtual bool Overwrite() const = 0;
};

// What a run shows as it goes: the status line, the progress bar, and the folder the
// completion line names (which a click on it opens).
class RunView {
 public:
  virtual ~RunView() = default;
  virtual void ShowStatus(const std::string& caption) = 0;
  virtual void SetProgressMaximum(int maximum) = 0;
  virtual void SetProgressPosition(int position) = 0;
  virtual void SetOutputFolder(const std::string& folder) = 0;
};

struct FailedFile {
  std::string path;
  ConvertStatus status;
  // What the disk said, where the batch itself met the failure (a folder's listing).
  platform::Status cause = platform::Status::Ok;
};

// The shared state of the batch job: one run at a time.
struct BatchState {
  std::string batchRoot;                            // source root of the latest run
  bool stopRequested = false;                       // set by a stop click, read between files
  EncodingChoice passInput = EncodingChoice::Auto;  // taken at the start of every pass
  EncodingChoice passOutput = EncodingChoice::Auto;
  std::vector<std::string> droppedFiles;
  std::vector<std::string> droppedFolders;
  bool running = false;       // a folder, list or drop run is in progress
  bool dialogOpen = false;    // a start is waiting for its dialog's answer
  bool refusalShown = false;  // a drop during the run was refused: its line stays until the run ends
  int found = 0;              // files listed or given so far in the current or last run
  int converted = 0;          // files of the current or last run, by outcome
  int unchanged = 0;          // already as they would be written: left untouched
  int failed = 0;
  // Each failed file (or folder that could not be listed) of the run with its reason, in
  // order (files met twice are neither converted nor failed: the run converts a file
  // once).
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

// Free helpers of the batch (working-code-page texts, double-byte aware).
// The text after the last backslash, then before its last dot.
std::string BaseNameWithoutExtension(const std::string& path);
// The text before the last backslash ("D:\docs\a.txt" -> "D:\docs", "D:\a.txt" -> "D:").
std::string DirectoryOf(const std::string& path);
// Lists a folder's matching files (or its sub-folders) for every piece of the filter,
// pieces being separated by "|" or ";"; returns the number of entries. Both text arguments may be changed as described
// for folder mode. A file matched by several pieces is listed once, where it was found first. Matches that cannot be
// converted (a pipe or device, a name no path can express) are not listed; with `refused` they are appended there with
// their reason, and so is the folder itself (FolderUnreadable, with what the system said) when it could not be listed
// or only in part (what was found is listed all the same). A piece the system refuses as a pattern in a folder it
// lists matches nothing.
int ListFolder(std::string& folder, std::string& filter, std::vector<std::string>& list, bool append, bool folders,
               std::vector<FailedFile>* refused = nullptr);
// Appends the matches of one wildcard pattern. Folders that are links or junctions are
// left out, so that no walk can go round in circles; so are the program's own
// temporary files. Returns what the listing met: Ok, or why the folder could not be
// listed, or listed only up to the matches appended.
platform::Status FindEntries(const std::string& pattern, bool folders, std::vector<std::string>& list,
                             std::vector<FailedFile>* refused = nullptr);
// File names between the working code page and UTF-16, through GB18030 so that a name
// outside GBK keeps every character.
std::u16string GbkToUtf16(std::string_view text);
std::string Utf16ToGbk(std::u16string_view text);
// The output marker appended to a root to name its output folder.
const std::string& OutputMarker();

class BatchRun {
 public:
  BatchRun(BatchState& state, const RunSettings& settings, RunView& view);

  // A new run: counts, results and record start empty.
  void Begin(bool dryRun);
  // Folder mode: the folder is the root; its pass, then its sub-folders.
  void RunFolder(const std::string& folder);
  // The given files (a dialog's selection), each beside its own folder.
  void RunList(const std::vector<std::string>& files);
  // A drop: the files first, then each folder.
  void RunDrop(const std::vector<std::string>& files, const std::vector<std::string>& folders);
  // Writes the completion caption and the output folder.
  void ShowCompletion();

  // One pass over a folder (no list) or over the given list of full paths.
  void RunBatch(std::string& folder, const std::vector<std::string>* givenList);
  // Where a source file's output goes under the current root and options.
  std::string OutputPathFor(const std::string& sourcePath) const;
  // The failure part at the end of the completion caption, empty without failures.
  std::string FailureText() const;

  // How many files a pass converts at once (1 unless set). More than one reads the
  // options once per pass, so it is for runs whose options stay as they are, the
  // command line's; the outcomes still come in the pass's order.
  void SetJobs(int jobs) { jobs_ = jobs; }
  // Called after every file with its outcome.
  void SetFileObserver(std::function<void(const FileOutcome& outcome)> observer) {
    fileObserver_ = std::move(observer);
  }
  // What converts each file (ConvertForBatch unless set).
  void SetConverter(FileConverter convert) { convert_ = std::move(convert); }

 private:
  // The request of one file, with the pass's encodings and the file's own options.
  ConversionRequest RequestFor(const std::vector<std::string>& files, size_t index, bool beside,
                               const ConversionOptions& options, FolderEvidence* evidence) const;
  std::unique_ptr<ParallelPass> StartAhead(const std::vector<std::string>& files, bool beside,
                                           FolderEvidence* evidence);
  // Entries a listing left out because they cannot be converted: failures of the run.
  void NoteRefused(std::vector<FailedFile>& refused);
  // Lists a folder pass's files into `listed`; false when the folder could not be listed
  // (or only in part), which is counted.
  bool ListPass(std::string& folder, std::vector<std::string>* listed);
  // Counts one file's outcome and hands it to the observer.
  void Count(const std::string& source, FileWork& work);
  // Counts the file in the pass's order: one whose replace waits for its group waits
  // with it (Settle counts it then); any other is counted after those before it.
  void Queue(const std::string& source, FileWork work);
  // Makes the waiting replaces and counts their files, in order.
  void Settle();
  // `counted`: the folder's own listing failed and is counted already.
  void WalkSubFolders(std::string& folder, bool counted);
  // Where a file goes when its output folder is named after `root`.
  std::string PlaceOutput(const std::string& sourcePath, const std::string& root, bool overwrite) const;
  // The folder that receives the output of the files under `root`.
  std::string OutputFolderOf(const std::string& root) const;

  BatchState& state_;
  const RunSettings& settings_;
  RunView& view_;
  int jobs_ = 1;
  std::function<void(const FileOutcome&)> fileObserver_;
  FileConverter convert_ = ConvertForBatch;
  // Replaces over originals flushed together, and the files waiting for them.
  std::unique_ptr<ReplaceGroup> replaces_ = std::make_unique<ReplaceGroup>();
  std::vector<std::pair<std::string, FileWork>> waiting_;
};

}  // namespace cw::batch
