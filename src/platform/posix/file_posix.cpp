// POSIX backend: whole-file reads and writes, folders, moves and the file kept open,
// with Windows' share modes emulated by advisory locks that chengwen itself honours.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>

#include "platform/backend.h"
#include "platform/posix/posix_util.h"

namespace cw::platform {
namespace {

using posix::FailInvalidPath;
using posix::FailWithErrno;
using posix::Fd;

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
  if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return Status::Ok;
  const int error = errno;
  if (error == EAGAIN || error == EACCES) {
    return detail::LogFailure("fcntl", path, Status::SharingViolation, error);
  }
  return Status::Ok;
}

// Whether any open of ours holds the file (Windows refuses to delete or replace a file
// that is open without delete sharing, which our opens never grant).
bool IsHeldOpen(const std::string& native) {
  Fd fd(open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kWriterByte;
  lock.l_len = 1;
  return fcntl(fd.get(), F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

// Windows will not write over, delete or replace a file with the read-only attribute,
// not even for an administrator; root here ignores the mode, so check it ourselves.
bool IsReadOnly(const struct stat& st) { return !S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0; }

// The checks before writing through a freshly opened descriptor.
Status CheckWritable(int fd, const char* call, const std::string& path) {
  struct stat st;
  if (fstat(fd, &st) != 0) return FailWithErrno("fstat", path);
  if (S_ISDIR(st.st_mode)) return detail::LogFailure(call, path, Status::AccessDenied, EISDIR);
  if (IsReadOnly(st)) return detail::LogFailure(call, path, Status::AccessDenied, EACCES);
  return Status::Ok;
}

// Whole-file reads and writes go in chunks and pump window messages between them
// (`pump`), so the window answers while a very large file is read or written.
constexpr size_t kPumpChunk = 4u << 20;

Status ReadFully(int fd, uint64_t offset, size_t count, std::string* bytes, const std::string& path,
                 bool pump = false) {
  std::string data;
  try {
    data.reserve(count);
  } catch (const std::bad_alloc&) {
    return detail::LogFailure("read", path, Status::TooLarge, ENOMEM);
  }
  // Through a small buffer that stays in the cache: cheaper than zero-filling the whole
  // string first and reading into memory touched for the first time.
  constexpr size_t kStep = 256 * 1024;
  std::unique_ptr<char[]> step(new char[kStep]);
  size_t done = 0;
  size_t sincePump = 0;
  while (done < count) {
    const ssize_t n = pread(fd, step.get(), std::min(count - done, kStep), static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return FailWithErrno("pread", path);
    }
    if (n == 0) break;  // the file shrank meanwhile
    data.append(step.get(), static_cast<size_t>(n));
    done += static_cast<size_t>(n);
    sincePump += static_cast<size_t>(n);
    if (pump && sincePump >= kPumpChunk && done < count) {
      PumpMessages();
      sincePump = 0;
    }
  }
  *bytes = std::move(data);
  return Status::Ok;
}

Status WriteFully(int fd, uint64_t offset, std::string_view bytes, const std::string& path, bool pump = false) {
  size_t done = 0;
  while (done < bytes.size()) {
    const size_t wanted = pump ? std::min(bytes.size() - done, kPumpChunk) : bytes.size() - done;
    const ssize_t n = pwrite(fd, bytes.data() + done, wanted, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return FailWithErrno("pwrite", path);
    }
    done += static_cast<size_t>(n);
    if (pump && done < bytes.size()) PumpMessages();
  }
  return Status::Ok;
}

bool FitsOffset(uint64_t offset, size_t count) {
  constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());
  return offset <= kMaxOffset && count <= kMaxOffset - offset;
}

class PosixOpenFile : public OpenFile {
 public:
  PosixOpenFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  Status Size(uint64_t* size) override {
    struct stat st;
    if (fstat(fd_.get(), &st) != 0) return FailWithErrno("fstat", path_);
    *size = static_cast<uint64_t>(st.st_size);
    return Status::Ok;
  }

  Status ReadAt(uint64_t offset, size_t count, std::string* bytes) override {
    bytes->clear();
    uint64_t size = 0;
    size_t wanted = 0;
    Status status = Size(&size);
    if (status == Status::Ok) status = detail::BytesToReadAt(size, offset, count, path_, &wanted);
    if (status != Status::Ok) return status;
    return ReadFully(fd_.get(), offset, wanted, bytes, path_);
  }

  Status WriteAt(uint64_t offset, std::string_view bytes) override {
    Status status;
    if (detail::TakeInjectedFailure(Operation::WriteAt, "WriteAt", path_, &status)) return status;
    if (!FitsOffset(offset, bytes.size())) return detail::LogFailure("pwrite", path_, Status::TooLarge, EFBIG);
    return WriteFully(fd_.get(), offset, bytes, path_);
  }

  Status Truncate(uint64_t size) override {
    Status status;
    if (detail::TakeInjectedFailure(Operation::WriteAt, "Truncate", path_, &status)) return status;
    if (!FitsOffset(size, 0)) return detail::LogFailure("ftruncate", path_, Status::TooLarge, EFBIG);
    if (ftruncate(fd_.get(), static_cast<off_t>(size)) != 0) return FailWithErrno("ftruncate", path_);
    return Status::Ok;
  }

  Status Flush() override {
    if (fsync(fd_.get()) != 0) return FailWithErrno("fsync", path_);
    return Status::Ok;
  }

 private:
  Fd fd_;
  std::string path_;
};

}  // namespace

Status QueryFile(const std::string& path, FileInfo* info) {
  std::string native;
  if (!posix::ToNativePath(path, &native)) return Status::InvalidPath;
  struct stat st;
  // Not logged: asking whether a name is taken is no failure.
  if (stat(native.c_str(), &st) != 0) return posix::StatusFromErrno(errno);
  posix::FillFileInfo(st, info);
  return Status::Ok;
}

Status ReadWholeFile(const std::string& path, std::string* bytes, FileInfo* info) {
  bytes->clear();
  Status status;
  if (detail::TakeInjectedFailure(Operation::Read, "ReadWholeFile", path, &status)) return status;
  std::string native;
  if (!posix::ToNativePath(path, &native)) return FailInvalidPath("open", path);
  // O_NONBLOCK: opening a pipe for reading would otherwise wait for a writer forever.
  Fd fd(open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return FailWithErrno("open", path);
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return FailWithErrno("fstat", path);
  if (S_ISDIR(st.st_mode)) return detail::LogFailure("open", path, Status::AccessDenied, EISDIR);
  if (!S_ISREG(st.st_mode)) return detail::LogFailure("open", path, Status::AccessDenied, ENODEV);
  status = LockByte(fd.get(), kReaderByte, F_RDLCK, path);
  if (status != Status::Ok) return status;
  if (info) posix::FillFileInfo(st, info);
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (size > kMaxWholeFileSize) return detail::LogFailure("fstat", path, Status::TooLarge, EFBIG);
  return ReadFully(fd.get(), 0, static_cast<size_t>(size), bytes, path, true);
}

Status WriteWholeFile(const std::string& path, std::string_view bytes) {
  Status status;
  if (detail::TakeInjectedFailure(Operation::Write, "WriteWholeFile", path, &status)) return status;
  std::string native;
  if (!posix::ToNativePath(path, &native)) return FailInvalidPath("open", path);
  // Not O_TRUNC: a file that someone holds open, or a read-only one, must keep its
  // bytes, so it is emptied only after the checks.
  Fd fd(open(native.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
  if (fd.get() < 0) return FailWithErrno("open", path);
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return FailWithErrno("fstat", path);
  if (S_ISDIR(st.st_mode)) return detail::LogFailure("open", path, Status::AccessDenied, EISDIR);
  if (IsReadOnly(st)) return detail::LogFailure("open", path, Status::AccessDenied, EACCES);
  status = LockByte(fd.get(), kWriterByte, F_WRLCK, path);
  if (status == Status::Ok) status = LockByte(fd.get(), kReaderByte, F_WRLCK, path);
  if (status != Status::Ok) return status;
  // Emptying a file that is empty already is not free: on ext4 a truncate to zero
  // makes the next close flush the file, which costs a new file most of its time.
  if (st.st_size != 0 && ftruncate(fd.get(), 0) != 0) return FailWithErrno("ftruncate", path);
  return WriteFully(fd.get(), 0, bytes, path, true);
}

class PosixNewFile : public detail::NewFileBase {
 public:
  PosixNewFile(int fd, std::string native, std::string path)
      : NewFileBase(std::move(path)), fd_(fd), native_(std::move(native)) {}
  ~PosixNewFile() override { AbandonUnlessKept(); }

 private:
  bool IsOpen() const override { return fd_ >= 0; }
  Status Append(std::string_view bytes) override {
    const Status status = WriteFully(fd_, offset_, bytes, Path(), true);
    if (status == Status::Ok) offset_ += bytes.size();
    return status;
  }
  Status CloseSystemFile() override {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0 ? Status::Ok : FailWithErrno("close", Path());
  }
  void RemoveSystemFile() override { unlink(native_.c_str()); }
  Status Identify(FileInfo* info) override {
    struct stat st;
    if (fstat(fd_, &st) != 0) return FailWithErrno("fstat", Path());
    posix::FillFileInfo(st, info);
    return Status::Ok;
  }

  int fd_;
  std::string native_;
  uint64_t offset_ = 0;
};

Status CreateNewFile(const std::string& path, std::unique_ptr<NewFile>* file) {
  file->reset();
  Status status;
  if (detail::TakeInjectedFailure(Operation::Write, "CreateNewFile", path, &status)) return status;
  std::string native;
  if (!posix::ToNativePath(path, &native)) return FailInvalidPath("open", path);
  // O_EXCL: the file is ours alone from its first moment. The writer lock tells other
  // runs that it is in use (a file of ours left by a killed run holds none).
  const int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return FailWithErrno("open", path);
  LockByte(fd, kWriterByte, F_WRLCK, path);
  *file = std::make_unique<PosixNewFile>(fd, std::move(native), path);
  return Status::Ok;
}

Status DeleteFile(const std::string& path) {
  Status status;
  if (detail::TakeInjectedFailure(Operation::Delete, "DeleteFile", path, &status)) return status;
  std::string native;
  if (!posix::ToNativePath(path, &native)) return FailInvalidPath("unlink", path);
  struct stat st;
  if (lstat(native.c_str(), &st) != 0) return FailWithErrno("lstat", path);
  if (S_ISDIR(st.st_mode)) return detail::LogFailure("unlink", path, Status::AccessDenied, EISDIR);
  if (IsReadOnly(st)) return detail::LogFailure("unlink", path, Status::AccessDenied, EACCES);
  if (IsHeldOpen(native)) return detail::LogFailure("unlink", path, Status::SharingViolation, EBUSY);
  if (unlink(native.c_str()) != 0) return FailWithErrno("unlink", path);
  return Status::Ok;
}

Status CreateFolder(const std::string& path) {
  Status status;
  if (detail::TakeInjectedFailure(Operation::CreateFolder, "CreateFolder", path, &status)) return status;
  std::string native;
  if (!posix::ToNativePath(path, &native)) return FailInvalidPath("mkdir", path);
  if (mkdir(native.c_str(), 0777) != 0) return FailWithErrno("mkdir", path);
  return Status::Ok;
}

namespace {

// Copies `count` bytes of `from` over the start of `to` (both open) and cuts `to` there.
bool CopyOver(int from, int to, uint64_t count) {
  constexpr size_t kStep = 1u << 20;
  std::unique_ptr<char[]> buffer(new char[kStep]);
  uint64_t done = 0;
  while (done < count) {
    const ssize_t n = pread(from, buffer.get(), static_cast<size_t>(std::min<uint64_t>(kStep, count - done)),
                            static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (WriteFully(to, done, std::string_view(buffer.get(), static_cast<size_t>(n)), std::string()) != Status::Ok) {
      return false;
    }
    done += static_cast<uint64_t>(n);
  }
  return ftruncate(to, static_cast<off_t>(count)) == 0 && fsync(to) == 0;
}

// A file with other hard links cannot be swapped for the new one without splitting the
// links, so its bytes are rewritten in place: the complete new file exists already, the
// old bytes are copied aside first and put back if the rewrite fails.
Status RewriteInPlace(const std::string& nativeFrom, const std::string& nativeTo, const std::string& both) {
  Fd from(open(nativeFrom.c_str(), O_RDONLY | O_CLOEXEC));
  Fd to(open(nativeTo.c_str(), O_RDWR | O_CLOEXEC));
  if (from.get() < 0 || to.get() < 0) return FailWithErrno("open", both);
  struct stat fromStat;
  struct stat toStat;
  if (fstat(from.get(), &fromStat) != 0 || fstat(to.get(), &toStat) != 0) return FailWithErrno("fstat", both);
  const std::string kept = nativeFrom + ".old";
  Fd backup(open(kept.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (backup.get() < 0) return FailWithErrno("open", both);
  LockByte(backup.get(), kWriterByte, F_WRLCK, both);
  const uint64_t oldSize = static_cast<uint64_t>(toStat.st_size);
  if (!CopyOver(to.get(), backup.get(), oldSize)) {
    const Status status = FailWithErrno("write", both);
    unlink(kept.c_str());
    return status;
  }
  if (!CopyOver(from.get(), to.get(), static_cast<uint64_t>(fromStat.st_size))) {
    const Status status = FailWithErrno("write", both);
    // The old bytes go back; were that to fail too, the copy beside it is kept.
    if (CopyOver(backup.get(), to.get(), oldSize)) unlink(kept.c_str());
    return status;
  }
  unlink(kept.c_str());
  unlink(nativeFrom.c_str());
  return Status::Ok;
}

}  // namespace

Status MoveReplace(const std::string& from, const std::string& to) {
  const std::string both = from + " -> " + to;
  Status status;
  if (detail::TakeInjectedFailure(Operation::Move, "MoveReplace", both, &status)) return status;
  std::string nativeFrom;
  std::string nativeTo;
  if (!posix::ToNativePath(from, &nativeFrom) || !posix::ToNativePath(to, &nativeTo)) {
    return FailInvalidPath("rename", both);
  }
  struct stat st;
  if (lstat(nativeFrom.c_str(), &st) != 0) return FailWithErrno("lstat", both);
  if (IsHeldOpen(nativeFrom)) return detail::LogFailure("rename", both, Status::SharingViolation, EBUSY);
  // A link stays a link: its target is what gets replaced.
  if (lstat(nativeTo.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    std::unique_ptr<char, decltype(&free)> target(realpath(nativeTo.c_str(), nullptr), &free);
    if (target) nativeTo = target.get();
  }
  if (lstat(nativeTo.c_str(), &st) == 0) {
    // As MoveFileExW: a folder or a read-only file is not replaced.
    if (S_ISDIR(st.st_mode) || IsReadOnly(st)) {
      return detail::LogFailure("rename", both, Status::AccessDenied, EACCES);
    }
    if (IsHeldOpen(nativeTo)) return detail::LogFailure("rename", both, Status::SharingViolation, EBUSY);
    if (S_ISREG(st.st_mode) && st.st_nlink > 1) return RewriteInPlace(nativeFrom, nativeTo, both);
    // The new file takes the old one's mode, and its owner where we may give it.
    if (chmod(nativeFrom.c_str(), st.st_mode & 07777) != 0) return FailWithErrno("chmod", both);
    if (chown(nativeFrom.c_str(), st.st_uid, st.st_gid) != 0 && errno != EPERM) return FailWithErrno("chown", both);
  }
  if (rename(nativeFrom.c_str(), nativeTo.c_str()) != 0) return FailWithErrno("rename", both);
  return Status::Ok;
}

Status MoveNew(const std::string& from, const std::string& to) {
  const std::string both = from + " -> " + to;
  Status status;
  if (detail::TakeInjectedFailure(Operation::Move, "MoveNew", both, &status)) return status;
  std::string nativeFrom;
  std::string nativeTo;
  if (!posix::ToNativePath(from, &nativeFrom) || !posix::ToNativePath(to, &nativeTo)) {
    return FailInvalidPath("rename", both);
  }
  if (renameat2(AT_FDCWD, nativeFrom.c_str(), AT_FDCWD, nativeTo.c_str(), RENAME_NOREPLACE) == 0) return Status::Ok;
  if (errno != EINVAL && errno != ENOSYS) return FailWithErrno("renameat2", both);
  // A file system without RENAME_NOREPLACE: a hard link fails just as well on a name
  // that exists.
  if (link(nativeFrom.c_str(), nativeTo.c_str()) != 0) return FailWithErrno("link", both);
  unlink(nativeFrom.c_str());
  return Status::Ok;
}

std::string ResolveLinks(const std::string& path) {
  std::string native;
  struct stat st;
  if (!posix::ToNativePath(path, &native) || lstat(native.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  std::unique_ptr<char, decltype(&free)> target(realpath(native.c_str(), nullptr), &free);
  return target ? posix::FromNativePath(target.get()) : path;
}

Status OpenForUpdate(const std::string& path, ShareMode share, std::unique_ptr<OpenFile>* file) {
  file->reset();
  Status status;
  if (detail::TakeInjectedFailure(Operation::Open, "OpenForUpdate", path, &status)) return status;
  std::string native;
  if (!posix::ToNativePath(path, &native)) return FailInvalidPath("open", path);
  Fd fd(open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (fd.get() < 0) return FailWithErrno("open", path);
  status = CheckWritable(fd.get(), "open", path);
  if (status != Status::Ok) return status;
  status = LockByte(fd.get(), kWriterByte, share == ShareMode::ReadWrite ? F_RDLCK : F_WRLCK, path);
  if (status == Status::Ok && share == ShareMode::None) {
    status = LockByte(fd.get(), kReaderByte, F_WRLCK, path);
  }
  if (status != Status::Ok) return status;
  *file = std::make_unique<PosixOpenFile>(fd.release(), path);
  return Status::Ok;
}

}  // namespace cw::platform
