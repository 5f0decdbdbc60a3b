// Helpers shared by the files of the POSIX backend: the path mapping, errno mapping,
// the sequence every public call starts with and the attributes Windows would report.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/backend.h"
#include "platform/platform.h"

namespace cw::platform::posix {

// "Z:\docs\a.txt" (or "z:\...") to "/docs/a.txt" in UTF-8, as Wine maps its drive Z:.
// A path without a drive stays relative. False for any other drive, for a character
// Windows does not allow in a name, and for a path that is not representable.
bool ToNativePath(const std::string& path, std::string* native);
// The same in one piece, without the folder this thread converted last (which
// ToNativePath reuses): what ToNativePath must always agree with.
bool ToNativePathAtOnce(const std::string& path, std::string* native);
// The other way: "/docs/a.txt" to "Z:\docs\a.txt" in the working code page.
std::string FromNativePath(const std::string& native);

Status StatusFromErrno(int error);

// What every public call does first (see detail::PublicCall), with paths in UTF-8.
using PublicCall = detail::PublicCall<std::string, ToNativePath>;

// Attributes of `name` inside the open folder `dirFd` (AT_FDCWD for a plain path):
// a symbolic link is a reparse point, and its target decides the directory bit, as
// Windows reports a junction. kInvalidAttributes when the entry cannot be queried.
uint32_t AttributesAt(int dirFd, const char* name);
// FILE_ATTRIBUTE_NORMAL: what Windows reports for a file with no other attribute.
constexpr uint32_t kAttrNormal = 0x80;

// The identity, size and time of a stat result.
void FillFileInfo(const struct stat& st, FileInfo* info);

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
Status LockByte(int fd, off_t byte, short type, const std::string& path);
// Whether any open of ours holds the file (Windows refuses to delete or replace a file
// that is open without delete sharing, which our opens never grant).
bool IsHeldOpen(const std::string& native);
// Windows will not write over, delete or replace a file with the read-only attribute,
// not even for an administrator; root here ignores the mode, so check it ourselves.
bool IsReadOnly(const struct stat& st);

// Retries a call that a signal interrupted before it did anything.
template <typename Step>
ssize_t Uninterrupted(Step step) {
  for (;;) {
    const ssize_t n = step();
    if (n >= 0 || errno != EINTR) return n;
  }
}
// Writes every byte at `offset` on (see detail::WriteInSteps).
Status WriteFully(int fd, uint64_t offset, std::string_view bytes, const std::string& path, bool pump = false);

// Gives the open new file `fd` (named `from`, `nativeFrom` in the system's form) the
// name `to`, replacing or not, keeping the replaced file under `kept` when given (see
// NewFile::ReplaceKeeping). The file stays open (*closed false).
Status PlaceFd(int fd, const std::string& nativeFrom, const std::string& from, const std::string& to, bool replace,
               const std::string* kept, bool* closed);

// A file descriptor closed when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd();
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

}  // namespace cw::platform::posix
