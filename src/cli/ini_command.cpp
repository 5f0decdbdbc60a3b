// chengwen-cli ini: read and write values of a settings file in its text form, and write
// the main window's first save, as closing the window on a first run does.
#include "cli/cli_util.h"
#include "cli/command.h"
#include "cli/console.h"
#include "encoding/charset.h"
#include "form/main_window.h"
#include "settings/persist.h"
#include "settings/settings_store.h"

namespace cw::cli {
namespace {

int Usage() {
  Err("usage: chengwen-cli ini get FILE SECTION KEY [DEFAULT]\n"
      "       chengwen-cli ini set FILE SECTION KEY VALUE\n"
      "       chengwen-cli ini save-form FILE\n");
  return 2;
}

int RunIni(const Args& args) {
  if (args.empty()) return Usage();
  const std::string& action = args[0];
  if (action == "get" && (args.size() == 4 || args.size() == 5)) {
    settings::SettingsStore store;
    // Reading never creates or locks the file.
    store.Open(PathFromArg(args[1]), settings::StorageMode::ReadOnlyFile);
    store.SetSection(TextFromArg(args[2]));
    const std::string value = store.ReadText(TextFromArg(args[3]), args.size() == 5 ? TextFromArg(args[4]) : "");
    Out(TextForDisplay(value) + "\n");
    return 0;
  }
  if (action == "set" && args.size() == 5) {
    settings::SettingsStore store;
    if (!store.Open(PathFromArg(args[1]), settings::StorageMode::KeepOpen)) {
      Err("chengwen-cli: cannot open " + EscapeForLine(args[1]) + " for writing\n");
      return 1;
    }
    store.SetSection(TextFromArg(args[2]));
    return store.WriteText(TextFromArg(args[3]), TextFromArg(args[4])) ? 0 : 1;
  }
  if (action == "save-form" && args.size() == 2) {
    settings::SettingsStore store;
    if (!store.Open(PathFromArg(args[1]), settings::StorageMode::KeepOpen)) {
      Err("chengwen-cli: cannot open " + EscapeForLine(args[1]) + " for writing\n");
      return 1;
    }
    auto window = form::NewMainWindow();
    settings::PersistControls(&store, window.get(), settings::Direction::Save, FromUtf8("主界面"));
    return 0;
  }
  return Usage();
}

}  // namespace

CW_CLI_COMMAND(ini, "ini", "ini get FILE SECTION KEY [DEFAULT] | ini set FILE SECTION KEY VALUE | ini save-form FILE",
               RunIni);

}  // namespace cw::cli
