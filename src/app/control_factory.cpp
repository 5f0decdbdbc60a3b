// Child windows for the control table. Panels are real windows so that each radio group
// is exclusive by its container and the notifications of what they hold still arrive.
#include "app/control_factory.h"

#include <commctrl.h>

#include "app/header_strip.h"
#include "app/win32_text.h"
#include "encoding/charset.h"

namespace cw::app {

using form::Kind;

const wchar_t kPanelClass[] = L"ChengwenPanel";

namespace {

// What a panel draws: its own background colour, a frame, or the header strip.
struct PanelLook {
  COLORREF background = 0;
  bool hasBackground = false;
  bool frame = false;
  bool header = false;
};

LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* look = reinterpret_cast<PanelLook*>(GetWindowLongPtrW(panel, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(panel, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_NCDESTROY:
      delete look;
      SetWindowLongPtrW(panel, GWLP_USERDATA, 0);
      break;
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: return SendMessageW(GetParent(panel), message, wParam, lParam);
    case WM_ERASEBKGND:
      if (look && look->hasBackground) {
        RECT area;
        GetClientRect(panel, &area);
        HBRUSH brush = CreateSolidBrush(look->background);
        FillRect(reinterpret_cast<HDC>(wParam), &area, brush);
        DeleteObject(brush);
        return 1;
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(panel, &paint);
      RECT area;
      GetClientRect(panel, &area);
      if (look && look->frame) {
        HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, area.left, area.top, area.right, area.bottom);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
      }
      if (look && look->header) PaintHeaderStrip(dc, area, ScreenDpi());
      EndPaint(panel, &paint);
      return 0;
    }
  }
  return DefWindowProcW(panel, message, wParam, lParam);
}

DWORD ButtonStyle(Kind kind) {
  switch (kind) {
    case Kind::CheckBox: return BS_AUTOCHECKBOX | WS_TABSTOP;
    case Kind::RadioButton: return BS_AUTORADIOBUTTON | WS_TABSTOP;
    default: return BS_PUSHBUTTON | WS_TABSTOP;
  }
}

DWORD ComboStyle(int style) {
  switch (style) {
    case form::kComboDropDown: return CBS_DROPDOWN | CBS_AUTOHSCROLL;
    case form::kComboSimple: return CBS_SIMPLE | CBS_AUTOHSCROLL;
    default: return CBS_DROPDOWNLIST;
  }
}

// A combo box's height is its closed selection field; the window is made taller so that
// the list has room, and the field is brought to the table's height.
void FitComboHeight(HWND combo, int height) {
  // Some systems add their own margin to the height asked for, so adjust by what we see.
  LRESULT asked = SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  for (int attempt = 0; attempt < 4 && asked != CB_ERR; ++attempt) {
    RECT area;
    GetWindowRect(combo, &area);
    const int delta = height - (area.bottom - area.top);
    if (delta == 0 || asked + delta < 1) return;
    asked += delta;
    SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), asked);
  }
}

}  // namespace

bool RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, HICON icon) {
  WNDCLASSEXW windowClass = {};
  if (GetClassInfoExW(instance, name, &windowClass)) return true;
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = icon;
  windowClass.hIconSm = icon;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  return RegisterClassExW(&windowClass) != 0;
}

bool RegisterPanelClass(HINSTANCE instance) { return RegisterWindowClass(instance, kPanelClass, PanelProc); }

FontCache::~FontCache() {
  for (auto& entry : fonts_) DeleteObject(entry.second);
}

std::wstring FontFace(const std::string& face) {
  if (face == FromUtf8("宋体")) return L"SimSun";
  if (face == FromUtf8("黑体")) return L"SimHei";
  return Wide(face);
}

HFONT FontCache::Get(const form::FontSpec& spec, bool underline) {
  if (spec.face.empty() && spec.height == 0) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  const auto key = std::make_tuple(spec.face, spec.height, spec.bold, static_cast<int>(spec.charset), underline);
  auto found = fonts_.find(key);
  if (found != fonts_.end()) return found->second;
  const BYTE charset = spec.charset == form::FontCharset::Ansi ? ANSI_CHARSET : GB2312_CHARSET;
  HFONT font = CreateFontW(-Scale(spec.height, dpi_), 0, 0, 0, spec.bold ? FW_BOLD : FW_NORMAL, FALSE,
                           underline ? TRUE : FALSE, FALSE, charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, FontFace(spec.face).c_str());
  fonts_[key] = font;
  return font;
}

void ApplyDesignState(const form::ControlSpec& spec, Win32Control* control, HWND window, int dpi);

HWND CreateControlWindow(const form::ControlSpec& spec, Win32Control* control, HWND parent, int id, HINSTANCE instance,
                         FontCache& fonts, int dpi) {
  if (spec.kind == Kind::Timer) return nullptr;  // the banner stands still: no timer
  const wchar_t* className = L"STATIC";
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  DWORD extendedStyle = 0;
  void* createParam = nullptr;
  int height = spec.geometry.height;
  switch (spec.kind) {
    case Kind::PictureBox:
    case Kind::Shape: {
      auto* look = new PanelLook;
      look->hasBackground = spec.backColour >= 0;
      look->background = static_cast<COLORREF>(spec.backColour);
      look->frame = spec.kind == Kind::Shape;
      look->header = spec.id == form::ControlId::HeaderBanner;  // the banner across the top
      className = kPanelClass;
      extendedStyle = WS_EX_CONTROLPARENT;
      createParam = look;
      break;
    }
    case Kind::Label:
    case Kind::Link:
      style |= SS_LEFT;
      // The status line is painted by the window (app/status_line), which shortens its
      // path and nothing else.
      if (spec.handCursor) style |= SS_NOTIFY | SS_CENTERIMAGE;
      break;
    case Kind::ProgressBar: className = PROGRESS_CLASSW; break;
    case Kind::ComboBox:
      className = WC_COMBOBOXW;
      style |= ComboStyle(spec.comboStyle) | WS_VSCROLL | WS_TABSTOP;
      height = spec.geometry.height + 8 * 20;  // room for the dropped list
      break;
    case Kind::EditBox:
      className = L"EDIT";
      style |= ES_AUTOHSCROLL | WS_TABSTOP;
      extendedStyle = WS_EX_CLIENTEDGE;
      break;
    case Kind::PushButton:
    case Kind::CheckBox:
    case Kind::RadioButton:
      className = L"BUTTON";
      style |= ButtonStyle(spec.kind);
      break;
    default: break;
  }
  if (!spec.enabled) style |= WS_DISABLED;
  HWND window = CreateWindowExW(extendedStyle, className, L"", style, Scale(spec.geometry.left, dpi),
                                Scale(spec.geometry.top, dpi), Scale(spec.geometry.width, dpi), Scale(height, dpi),
                                parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, createParam);
  if (!window) {
    if (createParam) delete static_cast<PanelLook*>(createParam);
    return nullptr;
  }
  control->SetHandle(window);
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(fonts.Get(spec.font, spec.kind == Kind::Link)), FALSE);
  ApplyDesignState(spec, control, window, dpi);
  return window;
}

// The design state, through the same operations the batch and the store use.
void ApplyDesignState(const form::ControlSpec& spec, Win32Control* control, HWND window, int dpi) {
  control->SetCaption(spec.caption);
  if (spec.kind == Kind::EditBox) control->SetContent(spec.content);
  if (spec.kind == Kind::ComboBox) {
    std::vector<form::Item> items;
    for (const std::string& text : spec.items) items.push_back(form::Item{text, 0, false});
    control->SetItems(items);
    control->SetSelection(spec.selection);
    FitComboHeight(window, Scale(spec.geometry.height, dpi));
  }
  if (spec.kind == Kind::ProgressBar) {
    control->SetProgressMaximum(spec.progressMaximum);
    control->SetProgressPosition(spec.progressPosition);
  }
  if (spec.checked) control->SetChecked(true);
}

}  // namespace cw::app
