// Byte-string helpers for working-code-page texts. Every search steps over two-byte
// characters: a byte of 0x80 or more starts a character of two bytes, and its second
// byte is never matched on its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace cw::text {

constexpr size_t npos = std::string_view::npos;

// Bytes up to the first zero byte: how a byte sequence becomes a text.
std::string FromBytes(std::string_view bytes);

// Length of the character that starts at `pos` (1 or 2; 1 for a lone lead byte at the
// end of the text).
inline size_t CharLength(std::string_view text, size_t pos) {
  return (static_cast<unsigned char>(text[pos]) >= 0x80 && pos + 1 < text.size()) ? 2 : 1;
}

// First match of `what` at or after `from` that starts on a character boundary.
// `from` itself must be a character boundary. An empty `what` matches at `from`.
size_t Find(std::string_view text, std::string_view what, size_t from = 0);
// The same, ignoring the case of ASCII letters.
size_t FindNoCase(std::string_view text, std::string_view what, size_t from = 0);
// Last match that starts on a character boundary, or npos.
size_t FindLast(std::string_view text, std::string_view what);
size_t FindLastNoCase(std::string_view text, std::string_view what);

// Replaces every match, left to right, without overlaps.
std::string ReplaceAll(std::string_view text, std::string_view what, std::string_view with);

// Splits at every delimiter; every piece is kept, empty ones included.
std::vector<std::string> Split(std::string_view text, std::string_view delimiter);

// Removes leading and trailing blanks: the byte 0x20 and the full-width space A1 A1.
std::string TrimBlanks(std::string_view text);

// ASCII letters lowered; two-byte characters are left as they are.
std::string AsciiLower(std::string_view text);

// Splits a path at its last backslash: the folder part (empty when there is none) and
// the name part (the whole path when there is none).
struct PathParts {
  std::string folder;
  std::string name;
  bool hasBackslash = false;
};
PathParts SplitAtLastBackslash(std::string_view path);

}  // namespace cw::text
