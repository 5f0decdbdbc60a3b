// Command-line texts to and from the working code page. The paths, which differ between
// systems, are in paths_posix.cpp and paths_win32.cpp.
#include "cli/cli_util.h"

#include <algorithm>

#include <cstdint>

#include "encoding/charset.h"

namespace cw::cli {

std::string TextFromArg(const std::string& arg) { return FromUtf8(arg); }

std::string TextForDisplay(const std::string& text) { return ToUtf8(text); }

namespace {

// The length of the valid UTF-8 sequence at `at` (shortest form, no surrogate, at most
// U+10FFFF), 0 when there is none; *code receives its code point.
size_t Utf8SequenceAt(std::string_view text, size_t at, uint32_t* code) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    *code = lead;
    return 1;
  }
  // Lead byte: the sequence's length, its payload bits, the least code it may carry.
  size_t length = 4;
  uint32_t value = lead & 0x07u;
  uint32_t least = 0x10000;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1Fu;
    least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0Fu;
    least = 0x800;
  } else if (lead < 0xF0 || lead > 0xF4) {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i) & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *code = value;
  return length;
}

bool MustBeEscaped(uint32_t code) {
  return code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F) || code == 0x2028 || code == 0x2029;
}

void AppendHex(std::string_view bytes, std::string* out) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    *out += "\\x";
    *out += kDigits[u >> 4];
    *out += kDigits[u & 15];
  }
}

// Whether the bytes at `at` stand in a line as they are (then *length says how many):
// printable ASCII other than the backslash, and any valid sequence of a character that
// need not be escaped.
bool TakenAsItIs(std::string_view utf8, size_t at, size_t* length, uint32_t* code) {
  const auto lead = static_cast<unsigned char>(utf8[at]);
  if (lead >= 0x20 && lead < 0x7F && lead != '\\') {
    *length = 1;
    return true;
  }
  *length = Utf8SequenceAt(utf8, at, code);
  return *length != 0 && *code >= 0x80 && !MustBeEscaped(*code);
}

// Appends the escaped form of the character (or the invalid byte, length 0) at `at`.
void AppendEscaped(std::string_view utf8, size_t at, size_t length, uint32_t code, std::string* shown) {
  if (length == 0) {
    AppendHex(utf8.substr(at, 1), shown);
  } else if (code == '\\') {
    *shown += "\\\\";
  } else if (code == '\n') {
    *shown += "\\n";
  } else if (code == '\t') {
    *shown += "\\t";
  } else if (code == '\r') {
    *shown += "\\r";
  } else {
    AppendHex(utf8.substr(at, length), shown);
  }
}

// Escapes the line from `at`, the first place that needs it.
std::string Escaped(std::string_view utf8, size_t at) {
  std::string shown;
  shown.reserve(utf8.size() + 16);
  size_t plain = 0;  // where the run of bytes taken as they are began
  while (at < utf8.size()) {
    size_t length = 0;
    uint32_t code = 0;
    if (TakenAsItIs(utf8, at, &length, &code)) {
      at += length;
      continue;
    }
    shown.append(utf8, plain, at - plain);
    AppendEscaped(utf8, at, length, code, &shown);
    at += length == 0 ? 1 : length;
    plain = at;
  }
  shown.append(utf8, plain, std::string_view::npos);
  return shown;
}

// Where the line first needs an escape (a backslash, unless `backslashes`: then only
// another one); its size when nowhere (most lines).
size_t FirstToEscape(std::string_view utf8, bool backslashes) {
  size_t at = 0;
  while (at < utf8.size()) {
    size_t length = 0;
    uint32_t code = 0;
    if (!TakenAsItIs(utf8, at, &length, &code)) {
      if (backslashes || utf8[at] != '\\') break;
      length = 1;
    }
    at += length;
  }
  return at;
}

// A line whose only escapes would be its backslashes (a Windows path) is shown as it is.
std::string AsItIsOrEscaped(std::string utf8) {
  if (FirstToEscape(utf8, false) == utf8.size()) return utf8;
  return Escaped(utf8, FirstToEscape(utf8, true));
}

}  // namespace

std::string EscapeForLine(std::string_view utf8) {
  const size_t first = FirstToEscape(utf8, true);
  if (first == utf8.size()) return std::string(utf8);
  return Escaped(utf8, first);
}

std::string PathForLine(const std::string& path) { return AsItIsOrEscaped(PathForDisplay(path)); }

std::string TextForLine(const std::string& text) { return AsItIsOrEscaped(TextForDisplay(text)); }

}  // namespace cw::cli
