// The in-memory window: plain fields with the few rules the real controls enforce.
#include "form/memory_window.h"

#include <algorithm>

namespace cw::form {

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::PushButton: return "PushButton";
    case Kind::EditBox: return "EditBox";
    case Kind::CheckBox: return "CheckBox";
    case Kind::RadioButton: return "RadioButton";
    case Kind::ComboBox: return "ComboBox";
    case Kind::ListBox: return "ListBox";
    case Kind::CheckedListBox: return "CheckedListBox";
    case Kind::ColourPicker: return "ColourPicker";
    case Kind::CommonDialog: return "CommonDialog";
    case Kind::TreeView: return "TreeView";
    case Kind::Label: return "Label";
    case Kind::PictureBox: return "PictureBox";
    case Kind::Shape: return "Shape";
    case Kind::ProgressBar: return "ProgressBar";
    case Kind::Timer: return "Timer";
    case Kind::Link: return "Link";
  }
  return "?";
}

Control* Window::Find(std::string_view name) {
  const int count = ControlCount();
  for (int i = 0; i < count; ++i) {
    Control* control = ControlAt(i);
    if (control && control->Name() == name) return control;
  }
  return nullptr;
}

MemoryControl::MemoryControl(MemoryWindow* window, std::string name, Kind kind, std::string container)
    : window_(window), name_(std::move(name)), kind_(kind), container_(std::move(container)) {}

void MemoryControl::SetChecked(bool checked) {
  if (!HasCheck()) return;
  if (checked && kind_ == Kind::RadioButton && window_) window_->UncheckGroup(this);
  checked_ = checked;
}

void MemoryControl::SetSelection(int index) {
  if (!HasItems()) return;
  selection_ = (index >= 0 && index < static_cast<int>(items_.size())) ? index : -1;
}

void MemoryControl::SetProgressMaximum(int maximum) {
  if (kind_ != Kind::ProgressBar) return;
  progressMaximum_ = std::clamp(maximum, 0, kProgressLimit);
  progressPosition_ = std::min(progressPosition_, progressMaximum_);
}

void MemoryControl::SetProgressPosition(int position) {
  if (kind_ != Kind::ProgressBar) return;
  progressPosition_ = std::clamp(position, 0, progressMaximum_);
}

void MemoryControl::SetItems(const std::vector<Item>& items) {
  if (!HasItems()) return;
  items_ = items;
  selection_ = -1;
}

Control* MemoryWindow::ControlAt(int index) {
  if (index < 0 || index >= ControlCount()) return nullptr;
  return controls_[static_cast<size_t>(index)].get();
}

MemoryControl* MemoryWindow::Add(const std::string& name, Kind kind, const std::string& container) {
  if (FindMemory(name)) return nullptr;
  controls_.push_back(std::make_unique<MemoryControl>(this, name, kind, container));
  return controls_.back().get();
}

MemoryControl* MemoryWindow::FindMemory(std::string_view name) {
  for (auto& control : controls_) {
    if (control->Name() == name) return control.get();
  }
  return nullptr;
}

void MemoryWindow::UncheckGroup(const MemoryControl* except) {
  for (auto& control : controls_) {
    if (control.get() != except && control->kind_ == Kind::RadioButton && control->container_ == except->container_) {
      control->checked_ = false;
    }
  }
}

}  // namespace cw::form
