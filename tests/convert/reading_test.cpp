// Reading and detection: byte-order marks, declared charsets, the UTF-8 scan, ANSI,
// explicit choices, gzip input and files that cannot be read.
#include "convert/reading.h"

#include <gtest/gtest.h>

#include "convert/gzip_test_util.h"
#include "encoding/charset.h"
#include "support/temp_dir.h"
#include "text/text.h"

#include <memory>

namespace cw {
namespace {

using test::W;

const std::string kZhongwenUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
const std::string kZhongwenGbk = "\xD6\xD0\xCE\xC4";
const std::string kZhongwenLe = std::string("\x2D\x4E\x87\x65", 4);
const std::string kZhongwenBe = std::string("\x4E\x2D\x65\x87", 4);

DecodedText Auto(std::string_view bytes) { return DecodeBytes(bytes, EncodingChoice::Auto); }

TEST(DetectAuto, ByteOrderMarksComeFirstAndAreSkipped) {
  DecodedText d = Auto("\xEF\xBB\xBF" + kZhongwenUtf8);
  EXPECT_EQ(d.detected, EncodingChoice::Utf8);
  EXPECT_EQ(d.text, kZhongwenGbk);

  d = Auto("\xFF\xFE" + kZhongwenLe);
  EXPECT_EQ(d.detected, EncodingChoice::Utf16Le);
  EXPECT_EQ(d.text, kZhongwenGbk);

  d = Auto("\xFE\xFF" + kZhongwenBe);
  EXPECT_EQ(d.detected, EncodingChoice::Utf16Be);
  EXPECT_EQ(d.text, kZhongwenGbk);
}

TEST(DetectAuto, DeclaredCharsetBeatsTheScan) {
  // A declaration of gb2312 goes on to the scan, which sees valid UTF-8 here.
  DecodedText d = Auto("<head><meta charset=gb2312></head>" + kZhongwenUtf8);
  EXPECT_EQ(d.detected, EncodingChoice::Utf8);
  EXPECT_EQ(d.text, "<head><meta charset=gb2312></head>" + kZhongwenGbk);
  // Big5 pages keep their own encoding: 中文 in Big5 is A4 A4 A4 E5.
  d = Auto("<head><meta charset=big5></head>\xA4\xA4\xA4\xE5");
  EXPECT_EQ(d.detected, EncodingChoice::Big5);
  EXPECT_EQ(d.text, "<head><meta charset=big5></head>" + kZhongwenGbk);
  EXPECT_EQ(d.howDecided, "declared in a meta tag");
  d = Auto("<meta charset=Big5-HKSCS>\x88\x62");
  EXPECT_EQ(d.detected, EncodingChoice::Big5Hkscs);
  // An XML declaration counts like a meta tag; a meta tag comes first.
  d = Auto("<?xml version=\"1.0\" encoding=\"BIG5\"?>\n<doc>\xA4\xA4\xA4\xE5</doc>");
  EXPECT_EQ(d.detected, EncodingChoice::Big5);
  EXPECT_EQ(d.howDecided, "declared in the XML declaration");
  EXPECT_EQ(Auto("<?xml version='1.0' encoding='utf-8'?>" + kZhongwenUtf8).detected, EncodingChoice::Utf8);
  EXPECT_EQ(Auto("<?xml encoding=\"big5\"?><meta charset=utf-8>" + kZhongwenUtf8).detected, EncodingChoice::Utf8);
}

TEST(DetectAuto, DeclarationTheBytesContradictDoesNotWin) {
  struct Case {
    std::string bytes;
    EncodingChoice expected;
    std::string text;  // the working text, when it is not the bytes themselves
  } cases[] = {
      // GBK bytes declared UTF-8: decided as if undeclared (statistics: GBK).
      {"<meta charset=utf-8>" + kZhongwenGbk, EncodingChoice::Ansi, ""},
      // UTF-8 bytes declared Big5: the UTF-8 scan decides.
      {"<meta charset=big5>\xE4\xB8\x80" + kZhongwenUtf8, EncodingChoice::Utf8,
       "<meta charset=big5>\xD2\xBB" + kZhongwenGbk},
      // Valid in nothing else (a lone FF): the declaration stays.
      {"<meta charset=utf-8>" + kZhongwenUtf8 + "\xFF", EncodingChoice::Utf8,
       "<meta charset=utf-8>" + kZhongwenGbk + "\x84\x31\xA4\x37"},
  };
  for (const Case& c : cases) {
    const DecodedText d = Auto(c.bytes);
    EXPECT_EQ(d.detected, c.expected) << d.howDecided;
    EXPECT_EQ(d.text, c.text.empty() ? c.bytes : c.text);
  }
  EXPECT_EQ(Auto(cases[0].bytes).howDecided,
            "declared in a meta tag as UTF-8, but not valid UTF-8; statistics: GBK 1.00, BIG5 0.00");
}

TEST(DetectAuto, Big5PagesReadHkscsCodesThatCodePage950Lacks) {
  // 8E69 is 箸 in Big5-HKSCS and no character in code page 950; A145 (‧) is in both.
  const DecodedText d = Auto("<meta charset=big5>\x8E\x69\xA1\x45");
  EXPECT_EQ(d.detected, EncodingChoice::Big5);
  EXPECT_EQ(ToUtf8(d.text), "<meta charset=big5>\xE7\xAE\xB8\xE2\x80\xA7");
  EXPECT_EQ(d.undecodable, 0u);
}

TEST(DetectAuto, ScanTextStopsAtZeroOr1A) {
  // The declaration behind a 1A byte is not seen; behind a two-byte character whose
  // second byte is 1A it is.
  EXPECT_EQ(Auto("\x1A<meta charset=big5>\xA4\xA4").detected, EncodingChoice::Ansi);
  EXPECT_EQ(Auto("\x81\x1A<meta charset=big5>\xA4\xA4").detected, EncodingChoice::Big5);
  EXPECT_EQ(TextForCharsetScan(std::string("ab\0cd", 5)), "ab");
}

TEST(DetectAuto, Utf8ScanRules) {
  EXPECT_EQ(Auto(kZhongwenUtf8).detected, EncodingChoice::Utf8);
  // All ASCII, the empty file included, is ANSI.
  EXPECT_EQ(Auto("plain ascii\r\n").detected, EncodingChoice::Ansi);
  EXPECT_EQ(Auto("").detected, EncodingChoice::Ansi);
  // A four-byte sequence is UTF-8 too: the character arrives as its four GB18030 bytes.
  const std::string withEmoji = kZhongwenUtf8 + "\xF0\x9F\x98\x80";
  DecodedText d = Auto(withEmoji);
  EXPECT_EQ(d.detected, EncodingChoice::Utf8);
  EXPECT_EQ(d.text, kZhongwenGbk + "\x94\x39\xFC\x36");
  // GBK text is not UTF-8, "联通" (C1 AA CD A8: an overlong lead byte) included.
  EXPECT_EQ(Auto(kZhongwenGbk).detected, EncodingChoice::Ansi);
  EXPECT_EQ(Auto("\xC1\xAA\xCD\xA8").detected, EncodingChoice::Ansi);
}

TEST(DetectAuto, StatisticsChooseAnotherReadingThanGbkOnlyWithAClearMargin) {
  const std::string hello = "Hello, world.\r\n";
  std::string asciiLe, asciiBe;
  for (char c : hello) {
    asciiLe += std::string{c, '\0'};
    asciiBe += std::string{'\0', c};
  }
  struct Case {
    const char* what;
    std::string bytes;
    EncodingChoice expected;
    std::string utf8;  // what the text decodes to; empty: the bytes themselves (ANSI)
  } cases[] = {
      {"bare Big5", "\xA4\xA4\xA4\xE5\xA6\xB3\xAA\xBA", EncodingChoice::Big5, "中文有的"},
      {"bare GBK", kZhongwenGbk + "\xD3\xD0\xB5\xC4", EncodingChoice::Ansi, ""},
      {"a tie (地 in GBK, 華 in Big5) stays ANSI", "\xB5\xD8", EncodingChoice::Ansi, ""},
      {"UTF-16LE without a mark, ASCII", asciiLe, EncodingChoice::Utf16Le, hello},
      {"UTF-16BE without a mark, ASCII", asciiBe, EncodingChoice::Utf16Be, hello},
      {"UTF-16LE without a mark, Chinese", kZhongwenLe + "\x09\x67\x84\x76", EncodingChoice::Utf16Le, "中文有的"},
      {"a binary file stays ANSI", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR\0\0\x01\0", 20), EncodingChoice::Ansi,
       ""},
      {"an odd length is not UTF-16", asciiLe + "x", EncodingChoice::Ansi, ""},
  };
  for (const Case& c : cases) {
    const DecodedText d = Auto(c.bytes);
    EXPECT_EQ(d.detected, c.expected) << c.what << ": " << d.howDecided;
    if (c.utf8.empty()) {
      EXPECT_EQ(d.text, text::FromBytes(c.bytes)) << c.what;
    } else {
      EXPECT_EQ(ToUtf8(d.text), c.utf8) << c.what;
    }
  }
}

// n copies of a text.
std::string Times(const std::string& text, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += text;
  return out;
}

TEST(DetectAuto, EvidenceIsWeighedByItsAmount) {
  // Characters whose weight is known in both readings: B5D8 is 地 in GBK and 華 in Big5
  // (frequent in both), B040 is 虔 in Big5 (frequent) and 癅 in GBK (not), C940 is 乂 in
  // Big5 and 葽 in GBK (frequent in neither). No private-use character anywhere.
  const std::string both = "\xB5\xD8", big5Only = "\xB0\x40", neither = "\xC9\x40";
  struct Case {
    const char* what;
    std::string bytes;
    EncodingChoice expected;
    Confidence confidence;
  } cases[] = {
      // Six characters at 0.50 (Big5) against 0.33 (GBK) decide nothing, and say so.
      {"six characters, a lead of 0.17", Times(both, 2) + big5Only + Times(neither, 3), EncodingChoice::Ansi,
       Confidence::Low},
      // 4,000 characters at 0.43 against 0.28: the lead is significant.
      {"4,000 characters, a lead of 0.15", Times(Times(both, 28) + Times(big5Only, 15) + Times(neither, 57), 40),
       EncodingChoice::Big5, Confidence::High},
      // A short Big5 comment in an ASCII source: two characters suffice when GBK reads kana.
      {"a Big5 comment in C", "int x; /* \xA4\xA4\xA4\xE5 */\n", EncodingChoice::Big5, Confidence::High},
      {"a GBK comment in C", "int x; /* " + kZhongwenGbk + " */\n", EncodingChoice::Ansi, Confidence::High},
  };
  for (const Case& c : cases) {
    const DecodedText d = Auto(c.bytes);
    EXPECT_EQ(d.detected, c.expected) << c.what << ": " << d.howDecided;
    EXPECT_EQ(d.detection.confidence, c.confidence) << c.what << ": " << d.howDecided;
  }
}

TEST(DetectAuto, PrivateUseCharactersCountAgainstAReading) {
  // Big5 A140-A17E and A440 read as GBK are user-defined codes: a table of Big5 symbols
  // and characters that GBK reads as private use, one in three characters.
  std::string table;
  for (int trail = 0x40; trail <= 0x7E; ++trail) {
    table += "\xA1";
    table += static_cast<char>(trail);
    table += "\xA4\x40\xC9\x40\n";  // 一, 乂
  }
  const DecodedText d = Auto(table);
  EXPECT_EQ(d.detected, EncodingChoice::Big5) << d.howDecided;
  EXPECT_NE(d.howDecided.find(" private-use and "), std::string::npos) << d.howDecided;
  EXPECT_EQ(d.detection.confidence, Confidence::High);
}

TEST(DetectAuto, ADeclarationFarLessLikelyThanGbkLoses) {
  // GBK prose declared big5: both readings are exact, the GBK one is far the likelier.
  const std::string prose =
      FromUtf8(u8"这是一个用简体中文写成的网页，声明却说它是繁体的编码。我们的程序应该看出来。\r\n");
  const std::string page = "<meta charset=big5>" + Times(prose, 20);
  ASSERT_EQ(CountUndecodable(page, Charset::Big5Web), 0u);
  DecodedText d = Auto(page);
  EXPECT_EQ(d.detected, EncodingChoice::Ansi) << d.howDecided;
  EXPECT_EQ(d.text, page);
  EXPECT_EQ(d.howDecided.rfind("declared in a meta tag as BIG5, but far less likely than GBK; statistics: GBK", 0), 0u)
      << d.howDecided;
  // A short one keeps its declaration: too little to overrule it.
  d = Auto("<meta charset=big5>" + kZhongwenGbk);
  EXPECT_EQ(d.detected, EncodingChoice::Big5) << d.howDecided;
}

TEST(DetectAuto, Big5ThatNeedsHkscsCodesIsReportedAsBig5Hkscs) {
  // Big5 prose with 箸 (8E69), which code page 950 lacks.
  const std::string prose = Times("\xA4\xA4\xA4\xE5\xA6\xB3\xAA\xBA", 10);
  DecodedText d = Auto(prose + "\x8E\x69");
  EXPECT_EQ(d.detected, EncodingChoice::Big5Hkscs) << d.howDecided;
  EXPECT_EQ(ToUtf8(d.text), Times(u8"中文有的", 10) + u8"箸");
  EXPECT_EQ(Auto(prose).detected, EncodingChoice::Big5);
}

TEST(DetectConfidence, MarksDeclarationsAndTheScanAreSureAndScoresAreNamed) {
  for (const std::string& bytes :
       {"\xEF\xBB\xBF" + kZhongwenUtf8, kZhongwenUtf8, std::string("<meta charset=big5>\xA4\xA4")}) {
    const DecodedText d = Auto(bytes);
    EXPECT_EQ(d.detection.confidence, Confidence::High) << d.howDecided;
    EXPECT_EQ(CandidateScores(d.detection), "") << d.howDecided;
  }
  // 地 in GBK is 華 in Big5: two exact readings, equally likely.
  const DecodedText tie = Auto("\xB5\xD8");
  EXPECT_EQ(tie.detection.confidence, Confidence::Low);
  EXPECT_EQ(CandidateScores(tie.detection), "GBK 1.00 / BIG5 1.00");
  EXPECT_EQ(tie.howDecided, "statistics: GBK 1.00, BIG5 1.00; uncertain");
  EXPECT_EQ(ToUtf8(tie.howDecidedChinese), u8"统计：GBK 1.00，BIG5 1.00；不确定");
  EXPECT_EQ(CandidateScores(Detection{Confidence::High, {EncodingChoice::Ansi, 0.5}, {}}), "GBK 0.50");
  // The Chinese reasons follow the English ones.
  EXPECT_EQ(ToUtf8(Auto(kZhongwenUtf8).howDecidedChinese), u8"UTF-8 检查");
  EXPECT_EQ(ToUtf8(DecodeBytes(kZhongwenGbk, EncodingChoice::Ansi).howDecidedChinese), u8"已指定");
  EXPECT_EQ(ToUtf8(Auto("<meta charset=utf-8>" + kZhongwenGbk).howDecidedChinese),
            u8"网页的 meta 标签声明为 UTF-8，但不是有效的 UTF-8；统计：GBK 1.00，BIG5 0.00");
}

TEST(DetectConfidence, ReadsExactlyAsIsStrict) {
  struct Case {
    std::string bytes;
    EncodingChoice encoding;
    bool exact;
  } cases[] = {
      {kZhongwenGbk, EncodingChoice::Ansi, true},
      {kZhongwenGbk, EncodingChoice::Auto, true},
      {kZhongwenGbk, EncodingChoice::Utf8, false},
      {"\xAA\xA1", EncodingChoice::Ansi, false},  // GBK's user-defined area
      {"\xA4\xA4\xA4\xE5", EncodingChoice::Big5, true},
      {"\x8E\x69", EncodingChoice::Big5, true},   // through Big5-HKSCS
      {"\x81\x40", EncodingChoice::Big5, false},  // user-defined in code page 950 and HKSCS both
      {"\xA4", EncodingChoice::Big5, false},
      {kZhongwenUtf8, EncodingChoice::Utf8, true},
      {kZhongwenLe, EncodingChoice::Utf16Le, true},
      {std::string("\x00\xD8", 2), EncodingChoice::Utf16Le, false},  // a lone surrogate
  };
  for (const Case& c : cases) EXPECT_EQ(ReadsExactlyAs(c.bytes, c.encoding), c.exact) << EncodingChoiceName(c.encoding);
}

TEST(Preview, FirstChineseLineIsTrimmedAndShort) {
  struct Case {
    const char* utf8;
    size_t maxChars;
    const char* expected;
  } cases[] = {
      {u8"#include <stdio.h>\n  /* 中文注释 */  \r\nint x;\n", 30, u8"/* 中文注释 */"},
      {u8"abc\n\u3000　全角空格开头\n", 30, u8"全角空格开头"},
      {u8"一二三四五六七八九十", 4, u8"一二三四"},
      {u8"no chinese here\n", 30, u8""},
      {u8"<html><head><meta charset=utf-8><title>标题</title>", 10, u8"标题</title>"},
      {u8"ab 𠀀 中", 30, u8"ab 𠀀 中"},  // a four-byte character is one character
  };
  for (const Case& c : cases) EXPECT_EQ(ToUtf8(FirstChineseLine(FromUtf8(c.utf8), c.maxChars)), c.expected) << c.utf8;
  // Bytes that are no character do not break it.
  EXPECT_EQ(FirstChineseLine("\xFF\x80\n\xD6\xD0"), "\xD6\xD0");
}

TEST(IsLikelyUtf8Scan, AcceptsUnicodeUtf8Only) {
  struct Case {
    const char* bytes;
    bool utf8;
  } cases[] = {
      {"\xC2\x80", true},          {"\xC0\x80", false},         {"\xC1\xBF", false},  // overlong two-byte
      {"\xE0\xA0\x80", true},      {"\xE0\x9F\xBF", false},                           // overlong three-byte
      {"\xED\x9F\xBF", true},      {"\xED\xA0\x80", false},                           // surrogates
      {"\xF0\x90\x80\x80", true},  {"\xF0\x8F\xBF\xBF", false},                       // overlong four-byte
      {"\xF4\x8F\xBF\xBF", true},  {"\xF4\x90\x80\x80", false},                       // above U+10FFFF
      {"\xF5\x80\x80\x80", false}, {"\xF0\xA1\xB5", false},                           // F5, cut short
      {"x\xE0\xA0\x80x", true},    {"x\xED\xA0\x80xyz", false},                       // inside longer text
  };
  for (const Case& c : cases) EXPECT_EQ(IsLikelyUtf8(c.bytes), c.utf8) << c.bytes;
  EXPECT_FALSE(IsLikelyUtf8("\xE4\xB8"));  // cut short
  EXPECT_FALSE(IsLikelyUtf8("a\x80"));     // lone continuation
  EXPECT_FALSE(IsLikelyUtf8("abc"));
  EXPECT_FALSE(IsLikelyUtf8(""));
  std::string longText(1 << 20, 'a');
  longText += kZhongwenUtf8;
  EXPECT_TRUE(IsLikelyUtf8(longText));
  longText += "\xFF";
  EXPECT_FALSE(IsLikelyUtf8(longText));
}

TEST(IsLikelyUtf8Scan, PumpsAtABoundedInterval) {
  int pumps = 0;
  platform::SetPumpHook([&pumps] { ++pumps; });
  const std::string text(4u << 20, 'x');
  IsLikelyUtf8(text + kZhongwenUtf8);
  platform::SetPumpHook(nullptr);
  // Once per 64 KiB: responsive, but not once per byte.
  EXPECT_GE(pumps, 60);
  EXPECT_LE(pumps, 70);
}

TEST(DetectExplicit, ChosenEncodingRules) {
  // "Unicode" chosen: the first two bytes are skipped whatever they are.
  DecodedText d = DecodeBytes(kZhongwenLe, EncodingChoice::Utf16Le);
  EXPECT_EQ(d.detected, EncodingChoice::Utf16Le);
  EXPECT_EQ(d.text, "\xCE\xC4");
  d = DecodeBytes("\xFE\xFF" + kZhongwenBe, EncodingChoice::Utf16Be);
  EXPECT_EQ(d.text, kZhongwenGbk);
  // UTF-8 chosen: a mark is skipped, a file without one is decoded from its first byte.
  EXPECT_EQ(DecodeBytes("\xEF\xBB\xBF" + kZhongwenUtf8, EncodingChoice::Utf8).text, kZhongwenGbk);
  EXPECT_EQ(DecodeBytes(kZhongwenUtf8, EncodingChoice::Utf8).text, kZhongwenGbk);
  // ANSI chosen: the bytes as they are, a UTF-8 mark included.
  d = DecodeBytes("\xEF\xBB\xBF" + kZhongwenUtf8, EncodingChoice::Ansi);
  EXPECT_EQ(d.detected, EncodingChoice::Ansi);
  EXPECT_EQ(d.text, "\xEF\xBB\xBF" + kZhongwenUtf8);
}

TEST(DetectFallback, MarkOnlyZeroBytesAndFailedDecoding) {
  // A mark and nothing after it is an empty text in the mark's encoding.
  for (const auto& [mark, encoding] : {std::pair<std::string, EncodingChoice>{"\xEF\xBB\xBF", EncodingChoice::Utf8},
                                       {"\xFF\xFE", EncodingChoice::Utf16Le},
                                       {"\xFE\xFF", EncodingChoice::Utf16Be}}) {
    DecodedText marked = Auto(mark);
    EXPECT_EQ(marked.detected, encoding);
    EXPECT_EQ(marked.text, "");
    EXPECT_FALSE(marked.cutAtZero);
    EXPECT_EQ(marked.undecodable, 0u);
  }
  DecodedText d;
  d = Auto(std::string("ab\0cd", 5));
  EXPECT_EQ(d.detected, EncodingChoice::Ansi);
  EXPECT_EQ(d.text, "ab");
  EXPECT_TRUE(d.cutAtZero);
  // A UTF-16 text that starts with a zero character decodes to nothing: raw ANSI.
  d = Auto(std::string("\xFF\xFE\0\0A\0", 6));
  EXPECT_EQ(d.detected, EncodingChoice::Ansi);
  EXPECT_EQ(d.text, "\xFF\xFE");
}

TEST(DetectGzip, CompressedInputIsReadAsIfItWereNot) {
  const std::string page = "<head><meta charset=utf-8></head>" + kZhongwenUtf8;
  DecodedText d = Auto(test::GzipBytes(page));
  EXPECT_TRUE(d.wasGzipped);
  EXPECT_EQ(d.detected, EncodingChoice::Utf8);
  EXPECT_EQ(d.text, "<head><meta charset=utf-8></head>" + kZhongwenGbk);
  // Something that only starts like gzip is read as it is.
  d = Auto("\x1F\x8B junk");
  EXPECT_FALSE(d.wasGzipped);
  EXPECT_EQ(d.detected, EncodingChoice::Ansi);
  EXPECT_EQ(d.text, "\x1F\x8B junk");
}

class LoadFile : public ::testing::Test {
 protected:
  test::TempDir dir_;
};

TEST_F(LoadFile, ReadsRealFilesAndNeverChangesTheSource) {
  const std::string path = dir_.Join("page.htm.gz");
  const std::string gz = test::GzipBytes("<meta charset=utf-8>" + kZhongwenUtf8);
  test::WriteFileBytes(path, gz);
  const DecodedText d = LoadDecodedText(path, EncodingChoice::Auto);
  EXPECT_EQ(d.status, ReadStatus::Ok);
  EXPECT_EQ(d.detected, EncodingChoice::Utf8);
  EXPECT_EQ(d.text, "<meta charset=utf-8>" + kZhongwenGbk);
  EXPECT_EQ(test::ReadFileBytes(path), gz);
}

TEST_F(LoadFile, NamesWithTrailBackslashAndOutsideGbk) {
  // 诶 is D5 5C in GBK; 😀 only exists as a four-byte GB18030 character.
  for (const std::string& name : {W(u8"诶.txt"), W(u8"😀.txt")}) {
    const std::string path = dir_.Join(name);
    test::WriteFileBytes(path, kZhongwenUtf8);
    const DecodedText d = LoadDecodedText(path, EncodingChoice::Auto);
    EXPECT_EQ(d.status, ReadStatus::Ok) << test::ToFsPath(path);
    EXPECT_EQ(d.text, kZhongwenGbk);
  }
}

TEST_F(LoadFile, MissingFileAndFolderAreUnreadable) {
  DecodedText d = LoadDecodedText(dir_.Join("missing.txt"), EncodingChoice::Auto);
  EXPECT_EQ(d.status, ReadStatus::NotFound);
  EXPECT_EQ(d.detected, EncodingChoice::Auto);
  EXPECT_TRUE(d.text.empty());
  d = LoadDecodedText(dir_.Path(), EncodingChoice::Auto);
  EXPECT_NE(d.status, ReadStatus::Ok);
}

TEST_F(LoadFile, ReadFailuresReportTheirCause) {
  const std::string path = dir_.Join("a.txt");
  test::WriteFileBytes(path, "abc");
  platform::InjectFailure(platform::Operation::Read, 1, platform::Status::SharingViolation);
  EXPECT_EQ(LoadDecodedText(path, EncodingChoice::Auto).status, ReadStatus::AccessDenied);
  platform::InjectFailure(platform::Operation::Read, 1, platform::Status::TooLarge);
  EXPECT_EQ(LoadDecodedText(path, EncodingChoice::Auto).status, ReadStatus::TooLarge);
  platform::ClearInjectedFailures();
  EXPECT_EQ(LoadDecodedText(path, EncodingChoice::Auto).text, "abc");
}

}  // namespace
}  // namespace cw

namespace cw {
namespace {

class LoadBadInput : public ::testing::Test {
 protected:
  test::TempDir dir_;
};

TEST_F(LoadBadInput, FileHeldExclusivelyByAnotherProgramIsUnreadable) {
  const std::string path = dir_.Join("locked.txt");
  test::WriteFileBytes(path, "abc");
  std::unique_ptr<platform::OpenFile> holder;
  ASSERT_EQ(platform::OpenForUpdate(path, platform::ShareMode::None, &holder), platform::Status::Ok);
  const DecodedText d = LoadDecodedText(path, EncodingChoice::Auto);
  EXPECT_EQ(d.status, ReadStatus::AccessDenied);
  EXPECT_TRUE(d.text.empty());
  holder.reset();
  EXPECT_EQ(LoadDecodedText(path, EncodingChoice::Auto).text, "abc");
}

TEST_F(LoadBadInput, GzipBombIsReadAsItIs) {
  // 300 members of 1 MB of zeros each, about 300 KB in all: past the decompression
  // limit, so the compressed bytes themselves are the (tiny) ANSI text, cut at their
  // first zero byte.
  const std::string member = test::GzipBytes(std::string(1u << 20, '\0'), 9);
  std::string bomb;
  for (int i = 0; i < 300; ++i) bomb += member;
  const std::string path = dir_.Join("bomb.txt.gz");
  test::WriteFileBytes(path, bomb);
  const DecodedText d = LoadDecodedText(path, EncodingChoice::Auto);
  EXPECT_EQ(d.status, ReadStatus::Ok);
  EXPECT_FALSE(d.wasGzipped);
  EXPECT_EQ(d.detected, EncodingChoice::Ansi);
  EXPECT_EQ(d.text, "\x1F\x8B\x08");
}

TEST_F(LoadBadInput, LargeFileGivesADefinedResult) {
  // 300 MB of UTF-8: read and decoded, or refused as too large in a small address
  // space; never a crash.
  std::string big(300u << 20, 'a');
  for (size_t i = 0; i + 6 < big.size(); i += 4096) big.replace(i, 6, kZhongwenUtf8);
  const std::string path = dir_.Join("big.txt");
  test::WriteFileBytes(path, big);
  big.clear();
  big.shrink_to_fit();
  const DecodedText d = LoadDecodedText(path, EncodingChoice::Auto);
  if (d.status == ReadStatus::Ok) {
    EXPECT_EQ(d.detected, EncodingChoice::Utf8);
    EXPECT_EQ(d.text.substr(0, 4), kZhongwenGbk);
  } else {
    EXPECT_EQ(d.status, ReadStatus::TooLarge);
  }
}

TEST(DecodeBadInput, InvalidBytesAndControlBytes) {
  // Invalid UTF-8 in a page that declares UTF-8: replacement characters, the rest kept.
  DecodedText d = DecodeBytes(
      "<meta charset=utf-8>a\xFF"
      "b",
      EncodingChoice::Auto);
  EXPECT_EQ(d.detected, EncodingChoice::Utf8);
  EXPECT_EQ(ToUtf8(d.text),
            "<meta charset=utf-8>a\xEF\xBF\xBD"
            "b");
  // Invalid GBK is ANSI and kept byte for byte; 1A bytes are ordinary content.
  d = DecodeBytes("\xFF\xFE\xFD\x1A\x81", EncodingChoice::Ansi);
  EXPECT_EQ(d.text, "\xFF\xFE\xFD\x1A\x81");
  d = DecodeBytes(
      "a\x1A"
      "b",
      EncodingChoice::Auto);
  EXPECT_EQ(d.text,
            "a\x1A"
            "b");
  // UTF-16 with an odd length: the last byte becomes one replacement character.
  d = DecodeBytes(std::string("\xFF\xFE"
                              "A\0B",
                              5),
                  EncodingChoice::Auto);
  EXPECT_EQ(d.detected, EncodingChoice::Utf16Le);
  EXPECT_EQ(ToUtf8(d.text), "A\xEF\xBF\xBD");
}

}  // namespace
}  // namespace cw
