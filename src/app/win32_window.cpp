// The form model over Win32 controls. Geometry is given in the table's 96-dpi pixels and
// scaled to the screen here.
#include "app/win32_window.h"

#include <commctrl.h>

#include <algorithm>

#include "app/win32_text.h"

namespace cw::app {

using form::Kind;

Win32Control::Win32Control(Win32Window* window, const form::ControlSpec& spec)
    : window_(window),
      id_(spec.id),
      name_(spec.name),
      kind_(spec.kind),
      comboStyle_(spec.kind == Kind::ComboBox ? spec.comboStyle : 0),
      transparent_(spec.transparent),
      backColour_(spec.backColour),
      content_(spec.content),
      enabled_(spec.enabled),
      geometry_(spec.geometry) {}

bool Win32Control::HasCheck() const { return kind_ == Kind::CheckBox || kind_ == Kind::RadioButton; }

bool Win32Control::HasCaption() const {
  return kind_ == Kind::PushButton || kind_ == Kind::CheckBox || kind_ == Kind::RadioButton || kind_ == Kind::Label ||
         kind_ == Kind::Link;
}

bool Win32Control::HasText() const {
  return kind_ == Kind::EditBox || (kind_ == Kind::ComboBox && comboStyle_ != form::kComboDropDownList);
}

std::string Win32Control::Container() const {
  if (!Exists()) return {};
  HWND parent = GetParent(handle_);
  if (!parent || parent == window_->Handle()) return {};
  const Win32Control* holder = window_->FindByHandle(parent);
  return holder ? holder->Name() : std::string();
}

std::string Win32Control::Caption() const {
  if (!HasCaption() || !Exists()) return std::string();
  return captionPending_ ? caption_ : WindowText(handle_);
}

void Win32Control::SetCaption(const std::string& caption) {
  if (!HasCaption() || !Exists()) return;
  if (!paced_) {
    WriteCaption(caption);
    return;
  }
  caption_ = caption;
  captionPending_ = true;
  window_->PacedChange();
}

void Win32Control::WriteCaption(const std::string& caption) {
  SetWindowTextWorking(handle_, caption);
  if (transparent_) RepaintThrough();
}

void Win32Control::DrawPending() {
  if (!captionPending_ && !progressPending_) return;
  if (!Exists()) {
    captionPending_ = progressPending_ = false;
    return;
  }
  // The bar first: a transparent label repaints the bar under it as it draws.
  if (progressPending_) {
    progressPending_ = false;
    WriteProgress(maximum_, position_);
  }
  if (captionPending_) {
    captionPending_ = false;
    WriteCaption(caption_);
  }
}

void Win32Control::RepaintThrough() const {
  HWND parent = GetParent(handle_);
  RECT area;
  GetWindowRect(handle_, &area);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&area), 2);
  RedrawWindow(parent, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

bool Win32Control::Checked() const {
  return HasCheck() && Exists() && SendMessageW(handle_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32Control::SetChecked(bool checked) {
  if (!HasCheck() || !Exists()) return;
  if (checked && kind_ == Kind::RadioButton) {
    // One checked radio button per container.
    const std::string container = Container();
    for (int i = 0; i < window_->ControlCount(); ++i) {
      Win32Control* other = window_->At(i);
      if (other != this && other->kind_ == Kind::RadioButton && other->Exists() && other->Container() == container) {
        SendMessageW(other->handle_, BM_SETCHECK, BST_UNCHECKED, 0);
      }
    }
  }
  SendMessageW(handle_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

int Win32Control::Selection() const {
  if (kind_ != Kind::ComboBox || !Exists()) return -1;
  const LRESULT index = SendMessageW(handle_, CB_GETCURSEL, 0, 0);
  return index == CB_ERR ? -1 : static_cast<int>(index);
}

void Win32Control::SetSelection(int index) {
  if (kind_ != Kind::ComboBox || !Exists()) return;
  const int count = static_cast<int>(SendMessageW(handle_, CB_GETCOUNT, 0, 0));
  SendMessageW(handle_, CB_SETCURSEL, index >= 0 && index < count ? index : -1, 0);
}

std::string Win32Control::Content() const {
  if (HasText()) return Exists() ? WindowText(handle_) : std::string();
  return content_;
}

void Win32Control::SetContent(const std::string& content) {
  if (HasText()) {
    if (Exists()) SetWindowTextWorking(handle_, content);
    return;
  }
  content_ = content;
}

bool Win32Control::Enabled() const { return Exists() ? IsWindowEnabled(handle_) != FALSE : enabled_; }

void Win32Control::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (Exists()) EnableWindow(handle_, enabled ? TRUE : FALSE);
}

int Win32Control::ProgressMaximum() const {
  if (kind_ != Kind::ProgressBar || !Exists()) return 0;
  if (progressPending_) return maximum_;
  return static_cast<int>(SendMessageW(handle_, PBM_GETRANGE, FALSE, 0));
}

void Win32Control::SetProgressMaximum(int maximum) {
  if (kind_ != Kind::ProgressBar || !Exists()) return;
  const int position = ProgressPosition();
  maximum = std::clamp(maximum, 0, form::kProgressLimit);
  if (!paced_) {
    WriteProgress(maximum, std::min(position, maximum));
    return;
  }
  maximum_ = maximum;
  position_ = std::min(position, maximum);
  progressPending_ = true;
  window_->PacedChange();
}

void Win32Control::WriteProgress(int maximum, int position) {
  SendMessageW(handle_, PBM_SETRANGE32, 0, maximum);
  SendMessageW(handle_, PBM_SETPOS, position, 0);
}

int Win32Control::ProgressPosition() const {
  if (kind_ != Kind::ProgressBar || !Exists()) return 0;
  if (progressPending_) return position_;
  return static_cast<int>(SendMessageW(handle_, PBM_GETPOS, 0, 0));
}

void Win32Control::SetProgressPosition(int position) {
  if (kind_ != Kind::ProgressBar || !Exists()) return;
  const int maximum = ProgressMaximum();
  position = std::clamp(position, 0, maximum);
  if (!paced_) {
    SendMessageW(handle_, PBM_SETPOS, position, 0);
    return;
  }
  maximum_ = maximum;
  position_ = position;
  progressPending_ = true;
  window_->PacedChange();
}

form::Geometry Win32Control::GetGeometry() const {
  if (!Exists()) return geometry_;
  RECT area;
  GetWindowRect(handle_, &area);
  MapWindowPoints(nullptr, GetParent(handle_), reinterpret_cast<POINT*>(&area), 2);
  const int dpi = window_->Dpi();
  return {Unscale(area.left, dpi), Unscale(area.top, dpi), Unscale(area.right - area.left, dpi),
          Unscale(area.bottom - area.top, dpi)};
}

void Win32Control::SetGeometry(const form::Geometry& geometry) {
  geometry_ = geometry;
  if (!Exists()) return;
  const int dpi = window_->Dpi();
  MoveWindow(handle_, Scale(geometry.left, dpi), Scale(geometry.top, dpi), Scale(geometry.width, dpi),
             Scale(geometry.height, dpi), TRUE);
}

std::vector<form::Item> Win32Control::Items() const {
  std::vector<form::Item> items;
  if (kind_ != Kind::ComboBox || !Exists()) return items;
  const int count = static_cast<int>(SendMessageW(handle_, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(handle_, CB_GETLBTEXTLEN, i, 0);
    std::wstring text(length > 0 ? static_cast<size_t>(length) + 1 : 1, L'\0');
    SendMessageW(handle_, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
    form::Item item;
    item.text = Narrow(text.c_str());
    item.number = static_cast<int32_t>(SendMessageW(handle_, CB_GETITEMDATA, i, 0));
    items.push_back(item);
  }
  return items;
}

void Win32Control::SetItems(const std::vector<form::Item>& items) {
  if (kind_ != Kind::ComboBox || !Exists()) return;
  SendMessageW(handle_, CB_RESETCONTENT, 0, 0);
  for (const form::Item& item : items) {
    const LRESULT index = SendMessageW(handle_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item.text).c_str()));
    if (index >= 0) SendMessageW(handle_, CB_SETITEMDATA, index, item.number);
  }
}

void Win32Window::PacedChange() {
  pending_ = true;
  const DWORD now = GetTickCount();
  const DWORD since = now - lastDrawn_;
  if (!drawnOnce_ || since >= kPaceMilliseconds) {
    DrawPaced();
    return;
  }
  if (!timerSet_ && handle_) timerSet_ = SetTimer(handle_, kPaceTimer, kPaceMilliseconds - since, nullptr) != 0;
}

void Win32Window::DrawPaced() {
  if (timerSet_) {
    KillTimer(handle_, kPaceTimer);
    timerSet_ = false;
  }
  if (!pending_) return;
  pending_ = false;
  for (auto& control : controls_) control->DrawPending();
  lastDrawn_ = GetTickCount();
  drawnOnce_ = true;
}

form::Control* Win32Window::ControlAt(int index) {
  if (index < 0 || index >= ControlCount()) return nullptr;
  return controls_[static_cast<size_t>(index)].get();
}

Win32Control* Win32Window::Add(const form::ControlSpec& spec) {
  controls_.push_back(std::make_unique<Win32Control>(this, spec));
  return controls_.back().get();
}

Win32Control* Win32Window::FindByHandle(HWND handle) {
  if (!handle) return nullptr;
  for (auto& control : controls_) {
    if (control->Handle() == handle) return control.get();
  }
  return nullptr;
}

Win32Control* Win32Window::Find(form::ControlId id) {
  // The window is built in the table's order, so a control sits at its identifier.
  const size_t index = static_cast<size_t>(id);
  if (index < controls_.size() && controls_[index]->Id() == id) return controls_[index].get();
  for (auto& control : controls_) {
    if (control->Id() == id) return control.get();
  }
  return nullptr;
}

Win32Control* Win32Window::FindByName(const std::string& name) {
  for (auto& control : controls_) {
    if (control->Name() == name) return control.get();
  }
  return nullptr;
}

}  // namespace cw::app
