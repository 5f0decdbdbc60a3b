// A store in a child process that is killed mid-run: every write it returned from is in
// the file. The child reports each finished write in a progress file.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "settings_fixture.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace cw::settings {
namespace {

constexpr const char* kChildVariable = "CW_SETTINGS_CRASH_CHILD";

// Writes numbered keys until it is killed; after each write, a line of the progress
// file names it.
[[noreturn]] void ChildWriter(const std::string& settingsPath, const std::string& progressPath) {
  SettingsStore store;
  if (!store.Open(settingsPath, StorageMode::KeepOpen)) std::_Exit(3);
  store.SetSection("s");
  std::ofstream progress(cw::test::ToFsPath(progressPath), std::ios::binary | std::ios::app);
  for (int i = 0;; ++i) {
    // Alternate appends and in-place changes near the start of the file.
    if (!store.WriteText("k" + std::to_string(i), std::string(i % 50, 'x'))) std::_Exit(4);
    if (!store.WriteNumber("count", i)) std::_Exit(5);
    progress << i << '\n' << std::flush;
  }
}

// Gtest entry point of the child when this program is started again by the parent on
// Windows; skipped in a normal run.
TEST(SettingsCrashChild, WriteUntilKilled) {
  const char* paths = std::getenv(kChildVariable);
  if (!paths) GTEST_SKIP() << "only run as the child of SettingsCrash";
  // Hex, so that no code page of the child's environment can change the bytes.
  std::string both;
  for (const char* p = paths; p[0] && p[1]; p += 2) {
    both += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
  }
  const size_t bar = both.find('|');
  ChildWriter(both.substr(0, bar), both.substr(bar + 1));
}

// The last number the child finished: the last complete line of the progress file.
int LastFinished(const std::string& progressPath) {
  std::string lines = cw::test::ReadFileBytes(progressPath);
  const size_t end = lines.rfind('\n');
  if (end == std::string::npos) return -1;
  lines.resize(end);
  const size_t start = lines.rfind('\n');
  return std::atoi(lines.c_str() + (start == std::string::npos ? 0 : start + 1));
}

class SettingsCrash : public SettingsFileTest {};

TEST_F(SettingsCrash, KilledWriterLeavesEveryReturnedWrite) {
  const std::string progress = dir.Join("progress.txt");
#ifdef _WIN32
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring hex;
  for (unsigned char c : path + "|" + progress) {
    const wchar_t* kDigits = L"0123456789ABCDEF";
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  SetEnvironmentVariableW(L"CW_SETTINGS_CRASH_CHILD", hex.c_str());
  std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=SettingsCrashChild.*";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  ASSERT_TRUE(CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
  SetEnvironmentVariableW(L"CW_SETTINGS_CRASH_CHILD", nullptr);
#else
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) ChildWriter(path, progress);
#endif
  // Let it write a good number of values, then kill it mid-write.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (LastFinished(progress) < 200 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
#ifdef _WIN32
  TerminateProcess(child.hProcess, 9);
  WaitForSingleObject(child.hProcess, INFINITE);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
#else
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself: " << status;
#endif
  const int done = LastFinished(progress);
  ASSERT_GE(done, 200);

  SettingsStore after;
  ASSERT_TRUE(after.Open(path, StorageMode::KeepOpen));  // the lock went with the process
  after.SetSection("s");
  for (int i = 0; i <= done; ++i) {
    ASSERT_EQ(after.ReadText("k" + std::to_string(i), "<missing>"), std::string(i % 50, 'x')) << i;
  }
  EXPECT_GE(after.ReadNumber("count", -1), done);
}

}  // namespace
}  // namespace cw::settings
