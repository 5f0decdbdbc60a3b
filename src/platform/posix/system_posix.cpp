// POSIX backend: the table of system calls, path mapping ("Z:\" is the root, as under
// Wine), errno mapping, attributes, the program's folder and the message box on stderr.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include "encoding/charset.h"
#include "platform/backend.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/system_calls.h"

namespace cw::platform {
namespace posix {

int OpenFile(const char* path, int flags, mode_t mode) { return open(path, flags, mode); }

int LockCommand(int fd, int command, struct flock* lock) { return fcntl(fd, command, lock); }

SystemCalls& Sys() {
  static SystemCalls calls;
  return calls;
}

Fd::~Fd() {
  if (fd_ >= 0) close(fd_);
}

namespace {

// UTF-8 of a text, with backslashes turned into slashes; false for a text that is not
// representable and at a character Windows does not allow in a name.
bool ToNativeText(const std::string& text, std::string* native) {
  // Convert first, so that a 5C byte inside a two-byte character is not taken for a
  // backslash; in UTF-8 every byte below 80 is the ASCII character itself.
  std::string utf8;
  if (!PlainWorkingToUtf8(text, &utf8)) {
    if (!detail::IsRepresentablePath(text)) return false;
    utf8 = ToUtf8(text);
  }
  for (char& c : utf8) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20) return false;
    switch (c) {
      case '<':
      case '>':
      case ':':
      case '"':
      case '|':
      case '?':
      case '*': return false;
      case '\\': c = '/'; break;
      default: break;
    }
  }
  *native = std::move(utf8);
  return true;
}

// A folder as this thread last converted it. A run names the files of one or two
// folders over and over, and checking and converting the folder every time cost more
// than the system call the path was for.
struct ConvertedFolder {
  std::string folder;
  std::string native;
  bool ok = false;  // false: the whole path is converted instead
};

}  // namespace

// The drive letter is ASCII, so what follows it is representable exactly when the
// whole path is; ToNativeText checks that once.
bool ToNativePathAtOnce(const std::string& path, std::string* native) {
  if (path.empty()) return false;
  std::string rest = path;
  const bool hasDrive =
      path.size() >= 2 && path[1] == ':' && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (hasDrive) {
    if (path[0] != 'Z' && path[0] != 'z') return false;
    rest = rest.substr(2);
    if (rest.empty()) rest = "\\";
    // "Z:docs" would be relative to a current folder on Z:, which this system lacks.
    if (rest[0] != '\\' && rest[0] != '/') return false;
  }
  return ToNativeText(rest, native);
}

// The folder and the name are converted apart, the folder once for many names: a cut at
// a backslash character falls between two characters, and the checks and the conversion
// go character by character, so the two halves give what the whole would. A cut at the
// second byte of a two-byte character leaves its first byte alone at the folder's end,
// which no folder can be; such a path is converted whole.
bool ToNativePath(const std::string& path, std::string* native) {
  const size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return ToNativePathAtOnce(path, native);
  thread_local ConvertedFolder folders[2];
  thread_local unsigned oldest = 0;
  const std::string_view folder(path.data(), slash);
  ConvertedFolder* known = nullptr;
  for (ConvertedFolder& candidate : folders) {
    if (candidate.folder == folder) known = &candidate;
  }
  if (!known) {
    known = &folders[oldest];
    oldest ^= 1;
    known->folder.assign(folder);
    // A folder that cannot be converted, and the root of the drive ("Z:" is "/" by
    // itself but "Z:\name" is "/name"), leave the path to be converted whole.
    known->ok =
        ToNativePathAtOnce(known->folder, &known->native) && !known->native.empty() && known->native.back() != '/';
  }
  if (!known->ok) return ToNativePathAtOnce(path, native);
  const std::string name = path.substr(slash + 1);
  std::string nativeName;
  if (!name.empty() && !ToNativeText(name, &nativeName)) return false;
  native->reserve(known->native.size() + 1 + nativeName.size());
  *native = known->native;
  native->push_back('/');
  native->append(nativeName);
  return true;
}

std::string FromNativePath(const std::string& native) {
  std::string utf8 = native;
  for (char& c : utf8) {
    if (c == '/') c = '\\';
  }
  return "Z:" + FromUtf8(utf8);
}

Status StatusFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return Status::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return Status::AccessDenied;
    case EAGAIN:
    case EBUSY:
    case ETXTBSY: return Status::SharingViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return Status::DiskFull;
    case EEXIST: return Status::AlreadyExists;
    case ENOMEM:
    case EOVERFLOW: return Status::TooLarge;
    case ENAMETOOLONG:
    case EILSEQ: return Status::InvalidPath;
    default: return Status::Other;
  }
}

void FillFileInfo(const struct stat& st, FileInfo* info) {
  info->volume = static_cast<uint64_t>(st.st_dev);
  info->index = static_cast<uint64_t>(st.st_ino);
  info->size = static_cast<uint64_t>(st.st_size);
  info->modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  info->links = static_cast<uint32_t>(st.st_nlink);
  info->regular = S_ISREG(st.st_mode);
}

uint32_t AttributesAt(int dirFd, const char* name) {
  struct stat entry;
  if (Sys().fstatat(dirFd, name, &entry, AT_SYMLINK_NOFOLLOW) != 0) return kInvalidAttributes;
  uint32_t attributes = 0;
  if (S_ISLNK(entry.st_mode)) {
    attributes |= kAttrReparsePoint;
    // A dangling link keeps only the reparse bit.
    if (Sys().fstatat(dirFd, name, &entry, 0) != 0) return attributes;
  }
  if (S_ISDIR(entry.st_mode)) attributes |= kAttrDirectory;
  if (!S_ISDIR(entry.st_mode) && !S_ISREG(entry.st_mode)) attributes |= kAttrDevice;
  // Windows' read-only attribute lives in the owner's write bit (as Wine keeps it).
  if ((entry.st_mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
  return attributes != 0 ? attributes : kAttrNormal;
}

}  // namespace posix

uint32_t GetAttributes(const std::string& path) {
  std::string native;
  if (!posix::ToNativePath(path, &native)) return kInvalidAttributes;
  return posix::AttributesAt(AT_FDCWD, native.c_str());
}

std::string ProgramFolder() {
  std::string exe(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", &exe[0], exe.size());
  if (length <= 0 || static_cast<size_t>(length) >= exe.size()) return {};
  exe.resize(static_cast<size_t>(length));
  const size_t slash = exe.rfind('/');
  // The root itself gives "Z:", so that folder + "\" + name stays a full path.
  return posix::FromNativePath(exe.substr(0, slash == std::string::npos ? 0 : slash));
}

namespace detail {

long LastSystemError() { return errno; }

void SetSystemError(long code) { errno = static_cast<int>(code); }

Status StatusFromSystemError(long code) { return posix::StatusFromErrno(static_cast<int>(code)); }

// What an injected status reports, in the order of Status.
const long kSystemErrorOf[kStatusCount] = {0, ENOENT, EACCES, EBUSY, ENOSPC, EEXIST, ENOMEM, EILSEQ, EIO};

void LoadSystemCalls() { posix::Sys(); }

int ShowSystemMessage(const std::string& text, const std::string& caption, uint32_t flags) {
  std::fprintf(stderr, "[%s] %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
  return 1;
}

}  // namespace detail
}  // namespace cw::platform
