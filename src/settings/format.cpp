// The settings file's byte rules and value forms.
#include "settings/format.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "encoding/charset.h"
#include "text/text.h"

namespace cw::settings {

size_t FindBytes(std::string_view buffer, std::string_view what, size_t from) {
  if (from > buffer.size()) return kNone;
  return buffer.find(what, from);
}

bool AtLineStart(std::string_view buffer, size_t pos) {
  return pos == 0 || (pos >= 2 && buffer[pos - 2] == '\r' && buffer[pos - 1] == '\n');
}

size_t FindHeaderBetween(std::string_view buffer, size_t from, size_t to) {
  size_t a = from;
  // The first "]" + CR LF at or after a stays the same while a has not passed it, so a
  // file of many bracket lines is still walked once.
  size_t r = kNone;
  for (;;) {
    a = FindBytes(buffer, "\r\n[", a);
    if (a == kNone || a >= to) return kNone;
    a += 2;
    if (r == kNone || r < a) r = FindBytes(buffer, "]\r\n", a);
    if (r == kNone || r > to) return kNone;
    if (FindBytes(buffer.substr(0, r), kCrLf, a) == kNone) return a;
  }
}

size_t FindSectionFrom(std::string_view buffer, std::string_view section, size_t from) {
  std::string header;
  header.reserve(section.size() + 2);
  header += '[';
  header += section;
  header += ']';
  return FindBytes(buffer, header, from);
}

bool FindKey(std::string_view buffer, size_t headerEnd, std::string_view key, ValueSpot* spot) {
  std::string needle;
  needle.reserve(key.size() + 3);
  needle += kCrLf;
  needle += key;
  needle += '=';
  const size_t k = FindBytes(buffer, needle, headerEnd);
  if (k == kNone) return false;
  // A match past another header belongs to a later section.
  if (FindHeaderBetween(buffer, headerEnd + 1, k + 1) != kNone) return false;
  spot->begin = k + needle.size();
  const size_t lineEnd = FindBytes(buffer, kCrLf, spot->begin);
  spot->end = lineEnd == kNone ? buffer.size() : lineEnd;
  return true;
}

size_t NewKeyOffset(std::string_view buffer, size_t headerEnd) {
  const size_t next = FindBytes(buffer, "\r\n[", headerEnd);
  return next == kNone ? buffer.size() : next;
}

const std::string& LineBreakMark() {
  static const std::string mark = FromUtf8("┊*┊");
  return mark;
}
const std::string& TrueText() {
  static const std::string text = FromUtf8("真");
  return text;
}
const std::string& FalseText() {
  static const std::string text = FromUtf8("假");
  return text;
}

std::string EscapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  for (;;) {
    const size_t hit = text.find(kCrLf, pos);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out += LineBreakMark();
    pos = hit + 2;
  }
  out.append(text.substr(pos));
  return out;
}

std::string UnescapeText(std::string_view stored) { return text::ReplaceAll(stored, LineBreakMark(), kCrLf); }

std::string FormatNumber(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.13g", value);
  return buffer;
}

double ParseNumber(std::string_view text) {
  // Sign, digits, an optional fraction and exponent; the rest of the text is ignored.
  size_t i = 0;
  auto digits = [&] {
    const size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i - start;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t count = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    count += digits();
  }
  if (count == 0) return 0;
  size_t end = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() > 0) end = i;
  }
  const std::string number(text.substr(0, end));
  return std::strtod(number.c_str(), nullptr);
}

std::string JoinItemList(const std::vector<std::vector<std::string>>& records) {
  std::string out;
  for (size_t r = 0; r < records.size(); ++r) {
    if (r > 0) out += "{H}";
    for (size_t f = 0; f < records[r].size(); ++f) {
      if (f > 0) out += "{G}";
      out += records[r][f];
    }
  }
  return out;
}

std::vector<std::vector<std::string>> SplitItemList(std::string_view text) {
  std::vector<std::vector<std::string>> records;
  if (text.empty()) return records;
  for (const std::string& record : text::Split(text, "{H}")) {
    records.push_back(text::Split(record, "{G}"));
  }
  return records;
}

std::string ByteFileFolder(std::string_view settingsPath) {
  return text::SplitAtLastBackslash(settingsPath).folder + "\\inibin";
}

std::string ByteFilePath(std::string_view settingsPath, std::string_view section, std::string_view key) {
  for (std::string_view part : {section, key}) {
    if (text::Find(part, "\\") != text::npos || text::Find(part, "/") != text::npos) return "";
  }
  std::string path = ByteFileFolder(settingsPath);
  path += '\\';
  path += section;
  path += '-';
  path += key;
  path += ".ibn";
  return path;
}

}  // namespace cw::settings
