// POSIX backend: whole-file reads and writes, folders, moves and the file kept open,
// with Windows' share modes emulated by advisory locks that chengwen itself honours.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

Status ReadWholeFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  Status status;
  if (detail::TakeInjectedFailure(Operation::Read, "ReadWholeFile", path, &status)) return status;
  std::string native;
  if (!posix::ToNativePath(path, &native)) return FailInvalidPath("open", path);
  Fd fd(open(native.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return FailWithErrno("open", path);
  status = LockByte(fd.get(), kReaderByte, F_RDLCK, path);
  if (status != Status::Ok) return status;
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return FailWithErrno("fstat", path);
  if (S_ISDIR(st.st_mode)) return detail::LogFailure("open", path, Status::AccessDenied, EISDIR);
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
  // O_EXCL: the file is ours alone from its first moment, so no share-mode lock is
  // needed for anyone to see it as held.
  const int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return FailWithErrno("open", path);
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
  if (lstat(nativeTo.c_str(), &st) == 0) {
    // As MoveFileExW: a folder or a read-only file is not replaced.
    if (S_ISDIR(st.st_mode) || IsReadOnly(st)) {
      return detail::LogFailure("rename", both, Status::AccessDenied, EACCES);
    }
    if (IsHeldOpen(nativeTo)) return detail::LogFailure("rename", both, Status::SharingViolation, EBUSY);
  }
  if (rename(nativeFrom.c_str(), nativeTo.c_str()) != 0) return FailWithErrno("rename", both);
  return Status::Ok;
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
