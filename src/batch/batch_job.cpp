// The three ways of starting a batch (folder button, list button, drop), the stop
// request, and the running state shown in the two buttons' captions.
#include "batch/batch_job.h"

#include "batch/batch_paths.h"
#include "batch/batch_texts.h"
#include "encoding/charset.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw::batch {
using form::ControlId;

BatchJob::BatchJob(form::Window& window, Dialogs& dialogs) : window_(window), dialogs_(dialogs) {}

form::Control& BatchJob::Ctl(ControlId id) const {
  form::Control*& control = controls_[static_cast<int>(id)];
  if (control == nullptr) {
    const form::ControlSpec& spec = form::SpecOf(id);
    control = window_.Find(spec.name);
    // Each spare stands in for its own name and is made by each radio button's own
    // container, so that checking one never clears another.
    if (control == nullptr) control = spare_.Add(spec.name, spec.kind, spec.name);
  }
  return *control;
}

void BatchJob::SetStatusObserver(std::function<void(const std::string&)> observer) {
  statusObserver_ = std::move(observer);
}

void BatchJob::SetFileObserver(std::function<void(const FileOutcome&)> observer) {
  fileObserver_ = std::move(observer);
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
  state_.dryRun = dryRun;
  state_.results.clear();
  state_.stopRequested = false;
  state_.found = 0;
  state_.converted = 0;
  state_.failed = 0;
  state_.failures.clear();
  state_.record = RunRecord();
  state_.convertedWithLosses = 0;
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
    ShowCompletion();
  } else {
    Ctl(ControlId::FolderButton).SetEnabled(true);
    state_.running = false;
    ShowCompletion();
    Ctl(ControlId::ListButton).SetCaption(t.listIdle);
  }
  runKind_ = RunKind::None;
  OfferResults();
}

void BatchJob::OfferResults() {
  if (closeWanted_) return;
  const BatchTexts& t = Texts();
  state_.dialogOpen = true;  // no start while the question or the list is up
  if (state_.dryRun) {
    dialogs_.ShowResults(state_.results, true);
  } else if (const int lost = state_.failed + state_.convertedWithLosses;
             lost > 0 && dialogs_.Ask(t.resultsHead + std::to_string(lost) + t.resultsTail, t.resultsTitle,
                                      kResultsQuestionFlags) == kAnswerYes) {
    dialogs_.ShowResults(state_.results, false);
  }
  state_.dialogOpen = false;
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
  state_.batchRoot = folder;
  BeginRun(RunKind::Folder, dryRun);
  RunBatch(folder, nullptr);
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
  state_.batchRoot = DirectoryOf(files.front());
  std::string noFolder;
  RunBatch(noFolder, &files);
  EndRun();
}

void BatchJob::OnDropItem(int count, int index, const std::string& path, const std::string& extension) {
  // A drop during a run is refused as a whole (the shell still releases it), and the
  // status line says why until the run shows its next file.
  if (state_.running || state_.dialogOpen) {
    collectingDrop_ = false;
    if (index == count) SetStatus(Texts().dropRefused);
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
  bool rootFromFiles = false;
  if (!files.empty()) {
    state_.batchRoot = DirectoryOf(files.front());
    std::string noFolder;
    RunBatch(noFolder, &files);
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
  EndRun();
}

bool BatchJob::RequestClose() {
  if (!state_.running && !state_.dialogOpen) return true;
  closeWanted_ = true;
  if (state_.running) StopClick(runKind_ == RunKind::Folder ? ControlId::FolderButton : ControlId::ListButton);
  return false;
}

}  // namespace cw::batch
