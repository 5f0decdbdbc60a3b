// SettingsStore operations the program itself does not call: copy, whole-file saves and
// loads, listings, deleting and renaming entries, and the window-geometry pair. Those
// that move bytes drop the section cache.
#include "encoding/charset.h"
#include "settings/format.h"
#include "settings/journal.h"
#include "settings/settings_store.h"
#include "text/text.h"

namespace cw::settings {
namespace {

bool Passes(const std::string& text, const std::string& mustContain, const std::string& mustNotContain) {
  if (!mustContain.empty() && text::Find(text, mustContain) == text::npos) return false;
  if (!mustNotContain.empty() && text::Find(text, mustNotContain) != text::npos) return false;
  return true;
}

// The name of a header line ("[" ... "]"), or false when the line is not one.
bool HeaderName(const std::string& line, std::string* name) {
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return false;
  *name = line.substr(1, line.find(']') - 1);
  return true;
}

}  // namespace

SettingsStore::SettingsStore(const SettingsStore& other)
    : content_(other.content_),
      filePath_(other.filePath_),
      givenPath_(other.givenPath_),
      currentSection_(other.currentSection_),
      mode_(other.mode_),
      registryPath_(other.registryPath_) {}

bool SettingsStore::Save() { return SaveAs(""); }

bool SettingsStore::SaveAs(const std::string& path) {
  const std::string target = path.empty() ? filePath_ : path;
  if (target.empty()) return false;
  if (file_ && target == filePath_) {
    // Our own handle excludes other writers, ourselves included: the whole file is
    // written through it as one journaled change.
    changedFrom_ = 0;
    changedTo_ = kNoChange;
    return CommitChange();
  }
  return WriteFileAtomically(target, content_);
}

bool SettingsStore::Reload() {
  DropCache();
  std::string bytes;
  platform::Status status;
  if (file_) {
    uint64_t size = 0;
    status = file_->Size(&size);
    if (status == platform::Status::Ok) status = file_->ReadAt(0, static_cast<size_t>(size), &bytes);
  } else {
    status = platform::ReadWholeFile(filePath_, &bytes);
  }
  if (status != platform::Status::Ok) return false;
  content_ = std::move(bytes);
  return true;
}

std::string SettingsStore::GetAllText() const { return text::FromBytes(content_); }

bool SettingsStore::SetAllText(const std::string& text, bool append) {
  DropCache();
  return AsOneChange([&] {
           bool ok = true;
           if (!append) ok = Replace(0, content_.size(), "");
           ok = Replace(content_.size(), 0, text) && ok;
           return ok && Persisted() ? kWritten : kFailed;
         }) == kWritten;
}

int SettingsStore::ListSections(std::vector<std::string>* out, const std::string& mustContain,
                                const std::string& mustNotContain) const {
  out->clear();
  std::string name;
  for (const std::string& line : text::Split(content_, kCrLf)) {
    if (HeaderName(line, &name) && Passes(name, mustContain, mustNotContain)) out->push_back(name);
  }
  return static_cast<int>(out->size());
}

int SettingsStore::ListKeys(std::vector<std::string>* out, const std::string& keyMustContain,
                            const std::string& keyMustNotContain, const std::string& section,
                            const std::string& sectionMustContain, const std::string& sectionMustNotContain) const {
  out->clear();
  bool inMatchingSection = false;
  std::string name;
  for (const std::string& line : text::Split(content_, kCrLf)) {
    if (HeaderName(line, &name)) {
      inMatchingSection =
          (section.empty() || line == "[" + section + "]") && Passes(line, sectionMustContain, sectionMustNotContain);
      continue;
    }
    if (!inMatchingSection) continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0) continue;
    const std::string key = line.substr(0, equals);
    if (Passes(key, keyMustContain, keyMustNotContain)) out->push_back(key);
  }
  return static_cast<int>(out->size());
}

int SettingsStore::ListSectionsWithKey(const std::string& key, std::vector<std::string>* out) const {
  out->clear();
  const std::string needle = std::string(kCrLf) + key + "=";
  for (size_t k = FindBytes(content_, needle, 0); k != kNone; k = FindBytes(content_, needle, k + 1)) {
    // The nearest header line above the key.
    size_t lineEnd = k;
    while (lineEnd != kNone && lineEnd > 0) {
      const size_t lineStart = lineEnd < 2 ? 0 : content_.rfind(kCrLf, lineEnd - 1);
      const size_t begin = lineStart == std::string::npos ? 0 : lineStart + 2;
      std::string name;
      if (HeaderName(content_.substr(begin, lineEnd - begin), &name)) {
        out->push_back(name);
        break;
      }
      lineEnd = lineStart == std::string::npos ? kNone : lineStart;
    }
  }
  return static_cast<int>(out->size());
}

int SettingsStore::ListKeysWithValue(const std::string& value, std::vector<std::string>* out,
                                     const std::string& section) const {
  out->clear();
  bool inMatchingSection = section.empty();
  std::string name;
  for (const std::string& line : text::Split(content_, kCrLf)) {
    if (HeaderName(line, &name)) {
      inMatchingSection = section.empty() || line == "[" + section + "]";
      continue;
    }
    const size_t equals = line.find('=');
    // The whole value must match: "1" is not the value of "k=10".
    if (inMatchingSection && equals != std::string::npos && equals > 0 &&
        line.compare(equals + 1, std::string::npos, value) == 0) {
      out->push_back(line.substr(0, equals));
    }
  }
  return static_cast<int>(out->size());
}

int SettingsStore::DeleteEntry(const std::string& section, const std::string& key, bool immediate) {
  if (immediate) return DeleteNow(section, key);
  return Enqueue(PendingOp{1, section, key, ""});
}

int SettingsStore::RenameSection(const std::string& section, const std::string& newName, bool immediate) {
  if (immediate) return RenameSectionNow(section, newName);
  return Enqueue(PendingOp{2, section, newName, ""});
}

int SettingsStore::RenameKey(const std::string& section, const std::string& key, const std::string& newName,
                             bool immediate) {
  if (immediate) return RenameKeyNow(section, key, newName);
  return Enqueue(PendingOp{3, section, key, newName});
}

int SettingsStore::DeleteNow(const std::string& section, const std::string& key) {
  DropCache();
  size_t header = 0, headerEnd = 0;
  if (!FindSectionQuiet(section, &header, &headerEnd)) return kNoSection;
  bool ok;
  if (key.empty()) {
    const size_t next = FindHeaderBetween(content_, headerEnd + 1, content_.size() + 1);
    if (next != kNone) {
      ok = Replace(header, next - header, "");
    } else {
      // The last section goes with the line break in front of it, so that the file
      // still ends without one.
      const size_t from = header >= 2 ? header - 2 : header;
      ok = Replace(from, content_.size() - from, "");
    }
  } else {
    ValueSpot spot;
    if (!FindKey(content_, headerEnd, key, &spot)) return kNoKey;
    const size_t lineStart = spot.begin - key.size() - 3;  // its CR LF
    ok = Replace(lineStart, spot.end - lineStart, "");
  }
  return ok && Persisted() ? kWritten : kFailed;
}

int SettingsStore::RenameSectionNow(const std::string& section, const std::string& newName) {
  DropCache();
  size_t header = 0, headerEnd = 0;
  if (!FindSectionQuiet(section, &header, &headerEnd)) return kNoSection;
  return Replace(header + 1, section.size(), newName) && Persisted() ? kWritten : kFailed;
}

int SettingsStore::RenameKeyNow(const std::string& section, const std::string& key, const std::string& newName) {
  DropCache();
  size_t header = 0, headerEnd = 0;
  if (!FindSectionQuiet(section, &header, &headerEnd)) return kNoSection;
  ValueSpot spot;
  if (!FindKey(content_, headerEnd, key, &spot)) return kNoKey;
  const size_t keyStart = spot.begin - key.size() - 1;
  return Replace(keyStart, key.size(), newName) && Persisted() ? kWritten : kFailed;
}

void SettingsStore::SaveWindowGeometry(const WindowFrame& frame, const std::string& name) {
  const std::string saved = currentSection_;
  SetSection((name.empty() ? FromUtf8("主界面") : name) + FromUtf8(".尺寸"));
  WriteNumber(FromUtf8("位置"), frame.placement);
  if (frame.placement <= 1) {
    WriteNumber(FromUtf8("左边"), frame.left);
    WriteNumber(FromUtf8("顶边"), frame.top);
    WriteNumber(FromUtf8("宽度"), frame.width);
    WriteNumber(FromUtf8("高度"), frame.height);
  }
  SetSection(saved);
}

void SettingsStore::RestoreWindowGeometry(WindowFrame* frame, const std::string& name) {
  const std::string saved = currentSection_;
  SetSection((name.empty() ? FromUtf8("主界面") : name) + FromUtf8(".尺寸"));
  auto readInt = [&](const char* key, int current) {
    const double value = ReadNumber(FromUtf8(key), current);
    return value >= -2147483648.0 && value <= 2147483647.0 ? static_cast<int>(value) : current;
  };
  frame->placement = readInt("位置", frame->placement);
  if (frame->placement <= 1) {
    frame->left = readInt("左边", frame->left);
    frame->top = readInt("顶边", frame->top);
    frame->width = readInt("宽度", frame->width);
    frame->height = readInt("高度", frame->height);
  }
  SetSection(saved);
}

}  // namespace cw::settings
