// POSIX backend: whole-file reads and writes, folders, moves and the file kept open,
// with Windows' share modes emulated by advisory locks that chengwen itself honours.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <optional>

#include "platform/backend.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/system_calls.h"

namespace cw::platform {
namespace {

using detail::Fail;
using detail::FailInvalidPath;
using posix::Fd;
using posix::PublicCall;
using posix::Sys;

// Share modes as open-file-description locks on two bytes (advisory locks restrict no
// I/O, so where they lie does not matter). Every writer holds the writer byte:
// exclusively when it lets nobody else write, shared when others may write too. A
// writer that lets nobody else read also holds the reader byte exclusively; readers
// take it shared while they read. OFD locks conflict between two opens of one process
// as well, as Windows' share modes do.
constexpr off_t kWriterByte = 0;
constexpr off_t kReaderByte = 1;

// Ok, SharingViolation when another open holds a conflicting lock. A file system
// without locks lets the open go on unguarded rather than fail it.
Status LockByte(int fd, off_t byte, short type, const std::string& path) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  if (Sys().fcntl(fd, F_OFD_SETLK, &lock) == 0) return Status::Ok;
  const int error = errno;
  if (error == EAGAIN || error == EACCES) {
    return detail::LogFailure("fcntl", path, Status::SharingViolation, error);
  }
  return Status::Ok;
}

// Whether any open of ours holds the file (Windows refuses to delete or replace a file
// that is open without delete sharing, which our opens never grant).
bool IsHeldOpen(const std::string& native) {
  Fd fd(Sys().open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0));
  if (fd.get() < 0) return false;
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kWriterByte;
  lock.l_len = 1;
  return Sys().fcntl(fd.get(), F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

// Windows will not write over, delete or replace a file with the read-only attribute,
// not even for an administrator; root here ignores the mode, so check it ourselves.
bool IsReadOnly(const struct stat& st) { return !S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0; }

// Retries a call that a signal interrupted before it did anything.
template <typename Step>
ssize_t Uninterrupted(Step step) {
  for (;;) {
    const ssize_t n = step();
    if (n >= 0 || errno != EINTR) return n;
  }
}

Status ReadFully(int fd, uint64_t offset, size_t count, std::string* bytes, const std::string& path,
                 bool pump = false) {
  const auto read = [fd, offset](char* buffer, size_t size, size_t done) {
    return Uninterrupted([&] { return Sys().pread(fd, buffer, size, static_cast<off_t>(offset + done)); });
  };
  return detail::ReadInSteps(count, "pread", path, pump, read, bytes);
}

Status WriteFully(int fd, uint64_t offset, std::string_view bytes, const std::string& path, bool pump = false) {
  const auto write = [fd, offset](const char* data, size_t size, size_t done) {
    return Uninterrupted([&] { return Sys().pwrite(fd, data, size, static_cast<off_t>(offset + done)); });
  };
  return detail::WriteInSteps(bytes, "pwrite", path, pump, write);
}

bool FitsOffset(uint64_t offset, size_t count) {
  constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());
  return offset <= kMaxOffset && count <= kMaxOffset - offset;
}

class PosixOpenFile : public OpenFile {
 public:
  // `sizeAtOpen`, for a file opened only to be read, is the size it had then: ReadAt reads
  // the file as it was opened without asking its size again.
  PosixOpenFile(int fd, std::string path, std::optional<uint64_t> sizeAtOpen = std::nullopt)
      : fd_(fd), path_(std::move(path)), sizeAtOpen_(sizeAtOpen) {}

  Status Size(uint64_t* size) override {
    struct stat st;
    if (Sys().fstat(fd_.get(), &st) != 0) return Fail("fstat", path_);
    *size = static_cast<uint64_t>(st.st_size);
    return Status::Ok;
  }

  Status ReadAt(uint64_t offset, size_t count, std::string* bytes) override {
    bytes->clear();
    uint64_t size = sizeAtOpen_.value_or(0);
    size_t wanted = 0;
    Status status = sizeAtOpen_ ? Status::Ok : Size(&size);
    if (status == Status::Ok) status = detail::BytesToReadAt(size, offset, count, path_, &wanted);
    if (status != Status::Ok) return status;
    return ReadFully(fd_.get(), offset, wanted, bytes, path_);
  }

  Status WriteAt(uint64_t offset, std::string_view bytes) override {
    const detail::CallScope scope(Operation::WriteAt);
    if (!FitsOffset(offset, bytes.size())) return detail::LogFailure("pwrite", path_, Status::TooLarge, EFBIG);
    return WriteFully(fd_.get(), offset, bytes, path_);
  }

  Status Truncate(uint64_t size) override {
    const detail::CallScope scope(Operation::WriteAt);
    if (!FitsOffset(size, 0)) return detail::LogFailure("ftruncate", path_, Status::TooLarge, EFBIG);
    if (Sys().ftruncate(fd_.get(), static_cast<off_t>(size)) != 0) return Fail("ftruncate", path_);
    return Status::Ok;
  }

  Status Flush() override {
    const detail::CallScope scope(Operation::Flush);
    if (Sys().fsync(fd_.get()) != 0) return Fail("fsync", path_);
    return Status::Ok;
  }

 private:
  Fd fd_;
  std::string path_;
  std::optional<uint64_t> sizeAtOpen_;
};

}  // namespace

Status QueryFile(const std::string& path, FileInfo* info) {
  std::string native;
  if (!posix::ToNativePath(path, &native)) return Status::InvalidPath;
  struct stat st;
  // Not logged: asking whether a name is taken is no failure.
  if (Sys().stat(native.c_str(), &st) != 0) return posix::StatusFromErrno(errno);
  posix::FillFileInfo(st, info);
  return Status::Ok;
}

// Opens the source of `call` for reading: a regular file only (a pipe or device could
// block forever), others free to read and write it meanwhile. `fd` receives the descriptor.
Status OpenSource(const PublicCall& call, int* fd, struct stat* st) {
  if (call.status() != Status::Ok) return call.status();
  const std::string& path = call.Subject();
  // O_NONBLOCK: opening a pipe for reading would otherwise wait for a writer forever.
  Fd file(Sys().open(call.Path().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0));
  if (file.get() < 0) return call.Fail("open");
  if (Sys().fstat(file.get(), st) != 0) return call.Fail("fstat");
  if (S_ISDIR(st->st_mode)) return detail::LogFailure("open", path, Status::AccessDenied, EISDIR);
  if (!S_ISREG(st->st_mode)) return detail::LogFailure("open", path, Status::AccessDenied, ENODEV);
  const Status status = LockByte(file.get(), kReaderByte, F_RDLCK, path);
  if (status != Status::Ok) return status;
  *fd = file.release();
  return Status::Ok;
}

// What both whole-file reads do first: the open, what the file is, and a size this
// process may hold. `fd` receives the descriptor.
Status OpenWholeSource(const PublicCall& call, int* fd, size_t* size, FileInfo* info) {
  int opened = -1;
  struct stat st;
  const Status status = OpenSource(call, &opened, &st);
  if (status != Status::Ok) return status;
  Fd file(opened);
  if (info) posix::FillFileInfo(st, info);
  if (static_cast<uint64_t>(st.st_size) > kMaxWholeFileSize) {
    return detail::LogFailure("fstat", call.Subject(), Status::TooLarge, EFBIG);
  }
  *size = static_cast<size_t>(st.st_size);
  *fd = file.release();
  return Status::Ok;
}

Status ReadWholeFile(const std::string& path, std::string* bytes, FileInfo* info) {
  bytes->clear();
  const PublicCall call(Operation::Read, "open", path);
  int opened = -1;
  size_t size = 0;
  const Status status = OpenWholeSource(call, &opened, &size, info);
  if (status != Status::Ok) return status;
  const Fd fd(opened);
  return ReadFully(fd.get(), 0, size, bytes, path, true);
}

Status OpenForReading(const std::string& path, std::unique_ptr<OpenFile>* file, FileInfo* info) {
  file->reset();
  const PublicCall call(Operation::Read, "open", path);
  int opened = -1;
  struct stat st;
  const Status status = OpenSource(call, &opened, &st);
  if (status != Status::Ok) return status;
  if (info) posix::FillFileInfo(st, info);
  *file = std::make_unique<PosixOpenFile>(opened, path, static_cast<uint64_t>(st.st_size));
  return Status::Ok;
}

class PosixMappedFile : public MappedFile {
 public:
  PosixMappedFile(int fd, void* view, size_t size) : fd_(fd), view_(view), size_(size) {}
  ~PosixMappedFile() override {
    if (size_ != 0) munmap(view_, size_);
  }
  std::string_view Bytes() const override { return {static_cast<const char*>(view_), size_}; }

 private:
  Fd fd_;  // held open for its reader lock
  void* view_;
  size_t size_;
};

Status MapWholeFile(const std::string& path, std::unique_ptr<MappedFile>* file, FileInfo* info) {
  file->reset();
  int opened = -1;
  size_t size = 0;
  const PublicCall call(Operation::Read, "open", path);
  const Status status = OpenWholeSource(call, &opened, &size, info);
  if (status != Status::Ok) return status;
  Fd fd(opened);
  void* view = nullptr;
  if (size != 0) {
    view = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (view == MAP_FAILED) return call.Fail("mmap");
    madvise(view, size, MADV_SEQUENTIAL);
  }
  *file = std::make_unique<PosixMappedFile>(fd.release(), view, size);
  return Status::Ok;
}

// Opens the file of `call` for writing, creating it when missing but never truncating
// it, after the checks Windows makes (no folder, nothing read-only) and with the locks
// that stand for `share`. *st is what the file was when opened.
Status OpenToWrite(const PublicCall& call, int access, ShareMode share, int* opened, struct stat* st) {
  Fd fd(Sys().open(call.Path().c_str(), access | O_CREAT | O_CLOEXEC, 0666));
  if (fd.get() < 0) return call.Fail("open");
  const std::string& path = call.Subject();
  if (Sys().fstat(fd.get(), st) != 0) return call.Fail("fstat");
  if (S_ISDIR(st->st_mode)) return detail::LogFailure("open", path, Status::AccessDenied, EISDIR);
  if (IsReadOnly(*st)) return detail::LogFailure("open", path, Status::AccessDenied, EACCES);
  Status status = LockByte(fd.get(), kWriterByte, share == ShareMode::ReadWrite ? F_RDLCK : F_WRLCK, path);
  if (status == Status::Ok && share == ShareMode::None) status = LockByte(fd.get(), kReaderByte, F_WRLCK, path);
  if (status == Status::Ok) *opened = fd.release();
  return status;
}

Status WriteWholeFile(const std::string& path, std::string_view bytes) {
  const PublicCall call(Operation::Write, "open", path);
  if (call.status() != Status::Ok) return call.status();
  // Not O_TRUNC: a file that someone holds open, or a read-only one, must keep its
  // bytes, so it is emptied only after the checks.
  int opened = -1;
  struct stat st;
  const Status status = OpenToWrite(call, O_WRONLY, ShareMode::None, &opened, &st);
  if (status != Status::Ok) return status;
  Fd fd(opened);
  // Emptying a file that is empty already is not free: on ext4 a truncate to zero
  // makes the next close flush the file, which costs a new file most of its time.
  if (st.st_size != 0 && Sys().ftruncate(fd.get(), 0) != 0) return call.Fail("ftruncate");
  return WriteFully(fd.get(), 0, bytes, path, true);
}

namespace {

Status CloseFd(int fd, const std::string& path) { return Sys().close(fd) == 0 ? Status::Ok : Fail("close", path); }

void Unlink(const std::string& native) { Sys().unlink(native.c_str()); }

Status IdentifyFd(int fd, FileInfo* info, const std::string& path) {
  struct stat st;
  if (Sys().fstat(fd, &st) != 0) return Fail("fstat", path);
  posix::FillFileInfo(st, info);
  return Status::Ok;
}

Status PlaceFd(int fd, const std::string& nativeFrom, const std::string& from, const std::string& to, bool replace,
               bool* closed);

// The steps of the POSIX new file (see detail::SystemNewFile).
struct PosixNewFileOps {
  using Handle = int;
  using SystemPath = std::string;
  static Status AppendAt(int fd, uint64_t offset, std::string_view bytes, const std::string& path) {
    return WriteFully(fd, offset, bytes, path, true);
  }
  static Status Close(int fd, const std::string& path) { return CloseFd(fd, path); }
  static void Remove(const std::string& native) { Unlink(native); }
  static Status Identify(int fd, FileInfo* info, const std::string& path) { return IdentifyFd(fd, info, path); }
  static Status Flush(int fd, const std::string& path) {
    return Sys().fsync(fd) == 0 ? Status::Ok : Fail("fsync", path);
  }
  // Only a hint: where it fails, the flush that follows does all the work.
  static void StartFlush(int fd) { Sys().sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE); }
  static Status Place(int fd, const std::string& native, const std::string& from, const std::string& to, bool replace,
                      bool* closed) {
    return PlaceFd(fd, native, from, to, replace, closed);
  }
};

using PosixNewFile = detail::SystemNewFile<PosixNewFileOps>;

}  // namespace

Status CreateNewFile(const std::string& path, std::unique_ptr<NewFile>* file) {
  file->reset();
  const PublicCall call(Operation::Write, "open", path);
  if (call.status() != Status::Ok) return call.status();
  // O_EXCL: the file is ours alone from its first moment. The writer lock tells other
  // runs that it is in use (a file of ours left by a killed run holds none).
  const int fd = Sys().open(call.Path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return call.Fail("open");
  LockByte(fd, kWriterByte, F_WRLCK, path);
  *file = std::make_unique<PosixNewFile>(fd, call.Path(), path);
  return Status::Ok;
}

Status DeleteFile(const std::string& path) {
  const PublicCall call(Operation::Delete, "unlink", path);
  if (call.status() != Status::Ok) return call.status();
  const std::string& native = call.Path();
  struct stat st;
  if (Sys().lstat(native.c_str(), &st) != 0) return call.Fail("lstat");
  if (S_ISDIR(st.st_mode)) return detail::LogFailure("unlink", path, Status::AccessDenied, EISDIR);
  if (IsReadOnly(st)) return detail::LogFailure("unlink", path, Status::AccessDenied, EACCES);
  if (IsHeldOpen(native)) return detail::LogFailure("unlink", path, Status::SharingViolation, EBUSY);
  if (Sys().unlink(native.c_str()) != 0) return call.Fail("unlink");
  return Status::Ok;
}

Status CreateFolder(const std::string& path) {
  const PublicCall call(Operation::CreateFolder, "mkdir", path);
  if (call.status() != Status::Ok) return call.status();
  if (Sys().mkdir(call.Path().c_str(), 0777) != 0) return call.Fail("mkdir");
  return Status::Ok;
}

namespace {

// Copies `count` bytes of `from` over the start of `to` (both open) and cuts `to` there.
bool CopyOver(int from, int to, uint64_t count) {
  constexpr size_t kStep = 1u << 20;
  std::unique_ptr<char[]> buffer(new char[kStep]);
  uint64_t done = 0;
  while (done < count) {
    const ssize_t n = Uninterrupted([&] {
      return Sys().pread(from, buffer.get(), static_cast<size_t>(std::min<uint64_t>(kStep, count - done)),
                         static_cast<off_t>(done));
    });
    if (n <= 0) return false;
    if (WriteFully(to, done, std::string_view(buffer.get(), static_cast<size_t>(n)), std::string()) != Status::Ok) {
      return false;
    }
    done += static_cast<uint64_t>(n);
  }
  return Sys().ftruncate(to, static_cast<off_t>(count)) == 0 && Sys().fsync(to) == 0;
}

// A file with other hard links cannot be swapped for the new one without splitting the
// links, so its bytes are rewritten in place: the complete new file exists already, the
// old bytes are copied aside first and put back if the rewrite fails.
Status RewriteInPlace(const std::string& nativeFrom, const std::string& nativeTo, const std::string& both) {
  Fd from(Sys().open(nativeFrom.c_str(), O_RDONLY | O_CLOEXEC, 0));
  Fd to(Sys().open(nativeTo.c_str(), O_RDWR | O_CLOEXEC, 0));
  if (from.get() < 0 || to.get() < 0) return Fail("open", both);
  struct stat fromStat;
  struct stat toStat;
  if (Sys().fstat(from.get(), &fromStat) != 0 || Sys().fstat(to.get(), &toStat) != 0) return Fail("fstat", both);
  const std::string kept = nativeFrom + ".old";
  Fd backup(Sys().open(kept.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (backup.get() < 0) return Fail("open", both);
  LockByte(backup.get(), kWriterByte, F_WRLCK, both);
  const uint64_t oldSize = static_cast<uint64_t>(toStat.st_size);
  if (!CopyOver(to.get(), backup.get(), oldSize)) {
    const Status status = Fail("write", both);
    Sys().unlink(kept.c_str());
    return status;
  }
  if (!CopyOver(from.get(), to.get(), static_cast<uint64_t>(fromStat.st_size))) {
    const Status status = Fail("write", both);
    // The old bytes go back; were that to fail too, the copy beside it is kept.
    if (CopyOver(backup.get(), to.get(), oldSize)) Sys().unlink(kept.c_str());
    return status;
  }
  Sys().unlink(kept.c_str());
  Sys().unlink(nativeFrom.c_str());
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

}  // namespace

namespace {

// What MoveReplace does once the paths are in the system's form. `fromIsOurs`: the
// source is a new file of ours, still open (its lock says nothing then).
Status ReplaceNative(PublicCall& call, bool fromIsOurs) {
  const std::string& both = call.Subject();
  const std::string& nativeFrom = call.Path(0);
  std::string& nativeTo = call.MutablePath(1);
  struct stat st;
  if (Sys().lstat(nativeFrom.c_str(), &st) != 0) return call.Fail("lstat");
  if (!fromIsOurs && IsHeldOpen(nativeFrom)) return detail::LogFailure("rename", both, Status::SharingViolation, EBUSY);
  // A link stays a link: its target is what gets replaced.
  const std::string target = LinkTarget(nativeTo);
  if (!target.empty()) nativeTo = target;
  if (Sys().lstat(nativeTo.c_str(), &st) == 0) {
    // As MoveFileExW: a folder or a read-only file is not replaced.
    if (S_ISDIR(st.st_mode) || IsReadOnly(st)) {
      return detail::LogFailure("rename", both, Status::AccessDenied, EACCES);
    }
    if (IsHeldOpen(nativeTo)) return detail::LogFailure("rename", both, Status::SharingViolation, EBUSY);
    if (S_ISREG(st.st_mode) && st.st_nlink > 1) return RewriteInPlace(nativeFrom, nativeTo, both);
    // The new file takes the old one's mode, and its owner where we may give it.
    if (Sys().chmod(nativeFrom.c_str(), st.st_mode & 07777) != 0) return call.Fail("chmod");
    if (Sys().chown(nativeFrom.c_str(), st.st_uid, st.st_gid) != 0 && errno != EPERM) return call.Fail("chown");
  }
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

// The open new file keeps its descriptor (and so its lock) through the rename: until
// it has its final name, nobody's sweep of stale temporaries may take it.
Status PlaceFd(int, const std::string&, const std::string& from, const std::string& to, bool replace, bool* closed) {
  *closed = false;
  PublicCall call(Operation::Move, "rename", from, to);
  if (call.status() != Status::Ok) return call.status();
  return replace ? ReplaceNative(call, true) : MoveNewNative(call);
}

}  // namespace

Status MoveReplace(const std::string& from, const std::string& to) {
  PublicCall call(Operation::Move, "rename", from, to);
  if (call.status() != Status::Ok) return call.status();
  return ReplaceNative(call, false);
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

Status OpenForUpdate(const std::string& path, ShareMode share, std::unique_ptr<OpenFile>* file) {
  file->reset();
  const PublicCall call(Operation::Open, "open", path);
  if (call.status() != Status::Ok) return call.status();
  int opened = -1;
  struct stat st;
  const Status status = OpenToWrite(call, O_RDWR, share, &opened, &st);
  if (status != Status::Ok) return status;
  *file = std::make_unique<PosixOpenFile>(opened, path);
  return Status::Ok;
}

}  // namespace cw::platform
