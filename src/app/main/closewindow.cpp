// closewindow.exe: asks the chengwen main window to close, as a click on its close box
// would (WM_CLOSE), and waits until it is gone. Used by the smoke test and run.sh.
#include <windows.h>

#include <cwchar>

static BOOL CALLBACK FindChengwen(HWND window, LPARAM found) {
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 255);
  if (std::wcsstr(title, L"v1.6.0.0")) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

int wmain() {
  HWND window = nullptr;
  for (int attempt = 0; attempt < 100 && !window; ++attempt) {
    EnumWindows(FindChengwen, reinterpret_cast<LPARAM>(&window));
    if (!window) Sleep(100);
  }
  if (!window) return 1;
  PostMessageW(window, WM_CLOSE, 0, 0);
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (!IsWindow(window)) return 0;
    Sleep(100);
  }
  return 2;
}
