// A window held in memory: the form model without a screen, for the command-line driver,
// the tests of the batch and the settings store, and anything that runs without Win32.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "form/form.h"

namespace cw::form {

class MemoryWindow;

class MemoryControl : public Control {
 public:
  MemoryControl(MemoryWindow* window, std::string name, Kind kind, std::string container);

  const std::string& Name() const override { return name_; }
  Kind GetKind() const override { return kind_; }
  int ComboStyle() const override { return comboStyle_; }
  std::string Container() const override { return container_; }
  bool Exists() const override { return exists_; }
  std::string Tag() const override { return tag_; }
  void SetTag(const std::string& tag) override { tag_ = tag; }
  std::string Caption() const override { return caption_; }
  void SetCaption(const std::string& caption) override { caption_ = caption; }
  bool Checked() const override { return checked_; }
  void SetChecked(bool checked) override;
  int Selection() const override { return selection_; }
  void SetSelection(int index) override;
  std::string Content() const override { return content_; }
  void SetContent(const std::string& content) override { content_ = content; }
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  int ProgressMaximum() const override { return progressMaximum_; }
  void SetProgressMaximum(int maximum) override;
  int ProgressPosition() const override { return progressPosition_; }
  void SetProgressPosition(int position) override;
  int32_t Colour() const override { return colour_; }
  void SetColour(int32_t colour) override { colour_ = colour; }
  Geometry GetGeometry() const override { return geometry_; }
  void SetGeometry(const Geometry& geometry) override { geometry_ = geometry; }
  std::vector<Item> Items() const override { return items_; }
  void SetItems(const std::vector<Item>& items) override;

  // Only in memory: a control can be taken out of its window and put back, and its
  // style fixed when it is made.
  void SetExists(bool exists) { exists_ = exists; }
  void SetComboStyle(int style) { comboStyle_ = style; }

 private:
  friend class MemoryWindow;
  bool HasCheck() const { return kind_ == Kind::CheckBox || kind_ == Kind::RadioButton; }
  bool HasItems() const { return kind_ == Kind::ComboBox || kind_ == Kind::ListBox || kind_ == Kind::CheckedListBox; }

  MemoryWindow* window_;
  std::string name_;
  Kind kind_;
  std::string container_;
  int comboStyle_ = 0;
  bool exists_ = true;
  std::string tag_;
  std::string caption_;
  bool checked_ = false;
  int selection_ = -1;
  std::string content_;
  bool enabled_ = true;
  int progressMaximum_ = 100;
  int progressPosition_ = 0;
  int32_t colour_ = 0;
  Geometry geometry_;
  std::vector<Item> items_;
};

class MemoryWindow : public Window {
 public:
  int ControlCount() const override { return static_cast<int>(controls_.size()); }
  Control* ControlAt(int index) override;

  // Adds a control at the end of the control order. Names are unique: adding a name
  // that exists returns nullptr.
  MemoryControl* Add(const std::string& name, Kind kind, const std::string& container = "");
  MemoryControl* FindMemory(std::string_view name);

 private:
  friend class MemoryControl;
  void UncheckGroup(const MemoryControl* except);

  std::vector<std::unique_ptr<MemoryControl>> controls_;
};

}  // namespace cw::form
