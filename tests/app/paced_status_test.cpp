// The status line and the bar during a run: they draw a few times a second, yet report
// at every moment what the run told them last, every caption reaches the observers in
// the run's order, and what was told last is drawn in the end.
#include <algorithm>
#include <chrono>

#include "app/win32_dialogs.h"
#include "app/win32_window.h"
#include "app_fixture.h"
#include "platform/platform.h"

namespace cw::app::test {
namespace {

using Clock = std::chrono::steady_clock;

// Counts the texts a window is given (WM_SETTEXT), through a subclass.
LRESULT CALLBACK CountSetText(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR count) {
  if (message == WM_SETTEXT) ++*reinterpret_cast<int*>(count);
  if (message == WM_NCDESTROY) RemoveWindowSubclass(window, &CountSetText, 1);
  return DefSubclassProc(window, message, wParam, lParam);
}

class PacedStatusTest : public AppTest {};

TEST_F(PacedStatusTest, ARunReportsEveryCaptionInOrderAndDrawsAFewTimesASecond) {
  const std::string folder = temp.Join("many");
  constexpr int kFiles = 150;
  for (int i = 0; i < kFiles; ++i) {
    WriteFileBytes(folder + "\\f" + std::to_string(i) + ".txt", W("第 ") + std::to_string(i) + W(" 个文件\r\n"));
  }
  Start();
  Click(Id::OutputUtf8);
  std::vector<std::string> captions;
  app->Window().Batch().SetStatusObserver([&captions](const std::string& caption) { captions.push_back(caption); });
  int texts = 0;
  SetWindowSubclass(Handle(Id::StatusLabel), &CountSetText, 1, reinterpret_cast<DWORD_PTR>(&texts));
  // At every pump of the run, the label and the bar report what the run told them last.
  int pumps = 0;
  int stale = 0;
  int lastPosition = 0;
  platform::SetPumpHook([&] {
    ++pumps;
    if (!captions.empty() && Get(Id::StatusLabel)->Caption() != captions.back()) ++stale;
    const int position = Get(Id::ProgressBar)->ProgressPosition();
    if (position < lastPosition) ++stale;  // the bar never goes back within a pass
    lastPosition = position;
    PumpWindowMessages();
  });
  dialogs.folderAnswer = folder;
  const Clock::time_point start = Clock::now();
  Click(Id::FolderButton);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();

  EXPECT_GT(pumps, kFiles);
  EXPECT_EQ(stale, 0);
  ASSERT_EQ(captions.size(), static_cast<size_t>(kFiles + 2)) << "the folder's line, one per file, the completion";
  EXPECT_EQ(captions.front(), W("正在读取目录：") + folder);
  for (int i = 1; i <= kFiles; ++i) {
    const std::string head = "(" + std::to_string(kFiles) + ":" + std::to_string(i) + ") ";
    EXPECT_EQ(captions[static_cast<size_t>(i)].compare(0, head.size(), head), 0) << captions[static_cast<size_t>(i)];
  }
  const std::string done = W("转换完成！点击可打开目录：") + folder + W("(已转换)");
  EXPECT_EQ(captions.back(), done);
  // What was told last is drawn when the run returns.
  EXPECT_EQ(WindowText(Handle(Id::StatusLabel)), done);
  EXPECT_EQ(SendMessageW(Handle(Id::ProgressBar), PBM_GETPOS, 0, 0), kFiles);
  // The first line at once, then at most one drawing per pace, and the last on return.
  EXPECT_LE(texts, 2 + static_cast<int>(elapsed / kPaceMilliseconds)) << elapsed << " ms";
  EXPECT_GE(texts, 1);
}

TEST_F(PacedStatusTest, WhatIsToldLastIsDrawnWhenNothingFollows) {
  Start();
  Win32Control* label = Get(Id::StatusLabel);
  Win32Control* bar = Get(Id::ProgressBar);
  bar->SetProgressMaximum(10);
  // Told twice in a row: the second comes within the pace of the first drawing.
  for (const char* caption : {"第一行", "第二行"}) label->SetCaption(W(caption));
  bar->SetProgressPosition(3);
  bar->SetProgressPosition(7);
  EXPECT_EQ(label->Caption(), W("第二行"));
  EXPECT_EQ(bar->ProgressPosition(), 7);
  EXPECT_EQ(bar->ProgressMaximum(), 10);
  // The pace timer draws it, in the window's own message loop.
  PumpFor(3 * static_cast<int>(kPaceMilliseconds));
  EXPECT_EQ(WindowText(Handle(Id::StatusLabel)), W("第二行"));
  EXPECT_EQ(SendMessageW(Handle(Id::ProgressBar), PBM_GETPOS, 0, 0), 7);
  EXPECT_EQ(SendMessageW(Handle(Id::ProgressBar), PBM_GETRANGE, FALSE, 0), 10);
}

}  // namespace
}  // namespace cw::app::test
