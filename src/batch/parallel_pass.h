// The files of one batch pass converted on several threads, ahead of the batch that
// takes their outcomes one by one in the pass's order. Every outcome, and every file on
// disk, is what converting the files one after another would have given.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "batch/file_results.h"
#include "convert/convert_file.h"
#include "convert/options.h"

namespace cw::batch {

// What became of one file (or, in a dry run, what would).
struct FileWork {
  FileResult result;
  ConvertReport report;
  std::string output;  // the output path as the batch names it to its observer
  // The replace of the original waits for its group: the status is Converted only so
  // far (see BatchRun's Settle).
  std::shared_ptr<ReplaceOutcome> pending;
};

// Converts one file as a batch does, through the run's record; a dry run previews the
// plan and writes nothing.
FileWork ConvertForBatch(const ConversionRequest& request, RunRecord* record, bool dryRun);
// What converts the files of a batch: ConvertForBatch, or a stand-in that a test
// scripts.
using FileConverter = std::function<FileWork(const ConversionRequest& request, RunRecord* record, bool dryRun)>;

// The number of threads a parallel batch uses when none is asked for: one per core.
int DefaultJobCount();

class ParallelPass {
 public:
  // Converts the files with `jobs` threads: the caller's own, in Take, and jobs - 1
  // more. Two files whose sources or outputs may be the same file (the same path up to
  // letter case, or the same identity) are never converted at once, and the later
  // waits for the earlier: that keeps the order of the run's record (a duplicate is the
  // later one, the earlier output keeps a name two files map to) without ordering files
  // that cannot meet.
  ParallelPass(std::vector<ConversionRequest> files, RunRecord* record, bool dryRun, int jobs,
               FileConverter convert = ConvertForBatch);
  // Begins no more files; returns how many were begun (each is still converted, and
  // Take gives it).
  size_t Stop();
  // Stops; the files under way finish first.
  ~ParallelPass();
  ParallelPass(const ParallelPass&) = delete;
  ParallelPass& operator=(const ParallelPass&) = delete;

  // The outcome of the file at `index`; until it is done the caller converts files
  // nobody has begun, or waits.
  FileWork& Take(size_t index);

 private:
  enum class Stage { Waiting, Keyed, Done };
  // Small, so that making one per file before the threads start costs little: the
  // outcome is made by the thread that converts the file.
  struct Slot {
    Stage stage = Stage::Waiting;
    std::vector<std::string> keys;  // what the file may touch
    std::unique_ptr<FileWork> work;
  };

  // Begins the next file nobody has begun and converts it, after marking `finished`
  // (the file this thread converted last, if any) done. False when none is left.
  bool Step(std::unique_lock<std::mutex>& lock, size_t* finished);
  void Finish(size_t index);
  // Whether the slot can be converted now: every earlier file under way has its keys,
  // and none shares one.
  bool MayStart(size_t index) const;

  std::vector<ConversionRequest> requests_;
  std::vector<Slot> slots_;  // one per file, in the files' order
  RunRecord* record_;
  bool dryRun_;
  FileConverter convert_;
  std::mutex mutex_;
  std::condition_variable mayStart_;  // a file got its keys or was done
  std::condition_variable done_;      // the file Take waits for is done
  int waitingToStart_ = 0;
  size_t wanted_ = SIZE_MAX;    // the file Take waits for
  size_t next_ = 0;             // the next file to begin
  std::vector<size_t> active_;  // the files begun and not done, at most one per thread
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace cw::batch
