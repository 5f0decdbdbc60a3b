// Where a piece of a longer input may end.
#include "encoding/stream.h"

#include <cstring>

namespace cw {
namespace {

bool IsUtf16(Charset charset) { return charset == Charset::Utf16Le || charset == Charset::Utf16Be; }

// The bytes a UTF-8 sequence takes in all, by its lead byte; 1 for anything that is not
// a lead byte (a decoder takes it alone).
std::size_t Utf8Length(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

std::size_t Utf8CompletePrefix(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  // A sequence that may still be completed starts at most three bytes from the end: the
  // last byte there that is not a continuation byte.
  for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
    const unsigned char b = p[size - back];
    if ((b & 0xC0) == 0x80) continue;
    return Utf8Length(b) > back ? size - back : size;
  }
  return size;
}

std::size_t Utf16CompletePrefix(std::string_view bytes, bool bigEndian) {
  std::size_t size = bytes.size() & ~static_cast<std::size_t>(1);
  if (size >= 2) {
    const auto hi = static_cast<unsigned char>(bytes[size - (bigEndian ? 2 : 1)]);
    if (hi >= 0xD8 && hi <= 0xDB) size -= 2;  // its low surrogate may follow
  }
  return size;
}

std::size_t DoubleByteCompletePrefix(std::string_view bytes) {
  for (std::size_t i = bytes.size(); i > 0; --i) {
    if (static_cast<unsigned char>(bytes[i - 1]) < 0x30) return i;
  }
  return 0;
}

}  // namespace

std::size_t CompletePrefix(std::string_view bytes, Charset source) {
  switch (source) {
    case Charset::Utf8: return Utf8CompletePrefix(bytes);
    case Charset::Utf16Le:
    case Charset::Utf16Be: return Utf16CompletePrefix(bytes, source == Charset::Utf16Be);
    case Charset::Gb18030:
    case Charset::Big5:
    case Charset::Big5Hkscs:
    case Charset::Big5Web: return DoubleByteCompletePrefix(bytes);
    case Charset::Unknown: break;
  }
  return 0;
}

bool HoldsZeroCharacter(std::string_view bytes, Charset charset) {
  if (IsUtf16(charset)) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      if (bytes[i] == 0 && bytes[i + 1] == 0) return true;
    }
    return false;
  }
  return std::memchr(bytes.data(), 0, bytes.size()) != nullptr;
}

}  // namespace cw
