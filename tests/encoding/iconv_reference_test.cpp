// Our decoding of every GBK, GB18030, code page 950 and Big5-HKSCS code against glibc's
// iconv. Each known difference is listed with its reason; any other one fails.
#include <gtest/gtest.h>

#include <map>

#include "encoding/charset.h"
#include "encoding/reference.h"

namespace cw {
namespace {

using test::Bytes;
using test::Hex;

struct KnownDifferences {
  const char* codes;
  const char* reason;
};

class IconvReferenceTest : public ::testing::Test {
 protected:
  // Compares every code with iconv and returns the codes where the two disagree or
  // where iconv rejects what we decode to a character (key: the code).
  static std::map<unsigned, std::string> Differences(const std::vector<unsigned>& codes, const char* iconvName,
                                                     Charset ours, bool iconvRejectsCount) {
    test::Iconv reference(iconvName);
    EXPECT_TRUE(reference.ok()) << iconvName;
    std::map<unsigned, std::string> differences;
    if (!reference.ok()) return differences;
    size_t accepted = 0;
    for (unsigned code : codes) {
      const std::string bytes = Bytes(code);
      const std::optional<std::string> expected = reference.ToUtf8(bytes);
      if (expected) ++accepted;
      const std::string actual = Transcode(bytes, ours, Charset::Utf8);
      // A code that both reject is no difference, whatever the recovery made of it.
      if (!expected && (!iconvRejectsCount || actual.find("\xEF\xBF\xBD") != std::string::npos)) continue;
      if (!expected || *expected != actual) {
        differences[code] = "ours " + Hex(actual) + ", iconv " + (expected ? Hex(*expected) : "rejects");
      }
    }
    EXPECT_GT(accepted, codes.size() / 2) << iconvName << " accepted too few codes to compare";
    return differences;
  }

  static void ExpectOnlyKnown(const std::map<unsigned, std::string>& differences,
                              const std::vector<KnownDifferences>& known, const std::vector<unsigned>& all) {
    std::set<unsigned> listed;
    for (const KnownDifferences& group : known) {
      const std::set<unsigned> codes = test::ExpandCodes(group.codes, all);
      for (unsigned code : codes) {
        EXPECT_TRUE(differences.count(code))
            << std::hex << code << " is listed but no longer differs: " << group.reason;
      }
      listed.insert(codes.begin(), codes.end());
    }
    for (const auto& [code, what] : differences) {
      EXPECT_TRUE(listed.count(code)) << "unexpected difference at " << std::hex << code << ": " << what;
    }
  }
};

TEST_F(IconvReferenceTest, GbkCodesDecodeAsCodePage936) {
  // glibc's CP936 is GBK with the euro sign at 80; it leaves out the user-defined areas,
  // A3A0 and the codes that later GB18030 editions assigned, so those are not compared.
  std::vector<unsigned> codes = test::TwoByteCodes(test::GbTrail);
  for (unsigned byte = 0x01; byte <= 0xFF; ++byte) codes.push_back(byte);
  ExpectOnlyKnown(Differences(codes, "CP936", Charset::Gb18030, false), {}, codes);
}

TEST_F(IconvReferenceTest, Gb18030CodesDecodeAsGlibcGb18030) {
  std::vector<unsigned> codes = test::TwoByteCodes(test::GbTrail);
  for (unsigned pointer = 0; pointer < 39420; ++pointer) {
    codes.push_back(((pointer / 12600 + 0x81) << 24) | ((pointer / 1260 % 10 + 0x30) << 16) |
                    ((pointer / 10 % 126 + 0x81) << 8) | (pointer % 10 + 0x30));
  }
  const std::vector<KnownDifferences> known = {
      {"82359037-82359134 84318236-84318335",
       "the four-byte codes of the 18 characters that GB18030-2022 moved to two-byte codes: glibc leaves "
       "them unassigned; we give them the Private Use code points those two-byte codes held before, so "
       "that those code points keep a code"},
      {"FE51 FE52 FE53 FE6C FE76 FE91",
       "glibc decodes these six user-defined codes to the supplementary ideographs they stand for; "
       "GB18030 (every edition) keeps them in the Private Use Area"},
  };
  ExpectOnlyKnown(Differences(codes, "GB18030", Charset::Gb18030, true), known, codes);
}

TEST_F(IconvReferenceTest, Cp950CodesDecodeAsGlibcCp950) {
  const std::vector<unsigned> codes = test::TwoByteCodes(test::Big5Trail);
  const std::vector<KnownDifferences> known = {
      {"C6A1-C7FC",
       "our table is Python's cp950, which decodes the ETEN row C6A1..C7FC to kana, Cyrillic and circled "
       "numbers; glibc follows Microsoft's table, which puts the row in the Private Use Area (as we do "
       "with the rest of the row, C7FD..C8FE)"},
      {"8140-A0FE FA40-FEFE",
       "the other user-defined areas: code page 950 (as Windows and Wine read it) maps them to the Private "
       "Use Area, U+EEB8.., U+E311.. and U+E000..; glibc leaves them undefined"},
  };
  ExpectOnlyKnown(Differences(codes, "CP950", Charset::Big5, true), known, codes);
}

TEST_F(IconvReferenceTest, Big5HkscsPointersDecodeAsGlibcBig5Hkscs) {
  const std::vector<unsigned> codes = test::TwoByteCodes(test::Big5Trail);
  const std::vector<KnownDifferences> known = {
      {"8E69 8E6F 8E7E 8EAB 8EB4 8ECD 8ED0 8F57 8F69 8F6E 8FCB 8FCC 8FFE 906D 907A 90DC 90F1 91BF 9244 "
       "92AF-92B2 92C8 92D1 9447 94CA 95D9 9644 96ED 96FC 9B76 9B78 9B7B 9BC6 9BDE 9BEC 9BF6 9C42 9C53 9C62 "
       "9C68 9C6B 9C77 9CBC 9CBD 9CD0 9D57 9D5A 9DC4 9EA9 9EEF 9EFD 9F60 9F66 9FCB 9FD8 A063 A077 A0D5 A0DF "
       "A0E4 C6CF C6D3 C6D5 C6D7 C6DE C6DF FA5F FA66 FABD FAC5 FAD5 FB48 FBB8 FBF3 FBF9 FC4F FC6C FCB9 FCE2 "
       "FCF1 FDB7 FDB8 FDBB FDF1 FE52 FE6F FEAA FEDD",
       "HKSCS compatibility codes of characters that have another code: the index decodes both, glibc only "
       "the preferred one"},
      {"A145 A14E A1C2 A1E3 A1F2 A1F3 A241 A242 A244 A246 A247",
       "punctuation that the index maps as Windows code page 950 does (U+2027, U+FE51, U+00AF, U+FF5E, "
       "U+2295, U+2299, U+2215, U+FE68, U+FFE5, U+FFE0, U+FFE1) and glibc as Big5-2003 does"},
      {"A15A A1C3 A1C5 A1FE A240 A2CC A2CE",
       "code page 950 symbols and duplicate ideographs that the index includes and glibc leaves undefined"},
      {"A3C0-A3E1", "control pictures and the euro sign, in the index (as in code page 950), undefined in glibc"},
  };
  ExpectOnlyKnown(Differences(codes, "BIG5-HKSCS", Charset::Big5Hkscs, true), known, codes);
}

}  // namespace
}  // namespace cw
