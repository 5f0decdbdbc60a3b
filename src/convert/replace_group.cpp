// Groups of replaces over originals, flushed together.
#include "convert/replace_group.h"

#include <map>
#include <utility>

#include "convert/replace_steps.h"
#include "text/text.h"

namespace cw {

std::shared_ptr<ReplaceOutcome> ReplaceGroup::Add(std::unique_ptr<platform::NewFile> file, std::string finalPath,
                                                  WriteGuard guard, std::function<ConvertStatus(PutResult)> after,
                                                  uint64_t bytes) {
  auto outcome = std::make_shared<ReplaceOutcome>();
  bool full = false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    members_.push_back({std::move(file), std::move(finalPath), std::move(guard), std::move(after), outcome, bytes});
    bytes_ += bytes;
    full = members_.size() >= maxFiles_ || bytes_ >= maxBytes_;
  }
  if (full) Commit();
  return outcome;
}

void ReplaceGroup::Resolve(Member& member, PutResult result, platform::Status cause) {
  const ConvertStatus status = member.after ? member.after(result) : ConvertStatus::WriteFailed;
  member.guard.LetWritersIn();
  const std::lock_guard<std::mutex> lock(member.outcome->mutex);
  member.outcome->status = status;
  member.outcome->cause = status == ConvertStatus::Converted ? platform::Status::Ok : cause;
  member.outcome->settled = true;
  member.outcome->settledChanged.notify_all();
}

// One commit's members with what became of each so far.
struct ReplaceGroup::Round {
  std::vector<Member> members;
  std::vector<PutResult> results;
  std::vector<platform::Status> causes;
  std::vector<std::string> kept;  // where each original is kept for undo ("" when not)

  explicit Round(std::vector<Member> taken)
      : members(std::move(taken)),
        results(members.size(), PutResult::Written),
        causes(members.size(), platform::Status::Ok),
        kept(members.size()) {}
  bool Going(size_t i) const { return results[i] == PutResult::Written; }
  void Fail(size_t i) {
    results[i] = PutResult::Failed;
    causes[i] = platform::ThreadFailure();
    platform::ForgetThreadFailure();
    members[i].file->Abandon();
  }

  // 1. On the disk: each volume in one wait where the system can (the writes were
  // started as each member came), else each file by itself.
  void Flush() {
    platform::ForgetThreadFailure();
    std::map<uint64_t, bool> volumeFlushed;  // by the volume of the original (and so of its temporary)
    for (size_t i = 0; i < members.size(); ++i) {
      const auto [at, first] = volumeFlushed.emplace(members[i].guard.source.volume, false);
      if (first) {
        at->second =
            platform::FlushVolume(text::SplitAtLastBackslash(members[i].finalPath).folder) == platform::Status::Ok;
        platform::ForgetThreadFailure();  // a volume that cannot be flushed whole is no member's failure
      }
      if (!at->second && members[i].file->Flush() != platform::Status::Ok) Fail(i);
    }
  }
  // 2. The undo entries, one journal write and flush per folder, in the members' order.
  void NoteForUndo() {
    std::map<std::string, std::pair<std::vector<size_t>, std::vector<undo::Entry>>> byFolder;
    for (size_t i = 0; i < members.size(); ++i) {
      Member& member = members[i];
      if (!Going(i) || !replace_steps::Keeps(member.finalPath, member.guard, true)) continue;
      kept[i] = replace_steps::KeptPathFor(member.finalPath);
      undo::Entry entry;
      if (!replace_steps::EntryFor(*member.file, member.finalPath, kept[i], member.guard, &entry)) {
        Fail(i);
        continue;
      }
      auto& [indices, entries] = byFolder[text::SplitAtLastBackslash(member.finalPath).folder];
      indices.push_back(i);
      entries.push_back(std::move(entry));
    }
    for (const auto& [folder, noted] : byFolder) {
      if (undo::NoteReplaces(folder, noted.second)) continue;
      for (const size_t i : noted.first) Fail(i);
    }
  }
  // 3. Each original checked once more and replaced; each outcome told.
  void Replace() {
    for (size_t i = 0; i < members.size(); ++i) {
      Member& member = members[i];
      if (Going(i)) {
        results[i] = kept[i].empty()
                         ? replace_steps::FinishReplacing(*member.file, member.finalPath, member.guard, true)
                         : replace_steps::FinishKeeping(*member.file, member.finalPath, member.guard, kept[i]);
        causes[i] = platform::ThreadFailure();
        platform::ForgetThreadFailure();
      }
      Resolve(member, results[i], causes[i]);
    }
  }
};

void ReplaceGroup::Commit() {
  std::vector<Member> members;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    members.swap(members_);
    bytes_ = 0;
  }
  if (members.empty()) return;
  Round round(std::move(members));
  round.Flush();
  round.NoteForUndo();
  round.Replace();
}

void ReplaceGroup::Settle(ReplaceOutcome& outcome) {
  {
    const std::lock_guard<std::mutex> lock(outcome.mutex);
    if (outcome.settled) return;
  }
  // Still waiting here, or under way on another thread that took the group.
  Commit();
  std::unique_lock<std::mutex> lock(outcome.mutex);
  outcome.settledChanged.wait(lock, [&outcome] { return outcome.settled; });
}

}  // namespace cw
