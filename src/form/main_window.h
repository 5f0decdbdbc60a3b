// The main window's controls as data: names, kinds, containers, geometry, captions, fonts
// and design defaults. The Win32 shell and the in-memory window are both built from it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "form/form.h"
#include "form/memory_window.h"

namespace cw::form {

enum class FontCharset { Gb2312, Ansi };

struct FontSpec {
  std::string face;  // working code page; empty = the system's default font
  int height = 0;    // character height in pixels
  bool bold = false;
  FontCharset charset = FontCharset::Gb2312;
};

// Every control of the main window, in the table's order: the value is the control's
// index in MainWindowControls(). Code refers to a control by this identifier; its name
// (kept for the settings keys and the window model) is written only in the table.
enum class ControlId : int {
  HeaderBanner,
  HeaderLine,
  UsageLink,
  BannerTimer,
  InputPanel,
  InputLabel,
  OutputPanel,
  OutputLabel,
  ScriptFrame,
  ScriptLabel,
  AdvancedLabel,
  ProgressBar,
  StatusLabel,
  LineEndings,
  WithoutBom,
  ConvertFileName,
  SubFolders,
  Overwrite,
  Big5ToTraditional,
  Big5ToSimplified,
  TraditionalToBig5,
  SimplifiedToBig5,
  TraditionalToSimplified,
  SimplifiedToTraditional,
  NoScript,
  InputAuto,
  InputAnsi,
  InputUtf8,
  InputUtf16Le,
  InputUtf16Be,
  OutputAuto,
  OutputAnsi,
  OutputUtf8,
  OutputUtf16Le,
  OutputUtf16Be,
  FilterBox,
  FolderButton,
  ListButton,
};
constexpr int kControlCount = static_cast<int>(ControlId::ListButton) + 1;

// One control at its design state. Texts are working-code-page bytes.
struct ControlSpec {
  ControlId id = ControlId::HeaderBanner;
  std::string name;
  Kind kind = Kind::Label;
  std::string container;  // empty = the window's client area
  Geometry geometry;
  std::string caption;
  std::string content;             // edit boxes
  std::vector<std::string> items;  // combo boxes
  int comboStyle = 0;
  int selection = -1;
  bool checked = false;
  bool enabled = true;  // a disabled label is drawn grey
  int progressMaximum = 100;
  int progressPosition = 0;
  int timerInterval = 0;     // milliseconds, timers only
  bool transparent = false;  // drawn without a background
  bool handCursor = false;
  int32_t backColour = -1;  // 0x00BBGGRR, -1 = the system's default
  FontSpec font;
};

struct WindowSpec {
  std::string caption;
  int width = 0;  // outer size in pixels; the window is fixed-size and shown centred
  int height = 0;
  int designLeft = 0;
  int designTop = 0;
};

const WindowSpec& MainWindowSpec();
// Every control of the main window in control order: the header strip, the panels and
// the frame (before what they hold), labels, the progress bar and its status label, and
// then the kept option controls in the order their settings keys are written.
const std::vector<ControlSpec>& MainWindowControls();
// The table row of a control, and its name (working code page).
const ControlSpec& SpecOf(ControlId id);
const std::string& NameOf(ControlId id);
// The control of that identifier in a window built from the table, or nullptr. The
// window is searched by name, so an in-memory window made by hand answers too.
Control* Find(Window& window, ControlId id);

// The controls in reading order, as indexes into `specs`: grouped by container (in the
// order the containers come), and within one container top to bottom, then left to
// right within a row. The keyboard's Tab follows this order.
std::vector<size_t> ReadingOrder(const std::vector<ControlSpec>& specs);

// Adds the controls to the window at their design state, in the table's order.
void BuildWindow(const std::vector<ControlSpec>& specs, MemoryWindow* window);
// A fresh in-memory main window at its design defaults.
std::unique_ptr<MemoryWindow> NewMainWindow();

}  // namespace cw::form
