// Start-up, the message loop and exit of chengwen.exe.
#include "app/application.h"

#include <commctrl.h>

#include "app/win32_dialogs.h"
#include "encoding/charset.h"
#include "platform/platform.h"

namespace cw::app {

std::string ApplicationTitle() { return FromUtf8("青禾·澄文坊"); }

std::string SettingsFilePath() { return platform::ProgramFolder() + "\\" + ApplicationTitle() + ".ini"; }

Application::Application(const std::string& settingsPath, batch::Dialogs& dialogs) : dialogs_(dialogs) {
  store_ = std::make_unique<settings::SettingsStore>();
  hooks_ = std::make_unique<DropTargetHooks>();
  // Start-up goes on whatever the result: without the file the options are the defaults.
  store_->Open(settingsPath, settings::StorageMode::KeepOpen);
}

Application::~Application() {
  mainWindow_.reset();
  store_.reset();
  hooks_.reset();
}

bool Application::ShowMainWindow(HINSTANCE instance, int showCommand) {
  mainWindow_ = std::make_unique<MainWindow>(*store_, *hooks_, dialogs_);
  if (!mainWindow_->Create(instance)) return false;
  mainWindow_->Show(showCommand);
  return true;
}

int Application::RunMessageLoop() {
  MSG message = {};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchWindowMessage(message);
  return static_cast<int>(message.wParam);
}

int RunApplication(HINSTANCE instance, int showCommand) {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  Win32Dialogs dialogs;
  Application application(SettingsFilePath(), dialogs);
  if (!application.ShowMainWindow(instance, showCommand)) return 1;
  dialogs.SetOwner(application.Window().Handle());
  return application.RunMessageLoop();
}

}  // namespace cw::app
