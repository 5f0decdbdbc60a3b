// The decoders: each reads one charset's bytes and hands code points (and runs of
// ASCII bytes) to a writer. Invalid bytes become U+FFFD with the error recovery of the
// WHATWG decoders. Every decoder stops at the first U+0000: the text ends there.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "encoding/ascii.h"
#include "encoding/code_tables.h"
#include "encoding/writers.h"

namespace cw::detail {

using Byte = unsigned char;

// Handles a byte below 80 at p: returns false at a zero (the end of the text), else
// passes the ASCII run on and moves p past it.
template <class Writer>
inline bool TakeAscii(const Byte*& p, const Byte* end, Writer& writer) {
  if (*p == 0) return false;
  const std::size_t n = AsciiRun<true>(p, end);
  writer.Ascii(reinterpret_cast<const char*>(p), n);
  p += n;
  return true;
}

inline bool InRange(unsigned byte, unsigned low, unsigned high) { return byte - low <= high - low; }

// Whether a writer takes runs of BMP characters in bulk (see writers.h): one that says so
// with a kBulk of true.
template <class Writer, class = void>
struct IsBulkWriter : std::false_type {};
template <class Writer>
struct IsBulkWriter<Writer, std::void_t<decltype(Writer::kBulk)>> : std::bool_constant<Writer::kBulk> {};

// Whether a writer takes fused runs (see writers.h).
template <class Writer, class = void>
struct TakesPairs : std::false_type {};
template <class Writer>
struct TakesPairs<Writer, std::void_t<decltype(Writer::kPairs)>> : std::bool_constant<Writer::kPairs> {};
template <class Writer, class = void>
struct TakesUtf8Runs : std::false_type {};
template <class Writer>
struct TakesUtf8Runs<Writer, std::void_t<decltype(Writer::kUtf8Runs)>> : std::bool_constant<Writer::kUtf8Runs> {};

// Hands the run of characters at p that `next` decodes to a bulk writer: next(p) gives the
// character at p and its length in bytes, or a length of 0 where the run ends (at most
// `most` characters of `width` bytes each are taken). Returns whether any was.
template <class Writer, class Next>
inline bool TakeBulkRun(const Byte*& p, const Byte* end, std::size_t width, Writer& writer, Next next) {
  const std::size_t most = std::min<std::size_t>(static_cast<std::size_t>(end - p) / width, kBulkRun);
  const Byte* const start = p;
  const Byte* const stop = p + most * width;
  auto* q = writer.Open(most);
  while (p < stop) {
    char32_t c;
    if (!next(p, c)) break;
    q = writer.PutBmp(q, c);
    p += width;
  }
  writer.Close(q);
  return p != start;
}

// One UTF-8 sequence at p checked in full, as Unicode defines it: the character, or one
// U+FFFD for a maximal valid prefix that breaks off (or is cut by the end; the byte that
// broke it is read again). Returns where the next one starts.
template <class Writer>
const Byte* DecodeUtf8Sequence(const Byte* p, const Byte* end, Writer& writer) {
  const unsigned b = *p;
  // The sequence length and the allowed range of the second byte (which excludes
  // overlong forms, surrogates and values above U+10FFFF).
  unsigned need, low = 0x80, high = 0xBF;
  if (InRange(b, 0xC2, 0xDF)) {
    need = 1;
  } else if (InRange(b, 0xE0, 0xEF)) {
    need = 2;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (InRange(b, 0xF0, 0xF4)) {
    need = 3;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    writer.Put(kReplacement);
    return p + 1;
  }
  char32_t c = b & (0x3F >> need);
  std::size_t taken = 1;
  for (; taken <= need; ++taken) {
    if (p + taken == end) break;
    const unsigned next = p[taken];
    if (taken == 1 ? !InRange(next, low, high) : !InRange(next, 0x80, 0xBF)) break;
    c = c << 6 | (next & 0x3F);
  }
  writer.Put(taken <= need ? kReplacement : c);
  return p + taken;
}

template <class Writer>
void DecodeUtf8(std::string_view bytes, Writer& writer) {
  const Byte* p = reinterpret_cast<const Byte*>(bytes.data());
  const Byte* const end = p + bytes.size();
  while (p < end) {
    const unsigned b = *p;
    if (b < 0x80) {
      if (!TakeAscii(p, end, writer)) return;
      continue;
    }
    // Most Chinese text is three-byte sequences whose lead byte allows any continuation
    // byte (E1..EC, EE, EF): those go without the general checks below.
    if constexpr (TakesUtf8Runs<Writer>::value) {
      if (writer.Utf8Run(p, end)) continue;
    }
    if constexpr (IsBulkWriter<Writer>::value) {
      const bool took = TakeBulkRun(p, end, 3, writer, [](const Byte* q, char32_t& c) {
        c = PlainUtf8At(q);
        return c != 0;
      });
      if (took) continue;
    }
    if (end - p >= 3) {
      if (const char32_t c = PlainUtf8At(p)) {
        writer.Put(c);
        p += 3;
        continue;
      }
    }
    p = DecodeUtf8Sequence(p, end, writer);
  }
}

// UTF-16 code units, count of them, from unitAt(i). A surrogate without its partner
// becomes U+FFFD.
template <class UnitAt, class Writer>
bool DecodeUtf16Units(std::size_t count, UnitAt unitAt, Writer& writer) {
  for (std::size_t i = 0; i < count;) {
    const char32_t unit = unitAt(i++);
    if (unit == 0) return false;
    if (unit < 0xD800 || unit > 0xDFFF) {
      writer.Put(unit);
    } else if (unit <= 0xDBFF && i < count && InRange(unitAt(i), 0xDC00, 0xDFFF)) {
      writer.Put(0x10000 + ((unit - 0xD800) << 10) + (unitAt(i++) - 0xDC00));
    } else {
      writer.Put(kReplacement);
    }
  }
  return true;
}

// UTF-16 bytes in either order; an odd last byte is one more U+FFFD.
template <bool kBigEndian, class Writer>
void DecodeUtf16(std::string_view bytes, Writer& writer) {
  const Byte* p = reinterpret_cast<const Byte*>(bytes.data());
  auto unitAt = [p](std::size_t i) -> char32_t {
    const Byte* q = p + 2 * i;
    return kBigEndian ? (q[0] << 8 | q[1]) : (q[1] << 8 | q[0]);
  };
  if (DecodeUtf16Units(bytes.size() / 2, unitAt, writer) && bytes.size() % 2 != 0) {
    writer.Put(kReplacement);
  }
}

// Everything but ASCII and the two-byte codes, at the pace of the WHATWG decoder: the
// euro byte, four-byte codes and the U+FFFD of a broken sequence. Returns where the next
// character starts.
template <class Writer>
const Byte* DecodeGb18030Rest(const Byte* p, const Byte* end, Writer& writer) {
  const unsigned lead = *p;
  if (lead == 0x80) {
    writer.Put(0x20AC);
    return p + 1;
  }
  if (lead == 0xFF || end - p == 1) {
    writer.Put(kReplacement);
    return p + 1;
  }
  const unsigned second = p[1];
  if (!InRange(second, 0x30, 0x39)) {
    // A trail byte out of range: an ASCII one is read again.
    writer.Put(kReplacement);
    return p + (second < 0x80 ? 1 : 2);
  }
  if (end - p == 2 || !InRange(p[2], 0x81, 0xFE)) {
    writer.Put(kReplacement);
    return p + (end - p == 2 ? 2 : 1);
  }
  if (end - p == 3 || !InRange(p[3], 0x30, 0x39)) {
    writer.Put(kReplacement);
    return p + (end - p == 3 ? 3 : 1);
  }
  const std::uint32_t pointer = (((lead - 0x81) * 10 + (second - 0x30)) * 126 + (p[2] - 0x81)) * 10 + (p[3] - 0x30);
  const char32_t c = Gb18030FourByteCodePoint(pointer);
  writer.Put(c != 0 ? c : kReplacement);
  return p + 4;
}

template <class Writer>
void DecodeGb18030(std::string_view bytes, Writer& writer) {
  const std::uint16_t* const twoByte = gen::kGb18030TwoByte;
  const Byte* p = reinterpret_cast<const Byte*>(bytes.data());
  const Byte* const end = p + bytes.size();
  while (p < end) {
    const unsigned lead = *p;
    if (lead < 0x80) {
      if (!TakeAscii(p, end, writer)) return;
      continue;
    }
    if constexpr (TakesPairs<Writer>::value) {
      if (writer.PairRun(p, end, Gb18030Utf8Pairs())) continue;
    }
    if constexpr (IsBulkWriter<Writer>::value) {
      // Runs of two-byte codes, which every two-byte code decodes to a BMP character in.
      const bool took = TakeBulkRun(p, end, 2, writer, [twoByte](const Byte* q, char32_t& c) {
        if (!InRange(q[0], 0x81, 0xFE) || !InRange(q[1], 0x40, 0xFE) || q[1] == 0x7F) return false;
        c = twoByte[Gb18030TwoBytePointer(q[0], q[1])];
        return true;
      });
      if (took) continue;
    }
    if (end - p >= 2 && InRange(lead, 0x81, 0xFE)) {
      const unsigned trail = p[1];
      if (InRange(trail, 0x40, 0xFE) && trail != 0x7F) {
        writer.Put(twoByte[Gb18030TwoBytePointer(lead, trail)]);
        p += 2;
        continue;
      }
    }
    p = DecodeGb18030Rest(p, end, writer);
  }
}

template <class Writer>
bool DecodeBig5Pair(std::uint32_t pointer, Writer& writer) {
  for (const Big5Pair& pair : kBig5Pairs) {
    if (pair.pointer != pointer) continue;
    writer.Put(pair.first);
    writer.Put(pair.second);
    return true;
  }
  return false;
}

// Big5 with a table of pointer -> code point (0: no character). kHkscs adds the four
// codes that decode to two code points; code page 950 passes the byte 80 through.
// `pairs` gives the table's fused UTF-8 runs.
template <bool kHkscs, const Utf8PairTable& (*pairs)(), class Entry, class Writer>
void DecodeBig5(std::string_view bytes, const Entry* table, Writer& writer) {
  const Byte* p = reinterpret_cast<const Byte*>(bytes.data());
  const Byte* const end = p + bytes.size();
  while (p < end) {
    const unsigned lead = *p;
    if (lead < 0x80) {
      if (!TakeAscii(p, end, writer)) return;
      continue;
    }
    if constexpr (TakesPairs<Writer>::value) {
      if (writer.PairRun(p, end, pairs())) continue;
    }
    if constexpr (IsBulkWriter<Writer>::value && !kHkscs) {
      // Code page 950 has only BMP characters: runs of its two-byte codes go in bulk.
      const bool took = TakeBulkRun(p, end, 2, writer, [table](const Byte* q, char32_t& c) {
        if (!InRange(q[0], 0x81, 0xFE) || !(InRange(q[1], 0x40, 0x7E) || InRange(q[1], 0xA1, 0xFE))) return false;
        c = table[Big5Pointer(q[0], q[1])];
        return c != 0;
      });
      if (took) continue;
    }
    if (!InRange(lead, 0x81, 0xFE) || end - p == 1) {
      writer.Put(lead == 0x80 && !kHkscs ? 0x80 : kReplacement);
      ++p;
      continue;
    }
    const unsigned trail = p[1];
    if (InRange(trail, 0x40, 0x7E) || InRange(trail, 0xA1, 0xFE)) {
      const std::uint32_t pointer = Big5Pointer(lead, trail);
      const char32_t c = table[pointer];
      if (c != 0) {
        writer.Put(c);
        p += 2;
        continue;
      }
      if (kHkscs && DecodeBig5Pair(pointer, writer)) {
        p += 2;
        continue;
      }
    }
    writer.Put(kReplacement);
    p += trail < 0x80 ? 1 : 2;
  }
}

}  // namespace cw::detail
