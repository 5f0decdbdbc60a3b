// SettingsStore: bytes written through to the open file, the queue, a second copy of
// the program, failures and damaged files.
#include "settings/settings_store.h"

#include <chrono>
#include <csignal>
#include <random>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "settings/format.h"
#include "settings_fixture.h"

namespace cw::settings {
namespace {

class Store : public SettingsFileTest {
 protected:
  void OpenStore() {
    ASSERT_TRUE(store.Open(path, StorageMode::KeepOpen));
    store.SetSection(W("主界面"));
  }
  SettingsStore store;
};

TEST_F(Store, FirstWritesIntoANewFile) {
  OpenStore();
  EXPECT_TRUE(cw::test::PathExists(path));
  EXPECT_EQ(File(), "");
  EXPECT_TRUE(store.WriteText("k", "v"));
  EXPECT_EQ(File(), W("[主界面]") + "\r\nk=v");
  EXPECT_TRUE(store.WriteNumber("n", 0.5));
  EXPECT_TRUE(store.WriteBool("b", true));
  EXPECT_EQ(File(), W("[主界面]") + "\r\nk=v\r\nn=0.5\r\nb=" + W("真"));

  // The same values again change nothing on disk.
  const std::string before = File();
  const uint64_t written = store.FileBytesWritten();
  EXPECT_TRUE(store.WriteText("k", "v"));
  EXPECT_TRUE(store.WriteNumber("n", 0.5));
  EXPECT_EQ(File(), before);
  EXPECT_EQ(store.FileBytesWritten(), written);

  // A changed value of the same length writes only the bytes that differ.
  EXPECT_TRUE(store.WriteText("k", "w"));
  EXPECT_EQ(store.FileBytesWritten(), written + 1);
}

TEST_F(Store, TypedValuesComeBackAfterReopening) {
  OpenStore();
  const DateTime when{2024, 2, 29, 23, 59, 1};
  EXPECT_TRUE(store.WriteText("t", "line 1\r\nline 2"));
  EXPECT_TRUE(store.WriteText("e", ""));
  EXPECT_TRUE(store.WriteNumber("n", -12.25));
  EXPECT_TRUE(store.WriteBool("yes", true));
  EXPECT_TRUE(store.WriteBool("no", false));
  EXPECT_TRUE(store.WriteDateTime("d", when));
  EXPECT_NE(File().find("t=line 1" + W("┊*┊") + "line 2\r\n"), std::string::npos);
  store.Close();

  SettingsStore again;
  ASSERT_TRUE(again.Open(path, StorageMode::KeepOpen));
  again.SetSection(W("主界面"));
  EXPECT_EQ(again.ReadText("t", "x"), "line 1\r\nline 2");
  EXPECT_EQ(again.ReadText("e", "default"), "");  // present and empty is not missing
  EXPECT_EQ(again.ReadText("missing", "a\r\nb"), "a\r\nb");
  EXPECT_EQ(again.ReadNumber("n", 1), -12.25);
  EXPECT_EQ(again.ReadNumber("t", 1), 0);  // not a number
  EXPECT_EQ(again.ReadNumber("missing", 0.1), 0.1);
  EXPECT_TRUE(again.ReadBool("yes", false));
  EXPECT_FALSE(again.ReadBool("no", true));
  EXPECT_FALSE(again.ReadBool("t", true));
  EXPECT_TRUE(again.ReadBoolUnlessFalse("t", false));
  EXPECT_FALSE(again.ReadBoolUnlessFalse("no", true));
  EXPECT_TRUE(again.ReadBool("missing", true));
  EXPECT_EQ(again.ReadDateTime("d", DateTime{}), when);
  EXPECT_EQ(again.ReadDateTime("t", when), when);
}

TEST_F(Store, WriteFromThePumpIsQueuedAndLandsAfterTheRunningOne) {
  OpenStore();
  std::vector<int> nestedResults;
  std::string seenDuringWrite;
  platform::SetPumpHook([&] {
    if (nestedResults.empty()) {
      nestedResults.push_back(store.WriteValue(W("主界面"), "second", "2"));
      nestedResults.push_back(store.WriteValue(W("主界面"), "third", "3"));
      seenDuringWrite = store.ReadValue(W("主界面"), "second", "<none>");
    }
  });
  EXPECT_EQ(store.WriteValue(W("主界面"), "first", "1"), kWritten);
  EXPECT_EQ(nestedResults, (std::vector<int>{kQueued, kQueued}));
  EXPECT_EQ(seenDuringWrite, "<none>");
  EXPECT_EQ(File(), W("[主界面]") + "\r\nfirst=1\r\nsecond=2\r\nthird=3");
  EXPECT_EQ(store.ProcessQueue(), -1);  // drained
}

TEST_F(Store, SecondCopyOfTheProgramWorksFromMemoryOnly) {
  OpenStore();
  ASSERT_TRUE(store.WriteText("k", "mine"));
  SettingsStore second;
  EXPECT_FALSE(second.Open(path, StorageMode::KeepOpen));
  second.SetSection(W("主界面"));
  EXPECT_EQ(second.ReadText("k", ""), "mine");
  // Its writes change its memory and say so; the file keeps the first copy's bytes.
  EXPECT_FALSE(second.WriteText("k", "theirs"));
  EXPECT_FALSE(second.WriteText("new", "x"));
  EXPECT_EQ(second.ReadText("k", ""), "theirs");
  EXPECT_EQ(File(), W("[主界面]") + "\r\nk=mine");
  EXPECT_TRUE(store.WriteText("k2", "still mine"));
  EXPECT_EQ(File(), W("[主界面]") + "\r\nk=mine\r\nk2=still mine");
  // A copy of a store never holds the file either.
  SettingsStore copy(store);
  EXPECT_EQ(copy.ReadText("k2", ""), "still mine");
  EXPECT_FALSE(copy.WriteText("k2", "copy"));
  EXPECT_EQ(store.ReadText("k2", ""), "still mine");
}

TEST_F(Store, FailedFileWritesAreReportedAndRepairedByTheNextWrite) {
  OpenStore();
  ASSERT_TRUE(store.WriteText("a", "1"));
  // One failure: the store rewrites the file from memory and succeeds.
  platform::InjectFailure(platform::Operation::WriteAt, 1, platform::Status::DiskFull);
  EXPECT_TRUE(store.WriteText("b", "2"));
  EXPECT_EQ(File(), store.GetAllText());
  // Every attempt fails: reported, memory keeps the change.
  for (int nth = 1; nth <= 4; ++nth) {
    platform::InjectFailure(platform::Operation::WriteAt, nth, platform::Status::DiskFull);
  }
  EXPECT_FALSE(store.WriteText("a", "changed"));
  EXPECT_EQ(store.ReadText("a", ""), "changed");
  // The next write brings the whole file up to date, not just its own bytes.
  EXPECT_TRUE(store.WriteText("c", "3"));
  EXPECT_EQ(File(), W("[主界面]") + "\r\na=changed\r\nb=2\r\nc=3");
}

#ifndef _WIN32
TEST_F(Store, AGrowingChangeOnAFullDiskLeavesTheOldFileByteForByte) {
  OpenStore();
  ASSERT_TRUE(store.WriteText("a", "1"));
  store.SetSection("second");
  ASSERT_TRUE(store.WriteText("b", "2"));
  store.SetSection(W("主界面"));
  const std::string before = File();
  // A file-size limit stands in for a full disk: a write past it stops part-way.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit tight = saved;
  tight.rlim_cur = before.size() + 4;
  signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  // Grows the first section by far more than four bytes: the tail would have to move.
  const bool written = store.WriteText("a", std::string(40, 'x'));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_FALSE(written);
  EXPECT_EQ(File(), before);
  // With room again, the next write brings the file up to date.
  EXPECT_TRUE(store.WriteText("c", "3"));
  EXPECT_EQ(File(), store.GetAllText());
}
#endif

TEST_F(Store, GivesUpWithTwoMessagesWhenItsHeaderKeepsVanishing) {
  OpenStore();
  // A handler that replaces the whole content on every pump: the appended header is
  // never there when the next pass looks for it.
  platform::SetPumpHook([&] { store.SetAllText("junk", false); });
  EXPECT_EQ(store.WriteValue("s", "k", "v"), kFailed);
  platform::SetPumpHook({});
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, W("配置模块出现意外，可能导致无法正常保存！详情请咨询青禾。"));
  EXPECT_EQ(messages[0].caption, W("信息："));
  EXPECT_EQ(messages[0].flags, 0x30u);
  EXPECT_EQ(messages[1].text, "junk\r\n[s]");
  EXPECT_EQ(messages[1].flags, 0u);
  // The header it could not find again is taken back out of the file.
  EXPECT_EQ(File(), "junk");
  EXPECT_EQ(store.GetAllText(), "junk");
}

TEST_F(Store, KeyLineThatVanishesIsNotInsertedForever) {
  OpenStore();
  // A handler that puts the file back on every pump: the key line just inserted is
  // gone when the next pass looks for it.
  platform::SetPumpHook([&] { store.SetAllText("[s]", false); });
  EXPECT_EQ(store.WriteValue("s", "k", "v"), kFailed);
  platform::SetPumpHook({});
  EXPECT_EQ(File(), "[s]");
}

TEST_F(Store, DamagedFilesAreCarriedAlong) {
  std::mt19937 random(5);
  static const char kNuls[] = "[s]\r\nk=\0\0\r\n\0[t]";
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const std::string cases[] = {
      noise,
      "\x81\r\n[\xFF\xFE]\r\n\x80=\x81",     // invalid GBK
      "[s]\rk=1\r[t]\r",                     // CR without LF
      std::string(kNuls, sizeof kNuls - 1),  // NUL bytes
      "[s]\r\nk",                            // a key line cut short
  };
  for (const std::string& bytes : cases) {
    WriteFileBytes(path, bytes);
    SettingsStore damaged;
    ASSERT_TRUE(damaged.Open(path, StorageMode::KeepOpen));
    damaged.SetSection(W("新节"));
    EXPECT_EQ(damaged.ReadText("k", "d"), "d");
    EXPECT_TRUE(damaged.WriteText("k", "v"));
    EXPECT_EQ(ReadFileBytes(path), bytes + "\r\n" + W("[新节]") + "\r\nk=v");
    EXPECT_EQ(damaged.ReadText("k", "d"), "v");
  }
}

TEST_F(Store, LargeFileStaysFast) {
  std::string big = "[a]\r\n";
  while (big.size() < 10u * 1024 * 1024) big += "key" + std::to_string(big.size()) + "=value\r\n";
  big += "[s]\r\nk=1";
  WriteFileBytes(path, big);
  const auto start = std::chrono::steady_clock::now();
  SettingsStore large;
  ASSERT_TRUE(large.Open(path, StorageMode::KeepOpen));
  large.SetSection("s");
  EXPECT_EQ(large.ReadText("k", ""), "1");
  EXPECT_TRUE(large.WriteText("k", "2"));
  EXPECT_TRUE(large.WriteText("k2", "3"));
  large.SetSection("a");
  EXPECT_EQ(large.ReadText("nothing", "d"), "d");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 10.0);
  big.replace(big.size() - 1, 1, "2\r\nk2=3");
  EXPECT_EQ(ReadFileBytes(path), big);
}

TEST_F(Store, ModesOtherThanKeepOpen) {
  WriteFileBytes(path, "[s]\r\nk=1");
  SettingsStore readOnly;
  ASSERT_TRUE(readOnly.Open(path, StorageMode::ReadOnlyFile));
  readOnly.SetSection("s");
  EXPECT_TRUE(readOnly.WriteText("k", "2"));  // memory until Save
  EXPECT_EQ(File(), "[s]\r\nk=1");
  EXPECT_TRUE(readOnly.Save());
  EXPECT_EQ(File(), "[s]\r\nk=2");
  EXPECT_TRUE(readOnly.SaveAs(dir.Join("copy.ini")));
  EXPECT_EQ(ReadFileBytes(dir.Join("copy.ini")), "[s]\r\nk=2");

  SettingsStore registry;
  EXPECT_TRUE(registry.Open(dir.Join(W("青禾·澄文坊.ini")), StorageMode::Registry));
  registry.SetSection(W("主界面"));
  EXPECT_EQ(registry.RegistryPath(), W("青禾软件\\青禾·澄文坊\\主界面\\"));
  EXPECT_FALSE(registry.WriteText("k", "v"));
  EXPECT_EQ(registry.ReadText("k", "d"), "d");
  EXPECT_EQ(registry.GetMode(), StorageMode::Registry);
}

TEST_F(Store, ByteSequencesLiveInTheirOwnFiles) {
  OpenStore();
  const std::string bytes("\0\x01\xFF\r\n", 5);
  EXPECT_EQ(store.ReadBytes("blob", "dflt"), "dflt");
  EXPECT_TRUE(store.WriteBytes("blob", bytes));
  EXPECT_EQ(ReadFileBytes(dir.Join("inibin\\" + W("主界面") + "-blob.ibn")), bytes);
  EXPECT_EQ(store.ReadBytes("blob", "dflt"), bytes);
  EXPECT_TRUE(store.WriteBytes("blob", ""));
  EXPECT_EQ(store.ReadBytes("blob", "dflt"), "dflt");  // empty reads as the default
  EXPECT_FALSE(store.WriteBytes("..\\escape", "x"));
  EXPECT_EQ(File(), "");  // nothing of this goes into the settings file
}

}  // namespace
}  // namespace cw::settings
