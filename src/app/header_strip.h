// The banner across the top of the main window: the program's name and what it does.
#pragma once

#include <windows.h>

namespace cw::app {

// Draws the banner into the header panel's client area.
void PaintHeaderStrip(HDC dc, const RECT& area, int dpi);

}  // namespace cw::app
