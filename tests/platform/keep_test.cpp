// Replacing a file while keeping the old one for an undo, and the roll-back of an
// in-place rewrite that a failure or a kill cut short.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/backend.h"
#include "platform_fixture.h"

#ifdef _WIN32
#include <windows.h>
#undef DeleteFile
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/system_calls.h"
#endif

namespace cw::platform {
namespace {

namespace fs = std::filesystem;
using test::PathExists;
using test::ReadFileBytes;
using test::ToFsPath;
using test::WriteFileBytes;

// The calls a replace may make (a failing close is left out: an injected failure never
// makes the real call, so the file would stay open, which no real close failure does).
#ifdef _WIN32
constexpr bool kRewritesInPlace = false;  // a replace splits the links
constexpr long kFailure = ERROR_GEN_FAILURE;
constexpr long kNoHardLinks = ERROR_INVALID_FUNCTION;
const char* const kLinkCall = "CreateHardLinkW";
const char* const kCalls[] = {
    "GetFileAttributesW", "GetFileAttributesExW", "CreateHardLinkW", "SetFileInformationByHandle", "MoveFileExW",
    "ReplaceFileW",       "DeleteFileW",          "SetFileTime",     "SetFileAttributesW",         "CreateFileW"};
#else
constexpr bool kRewritesInPlace = true;
constexpr long kFailure = EIO;
constexpr long kNoHardLinks = EPERM;
const char* const kLinkCall = "link";
const char* const kCalls[] = {"open",  "pread",  "pwrite",    "fstat",  "lstat", "ftruncate", "fsync",
                              "fcntl", "unlink", "renameat2", "rename", "link",  "chmod",     "chown"};
#endif

std::string Bytes(char fill, size_t size) {
  std::string bytes(size, fill);
  for (size_t i = 0; i < size; i += 4093) bytes[i] = static_cast<char>(i / 4093);  // no two chunks alike
  return bytes;
}

class KeepTest : public PlatformTest {
 protected:
  // What a file holds, in a word (its bytes would fill the screen).
  std::string Which(const std::string& path) const {
    if (!PathExists(path)) return "missing";
    const std::string bytes = ReadFileBytes(path);
    if (bytes == old_) return "old";
    if (bytes == new_) return "new";
    if (bytes == mixed_) return "mixed";
    return std::to_string(bytes.size()) + " other bytes";
  }
  // The target holding the old bytes, with a second name when `linked`.
  void MakeTarget(bool linked) {
    for (const std::string& path : {target_, link_, kept_}) fs::remove(ToFsPath(path));
    WriteFileBytes(target_, old_);
    if (linked) fs::create_hard_link(ToFsPath(target_), ToFsPath(link_));
  }
  std::unique_ptr<NewFile> Written() {
    std::unique_ptr<NewFile> file;
    EXPECT_EQ(CreateNewFile(temporary_, &file), Status::Ok);
    if (file) {
      EXPECT_EQ(file->Write(new_), Status::Ok);
    }
    return file;
  }
  // The names in the folder that are what a rewrite keeps aside.
  std::vector<std::string> Leftovers() {
    std::vector<DirEntry> entries;
    FindEntries(Path("*"), &entries);
    std::vector<std::string> names;
    for (const std::string& name : SortedNames(entries)) {
      if (IsKeptAsideName(name)) names.push_back(name);
    }
    return names;
  }

  const std::string temporary_ = Path("~cw0123456789abcdef-1a.tmp");
  const std::string target_ = Path("target.txt");
  const std::string link_ = Path("other name.txt");
  const std::string kept_ = Path("kept.txt");
  const std::string old_ = Bytes('o', (3u << 20) + 1000);
  const std::string new_ = Bytes('n', (2u << 20) + 77);
  const std::string mixed_ = new_.substr(0, 1u << 20) + old_.substr(1u << 20);  // a rewrite cut short
};

TEST_F(KeepTest, TheReplacedFileStaysUnderTheKeptName) {
  const struct Case {
    const char* name;
    bool exists, linked, readOnly, keptTaken, noHardLinks;
    Status expected;
  } cases[] = {
      {"plain file", true, false, false, false, false, Status::Ok},
      {"hard-linked file", true, true, false, false, false, Status::Ok},
      {"nothing to keep", false, false, false, false, false, Status::Ok},
      {"a volume without hard links", true, false, false, false, true, Status::Ok},
      {"read-only target", true, false, true, false, false, Status::AccessDenied},
      {"kept name taken", true, false, false, true, false, Status::AlreadyExists},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeTarget(c.linked);
    if (!c.exists) fs::remove(ToFsPath(target_));
    if (c.readOnly) fs::permissions(ToFsPath(target_), fs::perms::all, fs::perm_options::remove);
    if (c.keptTaken) WriteFileBytes(kept_, "someone's");
    FileInfo before;
    const bool existed = QueryFile(target_, &before) == Status::Ok;
    std::unique_ptr<NewFile> file = Written();
    ASSERT_TRUE(file);
    if (c.noHardLinks) {
      ASSERT_TRUE(InjectSystemError(kLinkCall, kNoHardLinks, 1, kEveryCall));
    }
    const Status status = file->ReplaceKeeping(target_, kept_);
    ClearInjectedFailures();
    EXPECT_EQ(status, c.expected) << StatusName(status) << " " << LastError();
    file.reset();
    if (status == Status::Ok) {
      EXPECT_EQ(Which(target_), "new");
      EXPECT_EQ(PathExists(kept_), existed);
      FileInfo kept;
      // Moved or given a second name, never copied, except where the links are rewritten.
      if (existed) {
        EXPECT_EQ(Which(kept_), "old");
        ASSERT_EQ(QueryFile(kept_, &kept), Status::Ok);
        EXPECT_EQ(kept.SameFileAs(before), !(c.linked && kRewritesInPlace));
      }
    } else {
      EXPECT_EQ(Which(target_), "old");
      EXPECT_EQ(PathExists(kept_), c.keptTaken);
    }
    if (c.linked) {
      EXPECT_EQ(Which(link_), status == Status::Ok && kRewritesInPlace ? "new" : "old");
    }
    EXPECT_FALSE(PathExists(temporary_));
    EXPECT_TRUE(Leftovers().empty());
    fs::permissions(ToFsPath(target_), fs::perms::owner_all, fs::perm_options::add);
  }
}

// Every system call the replace makes fails in turn, at each of its calls: the replace
// either fails with the target and its other name as they were and nothing kept, or it
// is done (a call whose failure costs nothing, such as a lock or a last clean-up).
TEST_F(KeepTest, AFailedCallAnywhereLeavesTheTargetAsItWas) {
  for (const bool linked : {false, true}) {
    for (const char* call : kCalls) {
      bool done = false;
      for (int nth = 1; nth <= 40 && !done; ++nth) {
        SCOPED_TRACE(std::string(call) + " #" + std::to_string(nth) + (linked ? " (linked)" : ""));
        MakeTarget(linked);
        std::unique_ptr<NewFile> file = Written();
        ASSERT_TRUE(file);
        ASSERT_TRUE(InjectSystemError(call, kFailure, nth));
        const Status status = file->ReplaceKeeping(target_, kept_);
        ClearInjectedFailures();
        file.reset();
        done = status == Status::Ok;
        EXPECT_EQ(Which(target_), done ? "new" : "old");
        EXPECT_EQ(PathExists(kept_), done);
        if (done) {
          EXPECT_EQ(Which(kept_), "old");
        }
        if (linked) {
          EXPECT_EQ(Which(link_), done && kRewritesInPlace ? "new" : "old");
        }
        // Whatever was left aside, the next run's recovery changes nothing of the result.
        EXPECT_EQ(RecoverInterruptedRewrites(dir_.Path(), [](const std::string&) { return true; }), 0);
        EXPECT_EQ(Which(target_), done ? "new" : "old");
        EXPECT_TRUE(Leftovers().empty());
        fs::remove(ToFsPath(temporary_));
      }
      EXPECT_TRUE(done) << call;
    }
  }
}

TEST(KeptAsideNameTest, OnlyWhatARewriteOrAnUndoKeepsAside) {
  const struct {
    const char* name;
    bool keptAside;
  } cases[] = {
      {"~cw0123456789abcdef-1a.tmp.old", true},
      {"~CW0123456789ABCDEF-1A.TMP.JNL", true},
      {"~cw0123456789abcdef-2.tmp.undo", true},
      {"~cw1234abcd.tmp.old", true},
      {"~cw0123456789abcdef-1a.tmp", false},
      {"notes.tmp.old", false},
      {"~cw.tmp.old", false},
      {"~cw0123.tmp.old.txt", false},
      {"~cw0123.old", false},
      {"a.txt", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsKeptAsideName(c.name), c.keptAside) << c.name;
}

// Leftovers of a rewrite written by hand, as a run that ended would have left them.
class RecoveryTest : public KeepTest {
 protected:
  enum class Journal { Whole, Torn, None };
  void Leave(const detail::RewriteJournal& journal, Journal kind) {
    const std::string stored = detail::EncodeRewriteJournal(journal);
    if (kind != Journal::None)
      WriteFileBytes(temporary_ + ".jnl", stored.substr(0, kind == Journal::Torn ? 30 : stored.size()));
    WriteFileBytes(temporary_ + ".old", old_);
    WriteFileBytes(temporary_, new_);
  }
  detail::RewriteJournal JournalOfTarget() {
    FileInfo info;
    EXPECT_EQ(QueryFile(target_, &info), Status::Ok);
    detail::RewriteJournal journal;
    journal.target = "target.txt";
    journal.oldSize = old_.size();
    journal.newSize = new_.size();
    journal.volume = info.volume;
    journal.index = info.index;
    return journal;
  }
};

TEST_F(RecoveryTest, AWholeJournalRollsBackAndEverythingElseIsCleared) {
  enum class Target { Mixed, Old, Gone, Replaced };
  const struct Case {
    const char* name;
    Target target;
    Journal journal;
    bool ownerEnded;
    int rolledBack;
    const char* after;  // what the target holds
    bool temporaryGone;
  } cases[] = {
      {"interrupted rewrite", Target::Mixed, Journal::Whole, true, 1, "old", true},
      {"torn journal: the target was never touched", Target::Old, Journal::Torn, true, 0, "old", true},
      {"copy without a journal", Target::Old, Journal::None, true, 0, "old", false},
      {"the name is gone", Target::Gone, Journal::Whole, true, 1, "old", true},
      {"another file has the name now", Target::Replaced, Journal::Whole, true, 0, "new", false},
      {"the run is alive", Target::Mixed, Journal::Whole, false, 0, "mixed", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeTarget(true);
    const detail::RewriteJournal journal = JournalOfTarget();
    if (c.target == Target::Mixed) WriteFileBytes(target_, mixed_);  // in place: the links see it
    if (c.target == Target::Gone || c.target == Target::Replaced) fs::remove(ToFsPath(target_));
    if (c.target == Target::Replaced) WriteFileBytes(target_, new_);
    Leave(journal, c.journal);
    std::vector<std::string> asked;
    const int rolledBack = RecoverInterruptedRewrites(dir_.Path(), [&](const std::string& name) {
      asked.push_back(name);
      return c.ownerEnded;
    });
    EXPECT_EQ(rolledBack, c.rolledBack);
    EXPECT_FALSE(asked.empty());
    for (const std::string& name : asked) EXPECT_EQ(name, "~cw0123456789abcdef-1a.tmp");
    EXPECT_EQ(Which(target_), c.after);
    if (c.target != Target::Gone && c.target != Target::Replaced) {
      EXPECT_EQ(Which(link_), c.after);
    }
    const bool leftovers = !Leftovers().empty();
    EXPECT_EQ(leftovers, c.target == Target::Replaced || !c.ownerEnded);
    EXPECT_EQ(PathExists(temporary_), !c.temporaryGone);
    for (const std::string& name : Leftovers()) fs::remove(ToFsPath(Path(name)));
    fs::remove(ToFsPath(temporary_));
  }
}

#ifndef _WIN32

// The rewrite stopped for good at a system call (its own roll-back failing as well), as
// a kill would stop it: the next run's recovery puts the old bytes back under every name.
TEST_F(KeepTest, ARewriteStoppedAtAnyStepIsRolledBackByTheNextRun) {
  const struct Case {
    const char* call;
    int nth;
    int rolledBack;  // 0: the file was never touched
  } cases[] = {
      {"pwrite", 2, 0},     // copying the old bytes aside
      {"pwrite", 5, 0},     // the journal
      {"fsync", 2, 0},      // the journal on the disk
      {"link", 1, 0},       // the kept name
      {"pwrite", 6, 1},     // the first new bytes
      {"pwrite", 8, 1},     // the last new bytes
      {"ftruncate", 2, 1},  // the target cut to its new size
      {"unlink", 1, 1},     // the journal cannot go
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " #" + std::to_string(c.nth));
    MakeTarget(true);
    std::unique_ptr<NewFile> file = Written();
    ASSERT_TRUE(InjectSystemError(c.call, kFailure, c.nth, kEveryCall));
    EXPECT_NE(file->ReplaceKeeping(target_, kept_), Status::Ok);
    ClearInjectedFailures();
    file.reset();
    EXPECT_EQ(RecoverInterruptedRewrites(dir_.Path(), [](const std::string&) { return true; }), c.rolledBack);
    EXPECT_EQ(Which(target_), "old");
    EXPECT_EQ(Which(link_), "old");
    EXPECT_FALSE(PathExists(kept_));
    EXPECT_TRUE(Leftovers().empty());
  }
}

// A stand-in for one system call that kills the process at its nth call (a pwrite
// writes half its bytes first, as a kill in the middle of it could leave).
int killAtCall = 0;
int callsSeen = 0;
ssize_t KillingPwrite(int fd, const void* bytes, size_t count, off_t offset) {
  if (++callsSeen == killAtCall) {
    if (::pwrite(fd, bytes, count / 2, offset) < 0) _exit(7);
    kill(getpid(), SIGKILL);
  }
  return ::pwrite(fd, bytes, count, offset);
}
int KillingUnlink(const char* path) {
  if (++callsSeen == killAtCall) kill(getpid(), SIGKILL);
  return ::unlink(path);
}

// A real kill at each step of the rewrite of a hard-linked file: after the next run's
// recovery the file is, under both names, exactly its old bytes or exactly its new ones,
// and the kept copy is there exactly when the new bytes are.
TEST_F(KeepTest, AKillAtAnyStepLeavesTheOldBytesOrTheNew) {
  const struct Case {
    bool unlink;  // else pwrite
    int nth;
    bool replaced;
    int rolledBack;
  } cases[] = {
      {false, 2, false, 0},  // copying the old bytes aside
      {false, 5, false, 0},  // the journal, half written
      {false, 6, false, 1},  // the first new bytes, half written
      {false, 7, false, 1},  // in the middle of the new bytes
      {false, 8, false, 1},  // the last new bytes
      {true, 1, false, 1},   // before the journal goes
      {true, 2, true, 0},    // the journal gone, not yet the copy
      {true, 3, true, 0},    // the copy gone, not yet the temporary
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.unlink ? "unlink" : "pwrite") + " #" + std::to_string(c.nth));
    MakeTarget(true);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::unique_ptr<NewFile> file;
      if (CreateNewFile(temporary_, &file) != Status::Ok || file->Write(new_) != Status::Ok) _exit(3);
      killAtCall = c.nth;
      if (c.unlink) posix::Sys().unlink.Replace(&KillingUnlink);
      if (!c.unlink) posix::Sys().pwrite.Replace(&KillingPwrite);
      file->ReplaceKeeping(target_, kept_);
      _exit(0);  // the kill never came
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_EQ(RecoverInterruptedRewrites(dir_.Path(), [](const std::string&) { return true; }), c.rolledBack);
    const char* expected = c.replaced ? "new" : "old";
    EXPECT_EQ(Which(target_), expected);
    EXPECT_EQ(Which(link_), expected);
    EXPECT_EQ(PathExists(kept_), c.replaced);
    if (c.replaced) {
      EXPECT_EQ(Which(kept_), "old");
    }
    EXPECT_TRUE(Leftovers().empty());
    fs::remove(ToFsPath(temporary_));  // the ended run's temporary, for its own sweep
  }
}

#endif

}  // namespace
}  // namespace cw::platform
