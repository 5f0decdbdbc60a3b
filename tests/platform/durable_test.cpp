// Putting a new file in place while it is still open, flushing, folders that cannot be
// listed, and the locks that tell a live run from an ended one.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform_fixture.h"

#ifdef _WIN32
#include <windows.h>
#undef DeleteFile

#include "platform/win32/system_calls.h"
#else
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace cw::platform {
namespace {

namespace fs = std::filesystem;
using test::PathExists;
using test::ReadFileBytes;
using test::ToFsPath;
using test::WriteFileBytes;

class DurableTest : public PlatformTest {
 protected:
  // A new file holding `bytes`, still open under the temporary name.
  std::unique_ptr<NewFile> Written(std::string_view bytes) {
    std::unique_ptr<NewFile> file;
    EXPECT_EQ(CreateNewFile(temporary_, &file), Status::Ok);
    if (file) {
      EXPECT_EQ(file->Write(bytes), Status::Ok);
    }
    return file;
  }

  const std::string temporary_ = Path("~cw00000001.tmp");
  const std::string target_ = Path("target.txt");
};

TEST_F(DurableTest, AnOpenNewFileTakesItsNameOnlyWhenTheOldOneCanGo) {
  const struct Case {
    const char* name;
    bool targetExists;
    bool targetReadOnly;
    bool replace;
    Status expected;
  } cases[] = {
      {"replace an existing file", true, false, true, Status::Ok},
      {"replace where nothing is", false, false, true, Status::Ok},
      {"move where nothing is", false, false, false, Status::Ok},
      {"move onto an existing file", true, false, false, Status::AlreadyExists},
      {"replace a read-only file", true, true, true, Status::AccessDenied},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.targetExists) WriteFileBytes(target_, "old bytes");
    if (c.targetReadOnly) fs::permissions(ToFsPath(target_), fs::perms::all, fs::perm_options::remove);
    std::unique_ptr<NewFile> file = Written("new bytes");
    ASSERT_TRUE(file);
    FileInfo made;
    ASSERT_EQ(file->Identify(&made), Status::Ok);
    // While it is open nobody's sweep of stale temporaries can remove it.
    EXPECT_NE(DeleteFile(temporary_), Status::Ok);
    ASSERT_EQ(file->Flush(), Status::Ok);
    const Status status = c.replace ? file->ReplaceInto(target_) : file->MoveInto(target_);
    EXPECT_EQ(status, c.expected) << StatusName(status);
    if (status == Status::Ok) {
      EXPECT_EQ(ReadFileBytes(target_), "new bytes");
      EXPECT_FALSE(PathExists(temporary_));
      FileInfo placed;
      ASSERT_EQ(QueryFile(target_, &placed), Status::Ok);
      EXPECT_TRUE(placed.SameFileAs(made));
      file.reset();  // a placed file is never removed
      EXPECT_EQ(ReadFileBytes(target_), "new bytes");
    } else {
      EXPECT_EQ(ReadFileBytes(target_), "old bytes");
      // Still open under its own name, and still ours to write or drop.
      EXPECT_EQ(file->Write(" more"), Status::Ok);
      file->Abandon();
      EXPECT_FALSE(PathExists(temporary_));
    }
    std::error_code ignored;
    fs::permissions(ToFsPath(target_), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove(ToFsPath(target_), ignored);
  }
}

TEST_F(DurableTest, FlushesFailAsTheSystemFailsThem) {
  std::unique_ptr<NewFile> file = Written("x");
  ASSERT_TRUE(file);
  file->StartFlush();
  EXPECT_EQ(file->Flush(), Status::Ok);
  InjectFailure(Operation::Flush, 1, Status::DiskFull);
  EXPECT_EQ(file->Flush(), Status::DiskFull);
  EXPECT_NE(LastError().find("injected"), std::string::npos) << LastError();
  file->Abandon();

  EXPECT_EQ(FlushFolder(dir_.Path()), Status::Ok);
  EXPECT_EQ(FlushFolder(Path("missing")), Status::NotFound);
  WriteFileBytes(target_, "a file");
  EXPECT_EQ(FlushFolder(target_), Status::NotFound);
}

TEST_F(DurableTest, OnlyAFolderThatCannotBeListedFailsItsListing) {
  WriteFileBytes(Path("sub\\a.txt"), "a");
  WriteFileBytes(target_, "t");
  // The reason for a file taken for a folder, or a name past the system's limit, is the
  // system's own (POSIX: NotFound and InvalidPath; Wine: InvalidPath and NotFound): only
  // that it is a failure is the same everywhere.
  const struct Case {
    std::string pattern;
    bool listed;
    Status expected;  // when it is the same on every system
  } cases[] = {
      {Path("sub\\*.none"), true, Status::Ok},  // nothing matches
      {Path("missing\\*.*"), false, Status::NotFound}, {Path("missing\\deeper\\*"), false, Status::NotFound},
      {target_ + "\\*", false, Status::Other},         {Path(std::string(300, 'n') + "\\*"), false, Status::Other},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern.substr(0, 80));
    std::vector<DirEntry> entries = {{"stale", 0}};
    const Status status = FindEntries(c.pattern, &entries);
    EXPECT_EQ(status == Status::Ok, c.listed) << StatusName(status) << " " << LastError();
    if (c.expected != Status::Other) {
      EXPECT_EQ(status, c.expected) << StatusName(status);
    }
    EXPECT_TRUE(entries.empty());
  }
}

TEST_F(DurableTest, RunLocksTellALiveRunFromAnEndedOne) {
  const std::string folder = Path("runs");
  std::unique_ptr<RunLock> first;
  std::unique_ptr<RunLock> second;
  ASSERT_EQ(AcquireRunLock(folder, &first), Status::Ok);
  ASSERT_EQ(AcquireRunLock(folder, &second), Status::Ok);
  const std::string id = first->Id();
  EXPECT_EQ(id.size(), 16u);
  EXPECT_NE(id, second->Id());
  EXPECT_EQ(QueryRun(folder, id), RunState::Alive);
  EXPECT_EQ(QueryRun(folder, second->Id()), RunState::Alive);
  // A run whose process ended leaves its lock file, held by nobody.
  const std::string ended = "0123456789abcdef";
  WriteFileBytes(folder + "\\" + ended + ".lock", "");
  EXPECT_EQ(QueryRun(folder, ended), RunState::Ended);
  // Names of no lock, or that are no identity at all, prove nothing.
  for (const std::string& unknown : {std::string("fedcba9876543210"), std::string("..\\runs\\0123"),
                                     std::string("0123456789ABCDEF"), std::string()}) {
    EXPECT_EQ(QueryRun(folder, unknown), RunState::Unknown) << unknown;
  }
  first.reset();  // a run that ends properly takes its lock file along
  EXPECT_EQ(QueryRun(folder, id), RunState::Unknown);
  EXPECT_FALSE(PathExists(folder + "\\" + id + ".lock"));
  EXPECT_FALSE(DefaultRunLockFolder().empty());
}

#ifndef _WIN32

// Another process holds a lock and then dies without a word: the system lets go of
// the lock, and the run counts as ended.
TEST_F(DurableTest, ARunKilledWithItsLockHeldHasEnded) {
  const std::string folder = Path("runs");
  int toParent[2];
  int toChild[2];
  ASSERT_EQ(pipe(toParent), 0);
  ASSERT_EQ(pipe(toChild), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::unique_ptr<RunLock> lock;
    if (AcquireRunLock(folder, &lock) != Status::Ok) _exit(3);
    if (write(toParent[1], lock->Id().data(), 16) != 16) _exit(4);
    char go = 0;
    if (read(toChild[0], &go, 1) != 1) _exit(5);
    _exit(0);  // no destructor: as a kill would leave it
  }
  char id[17] = {};
  ASSERT_EQ(read(toParent[0], id, 16), 16);
  EXPECT_EQ(QueryRun(folder, id), RunState::Alive);
  ASSERT_EQ(write(toChild[1], "x", 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(QueryRun(folder, id), RunState::Ended);
  for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
}

// Names that differ only in case are two files here; putting one in place leaves the
// other alone, and their identities tell them apart.
TEST_F(DurableTest, CaseTwinsAreTwoFiles) {
  WriteFileBytes(Path("a.txt"), "lower");
  WriteFileBytes(Path("A.txt"), "upper");
  FileInfo lower;
  FileInfo upper;
  ASSERT_EQ(QueryFile(Path("a.txt"), &lower), Status::Ok);
  ASSERT_EQ(QueryFile(Path("A.txt"), &upper), Status::Ok);
  EXPECT_FALSE(lower.SameFileAs(upper));
  std::unique_ptr<NewFile> file = Written("new");
  ASSERT_EQ(file->ReplaceInto(Path("A.txt")), Status::Ok);
  EXPECT_EQ(ReadFileBytes(Path("a.txt")), "lower");
  EXPECT_EQ(ReadFileBytes(Path("A.txt")), "new");
}

// Another name of the file (a hard link) sees the new bytes too: the file is rewritten
// in place through the still open new file.
TEST_F(DurableTest, ReplacingAHardLinkedFileKeepsTheLinks) {
  WriteFileBytes(target_, "old bytes");
  fs::create_hard_link(ToFsPath(target_), ToFsPath(Path("other name.txt")));
  std::unique_ptr<NewFile> file = Written("new bytes, longer");
  ASSERT_EQ(file->ReplaceInto(target_), Status::Ok);
  EXPECT_EQ(ReadFileBytes(Path("other name.txt")), "new bytes, longer");
  EXPECT_FALSE(PathExists(temporary_));
}

#else

// On a volume that ignores case, "A.TXT" names the file "a.txt": their identities say so.
TEST_F(DurableTest, NamesThatDifferInCaseAreOneFileHere) {
  WriteFileBytes(Path("a.txt"), "lower");
  FileInfo lower;
  FileInfo upper;
  ASSERT_EQ(QueryFile(Path("a.txt"), &lower), Status::Ok);
  ASSERT_EQ(QueryFile(Path("A.TXT"), &upper), Status::Ok);
  EXPECT_TRUE(lower.SameFileAs(upper));
}

// The rename goes through the open handle: neither ReplaceFileW nor the move by name
// is needed where the system has it.
TEST_F(DurableTest, TheRenameGoesThroughTheHandle) {
  WriteFileBytes(target_, "old bytes");
  ASSERT_TRUE(InjectSystemError("ReplaceFileW", ERROR_ACCESS_DENIED, 1, kEveryCall));
  ASSERT_TRUE(InjectSystemError("MoveFileExW", ERROR_ACCESS_DENIED, 1, kEveryCall));
  std::unique_ptr<NewFile> file = Written("new bytes");
  EXPECT_EQ(file->ReplaceInto(target_), Status::Ok) << LastError();
  EXPECT_EQ(ReadFileBytes(target_), "new bytes");
  WriteFileBytes(temporary_, "newer bytes");
  EXPECT_EQ(MoveReplace(temporary_, target_), Status::Ok) << LastError();
  EXPECT_EQ(ReadFileBytes(target_), "newer bytes");
}

// What ReplaceFileW does when it has moved the replaced file to the backup name but
// cannot give the replacement its name.
BOOL WINAPI BackUpThenFail(LPCWSTR replaced, LPCWSTR, LPCWSTR backup, DWORD, LPVOID, LPVOID) {
  MoveFileExW(replaced, backup, 0);
  SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
  return FALSE;
}

// Where no rename through a handle is possible, ReplaceFileW keeps the old file under a
// backup name until the new one has its name; a failure puts the old file back.
TEST_F(DurableTest, WithoutRenameByHandleTheOldFileIsKeptUntilTheEnd) {
  ASSERT_TRUE(InjectSystemError("SetFileInformationByHandle", ERROR_INVALID_PARAMETER, 1, kEveryCall));
  WriteFileBytes(target_, "old bytes");
  std::unique_ptr<NewFile> file = Written("new bytes");
  ASSERT_EQ(file->ReplaceInto(target_), Status::Ok) << LastError();
  EXPECT_EQ(ReadFileBytes(target_), "new bytes");
  EXPECT_FALSE(PathExists(temporary_ + ".old"));

  win32::Sys().ReplaceFileW.Replace(&BackUpThenFail);
  WriteFileBytes(temporary_, "newer bytes");
  EXPECT_NE(MoveReplace(temporary_, target_), Status::Ok);
  EXPECT_EQ(ReadFileBytes(target_), "new bytes");
  EXPECT_EQ(ReadFileBytes(temporary_), "newer bytes");
  EXPECT_FALSE(PathExists(temporary_ + ".old"));
}

#endif

}  // namespace
}  // namespace cw::platform
