// Run by hand (scripts/screenshots.sh) with CW_SCREENSHOTS set to a folder: the images of
// the window for the README, taken from the screen as a user sees it.
#include <cstdlib>

#include "app/results_dialog.h"
#include "app/win32_dialogs.h"
#include "app_fixture.h"
#include "platform/platform.h"

namespace cw::app::test {
namespace {

void SaveWindow(HWND window, const std::string& path) {
  RECT area;
  GetWindowRect(window, &area);
  SaveScreenArea(area, path);
}

class Screenshots : public AppTest {
 protected:
  void SetUp() override {
    const char* where = std::getenv("CW_SCREENSHOTS");
    if (!where) GTEST_SKIP() << "CW_SCREENSHOTS names the folder for the images";
    folder = where;
    AppTest::SetUp();
    // A folder a few levels down, as real ones are, so that the line has to shorten it.
    source = temp.Join(W("项目资料\\二〇二四年\\网站备份\\旧版网页"));
    for (int i = 0; i < 40; ++i) {
      WriteFileBytes(source + "\\" + W("页面") + std::to_string(i) + ".htm", W("澄文坊：编码转换\r\n第二行"));
    }
    Start(SW_SHOWNORMAL);
    PumpFor(300);
  }
  std::string Image(const char* name) const { return folder + "\\" + name + ".bmp"; }

  std::string folder;
  std::string source;
};

TEST_F(Screenshots, DISABLED_Window) {
  // Every square shows, ticked or not.
  Click(Id::WithoutBom);
  Click(Id::SubFolders);
  PumpFor(300);
  SaveWindow(Main(), Image("window"));
}

TEST_F(Screenshots, DISABLED_StoppedRun) {
  Click(Id::OutputUtf8);
  dialogs.folderAnswer = source;
  dialogs.askAnswer = IDNO;
  // A file another program holds: the line counts a failure as well.
  HANDLE held = CreateFileW(Wide(source + W("\\页面0.htm")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  int pumps = 0;
  platform::SetPumpHook([&] {
    PumpWindowMessages();
    if (++pumps == 150) PostClick(Id::FolderButton);  // stop, after a few files
  });
  Click(Id::FolderButton);
  CloseHandle(held);
  platform::SetPumpHook(&PumpWindowMessages);
  PumpFor(300);
  SaveWindow(Main(), Image("stopped"));
}

TEST_F(Screenshots, DISABLED_ResultList) {
  Click(Id::OutputUtf8);
  source = temp.Join(W("网站备份\\新闻"));
  for (const char* name : {"首页.htm", "关于.htm", "联系.htm", "说明.txt"}) {
    WriteFileBytes(source + "\\" + W(name), W("澄文坊：编码转换\r\n第二行"));
  }
  // One file in use (a failure), one with a byte that is no character (a loss).
  WriteFileBytes(source + W("\\损坏.htm"), std::string("\xEF\xBB\xBF") + u8"中文" + "\xFF");
  HANDLE held = CreateFileW(Wide(source + W("\\联系.htm")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  dialogs.folderAnswer = source;
  dialogs.askAnswer = IDNO;
  Click(Id::FolderButton);
  CloseHandle(held);
  PumpFor(200);
  HWND results = CreateResultsWindow(Main(), app->Window().Batch().State().results, false);
  PumpFor(500);
  SaveWindow(results, Image("results"));
  DestroyWindow(results);
}

std::function<void(HWND)> onBrowser;
BOOL CALLBACK FindBrowser(HWND window, LPARAM found) {
  wchar_t className[32] = {};
  GetClassNameW(window, className, 31);
  if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}
void CALLBACK LookForBrowser(HWND, UINT, UINT_PTR timer, DWORD) {
  static int ticks = 0;
  HWND browser = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindBrowser, reinterpret_cast<LPARAM>(&browser));
  if (!browser || ++ticks < 10) return;  // two seconds for the tree to fill
  KillTimer(nullptr, timer);
  onBrowser(browser);
}

TEST_F(Screenshots, DISABLED_FolderBrowser) {
  Win32Dialogs real(Main());
  onBrowser = [&](HWND browser) {
    RECT outer, box, both;
    GetWindowRect(Main(), &outer);
    GetWindowRect(browser, &box);
    UnionRect(&both, &outer, &box);
    SaveScreenArea(both, Image("browser"));
    PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
  };
  SetTimer(nullptr, 0, 200, &LookForBrowser);
  real.BrowseForFolder(source, W("选择要批量转换的文件(*.*)所在文件夹："));
}

}  // namespace
}  // namespace cw::app::test
