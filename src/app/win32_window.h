// The form model over real Win32 controls: what the batch and the settings store see of
// the main window (names, kinds, tags, captions, states, control order).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "form/form.h"
#include "form/main_window.h"

namespace cw::app {

class Win32Window;

// One control of the table and the window that shows it (none for the banner timer).
class Win32Control : public form::Control {
 public:
  Win32Control(Win32Window* window, const form::ControlSpec& spec);

  HWND Handle() const { return handle_; }
  void SetHandle(HWND handle) { handle_ = handle; }
  bool Transparent() const { return transparent_; }
  // A paced control (the status line and the bar, written for every file of a run)
  // draws what it was told at most every kPaceMilliseconds; it reports what it was told
  // last, drawn or not, and the window draws the rest when the time comes.
  void SetPaced(bool paced) { paced_ = paced; }
  // Draws what is still waiting to be drawn.
  void DrawPending();
  // The background colour as 0x00BBGGRR; -1 for the system's.
  int32_t BackColour() const { return backColour_; }

  // The control's row in the table.
  form::ControlId Id() const { return id_; }
  const std::string& Name() const override { return name_; }
  form::Kind GetKind() const override { return kind_; }
  int ComboStyle() const override { return comboStyle_; }
  // The control that holds this one now (the status label moves into the progress bar).
  std::string Container() const override;
  bool Exists() const override { return handle_ && IsWindow(handle_); }

  std::string Tag() const override { return tag_; }
  void SetTag(const std::string& tag) override { tag_ = tag; }
  std::string Caption() const override;
  void SetCaption(const std::string& caption) override;
  bool Checked() const override;
  void SetChecked(bool checked) override;
  int Selection() const override;
  void SetSelection(int index) override;
  std::string Content() const override;
  void SetContent(const std::string& content) override;
  bool Enabled() const override;
  void SetEnabled(bool enabled) override;
  int ProgressMaximum() const override;
  void SetProgressMaximum(int maximum) override;
  int ProgressPosition() const override;
  void SetProgressPosition(int position) override;
  int32_t Colour() const override { return colour_; }
  void SetColour(int32_t colour) override { colour_ = colour; }
  form::Geometry GetGeometry() const override;
  void SetGeometry(const form::Geometry& geometry) override;
  std::vector<form::Item> Items() const override;
  void SetItems(const std::vector<form::Item>& items) override;

 private:
  bool HasCheck() const;
  bool HasCaption() const;
  bool HasText() const;
  // Repaints what lies under a control drawn without a background, and the control.
  void RepaintThrough() const;
  void WriteCaption(const std::string& caption);
  void WriteProgress(int maximum, int position);

  Win32Window* window_;
  form::ControlId id_;
  std::string name_;
  form::Kind kind_;
  int comboStyle_ = 0;
  bool transparent_ = false;
  int32_t backColour_ = -1;
  HWND handle_ = nullptr;
  std::string tag_;
  // States of kinds that have no window for them.
  std::string content_;
  bool enabled_ = true;
  int32_t colour_ = 0;
  form::Geometry geometry_;
  // What a paced control was told and has not drawn yet.
  bool paced_ = false;
  bool captionPending_ = false;
  bool progressPending_ = false;
  std::string caption_;
  int maximum_ = 0;
  int position_ = 0;
};

// How often at most a paced control draws: a few times a second is as often as anyone
// can read a changing line, and drawing it for every file of a run of small files costs
// more than converting them under Wine.
constexpr unsigned kPaceMilliseconds = 250;
// The timer that draws what a paced control was told last, when no later change does.
constexpr UINT_PTR kPaceTimer = 0xC0DE;

class Win32Window : public form::Window {
 public:
  explicit Win32Window(int dpi) : dpi_(dpi) {}

  int ControlCount() const override { return static_cast<int>(controls_.size()); }
  form::Control* ControlAt(int index) override;

  Win32Control* Add(const form::ControlSpec& spec);
  Win32Control* At(int index) { return controls_[static_cast<size_t>(index)].get(); }
  Win32Control* FindByHandle(HWND handle);
  Win32Control* FindByName(const std::string& name);
  Win32Control* Find(form::ControlId id);

  HWND Handle() const { return handle_; }
  void SetHandle(HWND handle) { handle_ = handle; }
  int Dpi() const { return dpi_; }

  // A paced control was told something: drawn now when the last drawing is
  // kPaceMilliseconds old, else by the pace timer (or an earlier change) at that time.
  void PacedChange();
  // Draws every paced control's waiting state now (the pace timer, the end of a run).
  void DrawPaced();

 private:
  HWND handle_ = nullptr;
  int dpi_;
  std::vector<std::unique_ptr<Win32Control>> controls_;
  bool pending_ = false;   // a paced control has something to draw
  bool timerSet_ = false;  // the pace timer will draw it
  DWORD lastDrawn_ = 0;    // GetTickCount() of the last drawing of the paced controls
  bool drawnOnce_ = false;
};

}  // namespace cw::app
