// Shared fixture of the Windows shell tests: the real application with its real main
// window, scripted answers for the batch's dialogs, and a probe window through which a
// test runs code inside the batch's message pump.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/main_window.h"
#include "app/win32_text.h"
#include "batch/batch_job.h"
#include "support/temp_dir.h"

namespace cw::app::test {

using cw::test::PathExists;
using cw::test::ReadFileBytes;
using cw::test::TempDir;
using cw::test::W;
using cw::test::WriteFileBytes;
using Id = form::ControlId;

// Saves what the screen shows in `area` as a 24-bit BMP file.
inline void SaveScreenArea(RECT area, const std::string& path) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  GdiFlush();
  const DWORD imageSize = static_cast<DWORD>(((width * 3 + 3) & ~3) * height);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + imageSize;
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
  bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
  bytes.append(static_cast<const char*>(bits), imageSize);
  WriteFileBytes(path, bytes);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// Answers the batch's dialogs from what the test put in, and keeps what each was asked.
class ScriptedDialogs : public batch::Dialogs {
 public:
  std::string folderAnswer;
  std::vector<std::string> filesAnswer;
  int askAnswer = 1;
  std::vector<std::string> browseTitles;
  std::vector<std::string> openTitles;
  std::vector<std::string> questions;
  std::vector<std::string> questionCaptions;
  std::vector<uint32_t> questionFlags;

  std::string BrowseForFolder(const std::string&, const std::string& title) override {
    browseTitles.push_back(title);
    return folderAnswer;
  }
  std::vector<std::string> OpenFiles(const std::string&, const std::string& title, const std::string&,
                                     uint32_t) override {
    openTitles.push_back(title);
    return filesAnswer;
  }
  int Ask(const std::string& text, const std::string& caption, uint32_t flags) override {
    questions.push_back(text);
    questionCaptions.push_back(caption);
    questionFlags.push_back(flags);
    return askAnswer;
  }
  std::vector<std::vector<batch::FileResult>> shownResults;
  std::vector<bool> shownDryRun;
  std::vector<batch::UndoAction> shownUndo;  // the undo each list offered (empty: none)
  void ShowResults(const std::vector<batch::FileResult>& results, bool dryRun, const batch::UndoAction& undo) override {
    shownResults.push_back(results);
    shownDryRun.push_back(dryRun);
    shownUndo.push_back(undo);
  }
};

// A message-only window: Post(work) runs `work` when the thread's queue reaches it, which
// during a batch is inside the batch's pump.
class Probe {
 public:
  Probe() {
    WNDCLASSW probeClass = {};
    probeClass.lpfnWndProc = &Proc;
    probeClass.hInstance = GetModuleHandleW(nullptr);
    probeClass.lpszClassName = L"ChengwenTestProbe";
    RegisterClassW(&probeClass);
    window_ = CreateWindowExW(0, L"ChengwenTestProbe", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~Probe() { DestroyWindow(window_); }
  void Post(std::function<void()> work) {
    work_.push_back(std::move(work));
    PostMessageW(window_, WM_APP, work_.size() - 1, 0);
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Probe*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_APP && self) {
      self->work_[wParam]();
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }
  HWND window_ = nullptr;
  std::vector<std::function<void()>> work_;
};

// Dispatches messages for a while (the window paints, posted clicks arrive).
inline void PumpFor(int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(5);
  } while (std::chrono::steady_clock::now() < end);
}

// A closed main window leaves its quit message behind; the next test must not see it.
inline void DrainQuit() {
  MSG message;
  while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

// A drop handle as the shell hands it over: wide paths, each ended by a zero, then one more.
inline HDROP MakeDrop(const std::vector<std::string>& paths) {
  std::wstring names;
  for (const std::string& path : paths) names += Wide(path) + L'\0';
  names += L'\0';
  const size_t size = sizeof(DROPFILES) + names.size() * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GHND, size);
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), names.data(), names.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

inline std::string Bytes(const char* utf8) { return W(utf8); }

// The settings file after a first save of the design defaults.
inline std::string DefaultSettingsFile() {
  const char* lines[] = {"[主界面]",
                         "组合框换行格式=0",
                         "选择框不带BOM=假",
                         "选择框同时转换文件名=假",
                         "选择框包含子文件夹=假",
                         "选择框覆盖原文件=假",
                         "单选框b5到繁=假",
                         "单选框b5到简=假",
                         "单选框繁到b5=假",
                         "单选框简到b5=假",
                         "单选框繁到简=假",
                         "单选框简到繁=假",
                         "单选框不转=真",
                         "单选框自动输入=真",
                         "单选框输入ANSI=假",
                         "单选框输入UTF8=假",
                         "单选框输入Ule=假",
                         "单选框输入Ube=假",
                         "单选框自动输出=真",
                         "单选框输出ANSI=假",
                         "单选框输出UTF8=假",
                         "单选框输出Ule=假",
                         "单选框输出Ube=假",
                         "编辑框文件过滤=*.*",
                         "按钮批量转换文件夹.标记=",
                         "按钮批量转换.标记="};
  std::string file;
  for (const char* line : lines) file += (file.empty() ? "" : "\r\n") + W(line);
  return file;
}

// The application as chengwen.exe starts it, with its settings file in a temporary folder
// (or wherever the test says) and scripted dialogs.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override { settingsPath = temp.Join(W("青禾·澄文坊.ini")); }
  void TearDown() override {
    app.reset();
    DrainQuit();
  }

  // Hidden unless a test needs the screen: under Wine without a window manager, hiding a
  // shown window waits two seconds for a manager that never answers.
  void Start(int showCommand = SW_HIDE) {
    app = std::make_unique<Application>(settingsPath, dialogs);
    ASSERT_TRUE(app->ShowMainWindow(GetModuleHandleW(nullptr), showCommand));
  }
  // Asks the window to close as its close box would, and lets the close happen.
  void Close() {
    SendMessageW(Main(), WM_CLOSE, 0, 0);
    PumpFor(20);
  }

  HWND Main() { return app->Window().Handle(); }
  Win32Control* Get(Id id) {
    Win32Control* control = app->Window().Control(id);
    EXPECT_NE(control, nullptr) << static_cast<int>(id);
    return control;
  }
  HWND Handle(Id id) { return Get(id)->Handle(); }
  // A left click on a button or radio button, as the mouse gives it.
  void Click(Id id) { SendMessageW(Handle(id), BM_CLICK, 0, 0); }
  void PostClick(Id id) { PostMessageW(Handle(id), BM_CLICK, 0, 0); }

  TempDir temp;
  std::string settingsPath;
  ScriptedDialogs dialogs;
  std::unique_ptr<Application> app;
};

}  // namespace cw::app::test
