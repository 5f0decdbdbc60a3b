// Helpers shared by the files of the POSIX backend: the path mapping, errno mapping,
// the sequence every public call starts with and the attributes Windows would report.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

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
