// Gzip input: complete, concatenated, truncated, corrupt and oversized data.
#include "convert/gzip_input.h"

#include <gtest/gtest.h>

#include "convert/gzip_test_util.h"

namespace cw {
namespace {

using test::GzipBytes;

const std::string kPage = "<html><head><meta charset=utf-8></head><body>\xE4\xB8\xAD\xE6\x96\x87</body></html>";

TEST(Gunzip, CompleteMemberGivesTheOriginalBytes) {
  const GunzipResult result = Gunzip(GzipBytes(kPage));
  EXPECT_EQ(result.status, GunzipStatus::Complete);
  EXPECT_EQ(result.bytes, kPage);
  EXPECT_EQ(GunzipBytes(GzipBytes(kPage)), kPage);
}

TEST(Gunzip, LargeOutputCrossesManyChunks) {
  std::string big;
  for (int i = 0; i < 200000; ++i) big += "line " + std::to_string(i) + "\r\n";
  EXPECT_EQ(GunzipBytes(GzipBytes(big)), big);
}

TEST(Gunzip, ConcatenatedMembersAreJoinedAndTrailingBytesReported) {
  const std::string members = GzipBytes("first ") + GzipBytes("second");
  EXPECT_EQ(Gunzip(members).status, GunzipStatus::Complete);
  const GunzipResult result = Gunzip(members + std::string("\0\0junk", 6));
  EXPECT_EQ(result.status, GunzipStatus::TrailingData);
  EXPECT_EQ(result.bytes, "first second");
}

TEST(Gunzip, TruncatedDataEndsWithWhatCameBefore) {
  std::string text(100000, 'x');
  for (size_t i = 0; i < text.size(); i += 7) text[i] = static_cast<char>('a' + i % 26);
  const std::string whole = GzipBytes(text);
  for (size_t keep : {size_t{2}, size_t{10}, whole.size() / 2, whole.size() - 4}) {
    const GunzipResult result = Gunzip(std::string_view(whole).substr(0, keep));
    EXPECT_EQ(result.status, GunzipStatus::Truncated) << "kept " << keep;
    EXPECT_EQ(result.bytes, text.substr(0, result.bytes.size())) << "kept " << keep;
    EXPECT_LT(result.bytes.size(), text.size() + 1);
  }
}

TEST(Gunzip, CorruptDataEndsWithoutLooping) {
  std::string data = GzipBytes(std::string(50000, 'q'));
  for (size_t i = 12; i < data.size() - 8; i += 3) data[i] = static_cast<char>(data[i] ^ 0x5A);
  const GunzipResult result = Gunzip(data);
  EXPECT_EQ(result.status, GunzipStatus::Corrupt);
  // A wrong checksum in the trailer is corrupt too.
  std::string badCrc = GzipBytes("hello");
  badCrc[badCrc.size() - 6] ^= 1;
  EXPECT_EQ(Gunzip(badCrc).status, GunzipStatus::Corrupt);
}

TEST(Gunzip, BombStopsAtTheLimitWithAnEmptyResult) {
  // 64 MiB of zeros compress to about 64 KiB; with a 1 MiB limit nothing is given back.
  const std::string bomb = GzipBytes(std::string(64u << 20, '\0'), 9);
  ASSERT_LT(bomb.size(), 200000u);
  const GunzipResult result = Gunzip(bomb, 1u << 20);
  EXPECT_EQ(result.status, GunzipStatus::TooLarge);
  EXPECT_TRUE(result.bytes.empty());
}

// Data fed in pieces, however it is cut (a member's end, the two bytes that start the
// next), gives what the whole gives at once.
TEST(Gunzip, PiecesGiveWhatTheWholeGives) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "\xD6\xD0\xCE\xC4 " + std::to_string(i * 7919) + "\n";
  const std::string one = GzipBytes(text);
  std::string corrupt = one;
  corrupt[corrupt.size() / 2] ^= 0x5A;
  const struct {
    const char* name;
    std::string data;
    GunzipStatus status;
  } cases[] = {
      {"one member", one, GunzipStatus::Complete},
      {"two members", one + GzipBytes("tail"), GunzipStatus::Complete},
      {"a lone byte after", one + "\x1F", GunzipStatus::TrailingData},
      {"junk after", one + "junk", GunzipStatus::TrailingData},
      {"truncated", one.substr(0, one.size() - 3), GunzipStatus::Truncated},
      {"corrupt", corrupt, GunzipStatus::Corrupt},
      {"over the limit", GzipBytes(std::string(200000, 'z')), GunzipStatus::TooLarge},
  };
  for (const auto& c : cases) {
    const GunzipResult whole = Gunzip(c.data, 100000);
    EXPECT_EQ(whole.status, c.status) << c.name;
    for (size_t piece : {size_t{1}, size_t{2}, size_t{5}, size_t{4096}}) {
      GunzipStream stream(100000);
      for (size_t at = 0; at < c.data.size() && stream.Feed(std::string_view(c.data).substr(at, piece)); at += piece) {
      }
      const GunzipResult pieces = stream.Finish();
      EXPECT_EQ(pieces.status, whole.status) << c.name << " in pieces of " << piece;
      EXPECT_EQ(pieces.bytes, whole.bytes) << c.name << " in pieces of " << piece;
    }
  }
}

TEST(Gunzip, NotGzipAndTinyInputs) {
  EXPECT_EQ(Gunzip("plain").status, GunzipStatus::NotGzip);
  EXPECT_EQ(Gunzip("").status, GunzipStatus::NotGzip);
  EXPECT_EQ(GunzipBytes("\x1F\x8B"), "");
  EXPECT_TRUE(LooksGzipped("\x1F\x8B rest"));
  EXPECT_FALSE(LooksGzipped("\x1F"));
}

}  // namespace
}  // namespace cw
