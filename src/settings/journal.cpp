// The undo journal of the settings file and the whole-file writes that replace a file
// in one step.
#include "settings/journal.h"

#include <algorithm>

#include "text/text.h"

namespace cw::settings {
namespace {

constexpr std::string_view kMark = "CWJ1";
constexpr size_t kHeaderSize = 4 + 8 + 8 + 8;
constexpr size_t kRecordOverhead = kHeaderSize + 8;

void PutNumber(uint64_t value, std::string* out) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint64_t GetNumber(std::string_view bytes, size_t at) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
  return value;
}

// The journal's record, if it holds a whole one. Nothing is counted as a read for
// fault injection while there is no journal.
bool ReadRecord(const std::string& journalPath, bool* present, UndoRecord* record) {
  *present = platform::Exists(journalPath);
  if (!*present) return false;
  std::string stored;
  if (platform::ReadWholeFile(journalPath, &stored) != platform::Status::Ok) return false;
  return DecodeUndoRecord(stored, record);
}

}  // namespace

std::string JournalPath(const std::string& settingsPath) { return settingsPath + ".journal"; }

std::string EncodeUndoRecord(const UndoRecord& record) {
  std::string stored;
  stored.reserve(kRecordOverhead + record.bytes.size());
  stored += kMark;
  PutNumber(record.oldSize, &stored);
  PutNumber(record.offset, &stored);
  PutNumber(record.bytes.size(), &stored);
  stored += record.bytes;
  PutNumber(platform::JournalCheckSum(stored), &stored);
  return stored;
}

bool DecodeUndoRecord(std::string_view stored, UndoRecord* record) {
  if (stored.size() < kRecordOverhead || stored.substr(0, kMark.size()) != kMark) return false;
  const uint64_t length = GetNumber(stored, 20);
  if (length != stored.size() - kRecordOverhead) return false;
  const std::string_view body = stored.substr(0, stored.size() - 8);
  if (platform::JournalCheckSum(body) != GetNumber(stored, stored.size() - 8)) return false;
  record->oldSize = GetNumber(stored, 4);
  record->offset = GetNumber(stored, 12);
  // A record that would put bytes beyond the size it cuts to is no record of ours.
  if (record->offset > record->oldSize || length > record->oldSize - record->offset) return false;
  record->bytes.assign(body.substr(kHeaderSize));
  return true;
}

void UndoInMemory(const UndoRecord& record, std::string* content) {
  const size_t offset = static_cast<size_t>(record.offset);
  if (content->size() < offset + record.bytes.size()) content->resize(offset + record.bytes.size());
  content->replace(offset, record.bytes.size(), record.bytes);
  content->resize(static_cast<size_t>(record.oldSize));
}

bool RecoverSettingsFile(const std::string& settingsPath, platform::OpenFile& file) {
  const std::string journalPath = JournalPath(settingsPath);
  bool present = false;
  UndoRecord record;
  if (ReadRecord(journalPath, &present, &record)) {
    // Put back, then cut: the same steps whatever part of the change reached the file,
    // and again should this roll-back itself be cut short.
    if (file.WriteAt(record.offset, record.bytes) != platform::Status::Ok ||
        file.Truncate(record.oldSize) != platform::Status::Ok || file.Flush() != platform::Status::Ok) {
      return false;
    }
  }
  // A torn record was never acted on: the file was not touched before its record was
  // whole on the disk.
  if (present) platform::DeleteFile(journalPath);
  return true;
}

void UndoUnfinishedChange(const std::string& settingsPath, std::string* content) {
  bool present = false;
  UndoRecord record;
  if (ReadRecord(JournalPath(settingsPath), &present, &record)) UndoInMemory(record, content);
}

bool Journal::Open() {
  if (file_) return true;
  if (platform::OpenForUpdate(path_, platform::ShareMode::None, &file_) != platform::Status::Ok) return false;
  // The journal's name must survive a power cut as well as its bytes.
  const text::PathParts parts = text::SplitAtLastBackslash(path_);
  if (parts.hasBackslash) platform::FlushFolder(parts.folder.empty() ? "\\" : parts.folder);
  return true;
}

platform::Status Journal::Write(const UndoRecord& record) {
  if (!Open()) return platform::Status::Other;
  holdsRecord_ = true;
  const std::string stored = EncodeUndoRecord(record);
  platform::Status status = file_->WriteAt(0, stored);
  if (status == platform::Status::Ok) status = file_->Truncate(stored.size());
  if (status == platform::Status::Ok) status = file_->Flush();
  if (status != platform::Status::Ok) Clear();
  return status;
}

bool Journal::Clear() {
  // Not flushed: should the emptying be lost to a power cut, the record undoes a change
  // that was complete, which leaves the file as it was before it, still whole.
  if (file_ && file_->Truncate(0) == platform::Status::Ok) holdsRecord_ = false;
  return !holdsRecord_;
}

void Journal::Close() {
  if (!file_) return;
  file_.reset();
  if (!holdsRecord_) platform::DeleteFile(path_);
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes) {
  const std::string temporary = path + ".new";
  std::unique_ptr<platform::NewFile> file;
  platform::Status status = platform::CreateNewFile(temporary, &file);
  if (status == platform::Status::AlreadyExists) {
    // Left by a save that was cut short: only ever a copy of what it was to replace.
    platform::DeleteFile(temporary);
    status = platform::CreateNewFile(temporary, &file);
  }
  if (status != platform::Status::Ok) return false;
  status = file->Write(bytes);
  if (status == platform::Status::Ok) status = file->Flush();
  if (status == platform::Status::Ok) status = file->ReplaceInto(path);
  if (status != platform::Status::Ok) {
    file->Abandon();
    return false;
  }
  const text::PathParts parts = text::SplitAtLastBackslash(path);
  if (parts.hasBackslash) platform::FlushFolder(parts.folder.empty() ? "\\" : parts.folder);
  return true;
}

}  // namespace cw::settings
