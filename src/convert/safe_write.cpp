// The safe write protocol: temporary names, stale temporaries, the replace.
#include "convert/safe_write.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <random>
#include <set>

#include "convert/replace_group.h"
#include "convert/replace_steps.h"
#include "convert/undo.h"
#include "text/text.h"

namespace cw {
namespace {

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool AllHex(std::string_view text) { return !text.empty() && std::all_of(text.begin(), text.end(), IsHexDigit); }

constexpr std::string_view kPrefix = "~cw";
constexpr size_t kIdLength = 16;

// A new file at a fresh temporary name beside the output.
platform::Status CreateTemporary(const std::string& outputPath, std::string* temporary,
                                 std::unique_ptr<platform::NewFile>* file) {
  platform::Status status = platform::Status::AlreadyExists;
  for (int attempt = 0; attempt < 100 && status == platform::Status::AlreadyExists; ++attempt) {
    *temporary = replace_steps::TemporaryPathFor(outputPath);
    status = platform::CreateNewFile(*temporary, file);
  }
  return status;
}

// The names of earlier versions: "~cw" + 8 hex digits + ".tmp", "<name>.cw~<n>.tmp".
bool IsEarlierTemporaryName(const std::string& lower) {
  if (lower.size() == 15 && lower.compare(0, 3, "~cw") == 0 && lower.compare(11, 4, ".tmp") == 0) {
    return AllHex(std::string_view(lower).substr(3, 8));
  }
  const size_t mark = lower.rfind(".cw~");
  if (mark == std::string::npos || lower.size() < mark + 9 || lower.compare(lower.size() - 4, 4, ".tmp") != 0) {
    return false;
  }
  return std::all_of(lower.begin() + static_cast<std::ptrdiff_t>(mark + 4), lower.end() - 4,
                     [](char c) { return c >= '0' && c <= '9'; });
}

// The folders where an original was replaced since they were last flushed.
std::mutex replacedMutex;
std::set<std::string>& ReplacedFolders() {
  static std::set<std::string> folders;
  return folders;
}

}  // namespace

namespace replace_steps {

// A short name in the output's own folder, so that a long output name never pushes
// the temporary one past the system's limit.
std::string TemporaryPathFor(const std::string& outputPath) {
  static std::atomic<unsigned> counter{0};
  static const std::string prefix = std::string(kPrefix) + RunIdentity() + "-";
  char number[16];
  const int digits = std::snprintf(number, sizeof(number), "%x.tmp", counter++);
  const size_t slash = text::FindLast(outputPath, "\\");
  const size_t folder = slash == text::npos ? 0 : slash + 1;  // with its backslash
  std::string path;
  path.reserve(folder + prefix.size() + static_cast<size_t>(digits));
  path.append(outputPath, 0, folder).append(prefix).append(number, static_cast<size_t>(digits));
  return path;
}

void NoteReplacedFolder(const std::string& path) {
  const text::PathParts parts = text::SplitAtLastBackslash(path);
  if (!parts.hasBackslash) return;
  const std::lock_guard<std::mutex> lock(replacedMutex);
  ReplacedFolders().insert(parts.folder);
}

}  // namespace replace_steps

bool WriteGuard::SourceUnchanged() const {
  if (!sourceAtStake) return true;
  platform::FileInfo now;
  return platform::QueryFile(sourcePath, &now) == platform::Status::Ok && now.SameContentAs(source);
}

bool FlushReplacedFolders() {
  std::set<std::string> folders;
  {
    const std::lock_guard<std::mutex> lock(replacedMutex);
    folders.swap(ReplacedFolders());
  }
  bool flushed = true;
  for (const std::string& folder : folders) flushed = platform::FlushFolder(folder) == platform::Status::Ok && flushed;
  return flushed;
}

const std::string& RunIdentity() {
  // Held until the process ends: the system frees the lock then, however it ends.
  static const std::string id = [] {
    // Made whole only once the lock is taken, after the system-call table it uses: so it
    // is let go (and its file removed) before that table goes at exit.
    static const std::unique_ptr<platform::RunLock> lock = [] {
      std::unique_ptr<platform::RunLock> taken;
      platform::AcquireRunLock(platform::DefaultRunLockFolder(), &taken);
      return taken;
    }();
    if (lock) return lock->Id();
    // Without a lock file no other run can prove this one ended, so it never takes
    // these temporaries; the identity only has to be unlikely to repeat.
    std::random_device device;
    char digits[kIdLength + 1];
    std::snprintf(digits, sizeof digits, "%08x%08x", device(), device());
    return std::string(digits);
  }();
  return id;
}

std::string RunIdentityOf(std::string_view name) {
  const std::string lower = text::AsciiLower(std::string(name));
  for (const char* suffix : {".tmp", ".tmp.old", ".tmp.jnl", ".tmp.undo"}) {
    const std::string_view tail(suffix);
    if (lower.size() < kPrefix.size() + kIdLength + 2 + tail.size() ||
        lower.compare(lower.size() - tail.size(), tail.size(), tail) != 0 || lower.compare(0, 3, kPrefix) != 0 ||
        lower[kPrefix.size() + kIdLength] != '-') {
      continue;
    }
    const std::string_view id = std::string_view(lower).substr(kPrefix.size(), kIdLength);
    const size_t numberStart = kPrefix.size() + kIdLength + 1;
    const std::string_view number =
        std::string_view(lower).substr(numberStart, lower.size() - tail.size() - numberStart);
    if (AllHex(id) && AllHex(number)) return std::string(id);
  }
  return std::string();
}

bool IsTemporaryName(std::string_view name) {
  // Every form begins with "~cw" or holds ".cw~": most names are turned away before a
  // lower-case copy is made.
  if (name.size() < 4 ||
      (name[0] != '~' && name.find(".cw~") == std::string_view::npos && name.find(".CW~") == std::string_view::npos)) {
    return false;
  }
  const std::string lower = text::AsciiLower(std::string(name));
  return undo::IsJournalName(lower) || !RunIdentityOf(lower).empty() || IsEarlierTemporaryName(lower);
}

int RemoveStaleTemporaries(const std::string& folder) {
  std::vector<platform::DirEntry> entries;
  if (platform::FindEntries(folder + "\\~cw*.tmp*", &entries) != platform::Status::Ok) return 0;
  const std::string locks = platform::DefaultRunLockFolder();
  const auto ended = [&locks](const std::string& name) {
    const std::string id = RunIdentityOf(name);
    return !id.empty() && id != RunIdentity() && platform::QueryRun(locks, id) == platform::RunState::Ended;
  };
  // Before anything else: an in-place rewrite a killed run left half-done is rolled back.
  platform::RecoverInterruptedRewrites(folder, ended);
  int removed = 0;
  for (const platform::DirEntry& entry : entries) {
    if ((entry.attributes & (platform::kAttrDirectory | platform::kAttrReparsePoint | platform::kAttrDevice)) != 0 ||
        !entry.representable) {
      continue;
    }
    // Only the temporaries themselves: what a replace keeps aside is the business of the
    // roll-back above and of the undo.
    const std::string id = RunIdentityOf(entry.name);
    if (id.empty() || text::AsciiLower(entry.name.substr(entry.name.size() - 4)) != ".tmp") continue;
    if (!ended(entry.name)) continue;
    if (platform::DeleteFile(folder + "\\" + entry.name) == platform::Status::Ok) ++removed;
  }
  return removed;
}

bool CreateParentDirectories(const std::string& path, std::vector<std::string>* created) {
  // Usually the folder is there already (every file after the first of a folder).
  const text::PathParts parts = text::SplitAtLastBackslash(path);
  if (parts.hasBackslash && parts.folder.size() > 2 && platform::Exists(parts.folder)) return true;
  size_t from = 0;
  for (;;) {
    const size_t slash = text::Find(path, "\\", from);
    if (slash == text::npos) return true;
    const std::string prefix = path.substr(0, slash);
    if (prefix.size() != 2) {
      if (!platform::Exists(prefix)) {
        if (platform::CreateFolder(prefix) == platform::Status::Ok) {
          if (created) created->push_back(prefix);
        } else {
          // Another thread of a parallel batch may have made it meanwhile; that is as good.
          const uint32_t attributes = platform::GetAttributes(prefix);
          if (attributes == platform::kInvalidAttributes || (attributes & platform::kAttrDirectory) == 0) return false;
        }
      }
    }
    from = slash + 1;
  }
}

PutResult MayReplace(const std::string& outputPath, const platform::FileInfo& existing, const WriteGuard& guard) {
  if (guard.run && guard.run->IsOutput(existing, outputPath)) return PutResult::NameTaken;
  const uint32_t attributes = platform::GetAttributes(outputPath);
  if (attributes == platform::kInvalidAttributes || !existing.regular ||
      (attributes & (platform::kAttrReadOnly | platform::kAttrDirectory)) != 0) {
    return PutResult::Failed;
  }
  return PutResult::Written;
}

platform::Status ComparingFile::Write(std::string_view bytes) {
  written_ += bytes.size();
  if (comparing_) {
    const std::string_view old = existing_;
    if (old.size() - matched_ >= bytes.size() && old.compare(matched_, bytes.size(), bytes) == 0) {
      matched_ += bytes.size();
      return platform::Status::Ok;
    }
    // The first difference: what matched so far is written after all, and from here
    // on everything goes straight through.
    const platform::Status status = matched_ == 0 ? platform::Status::Ok : file_.Write(old.substr(0, matched_));
    Release();
    if (status != platform::Status::Ok) return status;
  }
  return file_.Write(bytes);
}

std::unique_ptr<platform::MappedFile> MapForComparison(const std::string& path) {
  std::unique_ptr<platform::MappedFile> mapped;
  if (platform::MapWholeFile(path, &mapped) != platform::Status::Ok) mapped.reset();
  return mapped;
}

namespace {

using replace_steps::NoteReplacedFolder;
using replace_steps::ReplaceExisting;

// The undo entry of a renamed original, written and on the disk before the new file
// takes its name: the original is moved aside under `kept` afterwards. False: the
// write must not go on.
bool NoteForUndo(platform::NewFile& file, const std::string& original, const std::string& output,
                 const std::string& kept) {
  undo::Entry entry;
  const text::PathParts at = text::SplitAtLastBackslash(original);
  entry.kept = text::SplitAtLastBackslash(kept).name;
  entry.original = at.name;
  entry.output = text::SplitAtLastBackslash(output).name;
  return file.Identify(&entry.written) == platform::Status::Ok && undo::NoteReplace(at.folder, entry);
}

// The last steps of a write under a name not known to be taken: the move that replaces
// nothing, or, when the name is taken after all, the replace of what holds it.
PutResult PlaceNew(platform::NewFile& file, const std::string& outputPath, const WriteGuard& guard,
                   std::optional<platform::FileInfo>* made) {
  platform::FileInfo identity;
  const bool identified = made && file.Identify(&identity) == platform::Status::Ok;
  // A renamed original goes once its new file is in place: that file must be on the
  // disk before the old name can go.
  if (guard.sourceAtStake && file.Flush() != platform::Status::Ok) {
    file.Abandon();
    return PutResult::Failed;
  }
  // A renamed original is moved aside afterwards rather than removed: noted first.
  if (!guard.keepSourceAs.empty() && !NoteForUndo(file, guard.sourcePath, outputPath, guard.keepSourceAs)) {
    file.Abandon();
    return PutResult::Failed;
  }
  if (guard.sourceAtStake && !guard.SourceUnchanged()) {
    file.Abandon();
    return PutResult::SourceChanged;
  }
  const platform::Status moved = file.MoveInto(outputPath);
  if (moved == platform::Status::Ok) {
    if (identified) *made = identity;
    return PutResult::Written;
  }
  platform::FileInfo existing;
  if (moved != platform::Status::AlreadyExists || platform::QueryFile(outputPath, &existing) != platform::Status::Ok) {
    file.Abandon();
    return PutResult::Failed;
  }
  // The name is taken after all: it is an existing output, perhaps the source itself.
  const PutResult allowed = MayReplace(outputPath, existing, guard);
  if (allowed != PutResult::Written) {
    file.Abandon();
    return allowed;
  }
  const bool sourceAtStake = guard.sourceAtStake || (!guard.sourcePath.empty() && existing.SameFileAs(guard.source));
  return ReplaceExisting(file, platform::ResolveLinks(outputPath), guard, sourceAtStake);
}

}  // namespace

// Every output is written complete under a temporary name first and only then takes
// its final name, so a run killed half-way never leaves a short file under that name:
// a new output by a move that replaces nothing, an existing one (the original itself,
// when overwriting) by a replace that keeps the file's identity. An output not known
// to exist is taken for new (most are, and a lookup that finds nothing is the costly
// kind on some systems); the move that replaces nothing tells otherwise. An original
// is compared with what is written: the same bytes again are not written at all
// (Unchanged), so it keeps its times. `made`, when given, receives the identity of a new
// output, taken from the open file (the move keeps it), so that nobody has to look the
// name up again; it is left alone otherwise. The temporary stays open until it has its
// name, so nobody's sweep of stale temporaries can take it.
PutResult PutOutput(const std::string& outputPath, const Producer& produce, const WriteGuard& guard,
                    std::optional<platform::FileInfo>* made, Parking* parking) {
  const bool exists = guard.outputChecked && guard.outputExists;
  std::string finalPath = outputPath;
  if (exists) {
    const PutResult allowed = MayReplace(outputPath, guard.output, guard);
    if (allowed != PutResult::Written) return allowed;
    // Through a symbolic link the file it names is written; the link stays a link.
    finalPath = platform::ResolveLinks(outputPath);
  }
  std::string temporary;
  std::unique_ptr<platform::NewFile> file;
  const platform::Status created = CreateTemporary(finalPath, &temporary, &file);
  if (created == platform::Status::NotFound) return PutResult::FolderMissing;
  if (created != platform::Status::Ok) return PutResult::Failed;
  // Over the original, the same bytes again are not written (outputs elsewhere are).
  const bool overOriginal = exists && guard.sourceAtStake;
  ComparingFile compared = overOriginal && guard.sourceBytes && guard.output.SameFileAs(guard.source)
                               ? ComparingFile(*file, *guard.sourceBytes)
                               : ComparingFile(*file, overOriginal ? MapForComparison(finalPath) : nullptr);
  const bool produced = produce(compared);
  const bool same = produced && compared.Same();
  compared.Release();
  if (!produced || same) {
    file->Abandon();
    return same ? PutResult::Unchanged : PutResult::Failed;
  }
  // Over its own original, in a group: the rest waits for the group's flush. A file with
  // other names is replaced at once: until then the run takes each of its names for the
  // file it has met, and on Windows (where the replace gives the name a file of its own)
  // the other names must be converted by themselves after it.
  if (exists && parking && guard.group && guard.sourceAtStake && guard.output.SameFileAs(guard.source) &&
      guard.source.links <= 1) {
    file->StartFlush();
    WriteGuard waiting = guard;
    waiting.group = nullptr;
    waiting.sourceBytes = nullptr;  // the caller's, gone by then
    parking->outcome =
        guard.group->Add(std::move(file), finalPath, std::move(waiting), std::move(parking->after), compared.Written());
    return PutResult::Pending;
  }
  if (exists) return ReplaceExisting(*file, finalPath, guard, guard.sourceAtStake);
  return PlaceNew(*file, finalPath, guard, made);
}

namespace {

// The status of a write that put its output (or not) as `put` says; a written one is
// noted in the run's record.
ConvertStatus Placed(PutResult put, const std::string& outputPath, const WriteGuard& guard,
                     const std::optional<platform::FileInfo>& made) {
  if (put == PutResult::NameTaken) return ConvertStatus::NameTaken;
  if (put == PutResult::SourceChanged) return ConvertStatus::SourceChanged;
  if (put == PutResult::Unchanged) return ConvertStatus::Unchanged;
  if (put != PutResult::Written) return ConvertStatus::WriteFailed;
  if (guard.run) {
    if (guard.sourceAtStake) guard.run->Forget(guard.source);
    platform::FileInfo written;
    if (made) {
      guard.run->AddOutput(*made, outputPath);
    } else if (platform::QueryFile(outputPath, &written) == platform::Status::Ok) {
      guard.run->AddOutput(written, outputPath);
    }
  }
  return ConvertStatus::Converted;
}

}  // namespace

ConvertStatus WriteResult(const std::string& outputPath, const Producer& produce, const WriteGuard& guard,
                          bool removeSource, std::shared_ptr<ReplaceOutcome>* pending) {
  // The output folders are created when the write finds them missing (most files of a
  // batch go into a folder that exists by then). The old name of a renamed original
  // goes only after the new file is in place, so a failed write never costs the user
  // the original.
  if (outputPath.empty()) return ConvertStatus::WriteFailed;
  if (guard.run) {
    const text::PathParts parts = text::SplitAtLastBackslash(outputPath);
    if (parts.hasBackslash) guard.run->PrepareFolder(parts.folder);
  }
  std::optional<platform::FileInfo> made;
  WriteGuard kept = guard;
  // Renamed in a run that can be undone, the original is moved aside, not removed.
  if (removeSource && guard.keepForUndo && text::SplitAtLastBackslash(guard.sourcePath).hasBackslash) {
    kept.keepSourceAs = replace_steps::KeptPathFor(guard.sourcePath);
  }
  // A replace of the original that waits for its group ends as Placed says, then.
  Parking parking;
  Parking* const park = pending && guard.group && !removeSource ? &parking : nullptr;
  if (park) {
    parking.after = [outputPath, kept](PutResult put) { return Placed(put, outputPath, kept, std::nullopt); };
  }
  PutResult put = PutOutput(outputPath, produce, kept, guard.run ? &made : nullptr, park);
  if (put == PutResult::FolderMissing) {
    if (!CreateParentDirectories(outputPath)) return ConvertStatus::FolderFailed;
    kept.outputChecked = false;
    put = PutOutput(outputPath, produce, kept, guard.run ? &made : nullptr, park);
  }
  if (put == PutResult::Pending) {
    *pending = std::move(parking.outcome);
    return ConvertStatus::Converted;  // so far: the group decides
  }
  const ConvertStatus status = Placed(put, outputPath, kept, made);
  if (status != ConvertStatus::Converted || !removeSource) return status;
  guard.LetWritersIn();  // the new file has its name; the old one goes now
  const platform::Status gone = kept.keepSourceAs.empty() ? platform::DeleteFile(guard.sourcePath)
                                                          : platform::MoveNew(guard.sourcePath, kept.keepSourceAs);
  if (gone != platform::Status::Ok) return ConvertStatus::SourceNotRemoved;
  NoteReplacedFolder(guard.sourcePath);
  return ConvertStatus::Converted;
}

}  // namespace cw
