// The header strip: a small mark, the program's name and one line on what it converts.
// It only paints; nothing else in the program reads it.
#include "app/header_strip.h"

#include <string>

#include "app/win32_text.h"

namespace cw::app {
namespace {

constexpr COLORREF kMarkColour = RGB(0x1F, 0x7A, 0x8C);
constexpr COLORREF kTitleColour = RGB(0x1B, 0x3A, 0x4B);
constexpr COLORREF kTextColour = RGB(0x55, 0x5F, 0x66);
constexpr int kVisibleWidth = 600;  // the banner is wider than the window

HFONT MakeFont(int height, bool bold, const wchar_t* face, int dpi) {
  return CreateFontW(-Scale(height, dpi), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

void DrawTextAt(HDC dc, const std::wstring& text, RECT box, HFONT font, COLORREF colour, UINT format) {
  HGDIOBJ old = SelectObject(dc, font);
  SetTextColor(dc, colour);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, format | DT_NOPREFIX | DT_SINGLELINE);
  SelectObject(dc, old);
}

}  // namespace

void PaintHeaderStrip(HDC dc, const RECT& area, int dpi) {
  auto s = [dpi](int pixels) { return Scale(pixels, dpi); };
  SetBkMode(dc, TRANSPARENT);

  // The mark: a rounded square with the program's first character.
  HBRUSH markBrush = CreateSolidBrush(kMarkColour);
  HGDIOBJ oldBrush = SelectObject(dc, markBrush);
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
  RoundRect(dc, area.left + s(20), area.top + s(16), area.left + s(76), area.top + s(72), s(14), s(14));
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(markBrush);

  HFONT markFont = MakeFont(34, true, L"SimHei", dpi);
  HFONT titleFont = MakeFont(26, true, L"SimHei", dpi);
  HFONT lineFont = MakeFont(13, false, L"SimSun", dpi);
  const RECT mark = {area.left + s(20), area.top + s(16), area.left + s(76), area.top + s(72)};
  DrawTextAt(dc, WideFromUtf8("澄"), mark, markFont, RGB(0xFF, 0xFF, 0xFF), DT_CENTER | DT_VCENTER);

  const LONG right = area.left + s(kVisibleWidth - 16);
  DrawTextAt(dc, WideFromUtf8("青禾·澄文坊"), {area.left + s(92), area.top + s(14), right, area.top + s(48)}, titleFont,
             kTitleColour, DT_LEFT | DT_VCENTER);
  DrawTextAt(dc, L"v1.6.0.0", {area.left + s(92), area.top + s(20), right, area.top + s(44)}, lineFont, kTextColour,
             DT_RIGHT | DT_VCENTER);
  DrawTextAt(dc, WideFromUtf8("批量转换文本和网页文件的编码：GBK、UTF-8、Unicode、Big5，简繁互转"),
             {area.left + s(94), area.top + s(50), right, area.top + s(70)}, lineFont, kTextColour,
             DT_LEFT | DT_VCENTER | DT_END_ELLIPSIS);

  DeleteObject(markFont);
  DeleteObject(titleFont);
  DeleteObject(lineFont);
}

}  // namespace cw::app
