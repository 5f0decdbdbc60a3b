// The files of one batch pass converted on several threads, ahead of the batch that
// takes their outcomes one by one in the pass's order. Every outcome, and every file on
// disk, is what converting the files one after another would have given.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "batch/file_results.h"
#include "convert/convert_file.h"
#include "convert/options.h"

namespace cw::batch {

// One file of a pass: where it goes and how it is converted.
struct PassFile {
  std::string source;
  std::string output;  // before a file-name conversion
  ConversionOptions options;
};

// What became of one file (or, in a dry run, what would).
struct FileWork {
  FileResult result;
  ConvertReport report;
  std::string output;  // the output path as the batch names it to its observer
};

// Converts one file as a batch does: through the run's record, or planned only.
FileWork ConvertForBatch(const PassFile& file, RunRecord* record, bool dryRun);

// The number of threads a parallel batch uses when none is asked for: one per core.
int DefaultJobCount();

class ParallelPass {
 public:
  // Starts `jobs` threads over the files. Two files whose sources or outputs may be the
  // same file (the same path up to letter case, or the same identity) are never
  // converted at once, and the later waits for the earlier: that keeps the order of
  // the run's record (a duplicate is the later one, the earlier output keeps a name
  // two files map to) without ordering files that cannot meet.
  ParallelPass(std::vector<PassFile> files, RunRecord* record, bool dryRun, int jobs);
  // Files not yet begun are left alone; those under way finish first.
  ~ParallelPass();
  ParallelPass(const ParallelPass&) = delete;
  ParallelPass& operator=(const ParallelPass&) = delete;

  // The outcome of the file at `index`, waiting for it.
  FileWork& Take(size_t index);

 private:
  enum class Stage { Waiting, Keyed, Done };
  struct Slot {
    PassFile file;
    Stage stage = Stage::Waiting;
    std::vector<std::string> keys;  // what the file may touch
    FileWork work;
  };

  void Work();
  // Whether the slot can be converted now: every earlier file under way has its keys,
  // and none shares one.
  bool MayStart(size_t index) const;

  std::vector<Slot> slots_;
  RunRecord* record_;
  bool dryRun_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0;            // the next file a thread takes
  std::vector<size_t> active_;  // the files taken and not done, at most one per thread
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace cw::batch
