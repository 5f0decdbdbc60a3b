// The steps of a replace over an existing output: flush, undo entry, late check, replace.
#include "convert/replace_steps.h"

#include <functional>

#include "text/text.h"

namespace cw::replace_steps {
namespace {

// The replace itself. Refused with the original held against writers, the volume cannot
// replace a held file after all: the hold goes and, once the original was checked
// again, the replace is tried once more.
PutResult MakeReplace(const WriteGuard& guard, const std::function<platform::Status()>& replace) {
  platform::Status status = replace();
  if ((status == platform::Status::AccessDenied || status == platform::Status::SharingViolation) && guard.writers) {
    guard.LetWritersIn();
    if (!guard.SourceUnchanged()) return PutResult::SourceChanged;
    status = replace();
  }
  return status == platform::Status::Ok ? PutResult::Written : PutResult::Failed;
}

}  // namespace

bool Keeps(const std::string& finalPath, const WriteGuard& guard, bool sourceAtStake) {
  return sourceAtStake && guard.keepForUndo && text::SplitAtLastBackslash(finalPath).hasBackslash &&
         guard.keepSourceAs.empty();
}

bool EntryFor(platform::NewFile& file, const std::string& finalPath, const std::string& kept, const WriteGuard& guard,
              undo::Entry* entry) {
  entry->kept = text::SplitAtLastBackslash(kept).name;
  entry->original = text::SplitAtLastBackslash(finalPath).name;
  entry->output = entry->original;
  if (file.Identify(&entry->written) != platform::Status::Ok) return false;
#ifndef _WIN32
  // A file with other names is rewritten in place (POSIX; Windows gives the new file
  // the name, and the links go their way): it stays itself, at a time not known yet.
  if (guard.source.links > 1) {
    entry->written.volume = guard.source.volume;
    entry->written.index = guard.source.index;
    entry->written.modified = undo::kAnyTime;
  }
#else
  (void)guard;
#endif
  return true;
}

PutResult FinishKeeping(platform::NewFile& file, const std::string& finalPath, const WriteGuard& guard,
                        const std::string& kept) {
  if (!guard.SourceUnchanged()) {
    file.Abandon();
    return PutResult::SourceChanged;
  }
  const PutResult replaced = MakeReplace(guard, [&] { return file.ReplaceKeeping(finalPath, kept); });
  if (replaced != PutResult::Written) {
    file.Abandon();
    return replaced;
  }
  NoteReplacedFolder(finalPath);
  return PutResult::Written;
}

PutResult FinishReplacing(platform::NewFile& file, const std::string& finalPath, const WriteGuard& guard,
                          bool sourceAtStake) {
  if (sourceAtStake && !guard.SourceUnchanged()) {
    file.Abandon();
    return PutResult::SourceChanged;
  }
  const PutResult replaced = MakeReplace(guard, [&] { return file.ReplaceInto(finalPath); });
  if (replaced == PutResult::SourceChanged) {
    file.Abandon();
    return replaced;
  }
  if (replaced != PutResult::Written) {
    // Should a replace ever fail after the replaced file went (a volume that can only
    // delete and then move), the temporary is the only copy left: it takes the name.
    platform::FileInfo now;
    if (platform::QueryFile(finalPath, &now) == platform::Status::NotFound &&
        file.MoveInto(finalPath) == platform::Status::Ok) {
      return PutResult::Written;
    }
    file.Abandon();
    return PutResult::Failed;
  }
  if (sourceAtStake) NoteReplacedFolder(finalPath);
  return PutResult::Written;
}

PutResult ReplaceExisting(platform::NewFile& file, const std::string& finalPath, const WriteGuard& guard,
                          bool sourceAtStake) {
  if (sourceAtStake && file.Flush() != platform::Status::Ok) {
    file.Abandon();
    return PutResult::Failed;
  }
  if (!Keeps(finalPath, guard, sourceAtStake)) return FinishReplacing(file, finalPath, guard, sourceAtStake);
  // The undo entry, written and on the disk before the replace.
  const std::string kept = KeptPathFor(finalPath);
  undo::Entry entry;
  if (!EntryFor(file, finalPath, kept, guard, &entry) ||
      !undo::NoteReplace(text::SplitAtLastBackslash(finalPath).folder, entry)) {
    file.Abandon();
    return PutResult::Failed;
  }
  return FinishKeeping(file, finalPath, guard, kept);
}

}  // namespace cw::replace_steps
