// Bench, run by bench/window_batch.sh (not by the test runs): the real main window, shown,
// converts the folder named by CW_BENCH_FOLDER GBK -> UTF-8 into its output folder, as a
// click on the folder button with that folder chosen does. Prints the time of the click
// (the run from the first file to the completion line) and how many times the batch
// pumped, wrote the status line and moved the bar.
#include <cstdio>
#include <cstdlib>

#include "app/win32_dialogs.h"
#include "app_fixture.h"
#include "platform/platform.h"

namespace cw::app::test {
namespace {

using Clock = std::chrono::steady_clock;

TEST(WindowBatchBench, DISABLED_Folder) {
  const char* folder = std::getenv("CW_BENCH_FOLDER");
  ASSERT_NE(folder, nullptr) << "CW_BENCH_FOLDER names the folder to convert";
  TempDir temp;
  ScriptedDialogs dialogs;
  auto app = std::make_unique<Application>(temp.Join(W("青禾·澄文坊.ini")), dialogs);
  ASSERT_TRUE(app->ShowMainWindow(GetModuleHandleW(nullptr), std::getenv("CW_BENCH_HIDDEN") ? SW_HIDE : SW_SHOWNORMAL));
  MainWindow& window = app->Window();
  PumpFor(200);
  SendMessageW(window.Control(Id::InputAnsi)->Handle(), BM_CLICK, 0, 0);
  SendMessageW(window.Control(Id::OutputUtf8)->Handle(), BM_CLICK, 0, 0);
  int pumps = 0;
  platform::SetPumpHook([&pumps] {
    ++pumps;
    PumpWindowMessages();
  });
  int captions = 0;
  window.Batch().SetStatusObserver([&captions](const std::string&) { ++captions; });
  dialogs.folderAnswer = folder;
  const Clock::time_point start = Clock::now();
  SendMessageW(window.Control(Id::FolderButton)->Handle(), BM_CLICK, 0, 0);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const batch::BatchState& state = window.Batch().State();
  char line[200];
  std::snprintf(line, sizeof(line), "window batch: %.3f s, %d found, %d converted, %d failed, %d pumps, %d captions\n",
                seconds, state.found, state.converted, state.failed, pumps, captions);
  std::fputs(line, stdout);
  // The bench script keeps the line of every run (its standard output is not kept).
  if (const char* log = std::getenv("CW_BENCH_LOG")) {
    if (FILE* file = std::fopen(log, "a")) {
      std::fputs(line, file);
      std::fclose(file);
    }
  }
  EXPECT_EQ(state.failed, 0);
  EXPECT_GT(state.converted, 0);
  SendMessageW(window.Handle(), WM_CLOSE, 0, 0);
  PumpFor(20);
  app.reset();
  DrainQuit();
}

}  // namespace
}  // namespace cw::app::test

namespace cw::app::test {
namespace {

// What one pump costs when nothing waits (the batch pumps about five times a file): under
// Wine every PeekMessage is a round trip to the server.
TEST(WindowBatchBench, DISABLED_PumpCost) {
  constexpr int kPumps = 100000;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kPumps; ++i) PumpWindowMessages();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("pump with an empty queue: %.2f us\n", seconds * 1e6 / kPumps);
}

}  // namespace
}  // namespace cw::app::test

namespace cw::app::test {
namespace {

// What one drawing of the status line and of the bar costs in the shown window.
TEST(WindowBatchBench, DISABLED_DrawCost) {
  TempDir temp;
  ScriptedDialogs dialogs;
  auto app = std::make_unique<Application>(temp.Join(W("青禾·澄文坊.ini")), dialogs);
  ASSERT_TRUE(app->ShowMainWindow(GetModuleHandleW(nullptr), SW_SHOWNORMAL));
  PumpFor(300);
  Win32Control* label = app->Window().Control(Id::StatusLabel);
  Win32Control* bar = app->Window().Control(Id::ProgressBar);
  label->SetPaced(false);
  bar->SetPaced(false);
  bar->SetProgressMaximum(1000);
  constexpr int kDraws = 40;
  auto time = [](const std::function<void(int)>& draw) {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kDraws; ++i) draw(i);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / kDraws;
  };
  const double caption = time([&](int i) { label->SetCaption("(10000:" + std::to_string(i) + ") abc"); });
  const double chinese = time([&](int i) { label->SetCaption("(10000:" + std::to_string(i) + W(") 文件")); });
  const double position = time([&](int i) {
    bar->SetProgressPosition(i);
    UpdateWindow(bar->Handle());
  });
  std::printf("status line (ASCII) %.2f ms, status line (Chinese) %.2f ms, bar %.2f ms a drawing\n", caption, chinese,
              position);
  constexpr int kPumps = 20000;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kPumps; ++i) PumpWindowMessages();
  std::printf("pump with the window shown: %.2f us\n",
              std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kPumps);
  SendMessageW(app->Window().Handle(), WM_CLOSE, 0, 0);
  PumpFor(20);
  app.reset();
  DrainQuit();
}

}  // namespace
}  // namespace cw::app::test
