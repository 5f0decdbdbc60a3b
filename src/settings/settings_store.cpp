// SettingsStore: opening, lookups, the write queue, in-place writes and typed values.
#include "settings/settings_store.h"

#include <algorithm>
#include <cstdio>

#include "encoding/charset.h"
#include "settings/format.h"
#include "settings/journal.h"
#include "text/text.h"

namespace cw::settings {
namespace {

constexpr int kMaxAppendedHeaders = 10;  // the 11th append gives up
constexpr uint32_t kIconWarning = 0x30;
constexpr size_t kShownContentLimit = 4000;  // bytes of the file shown when giving up

}  // namespace

SettingsStore::SettingsStore() = default;

SettingsStore::~SettingsStore() { Close(); }

bool SettingsStore::Open(const std::string& path, StorageMode mode) {
  givenPath_ = path;
  mode_ = mode;
  if (mode == StorageMode::Registry) {
    Close();
    return true;
  }
  return OpenFile(path, mode == StorageMode::ReadOnlyFile);
}

bool SettingsStore::OpenFile(const std::string& path, bool readOnly) {
  Close();
  filePath_ = path;
  changedFrom_ = kNoChange;
  changedTo_ = 0;
  fileBroken_ = false;
  if (readOnly) {
    if (platform::ReadWholeFile(path, &content_) != platform::Status::Ok) content_.clear();
    UndoUnfinishedChange(path, &content_);
    return true;
  }
  std::unique_ptr<platform::OpenFile> file;
  if (platform::OpenForUpdate(path, platform::ShareMode::Read, &file) == platform::Status::Ok) {
    // A change cut short by a kill or a power cut is rolled back first, before anything
    // reads the file. Read through the handle we hold, so that memory and file start
    // identical.
    uint64_t size = 0;
    if (RecoverSettingsFile(path, *file) && file->Size(&size) == platform::Status::Ok && size <= content_.max_size() &&
        file->ReadAt(0, static_cast<size_t>(size), &content_) == platform::Status::Ok && content_.size() == size) {
      file_ = std::move(file);
      journal_ = std::make_unique<Journal>(path);
      return true;
    }
    // Never keep a handle to a file whose content we do not know: writing through it
    // would destroy what we could not read.
    file.reset();
    content_.clear();
  }
  if (platform::ReadWholeFile(path, &content_) != platform::Status::Ok) content_.clear();
  UndoUnfinishedChange(path, &content_);
  return false;
}

void SettingsStore::Close() {
  file_.reset();
  journal_.reset();  // removes the journal unless it holds a record still needed
  content_.clear();
  DropCache();
}

// ---- In-place changes ------------------------------------------------------------

bool SettingsStore::Replace(size_t offset, size_t count, std::string_view with) {
  if (std::string_view(content_).substr(offset, count) == with) return true;
  size_t first = 0;
  size_t last = with.size();
  const bool resized = count != with.size();
  if (!resized) {
    // Same length: only the bytes that differ go to the disk.
    while (content_[offset + first] == with[first]) ++first;
    while (content_[offset + last - 1] == with[last - 1]) --last;
  }
  content_.replace(offset, count, with.data(), with.size());
  if (!file_) return true;
  // Everything behind a change of length moves along.
  changedFrom_ = std::min(changedFrom_, offset + first);
  changedTo_ = std::max(changedTo_, resized ? kNoChange : offset + last);
  return changeDepth_ > 0 || CommitChange();
}

int SettingsStore::AsOneChange(const std::function<int()>& change) {
  ++changeDepth_;
  int result = change();
  --changeDepth_;
  if (changeDepth_ == 0 && file_ && !CommitChange() && result == kWritten) result = kFailed;
  return result;
}

bool SettingsStore::CommitChange() {
  if (changedFrom_ == kNoChange) return true;
  if (fileBroken_) return false;
  // A second try for a fault that passes; both leave the file old or new.
  for (int attempt = 0; attempt < 2 && !fileBroken_; ++attempt) {
    if (TryCommit()) {
      changedFrom_ = kNoChange;
      changedTo_ = 0;
      return true;
    }
  }
  return false;
}

bool SettingsStore::TryCommit() {
  uint64_t fileSize = 0;
  if (file_->Size(&fileSize) != platform::Status::Ok) return false;
  const bool resized = fileSize != content_.size();
  const size_t to = resized || changedTo_ > content_.size() ? content_.size() : changedTo_;
  // The old bytes the change writes over or cuts off, kept until it is on the disk.
  UndoRecord undo;
  undo.oldSize = fileSize;
  undo.offset = std::min<uint64_t>(changedFrom_, fileSize);
  const uint64_t keepEnd = resized ? fileSize : std::min<uint64_t>(to, fileSize);
  const size_t keep = static_cast<size_t>(keepEnd - undo.offset);
  if (keep != 0 &&
      (file_->ReadAt(undo.offset, keep, &undo.bytes) != platform::Status::Ok || undo.bytes.size() != keep)) {
    return false;
  }
  const bool journaled = journal_->Open();
  if (journaled && journal_->Write(undo) != platform::Status::Ok) return false;
  // A record left in the journal would undo the change at the next start: then it
  // counts as not made, and is undone now as well.
  const bool written = WriteRange(static_cast<size_t>(undo.offset), to) &&
                       (content_.size() >= fileSize || file_->Truncate(content_.size()) == platform::Status::Ok) &&
                       file_->Flush() == platform::Status::Ok && (!journaled || journal_->Clear());
  if (written) return true;
  // Back to the old bytes; failing that, the journal rolls the file back at the next
  // start, and until then nothing more is written over it.
  fileBroken_ = file_->WriteAt(undo.offset, undo.bytes) != platform::Status::Ok ||
                file_->Truncate(fileSize) != platform::Status::Ok || file_->Flush() != platform::Status::Ok;
  // A record kept now only restores the bytes the file holds again.
  if (journaled && !fileBroken_) journal_->Clear();
  return false;
}

bool SettingsStore::WriteRange(size_t from, size_t to) {
  // What lies beyond the file's end goes first: it makes the room, and when the disk is
  // full it fails before a single old byte was written over (and the file is cut back).
  // The rest then only rewrites bytes the file holds already, which needs no new space.
  uint64_t fileSize = 0;
  if (file_->Size(&fileSize) != platform::Status::Ok) return false;
  if (to > fileSize) {
    const size_t grow = static_cast<size_t>(std::max<uint64_t>(from, fileSize));
    if (file_->WriteAt(grow, std::string_view(content_).substr(grow, to - grow)) != platform::Status::Ok) {
      file_->Truncate(fileSize);
      return false;
    }
    fileBytesWritten_ += to - grow;
    to = grow;
  }
  if (from >= to) return true;
  if (file_->WriteAt(from, std::string_view(content_).substr(from, to - from)) != platform::Status::Ok) return false;
  fileBytesWritten_ += to - from;
  return true;
}

// ---- Lookups ---------------------------------------------------------------------

bool SettingsStore::LookUpSection(const std::string& section, size_t from, size_t* header, size_t* headerEnd) {
  size_t pos = from;
  for (;;) {
    platform::PumpMessages();
    if (cache_.name == section && cache_.header != kNone && cache_.headerEnd != kNone &&
        cache_.headerEnd < content_.size() && content_[cache_.header] == '[' &&
        content_.compare(cache_.header + 1, section.size(), section) == 0 && content_[cache_.headerEnd] == ']') {
      *header = cache_.header;
      *headerEnd = cache_.headerEnd;
      return true;
    }
    const size_t h = FindSectionFrom(content_, section, pos);
    cache_ = SectionCache{section, h, kNone};
    if (h == kNone) return false;
    if (!AtLineStart(content_, h)) {
      pos = h + 1;
      continue;
    }
    cache_.headerEnd = h + section.size() + 1;
    *header = h;
    *headerEnd = cache_.headerEnd;
    return true;
  }
}

bool SettingsStore::FindSectionQuiet(const std::string& section, size_t* header, size_t* headerEnd) const {
  size_t pos = 0;
  for (;;) {
    const size_t h = FindSectionFrom(content_, section, pos);
    if (h == kNone) return false;
    if (AtLineStart(content_, h)) {
      *header = h;
      *headerEnd = h + section.size() + 1;
      return true;
    }
    pos = h + 1;
  }
}

std::string SettingsStore::ReadValue(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, bool emptyGivesDefault) {
  size_t header = 0, headerEnd = 0;
  if (!LookUpSection(section, 0, &header, &headerEnd)) return defaultValue;
  ValueSpot spot;
  if (!FindKey(content_, headerEnd, key, &spot)) return defaultValue;
  if (spot.begin == spot.end && emptyGivesDefault) return defaultValue;
  return text::FromBytes(std::string_view(content_).substr(spot.begin, spot.end - spot.begin));
}

// ---- Writes and the queue ----------------------------------------------------------

int SettingsStore::WriteValue(const std::string& section, const std::string& key, const std::string& value,
                              bool immediate) {
  if (immediate) return WriteNow(section, key, value);
  return Enqueue(PendingOp{0, section, key, value});
}

int SettingsStore::Enqueue(PendingOp op) {
  queue_.push_back(std::move(op));
  if (busy_) return kQueued;
  return ProcessQueue();
}

int SettingsStore::ProcessQueue() {
  if (queue_.empty()) return -1;
  // A drain is already running further up the stack; it will reach these.
  if (busy_) return kQueued;
  int first = -1;
  bool ranOne = false;
  while (!queue_.empty()) {
    const PendingOp op = queue_.front();
    busy_ = true;
    const int result = RunOp(op);
    queue_.pop_front();
    busy_ = false;
    if (!ranOne) first = result;
    ranOne = true;
  }
  return first;
}

int SettingsStore::RunOp(const PendingOp& op) {
  switch (op.kind) {
    case 0: return WriteNow(op.section, op.key, op.value);
    case 1: return DeleteNow(op.section, op.key);
    case 2: return RenameSectionNow(op.section, op.key);
    case 3: return RenameKeyNow(op.section, op.key, op.value);
  }
  return kFailed;
}

int SettingsStore::WriteNow(const std::string& section, const std::string& key, const std::string& value) {
  // A new key takes two steps (its line, then its value), a new section one more: the
  // file sees them as one change.
  return AsOneChange([&] { return WriteSteps(section, key, value); });
}

int SettingsStore::WriteSteps(const std::string& section, const std::string& key, const std::string& value) {
  size_t pos = 0;
  bool fileOk = true;
  std::vector<std::pair<size_t, std::string>> appended;
  size_t insertedAt = kNone;
  std::string insertedLine;
  for (;;) {
    size_t header = 0, headerEnd = 0;
    if (!LookUpSection(section, pos, &header, &headerEnd)) {
      const size_t length = content_.size();
      std::string add = length == 0 ? "" : std::string(kCrLf);
      add += '[';
      add += section;
      add += ']';
      fileOk = Replace(length, 0, add) && fileOk;
      appended.emplace_back(length, add);
      pos = length == 0 ? 0 : length - 1;
      if (static_cast<int>(appended.size()) <= kMaxAppendedHeaders) continue;
      GiveUp(appended);
      return kFailed;
    }
    ValueSpot spot;
    if (FindKey(content_, headerEnd, key, &spot)) {
      fileOk = Replace(spot.begin, spot.end - spot.begin, value) && fileOk;
      return fileOk && Persisted() ? kWritten : kFailed;
    }
    if (insertedAt != kNone) {
      // The line just inserted is not found again (a message handler changed the
      // content meanwhile). Take it out rather than add it again and again.
      if (content_.compare(insertedAt, insertedLine.size(), insertedLine) == 0) {
        Replace(insertedAt, insertedLine.size(), "");
      }
      return kFailed;
    }
    insertedAt = NewKeyOffset(content_, headerEnd);
    insertedLine = std::string(kCrLf) + key + "=";
    fileOk = Replace(insertedAt, 0, insertedLine) && fileOk;
  }
}

void SettingsStore::GiveUp(const std::vector<std::pair<size_t, std::string>>& appended) {
  const std::string caption = FromUtf8("信息：");
  platform::ShowMessage(FromUtf8("配置模块出现意外，可能导致无法正常保存！详情请咨询青禾。"), caption, kIconWarning);
  std::string shown = text::FromBytes(content_);
  if (shown.size() > kShownContentLimit) {
    size_t cut = 0;
    while (cut < kShownContentLimit) cut += text::CharLength(shown, cut);
    shown.resize(cut);
    shown += "...";
  }
  platform::ShowMessage(shown, caption, 0);
  // The headers this call appended were never found again; they would only be junk in
  // the user's file. Take back those that still end the file as they were written.
  for (auto it = appended.rbegin(); it != appended.rend(); ++it) {
    const auto& [offset, bytes] = *it;
    if (offset + bytes.size() == content_.size() && content_.compare(offset, bytes.size(), bytes) == 0) {
      Replace(offset, bytes.size(), "");
    }
  }
  DropCache();
}

// ---- Typed values -----------------------------------------------------------------

void SettingsStore::SetSection(const std::string& name) {
  currentSection_ = name;
  std::string fileName = text::SplitAtLastBackslash(givenPath_).name;
  const size_t dot = fileName.rfind('.');
  if (dot != std::string::npos) fileName.resize(dot);
  registryPath_ = FromUtf8("青禾软件\\") + fileName + "\\" + name + "\\";
}

bool SettingsStore::WriteText(const std::string& key, const std::string& text) {
  if (mode_ == StorageMode::Registry) return false;
  return WriteValue(currentSection_, key, EscapeText(text)) == kWritten;
}

std::string SettingsStore::ReadText(const std::string& key, const std::string& defaultText) {
  return UnescapeText(ReadValue(currentSection_, key, EscapeText(defaultText)));
}

bool SettingsStore::WriteNumber(const std::string& key, double value) {
  if (mode_ == StorageMode::Registry) return false;
  return WriteValue(currentSection_, key, FormatNumber(value)) == kWritten;
}

double SettingsStore::ReadNumber(const std::string& key, double defaultValue) {
  return ParseNumber(ReadValue(currentSection_, key, FormatNumber(defaultValue)));
}

bool SettingsStore::WriteBool(const std::string& key, bool value) {
  if (mode_ == StorageMode::Registry) return false;
  return WriteValue(currentSection_, key, value ? TrueText() : FalseText()) == kWritten;
}

bool SettingsStore::ReadBool(const std::string& key, bool defaultValue) {
  return ReadValue(currentSection_, key, defaultValue ? TrueText() : FalseText()) == TrueText();
}

bool SettingsStore::ReadBoolUnlessFalse(const std::string& key, bool defaultValue) {
  return ReadValue(currentSection_, key, defaultValue ? TrueText() : FalseText()) != FalseText();
}

static std::string FormatDateTime(const DateTime& t) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return buffer;
}

bool SettingsStore::WriteDateTime(const std::string& key, const DateTime& value) {
  if (mode_ == StorageMode::Registry) return false;
  return WriteValue(currentSection_, key, FormatDateTime(value)) == kWritten;
}

DateTime SettingsStore::ReadDateTime(const std::string& key, const DateTime& defaultValue) {
  const std::string stored = ReadValue(currentSection_, key, FormatDateTime(defaultValue));
  DateTime t;
  char rest = 0;
  if (std::sscanf(stored.c_str(), "%d-%d-%d %d:%d:%d%c", &t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second,
                  &rest) != 6) {
    return defaultValue;
  }
  return t;
}

bool SettingsStore::WriteBytes(const std::string& key, std::string_view bytes) {
  const std::string path = ByteFilePath(givenPath_, currentSection_, key);
  if (path.empty()) return false;
  const std::string folder = ByteFileFolder(givenPath_);
  if (!platform::Exists(folder)) platform::CreateFolder(folder);
  return WriteFileAtomically(path, bytes);
}

std::string SettingsStore::ReadBytes(const std::string& key, const std::string& defaultBytes) {
  const std::string path = ByteFilePath(givenPath_, currentSection_, key);
  std::string bytes;
  if (path.empty() || platform::ReadWholeFile(path, &bytes) != platform::Status::Ok || bytes.empty()) {
    return defaultBytes;
  }
  return bytes;
}

}  // namespace cw::settings
