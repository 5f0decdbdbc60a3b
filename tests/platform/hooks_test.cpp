// Hooks (pump, message box, error log) and injected failures.
#include "platform_fixture.h"

namespace cw::platform {
namespace {

using test::ReadFileBytes;
using test::W;
using test::WriteFileBytes;

class HooksTest : public PlatformTest {};

TEST_F(HooksTest, PumpReachesTheInstalledHookOnly) {
  int calls = 0;
  SetPumpHook([&calls] { ++calls; });
  PumpMessages();
  PumpMessages();
  EXPECT_EQ(calls, 2);
  SetPumpHook(nullptr);
  PumpMessages();
  EXPECT_EQ(calls, 2);

  // A hook may replace itself while it runs.
  int replaced = 0;
  SetPumpHook([&replaced] {
    SetPumpHook([&replaced] { replaced += 10; });
    ++replaced;
  });
  PumpMessages();
  PumpMessages();
  EXPECT_EQ(replaced, 11);
}

TEST_F(HooksTest, MessageBoxHookGetsTheTextAndAnswers) {
  std::string text;
  std::string caption;
  uint32_t flags = 0;
  SetMessageBoxHook([&](const std::string& t, const std::string& c, uint32_t f) {
    text = t;
    caption = c;
    flags = f;
    return 2;
  });
  EXPECT_EQ(ShowMessage(W("配置模块出现意外"), W("信息："), 0x30), 2);
  EXPECT_EQ(text, W("配置模块出现意外"));
  EXPECT_EQ(caption, W("信息："));
  EXPECT_EQ(flags, 0x30u);
}

TEST_F(HooksTest, FailuresAreLoggedWithCallAndPath) {
  std::vector<std::string> lines;
  SetErrorLogHook([&lines](const std::string& line) { lines.push_back(line); });
  std::string bytes;
  ASSERT_EQ(ReadWholeFile(Path("missing.txt"), &bytes), Status::NotFound);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(LastError(), lines[0]);
  EXPECT_NE(lines[0].find(Path("missing.txt")), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("NotFound"), std::string::npos) << lines[0];

  InjectFailure(Operation::Delete, 1, Status::AccessDenied);
  EXPECT_EQ(DeleteFile(Path("x")), Status::AccessDenied);
  EXPECT_NE(LastError().find("injected"), std::string::npos) << LastError();
  EXPECT_EQ(lines.size(), 2u);
}

class FaultTest : public PlatformTest {};

TEST_F(FaultTest, NthWriteFailsWithoutTouchingTheDisk) {
  const std::string path = Path("out.txt");
  InjectFailure(Operation::Write, 2, Status::DiskFull);
  ASSERT_EQ(WriteWholeFile(path, "first"), Status::Ok);
  EXPECT_EQ(WriteWholeFile(path, "second, lost"), Status::DiskFull);
  EXPECT_EQ(ReadFileBytes(path), "first");
  EXPECT_EQ(WriteWholeFile(Path("never.txt"), "x"), Status::Ok);  // the injection is spent
  EXPECT_EQ(WriteWholeFile(path, "third"), Status::Ok);
  EXPECT_EQ(ReadFileBytes(path), "third");
}

TEST_F(FaultTest, SeveralInjectionsWaitAtOnceEachCountingItsKind) {
  WriteFileBytes(Path("a.txt"), "a");
  InjectFailure(Operation::Read, 1, Status::SharingViolation);
  InjectFailure(Operation::Read, 3, Status::TooLarge);
  InjectFailure(Operation::Move, 1, Status::AccessDenied);
  InjectFailure(Operation::CreateFolder, 1, Status::DiskFull);
  std::string bytes;
  EXPECT_EQ(ReadWholeFile(Path("a.txt"), &bytes), Status::SharingViolation);
  EXPECT_EQ(ReadWholeFile(Path("a.txt"), &bytes), Status::Ok);
  EXPECT_EQ(ReadWholeFile(Path("a.txt"), &bytes), Status::TooLarge);
  EXPECT_EQ(ReadWholeFile(Path("a.txt"), &bytes), Status::Ok);
  EXPECT_EQ(bytes, "a");

  EXPECT_EQ(MoveReplace(Path("a.txt"), Path("b.txt")), Status::AccessDenied);
  EXPECT_TRUE(test::PathExists(Path("a.txt")));
  EXPECT_EQ(CreateFolder(Path("sub")), Status::DiskFull);
  EXPECT_FALSE(test::PathExists(Path("sub")));
  EXPECT_EQ(CreateFolder(Path("sub")), Status::Ok);
}

TEST_F(FaultTest, OpenFindAndInPlaceChangesCanFail) {
  InjectFailure(Operation::Open, 1, Status::SharingViolation);
  std::unique_ptr<OpenFile> file;
  EXPECT_EQ(OpenForUpdate(Path("s.ini"), ShareMode::Read, &file), Status::SharingViolation);
  EXPECT_FALSE(test::PathExists(Path("s.ini")));  // not even created

  InjectFailure(Operation::Find, 1, Status::AccessDenied);
  std::vector<DirEntry> entries = {{"stale", 0}};
  EXPECT_EQ(FindEntries(Path("*"), &entries), Status::AccessDenied);
  EXPECT_TRUE(entries.empty());

  ASSERT_EQ(OpenForUpdate(Path("s.ini"), ShareMode::Read, &file), Status::Ok);
  ASSERT_EQ(file->WriteAt(0, "abcdef"), Status::Ok);
  // Truncate is an in-place change too, and counts with WriteAt.
  InjectFailure(Operation::WriteAt, 1, Status::DiskFull);
  InjectFailure(Operation::WriteAt, 2, Status::DiskFull);
  EXPECT_EQ(file->WriteAt(0, "XY"), Status::DiskFull);
  EXPECT_EQ(file->Truncate(2), Status::DiskFull);
  file.reset();
  EXPECT_EQ(ReadFileBytes(Path("s.ini")), "abcdef");
}

TEST_F(FaultTest, ClearedInjectionsNeverFire) {
  InjectFailure(Operation::Write, 1, Status::DiskFull);
  ClearInjectedFailures();
  EXPECT_EQ(WriteWholeFile(Path("a.txt"), "a"), Status::Ok);
  EXPECT_EQ(ReadFileBytes(Path("a.txt")), "a");
}

}  // namespace
}  // namespace cw::platform
