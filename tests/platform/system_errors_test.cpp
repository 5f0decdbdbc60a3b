// Errors injected at the system-call seam: each error a write, a replace and a delete
// can meet becomes its status and leaves the original as it was; transient and
// persistent faults; interrupted, short and empty transfers.
#include <string>
#include <vector>

#include "platform_fixture.h"

#ifdef _WIN32
#include <windows.h>
// <windows.h> maps DeleteFile to DeleteFileW; the one tested is cw::platform::DeleteFile.
#undef DeleteFile

#include "platform/win32/system_calls.h"
#else
#include <cerrno>

#include "platform/posix/system_calls.h"
#endif

namespace cw::platform {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

struct ErrorCase {
  long code;
  const char* name;
  Status status;
};

// The public call an error is met by, and the system calls made to fail for it.
enum class Site { Write, Replace, Delete };
struct SiteCase {
  Site site;
  std::vector<const char*> calls;
};

#define CW_ERROR(code, status) \
  { code, #code, Status::status }

#ifdef _WIN32
const ErrorCase kErrors[] = {
    CW_ERROR(ERROR_ACCESS_DENIED, AccessDenied),
    CW_ERROR(ERROR_NETWORK_ACCESS_DENIED, AccessDenied),
    CW_ERROR(ERROR_WRITE_PROTECT, AccessDenied),
    CW_ERROR(ERROR_SHARING_VIOLATION, SharingViolation),
    CW_ERROR(ERROR_LOCK_VIOLATION, SharingViolation),
    CW_ERROR(ERROR_DISK_FULL, DiskFull),
    CW_ERROR(ERROR_HANDLE_DISK_FULL, DiskFull),
    CW_ERROR(ERROR_FILE_NOT_FOUND, NotFound),
    CW_ERROR(ERROR_PATH_NOT_FOUND, NotFound),
    CW_ERROR(ERROR_BAD_NETPATH, NotFound),
    CW_ERROR(ERROR_FILENAME_EXCED_RANGE, InvalidPath),
    CW_ERROR(ERROR_INVALID_NAME, InvalidPath),
    CW_ERROR(ERROR_NOT_ENOUGH_MEMORY, TooLarge),
    CW_ERROR(ERROR_FILE_EXISTS, AlreadyExists),
    CW_ERROR(ERROR_UNABLE_TO_REMOVE_REPLACED, Other),
    CW_ERROR(ERROR_UNABLE_TO_MOVE_REPLACEMENT, Other),
    CW_ERROR(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, Other),
    CW_ERROR(ERROR_NOT_READY, Other),
    CW_ERROR(ERROR_NOT_SAME_DEVICE, Other),
    CW_ERROR(ERROR_GEN_FAILURE, Other),
};
const SiteCase kSites[] = {
    {Site::Write, {"CreateFileW"}},
    {Site::Write, {"WriteFile"}},
    {Site::Replace, {"SetFileInformationByHandle", "ReplaceFileW", "MoveFileExW"}},
    {Site::Delete, {"DeleteFileW"}},
};
const char* const kDeleteCall = "DeleteFileW";
const char* const kDeleteFirstCall = "DeleteFileW";  // the first that an injected delete fails
constexpr long kBusy = ERROR_SHARING_VIOLATION;
#else
const ErrorCase kErrors[] = {
    CW_ERROR(EACCES, AccessDenied),
    CW_ERROR(EPERM, AccessDenied),
    CW_ERROR(EROFS, AccessDenied),
    CW_ERROR(EBUSY, SharingViolation),
    CW_ERROR(ETXTBSY, SharingViolation),
    CW_ERROR(ENOSPC, DiskFull),
    CW_ERROR(EDQUOT, DiskFull),
    CW_ERROR(EFBIG, DiskFull),
    CW_ERROR(ENOENT, NotFound),
    CW_ERROR(ENOTDIR, NotFound),
    CW_ERROR(ENAMETOOLONG, InvalidPath),
    CW_ERROR(ENOMEM, TooLarge),
    CW_ERROR(EEXIST, AlreadyExists),
    CW_ERROR(EIO, Other),
    CW_ERROR(EXDEV, Other),
    CW_ERROR(ESTALE, Other),
};
const SiteCase kSites[] = {
    {Site::Write, {"open"}},
    {Site::Write, {"pwrite"}},
    {Site::Replace, {"rename"}},
    {Site::Delete, {"unlink"}},
};
const char* const kDeleteCall = "unlink";
const char* const kDeleteFirstCall = "lstat";  // the first that an injected delete fails
constexpr long kBusy = EBUSY;
#endif

#undef CW_ERROR

class SystemErrorTest : public PlatformTest {
 protected:
  void SetUp() override {
    WriteFileBytes(original_, "original bytes");
    WriteFileBytes(temporary_, "new bytes");
  }

  Status Run(Site site) {
    switch (site) {
      case Site::Write: return WriteNewFile(Path("new.txt"), "new bytes");
      case Site::Replace: return MoveReplace(temporary_, original_);
      case Site::Delete: return DeleteFile(original_);
    }
    return Status::Ok;
  }

  const std::string original_ = Path("original.txt");
  const std::string temporary_ = Path("~cw00000001.tmp");
};

TEST_F(SystemErrorTest, EachErrorBecomesItsStatusAndTheOriginalStays) {
  for (const ErrorCase& error : kErrors) {
    for (const SiteCase& site : kSites) {
      SCOPED_TRACE(std::string(error.name) + " at " + site.calls.front());
      for (const char* call : site.calls) ASSERT_TRUE(InjectSystemError(call, error.code, 1, kEveryCall));
      const Status status = Run(site.site);
      ClearInjectedFailures();
      EXPECT_EQ(status, error.status) << StatusName(status);
      EXPECT_NE(LastError().find("injected"), std::string::npos) << LastError();
      EXPECT_EQ(ReadFileBytes(original_), "original bytes");
      EXPECT_EQ(ReadFileBytes(temporary_), "new bytes");
      EXPECT_FALSE(test::PathExists(Path("new.txt")));  // a failed write leaves nothing
    }
  }
}

TEST_F(SystemErrorTest, TransientFaultsPassAndPersistentOnesStayUntilCleared) {
  EXPECT_FALSE(InjectSystemError("NoSuchCall", kBusy));

  ASSERT_TRUE(InjectSystemError(kDeleteCall, kBusy, 2));  // the second delete, once
  EXPECT_EQ(DeleteFile(temporary_), Status::Ok);
  EXPECT_EQ(DeleteFile(original_), Status::SharingViolation);
  EXPECT_EQ(DeleteFile(original_), Status::Ok);

  WriteFileBytes(original_, "original bytes");
  ASSERT_TRUE(InjectSystemError(kDeleteCall, kBusy, 1, kEveryCall));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(DeleteFile(original_), Status::SharingViolation);
  EXPECT_EQ(ReadFileBytes(original_), "original bytes");
  ClearInjectedFailures();
  EXPECT_EQ(DeleteFile(original_), Status::Ok);
}

// The coarse injection fails the operation at its system call, so it is logged there.
TEST_F(SystemErrorTest, InjectedOperationsFailAtTheirSystemCall) {
  InjectFailure(Operation::Delete, 1, Status::SharingViolation);
  EXPECT_EQ(DeleteFile(original_), Status::SharingViolation);
  EXPECT_EQ(LastError().rfind(std::string(kDeleteFirstCall) + " ", 0), 0u) << LastError();
  EXPECT_EQ(ReadFileBytes(original_), "original bytes");
}

#ifdef _WIN32

// ReplaceFileW alone failing: after some errors the plain move does its work (the
// volume cannot replace, or the replaced file is gone already); the others fail it.
// (A volume that cannot rename through a handle, where ReplaceFileW comes next.)
void NoRenameByHandle() {
  ASSERT_TRUE(InjectSystemError("SetFileInformationByHandle", ERROR_INVALID_PARAMETER, 1, kEveryCall));
}

TEST_F(SystemErrorTest, ReplaceFallsBackToTheMoveOnlyWhereThatIsSafe) {
  const struct {
    long code;
    bool moved;
  } cases[] = {{ERROR_UNABLE_TO_MOVE_REPLACEMENT, true},
               {ERROR_FILE_NOT_FOUND, true},
               {ERROR_NOT_SUPPORTED, true},
               {ERROR_INVALID_NAME, true},
               {ERROR_ACCESS_DENIED, false},
               {ERROR_UNABLE_TO_REMOVE_REPLACED, false},
               {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, false},
               {ERROR_SHARING_VIOLATION, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    WriteFileBytes(original_, "original bytes");
    WriteFileBytes(temporary_, "new bytes");
    NoRenameByHandle();
    ASSERT_TRUE(InjectSystemError("ReplaceFileW", c.code));
    EXPECT_EQ(MoveReplace(temporary_, original_) == Status::Ok, c.moved);
    EXPECT_EQ(ReadFileBytes(original_), c.moved ? "new bytes" : "original bytes");
    EXPECT_EQ(test::PathExists(temporary_), !c.moved);
    ClearInjectedFailures();
  }
}

// What Windows does when it cannot rename the replacement and no backup was named: the
// replaced file is gone already, and the new one still has its own name.
BOOL WINAPI RemoveReplacedThenFail(LPCWSTR replaced, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) {
  DeleteFileW(replaced);
  SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
  return FALSE;
}

TEST_F(SystemErrorTest, AReplacedFileRemovedHalfWayIsFollowedByTheMove) {
  NoRenameByHandle();
  win32::Sys().ReplaceFileW.Replace(&RemoveReplacedThenFail);
  ASSERT_EQ(MoveReplace(temporary_, original_), Status::Ok);
  EXPECT_EQ(ReadFileBytes(original_), "new bytes");
  EXPECT_FALSE(test::PathExists(temporary_));

  // Should the move fail too, the new bytes are still there under their own name.
  WriteFileBytes(temporary_, "newer bytes");
  ASSERT_TRUE(InjectSystemError("MoveFileExW", ERROR_SHARING_VIOLATION));
  EXPECT_EQ(MoveReplace(temporary_, original_), Status::SharingViolation);
  EXPECT_EQ(ReadFileBytes(temporary_), "newer bytes");
}

BOOL WINAPI WriteSevenAtMost(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
  return win32::Sys().WriteFile.Real()(file, data, size < 7 ? size : 7, written, overlapped);
}
BOOL WINAPI ReadFiveAtMost(HANDLE file, LPVOID data, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
  return win32::Sys().ReadFile.Real()(file, data, size < 5 ? size : 5, got, overlapped);
}
BOOL WINAPI WriteNothing(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) {
  *written = 0;
  return TRUE;
}

// Stand-ins that move a few bytes per call, and a write that takes none.
void MoveFewBytesPerCall() {
  win32::Sys().WriteFile.Replace(&WriteSevenAtMost);
  win32::Sys().ReadFile.Replace(&ReadFiveAtMost);
}
void WriteNothingAtAll() { win32::Sys().WriteFile.Replace(&WriteNothing); }
auto& WriteCall() { return win32::Sys().WriteFile; }
constexpr long kWriteError = ERROR_WRITE_FAULT;

#else

ssize_t WriteSevenAtMost(int fd, const void* data, size_t size, off_t offset) {
  return posix::Sys().pwrite.Real()(fd, data, size < 7 ? size : 7, offset);
}
ssize_t ReadFiveAtMost(int fd, void* data, size_t size, off_t offset) {
  return posix::Sys().pread.Real()(fd, data, size < 5 ? size : 5, offset);
}
ssize_t WriteNothing(int, const void*, size_t, off_t) { return 0; }

void MoveFewBytesPerCall() {
  posix::Sys().pwrite.Replace(&WriteSevenAtMost);
  posix::Sys().pread.Replace(&ReadFiveAtMost);
}
void WriteNothingAtAll() { posix::Sys().pwrite.Replace(&WriteNothing); }
auto& WriteCall() { return posix::Sys().pwrite; }
constexpr long kWriteError = EIO;

TEST_F(SystemErrorTest, InterruptedReadsAndWritesAreRetried) {
  int failures = 0;
  SetErrorLogHook([&failures](const std::string&) { ++failures; });
  ASSERT_TRUE(InjectSystemError("pwrite", EINTR));
  ASSERT_TRUE(InjectSystemError("pread", EINTR));
  ASSERT_EQ(WriteWholeFile(original_, "after a signal"), Status::Ok);
  std::string read;
  ASSERT_EQ(ReadWholeFile(original_, &read), Status::Ok);
  EXPECT_EQ(read, "after a signal");
  EXPECT_EQ(failures, 0);
}

TEST_F(SystemErrorTest, AListingCutShortIsAFailureWithWhatItFound) {
  ASSERT_TRUE(InjectSystemError("readdir", EIO, 2));
  std::vector<DirEntry> entries;
  EXPECT_EQ(FindEntries(Path("*"), &entries), Status::Other);
  EXPECT_EQ(entries.size(), 1u);
}

#endif

TEST_F(SystemErrorTest, ShortAndEmptyTransfers) {
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += static_cast<char>(i * 7);
  MoveFewBytesPerCall();
  ASSERT_EQ(WriteWholeFile(original_, bytes), Status::Ok);
  std::string read;
  ASSERT_EQ(ReadWholeFile(original_, &read), Status::Ok);
  EXPECT_EQ(read, bytes);
  // A write that takes nothing would otherwise be tried for ever.
  WriteNothingAtAll();
  EXPECT_EQ(WriteNewFile(Path("new.txt"), "x"), Status::DiskFull);
  EXPECT_FALSE(test::PathExists(Path("new.txt")));
}

// The program's calls go straight to the system: only an injection puts the fault code's
// wrapper in front of them (of every entry, so that none can be missed), and clearing
// takes it away again. A stand-in put in place meanwhile waits behind the wrapper.
TEST_F(SystemErrorTest, OnlyAnInjectionStandsBetweenTheCallsAndTheSystem) {
  auto& write = WriteCall();
  const auto diverted = [] {
    size_t count = 0;
    for (const detail::SystemCallEntry* entry : detail::SystemCallEntries()) count += entry->IsDiverted() ? 1 : 0;
    return count;
  };
  ASSERT_FALSE(detail::SystemCallEntries().empty());
  EXPECT_EQ(write.Current(), write.Real());
  EXPECT_EQ(diverted(), 0u);

  ASSERT_TRUE(InjectSystemError(write.Name(), kWriteError));
  EXPECT_NE(write.Current(), write.Real());
  EXPECT_EQ(diverted(), detail::SystemCallEntries().size());
  write.Replace(&WriteSevenAtMost);
  EXPECT_NE(write.Current(), &WriteSevenAtMost);
  EXPECT_EQ(write.StandIn(), &WriteSevenAtMost);
  // The fault first, then the stand-in's short writes, which still write every byte.
  EXPECT_EQ(WriteWholeFile(original_, "a fault, then short writes"), Status::Other);
  EXPECT_NE(LastError().find(", injected)"), std::string::npos) << LastError();
  ASSERT_EQ(WriteWholeFile(original_, "a fault, then short writes"), Status::Ok);
  EXPECT_EQ(ReadFileBytes(original_), "a fault, then short writes");

  ClearInjectedFailures();
  EXPECT_EQ(write.Current(), write.Real());
  EXPECT_EQ(write.StandIn(), write.Real());
  EXPECT_EQ(diverted(), 0u);
}

}  // namespace
}  // namespace cw::platform
