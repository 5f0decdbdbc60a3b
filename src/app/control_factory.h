// Real child windows for the rows of the main window's control table: classes, styles,
// fonts, containers and design states.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <tuple>

#include "app/win32_window.h"
#include "form/main_window.h"

namespace cw::app {

// The class of the panels, the frame and the header strip: a plain child window that
// passes its children's notifications on to the main window.
extern const wchar_t kPanelClass[];
bool RegisterPanelClass(HINSTANCE instance);
// Registers a window class of this program once (the arrow cursor, the dialog colour);
// true when it is registered.
bool RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, HICON icon = nullptr);

// Fonts by spec, created once per window and released with it.
class FontCache {
 public:
  explicit FontCache(int dpi) : dpi_(dpi) {}
  ~FontCache();
  FontCache(const FontCache&) = delete;
  FontCache& operator=(const FontCache&) = delete;
  HFONT Get(const form::FontSpec& spec, bool underline = false);

 private:
  int dpi_;
  std::map<std::tuple<std::string, int, bool, int, bool>, HFONT> fonts_;
};

// The Windows face of a table face: 宋体 is SimSun, 黑体 is SimHei.
std::wstring FontFace(const std::string& face);

// Creates the window of one control inside `parent`, with its font, caption and design
// state; null for the kinds that have no window (the banner timer).
HWND CreateControlWindow(const form::ControlSpec& spec, Win32Control* control, HWND parent, int id, HINSTANCE instance,
                         FontCache& fonts, int dpi);

}  // namespace cw::app
