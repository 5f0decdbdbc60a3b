// POSIX backend: whole-file reads and writes, folders and the file kept open, with
// Windows' share modes emulated by advisory locks that chengwen itself honours.
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
namespace posix {

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

bool IsReadOnly(const struct stat& st) { return !S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0; }

Status WriteFully(int fd, uint64_t offset, std::string_view bytes, const std::string& path, bool pump) {
  const auto write = [fd, offset](const char* data, size_t size, size_t done) {
    return Uninterrupted([&] { return Sys().pwrite(fd, data, size, static_cast<off_t>(offset + done)); });
  };
  return detail::WriteInSteps(bytes, "pwrite", path, pump, write);
}

}  // namespace posix

namespace {

using detail::Fail;
using posix::Fd;
using posix::IsReadOnly;
using posix::kReaderByte;
using posix::kWriterByte;
using posix::LockByte;
using posix::PublicCall;
using posix::Sys;
using posix::Uninterrupted;
using posix::WriteFully;

Status ReadFully(int fd, uint64_t offset, size_t count, std::string* bytes, const std::string& path,
                 bool pump = false) {
  const auto read = [fd, offset](char* buffer, size_t size, size_t done) {
    return Uninterrupted([&] { return Sys().pread(fd, buffer, size, static_cast<off_t>(offset + done)); });
  };
  return detail::ReadInSteps(count, "pread", path, pump, read, bytes);
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

// Other programs take no notice of advisory locks: nothing to block with.
std::unique_ptr<WriteBlock> BlockWriters(const std::string&) { return nullptr; }
void AssumeHeldFilesCanBeReplaced(bool) {}

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
                      const std::string* kept, bool* closed) {
    return posix::PlaceFd(fd, native, from, to, replace, kept, closed);
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
  if (posix::IsHeldOpen(native)) return detail::LogFailure("unlink", path, Status::SharingViolation, EBUSY);
  if (Sys().unlink(native.c_str()) != 0) return call.Fail("unlink");
  return Status::Ok;
}

Status CreateFolder(const std::string& path) {
  const PublicCall call(Operation::CreateFolder, "mkdir", path);
  if (call.status() != Status::Ok) return call.status();
  if (Sys().mkdir(call.Path().c_str(), 0777) != 0) return call.Fail("mkdir");
  return Status::Ok;
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
