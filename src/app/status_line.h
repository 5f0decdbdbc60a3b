// The status line over the progress bar, drawn by us: when it is too long for the bar,
// the path in it gives way in its middle, so that what the run did (stopped, how far)
// before it and the counts after it always show.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace cw::app {

// A line cut around its path: the state before it, the path, the counts after it.
struct StatusLineParts {
  std::wstring head;
  std::wstring path;
  std::wstring tail;
};

// The path is `folder` where the line holds it (the completion line names its output
// folder); otherwise it runs from the first drive ("X:\") or network ("\\") path to
// the end of the line. A line without a path is all head.
StatusLineParts SplitStatusLine(const std::wstring& caption, const std::wstring& folder);

// The text drawn in `width` pixels, as `measure` gives a text's width: the whole line
// when it fits; else the path shortened in its middle to an ellipsis (keeping its start
// and more of its end, where the folder's own name is); else, with the path at its
// shortest, the hint before it ("点击可打开目录：") dropped too. The state and the
// counts are never cut: a line that still does not fit is cut at its end by the label.
std::wstring FitStatusLine(const StatusLineParts& parts, int width,
                           const std::function<int(const std::wstring&)>& measure);

// The text the label draws now, fitted to its client area with its own font.
std::wstring DrawnStatusText(HWND label, const std::wstring& folder);
// Paints the label (WM_PAINT): the fitted text, without a background, vertically centred.
void PaintStatusLine(HWND label, const std::wstring& folder);
// The width in pixels of `text` in the label's font.
int StatusTextWidth(HWND label, const std::wstring& text);

}  // namespace cw::app
