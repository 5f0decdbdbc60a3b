// In-place rewrites left half-done: the journal's format, the names of what a rewrite
// keeps aside, and the roll-back that the next run makes. Written over the public calls
// alone, so it is the same on every backend.
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/backend.h"
#include "platform/platform.h"
#include "text/text.h"

namespace cw::platform {
namespace detail {
namespace {

constexpr std::string_view kJournalMark = "CWR1";
constexpr size_t kNumberSize = 8;
// The mark, four numbers, two lengths (each followed by its name) and the checksum.
constexpr size_t kJournalOverhead = kJournalMark.size() + 7 * kNumberSize;

void PutNumber(uint64_t value, std::string* out) {
  for (size_t i = 0; i < kNumberSize; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// The number at `*at`, which moves past it; false when the bytes end first.
bool TakeNumber(std::string_view bytes, size_t* at, uint64_t* value) {
  if (bytes.size() - *at < kNumberSize) return false;
  *value = 0;
  for (size_t i = kNumberSize; i-- > 0;) *value = (*value << 8) | static_cast<unsigned char>(bytes[*at + i]);
  *at += kNumberSize;
  return true;
}

bool TakeName(std::string_view bytes, size_t* at, std::string* name) {
  uint64_t length = 0;
  if (!TakeNumber(bytes, at, &length) || length > bytes.size() - *at) return false;
  name->assign(bytes.substr(*at, static_cast<size_t>(length)));
  *at += static_cast<size_t>(length);
  return name->find('\0') == std::string::npos;
}

}  // namespace

std::string EncodeRewriteJournal(const RewriteJournal& journal) {
  std::string stored(kJournalMark);
  for (const uint64_t number : {journal.oldSize, journal.newSize, journal.volume, journal.index}) {
    PutNumber(number, &stored);
  }
  for (const std::string* name : {&journal.target, &journal.kept}) {
    PutNumber(name->size(), &stored);
    stored += *name;
  }
  PutNumber(JournalCheckSum(stored), &stored);
  return stored;
}

bool DecodeRewriteJournal(std::string_view stored, RewriteJournal* journal) {
  if (stored.size() < kJournalOverhead || stored.substr(0, kJournalMark.size()) != kJournalMark) return false;
  const std::string_view body = stored.substr(0, stored.size() - kNumberSize);
  size_t at = body.size();
  uint64_t sum = 0;
  if (!TakeNumber(stored, &at, &sum) || sum != JournalCheckSum(body)) return false;
  RewriteJournal read;
  at = kJournalMark.size();
  for (uint64_t* number : {&read.oldSize, &read.newSize, &read.volume, &read.index}) {
    if (!TakeNumber(body, &at, number)) return false;
  }
  if (!TakeName(body, &at, &read.target) || !TakeName(body, &at, &read.kept) || at != body.size() ||
      read.target.empty()) {
    return false;
  }
  *journal = std::move(read);
  return true;
}

std::string JournalName(const std::string& temporary, const std::string& path) {
  const text::PathParts beside = text::SplitAtLastBackslash(temporary);
  const text::PathParts parts = text::SplitAtLastBackslash(path);
  const bool oneFolder = beside.hasBackslash == parts.hasBackslash && beside.folder == parts.folder;
  return oneFolder && !parts.name.empty() ? parts.name : path;
}

}  // namespace detail

namespace {

constexpr std::string_view kTemporaryEnd = ".tmp";
constexpr std::string_view kUndoSuffix = ".undo";

// `name` in `folder`, or `name` itself when it is a path (see RewriteJournal).
std::string InFolder(const std::string& folder, const std::string& name) {
  if (text::SplitAtLastBackslash(name).hasBackslash) return name;
  const text::PathParts parts = text::SplitAtLastBackslash(folder);
  const bool endsInBackslash = parts.hasBackslash && parts.name.empty();
  return folder + (endsInBackslash ? "" : "\\") + name;
}

void RemoveIfThere(const std::string& path) {
  if (Exists(path)) DeleteFile(path);
}

// Writes the `size` bytes of `from` over the start of `to`, which keeps its identity,
// cuts `to` there and puts it on the disk.
Status CopyBack(const std::string& from, const std::string& to, uint64_t size) {
  std::unique_ptr<OpenFile> source;
  std::unique_ptr<OpenFile> target;
  Status status = OpenForReading(from, &source);
  if (status == Status::Ok) status = OpenForUpdate(to, ShareMode::None, &target);
  constexpr uint64_t kStep = 1u << 20;
  std::string bytes;
  for (uint64_t done = 0; status == Status::Ok && done < size; done += bytes.size()) {
    status = source->ReadAt(done, static_cast<size_t>(std::min(kStep, size - done)), &bytes);
    if (status == Status::Ok && bytes.empty()) status = detail::LogFailure("ReadAt", from, Status::Other, 0);
    if (status == Status::Ok) status = target->WriteAt(done, bytes);
  }
  if (status == Status::Ok) status = target->Truncate(size);
  if (status == Status::Ok) status = target->Flush();
  return status;
}

// Puts the old bytes back where the journal says. False when nothing was done: the file
// is not the one rewritten, or the bytes could not go back (tried again next time).
bool PutOldBytesBack(const detail::RewriteJournal& journal, const std::string& aside, const std::string& target) {
  FileInfo now;
  const Status found = QueryFile(target, &now);
  // The name is gone: the old bytes come back under it, rather than be lost with the copy.
  if (found == Status::NotFound) return MoveNew(aside, target) == Status::Ok;
  if (found != Status::Ok || now.volume != journal.volume || now.index != journal.index) {
    detail::LogFailure("recover", target, Status::Other, 0);
    return false;
  }
  return CopyBack(aside, target, journal.oldSize) == Status::Ok;
}

// Rolls back the rewrite that the journal of `temporary` speaks of; true when it did.
bool RollBack(const std::string& folder, const std::string& temporary) {
  const std::string journalPath = temporary + std::string(detail::kJournalSuffix);
  const std::string aside = temporary + std::string(detail::kAsideSuffix);
  std::string stored;
  if (ReadWholeFile(journalPath, &stored) != Status::Ok) return false;
  detail::RewriteJournal journal;
  FileInfo copy;
  // A torn journal was never acted on: the file is written over only once the journal
  // is whole on the disk, and the copy before that. Without a copy beside a whole
  // journal the rewrite was done (the copy goes last) and nothing is left to put back.
  const bool torn = !detail::DecodeRewriteJournal(stored, &journal);
  if (torn || QueryFile(aside, &copy) != Status::Ok) {
    for (const std::string& path : {aside, journalPath, temporary}) RemoveIfThere(path);
    return false;
  }
  if (copy.size != journal.oldSize) {
    detail::LogFailure("recover", aside, Status::Other, 0);
    return false;
  }
  const std::string target = InFolder(folder, journal.target);
  if (!PutOldBytesBack(journal, aside, target)) return false;
  // The kept copy goes while it is still the one made (a second name of the copy), and
  // before the journal: a roll-back cut short is made again from the start.
  FileInfo kept;
  if (!journal.kept.empty() && QueryFile(InFolder(folder, journal.kept), &kept) == Status::Ok &&
      kept.SameFileAs(copy)) {
    DeleteFile(InFolder(folder, journal.kept));
  }
  for (const std::string& path : {journalPath, aside, temporary}) RemoveIfThere(path);
  return true;
}

// The temporary names, in `folder`, of the rewrite journals and of the copies of old
// bytes, in one listing.
void ListKeptAside(const std::string& folder, std::vector<std::string>* journals, std::vector<std::string>* copies) {
  std::vector<DirEntry> entries;
  FindEntries(InFolder(folder, "~cw*"), &entries);
  for (const DirEntry& entry : entries) {
    if (!entry.representable || (entry.attributes & kAttrDirectory) != 0 || !IsKeptAsideName(entry.name)) continue;
    const size_t dot = entry.name.size() - 4;  // both suffixes have four characters
    const std::string suffix = text::AsciiLower(entry.name.substr(dot));
    if (suffix == detail::kJournalSuffix) journals->push_back(entry.name.substr(0, dot));
    if (suffix == detail::kAsideSuffix) copies->push_back(entry.name.substr(0, dot));
  }
}

}  // namespace

bool IsKeptAsideName(std::string_view name) {
  const std::string lower = text::AsciiLower(name);
  if (lower.compare(0, 3, "~cw") != 0) return false;
  for (const std::string_view suffix : {detail::kAsideSuffix, detail::kJournalSuffix, kUndoSuffix}) {
    const std::string end = std::string(kTemporaryEnd) + std::string(suffix);
    if (lower.size() > 3 + end.size() && lower.compare(lower.size() - end.size(), end.size(), end) == 0) return true;
  }
  return false;
}

int RecoverInterruptedRewrites(const std::string& folder,
                               const std::function<bool(const std::string& temporaryName)>& ownerEnded) {
  std::vector<std::string> journals;
  std::vector<std::string> copies;
  ListKeptAside(folder, &journals, &copies);
  int rolledBack = 0;
  for (const std::string& name : journals) {
    if (ownerEnded(name) && RollBack(folder, InFolder(folder, name))) ++rolledBack;
  }
  // A copy with no journal was made for a rewrite that had not begun, or that was done.
  for (const std::string& name : copies) {
    const std::string temporary = InFolder(folder, name);
    if (!Exists(temporary + std::string(detail::kJournalSuffix)) && ownerEnded(name)) {
      RemoveIfThere(temporary + std::string(detail::kAsideSuffix));
    }
  }
  return rolledBack;
}

uint64_t JournalCheckSum(std::string_view bytes) {
  uint64_t hash = 0xCBF29CE484222325u;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001B3u;
  }
  return hash;
}

}  // namespace cw::platform
