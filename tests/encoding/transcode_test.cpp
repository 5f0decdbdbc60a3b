// The Transcode contract as callers see it: names, marks, replacement of what a charset
// lacks, error recovery on invalid bytes, the end at the first zero, and the boundary helpers.
#include <gtest/gtest.h>

#include "encoding/ascii.h"
#include "encoding/charset.h"
#include "encoding/reference.h"

namespace cw {
namespace {

using test::Hex;

const Charset kAll[] = {Charset::Gb18030, Charset::Big5,    Charset::Big5Hkscs,
                        Charset::Utf8,    Charset::Utf16Le, Charset::Utf16Be};

std::string Utf8(const char32_t* text) {
  std::string s;
  for (; *text != 0; ++text) s += test::Utf8Of(*text);
  return s;
}

class TranscodeTest : public ::testing::Test {};

TEST_F(TranscodeTest, NamesAreExactAndUnknownOnesGiveNothing) {
  for (Charset charset : kAll) EXPECT_EQ(CharsetFromName(CharsetName(charset)), charset);
  for (const char* name : {"gb18030", "GBK", "utf-8", "UTF8", "Big5", "", "UTF-16"}) {
    EXPECT_EQ(CharsetFromName(name), Charset::Unknown) << name;
    EXPECT_EQ(Transcode("abc", name, "UTF-8"), "") << name;
    EXPECT_EQ(Transcode("abc", "UTF-8", name), "") << name;
  }
  EXPECT_EQ(Transcode("abc", "UTF-8", "UTF-16BE"), std::string("\0a\0b\0c", 6));
}

TEST_F(TranscodeTest, EachChoiceWritesReadsAndMarksItsCharset) {
  struct Row {
    EncodingChoice choice;
    Charset written;
    Charset read;
    std::string_view mark;
  };
  const Row rows[] = {
      {EncodingChoice::Auto, Charset::Unknown, Charset::Unknown, ""},
      {EncodingChoice::Ansi, Charset::Gb18030, Charset::Gb18030, ""},
      {EncodingChoice::Utf8, Charset::Utf8, Charset::Utf8, "\xEF\xBB\xBF"},
      {EncodingChoice::Utf16Le, Charset::Utf16Le, Charset::Utf16Le, "\xFF\xFE"},
      {EncodingChoice::Utf16Be, Charset::Utf16Be, Charset::Utf16Be, "\xFE\xFF"},
      {EncodingChoice::Big5, Charset::Big5, Charset::Big5Web, ""},
      {EncodingChoice::Big5Hkscs, Charset::Big5Hkscs, Charset::Big5Hkscs, ""},
      {static_cast<EncodingChoice>(7), Charset::Unknown, Charset::Unknown, ""},
  };
  for (const Row& row : rows) {
    const int choice = static_cast<int>(row.choice);
    EXPECT_EQ(CharsetOf(row.choice), row.written) << choice;
    EXPECT_EQ(ReadCharsetOf(row.choice), row.read) << choice;
    EXPECT_EQ(ByteOrderMark(row.written), row.mark) << choice;
    EXPECT_EQ(CharsetFromName(CharsetName(row.read)), row.read) << choice;
  }
  // A charset outside the table is a fault of the caller: the tests stop at it (the
  // shipped program would take the Unknown row and convert nothing).
  EXPECT_DEATH(CharsetName(static_cast<Charset>(99)), "CW_CHECK failed");
  EXPECT_DEATH(Transcode("abc", static_cast<Charset>(99), Charset::Utf8), "CW_CHECK failed");
}

TEST_F(TranscodeTest, EmptyInputGivesEmptyOutputForEveryPair) {
  for (Charset source : kAll) {
    for (Charset target : kAll) EXPECT_EQ(Transcode("", source, target), "");
  }
}

TEST_F(TranscodeTest, ChineseRoundTripsWithoutAnyMark) {
  const std::string utf8 = u8"青禾·澄文坊 converts 中文 text";
  const std::string working = Transcode(utf8, "UTF-8", "GB18030");
  EXPECT_EQ(Hex(working.substr(0, 12)), "C7E0BACCA1A4B3CECEC4B7BB");
  EXPECT_EQ(Transcode(working, "GB18030", "UTF-8"), utf8);

  const std::string le = Transcode(working, "GB18030", "UTF-16LE");
  EXPECT_EQ(le.size(), 2 * 23u) << "two bytes per character, no FF FE in front";
  EXPECT_EQ(Hex(le.substr(0, 4)), "5297BE79");
  EXPECT_EQ(Hex(Transcode(working, "GB18030", "UTF-16BE").substr(0, 4)), "975279BE");
  EXPECT_EQ(Transcode(le, "UTF-16LE", "GB18030"), working);
}

TEST_F(TranscodeTest, AMarkInTheSourceIsAnOrdinaryCharacter) {
  EXPECT_EQ(Hex(Transcode("\xEF\xBB\xBF"
                          "A",
                          "UTF-8", "GB18030")),
            "8431953341");
  EXPECT_EQ(Hex(Transcode(std::string("\xFF\xFE"
                                      "A\0",
                                      4),
                          "UTF-16LE", "UTF-8")),
            "EFBBBF41");
}

TEST_F(TranscodeTest, WorkingCodePageKeepsGbkFormsAndReachesEveryCharacter) {
  struct Case {
    const char32_t* text;
    const char* gb18030;
  } cases[] = {
      {U"\u20AC", "A2E3"},                               // GB18030's euro sign (code page 936 writes 80)
      {U"\uE5E5", "A3A0"},                               // the user-defined code the web index maps to U+3000
      {U"\u3000", "A1A1"},         {U"\uFE10", "A6D9"},  // moved to two bytes by GB18030-2022
      {U"\uE78D", "84318236"},                           // ... and the Private Use code point it left
      {U"\u1E3F", "A8BC"},         {U"\uE7C7", "8135F437"},     {U"\uFFFF", "8431A439"},
      {U"\U00010000", "90308130"}, {U"\U0001F600", "9439FC36"}, {U"\U0010FFFF", "E3329A35"},
  };
  for (const Case& c : cases) {
    const std::string utf8 = Utf8(c.text);
    EXPECT_EQ(Hex(Transcode(utf8, "UTF-8", "GB18030")), c.gb18030);
    EXPECT_EQ(Hex(Transcode(Transcode(utf8, "UTF-8", "GB18030"), "GB18030", "UTF-8")), Hex(utf8));
  }
  EXPECT_EQ(Hex(Transcode("\x80", "GB18030", "GB18030")), "A2E3") << "code page 936's euro sign is read too";
}

TEST_F(TranscodeTest, WhatTheTargetLacksBecomesOneQuestionMarkEach) {
  const std::string text = Utf8(U"a\uD55C\U0001F600\u4E2Db\u00CA\u00CA");  // a 한 😀 中 b Ê Ê
  EXPECT_EQ(Hex(Transcode(text, "UTF-8", "BIG5")), Hex("a??\xA4\xA4"
                                                       "b??"));
  EXPECT_EQ(Hex(Transcode(text, "UTF-8", "BIG5-HKSCS")), Hex("a??\xA4\xA4"
                                                             "b\x88\x66\x88\x66"));
  // Through the working code page as the engine does it: nothing lost on the way.
  EXPECT_EQ(Transcode(Transcode(text, "UTF-8", "GB18030"), "GB18030", "BIG5"), Transcode(text, "UTF-8", "BIG5"));
}

TEST_F(TranscodeTest, Big5HkscsWritesItsOwnCharactersAndPairs) {
  const std::string hkscs =
      "\x87\x45"
      "\x88\x62"
      "\x88\xA5"
      "\xA4\xA4";  // 𧉧 Ê̄ ê̌ 中
  const std::string utf8 = Transcode(hkscs, "BIG5-HKSCS", "UTF-8");
  EXPECT_EQ(utf8, Utf8(U"\U00027267\u00CA\u0304\u00EA\u030C\u4E2D"));
  EXPECT_EQ(Hex(Transcode(Transcode(utf8, "UTF-8", "GB18030"), "GB18030", "BIG5-HKSCS")), Hex(hkscs));
  // A mark that makes no pair is written as what it is (here: nothing, so "?").
  EXPECT_EQ(Hex(Transcode(Utf8(U"\u00CA\u0301\u00CA"), "UTF-8", "BIG5-HKSCS")), Hex("\x88\x66?\x88\x66"));
}

struct InvalidCase {
  const char* charset;
  std::string bytes;
  const char32_t* decoded;
};

class InvalidBytesTest : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidBytesTest, BecomeReplacementCharactersAndDecodingGoesOn) {
  const InvalidCase& c = GetParam();
  EXPECT_EQ(Hex(Transcode(c.bytes, c.charset, "UTF-8")), Hex(Utf8(c.decoded))) << c.charset << " " << Hex(c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Whatwg, InvalidBytesTest,
    ::testing::Values(
        // UTF-8: each maximal prefix of a sequence is one U+FFFD; the breaking byte is read again.
        InvalidCase{"UTF-8", "a\xC3", U"a\uFFFD"},
        InvalidCase{"UTF-8",
                    "\xE4\xB8"
                    "A",
                    U"\uFFFDA"},
        InvalidCase{"UTF-8", "\xE0\x80\x80", U"\uFFFD\uFFFD\uFFFD"},
        InvalidCase{"UTF-8", "\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},
        InvalidCase{"UTF-8", "\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},
        InvalidCase{"UTF-8", "\xC0\xAF\xFF", U"\uFFFD\uFFFD\uFFFD"},
        InvalidCase{"UTF-8", "\xF0\x9F\x98x\xF0\x9F\x98\x80", U"\uFFFDx\U0001F600"},
        // GB18030: an ASCII trail is read again; a broken four-byte form loses only its lead.
        InvalidCase{"GB18030", "\x81", U"\uFFFD"}, InvalidCase{"GB18030", "\x81\x7F", U"\uFFFD\u007F"},
        InvalidCase{"GB18030", "\x81\xFFz", U"\uFFFDz"}, InvalidCase{"GB18030", "\xFF\x80", U"\uFFFD\u20AC"},
        InvalidCase{"GB18030", "\x81\x30", U"\uFFFD"}, InvalidCase{"GB18030", "\x81\x30\x81", U"\uFFFD"},
        InvalidCase{"GB18030", "\x81\x30\x81\x41", U"\uFFFD0\u4E04"},
        InvalidCase{"GB18030", "\x81\x30\x20", U"\uFFFD0 "},
        InvalidCase{"GB18030", "\x84\x31\xA5\x30", U"\uFFFD"},  // past U+FFFF
        InvalidCase{"GB18030", "\xE3\x32\x9A\x36", U"\uFFFD"},  // past U+10FFFF
        InvalidCase{"GB18030",
                    "\xFE\x39\xFE\x39"
                    "a",
                    U"\uFFFDa"},
        // Big5: the same rule for the trail byte; 80 is U+0080 only in code page 950.
        InvalidCase{"BIG5", "\x80\xA4", U"\u0080\uFFFD"}, InvalidCase{"BIG5-HKSCS", "\x80", U"\uFFFD"},
        InvalidCase{"BIG5", "\xA4\x20", U"\uFFFD "},
        InvalidCase{"BIG5",
                    "\xA4\x80"
                    "a",
                    U"\uFFFDa"},
        InvalidCase{"BIG5", "\xFF\xA4\xA4", U"\uFFFD\u4E2D"},
        InvalidCase{"BIG5",
                    "\xA3\xC0"
                    "a",
                    U"\uFFFDa"},
        // UTF-16: a surrogate without its partner, and an odd last byte.
        InvalidCase{"UTF-16LE",
                    std::string("\x00\xD8"
                                "A\x00",
                                4),
                    U"\uFFFDA"},
        InvalidCase{"UTF-16LE", std::string("\x00\xDC\x3D\xD8\x00\xDE", 6), U"\uFFFD\U0001F600"},
        InvalidCase{"UTF-16BE",
                    std::string("\x00"
                                "A"
                                "\xD8",
                                3),
                    U"A\uFFFD"},
        InvalidCase{"UTF-16BE", std::string("\xD8\x3D", 2), U"\uFFFD"}));

TEST_F(TranscodeTest, LossesAreCountedWhereTheyHappen) {
  struct Case {
    std::string bytes;
    const char* from;
    const char* to;
    size_t undecodable;
    size_t unencodable;
  } cases[] = {
      {"\xE4\xB8\xAD", "UTF-8", "GB18030", 0, 0},
      {"\xEF\xBF\xBD", "UTF-8", "UTF-16LE", 0, 0},                      // a U+FFFD the text holds
      {"a\xFF\xEF\xBF\xBD\xC0", "UTF-8", "GB18030", 2, 0},              // two bad bytes beside a real U+FFFD
      {"\xE4\xB8", "UTF-8", "GB18030", 1, 0},                           // cut short
      {std::string("\x3D\xD8\x41\x00", 4), "UTF-16LE", "UTF-8", 1, 0},  // a lone surrogate
      {"\x41\x00\x42", "UTF-16LE", "UTF-8", 1, 0},                      // odd last byte
      {"\xA4\xA4\xFF", "BIG5", "GB18030", 1, 0},
      {"\x8E\x69", "BIG5-WEB", "GB18030", 0, 0},               // Big5-HKSCS where code page 950 has nothing
      {"\xA1\x30", "BIG5", "GB18030", 1, 0},                   // a lead byte whose trail byte is ASCII
      {"\xA8\xA1\xD6\xD0", "GB18030", "BIG5", 0, 1},           // ā has no Big5 code, 中 has
      {"\x88\x62\x88\x64", "BIG5-HKSCS", "BIG5-HKSCS", 0, 0},  // letter-and-mark pairs
  };
  for (const Case& c : cases) {
    TranscodeLosses losses;
    Transcode(c.bytes, CharsetFromName(c.from), CharsetFromName(c.to), &losses);
    EXPECT_EQ(losses.undecodable, c.undecodable) << Hex(c.bytes) << " " << c.from;
    EXPECT_EQ(losses.unencodable, c.unencodable) << Hex(c.bytes) << " " << c.to;
    EXPECT_EQ(CountUndecodable(c.bytes, CharsetFromName(c.from)), c.undecodable) << Hex(c.bytes);
    // A second conversion adds to what the first found.
    std::string appended;
    TranscodeAppend(c.bytes, CharsetFromName(c.from), CharsetFromName(c.to), appended, &losses);
    EXPECT_EQ(losses.undecodable + losses.unencodable, 2 * (c.undecodable + c.unencodable)) << Hex(c.bytes);
  }
}

TEST_F(TranscodeTest, TheTextEndsAtTheFirstZeroCharacter) {
  const std::string utf16 = std::string("A\0\0\0B\0", 6);  // "A", U+0000, "B"
  for (Charset target : kAll) {
    EXPECT_EQ(Transcode(Transcode(utf16, Charset::Utf16Le, target), target, Charset::Utf8), "A");
  }
  EXPECT_EQ(Transcode(std::string("ab\0cd", 5), "GB18030", "UTF-16LE"), std::string("a\0b\0", 4));
  EXPECT_EQ(Transcode(std::string("\0abc", 4), "UTF-8", "GB18030"), "");
  // A broken character just before the zero still shows as U+FFFD.
  EXPECT_EQ(Transcode(std::string("x\x81\0y", 4), "GB18030", "UTF-8"), "x\xEF\xBF\xBD");
}

TEST_F(TranscodeTest, Win32BoundaryStopsAtZeroAndKeepsEverything) {
  const std::string working = FromUtf8(u8"青禾·澄文坊\U0001F600");
  EXPECT_EQ(Hex(working), "C7E0BACCA1A4B3CECEC4B7BB9439FC36");
  EXPECT_EQ(ToUtf8(working), u8"青禾·澄文坊\U0001F600");
  EXPECT_EQ(WorkingToUtf16(working), u"青禾·澄文坊\U0001F600");
  EXPECT_EQ(Utf16ToWorking(u"青禾·澄文坊\U0001F600"), working);
  EXPECT_EQ(WorkingToUtf16(std::string("ab\0cd", 5)), u"ab");
  EXPECT_EQ(Utf16ToWorking(std::u16string(u"ab\0cd", 5)), "ab");
  EXPECT_EQ(Hex(Utf16ToWorking(std::u16string(1, char16_t{0xD800}))), "8431A437") << "a lone surrogate is U+FFFD";
  EXPECT_EQ(WorkingToUtf16(""), u"");
}

TEST_F(TranscodeTest, AsciiRunEndsAtTheFirstByteItMayNotTake) {
  // One byte of each kind at every place of a 20-byte run (two words and a tail).
  const struct {
    unsigned char byte;
    bool endsRun;
    bool endsRunAtZero;
  } kinds[] = {{0x00, false, true}, {0x01, false, false}, {0x7F, false, false}, {0x80, true, true}, {0xFF, true, true}};
  for (const auto& kind : kinds) {
    for (std::size_t at = 0; at < 20; ++at) {
      std::string bytes(20, 'a');
      bytes[at] = static_cast<char>(kind.byte);
      const char* end = bytes.data() + bytes.size();
      EXPECT_EQ(AsciiRun(bytes.data(), end), kind.endsRun ? at : 20) << int{kind.byte} << " at " << at;
      EXPECT_EQ(AsciiRun<true>(bytes.data(), end), kind.endsRunAtZero ? at : 20) << int{kind.byte} << " at " << at;
      EXPECT_EQ(AsciiRun<true>(bytes.data() + at, bytes.data() + at), 0u);
    }
  }
}

}  // namespace
}  // namespace cw
