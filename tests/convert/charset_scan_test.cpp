// The meta-tag charset scan and the delimiter searches it is built from.
#include "convert/charset_scan.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace cw {
namespace {

using test::W;

TEST(DeclaredCharset, ContentAttributeAndCharsetAttribute) {
  EXPECT_EQ(
      FindDeclaredCharset("<html><head><META http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\"></head>"),
      DeclaredCharset::Utf8);
  EXPECT_EQ(FindDeclaredCharset("<head><meta charset=\"big5\"></head>"), DeclaredCharset::Big5);
  EXPECT_EQ(FindDeclaredCharset("<head><meta charset=Big5-HKSCS></head>"), DeclaredCharset::Big5Hkscs);
  EXPECT_EQ(FindDeclaredCharset("<head><meta charset='big5-hkscs'></head>"), DeclaredCharset::Big5Hkscs);
  EXPECT_EQ(FindDeclaredCharset("<head><meta charset='UTF-8'/></head>"), DeclaredCharset::Utf8);
  // Past other "<" and in mixed case; a "<met" cut by the end is no tag.
  EXPECT_EQ(FindDeclaredCharset("a < b <p> <MeTa charset=big5>"), DeclaredCharset::Big5);
  EXPECT_EQ(FindDeclaredCharset("charset=big5 <met"), DeclaredCharset::None);
}

TEST(DeclaredCharset, FirstMatchingTagDecidesAndOthersAreSkipped) {
  // gb2312 is not one of the three: the scan goes on with the next tag.
  EXPECT_EQ(FindDeclaredCharset("<head><meta charset=gb2312><meta charset=big5></head>"), DeclaredCharset::Big5);
  EXPECT_EQ(FindDeclaredCharset("<head><meta charset=big5><meta charset=utf-8></head>"), DeclaredCharset::Big5);
  // Within one tag UTF-8 is tried first.
  EXPECT_EQ(FindDeclaredCharset("<meta name=x content='charset=big5 charset=utf-8'>"), DeclaredCharset::Utf8);
  EXPECT_EQ(FindDeclaredCharset("<head><meta charset=gb2312></head>"), DeclaredCharset::None);
  EXPECT_EQ(FindDeclaredCharset(""), DeclaredCharset::None);
  EXPECT_EQ(FindDeclaredCharset("plain text with charset=utf-8 but no tag"), DeclaredCharset::None);
}

TEST(DeclaredCharset, HeadScopeAndItsLimits) {
  // With a plain <head> ... </head>, only the head is searched.
  EXPECT_EQ(FindDeclaredCharset("<head><title>t</title></head><body><meta charset=utf-8></body>"),
            DeclaredCharset::None);
  // A head tag with attributes is not "<head>": the whole text is searched.
  EXPECT_EQ(FindDeclaredCharset("<head lang=zh></head><body><meta charset=utf-8></body>"), DeclaredCharset::Utf8);
}

TEST(DeclaredCharset, TagBoundaries) {
  // An empty tag ends the scan, even with a declaration after it.
  EXPECT_EQ(FindDeclaredCharset("<head><meta><meta charset=utf-8></head>"), DeclaredCharset::None);
  // A tag whose name merely begins with meta is examined too.
  EXPECT_EQ(FindDeclaredCharset("<head><metadata charset=big5></head>"), DeclaredCharset::Big5);
  // A ">" inside an attribute value ends the tag there.
  EXPECT_EQ(FindDeclaredCharset("<head><meta content=\"a>b\" charset=utf-8></head>"), DeclaredCharset::None);
}

TEST(DeclaredCharset, NeverMatchesAcrossTwoByteCharacters) {
  // "\xBC\x3C" is one GBK character whose second byte is "<": it does not start a tag.
  EXPECT_EQ(FindDeclaredCharset("\xBC<meta charset=utf-8>"), DeclaredCharset::None);
  EXPECT_EQ(FindDeclaredCharset(W(u8"<head><meta 说明=中文 charset=utf-8></head>")), DeclaredCharset::Utf8);
}

TEST(TextBetweenSearch, FirstLeftThenFirstRightAfterIt) {
  EXPECT_EQ(TextBetween("a<b>c<d>", "<", ">"), "b");
  EXPECT_EQ(TextBetween("a<b", "<", ">"), "");
  EXPECT_EQ(TextBetween("x>y", "<", ">"), "");
  EXPECT_EQ(TextBetween("<HEAD>h</Head>", "<head>", "</head>"), "h");
}

TEST(TextBetweenSearch, EmptyDelimitersBackwardAndOffsets) {
  EXPECT_EQ(TextBetween("abc=def", "", "="), "abc");
  EXPECT_EQ(TextBetween("abc=def", "=", ""), "def");
  EXPECT_EQ(TextBetween("a.b.c", "", ""), "a.b.c");
  BetweenOptions backward;
  backward.backward = true;
  EXPECT_EQ(TextBetween("a[1]b[2]", "[", "]", backward), "2");
  BetweenOptions wide;
  wide.startOffset = 1;
  wide.endOffset = 1;
  EXPECT_EQ(TextBetween("a[1]b", "[", "]", wide), "[1]");
  BetweenOptions narrow;
  narrow.startOffset = -1;
  EXPECT_EQ(TextBetween("a[123]b", "[", "]", narrow), "23");
}

TEST(NextTextBetweenSearch, WalksAndThenStaysExhausted) {
  ScanPosition position;
  const std::string page = "<meta a><meta b>";
  EXPECT_EQ(NextTextBetween(page, "<meta", ">", position), " a");
  EXPECT_EQ(NextTextBetween(page, "<meta", ">", position), " b");
  EXPECT_EQ(NextTextBetween(page, "<meta", ">", position), "");
  EXPECT_TRUE(position.exhausted);
  EXPECT_EQ(NextTextBetween("<meta c>", "<meta", ">", position), "");
}

TEST(NextTextBetweenSearch, QuotePairsAndRetryWithoutQuotes) {
  ScanPosition position;
  EXPECT_EQ(NextTextBetween("x=\"1\" y", "x=''", "''", position), "1");
  ScanPosition retry;
  EXPECT_EQ(NextTextBetween("x=1;", "x=''", "'';", retry), "1");
  EXPECT_FALSE(retry.exhausted);
}

TEST(PatternLists, AnyAndAllModes) {
  EXPECT_TRUE(ContainsAnyPattern("charset=\"UTF-8\"", "charset=UTF-8[fg]charset=''UTF-8''", PatternMode::Any));
  EXPECT_FALSE(ContainsAnyPattern("charset=gbk", "charset=UTF-8[fg]charset=''UTF-8''", PatternMode::Any));
  EXPECT_TRUE(ContainsAnyPattern("a b", "a[fg]b", PatternMode::All));
  EXPECT_FALSE(ContainsAnyPattern("a", "a[fg]b", PatternMode::All));
}

}  // namespace
}  // namespace cw
