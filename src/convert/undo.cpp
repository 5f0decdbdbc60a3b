// The undo journal of overwrite runs: writing entries before each replace, letting an
// earlier run's undo go, and putting originals back.
#include "convert/undo.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "convert/safe_write.h"
#include "text/text.h"

namespace cw::undo {
namespace {

constexpr std::string_view kJournalPrefix = "~cwundo-";
constexpr std::string_view kJournalSuffix = ".jnl";

// This process's runs, and the folders the current one has kept originals in.
struct Runs {
  std::mutex mutex;
  unsigned number = 0;
  std::set<std::string> folders;
  // The current run's journals, kept open (and their sizes) until the run ends.
  std::map<std::string, std::pair<std::unique_ptr<platform::OpenFile>, uint64_t>> journals;
};
// Never destroyed: a journal still open at exit is closed by the system, not by a
// destructor that could run after the system-call table is gone.
Runs& TheRuns() {
  static Runs* const runs = new Runs;
  return *runs;
}

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
bool Unhex(std::string_view hex, std::string* bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexValue(hex[i]);
    const int low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    *bytes += static_cast<char>(high * 16 + low);
  }
  return true;
}
uint32_t CheckSum(std::string_view bytes) {
  return static_cast<uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t from = 0;
  for (;;) {
    const size_t tab = line.find('\t', from);
    fields.push_back(line.substr(from, tab == std::string_view::npos ? std::string_view::npos : tab - from));
    if (tab == std::string_view::npos) return fields;
    from = tab + 1;
  }
}

std::string JournalName(unsigned number) {
  char tail[24];
  std::snprintf(tail, sizeof tail, "-%x", number);
  return std::string(kJournalPrefix) + RunIdentity() + tail + std::string(kJournalSuffix);
}
// The identity and run number in a journal's name.
bool ParseJournalName(std::string_view name, std::string* id, unsigned* number) {
  if (!IsJournalName(name)) return false;
  *id = std::string(name.substr(kJournalPrefix.size(), 16));
  const std::string digits(name.substr(kJournalPrefix.size() + 17, name.size() - kJournalPrefix.size() - 17 - 4));
  *number = static_cast<unsigned>(std::strtoul(digits.c_str(), nullptr, 16));
  return true;
}

std::string Join(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

std::vector<Entry> ReadJournal(const std::string& path) {
  std::string bytes;
  std::vector<Entry> entries;
  if (platform::ReadWholeFile(path, &bytes) != platform::Status::Ok) return entries;
  size_t from = 0;
  while (from < bytes.size()) {
    const size_t end = bytes.find('\n', from);
    if (end == std::string::npos) break;  // a line the kill cut short
    Entry entry;
    if (DecodeEntry(std::string_view(bytes).substr(from, end - from), &entry)) entries.push_back(std::move(entry));
    from = end + 1;
  }
  return entries;
}

std::vector<std::string> JournalsIn(const std::string& folder) {
  std::vector<platform::DirEntry> found;
  std::vector<std::string> names;
  platform::FindEntries(folder + "\\~cwundo-*.jnl", &found);
  for (const platform::DirEntry& entry : found) {
    if (entry.representable && (entry.attributes & platform::kAttrDirectory) == 0 && IsJournalName(entry.name)) {
      names.push_back(entry.name);
    }
  }
  return names;
}

// Where the run that wrote a journal stands: this process's current run, a run that
// is over (this process's earlier ones, ended processes, and those no lock speaks for),
// or a run still at work elsewhere.
enum class Owner { Current, Over, Working };
Owner OwnerOf(const std::string& name, unsigned current) {
  std::string id;
  unsigned number = 0;
  if (!ParseJournalName(name, &id, &number)) return Owner::Working;
  if (id == RunIdentity()) return number == current ? Owner::Current : Owner::Over;
  return platform::QueryRun(platform::DefaultRunLockFolder(), id) == platform::RunState::Alive ? Owner::Working
                                                                                               : Owner::Over;
}

// An earlier run's undo goes: its kept originals are removed, except one a kill left
// with no file under its own name, which is put back there.
void LetGo(const std::string& folder, const std::string& journal) {
  for (const Entry& entry : ReadJournal(Join(folder, journal))) {
    const std::string kept = Join(folder, entry.kept);
    if (!platform::Exists(kept)) continue;
    if (!platform::Exists(Join(folder, entry.original)) &&
        platform::MoveNew(kept, Join(folder, entry.original)) == platform::Status::Ok) {
      continue;
    }
    platform::DeleteFile(kept);
  }
  platform::DeleteFile(Join(folder, journal));
}

bool SameBytes(const std::string& a, const std::string& b, const platform::FileInfo& aInfo,
               const platform::FileInfo& bInfo) {
  std::string aBytes, bBytes;
  return aInfo.size == bInfo.size && platform::ReadWholeFile(a, &aBytes) == platform::Status::Ok &&
         platform::ReadWholeFile(b, &bBytes) == platform::Status::Ok && aBytes == bBytes;
}

// Puts one original back. The conversion must still be the file the run left.
enum class Restore { Restored, Nothing, Changed, Failed };
Restore RestoreEntry(const std::string& folder, const Entry& entry) {
  const std::string kept = Join(folder, entry.kept);
  const std::string original = Join(folder, entry.original);
  const std::string output = Join(folder, entry.output);
  platform::FileInfo keptInfo, now;
  if (platform::QueryFile(kept, &keptInfo) != platform::Status::Ok) return Restore::Nothing;  // never replaced
  const platform::Status found = platform::QueryFile(output, &now);
  if (found == platform::Status::Ok && now.SameFileAs(keptInfo)) {
    // Killed before the replace: the original is still in its place.
    return platform::DeleteFile(kept) == platform::Status::Ok ? Restore::Nothing : Restore::Failed;
  }
  if (found == platform::Status::NotFound && !platform::Exists(original)) {
    // Killed half-way through a replace that moves the old file out first.
    return platform::MoveNew(kept, original) == platform::Status::Ok ? Restore::Restored : Restore::Failed;
  }
  const bool asLeft = entry.written.modified == kAnyTime
                          ? now.SameFileAs(entry.written) && now.size == entry.written.size
                          : now.SameContentAs(entry.written);
  if (found == platform::Status::Ok && !asLeft && entry.output == entry.original &&
      SameBytes(kept, output, keptInfo, now)) {
    // Killed before an in-place rewrite touched the file, or after its roll-back: the
    // original is in its place, under a name of its own.
    return platform::DeleteFile(kept) == platform::Status::Ok ? Restore::Nothing : Restore::Failed;
  }
  if (found != platform::Status::Ok || !asLeft) return Restore::Changed;
  if (entry.output == entry.original) {
    return platform::MoveReplace(kept, original) == platform::Status::Ok ? Restore::Restored : Restore::Failed;
  }
  // Renamed: the original takes its old name again, then the conversion's name goes.
  if (platform::MoveNew(kept, original) != platform::Status::Ok) return Restore::Failed;
  return platform::DeleteFile(output) == platform::Status::Ok ? Restore::Restored : Restore::Failed;
}

void UndoJournal(const std::string& folder, const std::string& journal, Result* result) {
  std::vector<Entry> entries = ReadJournal(Join(folder, journal));
  bool left = false;
  // Latest first: a name replaced twice gets its first original back.
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
    switch (RestoreEntry(folder, *entry)) {
      case Restore::Restored: ++result->restored; break;
      case Restore::Nothing: break;
      case Restore::Changed:
        result->changed.push_back(Join(folder, entry->output));
        left = true;
        break;
      case Restore::Failed:
        result->failed.push_back(Join(folder, entry->original));
        left = true;
        break;
    }
  }
  if (!left) platform::DeleteFile(Join(folder, journal));
  platform::FlushFolder(folder);
}

void UndoTree(const std::string& folder, bool tree, Result* result, int depth) {
  unsigned current = 0;
  {
    const std::lock_guard<std::mutex> lock(TheRuns().mutex);
    current = TheRuns().number;
  }
  // Before anything else, as a run does: a rewrite a killed run left half-done is rolled
  // back, and the temporaries of ended runs go.
  RemoveStaleTemporaries(folder);
  for (const std::string& journal : JournalsIn(folder)) {
    if (OwnerOf(journal, current) != Owner::Working) UndoJournal(folder, journal, result);
  }
  if (!tree || depth > 256) return;
  std::vector<platform::DirEntry> entries;
  platform::FindEntries(folder + "\\*", &entries);
  for (const platform::DirEntry& entry : entries) {
    if ((entry.attributes & platform::kAttrDirectory) == 0 || (entry.attributes & platform::kAttrReparsePoint) != 0 ||
        !entry.representable || entry.name == "." || entry.name == "..") {
      continue;
    }
    UndoTree(Join(folder, entry.name), true, result, depth + 1);
  }
}

}  // namespace

std::string EncodeEntry(const Entry& entry) {
  const platform::FileInfo& w = entry.written;
  std::string line = Hex(entry.kept) + "\t" + Hex(entry.original) + "\t" + Hex(entry.output) + "\t" +
                     std::to_string(w.volume) + "\t" + std::to_string(w.index) + "\t" + std::to_string(w.size) + "\t" +
                     std::to_string(w.modified);
  char sum[16];
  std::snprintf(sum, sizeof sum, "\t%08x", static_cast<unsigned>(CheckSum(line)));
  return line + sum + "\n";
}

bool DecodeEntry(std::string_view line, Entry* entry) {
  const std::vector<std::string_view> fields = Fields(line);
  if (fields.size() != 8 || fields[7].size() != 8) return false;
  char sum[16];
  const std::string_view body = line.substr(0, line.size() - 9);
  std::snprintf(sum, sizeof sum, "%08x", static_cast<unsigned>(CheckSum(body)));
  if (fields[7] != sum) return false;
  if (!Unhex(fields[0], &entry->kept) || !Unhex(fields[1], &entry->original) || !Unhex(fields[2], &entry->output)) {
    return false;
  }
  platform::FileInfo& w = entry->written;
  w.volume = std::strtoull(std::string(fields[3]).c_str(), nullptr, 10);
  w.index = std::strtoull(std::string(fields[4]).c_str(), nullptr, 10);
  w.size = std::strtoull(std::string(fields[5]).c_str(), nullptr, 10);
  w.modified = std::strtoll(std::string(fields[6]).c_str(), nullptr, 10);
  return !entry->kept.empty() && !entry->original.empty() && !entry->output.empty();
}

bool IsJournalName(std::string_view name) {
  const size_t fixed = kJournalPrefix.size() + 16 + 1 + kJournalSuffix.size();
  if (name.size() <= fixed || name.substr(0, kJournalPrefix.size()) != kJournalPrefix ||
      name.substr(name.size() - kJournalSuffix.size()) != kJournalSuffix || name[kJournalPrefix.size() + 16] != '-') {
    return false;
  }
  const std::string_view id = name.substr(kJournalPrefix.size(), 16);
  const std::string_view number = name.substr(kJournalPrefix.size() + 17, name.size() - fixed);
  const auto lowerHex = [](char c) { return HexValue(c) >= 0; };
  return std::all_of(id.begin(), id.end(), lowerHex) && std::all_of(number.begin(), number.end(), lowerHex);
}

void BeginRun() {
  Runs& runs = TheRuns();
  const std::lock_guard<std::mutex> lock(runs.mutex);
  runs.journals.clear();
  ++runs.number;
  runs.folders.clear();
}

void EndRun() {
  Runs& runs = TheRuns();
  const std::lock_guard<std::mutex> lock(runs.mutex);
  runs.journals.clear();
}

bool NoteReplace(const std::string& folder, const Entry& entry) { return NoteReplaces(folder, {entry}); }

bool NoteReplaces(const std::string& folder, const std::vector<Entry>& entries) {
  Runs& runs = TheRuns();
  const std::lock_guard<std::mutex> lock(runs.mutex);
  const bool first = runs.folders.insert(folder).second;
  if (first) {
    for (const std::string& journal : JournalsIn(folder)) {
      if (OwnerOf(journal, runs.number) == Owner::Over) LetGo(folder, journal);
    }
  }
  auto& [file, size] = runs.journals[folder];
  if (!file && (platform::OpenForUpdate(Join(folder, JournalName(runs.number)), platform::ShareMode::ReadWrite,
                                        &file) != platform::Status::Ok ||
                file->Size(&size) != platform::Status::Ok)) {
    file.reset();
    return false;
  }
  std::string lines;
  for (const Entry& entry : entries) lines += EncodeEntry(entry);
  if (file->WriteAt(size, lines) != platform::Status::Ok || file->Flush() != platform::Status::Ok) return false;
  size += lines.size();
  // The journal's own name must survive a power cut as surely as the replace after it.
  return !first || platform::FlushFolder(folder) == platform::Status::Ok;
}

std::vector<std::string> FoldersOfLastRun() {
  Runs& runs = TheRuns();
  const std::lock_guard<std::mutex> lock(runs.mutex);
  return std::vector<std::string>(runs.folders.begin(), runs.folders.end());
}

Result UndoFolder(const std::string& folder, bool tree) {
  Result result;
  UndoTree(folder, tree, &result, 0);
  return result;
}

Result UndoLastRun() {
  EndRun();
  Result result;
  for (const std::string& folder : FoldersOfLastRun()) UndoTree(folder, false, &result, 0);
  Runs& runs = TheRuns();
  const std::lock_guard<std::mutex> lock(runs.mutex);
  runs.folders.clear();
  return result;
}

}  // namespace cw::undo
