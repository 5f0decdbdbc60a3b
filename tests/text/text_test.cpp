// Searching, replacing and splitting working-code-page texts without ever matching the
// second byte of a two-byte character.
#include "text/text.h"

#include <gtest/gtest.h>

namespace cw::text {
namespace {

// GBK "\xD5\x5C" is one character whose second byte is a backslash; "\xB1\x7C" one whose
// second byte is "|"; "\xC1\x41" one whose second byte is "A".
const std::string kBackslashTrail = "\xD5\x5C";
const std::string kBarTrail = "\xB1\x7C";

TEST(TextFind, NeverMatchesSecondByteOfTwoByteCharacter) {
  EXPECT_EQ(Find(kBackslashTrail + "x", "\\"), npos);
  EXPECT_EQ(Find("a" + kBackslashTrail + "\\b", "\\"), 3u);
  EXPECT_EQ(FindNoCase("\xC1\x41"
                       "a",
                       "a"),
            2u);
  EXPECT_EQ(Find("\xC1\x41\xC1\x41", "\x41\xC1"), npos);
  EXPECT_EQ(FindLast("a\\b" + kBackslashTrail, "\\"), 1u);
}

TEST(TextFind, FromPositionAndEmptyNeedle) {
  EXPECT_EQ(Find("abcabc", "bc", 2), 4u);
  EXPECT_EQ(Find("abc", "", 1), 1u);
  EXPECT_EQ(Find("abc", "x", 5), npos);
  EXPECT_EQ(Find("ab", "abc"), npos);
}

TEST(TextFind, IgnoresAsciiCaseOnly) {
  EXPECT_EQ(FindNoCase("<HEAD><Meta charset=UTF-8>", "<meta"), 6u);
  EXPECT_EQ(FindLastNoCase("a.HTM.htm", ".htm"), 5u);
  // Bytes above 0x7F are compared exactly: no case folding of GBK second bytes.
  EXPECT_EQ(FindNoCase("\xC1\x61", "\xC1\x41"), npos);
}

TEST(TextReplace, LeftToRightWithoutOverlap) {
  EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(ReplaceAll("x\r\ny\r\n", "\r\n", "\n"), "x\ny\n");
  EXPECT_EQ(ReplaceAll(kBackslashTrail + "\\", "\\", "/"), kBackslashTrail + "/");
  EXPECT_EQ(ReplaceAll("abc", "", "z"), "abc");
}

TEST(TextSplit, KeepsEveryPieceAndStepsOverTrailBytes) {
  EXPECT_EQ(Split("*.txt|*.htm", "|"), (std::vector<std::string>{"*.txt", "*.htm"}));
  EXPECT_EQ(Split("|a||", "|"), (std::vector<std::string>{"", "a", "", ""}));
  EXPECT_EQ(Split(kBarTrail + "|x", "|"), (std::vector<std::string>{kBarTrail, "x"}));
  EXPECT_EQ(Split("", "|"), (std::vector<std::string>{""}));
}

TEST(TextTrim, AsciiAndFullWidthBlanks) {
  EXPECT_EQ(TrimBlanks("  D:\\docs \xA1\xA1 "), "D:\\docs");
  EXPECT_EQ(TrimBlanks("\xA1\xA1\xA1\xA1"), "");
  // "\xB0\xA1" ends in A1 but is not a blank; neither is "\xA1" + "\xA1\xA1" split wrongly.
  EXPECT_EQ(TrimBlanks("\xB0\xA1\xA1\xA1"), "\xB0\xA1");
  EXPECT_EQ(TrimBlanks(""), "");
}

TEST(TextPaths, SplitAtLastBackslash) {
  PathParts parts = SplitAtLastBackslash("D:\\docs\\a.txt");
  EXPECT_TRUE(parts.hasBackslash);
  EXPECT_EQ(parts.folder, "D:\\docs");
  EXPECT_EQ(parts.name, "a.txt");

  parts = SplitAtLastBackslash("name.txt");
  EXPECT_FALSE(parts.hasBackslash);
  EXPECT_EQ(parts.folder, "");
  EXPECT_EQ(parts.name, "name.txt");

  parts = SplitAtLastBackslash("D:\\" + kBackslashTrail + ".txt");
  EXPECT_EQ(parts.folder, "D:");
  EXPECT_EQ(parts.name, kBackslashTrail + ".txt");
}

TEST(TextBytes, CutAtFirstZero) {
  EXPECT_EQ(FromBytes(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(FromBytes("abc"), "abc");
  EXPECT_EQ(AsciiLower("A\xC1\x41Z"), "a\xC1\x41z");
}

}  // namespace
}  // namespace cw::text
