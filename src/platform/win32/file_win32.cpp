// Win32 backend: whole-file reads and writes, folders, moves, attributes and the file
// kept open, through the W functions with Windows' own share modes.
#include <windows.h>
// <windows.h> maps DeleteFile to DeleteFileW; ours is cw::platform::DeleteFile.
#undef DeleteFile

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/backend.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/win32_util.h"

namespace cw::platform {
namespace {

using detail::Fail;
using win32::PublicCall;
using win32::Sys;

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) Sys().CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  void reset(HANDLE handle) {
    if (valid()) Sys().CloseHandle(handle_);
    handle_ = handle;
  }
  HANDLE release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }

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
  return Sys().SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) != 0;
}

Status FileSize(HANDLE handle, uint64_t* size, const std::string& path) {
  LARGE_INTEGER value;
  if (!Sys().GetFileSizeEx(handle, &value)) return Fail("GetFileSizeEx", path);
  *size = static_cast<uint64_t>(value.QuadPart);
  return Status::Ok;
}

// Reads up to `count` bytes from `offset`; fewer when the file ends first. Whole-file
// reads and writes pump window messages between steps (`pump`).
Status ReadFully(HANDLE handle, uint64_t offset, size_t count, std::string* bytes, const std::string& path,
                 bool pump = false) {
  if (!Seek(handle, offset)) return Fail("SetFilePointerEx", path);
  // Each step is far below ReadFile's DWORD limit.
  const auto read = [handle](char* buffer, size_t size, size_t) -> long long {
    DWORD got = 0;
    if (!Sys().ReadFile(handle, buffer, static_cast<DWORD>(size), &got, nullptr)) return -1;
    return got;
  };
  return detail::ReadInSteps(count, "ReadFile", path, pump, read, bytes);
}

Status WriteFully(HANDLE handle, std::string_view bytes, const std::string& path, bool pump = false) {
  const auto write = [handle](const char* data, size_t size, size_t) -> long long {
    DWORD written = 0;
    if (!Sys().WriteFile(handle, data, static_cast<DWORD>(size), &written, nullptr)) return -1;
    return written;
  };
  return detail::WriteInSteps(bytes, "WriteFile", path, pump, write);
}

// Windows refuses to write, delete or replace a file marked read-only, but Wine running
// as root lets such a write through (the mode bits do not bind root). Asking first
// gives the same answer on both.
Status CheckNotReadOnly(const std::wstring& wide, const char* call, const std::string& path) {
  const DWORD attributes = Sys().GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return detail::LogFailure(call, path, Status::AccessDenied, ERROR_ACCESS_DENIED);
  }
  return Status::Ok;
}

class Win32OpenFile : public OpenFile {
 public:
  // `sizeAtOpen`, for a file opened only to be read, is the size it had then: ReadAt reads
  // the file as it was opened without asking its size again.
  Win32OpenFile(HANDLE handle, std::string path, std::optional<uint64_t> sizeAtOpen = std::nullopt)
      : handle_(handle), path_(std::move(path)), sizeAtOpen_(sizeAtOpen) {}

  Status Size(uint64_t* size) override { return FileSize(handle_.get(), size, path_); }

  Status ReadAt(uint64_t offset, size_t count, std::string* bytes) override {
    bytes->clear();
    uint64_t size = sizeAtOpen_.value_or(0);
    size_t wanted = 0;
    Status status = sizeAtOpen_ ? Status::Ok : FileSize(handle_.get(), &size, path_);
    if (status == Status::Ok) status = detail::BytesToReadAt(size, offset, count, path_, &wanted);
    if (status != Status::Ok) return status;
    return ReadFully(handle_.get(), offset, wanted, bytes, path_);
  }

  Status WriteAt(uint64_t offset, std::string_view bytes) override {
    const detail::CallScope scope(Operation::WriteAt);
    if (!Seek(handle_.get(), offset)) return Fail("SetFilePointerEx", path_);
    return WriteFully(handle_.get(), bytes, path_);
  }

  Status Truncate(uint64_t size) override {
    const detail::CallScope scope(Operation::WriteAt);
    if (!Seek(handle_.get(), size)) return Fail("SetFilePointerEx", path_);
    if (!Sys().SetEndOfFile(handle_.get())) return Fail("SetEndOfFile", path_);
    return Status::Ok;
  }

  Status Flush() override {
    const detail::CallScope scope(Operation::Flush);
    if (!Sys().FlushFileBuffers(handle_.get())) return Fail("FlushFileBuffers", path_);
    return Status::Ok;
  }

 private:
  Handle handle_;
  std::string path_;
  std::optional<uint64_t> sizeAtOpen_;
};

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
  if (!Sys().GetFileInformationByHandle(handle, &data)) return Fail("GetFileInformationByHandle", path);
  FillFileInfo(data, Sys().GetFileType(handle) == FILE_TYPE_DISK, info);
  return Status::Ok;
}

}  // namespace

Status QueryFile(const std::string& path, FileInfo* info) {
  std::wstring wide;
  if (!win32::ToWidePath(path, &wide)) return Status::InvalidPath;
  // No access asked: attributes only, so no other program's share mode stands in the way.
  Handle file(Sys().CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  // Not logged: asking whether a name is taken is no failure.
  if (!file.valid()) return win32::StatusFromWin32(GetLastError());
  return QueryOpenFile(file.get(), info, path);
}

// Opens the source of `call` for reading: a file on a disk only (a device or pipe,
// "\\.\pipe\x" or "CON", is no file to convert and may never end), others free to read,
// write and delete it meanwhile.
Status OpenSource(const PublicCall& call, Handle* file, FileInfo* info) {
  if (call.status() != Status::Ok) return call.status();
  const std::string& path = call.Subject();
  file->reset(Sys().CreateFileW(call.Path().c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file->valid()) return call.Fail("CreateFileW");
  if (Sys().GetFileType(file->get()) != FILE_TYPE_DISK) {
    return detail::LogFailure("GetFileType", path, Status::AccessDenied, ERROR_ACCESS_DENIED);
  }
  return info ? QueryOpenFile(file->get(), info, path) : Status::Ok;
}

// What both whole-file reads do first: the open, what the file is, and a size this
// process may hold.
Status OpenWholeSource(const PublicCall& call, Handle* file, size_t* size, FileInfo* info) {
  const std::string& path = call.Subject();
  Status status = OpenSource(call, file, info);
  uint64_t bytes = 0;
  if (status == Status::Ok) status = FileSize(file->get(), &bytes, path);
  if (status != Status::Ok) return status;
  // Checked before allocating: a 32-bit process could never hold such a file.
  if (bytes > kMaxWholeFileSize) {
    return detail::LogFailure("GetFileSizeEx", path, Status::TooLarge, ERROR_NOT_ENOUGH_MEMORY);
  }
  *size = static_cast<size_t>(bytes);
  return Status::Ok;
}

Status ReadWholeFile(const std::string& path, std::string* bytes, FileInfo* info) {
  bytes->clear();
  const PublicCall call(Operation::Read, "CreateFileW", path);
  Handle file(INVALID_HANDLE_VALUE);
  size_t size = 0;
  const Status status = OpenWholeSource(call, &file, &size, info);
  if (status != Status::Ok) return status;
  return ReadFully(file.get(), 0, size, bytes, path, true);
}

class Win32MappedFile : public MappedFile {
 public:
  Win32MappedFile(HANDLE file, HANDLE mapping, const void* view, size_t size)
      : file_(file), mapping_(mapping), view_(view), size_(size) {}
  ~Win32MappedFile() override {
    if (view_) UnmapViewOfFile(view_);
    if (mapping_) CloseHandle(mapping_);
  }
  std::string_view Bytes() const override { return {static_cast<const char*>(view_), size_}; }

 private:
  Handle file_;
  HANDLE mapping_;
  const void* view_;
  size_t size_;
};

Status MapWholeFile(const std::string& path, std::unique_ptr<MappedFile>* file, FileInfo* info) {
  file->reset();
  const PublicCall call(Operation::Read, "CreateFileW", path);
  Handle opened(INVALID_HANDLE_VALUE);
  size_t size = 0;
  const Status status = OpenWholeSource(call, &opened, &size, info);
  if (status != Status::Ok) return status;
  HANDLE mapping = nullptr;
  const void* view = nullptr;
  // An empty file cannot be mapped, and needs no view.
  if (size != 0) {
    mapping = CreateFileMappingW(opened.get(), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) return call.Fail("CreateFileMappingW");
    view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (!view) {
      const Status failed = call.Fail("MapViewOfFile");
      CloseHandle(mapping);
      return failed == Status::Other ? Status::TooLarge : failed;
    }
  }
  *file = std::make_unique<Win32MappedFile>(opened.release(), mapping, view, size);
  return Status::Ok;
}

Status OpenForReading(const std::string& path, std::unique_ptr<OpenFile>* file, FileInfo* info) {
  file->reset();
  const PublicCall call(Operation::Read, "CreateFileW", path);
  Handle opened(INVALID_HANDLE_VALUE);
  FileInfo opening;
  const Status status = OpenSource(call, &opened, &opening);
  if (status != Status::Ok) return status;
  if (info) *info = opening;
  *file = std::make_unique<Win32OpenFile>(opened.release(), path, opening.size);
  return Status::Ok;
}

Status WriteWholeFile(const std::string& path, std::string_view bytes) {
  const PublicCall call(Operation::Write, "CreateFileW", path);
  if (call.status() != Status::Ok) return call.status();
  const Status status = CheckNotReadOnly(call.Path(), "CreateFileW", path);
  if (status != Status::Ok) return status;
  Handle file(
      Sys().CreateFileW(call.Path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return call.Fail("CreateFileW");
  return WriteFully(file.get(), bytes, path, true);
}

namespace {

Status Close(HANDLE handle, const std::string& path) {
  return Sys().CloseHandle(handle) ? Status::Ok : Fail("CloseHandle", path);
}

Status PlaceHandle(HANDLE handle, const std::wstring& nativeFrom, const std::string& from, const std::string& to,
                   bool replace, const std::string* kept, bool* closed);

// The steps of the Win32 new file (see detail::SystemNewFile).
struct Win32NewFileOps {
  using Handle = HANDLE;
  using SystemPath = std::wstring;
  // New files are written from start to end, so the offset is where the handle stands.
  static Status AppendAt(HANDLE handle, uint64_t, std::string_view bytes, const std::string& path) {
    return WriteFully(handle, bytes, path, true);
  }
  static Status Close(HANDLE handle, const std::string& path) { return platform::Close(handle, path); }
  static void Remove(const std::wstring& wide) { Sys().DeleteFileW(wide.c_str()); }
  static Status Identify(HANDLE handle, FileInfo* info, const std::string& path) {
    return QueryOpenFile(handle, info, path);
  }
  static Status Flush(HANDLE handle, const std::string& path) {
    return Sys().FlushFileBuffers(handle) ? Status::Ok : Fail("FlushFileBuffers", path);
  }
  // Windows has no way to start a flush without waiting for it.
  static void StartFlush(HANDLE) {}
  static Status Place(HANDLE handle, const std::wstring& native, const std::string& from, const std::string& to,
                      bool replace, const std::string* kept, bool* closed) {
    return PlaceHandle(handle, native, from, to, replace, kept, closed);
  }
};

using Win32NewFile = detail::SystemNewFile<Win32NewFileOps>;

}  // namespace

Status CreateNewFile(const std::string& path, std::unique_ptr<NewFile>* file) {
  file->reset();
  const PublicCall call(Operation::Write, "CreateFileW", path);
  if (call.status() != Status::Ok) return call.status();
  // DELETE: the file takes its final name through this handle (NewFile::ReplaceInto).
  HANDLE handle = Sys().CreateFileW(call.Path().c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return call.Fail("CreateFileW");
  *file = std::make_unique<Win32NewFile>(handle, call.Path(), path);
  return Status::Ok;
}

Status DeleteFile(const std::string& path) {
  const PublicCall call(Operation::Delete, "DeleteFileW", path);
  if (call.status() != Status::Ok) return call.status();
  const Status status = CheckNotReadOnly(call.Path(), "DeleteFileW", path);
  if (status != Status::Ok) return status;
  if (!Sys().DeleteFileW(call.Path().c_str())) return call.Fail("DeleteFileW");
  return Status::Ok;
}

Status CreateFolder(const std::string& path) {
  const PublicCall call(Operation::CreateFolder, "CreateDirectoryW", path);
  if (call.status() != Status::Ok) return call.status();
  if (!Sys().CreateDirectoryW(call.Path().c_str(), nullptr)) return call.Fail("CreateDirectoryW");
  return Status::Ok;
}

namespace {

// What a rename or ReplaceFileW does not keep (not every implementation of ReplaceFileW
// does): the attributes a user sets and the creation time. Set through `file`, the
// renamed file still open, where there is one.
void KeepAttributesAndCreationTime(const std::wstring& path, const WIN32_FILE_ATTRIBUTE_DATA& old,
                                   HANDLE file = INVALID_HANDLE_VALUE) {
  constexpr DWORD kKept =
      FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD now = Sys().GetFileAttributesW(path.c_str());
  if (now != INVALID_FILE_ATTRIBUTES && (now & kKept) != (old.dwFileAttributes & kKept)) {
    Sys().SetFileAttributesW(path.c_str(), (now & ~kKept & ~FILE_ATTRIBUTE_NORMAL) | (old.dwFileAttributes & kKept));
  }
  if (file != INVALID_HANDLE_VALUE) {
    Sys().SetFileTime(file, &old.ftCreationTime, nullptr, nullptr);
    return;
  }
  Handle opened(Sys().CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
  if (opened.valid()) Sys().SetFileTime(opened.get(), &old.ftCreationTime, nullptr, nullptr);
}

// The errors after which the plain move does what ReplaceFileW could not.
bool MoveInstead(DWORD error) {
  return error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_FILE_NOT_FOUND ||
         error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED || error == ERROR_CALL_NOT_IMPLEMENTED ||
         error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_NAME;  // Wine's ReplaceFileW and the "\\?\" form
}

// The errors of a system or volume that cannot rename through a handle (or not with
// the class asked for).
bool CannotRenameByHandle(DWORD error) {
  return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
         error == ERROR_CALL_NOT_IMPLEMENTED || error == ERROR_INVALID_LEVEL;
}

// FILE_RENAME_INFO, which the headers for XP do not declare. With FileRenameInfoEx the
// first member is a set of flags, with FileRenameInfo a BOOLEAN; both start the record.
struct RenameInformation {
  DWORD flagsOrReplace;
  HANDLE rootDirectory;
  DWORD fileNameLength;  // bytes, without the terminating zero
  WCHAR fileName[1];
};
constexpr int kFileRenameInfo = 3;
constexpr int kFileRenameInfoEx = 22;
constexpr DWORD kRenameReplaceIfExists = 0x1;
constexpr DWORD kRenamePosixSemantics = 0x2;  // the replaced file may be open (with delete sharing)

enum class Renamed { Done, Failed, Unsupported };

// Renames the open file to `to` in one step: the name passes to the new file, and a
// replaced file goes only as its name is taken, never before.
Renamed RenameOpenFile(HANDLE handle, const std::wstring& to, bool replace) {
  const size_t size = offsetof(RenameInformation, fileName) + (to.size() + 1) * sizeof(WCHAR);
  std::unique_ptr<RenameInformation, decltype(&std::free)> info(static_cast<RenameInformation*>(std::calloc(1, size)),
                                                                &std::free);
  if (!info) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return Renamed::Failed;
  }
  info->fileNameLength = static_cast<DWORD>(to.size() * sizeof(WCHAR));
  std::memcpy(info->fileName, to.c_str(), (to.size() + 1) * sizeof(WCHAR));
  info->flagsOrReplace = (replace ? kRenameReplaceIfExists : 0) | kRenamePosixSemantics;
  if (Sys().SetFileInformationByHandle(handle, kFileRenameInfoEx, info.get(), static_cast<DWORD>(size))) {
    if (replace) win32::NoteReplacedWithPosixSemantics(handle);
    return Renamed::Done;
  }
  if (!CannotRenameByHandle(GetLastError())) return Renamed::Failed;
  info->flagsOrReplace = replace ? TRUE : FALSE;
  if (Sys().SetFileInformationByHandle(handle, kFileRenameInfo, info.get(), static_cast<DWORD>(size))) {
    return Renamed::Done;
  }
  return CannotRenameByHandle(GetLastError()) ? Renamed::Unsupported : Renamed::Failed;
}

// What ReplaceFileW and the move do where no rename through a handle is possible. The
// replaced file is first kept under a backup name, removed only once the new file has
// the name; should ReplaceFileW fail after that first step, the backup goes back.
Status ReplaceByPath(const PublicCall& call, bool existed, const WIN32_FILE_ATTRIBUTE_DATA& old) {
  const std::wstring& wideFrom = call.Path(0);
  const std::wstring& wideTo = call.Path(1);
  const std::wstring backup = wideFrom + L".old";
  if (Sys().ReplaceFileW(wideTo.c_str(), wideFrom.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                         nullptr)) {
    Sys().DeleteFileW(backup.c_str());
    if (existed) KeepAttributesAndCreationTime(wideTo, old);
    return Status::Ok;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
    const Status status = call.Fail("ReplaceFileW");
    Sys().MoveFileExW(backup.c_str(), wideTo.c_str(), 0);
    return status;
  }
  if (!MoveInstead(error)) return call.Fail("ReplaceFileW");
  // No MOVEFILE_COPY_ALLOWED: a copy across volumes could stop halfway. The move
  // replaces in one step; the old file goes as the new one takes its name.
  if (!Sys().MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING)) return call.Fail("MoveFileExW");
  if (existed) KeepAttributesAndCreationTime(wideTo, old);
  return Status::Ok;
}

// Gives the open file `handle` (named `call`'s first path) the second path. Where the
// volume cannot rename through a handle, the file is closed (*closed) and moved by name.
Status PlaceOpenFile(const PublicCall& call, HANDLE handle, bool replace, bool* closed) {
  *closed = false;
  const std::wstring& wideTo = call.Path(1);
  WIN32_FILE_ATTRIBUTE_DATA old;
  bool existed = false;
  if (replace) {
    const Status status = CheckNotReadOnly(wideTo, "MoveFileExW", call.Subject());
    if (status != Status::Ok) return status;
    existed = Sys().GetFileAttributesExW(wideTo.c_str(), GetFileExInfoStandard, &old) != 0;
  }
  const Renamed renamed = RenameOpenFile(handle, wideTo, replace);
  if (renamed == Renamed::Failed) return call.Fail("SetFileInformationByHandle");
  if (renamed == Renamed::Done) {
    if (existed) KeepAttributesAndCreationTime(wideTo, old, handle);
    return Status::Ok;
  }
  *closed = true;
  Close(handle, call.Subject());
  if (replace) return ReplaceByPath(call, existed, old);
  if (!Sys().MoveFileExW(call.Path(0).c_str(), wideTo.c_str(), 0)) return call.Fail("MoveFileExW");
  return Status::Ok;
}

// The errors of a volume that gives no file a second name (FAT), or no more of them.
bool NoHardLinks(DWORD error) {
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED || error == ERROR_CALL_NOT_IMPLEMENTED ||
         error == ERROR_TOO_MANY_LINKS;
}

// NewFile::ReplaceKeeping: the old file gets the second name `wideKept`, then the open
// file takes its place as in ReplaceInto. Where the volume has no hard links, the old
// file is moved to `wideKept` instead (as ReplaceFileW would with a backup name) just
// before the open file takes the name, and moved back should that fail.
Status PlaceKeeping(const PublicCall& call, HANDLE handle, const std::wstring& wideKept, bool* closed) {
  const std::wstring& wideTo = call.Path(1);
  const std::string& both = call.Subject();
  if (Sys().GetFileAttributesW(wideKept.c_str()) != INVALID_FILE_ATTRIBUTES) {
    return detail::LogFailure("CreateHardLinkW", both, Status::AlreadyExists, ERROR_ALREADY_EXISTS);
  }
  Status status = CheckNotReadOnly(wideTo, "MoveFileExW", both);
  if (status != Status::Ok) return status;
  WIN32_FILE_ATTRIBUTE_DATA old;
  if (!Sys().GetFileAttributesExW(wideTo.c_str(), GetFileExInfoStandard, &old)) {
    // Nothing there to keep; any other reason to fail the question fails the replace.
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      return PlaceOpenFile(call, handle, true, closed);
    return call.Fail("GetFileAttributesExW");
  }
  if (Sys().CreateHardLinkW(wideKept.c_str(), wideTo.c_str(), nullptr)) {
    status = PlaceOpenFile(call, handle, true, closed);
    if (status != Status::Ok) Sys().DeleteFileW(wideKept.c_str());
    return status;
  }
  if (!NoHardLinks(GetLastError())) return call.Fail("CreateHardLinkW");
  if (!Sys().MoveFileExW(wideTo.c_str(), wideKept.c_str(), 0)) return call.Fail("MoveFileExW");
  status = PlaceOpenFile(call, handle, false, closed);
  if (status != Status::Ok) {
    Sys().MoveFileExW(wideKept.c_str(), wideTo.c_str(), 0);
    return status;
  }
  KeepAttributesAndCreationTime(wideTo, old, *closed ? INVALID_HANDLE_VALUE : handle);
  return Status::Ok;
}

Status PlaceHandle(HANDLE handle, const std::wstring&, const std::string& from, const std::string& to, bool replace,
                   const std::string* kept, bool* closed) {
  *closed = false;
  const PublicCall call(Operation::Move, "SetFileInformationByHandle", from, to);
  if (call.status() != Status::Ok) return call.status();
  if (!kept) return PlaceOpenFile(call, handle, replace, closed);
  std::wstring wideKept;
  if (!win32::ToWidePath(*kept, &wideKept)) return detail::FailInvalidPath("CreateHardLinkW", call.Subject());
  return PlaceKeeping(call, handle, wideKept, closed);
}

}  // namespace

Status MoveReplace(const std::string& from, const std::string& to) {
  const PublicCall call(Operation::Move, "MoveFileExW", from, to);
  if (call.status() != Status::Ok) return call.status();
  // Opened only to be renamed; a file that another program holds (or a NewFile of ours
  // still open) is refused, as the rename would be.
  HANDLE handle = Sys().CreateFileW(call.Path(0).c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return call.Fail("CreateFileW");
  bool closed = false;
  const Status status = PlaceOpenFile(call, handle, true, &closed);
  if (!closed) Close(handle, call.Subject());
  return status;
}

Status MoveNew(const std::string& from, const std::string& to) {
  const PublicCall call(Operation::Move, "MoveFileExW", from, to);
  if (call.status() != Status::Ok) return call.status();
  if (!Sys().MoveFileExW(call.Path(0).c_str(), call.Path(1).c_str(), 0)) return call.Fail("MoveFileExW");
  return Status::Ok;
}

std::string ResolveLinks(const std::string& path) { return path; }

uint32_t GetAttributes(const std::string& path) {
  std::wstring wide;
  if (!win32::ToWidePath(path, &wide)) return kInvalidAttributes;
  return Sys().GetFileAttributesW(wide.c_str());
}

Status OpenForUpdate(const std::string& path, ShareMode share, std::unique_ptr<OpenFile>* file) {
  file->reset();
  const PublicCall call(Operation::Open, "CreateFileW", path);
  if (call.status() != Status::Ok) return call.status();
  DWORD shareFlags = 0;
  if (share == ShareMode::Read) shareFlags = FILE_SHARE_READ;
  if (share == ShareMode::ReadWrite) shareFlags = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const Status status = CheckNotReadOnly(call.Path(), "CreateFileW", path);
  if (status != Status::Ok) return status;
  // OPEN_ALWAYS creates a missing file and never truncates an existing one.
  HANDLE handle = Sys().CreateFileW(call.Path().c_str(), GENERIC_READ | GENERIC_WRITE, shareFlags, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return call.Fail("CreateFileW");
  *file = std::make_unique<Win32OpenFile>(handle, path);
  return Status::Ok;
}

}  // namespace cw::platform
