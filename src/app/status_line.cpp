// The status line: where its path is, how it is shortened, and how it is painted.
#include "app/status_line.h"

namespace cw::app {
namespace {

constexpr wchar_t kEllipsis[] = L"\u2026";
constexpr UINT kDrawFormat = DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;

bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

size_t PathStart(const std::wstring& caption) {
  for (size_t i = 0; i + 2 < caption.size(); ++i) {
    const wchar_t c = caption[i];
    const bool letter = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
    if (letter && caption[i + 1] == L':' && caption[i + 2] == L'\\') return i;
    if (c == L'\\' && caption[i + 1] == L'\\') return i;
  }
  return std::wstring::npos;
}

// The path with all but `keep` of its characters replaced by one ellipsis: a third
// kept from its start, the rest from its end, never half a surrogate pair.
std::wstring ShortenMiddle(const std::wstring& path, size_t keep) {
  size_t front = keep / 3;
  size_t back = keep - front;
  if (front > 0 && IsLowSurrogate(path[front])) --front;
  if (back > 0 && IsLowSurrogate(path[path.size() - back])) --back;
  return path.substr(0, front) + kEllipsis + path.substr(path.size() - back);
}

// The longest middle-shortened form of the path that fits between head and tail, or
// empty when not even the ellipsis alone does.
std::wstring FitPath(const std::wstring& head, const std::wstring& path, const std::wstring& tail, int width,
                     const std::function<int(const std::wstring&)>& measure) {
  for (size_t keep = path.size(); keep-- > 0;) {
    std::wstring line = head + ShortenMiddle(path, keep) + tail;
    if (measure(line) <= width) return line;
  }
  return std::wstring();
}

// The hint that ends a head ("点击可打开目录：" after "已停止：完成 3/9。"): what follows
// its last full stop or exclamation mark, when the head ends with a colon.
size_t HintStart(const std::wstring& head) {
  if (head.empty() || head.back() != L'\uFF1A') return std::wstring::npos;
  const size_t stop = head.find_last_of(L"\u3002\uFF01");
  return stop == std::wstring::npos ? stop : stop + 1;
}

}  // namespace

StatusLineParts SplitStatusLine(const std::wstring& caption, const std::wstring& folder) {
  StatusLineParts parts;
  size_t start = folder.empty() ? std::wstring::npos : caption.find(folder);
  size_t length = folder.size();
  if (start == std::wstring::npos) {
    start = PathStart(caption);
    length = start == std::wstring::npos ? 0 : caption.size() - start;
  }
  if (start == std::wstring::npos) {
    parts.head = caption;
    return parts;
  }
  parts.head = caption.substr(0, start);
  parts.path = caption.substr(start, length);
  parts.tail = caption.substr(start + length);
  return parts;
}

std::wstring FitStatusLine(const StatusLineParts& parts, int width,
                           const std::function<int(const std::wstring&)>& measure) {
  const std::wstring whole = parts.head + parts.path + parts.tail;
  if (parts.path.empty() || measure(whole) <= width) return whole;
  std::wstring line = FitPath(parts.head, parts.path, parts.tail, width, measure);
  if (!line.empty()) return line;
  const size_t hint = HintStart(parts.head);
  const std::wstring head = hint == std::wstring::npos ? parts.head : parts.head.substr(0, hint);
  line = FitPath(head, parts.path, parts.tail, width, measure);
  return line.empty() ? head + kEllipsis + parts.tail : line;
}

int StatusTextWidth(HWND label, const std::wstring& text) {
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
  SIZE size = {};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  return size.cx;
}

std::wstring DrawnStatusText(HWND label, const std::wstring& folder) {
  const int length = GetWindowTextLengthW(label);
  std::wstring caption(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(label, &caption[0], length + 1);
  caption.resize(static_cast<size_t>(length));
  RECT area;
  GetClientRect(label, &area);
  return FitStatusLine(SplitStatusLine(caption, folder), area.right - area.left,
                       [label](const std::wstring& text) { return StatusTextWidth(label, text); });
}

void PaintStatusLine(HWND label, const std::wstring& folder) {
  const std::wstring text = DrawnStatusText(label, folder);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(label, &paint);
  // The colours and the empty background are the parent's to give, as for any label.
  SendMessageW(GetParent(label), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label));
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
  RECT area;
  GetClientRect(label, &area);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, kDrawFormat);
  SelectObject(dc, old);
  EndPaint(label, &paint);
}

}  // namespace cw::app
