// Saving and restoring the main window's 25 kept controls into an existing settings
// file: time per call and bytes written to the disk per save.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "encoding/charset.h"
#include "form/main_window.h"
#include "platform/platform.h"
#include "settings/persist.h"
#include "settings/settings_store.h"

namespace {

using cw::settings::Direction;
using cw::settings::PersistControls;
using cw::settings::SettingsStore;

// A settings file that already holds a first save, behind some unrelated sections.
struct BenchFile {
  BenchFile() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("cw-settings-bench-" + std::to_string(std::rand()));
    std::filesystem::create_directories(dir);
    folder = dir.string();
    path = "Z:" + folder + "/settings.ini";
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    std::string other;
    for (int i = 0; i < 200; ++i) other += "[other" + std::to_string(i) + "]\r\nkey=value\r\n";
    cw::platform::WriteWholeFile(path, other);
    SettingsStore store;
    store.Open(path, cw::settings::StorageMode::KeepOpen);
    auto window = cw::form::NewMainWindow();
    PersistControls(&store, window.get(), Direction::Save, cw::FromUtf8("主界面"));
  }
  ~BenchFile() { std::filesystem::remove_all(folder); }
  std::string folder;
  std::string path;
};

void Save(benchmark::State& state, bool changeEveryTime) {
  BenchFile file;
  SettingsStore store;
  store.Open(file.path, cw::settings::StorageMode::KeepOpen);
  auto window = cw::form::NewMainWindow();
  cw::form::Control* utf8 = cw::form::Find(*window, cw::form::ControlId::InputUtf8);
  cw::form::Control* automatic = cw::form::Find(*window, cw::form::ControlId::InputAuto);
  cw::form::Control* folderButton = cw::form::Find(*window, cw::form::ControlId::FolderButton);
  int64_t saves = 0;
  for (auto _ : state) {
    if (changeEveryTime) {
      (saves % 2 ? utf8 : automatic)->SetChecked(true);
      folderButton->SetTag(saves % 2 ? "D:\\docs\\a" : "D:\\docs\\longer folder");
    }
    PersistControls(&store, window.get(), Direction::Save, cw::FromUtf8("主界面"));
    ++saves;
  }
  state.counters["disk_bytes_per_save"] = static_cast<double>(store.FileBytesWritten()) / static_cast<double>(saves);
}

void BM_SaveUnchanged(benchmark::State& state) { Save(state, false); }
void BM_SaveChanged(benchmark::State& state) { Save(state, true); }

void BM_Restore(benchmark::State& state) {
  BenchFile file;
  SettingsStore store;
  store.Open(file.path, cw::settings::StorageMode::KeepOpen);
  auto window = cw::form::NewMainWindow();
  for (auto _ : state) {
    PersistControls(&store, window.get(), Direction::Restore, cw::FromUtf8("主界面"));
  }
  state.counters["disk_bytes_per_restore"] = static_cast<double>(store.FileBytesWritten());
}

BENCHMARK(BM_SaveUnchanged);
BENCHMARK(BM_SaveChanged);
BENCHMARK(BM_Restore);

}  // namespace

BENCHMARK_MAIN();
