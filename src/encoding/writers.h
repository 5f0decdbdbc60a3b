// The encoders: each takes code points (or runs of ASCII bytes) from a decoder and
// appends one charset's bytes to a growing output, without per-character allocation.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "encoding/ascii.h"
#include "encoding/code_tables.h"

namespace cw::detail {

// Writes straight into the output string after what it already holds; the string is
// sized up front from an estimate and grows by half when a character does not fit;
// Finish() cuts it to what was written.
template <class Str>
class OutputBuffer {
 public:
  using Unit = typename Str::value_type;

  OutputBuffer(Str& out, std::size_t estimate) : out_(out) {
    const std::size_t start = out_.size();
    out_.resize(start + std::max<std::size_t>(estimate, 16));
    pos_ = &out_[0] + start;
    end_ = &out_[0] + out_.size();
  }
  // A pointer where n more units may be written; pass the advanced pointer to Commit.
  Unit* Room(std::size_t n) {
    if (static_cast<std::size_t>(end_ - pos_) < n) Grow(n);
    return pos_;
  }
  void Commit(Unit* pos) { pos_ = pos; }
  void Append(const Unit* units, std::size_t n) {
    Unit* p = Room(n);
    std::copy(units, units + n, p);
    pos_ = p + n;
  }
  void Finish() { out_.resize(static_cast<std::size_t>(pos_ - out_.data())); }

 private:
  void Grow(std::size_t n) {
    const std::size_t used = static_cast<std::size_t>(pos_ - out_.data());
    out_.resize(std::max(out_.size() + out_.size() / 2, used + n + 16));
    pos_ = &out_[0] + used;
    end_ = &out_[0] + out_.size();
  }

  Str& out_;
  Unit* pos_;
  Unit* end_;
};

// At most this many characters go to a writer in one bulk run, so that the room made for
// a run stays small.
constexpr std::size_t kBulkRun = 4096;

// Fused runs: a writer with kPairs takes a run of two-byte codes straight from a table of
// their UTF-8 bytes (PairRun); one with kUtf8Runs takes a run of plain three-byte UTF-8
// sequences (Utf8Run; for UTF-16 two-byte ones too) without handing each code point over.
// ASCII bytes between them go along. Each stops where the general path must take over (a
// zero byte too, which ends the text), moves its cursor past what it took and says whether
// it took anything.

// The character of the plain three-byte UTF-8 sequence at p, or 0 when it is not one:
// lead bytes whose continuation bytes may be anything (E1..EC, EE, EF), which most
// Chinese text is made of. One mask checks the lead's range (E0..EF) and both
// continuation bytes. Inlined by force: it is the innermost step of every UTF-8 loop.
[[gnu::always_inline]] inline char32_t PlainUtf8At(const unsigned char* p) {
  const std::uint32_t word =
      static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16;
  if ((word & 0xC0C0F0) != 0x8080E0 || p[0] == 0xE0 || p[0] == 0xED) return 0;
  return static_cast<char32_t>((word & 0x0F) << 12 | (word & 0x3F00) >> 2 | (word & 0x3F0000) >> 16);
}

// Four three-byte sequences at p (twelve bytes) checked at once: every lead byte E0..EF
// with two continuation bytes, and no overlong form or surrogate among the characters,
// which go to c. False when any of the four is something else.
[[gnu::always_inline]] inline bool ThreeByteUtf8x4(const unsigned char* p, char32_t* c) {
  std::uint64_t head;
  std::uint32_t tail;
  std::memcpy(&head, p, 8);
  std::memcpy(&tail, p + 8, 4);
  // Byte by byte (little-endian): lead, continuation, continuation, lead, ...
  if ((head & 0xC0F0C0C0F0C0C0F0ULL) != 0x80E08080E08080E0ULL || (tail & 0xC0C0F0C0u) != 0x8080E080u) return false;
  bool valid = true;
  for (int i = 0; i < 4; ++i) {
    const unsigned char* s = p + 3 * i;
    c[i] = static_cast<char32_t>((s[0] & 0x0F) << 12 | (s[1] & 0x3F) << 6 | (s[2] & 0x3F));
    valid &= c[i] >= 0x800 && c[i] - 0xD800 >= 0x800;
  }
  return valid;
}

// Where a run of UTF-8 sequences from p stops at the latest: a sequence is read three bytes
// at a time, so the last two bytes are left to the general path.
inline const unsigned char* Utf8RunStop(const unsigned char* p, const unsigned char* end) {
  if (end - p <= 2) return p;
  return p + std::min<std::size_t>(static_cast<std::size_t>(end - p) - 2, 3 * kBulkRun);
}

// Where eight bytes lie before stop: copies all eight from p to q, and moves both past
// as many as are ASCII other than zero from the first on (a short run of ASCII between
// two Chinese characters takes one step, not one per byte). False when the first byte
// is zero, and when fewer than eight bytes are left; q needs room for eight.
[[gnu::always_inline]] inline bool CopyAscii8(const unsigned char*& p, const unsigned char* stop, char*& q) {
  if (stop - p < 8) return false;
  const std::size_t n = LeadingAsciiNonZero8(p);
  if (n == 0) return false;
  std::memcpy(q, p, 8);
  q += n;
  p += n;
  return true;
}

inline char* PutByte(char* p, unsigned byte) {
  *p++ = static_cast<char>(byte);
  return p;
}

// Every writer but Big5-HKSCS's also takes runs of characters of the Basic Multilingual
// Plane (no surrogates) in bulk: Open(n) makes room for n of them at once, PutBmp writes
// one without a room check, Close ends the run. This is the loop Chinese text spends its
// time in.
class Utf8Writer {
 public:
  static constexpr bool kBulk = true;
  Utf8Writer(std::string& out, std::size_t estimate) : buffer_(out, estimate) {}

  char* Open(std::size_t chars) { return buffer_.Room(3 * chars); }
  static char* PutBmp(char* p, char32_t c) {
    if (c >= 0x800) {
      p[0] = static_cast<char>(0xE0 | c >> 12);
      p[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
      p[2] = static_cast<char>(0x80 | (c & 0x3F));
      return p + 3;
    }
    if (c >= 0x80) {
      p[0] = static_cast<char>(0xC0 | c >> 6);
      p[1] = static_cast<char>(0x80 | (c & 0x3F));
      return p + 2;
    }
    *p = static_cast<char>(c);
    return p + 1;
  }
  void Close(char* p) { buffer_.Commit(p); }

  static constexpr bool kPairs = true;
  bool PairRun(const unsigned char*& cursor, const unsigned char* end, const Utf8PairTable& pairs) {
    const unsigned char* p = cursor;  // a local: the stores through q could alias the caller's
    const unsigned char* const start = p;
    // A code is read two bytes at a time, so the last byte is left to the general path.
    const unsigned char* const stop = p + std::min<std::size_t>(static_cast<std::size_t>(end - p) - 1, 2 * kBulkRun);
    // Each pair is copied whole, its count byte too, which the next one overwrites.
    char* q = buffer_.Room(3 * (static_cast<std::size_t>(stop - p) + 1) / 2 + 2);
    while (p < stop) {
      const unsigned lead = p[0];
      if (lead < 0x80) {
        if (CopyAscii8(p, stop, q)) continue;
        if (lead == 0) break;
        *q++ = static_cast<char>(lead);
        ++p;
        continue;
      }
      const Utf8Pair& pair = pairs[lead << 8 | p[1]];
      if (pair.length == 0) break;
      std::memcpy(q, &pair, sizeof pair);
      q += pair.length;
      p += 2;
    }
    buffer_.Commit(q);
    cursor = p;
    return p != start;
  }

  void Ascii(const char* bytes, std::size_t n) { buffer_.Append(bytes, n); }
  void Put(char32_t c) {
    char* p = buffer_.Room(4);
    if (c < 0x80) {
      p = PutByte(p, c);
    } else if (c < 0x800) {
      p = PutByte(p, 0xC0 | c >> 6);
      p = PutByte(p, 0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      p = PutByte(p, 0xE0 | c >> 12);
      p = PutByte(p, 0x80 | (c >> 6 & 0x3F));
      p = PutByte(p, 0x80 | (c & 0x3F));
    } else {
      p = PutByte(p, 0xF0 | c >> 18);
      p = PutByte(p, 0x80 | (c >> 12 & 0x3F));
      p = PutByte(p, 0x80 | (c >> 6 & 0x3F));
      p = PutByte(p, 0x80 | (c & 0x3F));
    }
    buffer_.Commit(p);
  }
  void Finish() { buffer_.Finish(); }

 private:
  OutputBuffer<std::string> buffer_;
};

// UTF-16 as bytes in either order (kBigEndian), or as char16_t units.
template <bool kBigEndian>
class Utf16ByteWriter {
 public:
  static constexpr bool kBulk = true;
  Utf16ByteWriter(std::string& out, std::size_t estimate) : buffer_(out, estimate) {}

  char* Open(std::size_t chars) { return buffer_.Room(2 * chars); }
  static char* PutBmp(char* p, char32_t c) { return PutUnit(p, c); }
  void Close(char* p) { buffer_.Commit(p); }

  // Stops at U+FFFD, which the general path counts.
  static constexpr bool kUtf8Runs = true;
  bool Utf8Run(const unsigned char*& cursor, const unsigned char* end) {
    const unsigned char* p = cursor;  // a local: the stores through q could alias the caller's
    const unsigned char* const start = p;
    const unsigned char* const stop = Utf8RunStop(p, end);
    char* q = buffer_.Room(2 * static_cast<std::size_t>(stop - p));
    while (p < stop) {
      if (*p < 0x80) {
        // A lone ASCII byte (the line break between two lines of verse) is cheaper
        // byte by byte.
        if (stop - p >= 8 && p[1] < 0x80) {
          // As CopyAscii8 does, all eight bytes are widened and the leading ASCII ones kept.
          const std::size_t n = LeadingAsciiNonZero8(p);
          if (n == 0) break;
          for (int i = 0; i < 8; ++i) PutUnit(q + 2 * i, p[i]);
          p += n;
          q += 2 * n;
          continue;
        }
        if (*p == 0) break;
        q = PutUnit(q, *p++);
        continue;
      }
      const char32_t c = PlainUtf8At(p);
      if (c != 0 && c != kReplacement) {
        q = PutUnit(q, c);
        p += 3;
        continue;
      }
      // A two-byte sequence (C2..DF and a continuation byte: never overlong), such as
      // the no-break space of web pages, goes along too.
      if (static_cast<unsigned>(p[0] - 0xC2) >= 0x1E || (p[1] & 0xC0) != 0x80) break;
      q = PutUnit(q, (p[0] & 0x1Fu) << 6 | (p[1] & 0x3Fu));
      p += 2;
    }
    buffer_.Commit(q);
    cursor = p;
    return p != start;
  }

  void Ascii(const char* bytes, std::size_t n) {
    char* p = buffer_.Room(2 * n);
    for (std::size_t i = 0; i < n; ++i) p = PutUnit(p, static_cast<unsigned char>(bytes[i]));
    buffer_.Commit(p);
  }
  void Put(char32_t c) {
    char* p = buffer_.Room(4);
    if (c < 0x10000) {
      p = PutUnit(p, c);
    } else {
      p = PutUnit(p, 0xD800 | (c - 0x10000) >> 10);
      p = PutUnit(p, 0xDC00 | (c & 0x3FF));
    }
    buffer_.Commit(p);
  }
  void Finish() { buffer_.Finish(); }

 private:
  static char* PutUnit(char* p, unsigned unit) {
    if (kBigEndian) {
      p = PutByte(p, unit >> 8);
      return PutByte(p, unit & 0xFF);
    }
    p = PutByte(p, unit & 0xFF);
    return PutByte(p, unit >> 8);
  }

  OutputBuffer<std::string> buffer_;
};

class Utf16UnitWriter {
 public:
  static constexpr bool kBulk = true;
  Utf16UnitWriter(std::u16string& out, std::size_t estimate) : buffer_(out, estimate) {}

  char16_t* Open(std::size_t chars) { return buffer_.Room(chars); }
  static char16_t* PutBmp(char16_t* p, char32_t c) {
    *p = static_cast<char16_t>(c);
    return p + 1;
  }
  void Close(char16_t* p) { buffer_.Commit(p); }

  void Ascii(const char* bytes, std::size_t n) {
    char16_t* p = buffer_.Room(n);
    for (std::size_t i = 0; i < n; ++i) *p++ = static_cast<unsigned char>(bytes[i]);
    buffer_.Commit(p);
  }
  void Put(char32_t c) {
    char16_t* p = buffer_.Room(2);
    if (c < 0x10000) {
      *p++ = static_cast<char16_t>(c);
    } else {
      *p++ = static_cast<char16_t>(0xD800 | (c - 0x10000) >> 10);
      *p++ = static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
    buffer_.Commit(p);
  }
  void Finish() { buffer_.Finish(); }

 private:
  OutputBuffer<std::u16string> buffer_;
};

// GB18030: one byte for ASCII, two bytes wherever GBK has a code (the euro sign too, as
// A2 E3), four bytes for everything else (so nothing is ever replaced).
class Gb18030Writer {
 public:
  static constexpr bool kBulk = true;
  Gb18030Writer(std::string& out, std::size_t estimate) : buffer_(out, estimate), table_(Gb18030FromBmp()) {}

  void Ascii(const char* bytes, std::size_t n) { buffer_.Append(bytes, n); }
  char* Open(std::size_t chars) { return buffer_.Room(4 * chars); }
  char* PutBmp(char* p, char32_t c) const { return PutCode(p, c, table_[c]); }
  void Close(char* p) { buffer_.Commit(p); }

  // Takes characters with two-byte codes; U+FFFD has a four-byte one.
  static constexpr bool kUtf8Runs = true;
  bool Utf8Run(const unsigned char*& cursor, const unsigned char* end) {
    const unsigned char* p = cursor;  // a local: the stores through q could alias the caller's
    const unsigned char* const start = p;
    const unsigned char* const stop = Utf8RunStop(p, end);
    char* q = buffer_.Room(static_cast<std::size_t>(stop - p) + 2);
    while (p < stop) {
      if (*p < 0x80) {
        if (CopyAscii8(p, stop, q)) continue;
        if (*p == 0) break;
        *q++ = static_cast<char>(*p++);
        continue;
      }
      char32_t four[4];
      if (stop - p >= 10 && ThreeByteUtf8x4(p, four)) {
        const unsigned codes[4] = {table_[four[0]], table_[four[1]], table_[four[2]], table_[four[3]]};
        if ((codes[0] >= 0x100) & (codes[1] >= 0x100) & (codes[2] >= 0x100) & (codes[3] >= 0x100)) {
          for (const unsigned code : codes) q = PutTwoBytes(q, code);
          p += 12;
          continue;
        }
      }
      const char32_t c = PlainUtf8At(p);
      const unsigned code = c != 0 ? table_[c] : 0;
      if (code < 0x100) break;
      q = PutTwoBytes(q, code);
      p += 3;
    }
    buffer_.Commit(q);
    cursor = p;
    return p != start;
  }
  void Put(char32_t c) {
    char* p = buffer_.Room(4);
    buffer_.Commit(PutCode(p, c, c < 0x10000 ? table_[c] : 0));
  }
  void Finish() { buffer_.Finish(); }

 private:
  static char* PutTwoBytes(char* p, unsigned code) { return PutByte(PutByte(p, code >> 8), code & 0xFF); }
  // The code of c from the table (0: none, so the four-byte form).
  static char* PutCode(char* p, char32_t c, unsigned code) {
    if (code >= 0x100) {
      p = PutTwoBytes(p, code);
    } else if (code != 0) {
      p = PutByte(p, code);
    } else {
      std::uint32_t pointer = Gb18030FourBytePointer(c);
      p[3] = static_cast<char>(0x30 + pointer % 10);
      pointer /= 10;
      p[2] = static_cast<char>(0x81 + pointer % 126);
      pointer /= 126;
      p[1] = static_cast<char>(0x30 + pointer % 10);
      p[0] = static_cast<char>(0x81 + pointer / 10);
      p += 4;
    }
    return p;
  }

  OutputBuffer<std::string> buffer_;
  const BmpEncodeTable& table_;
};

// Code page 950 ("BIG5") and Big5-HKSCS. A character without a code becomes one "?";
// code page 950 writes a few symbols as their look-alikes (£ as ￡), as Windows does.
// Big5-HKSCS writes a letter and combining mark that it has one code for as that code,
// so a decoded pair is written back as it was read.
template <bool kHkscs>
class Big5Writer {
 public:
  // Big5-HKSCS holds a letter back to see whether a combining mark follows.
  static constexpr bool kBulk = !kHkscs;
  Big5Writer(std::string& out, std::size_t estimate)
      : buffer_(out, estimate), table_(kHkscs ? Big5HkscsFromBmp() : Cp950FromBmp()) {}

  void Ascii(const char* bytes, std::size_t n) {
    FlushPending();
    buffer_.Append(bytes, n);
  }
  void Put(char32_t c) {
    if (kHkscs) {
      if (pending_ != 0) {
        const char32_t first = pending_;
        pending_ = 0;
        for (const Big5Pair& pair : kBig5Pairs) {
          if (pair.first == first && pair.second == c) {
            PutCode(Big5Code(pair.pointer));
            return;
          }
        }
        PutCode(Lookup(first));
      }
      if (c == 0x00CA || c == 0x00EA) {
        pending_ = c;
        return;
      }
    }
    PutCode(Lookup(c));
  }
  void Finish() {
    FlushPending();
    buffer_.Finish();
  }
  char* Open(std::size_t chars) { return buffer_.Room(2 * chars); }
  char* PutBmp(char* p, char32_t c) const { return PutCodeAt(p, table_[c]); }
  void Close(char* p) { buffer_.Commit(p); }

 private:
  unsigned Lookup(char32_t c) const {
    if (c < 0x10000) return table_[c];
    return kHkscs ? Big5HkscsFromSupplementary(c) : 0;
  }
  static char* PutCodeAt(char* p, unsigned code) {
    if (code >= 0x100) {
      p = PutByte(p, code >> 8);
      return PutByte(p, code & 0xFF);
    }
    return PutByte(p, code != 0 ? code : '?');
  }
  void PutCode(unsigned code) { buffer_.Commit(PutCodeAt(buffer_.Room(2), code)); }
  void FlushPending() {
    if (kHkscs && pending_ != 0) {
      PutCode(Lookup(pending_));
      pending_ = 0;
    }
  }

  OutputBuffer<std::string> buffer_;
  const BmpEncodeTable& table_;
  char32_t pending_ = 0;
};

}  // namespace cw::detail
