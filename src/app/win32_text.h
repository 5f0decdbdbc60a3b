// Texts at the Win32 boundary: working-code-page bytes to UTF-16 and back, and the
// screen's DPI scale for the 96-dpi layout.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace cw::app {

// Working-code-page text as UTF-16 for the W functions.
std::wstring Wide(std::string_view working);
// A UTF-8 literal of the source as UTF-16.
std::wstring WideFromUtf8(std::string_view utf8);
// UTF-16 from the system back to the working code page; stops at the first zero.
std::string Narrow(const wchar_t* wide);
std::string Narrow(const std::wstring& wide);

// The window text of any window, in the working code page.
std::string WindowText(HWND window);
void SetWindowTextWorking(HWND window, const std::string& text);

// The screen's vertical DPI (96 when it cannot be read) and a 96-dpi length scaled to it.
int ScreenDpi();
int Scale(int pixels96, int dpi);
int Unscale(int pixels, int dpi);

}  // namespace cw::app
