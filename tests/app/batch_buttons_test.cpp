// The batch buttons and the drop on the real window: real folders converted through
// scripted dialogs, the captions while running and when idle, the stop click, the drop
// question, and a close request in the middle of a run.
#include "app/results_dialog.h"
#include "app/status_line.h"
#include "app_fixture.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdlib>

namespace cw::app::test {
namespace {

// What the window showed at one moment inside a run.
struct Seen {
  std::string folderCaption;
  std::string listCaption;
  bool folderEnabled = true;
  bool listEnabled = true;
};

class BatchButtonsTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    source = temp.Join("docs");
    // GBK text, as Notepad on a Chinese Windows saves it.
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
      WriteFileBytes(source + "\\" + name, W("澄文坊：编码转换\r\n第二行"));
    }
    Start();
  }

  // Posted before a click, this runs inside the batch's first pump.
  void PostLook() {
    probe.Post([this] {
      seen.push_back({WindowText(Handle(Id::FolderButton)), WindowText(Handle(Id::ListButton)),
                      IsWindowEnabled(Handle(Id::FolderButton)) != FALSE,
                      IsWindowEnabled(Handle(Id::ListButton)) != FALSE});
    });
  }
  void ExpectIdle() {
    EXPECT_EQ(WindowText(Handle(Id::FolderButton)), W(" 批量转换(文件夹方式)"));
    EXPECT_EQ(WindowText(Handle(Id::ListButton)), W("批量转换"));
    EXPECT_TRUE(IsWindowEnabled(Handle(Id::FolderButton)));
    EXPECT_TRUE(IsWindowEnabled(Handle(Id::ListButton)));
  }
  std::string Output(const char* name) { return ReadFileBytes(source + W("(已转换)\\") + name); }

  std::string source;
  Probe probe;
  std::vector<Seen> seen;
};

TEST_F(BatchButtonsTest, ShiftClickIsADryRunThatWritesNothingAndShowsTheList) {
  dialogs.folderAnswer = source;
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_SHIFT] = 0x80;
  SetKeyboardState(keys);
  Click(Id::FolderButton);
  keys[VK_SHIFT] = 0;
  SetKeyboardState(keys);
  EXPECT_FALSE(PathExists(source + W("(已转换)")));
  ASSERT_EQ(dialogs.shownResults.size(), 1u);
  EXPECT_TRUE(dialogs.shownDryRun[0]);
  EXPECT_EQ(dialogs.shownResults[0].size(), 4u);
  EXPECT_EQ(WindowText(Handle(Id::StatusLabel)), W("试运行完成，未写入任何文件：共 4 个文件，其中 0 个无法转换"));
  ExpectIdle();

  // Without Shift the same click converts.
  Click(Id::FolderButton);
  EXPECT_TRUE(PathExists(source + W("(已转换)\\a.txt")));
  EXPECT_EQ(dialogs.shownResults.size(), 1u);
}

TEST_F(BatchButtonsTest, ResultWindowListsEachFileAndCopiesTheList) {
  std::vector<batch::FileResult> rows(3);
  rows[0].source = source + "\\a.txt";
  rows[0].output = source + W("(已转换)\\a.txt");
  rows[0].status = ConvertStatus::ConvertedWithLosses;
  rows[0].readAs = EncodingChoice::Ansi;
  rows[0].losses.undecodable = 2;
  rows[0].lossCharset = "GBK";
  rows[1].source = source + "\\b.txt";
  rows[1].output = source + W("(已转换)\\b.txt");
  rows[1].status = ConvertStatus::WriteFailed;
  rows[1].readAs = EncodingChoice::Utf8;
  rows[1].cause = platform::Status::SharingViolation;
  rows[2].source = source + "\\c.dat";
  rows[2].output = source + "\\c.dat";
  rows[2].status = ConvertStatus::NotText;
  rows[2].readAs = EncodingChoice::Ansi;
  HWND window = CreateResultsWindow(Main(), rows, false);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetWindow(window, GW_OWNER), Main());
  HWND list = GetDlgItem(window, kResultsListId);
  ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
  auto cell = [list](int row, int column) {
    wchar_t buffer[512] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return Narrow(buffer);
  };
  // The name first, its folder after; every heading and word in Chinese.
  EXPECT_EQ(cell(0, 0), "a.txt");
  EXPECT_EQ(cell(0, 1), source);
  EXPECT_EQ(cell(0, 2), W("已转换（有损失）"));
  EXPECT_EQ(cell(0, 3), "ANSI (GBK)");
  EXPECT_EQ(cell(0, 4), W("2 处字节不是有效的 GBK"));
  EXPECT_EQ(cell(1, 2), W("无法写入输出文件"));
  EXPECT_EQ(cell(1, 3), "UTF-8");
  EXPECT_EQ(cell(1, 4), W("文件正被其他程序使用"));
  EXPECT_EQ(cell(2, 2), W("不是文本文件，未转换"));
  EXPECT_EQ(cell(2, 4), W("含 00 字节，不是文本文件"));
  EXPECT_EQ(cell(2, 6), source + "\\c.dat");
  wchar_t heading[64] = {};
  LVCOLUMNW column = {};
  column.mask = LVCF_TEXT;
  column.pszText = heading;
  column.cchTextMax = 63;
  SendMessageW(list, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  EXPECT_EQ(Narrow(heading), W("文件名"));

  SendMessageW(GetDlgItem(window, kResultsCopyId), BM_CLICK, 0, 0);
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  const std::wstring copied = data ? static_cast<const wchar_t*>(GlobalLock(data)) : L"";
  if (data) GlobalUnlock(data);
  CloseClipboard();
  EXPECT_EQ(Narrow(copied), batch::ResultsText(rows, false));

  // Closing it ends the modal loop and gives the main window back.
  PostMessageW(window, WM_CLOSE, 0, 0);
  RunResultsWindow(Main(), window);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(IsWindowEnabled(Main()));
}

TEST_F(BatchButtonsTest, ClickOnTheFailurePartOfTheCompletionLineShowsTheList) {
  Click(Id::OutputUtf8);
  platform::InjectFailure(platform::Operation::Write, 2, platform::Status::DiskFull);
  dialogs.folderAnswer = source;
  dialogs.askAnswer = IDNO;  // the question at the end of the run is declined
  Click(Id::FolderButton);
  platform::ClearInjectedFailures();
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_TRUE(dialogs.shownResults.empty());
  HWND label = Handle(Id::StatusLabel);
  const std::wstring caption = Wide(WindowText(label));
  // The counts end the line: converted so far, then the failure.
  const std::wstring failure = WideFromUtf8(u8" 个已转换，1 个失败）");
  ASSERT_EQ(caption.substr(caption.size() - failure.size()), failure);

  // The failure part ends the drawn line, whatever the path gave way: a click just
  // before the line's end.
  const std::wstring drawn = DrawnStatusText(label, Wide(Get(Id::StatusLabel)->Tag()));
  ASSERT_EQ(drawn.substr(drawn.size() - failure.size()), failure);
  RECT area;
  GetClientRect(label, &area);
  SendMessageW(label, WM_LBUTTONDOWN, MK_LBUTTON,
               MAKELPARAM(std::min<int>(StatusTextWidth(label, drawn), area.right) - 3, 5));
  ASSERT_EQ(dialogs.shownResults.size(), 1u);
  EXPECT_FALSE(dialogs.shownDryRun[0]);
  EXPECT_EQ(dialogs.shownResults[0].size(), 4u);
}

// Saves what the screen shows of a window as a 24-bit BMP file.
void SaveWindowImage(HWND window, const std::string& path) {
  RECT area;
  GetWindowRect(window, &area);
  SaveScreenArea(area, path);
}

// Run by hand with CW_SCREENSHOTS set to a folder: the completion line after a run with
// a failure, and the result window of that run, as images for the documentation.
TEST_F(BatchButtonsTest, DISABLED_Screenshots) {
  const char* folder = std::getenv("CW_SCREENSHOTS");
  if (!folder) GTEST_SKIP() << "CW_SCREENSHOTS names the folder for the images";
  ShowWindow(Main(), SW_SHOWNORMAL);
  Click(Id::OutputUtf8);
  platform::InjectFailure(platform::Operation::Write, 2, platform::Status::DiskFull);
  dialogs.folderAnswer = source;
  dialogs.askAnswer = IDNO;
  Click(Id::FolderButton);
  platform::ClearInjectedFailures();
  PumpFor(500);
  SaveWindowImage(Main(), std::string(folder) + "\\completion.bmp");
  HWND results = CreateResultsWindow(Main(), app->Window().Batch().State().results, false);
  PumpFor(500);
  SaveWindowImage(results, std::string(folder) + "\\results.bmp");
  DestroyWindow(results);
}

TEST_F(BatchButtonsTest, FolderButtonConvertsTheChosenFolder) {
  Click(Id::OutputUtf8);
  dialogs.folderAnswer = source;
  PostLook();
  Click(Id::FolderButton);

  ASSERT_EQ(dialogs.browseTitles.size(), 1u);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].folderCaption, W(" 点我停止"));
  EXPECT_EQ(seen[0].listCaption, W("批量转换"));
  EXPECT_FALSE(seen[0].listEnabled);
  ExpectIdle();
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
    EXPECT_EQ(Output(name), std::string("\xEF\xBB\xBF") + "澄文坊：编码转换\r\n第二行") << name;
  }
  EXPECT_EQ(WindowText(Handle(Id::StatusLabel)), W("转换完成！点击可打开目录：") + source + W("(已转换)"));
  EXPECT_EQ(Get(Id::StatusLabel)->Tag(), source + W("(已转换)"));
  EXPECT_EQ(Get(Id::FolderButton)->Tag(), source) << "the folder is remembered";
  EXPECT_EQ(SendMessageW(Handle(Id::ProgressBar), PBM_GETPOS, 0, 0), 4);
}

TEST_F(BatchButtonsTest, StopClickEndsTheRunAfterTheCurrentFile) {
  dialogs.folderAnswer = source;
  PostLook();
  PostClick(Id::FolderButton);  // the second click means stop
  PostLook();
  Click(Id::FolderButton);

  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].folderCaption, W(" 点我停止"));
  EXPECT_EQ(seen[1].folderCaption, W(" 停止中.."));
  ExpectIdle();
  int converted = 0;
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) converted += Output(name).empty() ? 0 : 1;
  EXPECT_EQ(converted, 1);
  EXPECT_EQ(dialogs.browseTitles.size(), 1u) << "the stop click asks nothing";
}

TEST_F(BatchButtonsTest, ListButtonConvertsTheChosenFiles) {
  Click(Id::OutputUtf16Le);
  dialogs.filesAnswer = {source + "\\b.txt", source + "\\d.txt"};
  PostLook();
  Click(Id::ListButton);

  ASSERT_EQ(dialogs.openTitles.size(), 1u);
  EXPECT_EQ(dialogs.openTitles[0], W("选择要批量转换的多个文件："));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].listCaption, W("点我停止"));
  EXPECT_FALSE(seen[0].folderEnabled);
  ExpectIdle();
  EXPECT_EQ(Output("b.txt").substr(0, 4), std::string("\xFF\xFE\x84\x6F", 4)) << "UTF-16LE with its mark";
  EXPECT_FALSE(Output("d.txt").empty());
  EXPECT_TRUE(Output("a.txt").empty()) << "only the chosen files";
  EXPECT_EQ(Get(Id::ListButton)->Tag(), source);
}

TEST_F(BatchButtonsTest, DropAsksOnceAndConvertsFilesAndFolders) {
  WriteFileBytes(source + W("\\子目录\\e.txt"), W("子目录里的文件"));
  Click(Id::OutputUtf8);
  HDROP drop = MakeDrop({source + "\\a.txt", source + "\\c.txt", source + W("\\子目录")});
  SendMessageW(Main(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);

  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0], W("确定要转换被拖放的 2 个文件和 1 个目录的编码吗？"));
  EXPECT_EQ(dialogs.questionCaptions[0], W("信息："));
  EXPECT_EQ(dialogs.questionFlags[0], uint32_t{MB_OKCANCEL | MB_TASKMODAL});
  EXPECT_FALSE(Output("a.txt").empty());
  EXPECT_FALSE(Output("c.txt").empty());
  EXPECT_TRUE(Output("b.txt").empty());
  EXPECT_EQ(Output(W("子目录\\e.txt").c_str()), std::string("\xEF\xBB\xBF") + "子目录里的文件")
      << "a dropped folder goes under the dropped files' output folder";
  ExpectIdle();
}

TEST_F(BatchButtonsTest, CancelledDropConvertsNothing) {
  dialogs.askAnswer = IDCANCEL;
  SendMessageW(Main(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({source + "\\a.txt"})), 0);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0], W("确定要转换被拖放的 1 个文件的编码吗？"));
  EXPECT_FALSE(PathExists(source + W("(已转换)")));
  EXPECT_EQ(WindowText(Handle(Id::StatusLabel)), "");
}

TEST_F(BatchButtonsTest, CloseDuringARunStopsAfterTheCurrentFileThenCloses) {
  dialogs.folderAnswer = source;
  HWND window = Main();
  probe.Post([window] { SendMessageW(window, WM_CLOSE, 0, 0); });
  PostLook();
  Click(Id::FolderButton);

  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].folderCaption, W(" 停止中..")) << "the close asked the run to stop";
  int converted = 0;
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) converted += Output(name).empty() ? 0 : 1;
  EXPECT_EQ(converted, 1);
  PumpFor(50);
  EXPECT_FALSE(IsWindow(window)) << "the window closes once the run has ended";
  // The close saved the options, with the folder just chosen.
  EXPECT_NE(ReadFileBytes(settingsPath).find(W("按钮批量转换文件夹.标记=") + source), std::string::npos);
}

}  // namespace
}  // namespace cw::app::test
