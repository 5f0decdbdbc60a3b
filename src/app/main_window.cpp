// The main window: creation from the control table, the window-created and -closing
// sequences, and the events of the batch buttons, the status label and the link.
#include "app/main_window.h"

#include <commctrl.h>

#include <algorithm>

#include "app/status_line.h"
#include "app/win32_dialogs.h"
#include "app/win32_text.h"
#include "app/window_commands.h"
#include "encoding/charset.h"
#include "platform/platform.h"
#include "settings/persist.h"

namespace cw::app {
namespace {

using Id = form::ControlId;

constexpr wchar_t kMainClass[] = L"ChengwenMainWindow";
constexpr DWORD kMainStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// A control's Win32 id is its identifier past this base, so that a notification names
// the control without a lookup.
constexpr int kFirstControlId = 1000;
constexpr int kFolderCaptionIndent = 20;
constexpr int kLinkMargin = 4;        // below the link, inside the client area
constexpr int kFilterTipWidth = 400;  // a longer filter wraps in its tip
constexpr COLORREF kLinkColour = RGB(0x00, 0x5A, 0xB4);
// What the link below the option rows shows: how the window is used, in a few lines.
constexpr char kUsageText[] =
    u8"澄文坊批量转换文本和网页文件的编码。\r\n\r\n"
    u8"1. 选择输入编码（自动：按BOM、网页声明的charset和UTF-8检测）和输出编码（自动：与输入相同）。\r\n"
    u8"2. 按需选择繁简转换、同时转换文件名、换行格式和不带BOM。\r\n"
    u8"3. 点击“批量转换”选择多个文件；或点击“批量转换(文件夹方式)”选择文件夹；"
    u8"也可以把文件和目录拖放到窗口上。转换中再次点击按钮可以停止。\r\n\r\n"
    u8"文件过滤：按钮右侧的输入框，用于文件夹方式和拖放的目录。多个过滤用“;”或“|”分开，"
    u8"例如 *.txt;*.htm；“*”代表任意个字符，“?”代表一个字符。\r\n\r\n"
    u8"覆盖原文件：不勾选时，结果保存在所选目录旁边、名称后加“(已转换)”的目录中，原文件不变；"
    u8"勾选时结果写回原文件，新文件完整写好后才替换原文件，含零字符的非文本文件不会被覆盖。\r\n\r\n"
    u8"转换完成后，进度条上的文字说明结果（是否停止、失败几个），点击即可打开输出目录。"
    u8"有文件未能转换或转换有损失时，可以查看结果列表（转换结束时的提问，或点击进度条上括号里的计数）："
    u8"每个文件的结果、读取时所用的编码和输出位置，"
    u8"“复制”可把列表复制到剪贴板。\r\n\r\n"
    u8"试运行：按住 Shift 键点击两个批量转换按钮之一，只列出每个文件将如何读取、输出到哪里、"
    u8"什么会阻止转换，不写入任何文件。";

bool RegisterMainClass(HINSTANCE instance, WNDPROC procedure) {
  return RegisterWindowClass(instance, kMainClass, procedure, LoadIconW(instance, MAKEINTRESOURCEW(1)));
}

}  // namespace

std::string MainSection() { return FromUtf8("主界面"); }

std::string UsageText() { return FromUtf8(kUsageText); }

MainWindow::MainWindow(settings::SettingsStore& store, DropTargetHooks& hooks, batch::Dialogs& dialogs)
    : store_(store), hooks_(hooks), dialogs_(dialogs), form_(ScreenDpi()), fonts_(form_.Dpi()) {}

MainWindow::~MainWindow() {
  if (window_ && IsWindow(window_)) {
    hooks_.Detach(window_);
    DestroyWindow(window_);
  }
  for (auto& entry : brushes_) DeleteObject(entry.second);
}

Win32Control* MainWindow::Control(form::ControlId id) { return form_.Find(id); }

bool MainWindow::Create(HINSTANCE instance) {
  if (!RegisterPanelClass(instance) || !RegisterMainClass(instance, &WindowProc)) return false;
  const form::WindowSpec& spec = form::MainWindowSpec();
  const int dpi = form_.Dpi();
  const int width = Scale(spec.width, dpi);
  const int height = Scale(spec.height, dpi);
  // Centred on every start; the designed position and the last one are not used.
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  CreateWindowExW(WS_EX_CONTROLPARENT, kMainClass, Wide(spec.caption).c_str(), kMainStyle, left, top, width, height,
                  nullptr, nullptr, instance, this);
  if (!window_) return false;
  form_.SetHandle(window_);
  if (!BuildControls(instance)) return false;
  FitClientArea();
  AddFilterTip(instance);
  // The run writes both for every file; they draw a few times a second.
  for (Id id : {Id::StatusLabel, Id::ProgressBar}) {
    if (Win32Control* control = Control(id)) control->SetPaced(true);
  }
  batch_ = std::make_unique<batch::BatchJob>(form_, dialogs_);
  platform::SetPumpHook(&PumpWindowMessages);
  OnCreated();
  return true;
}

void MainWindow::FitClientArea() {
  // The link below the option row must lie inside the client area, whatever height the
  // system's caption and frame take; the window grows by what is missing and is centred
  // again.
  Win32Control* link = Control(Id::UsageLink);
  if (!link || !link->Handle()) return;
  RECT client;
  RECT linkArea;
  RECT frame;
  GetClientRect(window_, &client);
  GetWindowRect(link->Handle(), &linkArea);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&linkArea), 2);
  const int missing = linkArea.bottom + Scale(kLinkMargin, form_.Dpi()) - client.bottom;
  if (missing <= 0) return;
  GetWindowRect(window_, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top + missing;
  SetWindowPos(window_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::AddFilterTip(HINSTANCE instance) {
  // The filter box shows a few characters of a longer filter; its tip shows all of it.
  Win32Control* filter = Control(Id::FilterBox);
  if (!filter || !filter->Handle()) return;
  filterTip_ =
      CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance, nullptr);
  if (!filterTip_) return;
  SendMessageW(filterTip_, TTM_SETMAXTIPWIDTH, 0, Scale(kFilterTipWidth, form_.Dpi()));
  std::wstring text = Wide(filter->Content());
  TOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(filter->Handle());
  tool.lpszText = text.data();
  SendMessageW(filterTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void MainWindow::UpdateFilterTip() {
  Win32Control* filter = Control(Id::FilterBox);
  if (!filterTip_ || !filter) return;
  std::wstring text = Wide(filter->Content());
  TOOLINFOW tool = {};
  tool.cbSize = sizeof(tool);
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(filter->Handle());
  tool.lpszText = text.data();
  SendMessageW(filterTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void MainWindow::Show(int showCommand) {
  ShowWindow(window_, showCommand);
  UpdateWindow(window_);
}

bool MainWindow::BuildControls(HINSTANCE instance) {
  const auto& specs = form::MainWindowControls();
  for (size_t i = 0; i < specs.size(); ++i) {
    const form::ControlSpec& spec = specs[i];
    Win32Control* control = form_.Add(spec);
    HWND parent = window_;
    if (!spec.container.empty()) {
      Win32Control* container = form_.FindByName(spec.container);
      if (container && container->Handle()) parent = container->Handle();
    }
    HWND handle = CreateControlWindow(spec, control, parent, kFirstControlId + static_cast<int>(spec.id), instance,
                                      fonts_, form_.Dpi());
    if (!handle) {
      if (spec.kind != form::Kind::Timer) return false;
      continue;
    }
    if (spec.handCursor || spec.kind == form::Kind::ProgressBar || spec.id == Id::FolderButton) {
      SetWindowSubclass(handle, &ControlSubclass, static_cast<UINT_PTR>(spec.id), reinterpret_cast<DWORD_PTR>(this));
    }
  }
  // Tab follows the z-order, so the controls of each container are stacked in reading
  // order. The line under the banner and the link do not take the focus; they go on top
  // so that nothing covers them.
  HWND previous = HWND_TOP;
  std::string container;
  for (size_t index : form::ReadingOrder(specs)) {
    HWND handle = form_.At(static_cast<int>(index))->Handle();
    if (!handle) continue;
    if (specs[index].container != container) previous = HWND_TOP;
    container = specs[index].container;
    SetWindowPos(handle, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    previous = handle;
  }
  for (Id id : {Id::HeaderLine, Id::UsageLink}) {
    if (Win32Control* control = Control(id)) {
      SetWindowPos(control->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  FitFolderButtonAroundFilter();
  return true;
}

void MainWindow::FitFolderButtonAroundFilter() {
  // The filter box lies inside the folder button's rectangle but comes after it in the
  // reading order; the button leaves that part of itself out, so the box shows and gets
  // the clicks there.
  Win32Control* button = Control(Id::FolderButton);
  Win32Control* filter = Control(Id::FilterBox);
  if (button && filter) {
    RECT buttonArea;
    RECT filterArea;
    GetWindowRect(button->Handle(), &buttonArea);
    GetWindowRect(filter->Handle(), &filterArea);
    HRGN region = CreateRectRgn(0, 0, buttonArea.right - buttonArea.left, buttonArea.bottom - buttonArea.top);
    HRGN hole = CreateRectRgn(filterArea.left - buttonArea.left, filterArea.top - buttonArea.top,
                              filterArea.right - buttonArea.left, filterArea.bottom - buttonArea.top);
    CombineRgn(region, region, hole, RGN_DIFF);
    DeleteObject(hole);
    SetWindowRgn(button->Handle(), region, FALSE);  // the window owns the region now
  }
  // Its caption keeps to the part of the button that the filter box leaves free.
  if (button) {
    HWND handle = button->Handle();
    SetWindowLongW(handle, GWL_STYLE, GetWindowLongW(handle, GWL_STYLE) | BS_LEFT);
    RECT margin = {Scale(kFolderCaptionIndent, form_.Dpi()), 0, 0, 0};
    SendMessageW(handle, BCM_SETTEXTMARGIN, 0, reinterpret_cast<LPARAM>(&margin));
  }
}

bool MainWindow::OnFailurePart(HWND label, int x) {
  const std::wstring tail = Wide(batch_->FailureText());
  const std::wstring drawn = DrawnStatusText(label, Wide(form_.FindByHandle(label)->Tag()));
  if (tail.empty() || drawn.size() < tail.size() || drawn.compare(drawn.size() - tail.size(), tail.size(), tail) != 0) {
    return false;
  }
  // The line is drawn from the left and its counts are never shortened, so the failure
  // part ends the drawn text.
  RECT area;
  GetClientRect(label, &area);
  const int end = std::min<int>(StatusTextWidth(label, drawn), area.right);
  return x >= end - StatusTextWidth(label, tail) && x <= end;
}

void MainWindow::RunGuarded(const std::function<void()>& work) {
  ++guardDepth_;
  work();
  --guardDepth_;
  // What a run or a question wrote last shows at once when it returns.
  form_.DrawPaced();
  if (guardDepth_ == 0 && (closeDeferred_ || (batch_ && batch_->CloseWanted())) && !closing_) {
    closeDeferred_ = false;
    PostMessageW(window_, WM_CLOSE, 0, 0);
  }
}

void MainWindow::OnCreated() {
  // The restore comes first, before the window takes any input.
  RunGuarded([this] { settings::PersistControls(&store_, &form_, settings::Direction::Restore, MainSection()); });
  UpdateFilterTip();
  Win32Control* bar = Control(Id::ProgressBar);
  Win32Control* label = Control(Id::StatusLabel);
  if (bar && label && bar->Handle() && label->Handle()) {
    SetParent(label->Handle(), bar->Handle());
    const form::Geometry area = bar->GetGeometry();
    label->SetGeometry({10, 0, area.width - 10, area.height});
  }
  hooks_.Attach(window_, [this](int count, int index, const std::string& path, const std::string& extension) {
    RunGuarded([&] { batch_->OnDropItem(count, index, path, extension); });
  });
}

void MainWindow::OnClose() {
  if (closing_) return;
  if (guardDepth_ > 0 || batch_->IsRunning()) {
    // Inside a run or a question: the run stops after its current file, then we close.
    batch_->RequestClose();
    closeDeferred_ = true;
    return;
  }
  if (!batch_->RequestClose()) {
    closeDeferred_ = true;
    return;
  }
  closing_ = true;
  // The save pumps messages; no click may start anything while the window goes.
  EnableWindow(window_, FALSE);
  settings::PersistControls(&store_, &form_, settings::Direction::Save, MainSection());
  hooks_.Detach(window_);
  DestroyWindow(window_);
}

void MainWindow::OnCommand(int id, int code) {
  // Enter in the filter box comes as IDOK from the dialog keys: not one of ours.
  const int index = id - kFirstControlId;
  if (index < 0 || index >= form::kControlCount) return;
  // Shift held while clicking a batch button asks for a dry run.
  const bool dryRun = GetKeyState(VK_SHIFT) < 0;
  switch (static_cast<Id>(index)) {
    case Id::ListButton:
      if (code == BN_CLICKED) RunGuarded([this, dryRun] { batch_->OnListButtonClick(dryRun); });
      break;
    case Id::FolderButton:
      if (code == BN_CLICKED) RunGuarded([this, dryRun] { batch_->OnFolderButtonClick(dryRun); });
      break;
    case Id::FilterBox:
      if (code == EN_CHANGE) UpdateFilterTip();
      break;
    case Id::UsageLink:
      if (code == STN_CLICKED) {
        // Owned by the window, so that it stays in front of it and keeps it waiting.
        MessageBoxW(window_, Wide(UsageText()).c_str(), WideFromUtf8(u8"使用说明").c_str(), MB_OK | MB_ICONINFORMATION);
      }
      break;
    default: break;
  }
}

LRESULT MainWindow::OnControlColour(HDC dc, HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Win32Control* control = form_.FindByHandle(handle);
  if (control && control->Transparent()) {
    SetBkMode(dc, TRANSPARENT);
    if (control->GetKind() == form::Kind::Link) SetTextColor(dc, kLinkColour);
    return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
  }
  if (control && control->BackColour() >= 0) {
    const COLORREF colour = static_cast<COLORREF>(control->BackColour());
    HBRUSH& brush = brushes_[control->BackColour()];
    if (!brush) brush = CreateSolidBrush(colour);
    SetBkColor(dc, colour);
    return reinterpret_cast<LRESULT>(brush);
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  return self->HandleMessage(message, wParam, lParam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_CTLCOLORSTATIC:
      return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), message, wParam, lParam);
    case WM_TIMER:
      if (wParam != kPaceTimer) break;
      form_.DrawPaced();
      return 0;
    case WM_CLOSE: OnClose(); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_NCDESTROY: {
      HWND window = window_;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      window_ = nullptr;
      form_.SetHandle(nullptr);
      return DefWindowProcW(window, message, wParam, lParam);
    }
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::ControlSubclass(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                             DWORD_PTR self) {
  return reinterpret_cast<MainWindow*>(self)->HandleControlMessage(control, static_cast<Id>(id), message, wParam,
                                                                   lParam);
}

LRESULT MainWindow::HandleControlMessage(HWND handle, Id id, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLORSTATIC:
      // The status label lives in the progress bar; its colours are the window's to give.
      return SendMessageW(window_, message, wParam, lParam);
    case WM_NCDESTROY:
      RemoveWindowSubclass(handle, &ControlSubclass, static_cast<UINT_PTR>(id));
      return DefSubclassProc(handle, message, wParam, lParam);
    default: break;
  }
  switch (id) {
    case Id::StatusLabel:
      if (message == WM_PAINT) {
        PaintStatusLine(handle, Wide(form_.FindByHandle(handle)->Tag()));
        return 0;
      }
      if (message == WM_LBUTTONDOWN) {
        // The failure part at the end of the completion line opens the result list;
        // the rest of the line opens the output folder.
        if (OnFailurePart(handle, static_cast<short>(LOWORD(lParam)))) {
          RunGuarded([this] { batch_->ShowLastResults(); });
        } else {
          OpenOutputFolder(form_);
        }
        return 0;
      }
      [[fallthrough]];
    case Id::UsageLink:
      if (message == WM_SETCURSOR) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case Id::FolderButton:
      if (message == WM_RBUTTONUP) OnFolderButtonRightUp(handle, lParam);
      break;
    default: break;
  }
  return DefSubclassProc(handle, message, wParam, lParam);
}

void MainWindow::OnFolderButtonRightUp(HWND button, LPARAM lParam) {
  // Releasing the right button over the folder button is a click too.
  RECT area;
  GetClientRect(button, &area);
  const POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  if (PtInRect(&area, point) && IsWindowEnabled(button)) {
    PostMessageW(window_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
  }
}

}  // namespace cw::app
