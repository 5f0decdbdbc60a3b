// Start-up, the message loop and exit of chengwen.exe: the settings store and the drop
// hooks live from start-up to exit, the main window in between.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "app/drop_target_hooks.h"
#include "app/main_window.h"
#include "batch/batch_job.h"
#include "settings/settings_store.h"

namespace cw::app {

// "青禾·澄文坊" in the working code page (the middle dot is A1 A4).
std::string ApplicationTitle();
// The program's folder, "\", the title and ".ini", whatever the working directory.
std::string SettingsFilePath();

class Application {
 public:
  // Start-up: creates the settings store and opens the settings file (created empty when
  // missing, kept open until exit), then creates the drop hooks. Shows no message.
  Application(const std::string& settingsPath, batch::Dialogs& dialogs);
  // Exit: destroys the store, which closes the settings file, then the drop hooks.
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Creates the main window (its controls restored before it takes input) and shows it.
  bool ShowMainWindow(HINSTANCE instance, int showCommand);
  // Runs until the main window has closed; the quit message's exit code.
  int RunMessageLoop();

  MainWindow& Window() { return *mainWindow_; }
  settings::SettingsStore& Store() { return *store_; }
  DropTargetHooks& Hooks() { return *hooks_; }

 private:
  std::unique_ptr<settings::SettingsStore> store_;
  std::unique_ptr<DropTargetHooks> hooks_;
  std::unique_ptr<MainWindow> mainWindow_;
  batch::Dialogs& dialogs_;
};

// The whole program: start-up, the window's life, exit. Returns the process exit code.
int RunApplication(HINSTANCE instance, int showCommand);

}  // namespace cw::app
