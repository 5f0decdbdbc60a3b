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

}  // namespace

std::string EscapeForLine(std::string_view utf8) {
  std::string shown;
  shown.reserve(utf8.size());
  for (size_t at = 0; at < utf8.size();) {
    uint32_t code = 0;
    const size_t length = Utf8SequenceAt(utf8, at, &code);
    if (length == 0) {
      AppendHex(utf8.substr(at, 1), &shown);
      ++at;
      continue;
    }
    if (code == '\\') {
      shown += "\\\\";
    } else if (code == '\n') {
      shown += "\\n";
    } else if (code == '\t') {
      shown += "\\t";
    } else if (code == '\r') {
      shown += "\\r";
    } else if (MustBeEscaped(code)) {
      AppendHex(utf8.substr(at, length), &shown);
    } else {
      shown.append(utf8, at, length);
    }
    at += length;
  }
  return shown;
}

namespace {

std::string AsItIsOrEscaped(const std::string& utf8) {
  std::string escaped = EscapeForLine(utf8);
  if (escaped.size() == utf8.size() + static_cast<size_t>(std::count(utf8.begin(), utf8.end(), '\\'))) return utf8;
  return escaped;
}

}  // namespace

std::string PathForLine(const std::string& path) { return AsItIsOrEscaped(PathForDisplay(path)); }

std::string TextForLine(const std::string& text) { return AsItIsOrEscaped(TextForDisplay(text)); }

}  // namespace cw::cli
