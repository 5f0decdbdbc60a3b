// The write protocol that never loses the original: every output is written complete
// under a temporary name beside it and only then takes its name; an existing output (the
// original itself, when overwriting) is replaced in one step, keeping its identity.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/run_record.h"
#include "convert/status.h"
#include "platform/platform.h"

namespace cw {

// Writes the output's bytes into an open new file; false when a write failed.
using Producer = std::function<bool(platform::NewFile&)>;

class ReplaceGroup;     // convert/replace_group.h
struct ReplaceOutcome;  // the same

// What a write must respect besides the output itself.
struct WriteGuard {
  std::string sourcePath;
  platform::FileInfo source;   // the source as it was read
  bool sourceAtStake = false;  // the output replaces or removes the source
  RunRecord* run = nullptr;
  // The output as the caller found it just before (saves asking twice).
  // Overwriting in a run that can be undone: a replaced original is kept aside (and a
  // renamed one moved aside, not removed), with an undo journal entry first.
  bool keepForUndo = false;
  // Overwriting: other programs kept from writing the original from the read to the
  // replace (Windows, where the volume can replace a held file).
  std::shared_ptr<platform::WriteBlock> writers;
  void LetWritersIn() const {
    if (writers) writers->Release();
  }
  std::string keepSourceAs;  // set by the write: where a renamed original is moved
  bool outputChecked = false;
  bool outputExists = false;
  platform::FileInfo output;
  // The source's bytes as read, while the caller still holds them (null otherwise):
  // over its own file the write compares with these rather than read the file again.
  const std::string_view* sourceBytes = nullptr;
  // Where a replace of the original by its conversion waits to be flushed together with
  // others (a batch run); null: it is made at once.
  ReplaceGroup* group = nullptr;

  // A source that another program changed since it was read must not be replaced by
  // the conversion of its old content.
  bool SourceUnchanged() const;
};

// Pending: the replace waits for its group (see ReplaceGroup).
enum class PutResult { Written, FolderMissing, Failed, NameTaken, SourceChanged, Unchanged, Pending };

// Passes the bytes on to `file` only from where they first differ from `existing` (the
// file already at the output, mapped, or its bytes as read): a file that would get its
// own bytes again is never written. Same() says, once everything was written, whether
// nothing differed; Release() lets the mapping go (a mapped file cannot be replaced on
// Windows).
class ComparingFile final : public platform::NewFile {
 public:
  ComparingFile(platform::NewFile& file, std::unique_ptr<platform::MappedFile> existing)
      : file_(file), mapped_(std::move(existing)), comparing_(mapped_ != nullptr) {
    if (mapped_) existing_ = mapped_->Bytes();
  }
  ComparingFile(platform::NewFile& file, std::string_view existing)
      : file_(file), existing_(existing), comparing_(true) {}
  platform::Status Write(std::string_view bytes) override;
  uint64_t Written() const { return written_; }  // every byte given, written or matched
  bool Same() const { return comparing_ && matched_ == existing_.size(); }
  void Release() {
    mapped_.reset();
    existing_ = std::string_view();
    comparing_ = false;
  }

  platform::Status Close() override { return file_.Close(); }
  void Abandon() override { file_.Abandon(); }
  platform::Status Identify(platform::FileInfo* info) override { return file_.Identify(info); }
  platform::Status Flush() override { return file_.Flush(); }
  void StartFlush() override { file_.StartFlush(); }
  platform::Status ReplaceInto(const std::string& path) override { return file_.ReplaceInto(path); }
  platform::Status MoveInto(const std::string& path) override { return file_.MoveInto(path); }
  platform::Status ReplaceKeeping(const std::string& path, const std::string& kept) override {
    return file_.ReplaceKeeping(path, kept);
  }

 private:
  platform::NewFile& file_;
  std::unique_ptr<platform::MappedFile> mapped_;
  std::string_view existing_;
  bool comparing_ = false;  // until the first difference
  size_t matched_ = 0;
  uint64_t written_ = 0;
};
// The file at `path` mapped for a ComparingFile; null when it cannot be mapped (then
// the output is written as if it differed).
std::unique_ptr<platform::MappedFile> MapForComparison(const std::string& path);

// Whether an existing output may be replaced: not an output of this run (NameTaken),
// and a plain file that is not read-only (Failed otherwise). Written means yes.
PutResult MayReplace(const std::string& outputPath, const platform::FileInfo& existing, const WriteGuard& guard);

// How a replace of the original waits for the guard's group: `after` gives the file's
// status from the replace's result once it is made; `outcome` is where that goes.
struct Parking {
  std::function<ConvertStatus(PutResult)> after;
  std::shared_ptr<ReplaceOutcome> outcome;
};

// Puts the output at its path (see the top of this file). `made`, when given, receives
// the identity of a new output. With `parking` and a group in the guard, a replace of
// the original by its conversion is left to the group (Pending).
PutResult PutOutput(const std::string& outputPath, const Producer& produce, const WriteGuard& guard = {},
                    std::optional<platform::FileInfo>* made = nullptr, Parking* parking = nullptr);

// Puts the output at its path, creating its folders when they are missing, notes it in
// the run's record, and removes a renamed original once its new file is in place. With
// `pending` and a group in the guard, a replace of the original may wait for its group:
// then Converted so far, and *pending says the rest.
ConvertStatus WriteResult(const std::string& outputPath, const Producer& produce, const WriteGuard& guard,
                          bool removeSource, std::shared_ptr<ReplaceOutcome>* pending = nullptr);

// Puts on the disk the folder entries of every replace of an original made since the
// last call (POSIX: a rename survives a power cut once its folder is flushed). A run
// calls it when it ends; the replaces themselves flush the files. False when a folder
// could not be flushed.
bool FlushReplacedFolders();

// Creates every missing folder on the path, outermost first; the last component (the
// file name) is never created and a drive prefix ("C:") is skipped. Returns false at the
// first folder that cannot be created. `created` receives the folders made, in order.
bool CreateParentDirectories(const std::string& path, std::vector<std::string>* created = nullptr);

// This process's run identity: 16 hex digits, locked in the folder of run locks from
// the first call until the process ends, so that another run can tell whether the
// temporaries named with it are still in use. Where no lock can be had, an identity
// nobody else will take for ended.
const std::string& RunIdentity();

// The program's own temporary names: "~cw" + run identity + "-" + hex number + ".tmp",
// with ".old", ".jnl" or ".undo" after it for what a replace keeps aside, the folder's
// undo journal "~cwundo.jnl", and the names of earlier versions ("~cw" + 8 hex digits +
// ".tmp", "<name>.cw~<number>.tmp"). None of them is ever listed as a user's file.
bool IsTemporaryName(std::string_view name);
// The run identity in a temporary name of this version (with or without a suffix);
// empty for any other name.
std::string RunIdentityOf(std::string_view name);
// Removes the temporary files in the folder whose run has provably ended (its lock is
// free), after rolling back any in-place rewrite such a run left unfinished. A name
// without an identity (an earlier version's) or of a run still alive stays. Returns
// how many went.
int RemoveStaleTemporaries(const std::string& folder);

}  // namespace cw
