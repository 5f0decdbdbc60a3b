// Win32 backend: whole-file reads and writes, folders, moves, attributes and the file
// kept open, through the W functions with Windows' own share modes.
#include <windows.h>
// <windows.h> maps DeleteFile to DeleteFileW; ours is cw::platform::DeleteFile.
#undef DeleteFile

#include <algorithm>
#include <new>

#include "platform/backend.h"
#include "platform/win32/win32_util.h"

namespace cw::platform {
namespace {

using win32::FailInvalidPath;
using win32::FailWithLastError;

// ReadFile and WriteFile take a DWORD count; large files go in pieces.
constexpr DWORD kChunk = 4u << 20;

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

bool Seek(HANDLE handle, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return false;
  }
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) != 0;
}

Status FileSize(HANDLE handle, uint64_t* size, const std::string& path) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(handle, &value)) return FailWithLastError("GetFileSizeEx", path);
  *size = static_cast<uint64_t>(value.QuadPart);
  return Status::Ok;
}

// Reads up to `count` bytes from `offset`; fewer when the file ends first.
// Whole-file reads and writes pump window messages between chunks (`pump`), so the
// window answers while a file of hundreds of megabytes goes to or from the disk.
Status ReadFully(HANDLE handle, uint64_t offset, size_t count, std::string* bytes, const std::string& path,
                 bool pump = false) {
  std::string data;
  try {
    data.reserve(count);
  } catch (const std::bad_alloc&) {
    return detail::LogFailure("ReadFile", path, Status::TooLarge, ERROR_NOT_ENOUGH_MEMORY);
  }
  if (!Seek(handle, offset)) return FailWithLastError("SetFilePointerEx", path);
  size_t done = 0;
  while (done < count) {
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(count - done, kChunk));
    // The buffer grows (and its pages are first touched) chunk by chunk, between pumps.
    data.resize(done + wanted);
    DWORD got = 0;
    if (!ReadFile(handle, &data[done], wanted, &got, nullptr)) return FailWithLastError("ReadFile", path);
    if (got == 0) break;  // the file shrank meanwhile
    done += got;
    if (pump && done < count) PumpMessages();
  }
  data.resize(done);
  *bytes = std::move(data);
  return Status::Ok;
}

Status WriteFully(HANDLE handle, std::string_view bytes, const std::string& path, bool pump = false) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunk));
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data() + done, wanted, &written, nullptr)) {
      return FailWithLastError("WriteFile", path);
    }
    if (written == 0) return detail::LogFailure("WriteFile", path, Status::DiskFull, ERROR_DISK_FULL);
    done += written;
    if (pump && done < bytes.size()) PumpMessages();
  }
  return Status::Ok;
}

// Windows refuses to write, delete or replace a file marked read-only, but Wine running
// as root lets such a write through (the mode bits do not bind root). Asking first
// gives the same answer on both.
Status CheckNotReadOnly(const std::wstring& wide, const char* call, const std::string& path) {
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return detail::LogFailure(call, path, Status::AccessDenied, ERROR_ACCESS_DENIED);
  }
  return Status::Ok;
}

class Win32OpenFile : public OpenFile {
 public:
  Win32OpenFile(HANDLE handle, std::string path) : handle_(handle), path_(std::move(path)) {}

  Status Size(uint64_t* size) override { return FileSize(handle_.get(), size, path_); }

  Status ReadAt(uint64_t offset, size_t count, std::string* bytes) override {
    bytes->clear();
    uint64_t size = 0;
    size_t wanted = 0;
    Status status = FileSize(handle_.get(), &size, path_);
    if (status == Status::Ok) status = detail::BytesToReadAt(size, offset, count, path_, &wanted);
    if (status != Status::Ok) return status;
    return ReadFully(handle_.get(), offset, wanted, bytes, path_);
  }

  Status WriteAt(uint64_t offset, std::string_view bytes) override {
    Status status;
    if (detail::TakeInjectedFailure(Operation::WriteAt, "WriteAt", path_, &status)) return status;
    if (!Seek(handle_.get(), offset)) return FailWithLastError("SetFilePointerEx", path_);
    return WriteFully(handle_.get(), bytes, path_);
  }

  Status Truncate(uint64_t size) override {
    Status status;
    if (detail::TakeInjectedFailure(Operation::WriteAt, "Truncate", path_, &status)) return status;
    if (!Seek(handle_.get(), size)) return FailWithLastError("SetFilePointerEx", path_);
    if (!SetEndOfFile(handle_.get())) return FailWithLastError("SetEndOfFile", path_);
    return Status::Ok;
  }

  Status Flush() override {
    if (!FlushFileBuffers(handle_.get())) return FailWithLastError("FlushFileBuffers", path_);
    return Status::Ok;
  }

 private:
  Handle handle_;
  std::string path_;
};

}  // namespace

namespace {

void FillFileInfo(const BY_HANDLE_FILE_INFORMATION& data, bool plainFile, FileInfo* info) {
  info->volume = data.dwVolumeSerialNumber;
  info->index = (static_cast<uint64_t>(data.nFileIndexHigh) << 32) | data.nFileIndexLow;
  info->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  info->modified = static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                        data.ftLastWriteTime.dwLowDateTime);
  info->links = data.nNumberOfLinks;
  info->regular = plainFile && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

Status QueryOpenFile(HANDLE handle, FileInfo* info, const std::string& path) {
  BY_HANDLE_FILE_INFORMATION data;
  if (!GetFileInformationByHandle(handle, &data)) return FailWithLastError("GetFileInformationByHandle", path);
  FillFileInfo(data, GetFileType(handle) == FILE_TYPE_DISK, info);
  return Status::Ok;
}

}  // namespace

Status QueryFile(const std::string& path, FileInfo* info) {
  std::wstring wide;
  if (!win32::ToWidePath(path, &wide)) return Status::InvalidPath;
  // No access asked: attributes only, so no other program's share mode stands in the way.
  Handle file(CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  // Not logged: asking whether a name is taken is no failure.
  if (!file.valid()) return win32::StatusFromWin32(GetLastError());
  return QueryOpenFile(file.get(), info, path);
}

Status ReadWholeFile(const std::string& path, std::string* bytes, FileInfo* info) {
  bytes->clear();
  Status status;
  if (detail::TakeInjectedFailure(Operation::Read, "ReadWholeFile", path, &status)) return status;
  std::wstring wide;
  if (!win32::ToWidePath(path, &wide)) return FailInvalidPath("CreateFileW", path);
  Handle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) return FailWithLastError("CreateFileW", path);
  // A device or pipe ("\\.\pipe\x", "CON") is no file to convert and may never end.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    return detail::LogFailure("GetFileType", path, Status::AccessDenied, ERROR_ACCESS_DENIED);
  }
  if (info) {
    status = QueryOpenFile(file.get(), info, path);
    if (status != Status::Ok) return status;
  }
  uint64_t size = 0;
  status = FileSize(file.get(), &size, path);
  if (status != Status::Ok) return status;
  // Checked before allocating: a 32-bit process could never hold such a file.
  if (size > kMaxWholeFileSize) {
    return detail::LogFailure("GetFileSizeEx", path, Status::TooLarge, ERROR_NOT_ENOUGH_MEMORY);
  }
  return ReadFully(file.get(), 0, static_cast<size_t>(size), bytes, path, true);
}

Status WriteWholeFile(const std::string& path, std::string_view bytes) {
  Status status;
  if (detail::TakeInjectedFailure(Operation::Write, "WriteWholeFile", path, &status)) return status;
  std::wstring wide;
  if (!win32::ToWidePath(path, &wide)) return FailInvalidPath("CreateFileW", path);
  status = CheckNotReadOnly(wide, "CreateFileW", path);
  if (status != Status::Ok) return status;
  Handle file(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return FailWithLastError("CreateFileW", path);
  return WriteFully(file.get(), bytes, path, true);
}

class Win32NewFile : public detail::NewFileBase {
 public:
  Win32NewFile(HANDLE handle, std::wstring wide, std::string path)
      : NewFileBase(std::move(path)), handle_(handle), wide_(std::move(wide)) {}
  ~Win32NewFile() override { AbandonUnlessKept(); }

 private:
  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
  Status Append(std::string_view bytes) override { return WriteFully(handle_, bytes, Path(), true); }
  Status CloseSystemFile() override {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) ? Status::Ok : FailWithLastError("CloseHandle", Path());
  }
  void RemoveSystemFile() override { DeleteFileW(wide_.c_str()); }
  Status Identify(FileInfo* info) override { return QueryOpenFile(handle_, info, Path()); }

  HANDLE handle_;
  std::wstring wide_;
};

Status CreateNewFile(const std::string& path, std::unique_ptr<NewFile>* file) {
  file->reset();
  Status status;
  if (detail::TakeInjectedFailure(Operation::Write, "CreateNewFile", path, &status)) return status;
  std::wstring wide;
  if (!win32::ToWidePath(path, &wide)) return FailInvalidPath("CreateFileW", path);
  HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FailWithLastError("CreateFileW", path);
  *file = std::make_unique<Win32NewFile>(handle, std::move(wide), path);
  return Status::Ok;
}

Status DeleteFile(const std::string& path) {
  Status status;
  if (detail::TakeInjectedFailure(Operation::Delete, "DeleteFile", path, &status)) return status;
  std::wstring wide;
  if (!win32::ToWidePath(path, &wide)) return FailInvalidPath("DeleteFileW", path);
  status = CheckNotReadOnly(wide, "DeleteFileW", path);
  if (status != Status::Ok) return status;
  if (!DeleteFileW(wide.c_str())) return FailWithLastError("DeleteFileW", path);
  return Status::Ok;
}

Status CreateFolder(const std::string& path) {
  Status status;
  if (detail::TakeInjectedFailure(Operation::CreateFolder, "CreateFolder", path, &status)) return status;
  std::wstring wide;
  if (!win32::ToWidePath(path, &wide)) return FailInvalidPath("CreateDirectoryW", path);
  if (!CreateDirectoryW(wide.c_str(), nullptr)) return FailWithLastError("CreateDirectoryW", path);
  return Status::Ok;
}

namespace {

// What ReplaceFileW should have kept (not every implementation does, and the plain
// move keeps none of it): the attributes a user sets and the creation time.
void KeepAttributesAndCreationTime(const std::wstring& path, const WIN32_FILE_ATTRIBUTE_DATA& old) {
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD now = GetFileAttributesW(path.c_str());
  if (now != INVALID_FILE_ATTRIBUTES && (now & kKept) != (old.dwFileAttributes & kKept)) {
    SetFileAttributesW(path.c_str(), (now & ~kKept & ~FILE_ATTRIBUTE_NORMAL) | (old.dwFileAttributes & kKept));
  }
  Handle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, 0, nullptr));
  if (file.valid()) SetFileTime(file.get(), &old.ftCreationTime, nullptr, nullptr);
}

}  // namespace

Status MoveReplace(const std::string& from, const std::string& to) {
  const std::string both = from + " -> " + to;
  Status status;
  if (detail::TakeInjectedFailure(Operation::Move, "MoveReplace", both, &status)) return status;
  std::wstring wideFrom;
  std::wstring wideTo;
  if (!win32::ToWidePath(from, &wideFrom) || !win32::ToWidePath(to, &wideTo)) {
    return FailInvalidPath("MoveFileExW", both);
  }
  status = CheckNotReadOnly(wideTo, "MoveFileExW", both);
  if (status != Status::Ok) return status;
  WIN32_FILE_ATTRIBUTE_DATA old;
  const bool existed = GetFileAttributesExW(wideTo.c_str(), GetFileExInfoStandard, &old) != 0;
  // ReplaceFileW keeps the replaced file's attributes, ACL, creation time and short
  // name. Where the volume cannot do it, the plain move takes its place; so it does
  // when ReplaceFileW removed the old file but could not rename the new one (no backup
  // name was given, so the new file is still there under its own name).
  if (ReplaceFileW(wideTo.c_str(), wideFrom.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    if (existed) KeepAttributesAndCreationTime(wideTo, old);
    return Status::Ok;
  }
  const DWORD error = GetLastError();
  const bool moveInstead = error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_FILE_NOT_FOUND ||
                           error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
                           error == ERROR_CALL_NOT_IMPLEMENTED || error == ERROR_INVALID_PARAMETER ||
                           error == ERROR_INVALID_NAME;  // Wine's ReplaceFileW and the "\\?\" form
  if (!moveInstead) {
    return detail::LogFailure("ReplaceFileW", both, win32::StatusFromWin32(error), static_cast<long>(error));
  }
  // No MOVEFILE_COPY_ALLOWED: a copy across volumes could stop halfway.
  if (!MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return FailWithLastError("MoveFileExW", both);
  }
  if (existed) KeepAttributesAndCreationTime(wideTo, old);
  return Status::Ok;
}

Status MoveNew(const std::string& from, const std::string& to) {
  const std::string both = from + " -> " + to;
  Status status;
  if (detail::TakeInjectedFailure(Operation::Move, "MoveNew", both, &status)) return status;
  std::wstring wideFrom;
  std::wstring wideTo;
  if (!win32::ToWidePath(from, &wideFrom) || !win32::ToWidePath(to, &wideTo)) {
    return FailInvalidPath("MoveFileExW", both);
  }
  if (!MoveFileExW(wideFrom.c_str(), wideTo.c_str(), 0)) return FailWithLastError("MoveFileExW", both);
  return Status::Ok;
}

std::string ResolveLinks(const std::string& path) { return path; }

uint32_t GetAttributes(const std::string& path) {
  std::wstring wide;
  if (!win32::ToWidePath(path, &wide)) return kInvalidAttributes;
  return GetFileAttributesW(wide.c_str());
}

Status OpenForUpdate(const std::string& path, ShareMode share, std::unique_ptr<OpenFile>* file) {
  file->reset();
  Status status;
  if (detail::TakeInjectedFailure(Operation::Open, "OpenForUpdate", path, &status)) return status;
  std::wstring wide;
  if (!win32::ToWidePath(path, &wide)) return FailInvalidPath("CreateFileW", path);
  DWORD shareFlags = 0;
  if (share == ShareMode::Read) shareFlags = FILE_SHARE_READ;
  if (share == ShareMode::ReadWrite) shareFlags = FILE_SHARE_READ | FILE_SHARE_WRITE;
  status = CheckNotReadOnly(wide, "CreateFileW", path);
  if (status != Status::Ok) return status;
  // OPEN_ALWAYS creates a missing file and never truncates an existing one.
  HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, shareFlags, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FailWithLastError("CreateFileW", path);
  *file = std::make_unique<Win32OpenFile>(handle, path);
  return Status::Ok;
}

}  // namespace cw::platform
