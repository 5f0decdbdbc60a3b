// Entry point of chengwen.exe.
#include <windows.h>

#include "app/application.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  return cw::app::RunApplication(instance, showCommand);
}
