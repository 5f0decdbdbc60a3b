// The result list window.
#include "app/results_dialog.h"

#include <commctrl.h>

#include <cstring>
#include <iterator>

#include "app/control_factory.h"
#include "app/win32_dialogs.h"
#include "app/win32_text.h"
#include "batch/batch_texts.h"
#include "encoding/charset.h"

namespace cw::app {
namespace {

constexpr wchar_t kResultsClass[] = L"ChengwenResults";
constexpr int kWidth = 900;
constexpr int kHeight = 440;
constexpr int kMargin = 8;
constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 28;
constexpr int kUndoButtonWidth = 120;
// Name, folder, result, read as, reason, output: the name never hides behind a path.
// One per column of the list, in its order: name, folder, result, read as, why, preview, output.
constexpr int kColumnWidths[] = {150, 200, 130, 80, 170, 180, 300};

// What the window keeps: the list as text for "复制", the undo until it is done, and the
// font of its controls.
struct ResultsData {
  std::string text;
  batch::UndoAction undo;
  HFONT font = nullptr;
  ~ResultsData() {
    if (font) DeleteObject(font);
  }
};
constexpr int kFontHeight = 14;

void FillList(HWND list, const std::vector<batch::FileResult>& results, bool dryRun, int dpi) {
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  const std::vector<std::string> headings = batch::ResultHeadings();
  for (size_t i = 0; i < headings.size(); ++i) {
    std::wstring heading = Wide(headings[i]);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = Scale(i < std::size(kColumnWidths) ? kColumnWidths[i] : 120, dpi);
    column.pszText = heading.data();
    SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
  for (size_t row = 0; row < results.size(); ++row) {
    const std::vector<std::string> cells = batch::ResultRow(results[row], dryRun);
    for (size_t i = 0; i < cells.size(); ++i) {
      std::wstring cell = Wide(cells[i]);
      LVITEMW item = {};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(row);
      item.iSubItem = static_cast<int>(i);
      item.pszText = cell.data();
      SendMessageW(list, i == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, i == 0 ? 0 : row,
                   reinterpret_cast<LPARAM>(&item));
    }
  }
}

HWND AddControl(HWND parent, const wchar_t* kind, DWORD style, const std::wstring& caption, int id, RECT area,
                HFONT font) {
  HWND control = CreateWindowExW(0, kind, caption.c_str(), WS_CHILD | WS_VISIBLE | style, area.left, area.top,
                                 area.right - area.left, area.bottom - area.top, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

HWND AddButton(HWND parent, const char* captionUtf8, int id, int left, int top, int dpi, HFONT font) {
  const RECT area = {left, top, left + Scale(kButtonWidth, dpi), top + Scale(kButtonHeight, dpi)};
  return AddControl(parent, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, WideFromUtf8(captionUtf8), id, area, font);
}

// The undo button at the left of the button row, and the line that says how the undo went
// between it and "复制".
void AddUndo(HWND window, const ResultsData& data, int top, int right, int dpi) {
  const int margin = Scale(kMargin, dpi);
  const int height = Scale(kButtonHeight, dpi);
  const RECT button = {margin, top, margin + Scale(kUndoButtonWidth, dpi), top + height};
  AddControl(window, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, Wide(batch::Texts().undoButton), kResultsUndoId, button,
             data.font);
  const RECT line = {button.right + margin, top, right, top + height};
  AddControl(window, L"STATIC", SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_ENDELLIPSIS, L"", kResultsUndoLineId, line,
             data.font);
}

// The undo button's click: one undo at a time, and none once it is done.
void OnUndo(HWND window, ResultsData& data) {
  HWND button = GetDlgItem(window, kResultsUndoId);
  if (!data.undo || !IsWindowEnabled(button)) return;
  EnableWindow(button, FALSE);
  const std::string line = data.undo();
  if (line.empty()) {  // declined
    EnableWindow(button, TRUE);
    return;
  }
  data.undo = nullptr;
  SetDlgItemTextW(window, kResultsUndoLineId, Wide(line).c_str());
  SetFocus(GetDlgItem(window, IDCANCEL));
}

LRESULT CALLBACK ResultsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* data = reinterpret_cast<ResultsData*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == kResultsCopyId && data) CopyTextToClipboard(window, data->text);
      if (LOWORD(wParam) == kResultsUndoId && data) OnUndo(window, *data);
      if (LOWORD(wParam) == IDCANCEL) DestroyWindow(window);
      return 0;
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_NCDESTROY:
      delete data;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool CopyTextToClipboard(HWND owner, const std::string& text) {
  const std::wstring wide = Wide(text);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (wide.size() + 1) * sizeof(wchar_t));
  if (!memory) return false;
  std::memcpy(GlobalLock(memory), wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  GlobalUnlock(memory);
  if (!OpenClipboard(owner)) {
    GlobalFree(memory);
    return false;
  }
  EmptyClipboard();
  const bool placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
  if (!placed) GlobalFree(memory);  // the clipboard owns it only when it took it
  CloseClipboard();
  return placed;
}

HWND CreateResultsWindow(HWND owner, const std::vector<batch::FileResult>& results, bool dryRun,
                         const batch::UndoAction& undo) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!RegisterWindowClass(instance, kResultsClass, ResultsProc)) return nullptr;
  const int dpi = ScreenDpi();
  const int width = Scale(kWidth, dpi);
  const int height = Scale(kHeight, dpi);
  const std::wstring title = WideFromUtf8(dryRun ? u8"试运行结果（未写入任何文件）" : u8"转换结果");
  HWND window =
      CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kResultsClass, title.c_str(),
                      WS_POPUP | WS_CAPTION | WS_SYSMENU, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                      (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, owner, nullptr, instance, nullptr);
  if (!window) return nullptr;
  auto* data = new ResultsData;
  data->text = batch::ResultsText(results, dryRun);
  data->undo = dryRun ? nullptr : undo;
  // The main window's face, so that Chinese names show on every system.
  data->font =
      CreateFontW(-Scale(kFontHeight, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"SimSun");
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
  RECT client;
  GetClientRect(window, &client);
  const int margin = Scale(kMargin, dpi);
  const int buttonTop = client.bottom - margin - Scale(kButtonHeight, dpi);
  HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, margin, margin,
                              client.right - 2 * margin, buttonTop - 2 * margin, window,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kResultsListId)), instance, nullptr);
  SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(data->font), FALSE);
  FillList(list, results, dryRun, dpi);
  const int buttonWidth = Scale(kButtonWidth, dpi);
  AddButton(window, u8"复制", kResultsCopyId, client.right - 2 * (buttonWidth + margin), buttonTop, dpi, data->font);
  AddButton(window, u8"关闭", IDCANCEL, client.right - buttonWidth - margin, buttonTop, dpi, data->font);
  if (data->undo) AddUndo(window, *data, buttonTop, client.right - 2 * (buttonWidth + margin) - margin, dpi);
  ShowWindow(window, SW_SHOW);
  return window;
}

void RunResultsWindow(HWND owner, HWND results) {
  if (!results) return;
  if (owner) EnableWindow(owner, FALSE);
  MSG message;
  while (IsWindow(results) && GetMessageW(&message, nullptr, 0, 0) > 0) {
    DispatchWindowMessage(message);
  }
  if (message.message == WM_QUIT && IsWindow(results)) {
    PostQuitMessage(static_cast<int>(message.wParam));
    DestroyWindow(results);
  }
  if (owner) {
    EnableWindow(owner, TRUE);
    SetForegroundWindow(owner);
  }
}

}  // namespace cw::app
