// What one run remembers from file to file: the files it met and the outputs it wrote.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "platform/platform.h"

namespace cw {

// What one run remembers from file to file, so that it converts each file once (by
// identity, whatever path reached it) and never writes an output twice. Safe to share
// between the threads of a parallel batch; the order of their calls is the batch's
// business.
//
// An identity (device and inode, volume and file index) names a file only while it
// lives: once another program (a second run on the same folder) replaces or removes a
// file the run noted, the system gives its identity to the next new file. So a note is
// only taken to name the file met now when the size and time it noted are still the
// file's (FileInfo::SameContentAs), and, when it was noted under another path, that path
// still leads to it (a second name, a hard link). A file that is not the one noted is
// never taken for it; its note replaces the stale one.
class RunRecord {
 public:
  RunRecord() = default;
  // A fresh record for a new run; never while another thread uses either.
  RunRecord& operator=(RunRecord&& other) noexcept {
    notes_ = std::move(other.notes_);
    folders_ = std::move(other.folders_);
    plannedOutputs_ = std::move(other.plannedOutputs_);
    return *this;
  }

  // The file (met under `path`, when known) was converted, or written as an output,
  // earlier in this run.
  bool Seen(const platform::FileInfo& file, const std::string& path = std::string()) const;
  bool IsOutput(const platform::FileInfo& file, const std::string& path = std::string()) const;
  // Notes a source; false when the run has met the file already (then nothing changes).
  bool AddSource(const platform::FileInfo& file, const std::string& path = std::string());
  // A source replaced or removed: its identity may be given to a new file.
  void Forget(const platform::FileInfo& file);
  void AddOutput(const platform::FileInfo& file, const std::string& path = std::string());
  // A dry run writes nothing, so the outputs it would write are known by their paths:
  // false when the path was planned already (a second file would take the name).
  bool AddPlannedOutput(const std::string& path) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return plannedOutputs_.insert(path).second;
  }
  bool IsPlannedOutput(const std::string& path) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return plannedOutputs_.count(path) != 0;
  }
  // The first time a folder is written to in this run, its stale temporary files are
  // removed; a caller that comes while that happens waits for it, so that no new
  // temporary file of this run can be taken for a stale one.
  void PrepareFolder(const std::string& folder);

 private:
  using FileKey = std::pair<uint64_t, uint64_t>;
  static FileKey Key(const platform::FileInfo& file) { return {file.volume, file.index}; }
  // Hashed: a run of many files looks every file up more than once.
  struct KeyHash {
    size_t operator()(const FileKey& key) const {
      return std::hash<uint64_t>()(key.first * 0x9E3779B97F4A7C15ULL ^ key.second);
    }
  };
  // What the run knew of a file when it noted it.
  struct Note {
    platform::FileInfo info;
    std::string path;  // empty when not given
    bool output = false;
  };
  // The note that names the file met now under `path`, or null (none, or a stale one).
  const Note* NoteOf(const platform::FileInfo& file, const std::string& path) const;

  mutable std::mutex mutex_;
  std::unordered_map<FileKey, Note, KeyHash> notes_;
  std::unordered_set<std::string> folders_;
  std::unordered_set<std::string> plannedOutputs_;
};

}  // namespace cw
