// The byte rules of the settings file: where headers, keys and values are, and how texts,
// numbers, logical values and item lists are written into values. Offsets are 0-based.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace cw::settings {

constexpr size_t kNone = std::string_view::npos;
constexpr std::string_view kCrLf = "\r\n";

// Plain byte search: the file's rules are byte-exact and case-sensitive.
size_t FindBytes(std::string_view buffer, std::string_view what, size_t from);

// Whether a header found at `pos` stands at a line start: the first byte of the buffer
// or right after a CR LF.
bool AtLineStart(std::string_view buffer, size_t pos);

// A whole header line ("[" + bytes without CR LF + "]" followed by CR LF) whose line
// starts in [from, to): the offset of its "[", or kNone.
size_t FindHeaderBetween(std::string_view buffer, size_t from, size_t to);

// The first header of the section at a line start: offsets of its "[" and its "]".
struct SectionSpot {
  size_t header = kNone;
  size_t headerEnd = kNone;
};
// One search pass from `from`: the next occurrence of "[" + section + "]". The caller
// checks AtLineStart and goes on from header + 1 when it is not.
size_t FindSectionFrom(std::string_view buffer, std::string_view section, size_t from);

// The key's value in the section whose "]" is at headerEnd: the value is [begin, end).
struct ValueSpot {
  size_t begin = kNone;
  size_t end = kNone;
};
bool FindKey(std::string_view buffer, size_t headerEnd, std::string_view key, ValueSpot* spot);
// Where a new key line of the section goes: before the next line that starts with "[",
// or at the end.
size_t NewKeyOffset(std::string_view buffer, size_t headerEnd);

// ---- Value forms -------------------------------------------------------------------

const std::string& LineBreakMark();  // "┊*┊", bytes A9 AE 2A A9 AE
const std::string& TrueText();       // "真"
const std::string& FalseText();      // "假"

// CR LF pairs become the mark; every CR LF goes, byte by byte, so that no stored value
// can ever break its line.
std::string EscapeText(std::string_view text);
// The mark becomes CR LF again.
std::string UnescapeText(std::string_view stored);

// "%.13g" in the C locale.
std::string FormatNumber(double value);
// The leading decimal number of the text; 0 when there is none.
double ParseNumber(std::string_view text);

// Records joined by "{H}", fields of a record by "{G}".
std::string JoinItemList(const std::vector<std::vector<std::string>>& records);
// An empty text gives no records.
std::vector<std::vector<std::string>> SplitItemList(std::string_view text);

// The companion file of a byte-sequence value: folder of the settings file + "\inibin\"
// + section + "-" + key + ".ibn". Empty when the section or the key holds a path
// separator, which would place the file outside "inibin".
std::string ByteFilePath(std::string_view settingsPath, std::string_view section, std::string_view key);
std::string ByteFileFolder(std::string_view settingsPath);

}  // namespace cw::settings
