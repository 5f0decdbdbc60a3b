// Bench, run by hand (--gtest_also_run_disabled_tests --gtest_filter=PumpGap*): how long
// the window goes without its messages being pumped during a folder run of one 200 MB
// file and of 2,000 small files, and how soon a stop click posted from outside is handled.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "app/win32_dialogs.h"
#include "app_fixture.h"
#include "platform/platform.h"

namespace cw::app::test {
namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

class PumpGapBench : public AppTest {
 protected:
  // Runs the folder batch on `folder`; a stop click arrives from another thread after
  // `stopAfter` milliseconds.
  void RunAndMeasure(const std::string& folder, int stopAfter, const char* what) {
    Start();
    Click(Id::OutputUtf8);  // decode and encode every file
    Clock::time_point last = Clock::now();
    double largestGap = 0;
    int pumps = 0;
    platform::SetPumpHook([&] {
      const Clock::time_point now = Clock::now();
      largestGap = std::max(largestGap, Milliseconds(now - last));
      last = now;
      ++pumps;
      PumpWindowMessages();
    });
    std::atomic<bool> posted{false};
    Clock::time_point postedAt;
    Clock::time_point handledAt;
    Probe probe;
    HWND button = Handle(Id::FolderButton);
    std::thread stopper([&] {
      Sleep(stopAfter);
      postedAt = Clock::now();
      PostMessageW(button, BM_CLICK, 0, 0);
      posted = true;
    });
    // The probe's message follows the click: it shows when the click was dispatched.
    std::thread watcher([&] {
      while (!posted) Sleep(1);
      probe.Post([&] { handledAt = Clock::now(); });
    });
    dialogs.folderAnswer = folder;
    const Clock::time_point start = Clock::now();
    last = start;
    Click(Id::FolderButton);
    const double total = Milliseconds(Clock::now() - start);
    stopper.join();
    watcher.join();
    PumpFor(20);
    std::printf("%s: run %.0f ms, %d pumps, largest gap %.1f ms, stop click handled after %.1f ms\n", what, total,
                pumps, largestGap, Milliseconds(handledAt - postedAt));
    EXPECT_LT(largestGap, 500.0) << what;
  }
};

TEST_F(PumpGapBench, DISABLED_OneFileOf200MB) {
  const std::string folder = temp.Join("big");
  std::string line = W("澄文坊批量转换文本和网页文件的编码，GBK 与 UTF-8 之间。\r\n");
  std::string content;
  content.reserve(200u << 20);
  while (content.size() + line.size() <= (200u << 20)) content += line;
  WriteFileBytes(folder + "\\big.txt", content);
  content.clear();
  RunAndMeasure(folder, 1500, "one 200 MB file");
}

TEST_F(PumpGapBench, DISABLED_TwoThousandSmallFiles) {
  const std::string folder = temp.Join("many");
  for (int i = 0; i < 2000; ++i) {
    WriteFileBytes(folder + "\\" + std::to_string(i) + ".txt", W("第 ") + std::to_string(i) + W(" 个文件\r\n"));
  }
  RunAndMeasure(folder, 1000, "2,000 small files");
}

}  // namespace
}  // namespace cw::app::test
