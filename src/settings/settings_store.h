// SettingsStore: the whole settings file in memory, kept open, every change written
// through in place at once; writes run through a queue because lookups pump messages.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace cw::settings {

class Journal;

enum class StorageMode {
  KeepOpen = 0,      // loaded and kept open; changes go into the file at once
  ReadOnlyFile = 1,  // loaded and closed; changes stay in memory until Save
  Registry = 2,      // no file; see SettingsStore::Open
};

// Results of WriteValue, DeleteEntry, RenameSection and RenameKey.
constexpr int kWritten = 0;
constexpr int kFailed = -1;
constexpr int kNoSection = 1;
constexpr int kNoKey = 2;
constexpr int kQueued = 3;

struct DateTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
  bool operator==(const DateTime& o) const {
    return year == o.year && month == o.month && day == o.day && hour == o.hour && minute == o.minute &&
           second == o.second;
  }
};

// A window's frame for the geometry pair: placement 0 normal, 1 centred, above 1
// minimised or maximised.
struct WindowFrame {
  int placement = 0;
  int left = 0, top = 0, width = 0, height = 0;
};

class SettingsStore {
 public:
  SettingsStore();
  ~SettingsStore();
  // A copy holds the same content, paths, section and mode, but never the open file: the
  // file is locked against a second writer, so the copy works from its memory.
  SettingsStore(const SettingsStore& other);
  SettingsStore& operator=(const SettingsStore&) = delete;

  // KeepOpen: loads the file, creating it when missing, and keeps it open against other
  // writers. False when it cannot be opened for writing; reads then work from what
  // could be read and writes change memory only (and report failure).
  // Registry: no file. The registry is not used: reads give their defaults and writes
  // report failure.
  bool Open(const std::string& path, StorageMode mode);
  bool OpenFile(const std::string& path, bool readOnly);
  void Close();
  StorageMode GetMode() const { return mode_; }
  const std::string& GetPath() const { return givenPath_; }

  // ---- Raw values ---------------------------------------------------------------
  // 0 written, -1 failed (also when the change reached memory but not the file), 3
  // queued behind a running write (it runs when that one finishes).
  int WriteValue(const std::string& section, const std::string& key, const std::string& value, bool immediate = false);
  std::string ReadValue(const std::string& section, const std::string& key, const std::string& defaultValue,
                        bool emptyGivesDefault = false);
  // Runs queued writes in order; the result of the first, -1 when there was none.
  int ProcessQueue();

  // ---- Typed values in CurrentSection ---------------------------------------------
  void SetSection(const std::string& name);
  const std::string& CurrentSection() const { return currentSection_; }
  const std::string& RegistryPath() const { return registryPath_; }
  bool WriteText(const std::string& key, const std::string& text);
  std::string ReadText(const std::string& key, const std::string& defaultText);
  bool WriteNumber(const std::string& key, double value);
  double ReadNumber(const std::string& key, double defaultValue);
  bool WriteBool(const std::string& key, bool value);
  bool ReadBool(const std::string& key, bool defaultValue);
  bool ReadBoolUnlessFalse(const std::string& key, bool defaultValue);
  bool WriteDateTime(const std::string& key, const DateTime& value);
  DateTime ReadDateTime(const std::string& key, const DateTime& defaultValue);
  // Byte sequences live in their own files under "inibin" beside the settings file.
  bool WriteBytes(const std::string& key, std::string_view bytes);
  std::string ReadBytes(const std::string& key, const std::string& defaultBytes);

  // ---- Whole-file and list operations (not used by the program itself) ------------
  bool Save();
  bool SaveAs(const std::string& path);
  bool Reload();
  std::string GetAllText() const;
  bool SetAllText(const std::string& text, bool append);
  int ListSections(std::vector<std::string>* out, const std::string& mustContain = "",
                   const std::string& mustNotContain = "") const;
  int ListKeys(std::vector<std::string>* out, const std::string& keyMustContain = "",
               const std::string& keyMustNotContain = "", const std::string& section = "",
               const std::string& sectionMustContain = "", const std::string& sectionMustNotContain = "") const;
  int ListSectionsWithKey(const std::string& key, std::vector<std::string>* out) const;
  int ListKeysWithValue(const std::string& value, std::vector<std::string>* out, const std::string& section = "") const;
  // An empty key deletes the whole section.
  int DeleteEntry(const std::string& section, const std::string& key, bool immediate = false);
  int RenameSection(const std::string& section, const std::string& newName, bool immediate = false);
  int RenameKey(const std::string& section, const std::string& key, const std::string& newName, bool immediate = false);
  void SaveWindowGeometry(const WindowFrame& frame, const std::string& name);
  void RestoreWindowGeometry(WindowFrame* frame, const std::string& name);

  // Bytes this store has written to the settings file since it was made (for the
  // benchmark and the tests of in-place updates).
  uint64_t FileBytesWritten() const { return fileBytesWritten_; }

 private:
  static constexpr size_t kNoChange = static_cast<size_t>(-1);
  struct PendingOp {
    int kind;  // 0 WriteValue, 1 DeleteEntry, 2 RenameSection, 3 RenameKey
    std::string section, key, value;
  };
  struct SectionCache {
    std::string name;
    size_t header = std::string::npos;
    size_t headerEnd = std::string::npos;
  };

  int Enqueue(PendingOp op);
  int RunOp(const PendingOp& op);
  int WriteNow(const std::string& section, const std::string& key, const std::string& value);
  int DeleteNow(const std::string& section, const std::string& key);
  int RenameSectionNow(const std::string& section, const std::string& newName);
  int RenameKeyNow(const std::string& section, const std::string& key, const std::string& newName);
  // Section lookup as writes and reads do it, pumping messages before each pass.
  bool LookUpSection(const std::string& section, size_t from, size_t* header, size_t* headerEnd);
  // Looks up without pumping or caching, for the operations that move bytes.
  bool FindSectionQuiet(const std::string& section, size_t* header, size_t* headerEnd) const;
  void GiveUp(const std::vector<std::pair<size_t, std::string>>& appended);
  void DropCache() { cache_ = SectionCache{}; }

  // Replaces `count` bytes at `offset` with `with`, in memory and in the open file.
  // False when the file could not be brought to the same bytes.
  bool Replace(size_t offset, size_t count, std::string_view with);
  // Runs `change` (one operation's steps, which may pump messages between them) and
  // takes every Replace it makes to the file as one change at its end; a failure to
  // get there turns a result of kWritten into kFailed.
  int AsOneChange(const std::function<int()>& change);
  // Brings the file to the buffer's bytes where they may differ ([changedFrom_,
  // changedTo_)), journaled: the file ends up old or new, byte for byte. Tried twice.
  bool CommitChange();
  bool TryCommit();
  // Writes content_[from, to) to the file, growing it first so that a full disk leaves
  // the old bytes as they were.
  bool WriteRange(size_t from, size_t to);
  int WriteSteps(const std::string& section, const std::string& key, const std::string& value);
  // Whether the last change is known to be on disk as far as this mode promises.
  bool Persisted() const { return file_ != nullptr || mode_ == StorageMode::ReadOnlyFile; }

  std::string content_;  // ContentBuffer
  std::unique_ptr<platform::OpenFile> file_;
  std::string filePath_;
  bool busy_ = false;
  std::deque<PendingOp> queue_;
  SectionCache cache_;
  std::string givenPath_;
  std::string currentSection_;
  StorageMode mode_ = StorageMode::KeepOpen;
  std::string registryPath_;
  // Where the file may differ from the buffer: from changedFrom_ (kNone: nowhere) to
  // changedTo_ (kNone: to the end). A change that could not be written stays here and
  // goes with the next one.
  size_t changedFrom_ = kNoChange;
  size_t changedTo_ = 0;
  int changeDepth_ = 0;  // AsOneChange calls under way
  // A failed change could not be rolled back: the file is left to the journal (rolled
  // back at the next start) and nothing more is written to it.
  bool fileBroken_ = false;
  std::unique_ptr<Journal> journal_;
  uint64_t fileBytesWritten_ = 0;
};

}  // namespace cw::settings
