// Random operation sequences on random settings files, checked against a line-by-line
// model of the file format and against the file on disk after every step.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "settings/settings_store.h"

namespace {

using cw::settings::SettingsStore;
using cw::settings::StorageMode;

// The format read as lines split at CR LF: a section is the first line that starts with
// "[" + name + "]"; its keys are the lines after it up to the next whole header line
// ("[" ... "]"); new keys go before the next line that starts with "[".
struct Model {
  std::string bytes;

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
      const size_t end = bytes.find("\r\n", start);
      lines.push_back(bytes.substr(start, end == std::string::npos ? std::string::npos : end - start));
      if (end == std::string::npos) return lines;
      start = end + 2;
    }
  }
  void Join(const std::vector<std::string>& lines) {
    bytes.clear();
    for (size_t i = 0; i < lines.size(); ++i) bytes += (i ? "\r\n" : "") + lines[i];
  }
  static bool IsHeader(const std::string& line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
  }
  static int SectionLine(const std::vector<std::string>& lines, const std::string& section) {
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].compare(0, section.size() + 2, "[" + section + "]") == 0) return static_cast<int>(i);
    }
    return -1;
  }
  // The line of the key in the section at line s, or -1.
  static int KeyLine(const std::vector<std::string>& lines, int s, const std::string& key) {
    for (size_t j = static_cast<size_t>(s) + 1; j < lines.size(); ++j) {
      if (lines[j].compare(0, key.size() + 1, key + "=") == 0) {
        for (size_t m = static_cast<size_t>(s) + 1; m < j; ++m) {
          if (IsHeader(lines[m])) return -1;
        }
        return static_cast<int>(j);
      }
    }
    return -1;
  }
  std::string Read(const std::string& section, const std::string& key, const std::string& dflt) const {
    const auto lines = Lines();
    const int s = SectionLine(lines, section);
    if (s < 0) return dflt;
    const int k = KeyLine(lines, s, key);
    if (k < 0) return dflt;
    std::string value = lines[static_cast<size_t>(k)].substr(key.size() + 1);
    return value.substr(0, value.find('\0'));
  }
  void Write(const std::string& section, const std::string& key, const std::string& value) {
    if (SectionLine(Lines(), section) < 0) bytes += (bytes.empty() ? "[" : "\r\n[") + section + "]";
    auto lines = Lines();
    const int s = SectionLine(lines, section);
    const int k = KeyLine(lines, s, key);
    if (k >= 0) {
      lines[static_cast<size_t>(k)] = key + "=" + value;
    } else {
      size_t at = static_cast<size_t>(s) + 1;
      while (at < lines.size() && (lines[at].empty() || lines[at][0] != '[')) ++at;
      lines.insert(lines.begin() + static_cast<long>(at), key + "=" + value);
    }
    Join(lines);
  }
};

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return pos_ >= size_; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  // A short name from an alphabet that includes GBK, brackets and "=" but no CR or LF.
  std::string Name() {
    static const char* kPieces[] = {"a", "b", "[", "]", "=", " ", "\xD6\xF7", "\xBD\xE7", ".", "x"};
    std::string name;
    const int length = Byte() % 4 + 1;
    for (int i = 0; i < length; ++i) name += kPieces[Byte() % 10];
    return name;
  }
  std::string Value() {
    static const char* kPieces[] = {"1", "v", "\r", "\n", "[", "]", "=", "\xA9\xAE", "\x81", "{H}"};
    std::string value;
    const int length = Byte() % 6;
    for (int i = 0; i < length; ++i) value += kPieces[Byte() % 10];
    return value;
  }
  std::string Raw() {
    const size_t length = std::min<size_t>(Byte(), size_ - pos_);
    std::string raw(reinterpret_cast<const char*>(data_ + pos_), length);
    pos_ += length;
    return raw;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "settings_fuzz: %s\n", what);
    std::abort();
  }
}

std::string ReadDisk(const std::string& path) {
  std::string bytes;
  cw::platform::ReadWholeFile(path, &bytes);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    char name[64];
    std::snprintf(name, sizeof name, "Z:\\tmp\\cw-settings-fuzz-%d.ini", static_cast<int>(std::rand()));
    return std::string(name);
  }();
  Input in(data, size);
  // The starting file: random bytes, often with a header and a key line in them.
  Model model;
  model.bytes = in.Raw();
  if (in.Byte() % 2) model.bytes += "\r\n[a]\r\nb=1";
  Check(cw::platform::WriteWholeFile(path, model.bytes) == cw::platform::Status::Ok, "cannot write");
  {
    SettingsStore store;
    Check(store.Open(path, StorageMode::KeepOpen), "cannot open");
    while (!in.Empty()) {
      const std::string section = in.Name();
      const std::string key = in.Name();
      if (in.Byte() % 3 == 0) {
        const std::string dflt = "<d>";
        Check(store.ReadValue(section, key, dflt) == model.Read(section, key, dflt), "read differs");
      } else {
        const std::string value = in.Value();
        // A raw value with CR LF in it is two lines; only the text form, which escapes
        // CR LF, can store one.
        if (value.find("\r\n") != std::string::npos) continue;
        Check(store.WriteValue(section, key, value) == cw::settings::kWritten, "write failed");
        model.Write(section, key, value);
        Check(ReadDisk(path) == model.bytes, "file differs from the model");
      }
    }
  }
  return 0;
}
