// Shared fixture of the batch tests: a fresh main window in memory, scripted dialogs,
// a real temporary folder, the status captions as the label showed them, and a pump
// hook through which a test clicks, drops or edits in the middle of a run.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "batch/batch_job.h"
#include "form/main_window.h"
#include "platform/platform.h"
#include "support/temp_dir.h"

namespace cw::batch::test {

using cw::test::PathExists;
using cw::test::ReadFileBytes;
using cw::test::TempDir;
using cw::test::W;
using cw::test::WriteFileBytes;
using Id = form::ControlId;

// Answers the dialogs from what the test put in, and keeps what each was asked.
class ScriptedDialogs : public Dialogs {
 public:
  std::string folderAnswer;
  std::vector<std::string> filesAnswer;
  int askAnswer = kAnswerOk;

  struct Call {
    std::string initialFolder;
    std::string title;
    std::string filter;
    uint32_t flags = 0;
  };
  std::vector<Call> browseCalls;
  std::vector<Call> openCalls;
  std::vector<Call> askCalls;  // title holds the question, filter the caption

  std::string BrowseForFolder(const std::string& initialFolder, const std::string& title) override {
    browseCalls.push_back({initialFolder, title, "", 0});
    return folderAnswer;
  }
  std::vector<std::string> OpenFiles(const std::string& initialFolder, const std::string& title,
                                     const std::string& filter, uint32_t flags) override {
    openCalls.push_back({initialFolder, title, filter, flags});
    return filesAnswer;
  }
  int Ask(const std::string& text, const std::string& caption, uint32_t flags) override {
    askCalls.push_back({"", text, caption, flags});
    return askAnswer;
  }
  std::vector<std::vector<FileResult>> shownResults;
  std::vector<bool> shownDryRun;
  std::vector<UndoAction> shownUndo;  // the undo each list offered (empty: none)
  void ShowResults(const std::vector<FileResult>& results, bool dryRun, const UndoAction& undo) override {
    shownResults.push_back(results);
    shownDryRun.push_back(dryRun);
    shownUndo.push_back(undo);
  }
};

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RunIdentity();  // its lock file is no Write of a conversion
    job.SetStatusObserver([this](const std::string&) {
      captions.push_back(Ctl(Id::StatusLabel).Caption());
      bars.emplace_back(Ctl(Id::ProgressBar).ProgressPosition(), Ctl(Id::ProgressBar).ProgressMaximum());
    });
    platform::SetPumpHook([this] {
      ++pumps;
      if (onPump) onPump();
    });
  }
  void TearDown() override {
    platform::SetPumpHook(nullptr);
    platform::ClearInjectedFailures();
  }

  form::Control& Ctl(Id id) { return *form::Find(*window, id); }
  std::string Caption(Id id) { return Ctl(id).Caption(); }

  // GBK in, UTF-8 with its mark out: every converted file is easy to recognise.
  void UseGbkToUtf8() {
    Ctl(Id::InputAnsi).SetChecked(true);
    Ctl(Id::OutputUtf8).SetChecked(true);
  }
  static std::string Utf8WithMark(const std::string& utf8) { return "\xEF\xBB\xBF" + utf8; }

  void RunFolder(const std::string& folder) {
    dialogs.folderAnswer = folder;
    job.OnFolderButtonClick();
  }
  // The drop of these paths, item by item as the shell delivers them.
  void Drop(const std::vector<std::string>& paths) {
    const int count = static_cast<int>(paths.size());
    for (int i = 0; i < count; ++i) job.OnDropItem(count, i + 1, paths[static_cast<size_t>(i)], "");
  }
  std::string Completion(const std::string& folder) { return W(u8"转换完成！点击可打开目录：") + folder; }
  // The file captions ("(n:i) name") shown so far.
  std::vector<std::string> FileCaptions() const {
    std::vector<std::string> files;
    for (const std::string& c : captions) {
      if (!c.empty() && c[0] == '(') files.push_back(c);
    }
    return files;
  }

  TempDir dir;
  std::unique_ptr<form::MemoryWindow> window = form::NewMainWindow();
  ScriptedDialogs dialogs;
  BatchJob job{*window, dialogs};
  std::vector<std::string> captions;
  std::vector<std::pair<int, int>> bars;  // the progress bar with each caption: position, maximum
  std::function<void()> onPump;
  int pumps = 0;
};

// A source folder "top\docs" of GBK files; converted files are UTF-8 with the mark.
class FolderTreeTest : public BatchTest {
 protected:
  void SetUp() override {
    BatchTest::SetUp();
    UseGbkToUtf8();
    parent = dir.Join("top");
    root = parent + "\\docs";
    out = root + W(u8"(已转换)");
  }
  void Put(const std::string& relative, const char* utf8 = u8"中文") {
    WriteFileBytes(root + "\\" + relative, W(utf8));
  }
  bool Converted(const std::string& outputPath, const char* utf8 = u8"中文") {
    return ReadFileBytes(outputPath) == Utf8WithMark(utf8);
  }

  std::string parent;  // a run on it writes beside it, still inside the temporary folder
  std::string root;
  std::string out;
};

}  // namespace cw::batch::test
