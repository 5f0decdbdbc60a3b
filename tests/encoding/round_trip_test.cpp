// Lossless round trips: every Unicode scalar value through the working code page, and
// every code-page-936 byte string through UTF-8 and back, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "encoding/charset.h"
#include "encoding/reference.h"

namespace cw {
namespace {

using test::Bytes;
using test::Hex;

class RoundTripTest : public ::testing::Test {
 protected:
  // Every scalar value from U+0001, one after another.
  static std::string AllScalarsUtf8() {
    std::string text;
    for (char32_t c = 1; c <= 0x10FFFF; ++c) {
      if (c < 0xD800 || c > 0xDFFF) text += test::Utf8Of(c);
    }
    return text;
  }
  static std::string AllScalarsUtf16(bool bigEndian) {
    std::string text;
    auto unit = [&](unsigned u) {
      text += static_cast<char>(bigEndian ? u >> 8 : u & 0xFF);
      text += static_cast<char>(bigEndian ? u & 0xFF : u >> 8);
    };
    for (char32_t c = 1; c <= 0x10FFFF; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      if (c < 0x10000) {
        unit(c);
      } else {
        unit(0xD800 | (c - 0x10000) >> 10);
        unit(0xDC00 | (c & 0x3FF));
      }
    }
    return text;
  }
};

TEST_F(RoundTripTest, EveryScalarValueSurvivesTheWorkingCodePage) {
  const std::string utf8 = AllScalarsUtf8();
  const std::string working = Transcode(utf8, Charset::Utf8, Charset::Gb18030);
  EXPECT_EQ(Transcode(working, Charset::Gb18030, Charset::Utf8), utf8);
  // Nothing became "?": the working code page can hold every character.
  EXPECT_EQ(Transcode(Transcode(working, "GB18030", "UTF-16LE"), "UTF-16LE", "UTF-8"), utf8);

  for (bool bigEndian : {false, true}) {
    const std::string utf16 = AllScalarsUtf16(bigEndian);
    const Charset charset = bigEndian ? Charset::Utf16Be : Charset::Utf16Le;
    const std::string fromUtf16 = Transcode(utf16, charset, Charset::Gb18030);
    EXPECT_EQ(fromUtf16, working);
    EXPECT_EQ(Transcode(fromUtf16, Charset::Gb18030, charset), utf16) << "big endian " << bigEndian;
  }
}

TEST_F(RoundTripTest, EveryScalarValueSurvivesTheWin32Boundary) {
  const std::string working = Transcode(AllScalarsUtf8(), Charset::Utf8, Charset::Gb18030);
  const std::u16string wide = WorkingToUtf16(working);
  EXPECT_EQ(Utf16ToWorking(wide), working);
  // The wchar_t form carries the same units, and stops at a zero as well.
  const std::wstring units = WorkingToWide(working);
  EXPECT_TRUE(std::equal(units.begin(), units.end(), wide.begin(), wide.end()));
  EXPECT_EQ(WideToWorking(units), working);
  EXPECT_EQ(WideToWorking(std::wstring(L"a\0b", 3)), "a");
}

TEST_F(RoundTripTest, EveryCodePage936ByteStringRoundTripsByteForByte) {
  test::Iconv cp936("CP936");
  ASSERT_TRUE(cp936.ok());
  std::vector<unsigned> codes = test::TwoByteCodes(test::GbTrail);
  // The zero byte is left out: it ends a text, so it is never part of one.
  for (unsigned byte = 0x01; byte <= 0xFF; ++byte) codes.push_back(byte);
  int compared = 0;
  for (unsigned code : codes) {
    const std::string bytes = Bytes(code);
    if (!cp936.ToUtf8(bytes)) continue;
    ++compared;
    const std::string utf8 = Transcode(bytes, Charset::Gb18030, Charset::Utf8);
    // Except code page 936's one-byte euro sign, which comes back as GB18030's A2 E3.
    EXPECT_EQ(Hex(Transcode(utf8, Charset::Utf8, Charset::Gb18030)), code == 0x80 ? "A2E3" : Hex(bytes));
  }
  EXPECT_GT(compared, 21000);
}

TEST_F(RoundTripTest, EveryTwoByteCodeRoundTrips) {
  // Including the user-defined areas, A3A0, the euro sign A2E3 and the codes GB18030-2022
  // reassigned, which glibc's CP936 does not accept.
  for (unsigned code : test::TwoByteCodes(test::GbTrail)) {
    const std::string bytes = Bytes(code);
    ASSERT_EQ(Hex(Transcode(Transcode(bytes, "GB18030", "UTF-8"), "UTF-8", "GB18030")), Hex(bytes));
  }
}

// The short way for file names must agree with the general one wherever it answers: for
// every two-byte code, with ASCII around it, and for what it must leave alone.
TEST_F(RoundTripTest, PlainNamesConvertAsTheGeneralPathWould) {
  int plain = 0;
  for (unsigned lead = 0x80; lead <= 0xFF; ++lead) {
    for (unsigned trail = 0x01; trail <= 0xFF; ++trail) {
      const std::string text = "a" + std::string{static_cast<char>(lead), static_cast<char>(trail)} + ".txt";
      std::string utf8;
      if (!PlainWorkingToUtf8(text, &utf8)) continue;
      ++plain;
      ASSERT_EQ(Utf16ToWorking(WorkingToUtf16(text)), text) << Hex(text);
      ASSERT_EQ(utf8, ToUtf8(text)) << Hex(text);
      ASSERT_TRUE(PlainWorkingToUtf8(text));
    }
  }
  EXPECT_GT(plain, 21000);  // GBK's codes, nearly all of them
  for (const std::string& text : {FromUtf8("文件00001.txt"), FromUtf8("中文\\誠籠")}) {
    EXPECT_TRUE(PlainWorkingToUtf8(text)) << Hex(text);
  }
  for (const std::string& text : {std::string("\x80"), std::string("a\x81"), std::string("a\0b", 3), FromUtf8("😀"),
                                  std::string("\x81\x30\x81\x30")}) {
    EXPECT_FALSE(PlainWorkingToUtf8(text)) << Hex(text);
  }
}

TEST_F(RoundTripTest, Big5CodesRoundTripExceptDuplicates) {
  // A code decodes to one character, which encodes to that code unless the character has
  // several codes; then every one of its codes encodes to the same one.
  for (Charset charset : {Charset::Big5, Charset::Big5Hkscs}) {
    std::map<std::string, std::set<std::string>> codesOf;
    for (unsigned code : test::TwoByteCodes(test::Big5Trail)) {
      const std::string bytes = Bytes(code);
      const std::string utf8 = Transcode(bytes, charset, Charset::Utf8);
      if (utf8.find("\xEF\xBF\xBD") != std::string::npos) continue;
      codesOf[utf8].insert(bytes);
    }
    EXPECT_GT(codesOf.size(), charset == Charset::Big5 ? 13000u : 18000u);
    for (const auto& [utf8, codes] : codesOf) {
      const std::string encoded = Transcode(utf8, Charset::Utf8, charset);
      EXPECT_TRUE(codes.count(encoded)) << Hex(utf8) << " written as " << Hex(encoded);
      if (codes.size() == 1) {
        EXPECT_EQ(encoded, *codes.begin());
      }
    }
  }
}

}  // namespace
}  // namespace cw
