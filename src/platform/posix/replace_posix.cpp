// POSIX backend: moves and replaces. A replace keeps what makes the old file that file
// (its mode and owner, a symbolic link to it, its other hard links, which see the new
// bytes written in place under a journal), and can keep the old file under a second name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/backend.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/system_calls.h"

namespace cw::platform {
namespace {

using detail::Fail;
using posix::Fd;
using posix::PublicCall;
using posix::Sys;

// Copies `count` bytes of `from` over the start of `to` (both open), cuts `to` there and
// puts it on the disk.
bool CopyOver(int from, int to, uint64_t count) {
  constexpr size_t kStep = 1u << 20;
  std::unique_ptr<char[]> buffer(new char[kStep]);
  uint64_t done = 0;
  while (done < count) {
    const ssize_t n = posix::Uninterrupted([&] {
      return Sys().pread(from, buffer.get(), static_cast<size_t>(std::min<uint64_t>(kStep, count - done)),
                         static_cast<off_t>(done));
    });
    if (n <= 0) return false;
    if (posix::WriteFully(to, done, std::string_view(buffer.get(), static_cast<size_t>(n)), std::string()) !=
        Status::Ok) {
      return false;
    }
    done += static_cast<uint64_t>(n);
  }
  return Sys().ftruncate(to, static_cast<off_t>(count)) == 0 && Sys().fsync(to) == 0;
}

// Puts the entries of the folder that holds `native` on the disk.
bool FlushFolderOf(const std::string& native) {
  const size_t slash = native.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : native.substr(0, slash);
  const Fd fd(Sys().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  return fd.get() >= 0 && (Sys().fsync(fd.get()) == 0 || errno == EINVAL);
}

// A rewrite in place: the paths in the system's form, and the journal that will say
// what it does. `kept` may be empty.
struct Rewrite {
  std::string from;
  std::string to;
  std::string kept;
  std::string aside;    // from + ".old"
  std::string journal;  // from + ".jnl"
  std::string both;     // what the log names
  detail::RewriteJournal record;
};

// Writes the journal whole and puts it on the disk (its name goes with the folder's
// flush that follows).
Status WriteJournal(const Rewrite& rewrite) {
  const std::string stored = detail::EncodeRewriteJournal(rewrite.record);
  Fd fd(Sys().open(rewrite.journal.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (fd.get() < 0) return Fail("open", rewrite.both);
  Status status = posix::WriteFully(fd.get(), 0, stored, rewrite.both);
  if (status == Status::Ok && Sys().fsync(fd.get()) != 0) status = Fail("fsync", rewrite.both);
  if (status != Status::Ok) Sys().unlink(rewrite.journal.c_str());
  return status;
}

// Everything that lets the rewrite be rolled back, on the disk before the target is
// touched: the copy of its old bytes, the journal, the kept name, the folder's entries.
// On failure nothing of it is left.
Status PrepareRewrite(const Rewrite& rewrite, int target, int aside, uint64_t oldSize) {
  posix::LockByte(aside, posix::kWriterByte, F_WRLCK, rewrite.both);
  Status status = CopyOver(target, aside, oldSize) ? Status::Ok : Fail("write", rewrite.both);
  if (status != Status::Ok) {
    Sys().unlink(rewrite.aside.c_str());
    return status;
  }
  status = WriteJournal(rewrite);
  if (status == Status::Ok && !rewrite.kept.empty() && Sys().link(rewrite.aside.c_str(), rewrite.kept.c_str()) != 0) {
    status = Fail("link", rewrite.both);
    Sys().unlink(rewrite.journal.c_str());
  }
  if (status == Status::Ok && !FlushFolderOf(rewrite.journal)) {
    status = Fail("fsync", rewrite.both);
    if (!rewrite.kept.empty()) Sys().unlink(rewrite.kept.c_str());
    Sys().unlink(rewrite.journal.c_str());
  }
  if (status != Status::Ok) Sys().unlink(rewrite.aside.c_str());
  return status;
}

// After a failed rewrite: the old bytes go back, and with them on the disk the rest
// goes. Should that fail too, the journal stays for the next run to roll back.
Status RestoreAfter(Status failure, const Rewrite& rewrite, int target, int aside) {
  if (CopyOver(aside, target, rewrite.record.oldSize)) {
    for (const std::string* path : {&rewrite.kept, &rewrite.journal, &rewrite.aside}) {
      if (!path->empty()) Sys().unlink(path->c_str());
    }
  }
  return failure;
}

// A file with other hard links cannot be swapped for the new one without splitting the
// links, so its bytes are rewritten in place: the complete new file exists already, the
// old bytes are copied aside and the journal written before the first byte is changed,
// and the journal goes first once the new bytes are on the disk (a journal on the disk
// always means the old bytes are to come back).
Status RewriteInPlace(Rewrite& rewrite) {
  Fd from(Sys().open(rewrite.from.c_str(), O_RDONLY | O_CLOEXEC, 0));
  Fd to(Sys().open(rewrite.to.c_str(), O_RDWR | O_CLOEXEC, 0));
  if (from.get() < 0 || to.get() < 0) return Fail("open", rewrite.both);
  struct stat fromStat;
  struct stat toStat;
  if (Sys().fstat(from.get(), &fromStat) != 0 || Sys().fstat(to.get(), &toStat) != 0) {
    return Fail("fstat", rewrite.both);
  }
  FileInfo identity;
  posix::FillFileInfo(toStat, &identity);
  rewrite.record.oldSize = static_cast<uint64_t>(toStat.st_size);
  rewrite.record.newSize = static_cast<uint64_t>(fromStat.st_size);
  rewrite.record.volume = identity.volume;
  rewrite.record.index = identity.index;
  Fd aside(Sys().open(rewrite.aside.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (aside.get() < 0) return Fail("open", rewrite.both);
  const Status prepared = PrepareRewrite(rewrite, to.get(), aside.get(), rewrite.record.oldSize);
  if (prepared != Status::Ok) return prepared;
  if (!CopyOver(from.get(), to.get(), rewrite.record.newSize)) {
    return RestoreAfter(Fail("write", rewrite.both), rewrite, to.get(), aside.get());
  }
  // A journal that cannot go would have the next run roll the rewrite back: better now,
  // and reported.
  if (Sys().unlink(rewrite.journal.c_str()) != 0) {
    return RestoreAfter(Fail("unlink", rewrite.both), rewrite, to.get(), aside.get());
  }
  Sys().unlink(rewrite.aside.c_str());
  Sys().unlink(rewrite.from.c_str());
  return Status::Ok;
}

// The path a symbolic link (or a chain of them) ends at; empty when it is no link or
// cannot be followed.
std::string LinkTarget(const std::string& native) {
  struct stat st;
  if (Sys().lstat(native.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return {};
  std::unique_ptr<char, decltype(&free)> target(realpath(native.c_str(), nullptr), &free);
  return target ? std::string(target.get()) : std::string();
}

// Errors of a volume that gives no file a second name (FAT, some network volumes).
bool NoHardLinks(int error) { return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK; }

// Gives `from` the name `to` (a name that is not taken, RENAME_NOREPLACE where the file
// system has it; the caller checked that nothing is there).
int RenameToFreeName(const std::string& from, const std::string& to) {
  if (Sys().renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  return Sys().rename(from.c_str(), to.c_str());
}

// Replaces `to` (a file with no other name) by `from` and keeps the old file as `kept`:
// a second name for it, then the rename, which replaces in one step. Where the volume
// has no hard links, the old file is moved to `kept` first and put back should the
// rename fail.
Status SwapKeeping(const std::string& from, const std::string& to, const std::string& kept, const std::string& both) {
  if (Sys().link(to.c_str(), kept.c_str()) == 0) {
    if (Sys().rename(from.c_str(), to.c_str()) == 0) return Status::Ok;
    const Status status = Fail("rename", both);
    Sys().unlink(kept.c_str());
    return status;
  }
  if (!NoHardLinks(errno)) return Fail("link", both);
  if (RenameToFreeName(to, kept) != 0) return Fail("rename", both);
  if (Sys().rename(from.c_str(), to.c_str()) == 0) return Status::Ok;
  const Status status = Fail("rename", both);
  Sys().rename(kept.c_str(), to.c_str());
  return status;
}

// A replace: the call (its paths in the system's form), the paths as given, and where
// to keep the replaced file (null: nowhere). `fromIsOurs`: the source is a new file of
// ours, still open (its lock says nothing then).
struct ReplaceRequest {
  PublicCall& call;
  const std::string& from;
  const std::string& to;
  const std::string* kept;
  bool fromIsOurs;
};

// The rewrite in place of `request` for the target `nativeTo` (named `to` as given).
Status RewriteFor(const ReplaceRequest& request, const std::string& nativeTo, const std::string& to,
                  const std::string& nativeKept) {
  const std::string& nativeFrom = request.call.Path(0);
  Rewrite rewrite{nativeFrom,
                  nativeTo,
                  nativeKept,
                  nativeFrom + std::string(detail::kAsideSuffix),
                  nativeFrom + std::string(detail::kJournalSuffix),
                  request.call.Subject(),
                  {}};
  rewrite.record.target = detail::JournalName(request.from, to);
  if (request.kept) rewrite.record.kept = detail::JournalName(request.from, *request.kept);
  return RewriteInPlace(rewrite);
}

Status ReplaceNative(const ReplaceRequest& request) {
  PublicCall& call = request.call;
  const std::string& both = call.Subject();
  const std::string& nativeFrom = call.Path(0);
  std::string nativeTo = call.Path(1);
  struct stat st;
  if (Sys().lstat(nativeFrom.c_str(), &st) != 0) return call.Fail("lstat");
  if (!request.fromIsOurs && posix::IsHeldOpen(nativeFrom)) {
    return detail::LogFailure("rename", both, Status::SharingViolation, EBUSY);
  }
  std::string nativeKept;
  if (request.kept) {
    if (!posix::ToNativePath(*request.kept, &nativeKept)) return detail::FailInvalidPath("link", both);
    if (Sys().lstat(nativeKept.c_str(), &st) == 0)
      return detail::LogFailure("link", both, Status::AlreadyExists, EEXIST);
  }
  // A link stays a link: its target is what gets replaced.
  std::string to = request.to;
  const std::string target = LinkTarget(nativeTo);
  if (!target.empty()) {
    nativeTo = target;
    to = posix::FromNativePath(target);
  }
  if (Sys().lstat(nativeTo.c_str(), &st) != 0) {
    if (Sys().rename(nativeFrom.c_str(), nativeTo.c_str()) != 0) return call.Fail("rename");
    return Status::Ok;
  }
  // As MoveFileExW: a folder or a read-only file is not replaced.
  if (S_ISDIR(st.st_mode) || posix::IsReadOnly(st))
    return detail::LogFailure("rename", both, Status::AccessDenied, EACCES);
  if (posix::IsHeldOpen(nativeTo)) return detail::LogFailure("rename", both, Status::SharingViolation, EBUSY);
  // Asked before the kept name is made, which would be a second link itself.
  if (S_ISREG(st.st_mode) && st.st_nlink > 1) return RewriteFor(request, nativeTo, to, nativeKept);
  // The new file takes the old one's mode, and its owner where we may give it.
  if (Sys().chmod(nativeFrom.c_str(), st.st_mode & 07777) != 0) return call.Fail("chmod");
  if (Sys().chown(nativeFrom.c_str(), st.st_uid, st.st_gid) != 0 && errno != EPERM) return call.Fail("chown");
  if (request.kept) return SwapKeeping(nativeFrom, nativeTo, nativeKept, both);
  if (Sys().rename(nativeFrom.c_str(), nativeTo.c_str()) != 0) return call.Fail("rename");
  return Status::Ok;
}

Status MoveNewNative(const PublicCall& call) {
  const std::string& nativeFrom = call.Path(0);
  const std::string& nativeTo = call.Path(1);
  if (Sys().renameat2(AT_FDCWD, nativeFrom.c_str(), AT_FDCWD, nativeTo.c_str(), RENAME_NOREPLACE) == 0) {
    return Status::Ok;
  }
  if (errno != EINVAL && errno != ENOSYS) return call.Fail("renameat2");
  // A file system without RENAME_NOREPLACE: a hard link fails just as well on a name
  // that exists.
  if (Sys().link(nativeFrom.c_str(), nativeTo.c_str()) != 0) return call.Fail("link");
  Sys().unlink(nativeFrom.c_str());
  return Status::Ok;
}

}  // namespace

// The open new file keeps its descriptor (and so its lock) through the rename: until
// it has its final name, nobody's sweep of stale temporaries may take it.
Status posix::PlaceFd(int, const std::string&, const std::string& from, const std::string& to, bool replace,
                      const std::string* kept, bool* closed) {
  *closed = false;
  PublicCall call(Operation::Move, "rename", from, to);
  if (call.status() != Status::Ok) return call.status();
  return replace ? ReplaceNative({call, from, to, kept, true}) : MoveNewNative(call);
}

Status MoveReplace(const std::string& from, const std::string& to) {
  PublicCall call(Operation::Move, "rename", from, to);
  if (call.status() != Status::Ok) return call.status();
  return ReplaceNative({call, from, to, nullptr, false});
}

Status MoveNew(const std::string& from, const std::string& to) {
  const PublicCall call(Operation::Move, "rename", from, to);
  if (call.status() != Status::Ok) return call.status();
  return MoveNewNative(call);
}

std::string ResolveLinks(const std::string& path) {
  std::string native;
  if (!posix::ToNativePath(path, &native)) return path;
  const std::string target = LinkTarget(native);
  return target.empty() ? path : posix::FromNativePath(target);
}

}  // namespace cw::platform
