// A batch run: the passes over a folder, a list of files or a drop, where each output
// goes, and the completion line.
#include <algorithm>
#include <climits>
#include <functional>
#include <memory>

#include "batch/batch_paths.h"
#include "batch/batch_run.h"
#include "batch/batch_texts.h"
#include "batch/parallel_pass.h"
#include "convert/safe_write.h"
#include "convert/undo.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw::batch {
namespace {

// The bar's steps within the file of a one-file pass.
constexpr int kBarWithinFile = 1000;

}  // namespace

BatchRun::BatchRun(BatchState& state, const RunSettings& settings, RunView& view)
    : state_(state), settings_(settings), view_(view) {}

void BatchRun::Begin(bool dryRun) {
  // A run that writes is a run of its own for undo: the undo of an earlier one goes, folder
  // by folder, as this one replaces originals there.
  if (!dryRun) undo::BeginRun();
  state_.dryRun = dryRun;
  state_.results.clear();
  state_.stopRequested = false;
  state_.found = 0;
  state_.converted = 0;
  state_.unchanged = 0;
  state_.failed = 0;
  state_.failures.clear();
  state_.record = RunRecord();
  state_.convertedWithLosses = 0;
}

void BatchRun::RunFolder(const std::string& folder) {
  state_.batchRoot = folder;
  std::string pass = folder;
  RunBatch(pass, nullptr);
}

void BatchRun::RunList(const std::vector<std::string>& files) {
  state_.batchRoot = DirectoryOf(files.front());
  std::string noFolder;
  RunBatch(noFolder, &files);
}

void BatchRun::RunDrop(const std::vector<std::string>& files, const std::vector<std::string>& folders) {
  bool rootFromFiles = false;
  if (!files.empty()) {
    RunList(files);
    rootFromFiles = true;
  }
  const std::string filesRoot = state_.batchRoot;
  for (const std::string& folder : folders) {
    if (state_.stopRequested) break;
    std::string pass = folder;
    // Dropped beside the files, a folder goes into the files' output folder; dropped
    // alone or from elsewhere, it is its own root, as in folder mode.
    if (!rootFromFiles || !LiesUnder(folder, filesRoot)) state_.batchRoot = folder;
    RunBatch(pass, nullptr);
    if (rootFromFiles) state_.batchRoot = filesRoot;
  }
}

std::string BatchRun::OutputFolderOf(const std::string& root) const {
  // A drive root keeps its output inside it as a folder of its own: D:\ gives D:\(已转换).
  if (IsBareDrive(root)) return root + "\\" + Texts().marker;
  return root + Texts().marker;
}

std::string BatchRun::OutputPathFor(const std::string& sourcePath) const {
  return PlaceOutput(sourcePath, state_.batchRoot, settings_.Overwrite());
}

std::string BatchRun::PlaceOutput(const std::string& sourcePath, const std::string& root, bool overwrite) const {
  if (overwrite) return sourcePath;
  if (LiesUnder(sourcePath, root)) {
    std::string rest = sourcePath.substr(root.size());
    if (rest[0] != '\\') rest.insert(rest.begin(), '\\');
    return OutputFolderOf(root) + rest;
  }
  // Outside the root (files dropped from a search result), a file keeps its place
  // beside its own folder.
  const text::PathParts parts = text::SplitAtLastBackslash(sourcePath);
  return OutputFolderOf(parts.folder) + "\\" + parts.name;
}

ConversionRequest BatchRun::RequestFor(const std::vector<std::string>& files, size_t index, bool beside,
                                       const ConversionOptions& options, FolderEvidence* evidence) const {
  // Chosen or dropped files each go beside their own folder; for files of one folder
  // that is the run's root.
  const std::string& source = files[index];
  ConversionRequest request{
      source, PlaceOutput(source, beside ? DirectoryOf(source) : state_.batchRoot, options.overwriteOriginal), options};
  request.options.inputEncoding = state_.passInput;
  request.options.outputEncoding = state_.passOutput;
  request.keepForUndo = !state_.dryRun;
  // A run that renames files is made file by file: a new name may be the old name of a
  // file converted before it, which must have its own output by then.
  const bool renames = options.scriptConversion != ScriptConversion::None && options.convertFileName;
  if (!state_.dryRun && options.overwriteOriginal && !renames) request.replaceGroup = replaces_.get();
  request.evidence = evidence;
  request.evidenceIndex = index;
  return request;
}

// With several jobs the files are converted ahead on other threads, from options read
// once for the pass (only the command line asks for that: nothing changes the options
// during its run); the captions, counts and observers follow the pass's order all the
// same.
std::unique_ptr<ParallelPass> BatchRun::StartAhead(const std::vector<std::string>& files, bool beside,
                                                   FolderEvidence* evidence) {
  const ConversionOptions options = settings_.FileOptions();
  std::vector<ConversionRequest> requests;
  requests.reserve(files.size());
  for (size_t i = 0; i < files.size(); ++i) requests.push_back(RequestFor(files, i, beside, options, evidence));
  // Files converted ahead may be written over before an unsure one asks the others:
  // the folder is read as it is now, while every file is still its original.
  if (evidence && options.overwriteOriginal && !state_.dryRun) evidence->Hint();
  return std::make_unique<ParallelPass>(std::move(requests), &state_.record, state_.dryRun, jobs_, convert_);
}

void BatchRun::NoteRefused(std::vector<FailedFile>& refused) {
  for (FailedFile& file : refused) {
    ++state_.failed;
    FileResult result;
    result.source = file.path;
    result.status = file.status;
    result.cause = file.cause;
    state_.results.push_back(std::move(result));
    state_.failures.push_back(std::move(file));
  }
}

void BatchRun::Count(const std::string& source, FileWork& work) {
  const ConvertStatus status = work.result.status;
  state_.results.push_back(std::move(work.result));
  if (IsConverted(status)) {
    ++state_.converted;
    if (status == ConvertStatus::ConvertedWithLosses) ++state_.convertedWithLosses;
  } else if (status == ConvertStatus::Unchanged) {
    ++state_.unchanged;
  } else if (IsFailure(status)) {
    ++state_.failed;
    state_.failures.push_back({source, status});
  }
  if (fileObserver_) fileObserver_(FileOutcome{source, work.output, status, work.report});
}

void BatchRun::Queue(const std::string& source, FileWork work) {
  if (work.pending) {
    waiting_.emplace_back(source, std::move(work));
    // Counted a group at a time, so that the counts and results keep up with the run.
    if (waiting_.size() >= replaces_->MaxFiles()) Settle();
    return;
  }
  Settle();
  Count(source, work);
}

void BatchRun::Settle() {
  if (waiting_.empty()) return;
  replaces_->Commit();
  for (auto& [source, work] : waiting_) {
    replaces_->Settle(*work.pending);
    // Converted so far stays what the write said (with losses or not).
    if (work.pending->status != ConvertStatus::Converted) work.result.status = work.pending->status;
    NoteOutcome(&work.result, work.report, work.pending->cause);
    Count(source, work);
  }
  waiting_.clear();
}

bool BatchRun::ListPass(std::string& folder, std::vector<std::string>* listed) {
  view_.ShowStatus(Texts().reading + folder);
  // Read anew by every folder pass, so an edit made during a run applies from here on.
  std::string filter = settings_.Filter();
  std::vector<FailedFile> refused;
  ListFolder(folder, filter, *listed, false, false, &refused);
  const bool whole = std::none_of(refused.begin(), refused.end(), [](const FailedFile& file) {
    return file.status == ConvertStatus::FolderUnreadable;
  });
  NoteRefused(refused);
  return whole;
}

void BatchRun::RunBatch(std::string& folder, const std::vector<std::string>* givenList) {
  view_.SetProgressPosition(0);
  std::vector<std::string> listed;
  // The folder could not be listed (or only in part), and is counted.
  const bool unlisted = givenList == nullptr && !ListPass(folder, &listed);
  const std::vector<std::string>& files = givenList ? *givenList : listed;
  const int count = static_cast<int>(std::min<size_t>(files.size(), INT_MAX));
  view_.SetProgressMaximum(count);
  state_.found += count;

  // Fixed for the whole pass; the other options are read again for every file.
  settings_.PassEncodings(&state_.passInput, &state_.passOutput);
  // A pass of one file moves the bar within that file, by the bytes converted, so that
  // a large file does not show a full bar from its first second.
  const bool oneFile = count == 1;
  if (oneFile) view_.SetProgressMaximum(kBarWithinFile);
  const std::string countText = "(" + std::to_string(count) + ":";
  const bool beside = givenList != nullptr;
  // The pass's files, for one whose automatic reading is a close call (read only then).
  FolderEvidence evidence(files, state_.passInput);
  FolderEvidence* const evidenceFor = state_.passInput == EncodingChoice::Auto ? &evidence : nullptr;
  std::unique_ptr<ParallelPass> ahead = jobs_ > 1 && count > 1 ? StartAhead(files, beside, evidenceFor) : nullptr;
  for (int i = 1; i <= count; ++i) {
    const std::string& source = files[static_cast<size_t>(i - 1)];
    platform::PumpMessages();
    view_.SetProgressPosition(oneFile ? 0 : i);
    view_.ShowStatus(countText + std::to_string(i) + ") " + BaseNameWithoutExtension(source));
    std::function<void(uint64_t, uint64_t)> outerProgress;
    if (oneFile) {
      outerProgress = platform::SetFileProgressHook([this](uint64_t done, uint64_t total) {
        if (total > 0) view_.SetProgressPosition(static_cast<int>(done * kBarWithinFile / total));
      });
    }
    const size_t index = static_cast<size_t>(i - 1);
    FileWork work;
    if (ahead) {
      work = std::move(ahead->Take(index));
    } else {
      const ConversionRequest request = RequestFor(files, index, beside, settings_.FileOptions(), evidenceFor);
      if (!request.replaceGroup) Settle();  // see RequestFor
      work = convert_(request, &state_.record, state_.dryRun);
    }
    if (oneFile) {
      platform::SetFileProgressHook(std::move(outerProgress));
      view_.SetProgressPosition(kBarWithinFile);
    }
    Queue(source, std::move(work));
    // A stop ends the pass after this file; files converted ahead are reported still.
    if (state_.stopRequested && (!ahead || static_cast<size_t>(i) >= ahead->Stop())) break;
  }
  Settle();
  if (!state_.stopRequested && givenList == nullptr && settings_.SubFolders()) WalkSubFolders(folder, unlisted);
}

void BatchRun::WalkSubFolders(std::string& folder, bool counted) {
  std::vector<std::string> listed;
  std::string all = "*";
  std::vector<FailedFile> refused;
  ListFolder(folder, all, listed, false, true, &refused);
  // A folder that could not be listed is one failure, though both its listings fail.
  if (counted) {
    refused.erase(std::remove_if(refused.begin(), refused.end(),
                                 [](const FailedFile& file) { return file.status == ConvertStatus::FolderUnreadable; }),
                  refused.end());
  }
  NoteRefused(refused);
  // Only a drive root holds its own output folder; the walk must not convert its output.
  const std::string ownOutput = settings_.Overwrite() ? std::string() : OutputFolderOf(state_.batchRoot);
  for (const std::string& subFolder : listed) {
    if (subFolder == ownOutput) continue;
    std::string pass = subFolder;
    RunBatch(pass, nullptr);
    if (state_.stopRequested) return;
  }
}

void BatchRun::ShowCompletion() {
  const BatchTexts& t = Texts();
  // The renames of the run's replaces go on the disk with their folders (the files were
  // flushed before each replace).
  if (!state_.dryRun) {
    FlushReplacedFolders();
    undo::EndRun();
  }
  if (state_.dryRun) {
    // Nothing was written: the output folder of the last real run stays the one a click
    // opens.
    view_.ShowStatus(t.dryRunHead + std::to_string(state_.found) + t.dryRunMiddle + std::to_string(state_.failed) +
                     t.dryRunTail);
    return;
  }
  std::string folder;
  if (settings_.Overwrite()) {
    folder = IsBareDrive(state_.batchRoot) ? state_.batchRoot + "\\" : state_.batchRoot;
  } else {
    folder = OutputFolderOf(state_.batchRoot);
  }
  view_.SetOutputFolder(folder);
  std::string caption = t.complete + folder;
  // The caption says what the run did not do: a stop, with how far it came (of the
  // files found until then), or a filter that matched nothing.
  if (state_.stopRequested) {
    const int done = state_.converted + state_.unchanged + state_.failed;
    caption = t.stoppedHead + std::to_string(done) + "/" + std::to_string(state_.found) + t.stoppedTail + folder;
  } else if (state_.found == 0 && state_.failed == 0) {
    // A folder that could not be listed is no folder without matches: its failure is
    // counted below.
    caption += t.noMatch;
  }
  caption += FailureText();
  view_.ShowStatus(caption);
}

// With failures, losses or files left as they were the line tells the counts: converted,
// of them with losses, unchanged, and failed.
std::string BatchRun::FailureText() const {
  if ((state_.failed == 0 && state_.convertedWithLosses == 0 && state_.unchanged == 0) || state_.dryRun) {
    return std::string();
  }
  const BatchTexts& t = Texts();
  std::string text = t.countsHead + std::to_string(state_.converted) + t.convertedTail;
  if (state_.convertedWithLosses > 0) text += t.lossesHead + std::to_string(state_.convertedWithLosses) + t.lossesTail;
  if (state_.unchanged > 0) text += t.unchangedHead + std::to_string(state_.unchanged) + t.unchangedTail;
  if (state_.failed > 0) text += t.failedHead + std::to_string(state_.failed) + t.failedTail;
  return text + t.countsTail;
}

}  // namespace cw::batch
