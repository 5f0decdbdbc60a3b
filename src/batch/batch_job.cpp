// The three ways of starting a batch (folder button, list button, drop), the stop
// request, and the running state shown in the two buttons' captions.
#include "batch/batch_job.h"

#include "batch/batch_paths.h"
#include "batch/batch_texts.h"
#include "encoding/charset.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw::batch {
namespace {

struct ControlName {
  const char* nameUtf8;
  form::Kind kind;
};

// In the order of BatchJob::ControlId.
const ControlName kControlNames[] = {
    {u8"按钮批量转换文件夹", form::Kind::PushButton},
    {u8"按钮批量转换", form::Kind::PushButton},
    {u8"透明标签", form::Kind::Label},
    {u8"进度条", form::Kind::ProgressBar},
    {u8"编辑框文件过滤", form::Kind::EditBox},
    {u8"选择框包含子文件夹", form::Kind::CheckBox},
    {u8"选择框覆盖原文件", form::Kind::CheckBox},
    {u8"选择框不带BOM", form::Kind::CheckBox},
    {u8"选择框同时转换文件名", form::Kind::CheckBox},
    {u8"组合框换行格式", form::Kind::ComboBox},
    {u8"单选框输入ANSI", form::Kind::RadioButton},
    {u8"单选框输入UTF8", form::Kind::RadioButton},
    {u8"单选框输入Ule", form::Kind::RadioButton},
    {u8"单选框输入Ube", form::Kind::RadioButton},
    {u8"单选框输出ANSI", form::Kind::RadioButton},
    {u8"单选框输出UTF8", form::Kind::RadioButton},
    {u8"单选框输出Ule", form::Kind::RadioButton},
    {u8"单选框输出Ube", form::Kind::RadioButton},
    {u8"单选框不转", form::Kind::RadioButton},
    {u8"单选框简到繁", form::Kind::RadioButton},
    {u8"单选框繁到简", form::Kind::RadioButton},
    {u8"单选框简到b5", form::Kind::RadioButton},
    {u8"单选框繁到b5", form::Kind::RadioButton},
    {u8"单选框b5到简", form::Kind::RadioButton},
    {u8"单选框b5到繁", form::Kind::RadioButton},
};
static_assert(sizeof(kControlNames) / sizeof(kControlNames[0]) == 25, "one name per control id");

}  // namespace

BatchJob::BatchJob(form::Window& window, Dialogs& dialogs) : window_(window), dialogs_(dialogs) {}

form::Control& BatchJob::Ctl(ControlId id) const {
  form::Control*& control = controls_[id];
  if (control == nullptr) {
    const std::string name = FromUtf8(kControlNames[id].nameUtf8);
    control = window_.Find(name);
    // Each spare stands in for its own name and is made by each radio button's own
    // container, so that checking one never clears another.
    if (control == nullptr) control = spare_.Add(name, kControlNames[id].kind, name);
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
  Ctl(button).SetCaption(button == kFolderButton ? t.folderStopping : t.listStopping);
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
    Ctl(kFolderButton).SetCaption(t.folderRunning);
    Ctl(kListButton).SetEnabled(false);
  } else {
    // A drop run stops through the list button, as a list run does.
    Ctl(kListButton).SetCaption(t.listRunning);
    Ctl(kFolderButton).SetEnabled(false);
  }
}

void BatchJob::EndRun() {
  const BatchTexts& t = Texts();
  if (runKind_ == RunKind::Folder) {
    Ctl(kListButton).SetEnabled(true);
    Ctl(kFolderButton).SetCaption(t.folderIdle);
    state_.running = false;
    ShowCompletion();
  } else {
    Ctl(kFolderButton).SetEnabled(true);
    state_.running = false;
    ShowCompletion();
    Ctl(kListButton).SetCaption(t.listIdle);
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
  } else if (state_.failed > 0 &&
             dialogs_.Ask(t.resultsHead + std::to_string(state_.failed) + t.resultsTail, t.resultsTitle,
                          kResultsQuestionFlags) == kAnswerYes) {
    dialogs_.ShowResults(state_.results, false);
  }
  state_.dialogOpen = false;
}

void BatchJob::OnFolderButtonClick(bool dryRun) {
  const BatchTexts& t = Texts();
  form::Control& button = Ctl(kFolderButton);
  if (button.Caption() != t.folderIdle) {
    StopClick(kFolderButton);
    return;
  }
  if (state_.running || state_.dialogOpen) return;  // one run at a time: a click can only stop

  const std::string title = t.folderTitleHead + Ctl(kFilterBox).Content() + t.folderTitleTail;
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
  form::Control& button = Ctl(kListButton);
  if (button.Caption() != t.listIdle) {
    StopClick(kListButton);
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
  if (state_.running) StopClick(runKind_ == RunKind::Folder ? kFolderButton : kListButton);
  return false;
}

}  // namespace cw::batch
