// The file manager's command lines and the starting of programs.
#include "app/window_commands.h"
#include "app_fixture.h"

namespace cw::app::test {
namespace {

std::string CommandFor(std::string path, bool newWindow, bool openItself, bool rootAtParent) {
  ExplorerOptions options;
  options.newWindow = newWindow;
  options.openItself = openItself;
  options.rootAtParent = rootAtParent;
  return ExplorerCommandLine(path, options);
}

TEST(ExplorerCommandLine, IsBuiltPieceByPiece) {
  const std::string out = W("D:\\docs(已转换)");
  // What a click on the completion prompt runs: a new window on the folder itself.
  EXPECT_EQ(CommandFor(out, true, true, false), W("explorer /n,\"D:\\docs(已转换)\""));
  EXPECT_EQ(CommandFor(out, false, false, false), W("explorer /e,/select,\"D:\\docs(已转换)\""));
  EXPECT_EQ(CommandFor("D:\\my docs\\a b.txt", false, false, false), "explorer /e,/select,\"D:\\my docs\\a b.txt\"")
      << "blanks stay inside the quotes";
  EXPECT_EQ(CommandFor("D:\\docs\\a.txt", true, false, true), "explorer /n,/root,\"D:\\docs\"");
  EXPECT_EQ(CommandFor("D:\\docs\\a.txt", false, true, true), "explorer /e,/root,\"D:\\docs\"");
  EXPECT_EQ(CommandFor("docs", false, false, true), "explorer /e,/root,\"docs\"") << "no backslash: no cut";

  std::string path = W("D:\\文档\\子目录\\a.txt");
  ExplorerOptions atParent;
  atParent.rootAtParent = true;
  ExplorerCommandLine(path, atParent);
  EXPECT_EQ(path, W("D:\\文档\\子目录")) << "the path is cut in place";
}

TEST(ShowWindowValue, MapsAndClampsTheShowModes) {
  EXPECT_EQ(ShowWindowValue(1), SW_HIDE);
  EXPECT_EQ(ShowWindowValue(2), SW_SHOWNORMAL);
  EXPECT_EQ(ShowWindowValue(3), SW_SHOWMINIMIZED);
  EXPECT_EQ(ShowWindowValue(4), SW_SHOWMAXIMIZED);
  EXPECT_EQ(ShowWindowValue(5), SW_SHOWNOACTIVATE);
  EXPECT_EQ(ShowWindowValue(6), SW_SHOWMINNOACTIVE);
  EXPECT_EQ(ShowWindowValue(0), SW_HIDE);
  EXPECT_EQ(ShowWindowValue(-3), SW_HIDE);
  EXPECT_EQ(ShowWindowValue(9), SW_SHOWMINNOACTIVE);
}

struct TitleSearch {
  std::wstring part;
  HWND found;
};
BOOL CALLBACK FindTitled(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<TitleSearch*>(data);
  wchar_t title[512] = {};
  GetWindowTextW(window, title, 511);
  if (!IsWindowVisible(window) || std::wstring(title).find(search->part) == std::wstring::npos) return TRUE;
  search->found = window;
  return FALSE;
}

// What a click on the completion line does: the folder opens in a file-manager window
// of its own (under Wine too, whose explorer takes "/n," for its desktop).
TEST(OpenFolder, ShowsTheFolderInAFileManagerWindow) {
  TempDir temp;
  const std::string folder = temp.Join(W("打开我(已转换)"));
  WriteFileBytes(folder + "\\a.txt", "a");
  ASSERT_TRUE(OpenFolder(folder));
  TitleSearch search = {WideFromUtf8(u8"打开我(已转换)"), nullptr};
  for (int i = 0; i < 100 && !search.found; ++i) {
    Sleep(100);
    EnumWindows(&FindTitled, reinterpret_cast<LPARAM>(&search));
  }
  ASSERT_NE(search.found, nullptr) << "no window shows the folder";
  PostMessageW(search.found, WM_CLOSE, 0, 0);
  EXPECT_FALSE(OpenFolder(temp.Join("missing"))) << "a folder that is not there is not opened";
}

class RunCommandLineTest : public ::testing::Test {
 protected:
  TempDir temp;
};

TEST_F(RunCommandLineTest, WaitsForTheProgramWhenAsked) {
  const std::string marker = temp.Join(W("标记.txt"));
  EXPECT_TRUE(RunCommandLine("cmd.exe /c echo done> \"" + marker + "\"", true, 1));
  EXPECT_TRUE(PathExists(marker)) << "the program had ended when the call returned";
}

TEST_F(RunCommandLineTest, ReportsAProgramThatCannotStart) {
  EXPECT_FALSE(RunCommandLine("\"" + temp.Join("missing.exe") + "\"", false, 2));
  EXPECT_FALSE(RunCommandLine("", false, 2));
}

TEST_F(RunCommandLineTest, AnExecutableIsRunItselfWithoutTheFileManager) {
  // The file manager would start whatever the path; a program that is not there cannot.
  std::string missing = temp.Join("missing.EXE");
  ExplorerOptions itself;
  itself.openItself = true;
  EXPECT_FALSE(OpenInExplorer(missing, itself));

  std::string hostname = "hostname.exe";
  itself.wait = true;
  itself.showMode = 1;
  EXPECT_TRUE(OpenInExplorer(hostname, itself));
}

}  // namespace
}  // namespace cw::app::test
