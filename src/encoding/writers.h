// The encoders: each takes code points (or runs of ASCII bytes) from a decoder and
// appends one charset's bytes to a growing output, without per-character allocation.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

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
  void Put(char32_t c) {
    char* p = buffer_.Room(4);
    buffer_.Commit(PutCode(p, c, c < 0x10000 ? table_[c] : 0));
  }
  void Finish() { buffer_.Finish(); }

 private:
  // The code of c from the table (0: none, so the four-byte form).
  static char* PutCode(char* p, char32_t c, unsigned code) {
    if (code >= 0x100) {
      p = PutByte(p, code >> 8);
      p = PutByte(p, code & 0xFF);
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
