// The three ways of starting a batch (folder button, list button, drop), the stop
// request, and the running state shown in the two buttons' captions.
#include "batch/batch_job.h"

#include "base/check.h"
#include "batch/batch_paths.h"
#include "batch/batch_texts.h"
#include "batch/choices.h"
#include "convert/undo.h"
#include "encoding/charset.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw::batch {
using form::ControlId;

BatchJob::BatchJob(form::Window& window, Dialogs& dialogs)
    : window_(window), dialogs_(dialogs), run_(state_, *this, *this) {}

form::Control& BatchJob::Ctl(ControlId id) const {
  form::Control*& control = controls_[static_cast<int>(id)];
  if (control == nullptr) {
    const form::ControlSpec& spec = form::SpecOf(id);
    control = window_.Find(spec.name);
    // The window is built from the control table, so every row is there; should one be
    // missing, a spare stands in for it (its own container, so that checking one spare
    // never clears another) rather than the batch failing.
    CW_CHECK(control != nullptr);
    if (control == nullptr) control = spare_.Add(spec.name, spec.kind, spec.name);
  }
  return *control;
}

void BatchJob::SetStatusObserver(std::function<void(const std::string&)> observer) {
  statusObserver_ = std::move(observer);
}

void BatchJob::StopClick(ControlId button) {
  const BatchTexts& t = Texts();
  Ctl(button).SetCaption(button == ControlId::FolderButton ? t.folderStopping : t.listStopping);
  state_.stopRequested = true;
}

void BatchJob::BeginRun(RunKind kind, bool dryRun) {
  const BatchTexts& t = Texts();
  runKind_ = kind;
  state_.running = true;
  state_.refusalShown = false;
  run_.Begin(dryRun);
  if (kind == RunKind::Folder) {
    Ctl(ControlId::FolderButton).SetCaption(t.folderRunning);
    Ctl(ControlId::ListButton).SetEnabled(false);
  } else {
    // A drop run stops through the list button, as a list run does.
    Ctl(ControlId::ListButton).SetCaption(t.listRunning);
    Ctl(ControlId::FolderButton).SetEnabled(false);
  }
}

void BatchJob::EndRun() {
  const BatchTexts& t = Texts();
  if (runKind_ == RunKind::Folder) {
    Ctl(ControlId::ListButton).SetEnabled(true);
    Ctl(ControlId::FolderButton).SetCaption(t.folderIdle);
    state_.running = false;
    run_.ShowCompletion();
  } else {
    Ctl(ControlId::FolderButton).SetEnabled(true);
    state_.running = false;
    run_.ShowCompletion();
    Ctl(ControlId::ListButton).SetCaption(t.listIdle);
  }
  runKind_ = RunKind::None;
  OfferResults();
}

void BatchJob::OfferResults() {
  if (closeWanted_) return;
  state_.dialogOpen = true;  // no start while the question or the list is up
  const UndoAction undo = UndoOffer();
  if (state_.dryRun) {
    dialogs_.ShowResults(state_.results, true, undo);
  } else if (AskForResults(undo != nullptr)) {
    dialogs_.ShowResults(state_.results, false, undo);
  }
  state_.dialogOpen = false;
}

bool BatchJob::AskForResults(bool undoable) {
  const BatchTexts& t = Texts();
  if (const int lost = state_.failed + state_.convertedWithLosses; lost > 0) {
    return dialogs_.Ask(t.resultsHead + std::to_string(lost) + t.resultsTail, t.resultsTitle, kResultsQuestionFlags) ==
           kAnswerYes;
  }
  return undoable && dialogs_.Ask(t.undoableResults, t.resultsTitle, kUndoableQuestionFlags) == kAnswerYes;
}

UndoAction BatchJob::UndoOffer() {
  if (state_.dryRun || state_.running || undo::FoldersOfLastRun().empty()) return nullptr;
  return [this] { return UndoLastRun(); };
}

std::string BatchJob::UndoLastRun() {
  const BatchTexts& t = Texts();
  // Asked again at the click: a run may have come in between.
  if (state_.dryRun || state_.running || undo::FoldersOfLastRun().empty()) return std::string();
  if (platform::ShowMessage(t.undoQuestion, t.undoButton, kUndoQuestionFlags) != kAnswerOk) return std::string();
  const undo::Result result = undo::UndoLastRun();
  return UndoOutcome(result.restored, static_cast<int>(result.changed.size()), static_cast<int>(result.failed.size()));
}

std::string UndoOutcome(int restored, int changed, int failed) {
  const BatchTexts& t = Texts();
  std::string line = t.undoneHead + std::to_string(restored) + t.undoneTail;
  if (changed > 0) line += t.undoChangedHead + std::to_string(changed) + t.undoChangedTail;
  if (failed > 0) line += t.undoFailedHead + std::to_string(failed) + t.undoFailedTail;
  return line;
}

void BatchJob::OnFolderButtonClick(bool dryRun) {
  const BatchTexts& t = Texts();
  form::Control& button = Ctl(ControlId::FolderButton);
  if (button.Caption() != t.folderIdle) {
    StopClick(ControlId::FolderButton);
    return;
  }
  if (state_.running || state_.dialogOpen) return;  // one run at a time: a click can only stop

  const std::string title = t.folderTitleHead + Ctl(ControlId::FilterBox).Content() + t.folderTitleTail;
  state_.dialogOpen = true;
  std::string folder = dialogs_.BrowseForFolder(button.Tag(), title);
  state_.dialogOpen = false;
  if (folder.empty() || closeWanted_) return;

  button.SetTag(folder);
  BeginRun(RunKind::Folder, dryRun);
  run_.RunFolder(folder);
  EndRun();
}

void BatchJob::OnListButtonClick(bool dryRun) {
  const BatchTexts& t = Texts();
  form::Control& button = Ctl(ControlId::ListButton);
  if (button.Caption() != t.listIdle) {
    StopClick(ControlId::ListButton);
    return;
  }
  if (state_.running || state_.dialogOpen) return;

  state_.dialogOpen = true;
  const std::vector<std::string> files = dialogs_.OpenFiles(button.Tag(), t.listTitle, t.openFilter, kOpenFilesFlags);
  state_.dialogOpen = false;
  if (files.empty() || closeWanted_) return;

  button.SetTag(DirectoryOf(files.front()));
  BeginRun(RunKind::List, dryRun);
  run_.RunList(files);
  EndRun();
}

void BatchJob::OnDropItem(int count, int index, const std::string& path, const std::string& extension) {
  // A drop during a run is refused as a whole (the shell still releases it), and the
  // status line says why until the run shows its next file.
  if (state_.running || state_.dialogOpen) {
    collectingDrop_ = false;
    if (index == count) {
      SetStatus(Texts().dropRefused);
      state_.refusalShown = state_.running;
    }
    return;
  }
  if (index == 1) {
    state_.droppedFiles.clear();
    state_.droppedFolders.clear();
    collectingDrop_ = true;
  }
  if (!collectingDrop_) return;
  // A path whose attributes cannot be read counts as a folder; its pass lists nothing.
  if (platform::GetAttributes(path) & platform::kAttrDirectory) {
    state_.droppedFolders.push_back(path);
  } else {
    state_.droppedFiles.push_back(path);
  }
  if (index != count || count == 0) return;
  collectingDrop_ = false;

  const BatchTexts& t = Texts();
  std::string question = t.dropHead + std::to_string(state_.droppedFiles.size()) + t.dropFiles;
  if (!state_.droppedFolders.empty()) {
    question += t.dropAnd + std::to_string(state_.droppedFolders.size()) + t.dropFolders;
  }
  question += t.dropTail;
  state_.dialogOpen = true;
  const int answer = dialogs_.Ask(question, t.dropTitle, kDropQuestionFlags);
  state_.dialogOpen = false;
  if (answer != kAnswerOk || closeWanted_) return;
  RunDrop();
}

void BatchJob::RunDrop() {
  BeginRun(RunKind::Drop);
  // The lists are copied: they belong to the job and must not change under the run.
  const std::vector<std::string> files = state_.droppedFiles;
  const std::vector<std::string> folders = state_.droppedFolders;
  run_.RunDrop(files, folders);
  EndRun();
}

bool BatchJob::RequestClose() {
  if (!state_.running && !state_.dialogOpen) return true;
  closeWanted_ = true;
  if (state_.running) StopClick(runKind_ == RunKind::Folder ? ControlId::FolderButton : ControlId::ListButton);
  return false;
}

void BatchJob::SetStatus(const std::string& caption) {
  // A refused drop's line is not overwritten by the next file's progress; the
  // completion (shown once the run is no longer running) replaces it.
  if (state_.running && state_.refusalShown) return;
  Ctl(ControlId::StatusLabel).SetCaption(caption);
  if (statusObserver_) statusObserver_(caption);
}

void BatchJob::ShowLastResults() {
  if (state_.running || state_.dialogOpen || state_.results.empty()) return;
  state_.dialogOpen = true;
  dialogs_.ShowResults(state_.results, state_.dryRun, UndoOffer());
  state_.dialogOpen = false;
}

// The options, read from the controls whenever the run asks.
ConversionOptions BatchJob::OptionsFromControls() const {
  const IsChecked checked = [this](ControlId id) { return Ctl(id).Checked(); };
  ConversionOptions options;
  options.inputEncoding = EncodingOfGroup(checked, true);
  options.outputEncoding = EncodingOfGroup(checked, false);
  options.scriptConversion = ScriptOfButtons(checked);
  options.lineEndings = LineEndingFromIndex(Ctl(ControlId::LineEndings).Selection());
  options.withoutBom = Ctl(ControlId::WithoutBom).Checked();
  options.convertFileName = Ctl(ControlId::ConvertFileName).Checked();
  options.overwriteOriginal = Ctl(ControlId::Overwrite).Checked();
  return options;
}

void BatchJob::PassEncodings(EncodingChoice* input, EncodingChoice* output) const {
  const IsChecked checked = [this](ControlId id) { return Ctl(id).Checked(); };
  *input = EncodingOfGroup(checked, true);
  *output = EncodingOfGroup(checked, false);
}

std::string BatchJob::Filter() const { return Ctl(ControlId::FilterBox).Content(); }
bool BatchJob::SubFolders() const { return Ctl(ControlId::SubFolders).Checked(); }
bool BatchJob::Overwrite() const { return Ctl(ControlId::Overwrite).Checked(); }
void BatchJob::SetProgressMaximum(int maximum) { Ctl(ControlId::ProgressBar).SetProgressMaximum(maximum); }
void BatchJob::SetProgressPosition(int position) { Ctl(ControlId::ProgressBar).SetProgressPosition(position); }
void BatchJob::SetOutputFolder(const std::string& folder) { Ctl(ControlId::StatusLabel).SetTag(folder); }

}  // namespace cw::batch
