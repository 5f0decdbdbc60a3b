// The undo the result list offers: after which runs it is there, the question that leads
// to the list, the confirmation, and what the undo puts back.
#include "batch_fixture.h"
#include "convert/undo.h"

namespace cw::batch::test {
namespace {

class UndoOfferTest : public FolderTreeTest {
 protected:
  void TearDown() override {
    platform::SetMessageBoxHook(nullptr);
    FolderTreeTest::TearDown();
  }
  void ForgetDialogs() {
    dialogs.askCalls.clear();
    dialogs.shownResults.clear();
    dialogs.shownDryRun.clear();
    dialogs.shownUndo.clear();
  }
};

struct UndoRow {
  const char* name;
  bool overwrite;
  bool dryRun;
  bool failOne;          // a write fails: the list is offered after the failure
  bool editAfter;        // another program changes b.txt after the run
  int confirm;           // the answer to the undo's confirmation; 0: no undo offered
  const char* question;  // the question after the run; nullptr: none
  const char* outcome;   // the undo's line ("" when declined)
};

TEST_F(UndoOfferTest, TheListOffersTheUndoOfARunThatReplacedOriginals) {
  const char* undoable = u8"本次转换覆盖了原文件。\r\n要查看每个文件的结果吗？在结果列表中可以撤销本次转换。";
  const UndoRow rows[] = {
      {"overwrite", true, false, false, false, kAnswerOk, undoable, u8"已撤销：恢复 2 个文件"},
      {"declined", true, false, false, false, 2, undoable, ""},
      {"changed since", true, false, false, true, kAnswerOk, undoable,
       u8"已撤销：恢复 1 个文件，1 个文件在转换后又被改动，未恢复"},
      {"after a failure", true, false, true, false, kAnswerOk,
       u8"有 1 个文件未能转换或有损失。\r\n要查看每个文件的结果吗？", u8"已撤销：恢复 1 个文件"},
      {"output folder", false, false, false, false, 0, nullptr, ""},
      {"dry run after an overwrite run", true, true, false, false, 0, nullptr, ""},
  };
  const std::string original = W(u8"中文");
  const std::string edited = W(u8"另一个程序改过的内容");
  for (const UndoRow& row : rows) {
    SCOPED_TRACE(row.name);
    Put("a.txt");
    Put("b.txt");
    Ctl(Id::Overwrite).SetChecked(row.overwrite);
    if (row.dryRun) {
      RunFolder(root);  // an overwrite run first: the dry run must not offer its undo
      dialogs.folderAnswer = root;
      ForgetDialogs();
      job.OnFolderButtonClick(/*dryRun=*/true);
    } else {
      if (row.failOne) platform::InjectFailure(platform::Operation::Write, 2, platform::Status::DiskFull);
      dialogs.askAnswer = kAnswerYes;
      RunFolder(root);
      platform::ClearInjectedFailures();
    }
    ASSERT_EQ(dialogs.askCalls.size(), row.question ? 1u : 0u);
    if (row.question) {
      EXPECT_EQ(dialogs.askCalls[0].title, W(row.question));
      EXPECT_EQ(dialogs.askCalls[0].flags, row.failOne ? kResultsQuestionFlags : kUndoableQuestionFlags);
    }
    const UndoAction offer = dialogs.shownUndo.empty() ? nullptr : dialogs.shownUndo.back();
    EXPECT_EQ(offer != nullptr, row.confirm != 0);
    EXPECT_EQ(job.UndoOffer() != nullptr, row.confirm != 0) << "the list shown again offers the same";
    if (row.confirm == 0) {
      ForgetDialogs();
      continue;
    }
    if (row.editAfter) WriteFileBytes(root + "\\b.txt", edited);
    std::vector<std::string> asked;
    platform::SetMessageBoxHook([&](const std::string& text, const std::string& caption, uint32_t flags) {
      asked.push_back(text);
      EXPECT_EQ(caption, W(u8"撤销本次转换"));
      EXPECT_EQ(flags, kUndoQuestionFlags);
      return row.confirm;
    });
    EXPECT_EQ(offer(), W(row.outcome));
    EXPECT_EQ(asked, std::vector<std::string>{W(u8"撤销本次转换：把本次覆盖的文件恢复为原文件？")});
    if (row.confirm == kAnswerOk) {
      EXPECT_EQ(ReadFileBytes(root + "\\a.txt"), original);
      EXPECT_EQ(ReadFileBytes(root + "\\b.txt"), row.editAfter ? edited : original);
      EXPECT_EQ(job.UndoOffer(), nullptr) << "nothing left to undo";
      EXPECT_EQ(offer(), "") << "a second click does nothing";
      EXPECT_EQ(asked.size(), 1u);
    } else {
      EXPECT_TRUE(Converted(root + "\\a.txt"));
      EXPECT_NE(job.UndoOffer(), nullptr) << "still there to be undone";
      ASSERT_TRUE(undo::UndoLastRun().restored > 0);  // leaves the next row a clean folder
    }
    ForgetDialogs();
  }
  // Files that could not be put back are said last.
  EXPECT_EQ(UndoOutcome(3, 0, 2), W(u8"已撤销：恢复 3 个文件，2 个文件无法恢复"));
}

}  // namespace
}  // namespace cw::batch::test
