// The threads of a parallel batch pass, and the order they keep between files that may
// meet.
#include "batch/parallel_pass.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

#include "batch/batch_job.h"
#include "convert/script_conversion.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw::batch {
namespace {

// What a file may touch, as texts that are equal when two files could touch the same
// thing: its source and its output path, folded to lower case (a file system that
// ignores case sees one file), and the identity of its source (a second name of one
// file, a link). Folding the trail bytes of two-byte characters too can only make
// more keys equal, which orders more files than needed and nothing else.
std::vector<std::string> KeysOf(const ConversionRequest& file) {
  std::vector<std::string> keys;
  keys.push_back(text::AsciiLower(file.source));
  std::string output = file.output;
  if (file.options.scriptConversion != ScriptConversion::None && file.options.convertFileName) {
    const text::PathParts parts = text::SplitAtLastBackslash(output);
    const std::string name = MapFileName(file.options.scriptConversion, parts.name);
    output = parts.hasBackslash ? parts.folder + "\\" + name : name;
  }
  keys.push_back(text::AsciiLower(output));
  platform::FileInfo info;
  if (platform::QueryFile(file.source, &info) == platform::Status::Ok) {
    keys.push_back("#" + std::to_string(info.volume) + ":" + std::to_string(info.index));
  }
  return keys;
}

bool ShareAKey(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  for (const std::string& key : a) {
    if (std::find(b.begin(), b.end(), key) != b.end()) return true;
  }
  return false;
}

}  // namespace

FileWork ConvertForBatch(const ConversionRequest& request, RunRecord* record, bool dryRun) {
  FileWork work;
  FileResult& result = work.result;
  result.source = request.source;
  work.output = request.output;
  platform::ForgetThreadFailure();
  try {
    ConversionPlan plan = PlanConversion(request, record);
    result.status = dryRun ? Preview(plan) : Execute(plan);
    work.report = std::move(plan.report);
    work.output = std::move(plan.outputPath);
    work.pending = std::move(plan.pendingReplace);
  } catch (const std::bad_alloc&) {
    // Out of memory on the way is a failed file, never a crash.
    result.status = ConvertStatus::TooLarge;
  }
  result.output = work.output;
  NoteOutcome(&result, work.report);
  return work;
}

int DefaultJobCount() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

ParallelPass::ParallelPass(std::vector<ConversionRequest> requests, RunRecord* record, bool dryRun, int jobs,
                           FileConverter convert)
    : requests_(std::move(requests)),
      slots_(requests_.size()),
      record_(record),
      dryRun_(dryRun),
      convert_(std::move(convert)) {
  const size_t helpers = std::min(static_cast<size_t>(std::max(jobs, 1)) - 1, slots_.size());
  try {
    for (size_t i = 0; i < helpers; ++i) {
      threads_.emplace_back([this] {
        std::unique_lock<std::mutex> lock(mutex_);
        size_t finished = SIZE_MAX;
        while (Step(lock, &finished)) {
        }
      });
    }
  } catch (const std::system_error&) {
    // Fewer threads than asked for still convert every file: Take converts too.
  }
}

ParallelPass::~ParallelPass() {
  Stop();
  for (std::thread& thread : threads_) thread.join();
}

size_t ParallelPass::Stop() {
  const std::lock_guard<std::mutex> lock(mutex_);
  stopping_ = true;
  return next_;
}

bool ParallelPass::MayStart(size_t index) const {
  for (const size_t earlier : active_) {
    if (earlier >= index) continue;
    const Slot& slot = slots_[earlier];
    if (slot.stage == Stage::Waiting) return false;
    if (ShareAKey(slot.keys, slots_[index].keys)) return false;
  }
  return true;
}

void ParallelPass::Finish(size_t index) {
  slots_[index].stage = Stage::Done;
  active_.erase(std::find(active_.begin(), active_.end(), index));
  // Waking only who waits: most files meet no other and nobody waits for them.
  if (waitingToStart_ > 0) mayStart_.notify_all();
  if (index == wanted_) done_.notify_one();
}

bool ParallelPass::Step(std::unique_lock<std::mutex>& lock, size_t* finished) {
  if (*finished != SIZE_MAX) Finish(*finished);
  *finished = SIZE_MAX;
  if (stopping_ || next_ >= slots_.size()) return false;
  const size_t index = next_++;
  active_.push_back(index);
  Slot& slot = slots_[index];
  lock.unlock();
  // A dry run keeps its record too (what it met, the outputs it would write), so its
  // files are ordered as a run's are.
  const ConversionRequest& file = requests_[index];
  std::vector<std::string> keys = KeysOf(file);
  lock.lock();
  slot.keys = std::move(keys);
  slot.stage = Stage::Keyed;
  if (waitingToStart_ > 0) mayStart_.notify_all();
  if (!MayStart(index)) {
    ++waitingToStart_;
    mayStart_.wait(lock, [this, index] { return MayStart(index); });
    --waitingToStart_;
  }
  lock.unlock();
  slot.work = std::make_unique<FileWork>(convert_(file, record_, dryRun_));
  lock.lock();
  *finished = index;
  return true;
}

FileWork& ParallelPass::Take(size_t index) {
  Slot& slot = slots_[index];
  std::unique_lock<std::mutex> lock(mutex_);
  // Converting files nobody has begun, while there are any, keeps this thread one of
  // the jobs.
  size_t finished = SIZE_MAX;
  for (;;) {
    if (finished != SIZE_MAX) Finish(finished);
    finished = SIZE_MAX;
    if (slot.stage == Stage::Done || !Step(lock, &finished)) break;
  }
  wanted_ = index;
  done_.wait(lock, [&slot] { return slot.stage == Stage::Done; });
  wanted_ = SIZE_MAX;
  return *slot.work;
}

}  // namespace cw::batch
