// SettingsStore: opening, lookups, the write queue, in-place writes and typed values.
#include "settings/settings_store.h"

#include <algorithm>
#include <cstdio>

#include "encoding/charset.h"
#include "settings/format.h"
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
  fileStale_ = false;
  if (readOnly) {
    if (platform::ReadWholeFile(path, &content_) != platform::Status::Ok) content_.clear();
    return true;
  }
  std::unique_ptr<platform::OpenFile> file;
  if (platform::OpenForUpdate(path, platform::ShareMode::Read, &file) == platform::Status::Ok) {
    // Read through the handle we hold, so that memory and file start identical.
    uint64_t size = 0;
    if (file->Size(&size) == platform::Status::Ok && size <= content_.max_size() &&
        file->ReadAt(0, static_cast<size_t>(size), &content_) == platform::Status::Ok && content_.size() == size) {
      file_ = std::move(file);
      return true;
    }
    // Never keep a handle to a file whose content we do not know: writing through it
    // would destroy what we could not read.
    file.reset();
    content_.clear();
  }
  if (platform::ReadWholeFile(path, &content_) != platform::Status::Ok) content_.clear();
  return false;
}

void SettingsStore::Close() {
  file_.reset();
  content_.clear();
  DropCache();
}

// ---- In-place changes ------------------------------------------------------------

bool SettingsStore::Replace(size_t offset, size_t count, std::string_view with) {
  if (std::string_view(content_).substr(offset, count) == with) return true;
  const uint64_t oldSize = content_.size();
  size_t first = 0;
  size_t last = with.size();
  if (count == with.size()) {
    // Same length: only the bytes that differ go to the disk.
    while (content_[offset + first] == with[first]) ++first;
    while (content_[offset + last - 1] == with[last - 1]) --last;
  } else {
    // Everything behind the change moves along.
    last = content_.size() - offset - count + with.size();
  }
  content_.replace(offset, count, with.data(), with.size());
  if (!file_) return true;
  return WriteThrough(offset + first, last - first, oldSize);
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

bool SettingsStore::WriteThrough(size_t offset, size_t length, uint64_t oldSize) {
  bool ok = false;
  if (!fileStale_) {
    ok = WriteRange(offset, offset + length);
    if (ok && content_.size() < oldSize) ok = file_->Truncate(content_.size()) == platform::Status::Ok;
  }
  if (!ok) {
    // The file may now hold half a change: bring it back to the whole buffer.
    ok = WriteRange(0, content_.size()) && file_->Truncate(content_.size()) == platform::Status::Ok;
  }
  // After a failure the file and the buffer differ; the next change rewrites it whole.
  fileStale_ = !ok;
  return ok;
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
  return platform::WriteWholeFile(path, bytes) == platform::Status::Ok;
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
