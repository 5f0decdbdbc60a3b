// The narrow interface between chengwen and the operating system: files, folders,
// listing, the message pump and the message box. One backend per system (win32/, posix/).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cw::platform {

// Every failure is mapped to one of these. Ok is the only success.
enum class Status {
  Ok,
  NotFound,          // the file or a folder on its path does not exist
  AccessDenied,      // no rights, read-only file or folder
  SharingViolation,  // another program holds the file in a way that excludes us
  DiskFull,
  AlreadyExists,
  TooLarge,     // more than this process can hold in memory
  InvalidPath,  // empty, or a name the system cannot represent
  Other,
};
const char* StatusName(Status status);

// Attribute bits, with the values Windows uses, so callers can test them the same way
// on every backend.
constexpr uint32_t kAttrReadOnly = 0x1;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrDevice = 0x40;  // not a plain file (POSIX: a pipe, device or socket)
constexpr uint32_t kAttrReparsePoint = 0x400;
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// Paths are working-code-page (GB18030) texts with backslashes, as on Windows.
// The POSIX backend maps "Z:\" to "/" and "\" to "/".

// What names a file whatever path reaches it (device and inode, or volume serial and
// file index), and what a change to it would alter.
struct FileInfo {
  uint64_t volume = 0;
  uint64_t index = 0;
  uint64_t size = 0;
  int64_t modified = 0;  // in the system's own units
  uint32_t links = 1;    // names of the file (hard links)
  bool regular = false;  // a plain file: not a folder, pipe, device or socket
  bool SameFileAs(const FileInfo& other) const { return volume == other.volume && index == other.index; }
  bool SameContentAs(const FileInfo& other) const {
    return SameFileAs(other) && size == other.size && modified == other.modified;
  }
};
// Follows links to the file they name. Failures are not logged (a missing file is a
// normal answer).
Status QueryFile(const std::string& path, FileInfo* info);

class OpenFile;

// Reads the whole file. Others may read and write it meanwhile. A file larger than
// kMaxWholeFileSize, or one the process cannot find the memory for, gives TooLarge.
// Only a regular file is read (a pipe or device could block forever): others give
// AccessDenied. `info` receives what the open file was when it was read.
Status ReadWholeFile(const std::string& path, std::string* bytes, FileInfo* info = nullptr);
constexpr uint64_t kMaxWholeFileSize = sizeof(void*) >= 8 ? (uint64_t{1} << 33) : (uint64_t{1} << 30);
// Opens a file to be read in pieces (ReadAt, Size), on the same terms as ReadWholeFile
// (a failure to open is counted as a Read for fault injection). Writing through it fails.
Status OpenForReading(const std::string& path, std::unique_ptr<OpenFile>* file, FileInfo* info = nullptr);
// A file's bytes mapped into memory for reading; the view stays valid while the object
// lives. Others may read and write the file meanwhile (what they write may show), but
// the system keeps it from being cut short under the view on Windows.
class MappedFile {
 public:
  virtual ~MappedFile() = default;
  virtual std::string_view Bytes() const = 0;
};
// Maps the whole file, on ReadWholeFile's terms (a failure counts as a Read for fault
// injection; a file larger than kMaxWholeFileSize gives TooLarge).
Status MapWholeFile(const std::string& path, std::unique_ptr<MappedFile>* file, FileInfo* info = nullptr);
// Creates or truncates the file and writes the bytes, sharing nothing while it does.
Status WriteWholeFile(const std::string& path, std::string_view bytes);
// Creates a new file with the bytes, sharing nothing; AlreadyExists (and nothing
// touched) when the path exists. A write that fails half-way removes the file again.
Status WriteNewFile(const std::string& path, std::string_view bytes);

// A new file written in pieces (a large output need not exist in memory all at once),
// shared with nobody while it is open. Writes append and pump window messages between
// large chunks. Close() keeps the file; Abandon(), or destroying it without Close(),
// removes it again.
//
// While it is open nobody else can delete it (Windows: no sharing at all; POSIX: the
// writer lock that DeleteFile honours), so a file that takes its final name through
// ReplaceInto or MoveInto is never closed under its temporary name, where another run's
// sweep of stale temporaries could take it.
class NewFile {
 public:
  virtual ~NewFile() = default;
  virtual Status Write(std::string_view bytes) = 0;
  virtual Status Close() = 0;
  virtual void Abandon() = 0;
  // What the file is, asked of the open file (before Close): a move keeps the
  // identity, so this is also the file's identity under the name it is moved to.
  virtual Status Identify(FileInfo* info) = 0;
  // Puts what was written on the disk before it returns (fsync, FlushFileBuffers).
  virtual Status Flush() = 0;
  // Starts putting what was written on the disk and returns at once (Linux:
  // sync_file_range; elsewhere nothing). Started for a group of files before each of
  // them is flushed, it lets the system write them out together, so that the flushes
  // that follow mostly find their work done.
  virtual void StartFlush() = 0;
  // Gives the open file the name `path`, replacing the file there as MoveReplace does
  // (same checks, same attributes, mode and owner kept, other hard links rewritten in
  // place on POSIX), and closes it. On Windows the rename is made through the open
  // handle (FileRenameInfoEx with POSIX semantics, else FileRenameInfo), so the old
  // file is never removed before the new one has its name; only where the volume can
  // rename no open file is it closed and handed to MoveReplace. On failure the file is
  // still open under its own name and the file at `path` is as it was.
  virtual Status ReplaceInto(const std::string& path) = 0;
  // Gives the open file the name `path` only when nothing exists there (AlreadyExists
  // otherwise, the file still open under its own name), and closes it.
  virtual Status MoveInto(const std::string& path) = 0;
  // Gives the open file the name `path` as ReplaceInto does, and keeps the file that was
  // there under the new name `kept` on the same volume, so that the replace can be
  // undone: the old file takes the second name itself, nothing is copied (POSIX: link;
  // Windows: CreateHardLinkW; where the volume has no hard links, the old file is moved
  // to `kept` just before the new one takes its place). A file with other hard links is
  // rewritten in place on POSIX, and the copy of its old bytes that the rewrite keeps
  // aside becomes `kept`. Nothing is kept when nothing was at `path`; AlreadyExists when
  // `kept` is taken. On failure the file at `path` is as it was and `kept` does not
  // exist. As with ReplaceInto, flushing the file first (Flush) and the folder after
  // (FlushFolder) is the caller's.
  virtual Status ReplaceKeeping(const std::string& path, const std::string& kept) = 0;
};
// Keeps other programs from opening a file to write it, from BlockWriters until
// Release (or the object's end). Windows: a read handle that shares reading and
// deleting but no writing, so that a writer's open fails as "in use" while the file is
// read and converted; the replace is made with the file still held.
class WriteBlock {
 public:
  virtual ~WriteBlock() = default;
  virtual void Release() = 0;
};
// Null where nothing can be blocked: on POSIX (other programs take no notice of
// advisory locks); on Windows when another program holds the file open for writing
// already, and on every volume where no replace with POSIX semantics has been seen to
// work yet (only such a rename replaces a held file; without it the hold would have to
// go just before the replace, and a writer retrying against it would get in there).
// The late checks of the write are all there is then.
std::unique_ptr<WriteBlock> BlockWriters(const std::string& path);
// For tests: take every volume for one that replaces held files, to see a hold kept
// to the replace, and what follows where the replace is refused after all.
void AssumeHeldFilesCanBeReplaced(bool assume);

// AlreadyExists (and nothing touched) when the path exists.
Status CreateNewFile(const std::string& path, std::unique_ptr<NewFile>* file);
Status DeleteFile(const std::string& path);
// Creates one folder; its parent must exist.
Status CreateFolder(const std::string& path);
// Puts `from` in the place of `to`, replacing an existing `to` in one step where the
// system allows it. On failure both files are as they were. The file at `to` keeps
// what makes it that file: its mode and owner (POSIX), its attributes, ACL and creation
// time (Windows, through ReplaceFileW where the volume has it), and its other hard
// links, which are rewritten in place with the old bytes kept aside until done.
Status MoveReplace(const std::string& from, const std::string& to);
// Gives `from` the name `to` only when nothing exists there (AlreadyExists otherwise).
Status MoveNew(const std::string& from, const std::string& to);

// A file with other hard links is rewritten in place (POSIX): its old bytes are first
// copied aside to "<temporary>.old" and put on the disk, then so is a journal
// "<temporary>.jnl" that names the file, and only then is the file written over;
// when that is done and on the disk, the journal goes first, then the copy. Whether a
// name is one of these, or a kept copy "<temporary>.undo", where <temporary> is one of
// the program's temporary names ("~cw...tmp"): none of them is a user's file.
bool IsKeptAsideName(std::string_view name);
// Puts right what ended runs left half-done in `folder` (not its sub-folders): a rewrite
// whose journal is whole is rolled back (the old bytes written back over the file, which
// keeps its identity and so every name it has, then the journal, the copy and the
// temporary removed), and the leftovers of a rewrite that never touched its file (a torn
// journal, a copy without one) are removed. `ownerEnded` is asked with the temporary's
// name ("~cw....tmp") and says whether the run that made it has ended; nothing else is
// touched. Returns how many rewrites were rolled back.
int RecoverInterruptedRewrites(const std::string& folder,
                               const std::function<bool(const std::string& temporaryName)>& ownerEnded);
// Puts the folder's entries on the disk: after a rename into it, the new name survives
// a power cut (POSIX: fsync of the folder). Windows keeps no separate folder data to
// flush (NTFS logs the rename with the file), so it does nothing there.
Status FlushFolder(const std::string& path);
// Puts everything written to the volume that holds the folder on the disk, files and
// folders alike, in one wait (Linux: syncfs), so that a group of new files needs no
// flush of its own each. Other where the system has no such call (Windows, without
// the rights to open a volume): then each file is flushed by itself.
Status FlushVolume(const std::string& folder);
// The path of the file a symbolic link (or a chain of them) names; the path itself
// when it is no link or cannot be followed.
std::string ResolveLinks(const std::string& path);
bool Exists(const std::string& path);
// kInvalidAttributes when the path cannot be queried.
uint32_t GetAttributes(const std::string& path);

struct DirEntry {
  std::string name;  // the entry's name alone, in the working code page
  // Folder, reparse point (a link) and device for certain; on POSIX the read-only bit
  // only where the entry had to be looked up (GetAttributes always gives it).
  uint32_t attributes = 0;
  // False when the system's name cannot be written as a path that leads back to this
  // entry (invalid UTF-8, a "\" inside a POSIX name): `name` is then only for showing.
  bool representable = true;
};
// Lists the entries matching a wildcard pattern ("D:\docs\*.txt"): "*" and "?" in the
// last component, ASCII case-insensitive, "." and ".." included as the system gives
// them. Windows semantics on Windows (short names match too). Order as the system
// returns it. A pump callback is not made here; callers pump per entry as they walk.
// A folder that exists but holds nothing that matches gives Ok and no entries; every
// other status means the folder could not be listed (NotFound: it or a folder above it
// does not exist or is no folder; AccessDenied; InvalidPath: too long a path or a name
// the system refuses; Other), or, with some entries, that the listing was cut short.
Status FindEntries(const std::string& pattern, std::vector<DirEntry>* entries);

// A check sum over a journal's record (FNV-1a, 64 bits), so that a record torn at any
// byte is never taken for one. Used by every journal of the program.
uint64_t JournalCheckSum(std::string_view bytes);

// ---- Run identity --------------------------------------------------------------------

// A run's claim that it is alive: a lock file "<id>.lock" in a folder of run locks,
// held open and locked from AcquireRunLock until the object is destroyed, or until the
// process ends, however it ends (the system releases the lock then; the file stays).
// Files a run names with its identity (its temporaries) may be removed by another run
// only when QueryRun says the owner has Ended.
class RunLock {
 public:
  virtual ~RunLock() = default;  // releases the lock and removes its file
  // 16 lower-case hex digits, unique among the runs that share the lock folder.
  virtual const std::string& Id() const = 0;
};
// The lock folder of this user on this machine: "chengwen-runs" in the system's
// temporary folder (POSIX: $TMPDIR or /tmp, with the user id in the name).
std::string DefaultRunLockFolder();
// A new identity, locked; the folder is created when missing (its parent must exist).
Status AcquireRunLock(const std::string& folder, std::unique_ptr<RunLock>* lock);
enum class RunState {
  Alive,    // its lock is held: the run is alive
  Ended,    // its lock file is there and held by nobody: the run has ended
  Unknown,  // no lock file of that identity (a run of another machine or user, or a
            // name that merely looks like one), or the lock could not be asked
};
RunState QueryRun(const std::string& folder, const std::string& id);

// A file kept open between calls (the settings file). Offsets are 0-based.
class OpenFile {
 public:
  virtual ~OpenFile() = default;
  virtual Status Size(uint64_t* size) = 0;
  virtual Status ReadAt(uint64_t offset, size_t count, std::string* bytes) = 0;
  virtual Status WriteAt(uint64_t offset, std::string_view bytes) = 0;
  virtual Status Truncate(uint64_t size) = 0;
  virtual Status Flush() = 0;
};
enum class ShareMode {
  None,       // nobody else may open the file
  Read,       // others may read but not write
  ReadWrite,  // others may read and write
};
// Opens for reading and writing, creating the file when missing and never truncating
// it. With ShareMode::Read a second opener that wants to write gets SharingViolation
// (on POSIX this is emulated with an advisory lock that chengwen itself honours).
Status OpenForUpdate(const std::string& path, ShareMode share, std::unique_ptr<OpenFile>* file);

// The folder that holds the running program, without a trailing backslash.
std::string ProgramFolder();

// ---- Hooks -------------------------------------------------------------------------

// Processes pending window messages. A no-op until the application (or a test)
// installs its pump, and on every thread but the one that installed it.
void PumpMessages();
void SetPumpHook(std::function<void()> hook);

// How far the work on the current file has come, in bytes of `total`; long steps call
// it between their pieces, next to their pumps. A no-op until a hook is installed.
void ReportFileProgress(uint64_t done, uint64_t total);
// Installs the hook and returns the one it replaces.
std::function<void(uint64_t, uint64_t)> SetFileProgressHook(std::function<void(uint64_t, uint64_t)> hook);

// Shows a message box; returns the button pressed (1 = OK, 2 = Cancel as on Windows).
// The Windows backend shows a real MessageBoxW until a hook is installed; POSIX prints
// the text to stderr and answers OK.
int ShowMessage(const std::string& text, const std::string& caption, uint32_t flags);
void SetMessageBoxHook(std::function<int(const std::string&, const std::string&, uint32_t)> hook);

// ---- Fault injection for tests -----------------------------------------------------

// Every system call a backend makes goes through a table (the Win32 or POSIX name of
// the call: "WriteFile", "ReplaceFileW", "pwrite", "rename"), so a test can make any of
// them fail and see the backend's own error handling at work.
//
// Makes the nth call (1 = the next one) of the system call `call` fail with `code` (a
// Win32 error or an errno value), and the `times - 1` calls after it: times 1 is a
// transient fault, kEveryCall a persistent one (until ClearInjectedFailures). False,
// with nothing injected, when the backend makes no call of that name.
constexpr int kEveryCall = -1;
bool InjectSystemError(const std::string& call, long code, int nth = 1, int times = 1);

// The coarser kind, for tests of the layers above: the nth public call of a kind fails
// as the system would fail it with `status`, at the system call that makes the
// operation (the open of a read or a write, the write of an in-place change, the
// move, the delete), so nothing reaches the disk that a real refusal would not let by.
// Read: ReadWholeFile, OpenForReading and MapWholeFile. Write: WriteWholeFile, WriteNewFile
// and CreateNewFile. Open: OpenForUpdate. WriteAt: the changes made through an OpenFile (WriteAt, Truncate) and
// each NewFile::Write (one that has no bytes to write cannot fail). Move: MoveReplace,
// MoveNew, NewFile::ReplaceInto, NewFile::ReplaceKeeping and NewFile::MoveInto. Flush: NewFile::Flush,
// OpenFile::Flush and FlushFolder.
enum class Operation { Read, Write, Delete, CreateFolder, Move, Find, Open, WriteAt, Flush };
// Several injections may be pending at once.
void InjectFailure(Operation operation, int nth, Status status);
// Forgets every pending injection of either kind and puts the real system calls back.
void ClearInjectedFailures();

// ---- Error log ---------------------------------------------------------------------

// Every failure is logged with the call and the path, as one line:
// "CreateFileW C:\docs\a.txt: AccessDenied (system error 5)". Injected failures add
// "injected" to the system error.
std::string LastError();                                             // the latest line; empty before the first failure
void SetErrorLogHook(std::function<void(const std::string&)> hook);  // sees every line
// The status of the latest failure logged on the calling thread since it last called
// ForgetThreadFailure (Ok when none): what a file that failed met, in words the batch
// can tell the user ("in use", "read-only", "disk full").
Status ThreadFailure();
void ForgetThreadFailure();

}  // namespace cw::platform
