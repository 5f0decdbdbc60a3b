// Builds the encoding tables by inverting the generated decoding tables, once per
// process, and looks up GB18030's four-byte area.
#include "encoding/code_tables.h"

#include <algorithm>
#include <memory>

namespace cw::detail {
namespace {

struct Big5HkscsEncoding {
  BmpEncodeTable bmp = {};
  std::vector<std::pair<char32_t, std::uint16_t>> supplementary;  // sorted by code point
};

bool Skipped(const std::uint16_t* skip, std::size_t count, std::uint32_t pointer) {
  return std::binary_search(skip, skip + count, pointer);
}

void FillAscii(BmpEncodeTable& table) {
  for (std::uint16_t c = 1; c < 0x80; ++c) table[c] = c;
}

std::unique_ptr<BmpEncodeTable> BuildGb18030() {
  auto table = std::make_unique<BmpEncodeTable>();
  FillAscii(*table);
  for (std::uint32_t pointer = 0; pointer < gen::kGb18030TwoByteCount; ++pointer) {
    const unsigned rest = pointer % 190;
    (*table)[gen::kGb18030TwoByte[pointer]] =
        static_cast<std::uint16_t>((pointer / 190 + 0x81) << 8 | (rest + (rest < 0x3F ? 0x40 : 0x41)));
  }
  // The euro sign is written as GB18030's A2 E3. The single byte 80, code page 936's
  // euro sign, is still read as it; only text that keeps its GBK bytes writes 80.
  return table;
}

std::unique_ptr<BmpEncodeTable> BuildCp950() {
  auto table = std::make_unique<BmpEncodeTable>();
  FillAscii(*table);
  // Code page 950 passes 80 through as U+0080.
  (*table)[0x80] = 0x80;
  for (std::uint32_t pointer = 0; pointer < gen::kBig5PointerCount; ++pointer) {
    const std::uint16_t codePoint = gen::kCp950Decode[pointer];
    if (codePoint == 0 || Skipped(gen::kCp950EncodeSkip, gen::kCp950EncodeSkipCount, pointer)) continue;
    (*table)[codePoint] = Big5Code(pointer);
  }
  for (const gen::EncodeOnly& entry : gen::kCp950EncodeOnly) (*table)[entry.codePoint] = entry.code;
  return table;
}

std::unique_ptr<Big5HkscsEncoding> BuildBig5Hkscs() {
  auto encoding = std::make_unique<Big5HkscsEncoding>();
  FillAscii(encoding->bmp);
  for (std::uint32_t pointer = 0; pointer < gen::kBig5PointerCount; ++pointer) {
    const char32_t codePoint = gen::kBig5HkscsDecode[pointer];
    if (codePoint == 0 || Skipped(gen::kBig5HkscsEncodeSkip, gen::kBig5HkscsEncodeSkipCount, pointer)) {
      continue;
    }
    if (codePoint < 0x10000) {
      encoding->bmp[codePoint] = Big5Code(pointer);
    } else {
      encoding->supplementary.emplace_back(codePoint, Big5Code(pointer));
    }
  }
  std::sort(encoding->supplementary.begin(), encoding->supplementary.end());
  return encoding;
}

const Big5HkscsEncoding& Big5Hkscs() {
  static const std::unique_ptr<Big5HkscsEncoding> encoding = BuildBig5Hkscs();
  return *encoding;
}

// The table of the two-byte codes that codePointOf(lead, trail) gives a character for
// (0: none); lead bytes 81..FE, trail bytes 40..FE.
template <class CodePointOf>
std::unique_ptr<Utf8PairTable> BuildUtf8Pairs(CodePointOf codePointOf) {
  auto table = std::make_unique<Utf8PairTable>();
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      const char32_t c = codePointOf(lead, trail);
      if (c < 0x80 || c >= 0x10000 || c == kReplacement) continue;
      Utf8Pair& pair = (*table)[lead << 8 | trail];
      if (c < 0x800) {
        pair = {{static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F)), 0}, 2};
      } else {
        pair = {{static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                 static_cast<char>(0x80 | (c & 0x3F))},
                3};
      }
    }
  }
  return table;
}

// The same for a Big5 table of pointer -> code point.
template <class Entry>
std::unique_ptr<Utf8PairTable> BuildBig5Utf8Pairs(const Entry* decode) {
  return BuildUtf8Pairs([decode](unsigned lead, unsigned trail) -> char32_t {
    const bool isTrail = (trail >= 0x40 && trail <= 0x7E) || (trail >= 0xA1 && trail <= 0xFE);
    return isTrail ? decode[Big5Pointer(lead, trail)] : 0;
  });
}

}  // namespace

const Utf8PairTable& Gb18030Utf8Pairs() {
  static const std::unique_ptr<Utf8PairTable> table = BuildUtf8Pairs([](unsigned lead, unsigned trail) -> char32_t {
    return trail == 0x7F ? 0 : gen::kGb18030TwoByte[Gb18030TwoBytePointer(lead, trail)];
  });
  return *table;
}

const Utf8PairTable& Cp950Utf8Pairs() {
  static const std::unique_ptr<Utf8PairTable> table = BuildBig5Utf8Pairs(gen::kCp950Decode);
  return *table;
}

std::unique_ptr<Utf8PairTable> MakeBig5Utf8Pairs(const std::uint32_t* decode) { return BuildBig5Utf8Pairs(decode); }

const Utf8PairTable& Big5HkscsUtf8Pairs() {
  static const std::unique_ptr<Utf8PairTable> table = MakeBig5Utf8Pairs(gen::kBig5HkscsDecode);
  return *table;
}

const BmpEncodeTable& Gb18030FromBmp() {
  static const std::unique_ptr<BmpEncodeTable> table = BuildGb18030();
  return *table;
}

const BmpEncodeTable& Cp950FromBmp() {
  static const std::unique_ptr<BmpEncodeTable> table = BuildCp950();
  return *table;
}

const BmpEncodeTable& Big5HkscsFromBmp() { return Big5Hkscs().bmp; }

std::uint16_t Big5HkscsFromSupplementary(char32_t codePoint) {
  const auto& list = Big5Hkscs().supplementary;
  const auto it = std::lower_bound(list.begin(), list.end(), std::make_pair(codePoint, std::uint16_t{0}));
  return it != list.end() && it->first == codePoint ? it->second : 0;
}

char32_t Gb18030FourByteCodePoint(std::uint32_t pointer) {
  if (pointer < gen::kGb18030BmpPointerLimit) {
    const gen::Gb18030Run* runs = gen::kGb18030RunsByPointer;
    const gen::Gb18030Run* run =
        std::upper_bound(runs, runs + gen::kGb18030RunCount, pointer,
                         [](std::uint32_t p, const gen::Gb18030Run& r) { return p < r.pointer; }) -
        1;
    return run->codePoint + (pointer - run->pointer);
  }
  if (pointer >= kGb18030SupplementaryPointer && pointer <= kGb18030LastPointer) {
    return 0x10000 + (pointer - kGb18030SupplementaryPointer);
  }
  return 0;
}

std::uint32_t Gb18030FourBytePointer(char32_t codePoint) {
  if (codePoint >= 0x10000) return kGb18030SupplementaryPointer + (codePoint - 0x10000);
  const gen::Gb18030Run* runs = gen::kGb18030RunsByCodePoint;
  const gen::Gb18030Run* run = std::upper_bound(runs, runs + gen::kGb18030RunCount, codePoint,
                                                [](char32_t c, const gen::Gb18030Run& r) { return c < r.codePoint; }) -
                               1;
  return run->pointer + (codePoint - run->codePoint);
}

}  // namespace cw::detail
