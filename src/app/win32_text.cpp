// Texts at the Win32 boundary and DPI scaling.
#include "app/win32_text.h"

#include "encoding/charset.h"

namespace cw::app {

std::wstring Wide(std::string_view working) { return WorkingToWide(working); }

std::wstring WideFromUtf8(std::string_view utf8) { return Wide(FromUtf8(utf8)); }

std::string Narrow(const wchar_t* wide) { return wide ? WideToWorking(wide) : std::string(); }

std::string Narrow(const std::wstring& wide) { return WideToWorking(wide); }

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(window, &buffer[0], length + 1);
  buffer.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return Narrow(buffer);
}

void SetWindowTextWorking(HWND window, const std::string& text) { SetWindowTextW(window, Wide(text).c_str()); }

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

int Scale(int pixels96, int dpi) { return MulDiv(pixels96, dpi, 96); }
int Unscale(int pixels, int dpi) { return MulDiv(pixels, 96, dpi); }

}  // namespace cw::app
