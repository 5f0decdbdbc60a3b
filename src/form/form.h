// The named-control model of a window: what the engine, the batch and the settings store
// may ask of a window and its controls, whatever draws them (Win32 or memory).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cw::form {

enum class Kind {
  PushButton,
  EditBox,
  CheckBox,
  RadioButton,
  ComboBox,
  ListBox,
  CheckedListBox,
  ColourPicker,
  CommonDialog,
  TreeView,
  Label,
  PictureBox,
  Shape,
  ProgressBar,
  Timer,
  Link,
};
const char* KindName(Kind kind);  // "PushButton", ... (for messages and tests)

// Combo box styles, with the values the Windows designer uses.
constexpr int kComboDropDown = 0;      // edit field with a drop-down list
constexpr int kComboSimple = 1;        // edit field with a list always shown
constexpr int kComboDropDownList = 2;  // drop-down list only, no edit field

// The progress control keeps its range in 0..kProgressLimit.
constexpr int kProgressLimit = 32767;

// Pixels, relative to the control's container (the client area when it has none).
struct Geometry {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Geometry& o) const {
    return left == o.left && top == o.top && width == o.width && height == o.height;
  }
  bool operator!=(const Geometry& o) const { return !(*this == o); }
};

// One entry of a combo box, list box or checked list box.
struct Item {
  std::string text;
  int32_t number = 0;    // the integer kept with each item (list boxes)
  bool checked = false;  // checked list boxes only
  bool operator==(const Item& o) const { return text == o.text && number == o.number && checked == o.checked; }
};

// One control. Texts are working-code-page bytes. A state that a kind does not have
// reads as empty, 0 or false, and setting it does nothing.
class Control {
 public:
  virtual ~Control() = default;

  virtual const std::string& Name() const = 0;
  virtual Kind GetKind() const = 0;
  // The combo box style (kCombo...); 0 for other kinds.
  virtual int ComboStyle() const = 0;
  // The name of the panel or frame that holds the control; empty for the window itself.
  virtual std::string Container() const = 0;
  // Whether the control currently exists as a window inside its window.
  virtual bool Exists() const = 0;

  // The free text kept with every control.
  virtual std::string Tag() const = 0;
  virtual void SetTag(const std::string& tag) = 0;

  // Buttons, check boxes, radio buttons and labels.
  virtual std::string Caption() const = 0;
  virtual void SetCaption(const std::string& caption) = 0;

  // Check boxes and radio buttons. Checking a radio button clears the others of its
  // container.
  virtual bool Checked() const = 0;
  virtual void SetChecked(bool checked) = 0;

  // Combo and list boxes: the selected item from 0, -1 for none. An index outside the
  // list selects nothing.
  virtual int Selection() const = 0;
  virtual void SetSelection(int index) = 0;

  // Edit boxes and the edit field of a combo box; the kept text of a common dialog and
  // the kept bytes of a tree view.
  virtual std::string Content() const = 0;
  virtual void SetContent(const std::string& content) = 0;

  virtual bool Enabled() const = 0;
  virtual void SetEnabled(bool enabled) = 0;

  // Progress bars. The minimum is 0. The maximum is clamped to 0..kProgressLimit and the
  // position into 0..maximum.
  virtual int ProgressMaximum() const = 0;
  virtual void SetProgressMaximum(int maximum) = 0;
  virtual int ProgressPosition() const = 0;
  virtual void SetProgressPosition(int position) = 0;

  // Colour pickers: the colour as 0x00BBGGRR.
  virtual int32_t Colour() const = 0;
  virtual void SetColour(int32_t colour) = 0;

  virtual Geometry GetGeometry() const = 0;
  virtual void SetGeometry(const Geometry& geometry) = 0;

  // Combo boxes, list boxes and checked list boxes. Replacing the items clears the
  // selection.
  virtual std::vector<Item> Items() const = 0;
  virtual void SetItems(const std::vector<Item>& items) = 0;
};

// A window: its controls in control order (every control at any depth, containers
// before what they hold).
class Window {
 public:
  virtual ~Window() = default;
  virtual int ControlCount() const = 0;
  virtual Control* ControlAt(int index) = 0;

  // The control of that name, or nullptr.
  Control* Find(std::string_view name);
};

}  // namespace cw::form
