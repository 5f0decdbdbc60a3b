// Piecewise transcoding gives exactly the bytes of a whole-input transcoding, whatever
// the input (valid, invalid, zero characters) and wherever the pieces are cut.
#include "convert/responsive_transcode.h"

#include <gtest/gtest.h>

#include <random>

#include "encoding/charset.h"
#include "platform/platform.h"

namespace cw {
namespace {

// Random bytes biased towards the interesting ones: leads, trails, digits, ASCII
// separators, surrogates in UTF-16 and the occasional zero.
std::string RandomBytes(std::mt19937& random, size_t size) {
  static const unsigned char kPool[] = {0x00, 0x0A, 0x20, 0x2F, 0x30, 0x39, 0x41, 0x7E, 0x7F, 0x80, 0x81,
                                        0x8B, 0xA1, 0xBF, 0xC2, 0xD8, 0xDC, 0xE4, 0xED, 0xF0, 0xFE, 0xFF};
  std::string out(size, '\0');
  for (char& c : out) {
    const unsigned roll = random() % 4;
    c = static_cast<char>(roll == 0 ? random() % 256 : kPool[random() % sizeof(kPool)]);
  }
  return out;
}

TEST(ResponsiveTranscode, SameBytesAsOneWholeTranscode) {
  const Charset kDecodings[] = {Charset::Utf8, Charset::Utf16Le,   Charset::Utf16Be,
                                Charset::Big5, Charset::Big5Hkscs, Charset::Gb18030};
  const Charset kEncodings[] = {Charset::Utf8, Charset::Utf16Le, Charset::Utf16Be, Charset::Big5, Charset::Big5Hkscs};
  std::mt19937 random(20261208);
  for (int round = 0; round < 400; ++round) {
    std::string input = RandomBytes(random, 1 + random() % 300);
    // Most rounds without zeros, so the pieces reach the end.
    if (round % 4 != 0) {
      for (char& c : input) {
        if (c == 0) c = 0x20;
      }
    }
    const size_t piece = 1 + random() % 40;
    for (const Charset source : kDecodings) {
      ASSERT_EQ(TranscodeResponsive(input, source, kWorkingCharset, piece), Transcode(input, source, kWorkingCharset))
          << CharsetName(source) << " piece " << piece << " round " << round;
    }
    // Encoding starts from valid working text.
    const std::string working = Transcode(input, "UTF-8", "GB18030");
    for (const Charset target : kEncodings) {
      ASSERT_EQ(TranscodeResponsive(working, kWorkingCharset, target, piece),
                Transcode(working, kWorkingCharset, target))
          << CharsetName(target) << " piece " << piece << " round " << round;
    }
  }
}

TEST(ResponsiveTranscode, PumpsBetweenPiecesOfALargeText) {
  std::string text;
  while (text.size() < (1u << 20)) text += "\xE4\xB8\xAD\xE6\x96\x87 line\n";
  int pumps = 0;
  platform::SetPumpHook([&pumps] { ++pumps; });
  const std::string out = TranscodeResponsive(text, Charset::Utf8, Charset::Gb18030, 64 * 1024);
  platform::SetPumpHook(nullptr);
  EXPECT_EQ(out, Transcode(text, "UTF-8", "GB18030"));
  EXPECT_GE(pumps, 15);
  EXPECT_LE(pumps, 17);
}

TEST(ResponsiveTranscode, ByteSearchPumpsBetweenPiecesAndFindsAcrossThem) {
  std::string bytes(9u << 20, 'a');
  int pumps = 0;
  platform::SetPumpHook([&pumps] { ++pumps; });
  EXPECT_EQ(FindByteResponsive(bytes, '<'), std::string_view::npos);
  EXPECT_EQ(pumps, 2);  // between the three pieces, none after the last
  bytes[(8u << 20) + 5] = '<';
  bytes.back() = '<';
  EXPECT_EQ(FindByteResponsive(bytes, '<'), (8u << 20) + 5);
  EXPECT_EQ(FindByteResponsive(std::string_view(bytes).substr(0, 10), '<'), std::string_view::npos);
  platform::SetPumpHook(nullptr);
  // With a mark, the mark comes first and an empty result stays empty.
  EXPECT_EQ(TranscodeResponsive("\xE4\xB8\xAD", Charset::Utf8, Charset::Utf16Le, 1, "\xFF\xFE"), "\xFF\xFE\x2D\x4E");
  EXPECT_EQ(TranscodeResponsive("", Charset::Utf8, Charset::Utf16Le, 1, "\xFF\xFE"), "");
}

}  // namespace
}  // namespace cw
