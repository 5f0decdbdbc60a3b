// One pass of a batch over a folder or a list of files, the options each file is
// converted with, where its output goes, and the completion prompt.
#include <algorithm>
#include <climits>
#include <functional>
#include <memory>

#include "batch/batch_job.h"
#include "batch/batch_paths.h"
#include "batch/batch_texts.h"
#include "batch/parallel_pass.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw::batch {
namespace {

using Id = form::ControlId;

// The bar's steps within the file of a one-file pass.
constexpr int kBarWithinFile = 1000;

EncodingChoice EncodingOfGroup(const form::Control& ansi, const form::Control& utf8, const form::Control& ule,
                               const form::Control& ube) {
  if (ansi.Checked()) return EncodingChoice::Ansi;
  if (utf8.Checked()) return EncodingChoice::Utf8;
  if (ule.Checked()) return EncodingChoice::Utf16Le;
  if (ube.Checked()) return EncodingChoice::Utf16Be;
  return EncodingChoice::Auto;
}

}  // namespace

ConversionOptions BatchJob::OptionsFromControls() const {
  ConversionOptions options;
  options.inputEncoding =
      EncodingOfGroup(Ctl(Id::InputAnsi), Ctl(Id::InputUtf8), Ctl(Id::InputUtf16Le), Ctl(Id::InputUtf16Be));
  options.outputEncoding =
      EncodingOfGroup(Ctl(Id::OutputAnsi), Ctl(Id::OutputUtf8), Ctl(Id::OutputUtf16Le), Ctl(Id::OutputUtf16Be));
  // Id::NoScript is tested first and ends the test; otherwise the first checked one wins.
  static const std::pair<Id, ScriptConversion> kScripts[] = {
      {Id::SimplifiedToTraditional, ScriptConversion::SimplifiedToTraditional},
      {Id::TraditionalToSimplified, ScriptConversion::TraditionalToSimplified},
      {Id::SimplifiedToBig5, ScriptConversion::SimplifiedToBig5},
      {Id::TraditionalToBig5, ScriptConversion::TraditionalToBig5},
      {Id::Big5ToSimplified, ScriptConversion::Big5ToSimplified},
      {Id::Big5ToTraditional, ScriptConversion::Big5ToTraditional}};
  if (!Ctl(Id::NoScript).Checked()) {
    for (const auto& [id, script] : kScripts) {
      if (Ctl(id).Checked()) {
        options.scriptConversion = script;
        break;
      }
    }
  }
  options.lineEndings = LineEndingFromIndex(Ctl(Id::LineEndings).Selection());
  options.withoutBom = Ctl(Id::WithoutBom).Checked();
  options.convertFileName = Ctl(Id::ConvertFileName).Checked();
  options.overwriteOriginal = Ctl(Id::Overwrite).Checked();
  return options;
}

std::string BatchJob::OutputFolderOf(const std::string& root) const {
  // A drive root keeps its output inside it as a folder of its own: D:\ gives D:\(已转换).
  if (IsBareDrive(root)) return root + "\\" + Texts().marker;
  return root + Texts().marker;
}

std::string BatchJob::OutputPathFor(const std::string& sourcePath) const {
  return PlaceOutput(sourcePath, state_.batchRoot);
}

std::string BatchJob::PlaceOutput(const std::string& sourcePath, const std::string& root) const {
  if (Ctl(Id::Overwrite).Checked()) return sourcePath;
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

void BatchJob::SetStatus(const std::string& caption) {
  Ctl(Id::StatusLabel).SetCaption(caption);
  if (statusObserver_) statusObserver_(caption);
}

// Entries a listing left out because they cannot be converted: failures of the run, in
// the result list too.
void BatchJob::NoteRefused(std::vector<FailedFile>& refused) {
  for (FailedFile& file : refused) {
    ++state_.failed;
    FileResult result;
    result.source = file.path;
    result.status = file.status;
    state_.results.push_back(std::move(result));
    state_.failures.push_back(std::move(file));
  }
}

void BatchJob::RunBatch(std::string& folder, const std::vector<std::string>* givenList) {
  const BatchTexts& t = Texts();
  form::Control& progress = Ctl(Id::ProgressBar);
  progress.SetProgressPosition(0);
  std::vector<std::string> listed;
  if (givenList == nullptr) {
    SetStatus(t.reading + folder);
    // Read anew by every folder pass, so an edit made during a run applies from here on.
    std::string filter = Ctl(Id::FilterBox).Content();
    std::vector<FailedFile> refused;
    ListFolder(folder, filter, listed, false, false, &refused);
    NoteRefused(refused);
  }
  const std::vector<std::string>& files = givenList ? *givenList : listed;
  const int count = static_cast<int>(std::min<size_t>(files.size(), INT_MAX));
  progress.SetProgressMaximum(count);
  state_.found += count;

  // Fixed for the whole pass; the other options are read again for every file.
  state_.passInput =
      EncodingOfGroup(Ctl(Id::InputAnsi), Ctl(Id::InputUtf8), Ctl(Id::InputUtf16Le), Ctl(Id::InputUtf16Be));
  state_.passOutput =
      EncodingOfGroup(Ctl(Id::OutputAnsi), Ctl(Id::OutputUtf8), Ctl(Id::OutputUtf16Le), Ctl(Id::OutputUtf16Be));
  // A pass of one file moves the bar within that file, by the bytes converted, so that
  // a large file does not show a full bar from its first second.
  const bool oneFile = count == 1;
  if (oneFile) progress.SetProgressMaximum(kBarWithinFile);
  const std::string countText = "(" + std::to_string(count) + ":";
  // Chosen or dropped files each go beside their own folder; for files of one folder
  // that is the run's root.
  const auto fileOf = [&](const std::string& source, const ConversionOptions& options) {
    PassFile file{source, givenList ? PlaceOutput(source, DirectoryOf(source)) : OutputPathFor(source), options};
    file.options.inputEncoding = state_.passInput;
    file.options.outputEncoding = state_.passOutput;
    return file;
  };
  // With several jobs the files are converted ahead on other threads, from options
  // read once for the pass (only the command line asks for that: nothing changes the
  // controls during its run); the captions, counts and observers below follow the
  // pass's order all the same.
  std::unique_ptr<ParallelPass> ahead;
  if (jobs_ > 1 && count > 1) {
    const ConversionOptions options = OptionsFromControls();
    std::vector<PassFile> passFiles;
    passFiles.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) passFiles.push_back(fileOf(files[static_cast<size_t>(i)], options));
    ahead = std::make_unique<ParallelPass>(std::move(passFiles), &state_.record, state_.dryRun, jobs_);
  }
  for (int i = 1; i <= count; ++i) {
    const std::string& source = files[static_cast<size_t>(i - 1)];
    platform::PumpMessages();
    progress.SetProgressPosition(oneFile ? 0 : i);
    SetStatus(countText + std::to_string(i) + ") " + BaseNameWithoutExtension(source));
    std::function<void(uint64_t, uint64_t)> outerProgress;
    if (oneFile) {
      outerProgress = platform::SetFileProgressHook([&progress](uint64_t done, uint64_t total) {
        if (total > 0) progress.SetProgressPosition(static_cast<int>(done * kBarWithinFile / total));
      });
    }
    FileWork work = ahead ? std::move(ahead->Take(static_cast<size_t>(i - 1)))
                          : ConvertForBatch(fileOf(source, OptionsFromControls()), &state_.record, state_.dryRun);
    FileResult& result = work.result;
    const std::string& output = work.output;
    const ConvertReport& report = work.report;
    const ConvertStatus status = result.status;
    state_.results.push_back(std::move(result));
    if (oneFile) {
      platform::SetFileProgressHook(std::move(outerProgress));
      progress.SetProgressPosition(kBarWithinFile);
    }
    if (status == ConvertStatus::Converted || status == ConvertStatus::ConvertedWithLosses) {
      ++state_.converted;
      if (status == ConvertStatus::ConvertedWithLosses) ++state_.convertedWithLosses;
    } else if (status != ConvertStatus::Duplicate) {
      ++state_.failed;
      state_.failures.push_back({source, status});
    }
    if (fileObserver_) fileObserver_(FileOutcome{source, output, status, report});
    // A stop ends the pass after this file; files converted ahead are reported still.
    if (state_.stopRequested && (!ahead || static_cast<size_t>(i) >= ahead->Stop())) return;
  }

  if (state_.stopRequested || givenList != nullptr || !Ctl(Id::SubFolders).Checked()) return;
  std::string all = "*";
  std::vector<FailedFile> refused;
  ListFolder(folder, all, listed, false, true, &refused);
  NoteRefused(refused);
  // Only a drive root holds its own output folder; the walk must not convert its output.
  const std::string ownOutput = Ctl(Id::Overwrite).Checked() ? std::string() : OutputFolderOf(state_.batchRoot);
  for (const std::string& subFolder : listed) {
    if (subFolder == ownOutput) continue;
    std::string pass = subFolder;
    RunBatch(pass, nullptr);
    if (state_.stopRequested) return;
  }
}

void BatchJob::ShowCompletion() {
  const BatchTexts& t = Texts();
  if (state_.dryRun) {
    // Nothing was written: the output folder of the last real run stays the one a click
    // opens.
    SetStatus(t.dryRunHead + std::to_string(state_.found) + t.dryRunMiddle + std::to_string(state_.failed) +
              t.dryRunTail);
    return;
  }
  std::string folder;
  if (Ctl(Id::Overwrite).Checked()) {
    folder = IsBareDrive(state_.batchRoot) ? state_.batchRoot + "\\" : state_.batchRoot;
  } else {
    folder = OutputFolderOf(state_.batchRoot);
  }
  form::Control& label = Ctl(Id::StatusLabel);
  label.SetTag(folder);
  std::string caption = t.complete + folder;
  // The caption says what the run did not do: a stop, with how far it came (of the
  // files found until then), or a filter that matched nothing.
  if (state_.stopRequested) {
    caption = t.stoppedHead + std::to_string(state_.converted + state_.failed) + "/" + std::to_string(state_.found) +
              t.stoppedTail + folder;
  } else if (state_.found == 0) {
    caption += t.noMatch;
  }
  caption += FailureText();
  SetStatus(caption);
}

// With failures or losses the line tells the counts: converted, of them with losses,
// and failed.
std::string BatchJob::FailureText() const {
  if ((state_.failed == 0 && state_.convertedWithLosses == 0) || state_.dryRun) return std::string();
  const BatchTexts& t = Texts();
  std::string text = t.countsHead + std::to_string(state_.converted) + t.convertedTail;
  if (state_.convertedWithLosses > 0) text += t.lossesHead + std::to_string(state_.convertedWithLosses) + t.lossesTail;
  if (state_.failed > 0) text += t.failedHead + std::to_string(state_.failed) + t.failedTail;
  return text + t.countsTail;
}

void BatchJob::ShowLastResults() {
  if (state_.running || state_.dialogOpen || state_.results.empty()) return;
  state_.dialogOpen = true;
  dialogs_.ShowResults(state_.results, state_.dryRun);
  state_.dialogOpen = false;
}

}  // namespace cw::batch
