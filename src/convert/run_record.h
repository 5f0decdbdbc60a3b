// What one run remembers from file to file: the files it met and the outputs it wrote.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_set>
#include <utility>

#include "platform/platform.h"

namespace cw {

// What one run remembers from file to file, so that it converts each file once (by
// identity, whatever path reached it) and never writes an output twice. Safe to share
// between the threads of a parallel batch; the order of their calls is the batch's
// business.
class RunRecord {
 public:
  RunRecord() = default;
  // A fresh record for a new run; never while another thread uses either.
  RunRecord& operator=(RunRecord&& other) noexcept {
    seen_ = std::move(other.seen_);
    outputs_ = std::move(other.outputs_);
    folders_ = std::move(other.folders_);
    plannedOutputs_ = std::move(other.plannedOutputs_);
    return *this;
  }

  // The file was converted, or written as an output, earlier in this run.
  bool Seen(const platform::FileInfo& file) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return seen_.count(Key(file)) != 0;
  }
  bool IsOutput(const platform::FileInfo& file) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return outputs_.count(Key(file)) != 0;
  }
  // Notes a source; false when the run has met the file already (then nothing changes).
  bool AddSource(const platform::FileInfo& file) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return seen_.insert(Key(file)).second;
  }
  // A source replaced or removed: its identity may be given to a new file.
  void Forget(const platform::FileInfo& file) {
    const std::lock_guard<std::mutex> lock(mutex_);
    seen_.erase(Key(file));
  }
  void AddOutput(const platform::FileInfo& file) {
    const std::lock_guard<std::mutex> lock(mutex_);
    seen_.insert(Key(file));
    outputs_.insert(Key(file));
  }
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
  mutable std::mutex mutex_;
  std::unordered_set<FileKey, KeyHash> seen_;
  std::unordered_set<FileKey, KeyHash> outputs_;
  std::unordered_set<std::string> folders_;
  std::unordered_set<std::string> plannedOutputs_;
};

}  // namespace cw
