// The result list's "撤销本次转换" on the real window: there after an overwrite run, and it
// puts the originals back byte for byte; absent after a dry run or a run into "(已转换)".
#include "app/results_dialog.h"
#include "app_fixture.h"
#include "platform/platform.h"

namespace cw::app::test {
namespace {

class ResultsUndoTest : public AppTest {
 protected:
  void TearDown() override {
    platform::SetMessageBoxHook(nullptr);
    AppTest::TearDown();
  }
  // The result window of the latest list the batch showed, with the undo it offered.
  HWND LatestList() {
    return CreateResultsWindow(Main(), dialogs.shownResults.back(), dialogs.shownDryRun.back(),
                               dialogs.shownUndo.back());
  }
  void CloseList(HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    RunResultsWindow(Main(), window);
  }
  void ShiftClick(Id id) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    Click(id);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
  }
};

TEST_F(ResultsUndoTest, TheButtonPutsTheOriginalsBackAndIsThereOnlyAfterAnOverwriteRun) {
  const std::string source = temp.Join("docs");
  const std::string original = W("澄文坊：编码转换\r\n第二行");
  for (const char* name : {"a.txt", "b.txt"}) WriteFileBytes(source + "\\" + name, original);
  Start();
  Click(Id::OutputUtf8);
  dialogs.folderAnswer = source;
  dialogs.askAnswer = IDYES;

  // Into "(已转换)": nothing replaced, so no question and no list.
  Click(Id::FolderButton);
  EXPECT_TRUE(dialogs.questions.empty());
  EXPECT_TRUE(dialogs.shownResults.empty());

  // A dry run over the originals: its list has no undo.
  Click(Id::Overwrite);
  ShiftClick(Id::FolderButton);
  ASSERT_EQ(dialogs.shownUndo.size(), 1u);
  HWND window = LatestList();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetDlgItem(window, kResultsUndoId), nullptr);
  CloseList(window);

  // The overwrite run: the question leads to the list, and the list to the undo.
  Click(Id::FolderButton);
  ASSERT_EQ(ReadFileBytes(source + "\\a.txt"), "\xEF\xBB\xBF" + std::string(u8"澄文坊：编码转换\r\n第二行"));
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0],
            W("本次转换覆盖了原文件。\r\n要查看每个文件的结果吗？在结果列表中可以撤销本次转换。"));
  ASSERT_EQ(dialogs.shownUndo.size(), 2u);
  window = LatestList();
  HWND button = GetDlgItem(window, kResultsUndoId);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(WindowText(button), W("撤销本次转换"));
  EXPECT_TRUE(IsWindowEnabled(button));
  std::vector<std::string> asked;
  platform::SetMessageBoxHook([&](const std::string& text, const std::string&, uint32_t) {
    asked.push_back(text);
    return IDOK;
  });
  SendMessageW(button, BM_CLICK, 0, 0);
  EXPECT_EQ(asked, std::vector<std::string>{W("撤销本次转换：把本次覆盖的文件恢复为原文件？")});
  EXPECT_EQ(ReadFileBytes(source + "\\a.txt"), original);
  EXPECT_EQ(ReadFileBytes(source + "\\b.txt"), original);
  EXPECT_EQ(WindowText(GetDlgItem(window, kResultsUndoLineId)), W("已撤销：恢复 2 个文件"));
  EXPECT_FALSE(IsWindowEnabled(button)) << "nothing more to undo";
  SendMessageW(button, BM_CLICK, 0, 0);
  EXPECT_EQ(asked.size(), 1u);
  CloseList(window);
  EXPECT_TRUE(IsWindowEnabled(Main()));
}

}  // namespace
}  // namespace cw::app::test
