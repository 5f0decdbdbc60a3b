// Window commands: the output folder in the file manager, and links through the shell.
#include "app/window_commands.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "app/win32_text.h"
#include "form/main_window.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw::app {

void OpenOutputFolder(form::Window& window) {
  form::Control* label = form::Find(window, form::ControlId::StatusLabel);
  if (!label) return;
  const std::string folder = label->Tag();
  if (folder.empty() || !platform::Exists(folder)) return;
  OpenFolder(folder);
}

bool OpenFolder(const std::string& folder) {
  // The shell's "open" on the folder itself: Windows's file manager and Wine's both show
  // it in a window of its own. (Wine's explorer takes a "/n," command line for its desktop.)
  const HINSTANCE started = ShellExecuteW(nullptr, L"open", Wide(folder).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(started) > 32;
}

std::string ExplorerCommandLine(std::string& path, const ExplorerOptions& options) {
  if (options.rootAtParent) {
    const size_t slash = text::FindLast(path, "\\");
    if (slash != text::npos) path.resize(slash);
  }
  std::string command = "explorer ";
  command += options.newWindow ? "/n" : "/e";
  command += ",";
  if (!options.openItself && !options.rootAtParent) command += "/select,";
  if (options.rootAtParent) command += "/root,";
  command += "\"" + path + "\"";
  return command;
}

bool OpenInExplorer(std::string& path, const ExplorerOptions& options) {
  std::string command = ExplorerCommandLine(path, options);
  if (options.openItself && path.size() >= 4 && text::AsciiLower(path.substr(path.size() - 4)) == ".exe") {
    command = path;
  }
  return RunCommandLine(command, options.wait, options.showMode);
}

int ShowWindowValue(int showMode) {
  static const int kShow[] = {SW_HIDE,          SW_SHOWNORMAL,     SW_SHOWMINIMIZED,
                              SW_SHOWMAXIMIZED, SW_SHOWNOACTIVATE, SW_SHOWMINNOACTIVE};
  return kShow[std::clamp(showMode, 1, 6) - 1];
}

bool RunCommandLine(const std::string& commandLine, bool wait, int showMode) {
  std::wstring command = Wide(commandLine);  // CreateProcessW may write into it
  if (command.empty()) return false;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(ShowWindowValue(showMode));
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  if (wait) {
    WaitForSingleObject(process.hProcess, INFINITE);
  } else {
    WaitForInputIdle(process.hProcess, 1000);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

void ShellOpen(const std::string& target, const std::string& parameters) {
  ShellExecuteW(nullptr, L"open", Wide(target).c_str(), parameters.empty() ? nullptr : Wide(parameters).c_str(), L"",
                SW_SHOWNORMAL);
}

}  // namespace cw::app
