// MainWindow: the program's only window, built from the control table, with the events
// of its controls tied to the batch, the window commands and the settings lifecycle.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/control_factory.h"
#include "app/drop_target_hooks.h"
#include "app/win32_window.h"
#include "batch/batch_job.h"
#include "settings/settings_store.h"

namespace cw::app {

// The section the control states are kept under.
std::string MainSection();
// The usage text the link below the options shows (working code page).
std::string UsageText();

class MainWindow {
 public:
  MainWindow(settings::SettingsStore& store, DropTargetHooks& hooks, batch::Dialogs& dialogs);
  // Destroys the window if it is still there, without the closing sequence.
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window, centred, with every control, and runs the window-created sequence
  // (restore, status label onto the progress bar, drop hook) before it is shown.
  bool Create(HINSTANCE instance);
  void Show(int showCommand);

  HWND Handle() const { return window_; }
  // The tooltip that shows the whole filter over the filter box.
  HWND FilterTip() const { return filterTip_; }
  Win32Window& Form() { return form_; }
  batch::BatchJob& Batch() { return *batch_; }
  // The control of that identifier, or null.
  Win32Control* Control(form::ControlId id);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Bound to the few controls whose own messages matter, with the control's identifier
  // as the subclass id.
  static LRESULT CALLBACK ControlSubclass(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                          DWORD_PTR self);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleControlMessage(HWND control, form::ControlId id, UINT message, WPARAM wParam, LPARAM lParam);
  // Releasing the right button over the folder button.
  void OnFolderButtonRightUp(HWND button, LPARAM lParam);
  bool BuildControls(HINSTANCE instance);
  // The filter box lies inside the folder button: the button leaves that part out.
  void FitFolderButtonAroundFilter();
  void FitClientArea();
  // Whether x (in the status label) lies on the failure part of the completion line.
  bool OnFailurePart(HWND label, int x);
  void AddFilterTip(HINSTANCE instance);
  void UpdateFilterTip();
  void OnCreated();
  void OnClose();
  void OnCommand(int id, int code);
  LRESULT OnControlColour(HDC dc, HWND control, UINT message, WPARAM wParam, LPARAM lParam);
  // Runs something that may pump messages (a batch, the restore); a close asked for
  // meanwhile is carried out when the outermost such call has returned.
  void RunGuarded(const std::function<void()>& work);

  settings::SettingsStore& store_;
  DropTargetHooks& hooks_;
  batch::Dialogs& dialogs_;
  HWND window_ = nullptr;
  HWND filterTip_ = nullptr;
  Win32Window form_;
  FontCache fonts_;
  std::unique_ptr<batch::BatchJob> batch_;
  std::map<int32_t, HBRUSH> brushes_;  // backgrounds of coloured labels
  int guardDepth_ = 0;
  bool closeDeferred_ = false;
  bool closing_ = false;
};

}  // namespace cw::app
