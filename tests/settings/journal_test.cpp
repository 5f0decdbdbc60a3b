// A change to the settings file that fails or is cut short at any point leaves the
// file old or new, byte for byte: failed system calls at every step, kills at random
// moments, and journals left behind by them.
#include "settings/journal.h"

#include <functional>
#include <random>

#include "settings_fixture.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/posix/system_calls.h"
#endif

namespace cw::settings {
namespace {

class Journaled : public SettingsFileTest {
 protected:
  // Sections "a" to "c" with a few keys, then a long tail, so that a change near the
  // start moves many bytes.
  std::string Original(size_t tailKeys) const {
    std::string bytes = "[a]\r\nk1=v1\r\nk2=v2\r\n[b]\r\nx=1";
    for (size_t i = 0; i < tailKeys; ++i) bytes += "\r\n" + W("键") + std::to_string(i) + "=" + W("值三百首");
    return bytes + "\r\n[c]\r\nlast=z";
  }
  bool Reopened(std::string* bytes) {
    SettingsStore after;
    const bool opened = after.Open(path, StorageMode::KeepOpen);
    *bytes = File();
    return opened && !cw::test::PathExists(JournalPath(path));
  }
};

struct Change {
  const char* name;
  std::function<bool(SettingsStore&)> apply;
};

const Change kChanges[] = {
    {"insert a key at the start", [](SettingsStore& s) { return s.WriteValue("a", "new", "value") == kWritten; }},
    {"append a section", [](SettingsStore& s) { return s.WriteValue("d", "k", "v") == kWritten; }},
    {"lengthen a value", [](SettingsStore& s) { return s.WriteValue("a", "k1", std::string(50, 'w')) == kWritten; }},
    {"same-length value", [](SettingsStore& s) { return s.WriteValue("c", "last", "y") == kWritten; }},
    {"delete a section", [](SettingsStore& s) { return s.DeleteEntry("a", "", true) == kWritten; }},
    {"replace everything", [](SettingsStore& s) { return s.SetAllText("[e]\r\nk=1", false); }},
};

#ifdef _WIN32
const char* const kWriteCalls[] = {"WriteFile", "SetEndOfFile", "FlushFileBuffers", "CreateFileW"};
constexpr long kIoError = ERROR_DISK_FULL;
#else
const char* const kWriteCalls[] = {"pwrite", "ftruncate", "fsync", "open"};
constexpr long kIoError = ENOSPC;
#endif

// The system stops writing at one call and never writes again (as at a kill or a full
// disk): whatever the store made of it, after the next start the file is what it was,
// or, when the change was reported made, the new content.
TEST_F(Journaled, EveryFailurePointLeavesTheOldOrTheNewFile) {
  const std::string before = Original(20);
  int points = 0;
  for (const Change& change : kChanges) {
    // What the change makes when nothing fails.
    WriteFileBytes(path, before);
    std::string after;
    {
      SettingsStore store;
      ASSERT_TRUE(store.Open(path, StorageMode::KeepOpen));
      ASSERT_TRUE(change.apply(store));
      after = File();
    }
    ASSERT_NE(after, before) << change.name;
    for (const char* call : kWriteCalls) {
      for (int nth = 1;; ++nth) {
        SCOPED_TRACE(std::string(change.name) + ", " + call + " #" + std::to_string(nth));
        WriteFileBytes(path, before);
        bool made = false;
        {
          SettingsStore store;
          ASSERT_TRUE(store.Open(path, StorageMode::KeepOpen));
          ASSERT_TRUE(platform::InjectSystemError(call, kIoError, nth, platform::kEveryCall));
          made = change.apply(store);
          // A change reported failed has left the file as it was already.
          if (!made && File() != before) {
            EXPECT_TRUE(cw::test::PathExists(JournalPath(path)));
          }
          platform::ClearInjectedFailures();
        }
        std::string bytes;
        EXPECT_TRUE(Reopened(&bytes));
        EXPECT_EQ(bytes, made ? after : before);
        ++points;
        if (made) break;  // this call is no longer reached while the change is made
      }
    }
  }
  RecordProperty("failure_points", points);
}

TEST_F(Journaled, ReadersSeeTheOldContentAndTheNextStartRollsItBack) {
  const std::string before = Original(3);
  // A change cut short: its record on the disk, half the new bytes in the file.
  UndoRecord record;
  record.oldSize = before.size();
  record.offset = 5;
  record.bytes = before.substr(5);
  WriteFileBytes(JournalPath(path), EncodeUndoRecord(record));
  WriteFileBytes(path, before.substr(0, 5) + "\r\nnew=");

  SettingsStore reader;
  reader.Open(path, StorageMode::ReadOnlyFile);
  EXPECT_EQ(reader.GetAllText(), before);
  EXPECT_TRUE(cw::test::PathExists(JournalPath(path)));  // a reader leaves it

  std::string bytes;
  EXPECT_TRUE(Reopened(&bytes));
  EXPECT_EQ(bytes, before);

  // A record cut short was never acted on: the file stays as it is, the journal goes.
  const std::string stored = EncodeUndoRecord(record);
  for (const size_t cut : {size_t{0}, size_t{3}, size_t{20}, stored.size() - 1}) {
    WriteFileBytes(JournalPath(path), stored.substr(0, cut));
    WriteFileBytes(path, "[s]\r\nk=1");
    EXPECT_TRUE(Reopened(&bytes)) << cut;
    EXPECT_EQ(bytes, "[s]\r\nk=1") << cut;
  }
}

#ifndef _WIN32

// Writes of 64 KiB at most, so that a save is many writes with room for a kill
// between any two of them (the system may also stop one part-way).
ssize_t WriteAPieceAtATime(int fd, const void* data, size_t size, off_t offset) {
  return platform::posix::Sys().pwrite.Real()(fd, data, size < 65536 ? size : 65536, offset);
}

// A child inserts a key near the start of a large file and is killed at a random
// moment of it; the next start finds the old file or the new one, byte for byte.
TEST_F(Journaled, KilledAtRandomMomentsOfASaveItIsOldOrNew) {
  const std::string before = Original(300000);  // about 8 MB behind the change
  const auto save = [this] {
    platform::posix::Sys().pwrite.Replace(&WriteAPieceAtATime);
    SettingsStore store;
    if (!store.Open(path, StorageMode::KeepOpen)) _exit(3);
    _exit(store.WriteValue("a", W("新键"), W("新值")) == kWritten ? 0 : 4);
  };
  const auto run = [&](long killAfterMicroseconds) {
    WriteFileBytes(path, before);
    const pid_t child = fork();
    if (child == 0) save();
    if (killAfterMicroseconds >= 0) {
      usleep(static_cast<useconds_t>(killAfterMicroseconds));
      kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
  };
  // One save to the end: what it makes, and how long it takes, which is where the
  // kills are spread.
  const auto start = std::chrono::steady_clock::now();
  const int status = run(-1);
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  const std::string after = File();
  ASSERT_NE(after, before);
  const long span = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(took).count());

  std::mt19937 random(26);
  int killedMidway = 0;
  for (int round = 0; round < 40; ++round) {
    const long moment = std::uniform_int_distribution<long>(0, span + span / 4)(random);
    SCOPED_TRACE("killed after " + std::to_string(moment) + " us");
    run(moment);
    const bool journalLeft = cw::test::PathExists(JournalPath(path));
    std::string bytes;
    EXPECT_TRUE(Reopened(&bytes));
    EXPECT_TRUE(bytes == before || bytes == after) << "neither old nor new, " << bytes.size() << " bytes";
    if (journalLeft) ++killedMidway;
  }
  RecordProperty("killed_with_a_journal", killedMidway);
}

#endif

}  // namespace
}  // namespace cw::settings
