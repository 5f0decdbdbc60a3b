// The settings file through the program's life: named after the title next to the exe,
// created empty at the first start, filled with the defaults at close, restored before
// the window takes input at the next start; and chengwen.exe itself, from the outside.
#include "app_fixture.h"
#include "platform/platform.h"

namespace cw::app::test {
namespace {

TEST(SettingsFile, IsNamedAfterTheTitleNextToTheProgram) {
  const std::string title = W("青禾") + "\xA1\xA4" + W("澄文坊");  // the middle dot in the working code page
  EXPECT_EQ(ApplicationTitle(), title);
  wchar_t before[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, before);
  TempDir elsewhere;
  SetCurrentDirectoryW(Wide(elsewhere.Path()).c_str());
  EXPECT_EQ(SettingsFilePath(), platform::ProgramFolder() + "\\" + title + ".ini");
  SetCurrentDirectoryW(before);
}

class SettingsLifecycleTest : public AppTest {};

TEST_F(SettingsLifecycleTest, FirstStartCreatesAnEmptyFileAndCloseSavesTheDefaults) {
  settingsPath = SettingsFilePath();  // the real place, next to the test program
  DeleteFileW(Wide(settingsPath).c_str());
  app = std::make_unique<Application>(settingsPath, dialogs);
  EXPECT_TRUE(PathExists(settingsPath));
  EXPECT_EQ(ReadFileBytes(settingsPath), "");
  ASSERT_TRUE(app->ShowMainWindow(GetModuleHandleW(nullptr), SW_HIDE));
  EXPECT_EQ(ReadFileBytes(settingsPath), "") << "the restore writes nothing";

  HWND window = Main();
  Close();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(ReadFileBytes(settingsPath), DefaultSettingsFile());
  app.reset();
  EXPECT_EQ(ReadFileBytes(settingsPath), DefaultSettingsFile()) << "nothing more is written at exit";
  DeleteFileW(Wide(settingsPath).c_str());
}

// What the window showed when it was first shown.
Application* watched = nullptr;
std::vector<bool> shownStates;
LRESULT CALLBACK WatchShow(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && watched && message->message == WM_SHOWWINDOW && message->wParam &&
      message->hwnd == watched->Window().Handle()) {
    for (Id id : {Id::InputUtf8, Id::InputAuto, Id::Overwrite}) {
      shownStates.push_back(watched->Window().Control(id)->Checked());
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(SettingsLifecycleTest, ChangedOptionsComeBackBeforeTheWindowIsShown) {
  Start();
  Click(Id::InputUtf8);
  Click(Id::OutputUtf16Be);
  Click(Id::TraditionalToSimplified);
  Click(Id::Overwrite);
  Click(Id::WithoutBom);
  SendMessageW(Handle(Id::LineEndings), CB_SETCURSEL, 2, 0);
  SetWindowTextW(Handle(Id::FilterBox), L"*.htm|*.txt");
  Get(Id::FolderButton)->SetTag(W("D:\\文档"));
  Close();
  app.reset();
  const std::string saved = ReadFileBytes(settingsPath);
  EXPECT_NE(saved.find(W("单选框输入UTF8=真")), std::string::npos);
  EXPECT_NE(saved.find(W("组合框换行格式=2")), std::string::npos);

  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, &WatchShow, nullptr, GetCurrentThreadId());
  app = std::make_unique<Application>(settingsPath, dialogs);
  watched = app.get();
  shownStates.clear();
  ASSERT_TRUE(app->ShowMainWindow(GetModuleHandleW(nullptr), SW_SHOWNORMAL));
  UnhookWindowsHookEx(hook);
  watched = nullptr;
  EXPECT_EQ(shownStates, (std::vector<bool>{true, false, true}));

  EXPECT_TRUE(Get(Id::OutputUtf16Be)->Checked());
  EXPECT_FALSE(Get(Id::OutputAuto)->Checked());
  EXPECT_TRUE(Get(Id::TraditionalToSimplified)->Checked());
  EXPECT_FALSE(Get(Id::NoScript)->Checked());
  EXPECT_TRUE(Get(Id::WithoutBom)->Checked());
  EXPECT_FALSE(Get(Id::SubFolders)->Checked());
  EXPECT_EQ(SendMessageW(Handle(Id::LineEndings), CB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(WindowText(Handle(Id::FilterBox)), "*.htm|*.txt");
  EXPECT_EQ(Get(Id::FolderButton)->Tag(), W("D:\\文档"));
  EXPECT_EQ(Get(Id::ListButton)->Tag(), "");
}

TEST_F(SettingsLifecycleTest, AFileHeldByAnotherProgramStillLetsTheWindowStartSilently) {
  WriteFileBytes(settingsPath, W("[主界面]\r\n单选框输入UTF8=真\r\n单选框自动输入=假"));
  HANDLE holder = CreateFileW(Wide(settingsPath).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  std::vector<std::string> messages;
  platform::SetMessageBoxHook([&](const std::string& text, const std::string&, uint32_t) {
    messages.push_back(text);
    return 1;
  });
  Start();
  EXPECT_TRUE(Get(Id::InputUtf8)->Checked()) << "restored from what could be read";
  Click(Id::InputAnsi);
  Close();
  platform::SetMessageBoxHook(nullptr);
  CloseHandle(holder);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(ReadFileBytes(settingsPath), W("[主界面]\r\n单选框输入UTF8=真\r\n单选框自动输入=假"))
      << "the other program's file is left alone";
}

// chengwen.exe from the outside: started with no settings file, closed with WM_CLOSE.
struct FoundWindow {
  DWORD process;
  HWND window;
};
BOOL CALLBACK FindProgramWindow(HWND window, LPARAM found) {
  auto* wanted = reinterpret_cast<FoundWindow*>(found);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == wanted->process && IsWindowVisible(window) &&
      WindowText(window).find("v1.6.0.0") != std::string::npos) {
    wanted->window = window;
    return FALSE;
  }
  return TRUE;
}

TEST(ChengwenExe, FirstRunLeavesTheDefaultsAfterAPoliteClose) {
  const std::string exe = platform::ProgramFolder() + "\\chengwen.exe";
  ASSERT_TRUE(PathExists(exe)) << "build the chengwen target first";
  const std::string settings = SettingsFilePath();
  DeleteFileW(Wide(settings).c_str());

  TempDir elsewhere;  // the working directory does not matter
  std::wstring command = L"\"" + Wide(exe) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, Wide(elsewhere.Path()).c_str(),
                             &startup, &process));
  FoundWindow found = {process.dwProcessId, nullptr};
  for (int attempt = 0; attempt < 200 && !found.window; ++attempt) {
    Sleep(100);
    EnumWindows(&FindProgramWindow, reinterpret_cast<LPARAM>(&found));
  }
  EXPECT_NE(found.window, nullptr) << "the window appears";
  EXPECT_TRUE(PathExists(settings));
  EXPECT_EQ(ReadFileBytes(settings), "") << "created empty at start-up";
  if (found.window) PostMessageW(found.window, WM_CLOSE, 0, 0);
  const bool ended = WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(process.hProcess, 99);
  DWORD exitCode = 99;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_TRUE(ended);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(ReadFileBytes(settings), DefaultSettingsFile());
  DeleteFileW(Wide(settings).c_str());
}

}  // namespace
}  // namespace cw::app::test
