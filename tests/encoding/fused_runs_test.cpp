// The fused runs (a two-byte code straight to its UTF-8 bytes, a UTF-8 sequence straight to
// its GB18030 or UTF-16 code) against the same decoder feeding the same writer one code
// point at a time: same bytes and same losses on text that mixes every kind of byte.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "encoding/charset.h"
#include "encoding/decoders.h"
#include "encoding/reference.h"
#include "encoding/writers.h"

namespace cw {
namespace {

// A writer seen only through Ascii and Put, so the decoder takes no run of any kind.
template <class Writer>
struct OneByOne {
  Writer& writer;
  void Ascii(const char* bytes, std::size_t n) { writer.Ascii(bytes, n); }
  void Put(char32_t c) { writer.Put(c); }
};

template <class Writer, class Decode>
std::string Slowly(const std::string& bytes, Decode decode) {
  std::string out;
  Writer writer(out, 16);
  OneByOne<Writer> sink{writer};
  decode(bytes, sink);
  writer.Finish();
  return out;
}

// Text of `pieces` pieces drawn from `kinds`, long enough to cross the runs' limits.
std::string Mixed(const std::vector<std::string>& kinds, std::mt19937& random, int pieces) {
  std::string text;
  for (int i = 0; i < pieces; ++i) text += kinds[random() % kinds.size()];
  return text;
}

TEST(FusedRunsTest, GiveWhatTheCharacterByCharacterPathGives) {
  using namespace detail;
  const std::vector<std::string> common = {"a", "Hello, world.\n", "12345678", "\xFF", "\x80", "\x81"};
  struct Route {
    Charset from, to;
    std::vector<std::string> kinds;  // besides the common ones
    std::string (*slowly)(const std::string&);
  } routes[] = {
      {Charset::Gb18030,
       Charset::Utf8,
       {"\xD6\xD0", "\xCE\xC4", "\xA1\xA3", "\xA8\xA6", "\x81\x30\x81\x30", "\x84\x31\xA4\x37", "\x81\x7F", "\xA1"},
       [](const std::string& b) {
         return Slowly<Utf8Writer>(b, [](auto bytes, auto& s) { DecodeGb18030(bytes, s); });
       }},
      {Charset::Big5,
       Charset::Utf8,
       {"\xA4\xA4", "\xA4\xE5", "\xA1\x40", "\xF9\xFE", "\xC8\x7E", "\xA1\x30", "\x87\x40"},
       [](const std::string& b) {
         return Slowly<Utf8Writer>(
             b, [](auto bytes, auto& s) { DecodeBig5<false, Cp950Utf8Pairs>(bytes, gen::kCp950Decode, s); });
       }},
      {Charset::Big5Hkscs,
       Charset::Utf8,
       {"\xA4\xA4", "\x88\x62", "\x88\x64", "\x87\x40", "\x8E\x69", "\xFE\xFE", "\xA1\x30"},
       [](const std::string& b) {
         return Slowly<Utf8Writer>(
             b, [](auto bytes, auto& s) { DecodeBig5<true, Big5HkscsUtf8Pairs>(bytes, gen::kBig5HkscsDecode, s); });
       }},
      {Charset::Utf8,
       Charset::Gb18030,
       {"\xE4\xB8\xAD", "\xE6\x96\x87", "\xEF\xBF\xBD", "\xE2\x82\xAC", "\xEE\x80\x80", "\xF0\x9F\x98\x80", "\xC3\xA9",
        "\xE4\xB8", "\xED\xA0\x80", "\xE0\xA4\x80", "\xED\x9F\xBF", "\xE0\x82\xB7"},
       [](const std::string& b) {
         return Slowly<Gb18030Writer>(b, [](auto bytes, auto& s) { DecodeUtf8(bytes, s); });
       }},
      {Charset::Utf8,
       Charset::Utf16Le,
       {"\xE4\xB8\xAD", "\xEF\xBF\xBD", "\xF0\x9F\x98\x80", "\xC3\xA9", "\xE4\xB8", "\xE0\x80\x80", "\xC2\xA0",
        "\xDF\xBF", "\xC1\xBF", "\xC2\x41", "\xC2", "\xED\xA0\x80"},
       [](const std::string& b) {
         return Slowly<Utf16ByteWriter<false>>(b, [](auto bytes, auto& s) { DecodeUtf8(bytes, s); });
       }},
  };
  std::mt19937 random(20261208);
  for (Route& route : routes) {
    std::vector<std::string> kinds = route.kinds;
    kinds.insert(kinds.end(), common.begin(), common.end());
    // Mostly one kind of code, as real text is, so that long runs form; some zeros end the text early.
    std::vector<std::string> skewed = kinds;
    for (int i = 0; i < 30; ++i) skewed.push_back(route.kinds[0]);
    for (int round = 0; round < 40; ++round) {
      std::string text = Mixed(round % 2 ? kinds : skewed, random, 1 + static_cast<int>(random() % 6000));
      if (round % 10 == 9) text.insert(random() % text.size(), 1, '\0');
      const std::string expected = route.slowly(text);
      TranscodeLosses losses;
      EXPECT_EQ(Transcode(text, route.from, route.to, &losses), expected)
          << CharsetName(route.from) << " -> " << CharsetName(route.to) << ", round " << round;
      EXPECT_EQ(losses.undecodable, CountUndecodable(text, route.from));
    }
  }
}

}  // namespace
}  // namespace cw
