// The safe write protocol: temporary names, stale temporaries, the replace.
#include "convert/safe_write.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <random>

#include "text/text.h"

namespace cw {
namespace {

// A short name in the output's own folder, so that a long output name never pushes
// the temporary one past the system's limit: "~cw" + 8 hex digits + ".tmp".
std::string TemporaryPathFor(const std::string& outputPath) {
  static const unsigned seed = static_cast<unsigned>(std::random_device{}());
  static std::atomic<unsigned> counter{0};
  char name[24];
  std::snprintf(name, sizeof(name), "~cw%08x.tmp", seed + counter++ * 2654435761u);
  const text::PathParts parts = text::SplitAtLastBackslash(outputPath);
  return parts.hasBackslash ? parts.folder + "\\" + name : std::string(name);
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// A new file at a fresh temporary name beside the output.
platform::Status CreateTemporary(const std::string& outputPath, std::string* temporary,
                                 std::unique_ptr<platform::NewFile>* file) {
  platform::Status status = platform::Status::AlreadyExists;
  for (int attempt = 0; attempt < 100 && status == platform::Status::AlreadyExists; ++attempt) {
    *temporary = TemporaryPathFor(outputPath);
    status = platform::CreateNewFile(*temporary, file);
  }
  return status;
}

}  // namespace

bool WriteGuard::SourceUnchanged() const {
  if (!sourceAtStake) return true;
  platform::FileInfo now;
  return platform::QueryFile(sourcePath, &now) == platform::Status::Ok && now.SameContentAs(source);
}

bool IsTemporaryName(std::string_view name) {
  // Both forms end in ".tmp": most names are turned away before a lower-case copy is made.
  if (name.size() < 4 || text::AsciiLower(std::string(name.substr(name.size() - 4))) != ".tmp") return false;
  const std::string lower = text::AsciiLower(std::string(name));
  if (lower.size() == 15 && lower.compare(0, 3, "~cw") == 0 && lower.compare(11, 4, ".tmp") == 0) {
    return std::all_of(lower.begin() + 3, lower.begin() + 11, IsHexDigit);
  }
  // "<name>.cw~<number>.tmp", the temporary name of earlier versions.
  const size_t mark = lower.rfind(".cw~");
  if (mark == std::string::npos || lower.size() < mark + 9 || lower.compare(lower.size() - 4, 4, ".tmp") != 0) {
    return false;
  }
  return std::all_of(lower.begin() + static_cast<std::ptrdiff_t>(mark + 4), lower.end() - 4,
                     [](char c) { return c >= '0' && c <= '9'; });
}

int RemoveStaleTemporaries(const std::string& folder) {
  int removed = 0;
  for (const char* pattern : {"\\~cw*.tmp", "\\*.cw~*.tmp"}) {
    std::vector<platform::DirEntry> entries;
    if (platform::FindEntries(folder + pattern, &entries) != platform::Status::Ok) continue;
    for (const platform::DirEntry& entry : entries) {
      if ((entry.attributes & (platform::kAttrDirectory | platform::kAttrReparsePoint | platform::kAttrDevice)) != 0 ||
          !entry.representable || !IsTemporaryName(entry.name)) {
        continue;
      }
      // A file still being written is held open, and the delete refuses it.
      if (platform::DeleteFile(folder + "\\" + entry.name) == platform::Status::Ok) ++removed;
    }
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
  if (guard.run && guard.run->IsOutput(existing)) return PutResult::NameTaken;
  const uint32_t attributes = platform::GetAttributes(outputPath);
  if (attributes == platform::kInvalidAttributes || !existing.regular ||
      (attributes & (platform::kAttrReadOnly | platform::kAttrDirectory)) != 0) {
    return PutResult::Failed;
  }
  return PutResult::Written;
}

// Every output is written complete under a temporary name first and only then takes
// its final name, so a run killed half-way never leaves a short file under that name:
// a new output by a move that replaces nothing, an existing one (the original itself,
// when overwriting) by a replace that keeps the file's identity. An output not known
// to exist is taken for new (most are, and a lookup that finds nothing is the costly
// kind on some systems); the move that replaces nothing tells otherwise. `made`, when
// given, receives the identity of a new output, taken from the open file (the move keeps
// it), so that nobody has to look the name up again; it is left alone otherwise.
PutResult PutOutput(const std::string& outputPath, const Producer& produce, const WriteGuard& guard,
                    std::optional<platform::FileInfo>* made) {
  platform::FileInfo existing = guard.output;
  bool exists = guard.outputChecked && guard.outputExists;
  std::string finalPath = outputPath;
  if (exists) {
    const PutResult allowed = MayReplace(outputPath, existing, guard);
    if (allowed != PutResult::Written) return allowed;
    // Through a symbolic link the file it names is written; the link stays a link.
    finalPath = platform::ResolveLinks(outputPath);
  }
  std::string temporary;
  std::unique_ptr<platform::NewFile> file;
  const platform::Status created = CreateTemporary(finalPath, &temporary, &file);
  if (created == platform::Status::NotFound) return PutResult::FolderMissing;
  if (created != platform::Status::Ok) return PutResult::Failed;
  if (!produce(*file)) {
    file->Abandon();
    return PutResult::Failed;
  }
  platform::FileInfo identity;
  const bool identified = made && !exists && file->Identify(&identity) == platform::Status::Ok;
  if (file->Close() != platform::Status::Ok) {
    file->Abandon();
    return PutResult::Failed;
  }
  const auto give_up = [&temporary](PutResult result) {
    platform::DeleteFile(temporary);
    return result;
  };
  bool sourceAtStake = guard.sourceAtStake;
  if (!exists) {
    if (sourceAtStake && !guard.SourceUnchanged()) return give_up(PutResult::SourceChanged);
    const platform::Status moved = platform::MoveNew(temporary, finalPath);
    if (moved == platform::Status::Ok) {
      if (identified) *made = identity;
      return PutResult::Written;
    }
    if (moved != platform::Status::AlreadyExists) return give_up(PutResult::Failed);
    // The name is taken after all: it is an existing output, perhaps the source itself.
    if (platform::QueryFile(outputPath, &existing) != platform::Status::Ok) return give_up(PutResult::Failed);
    const PutResult allowed = MayReplace(outputPath, existing, guard);
    if (allowed != PutResult::Written) return give_up(allowed);
    sourceAtStake = sourceAtStake || (!guard.sourcePath.empty() && existing.SameFileAs(guard.source));
  }
  if (sourceAtStake && !guard.SourceUnchanged()) return give_up(PutResult::SourceChanged);
  if (platform::MoveReplace(temporary, finalPath) == platform::Status::Ok) return PutResult::Written;
  // A replace can fail after the replaced file is gone (Windows removes it before it
  // renames the new one). Then the temporary file is the only copy left: it takes the
  // final name if it can, and otherwise stays where it is.
  if (platform::QueryFile(finalPath, &existing) == platform::Status::NotFound) {
    return platform::MoveNew(temporary, finalPath) == platform::Status::Ok ? PutResult::Written : PutResult::Failed;
  }
  return give_up(PutResult::Failed);
}

ConvertStatus WriteResult(const std::string& outputPath, const Producer& produce, const WriteGuard& guard,
                          bool removeSource) {
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
  PutResult put = PutOutput(outputPath, produce, guard, guard.run ? &made : nullptr);
  if (put == PutResult::FolderMissing) {
    if (!CreateParentDirectories(outputPath)) return ConvertStatus::FolderFailed;
    WriteGuard again = guard;
    again.outputChecked = false;
    put = PutOutput(outputPath, produce, again, guard.run ? &made : nullptr);
  }
  if (put == PutResult::NameTaken) return ConvertStatus::NameTaken;
  if (put == PutResult::SourceChanged) return ConvertStatus::SourceChanged;
  if (put != PutResult::Written) return ConvertStatus::WriteFailed;
  if (guard.run) {
    if (guard.sourceAtStake) guard.run->Forget(guard.source);
    platform::FileInfo written;
    if (made) {
      guard.run->AddOutput(*made);
    } else if (platform::QueryFile(outputPath, &written) == platform::Status::Ok) {
      guard.run->AddOutput(written);
    }
  }
  if (removeSource && platform::DeleteFile(guard.sourcePath) != platform::Status::Ok) {
    return ConvertStatus::SourceNotRemoved;
  }
  return ConvertStatus::Converted;
}

}  // namespace cw
