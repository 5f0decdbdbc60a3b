// Start-up and the message loop of chengwen.exe.
#include "app/application.h"

#include <string>

#include "encoding/charset.h"

namespace cw::app {
namespace {

constexpr wchar_t kWindowClass[] = L"ChengwenMainWindow";
constexpr int kWindowWidth = 606;
constexpr int kWindowHeight = 436;

std::wstring Wide(const std::string& working) {
  std::u16string wide = WorkingToUtf16(working);
  return std::wstring(wide.begin(), wide.end());
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int RunApplication(HINSTANCE instance, int showCommand) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&windowClass)) return 1;

  const std::wstring caption = Wide(FromUtf8(u8"青禾·澄文坊 v1.6.0.0 - 支持拖放文件和目录"));
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - kWindowWidth) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - kWindowHeight) / 2;
  HWND window = CreateWindowExW(0, kWindowClass, caption.c_str(), style, left, top, kWindowWidth,
                                kWindowHeight, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, showCommand);
  UpdateWindow(window);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace cw::app
