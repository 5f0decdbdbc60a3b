// Replaces over originals made in groups, so that their flushes are one wait for the
// disk instead of one each: every temporary of the group is written and its flush
// started as it comes; when the group is full (or its run needs an outcome), all are
// flushed (the system has mostly written them out together by then), their undo entries
// go into each folder's journal in one write and one flush, and only then is each
// original checked once more and replaced, in the order they came.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "convert/safe_write.h"

namespace cw {

// What became of a replace that waited for its group.
struct ReplaceOutcome {
  ConvertStatus status = ConvertStatus::WriteFailed;
  platform::Status cause = platform::Status::Ok;  // the system's reason, for a failure
  bool settled = false;
  std::mutex mutex;
  std::condition_variable settledChanged;
};

class ReplaceGroup {
 public:
  // A group is full at `files` members or `bytes` of temporaries, whichever comes first.
  explicit ReplaceGroup(size_t files = 64, uint64_t bytes = 16u << 20) : maxFiles_(files), maxBytes_(bytes) {}
  // Whatever still waits is replaced: nothing a run wrote is left behind unplaced.
  ~ReplaceGroup() { Commit(); }
  ReplaceGroup(const ReplaceGroup&) = delete;
  ReplaceGroup& operator=(const ReplaceGroup&) = delete;

  // Takes a temporary of `bytes`, written complete and its flush started, that is to
  // replace the original at `finalPath` (the guard's source). `after` turns the
  // replace's result into the file's status (the caller's last steps: the run's
  // record). Commits the group when it is full, on this thread.
  std::shared_ptr<ReplaceOutcome> Add(std::unique_ptr<platform::NewFile> file, std::string finalPath, WriteGuard guard,
                                      std::function<ConvertStatus(PutResult)> after, uint64_t bytes);
  size_t MaxFiles() const { return maxFiles_; }
  // Flushes, notes and replaces every member waiting now (see the top of this file).
  void Commit();
  // The outcome, once its replace was made: committed here when still waiting.
  void Settle(ReplaceOutcome& outcome);

 private:
  struct Member {
    std::unique_ptr<platform::NewFile> file;
    std::string finalPath;
    WriteGuard guard;
    std::function<ConvertStatus(PutResult)> after;
    std::shared_ptr<ReplaceOutcome> outcome;
    uint64_t bytes = 0;
  };
  struct Round;
  static void Resolve(Member& member, PutResult result, platform::Status cause);

  const size_t maxFiles_;
  const uint64_t maxBytes_;
  std::mutex mutex_;
  std::vector<Member> members_;
  uint64_t bytes_ = 0;
};

}  // namespace cw
