// Simplified/Traditional and GBK/Big5 mappings of the working text.
#include "convert/script_conversion.h"

#include <gtest/gtest.h>

#include "encoding/charset.h"
#include "support/temp_dir.h"

namespace cw {
namespace {

using test::W;

TEST(ScriptMapping, FourCharactersKeepTheirEightBytes) {
  const std::string simplified = W(u8"简体中文");
  const std::string traditional = ToTraditional(simplified);
  EXPECT_EQ(traditional, W(u8"簡體中文"));
  EXPECT_EQ(traditional.size(), 8u);
  EXPECT_EQ(ToSimplified(traditional), simplified);
}

TEST(ScriptMapping, LeavesEverythingWithoutAPairAlone) {
  // ASCII, characters of the other script, four-byte characters and a lone lead byte.
  const std::string mixed = W(u8"abc 中文 😀 ㄅ") + "\x81";
  EXPECT_EQ(ToSimplified(mixed), mixed);
  EXPECT_EQ(ToTraditional(W(u8"臺灣")), W(u8"臺灣"));
  EXPECT_EQ(ToTraditional(""), "");
  EXPECT_EQ(ToSimplified(""), "");
}

TEST(ScriptMapping, FirstCandidateOfOneToManyPairs) {
  // 发 has two Traditional forms (發, 髮); the usual one is taken.
  EXPECT_EQ(ToTraditional(W(u8"头发")), W(u8"頭發"));
}

TEST(Big5Mapping, SimplifiedToBig5AndBack) {
  const std::string simplified = W(u8"简体中文，测试。");
  const std::string big5 = SimplifiedToBig5(simplified);
  // 簡體中文，測試。 in code page 950.
  EXPECT_EQ(big5, "\xC2\xB2\xC5\xE9\xA4\xA4\xA4\xE5\xA1\x41\xB4\xFA\xB8\xD5\xA1\x43");
  EXPECT_EQ(Big5ToSimplified(big5), simplified);
  EXPECT_EQ(Big5ToGbk(big5), W(u8"簡體中文，測試。"));
  EXPECT_EQ(GbkToBig5(""), "");
  EXPECT_EQ(Big5ToGbk(""), "");
}

TEST(Big5Mapping, MissingCharactersBecomeOneDefaultEach) {
  // Hangul is in GB18030 but not in Big5: one "?" each, the rest intact.
  const std::string big5 = GbkToBig5(W(u8"中한국文"));
  EXPECT_EQ(big5, "\xA4\xA4??\xA4\xE5");
}

TEST(ScriptOptions, ContentAndFileNameMappingsPerOption) {
  const std::string s = W(u8"简体");
  const std::string t = W(u8"簡體");
  EXPECT_EQ(MapContent(ScriptConversion::None, s), s);
  EXPECT_EQ(MapContent(ScriptConversion::SimplifiedToTraditional, s), t);
  EXPECT_EQ(MapContent(ScriptConversion::TraditionalToBig5, t), "\xC2\xB2\xC5\xE9");
  EXPECT_EQ(MapContent(ScriptConversion::Big5ToTraditional, "\xC2\xB2\xC5\xE9"), t);
  // Names never become Big5: the script on the other side of the option is used.
  EXPECT_EQ(MapFileName(ScriptConversion::SimplifiedToBig5, t), s);
  EXPECT_EQ(MapFileName(ScriptConversion::TraditionalToBig5, s), t);
  EXPECT_EQ(MapFileName(ScriptConversion::Big5ToSimplified, t), s);
  EXPECT_EQ(MapFileName(ScriptConversion::Big5ToTraditional, s), t);
  EXPECT_EQ(MapFileName(ScriptConversion::None, s), s);
}

}  // namespace
}  // namespace cw
