// The run record: the files a run met and wrote, and its folder preparation.
#include "convert/run_record.h"

#include "convert/safe_write.h"

namespace cw {

const RunRecord::Note* RunRecord::NoteOf(const platform::FileInfo& file, const std::string& path) const {
  const auto found = notes_.find(Key(file));
  if (found == notes_.end()) return nullptr;
  const Note& note = found->second;
  if (!note.info.SameContentAs(file)) return nullptr;
  if (note.path.empty() || path.empty() || note.path == path) return &note;
  // Met under another name: the same file only if the noted name still leads to it. Rare
  // (a second name, or an identity given again), so the lookup costs nothing in a run.
  platform::FileInfo there;
  if (platform::QueryFile(note.path, &there) != platform::Status::Ok || !there.SameContentAs(note.info)) return nullptr;
  return &note;
}

bool RunRecord::Seen(const platform::FileInfo& file, const std::string& path) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return NoteOf(file, path) != nullptr;
}

bool RunRecord::IsOutput(const platform::FileInfo& file, const std::string& path) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  const Note* note = NoteOf(file, path);
  return note != nullptr && note->output;
}

bool RunRecord::AddSource(const platform::FileInfo& file, const std::string& path) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (NoteOf(file, path) != nullptr) return false;
  notes_[Key(file)] = Note{file, path, false};
  return true;
}

void RunRecord::Forget(const platform::FileInfo& file) {
  const std::lock_guard<std::mutex> lock(mutex_);
  notes_.erase(Key(file));
}

void RunRecord::AddOutput(const platform::FileInfo& file, const std::string& path) {
  const std::lock_guard<std::mutex> lock(mutex_);
  notes_[Key(file)] = Note{file, path, true};
}

void RunRecord::PrepareFolder(const std::string& folder) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (folders_.insert(folder).second) RemoveStaleTemporaries(folder);
}

}  // namespace cw
