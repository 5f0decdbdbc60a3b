// Lookups over the generated code-page tables: decoding by pointer, and the encoding
// tables (code point to code), which are built from the decoding tables at first use.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "encoding/generated/encoding_tables.h"

namespace cw::detail {

constexpr char32_t kReplacement = 0xFFFD;

// BMP code point -> code. A value below 0x100 is a single byte; 0 means no code (for
// GB18030: no two-byte code, the character takes a four-byte one).
using BmpEncodeTable = std::array<std::uint16_t, 0x10000>;

const BmpEncodeTable& Gb18030FromBmp();
const BmpEncodeTable& Cp950FromBmp();
const BmpEncodeTable& Big5HkscsFromBmp();
// Big5-HKSCS codes of supplementary-plane characters, by code point; 0 when none.
std::uint16_t Big5HkscsFromSupplementary(char32_t codePoint);

// GB18030 four-byte pointers: ((b1 - 0x81) * 10 + b2 - 0x30) * 126 + b3 - 0x81) * 10 + b4 - 0x30.
constexpr std::uint32_t kGb18030SupplementaryPointer = 189000;
constexpr std::uint32_t kGb18030LastPointer = 1237575;
// The code point of a four-byte pointer, or 0 when the pointer has none.
char32_t Gb18030FourByteCodePoint(std::uint32_t pointer);
// The four-byte pointer of a code point that has no one- or two-byte code.
std::uint32_t Gb18030FourBytePointer(char32_t codePoint);

inline std::uint32_t Gb18030TwoBytePointer(unsigned lead, unsigned trail) {
  return (lead - 0x81) * 190 + trail - (trail < 0x7F ? 0x40 : 0x41);
}
inline std::uint32_t Big5Pointer(unsigned lead, unsigned trail) {
  return (lead - 0x81) * 157 + trail - (trail < 0x7F ? 0x40 : 0x62);
}
// The two bytes of a Big5 pointer, lead byte high.
inline std::uint16_t Big5Code(std::uint32_t pointer) {
  const unsigned rest = pointer % 157;
  return static_cast<std::uint16_t>((pointer / 157 + 0x81) << 8 | (rest + (rest < 0x3F ? 0x40 : 0x62)));
}

// A two-byte code's character in UTF-8, for decoding straight to UTF-8 without the code
// point in between: up to three bytes, and their count (0: the code takes the decoder's
// general path). Four bytes, so that one is copied with one load and one store.
struct Utf8Pair {
  char bytes[3];
  std::uint8_t length;
};
// By lead byte << 8 | trail byte.
using Utf8PairTable = std::array<Utf8Pair, 0x10000>;
// Built at first use, for the valid two-byte codes of BMP characters other than U+FFFD.
const Utf8PairTable& Gb18030Utf8Pairs();
const Utf8PairTable& Cp950Utf8Pairs();
const Utf8PairTable& Big5HkscsUtf8Pairs();
// The same for a Big5 table of pointer -> code point.
std::unique_ptr<Utf8PairTable> MakeBig5Utf8Pairs(const std::uint32_t* decode);

// The four Big5-HKSCS codes that stand for a letter followed by a combining mark.
struct Big5Pair {
  std::uint16_t pointer;
  char32_t first;
  char32_t second;
};
constexpr Big5Pair kBig5Pairs[] = {
    {1133, 0x00CA, 0x0304}, {1135, 0x00CA, 0x030C}, {1164, 0x00EA, 0x0304}, {1166, 0x00EA, 0x030C}};

}  // namespace cw::detail
