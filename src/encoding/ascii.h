// Runs of ASCII bytes, found eight bytes at a time: the fast path of every byte scan
// (decoding, UTF-8 detection, script conversion, double-byte-aware search).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace cw {

// Whether the eight bytes at p are all ASCII (00..7F).
inline bool AllAscii8(const void* p) {
  std::uint64_t word;
  std::memcpy(&word, p, 8);
  return (word & 0x8080808080808080ULL) == 0;
}

// The eight bytes at p with the high bit set in each that is 80..FF or zero. The lowest
// flagged byte is exact; a later one may be flagged wrongly (a borrow runs on past a zero
// byte), never an earlier one. Bytes are in memory order, lowest first.
inline std::uint64_t NotAsciiOrZero8(const void* p) {
  constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  std::uint64_t word;
  std::memcpy(&word, p, 8);
  // A zero byte is one whose borrow reaches its high bit without its own.
  return (word & kHigh) | ((word - kOnes) & ~word & kHigh);
}

// Whether the eight bytes at p are all ASCII and none is zero (01..7F).
inline bool AllAsciiNonZero8(const void* p) { return NotAsciiOrZero8(p) == 0; }

// How many of the eight bytes at p, from the first on, are ASCII other than zero (0..8).
inline std::size_t LeadingAsciiNonZero8(const void* p) {
  const std::uint64_t stops = NotAsciiOrZero8(p);
  if (stops == 0) return 8;
#if defined(__GNUC__)
  return static_cast<std::size_t>(__builtin_ctzll(stops)) / 8;
#else
  std::size_t n = 0;
  while ((stops >> (8 * n) & 0x80) == 0) ++n;
  return n;
#endif
}

// The length of the run of ASCII bytes that starts at `from` and ends at `to` at the
// latest: bytes 00..7F, or 01..7F with kStopAtZero, for the scans to which a zero byte
// ends the text.
template <bool kStopAtZero = false>
inline std::size_t AsciiRun(const void* from, const void* to) {
  const auto* const start = static_cast<const unsigned char*>(from);
  const auto* const end = static_cast<const unsigned char*>(to);
  const unsigned char* p = start;
  if constexpr (kStopAtZero) {
    while (end - p >= 8 && AllAsciiNonZero8(p)) p += 8;
    while (p < end && static_cast<unsigned>(*p - 1) < 0x7F) ++p;
  } else {
    while (end - p >= 8 && AllAscii8(p)) p += 8;
    while (p < end && *p < 0x80) ++p;
  }
  return static_cast<std::size_t>(p - start);
}

}  // namespace cw
