// Converting piece by piece, cut where CompletePrefix says, gives the bytes of converting
// the whole input at once: on real text, on invalid bytes, with any piece size.
#include <gtest/gtest.h>

#include "encoding/charset.h"
#include "encoding/stream.h"
#include "support/cjk_corpus.h"

namespace cw {
namespace {

// What chengwen-cli transcode does with a stream read `step` bytes at a time.
std::string Streamed(std::string_view input, Charset from, Charset to, std::size_t step) {
  std::string held, out;
  for (std::size_t pos = 0; pos < input.size(); pos += step) {
    held.append(input.substr(pos, step));
    const std::size_t cut = pos + step >= input.size() ? held.size() : CompletePrefix(held, from);
    TranscodeAppend(std::string_view(held).substr(0, cut), from, to, out);
    held.erase(0, cut);
  }
  return out;
}

TEST(StreamTest, PiecesCutAtCompletePrefixesConvertLikeTheWhole) {
  // Real text in each charset, with the awkward cases appended: sequences broken off,
  // four-byte forms, lone surrogates, stray trail bytes, an odd last byte.
  const std::string gbk = test::ReadCjkSample("gbk.txt");
  const std::string big5 = test::ReadCjkSample("big5.txt");
  const std::string utf8 = test::ReadCjkSample("gbk-utf8.txt");
  if (gbk.empty() || utf8.empty() || big5.empty()) GTEST_SKIP() << "Python's cjkencodings samples are not here";
  const std::string utf16 = Transcode(utf8, Charset::Utf8, Charset::Utf16Le);
  const struct {
    Charset from;
    std::string text;
  } cases[] = {
      {Charset::Gb18030, gbk + "\x81\x30\x81\x30\x95\x32\x82\x36\x81 a\x81\x30\xA1\xFF\x80\xA1"},
      {Charset::Big5, big5 + "\x87\x40\xA1 \xA4\x40\xFF\xA1"},
      {Charset::Big5Hkscs, big5 + "\x88\x62\x88\x64\xA1"},
      {Charset::Utf8, utf8 + "\xF0\x9F\x98\x80\xE4\xB8\x41\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\x80\xE4\xB8"},
      {Charset::Utf16Le, utf16 + std::string("\x3D\xD8\x00\xDE\x00\xD8\x41\x00\x00\xDC\x3D\xD8", 12) + "x"},
      {Charset::Utf16Be, Transcode(utf8, Charset::Utf8, Charset::Utf16Be) + std::string("\xD8\x3D\xDE\x00\xD8", 5)},
  };
  for (const auto& c : cases) {
    for (Charset to : {Charset::Utf8, Charset::Gb18030, Charset::Utf16Be}) {
      const std::string whole = Transcode(c.text, c.from, to);
      for (std::size_t step : {1, 2, 3, 5, 7, 4096}) {
        EXPECT_EQ(Streamed(c.text, c.from, to, step), whole)
            << CharsetName(c.from) << " -> " << CharsetName(to) << ", pieces of " << step;
      }
    }
  }
}

TEST(StreamTest, CompletePrefixKeepsOnlyWhatMayStillBeCompleted) {
  const struct {
    Charset charset;
    std::string bytes;
    std::size_t prefix;
  } cases[] = {
      {Charset::Utf8, "ab\xE4\xB8", 2},        {Charset::Utf8, "ab\xE4\xB8\xAD", 5},
      {Charset::Utf8, "a\xF0\x9F\x98", 1},     {Charset::Utf8, "a\x80\x80\x80", 4},
      {Charset::Utf8, "a\xE4\x41", 3},         {Charset::Utf16Le, std::string("a\0\x3D\xD8", 4), 2},
      {Charset::Utf16Be, "\xD8\x3D\xDE", 0},   {Charset::Utf16Le, std::string("a\0b", 3), 2},
      {Charset::Gb18030, "\xD6\xD0\n\xD6", 3}, {Charset::Gb18030, "\xD6\xD0\xCE\xC4", 0},
      {Charset::Big5, "\xA4\x40 \xA4", 3},
  };
  for (const auto& c : cases) EXPECT_EQ(CompletePrefix(c.bytes, c.charset), c.prefix) << CharsetName(c.charset);
}

}  // namespace
}  // namespace cw
