// The undo journal of the settings file: before a change reaches the file in place,
// the bytes it will overwrite or cut go into "<settings file>.journal" and onto the disk;
// once the change is on the disk too, the journal is emptied again. A change cut short
// (a kill, a power cut, a full disk) is rolled back from the journal, so the file is
// always the old or the new content, byte for byte.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace cw::settings {

// What undoes one change: the file is cut to `oldSize` after `bytes` were put back at
// `offset` (they are the old bytes of [offset, offset + bytes.size())).
struct UndoRecord {
  uint64_t oldSize = 0;
  uint64_t offset = 0;
  std::string bytes;
};

std::string JournalPath(const std::string& settingsPath);
// The record as it is stored: a mark, the sizes, the bytes and a check sum over them,
// so that a record cut short is never taken for one.
std::string EncodeUndoRecord(const UndoRecord& record);
bool DecodeUndoRecord(std::string_view stored, UndoRecord* record);

// The change undone on content held in memory.
void UndoInMemory(const UndoRecord& record, std::string* content);

// At the start, before anything reads the settings file through `file` (held open with
// the writers shut out): a change that a journal shows unfinished is rolled back in the
// file, which is flushed, and the journal goes. False when the roll-back failed (the
// journal then stays for the next start).
bool RecoverSettingsFile(const std::string& settingsPath, platform::OpenFile& file);
// For a reader that cannot write the file: the content as it was before an unfinished
// change, which stays in the file (its owner or the next start rolls it back).
void UndoUnfinishedChange(const std::string& settingsPath, std::string* content);

// The journal of a store that holds the settings file open: opened when the first
// change comes and kept open (and so locked) until Close.
class Journal {
 public:
  explicit Journal(const std::string& settingsPath) : path_(JournalPath(settingsPath)) {}
  ~Journal() { Close(); }
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Whether the journal is open, opening (creating) it first when it is not. A store
  // whose folder takes no new file writes its changes without a journal.
  bool Open();
  // Writes the record and puts it on the disk, the journal's folder entry too the first
  // time. Not Ok: nothing may touch the settings file (the record is emptied again if
  // it can be; a torn one is never taken for a record).
  platform::Status Write(const UndoRecord& record);
  // The change is on the disk: the record is no longer needed. False when it is still
  // there (the next start would undo the change).
  bool Clear();
  // Closes the journal; it is removed unless a record in it is still needed.
  void Close();

 private:
  std::string path_;
  std::unique_ptr<platform::OpenFile> file_;
  bool holdsRecord_ = false;
};

// Writes a complete file under a temporary name beside `path`, puts it on the disk and
// only then lets it take the place of `path`: a kill or a full disk leaves the old file
// or the new one, never a part.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace cw::settings
