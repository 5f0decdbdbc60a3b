// Python's cp950 and big5hkscs codecs as a second reference for the Big5 writers; these
// tests are skipped where python3 is not installed.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "encoding/charset.h"
#include "encoding/reference.h"

namespace cw {
namespace {

using test::Hex;

class PythonReferenceTest : public ::testing::Test {
 protected:
  // Lines "KEY VALUE" of a python3 one-off, as a map; empty when python3 is missing.
  static std::map<std::string, std::string> PythonMap(const std::string& script) {
    std::map<std::string, std::string> result;
    const std::optional<std::string> out = test::RunPython(script);
    if (!out) return result;
    std::istringstream lines(*out);
    std::string key, value;
    while (lines >> key >> value) result[key] = value;
    return result;
  }
  static std::string CodePointKey(char32_t c) {
    char key[16];
    std::snprintf(key, sizeof key, "%04X", static_cast<unsigned>(c));
    return key;
  }
};

TEST_F(PythonReferenceTest, Big5WritesWhatPythonCp950Writes) {
  const auto python = PythonMap(
      "import sys\n"
      "for c in range(0x80, 0x10000):\n"
      "    if 0xD800 <= c <= 0xDFFF: continue\n"
      "    try: sys.stdout.write(\"%04X %s\\n\" % (c, chr(c).encode(\"cp950\").hex().upper()))\n"
      "    except UnicodeEncodeError: pass\n");
  if (python.empty()) GTEST_SKIP() << "python3 with the cp950 codec is not available";
  EXPECT_GT(python.size(), 13000u);
  // Python's encoder also writes a few characters as the code of a look-alike (A246 is
  // U+FFE0, written for U+00A2), as code page 950 does: so do we.
  EXPECT_EQ(python.at("00A2"), "A246");
  size_t userDefined = 0;
  for (char32_t c = 0x80; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::string ours = Hex(Transcode(test::Utf8Of(c), Charset::Utf8, Charset::Big5));
    const auto it = python.find(CodePointKey(c));
    if (c == 0x80) {
      // Code page 950 passes 80 through as U+0080; Python's cp950 has no single byte 80.
      EXPECT_EQ(ours, "80");
    } else if (it != python.end()) {
      EXPECT_EQ(ours, it->second) << "U+" << CodePointKey(c);
    } else if (c >= 0xE000 && c <= 0xF848 && ours != "3F") {
      // The user-defined codes, which Python leaves out: each reads back as written.
      ++userDefined;
      EXPECT_EQ(Transcode(Transcode(test::Utf8Of(c), Charset::Utf8, Charset::Big5), Charset::Big5, Charset::Utf8),
                test::Utf8Of(c));
    } else {
      EXPECT_EQ(ours, "3F") << "U+" << CodePointKey(c);
    }
  }
  // 81-8D, 8E-A0 and FA-FE whole, and C7FD..C8FE beyond the ETEN characters.
  EXPECT_EQ(userDefined, (0xA1 - 0x81 + 0xFF - 0xFA) * 157u + 2 + 157);
}

TEST_F(PythonReferenceTest, Big5HkscsOutputReadsBackInPython) {
  // Python's big5hkscs decoding of every two-byte code (HKSCS-2004, the year before the
  // index's HKSCS-2008, so it lacks some codes).
  const auto python = PythonMap(
      "import sys\n"
      "for lead in range(0x81, 0xFF):\n"
      "    for trail in list(range(0x40, 0x7F)) + list(range(0xA1, 0xFF)):\n"
      "        try: text = bytes([lead, trail]).decode(\"big5hkscs\")\n"
      "        except UnicodeDecodeError: continue\n"
      "        sys.stdout.write(\"%02X%02X %s\\n\" % (lead, trail, \"+\".join(\"%04X\" % ord(ch) for ch in text)))\n");
  if (python.empty()) GTEST_SKIP() << "python3 with the big5hkscs codec is not available";
  EXPECT_GT(python.size(), 18000u);
  // What we write that Python reads as something else or not at all, by code.
  const std::set<unsigned> knownDifferences = test::ExpandCodes(
      // HKSCS-2008 additions, newer than Python's table.
      "877A-87DF "
      // Compatibility codes: the web encoder's choice among a character's codes, which
      // Python does not read (it writes the character's other code).
      "8FCC 92C8 9644 96ED C6CF C6D3 C6D5 C6D7 C6DF FB48 FBF9 FC6C FE52 "
      // Punctuation the index maps as code page 950 does, Python as Big5-2003 does.
      "A145 A14E A1C2 A1E3 A1F2 A1F3 A241 A242 A244 A246 A247 "
      // Control pictures and the euro sign, which Python's table lacks.
      "A3C0-A3E1",
      test::TwoByteCodes(test::Big5Trail));
  size_t compared = 0;
  std::set<unsigned> differing;
  for (char32_t c = 0x80; c < 0x30000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::string ours = Hex(Transcode(test::Utf8Of(c), Charset::Utf8, Charset::Big5Hkscs));
    if (ours == "3F") continue;
    ++compared;
    const auto it = python.find(ours);
    if (it == python.end() || it->second != CodePointKey(c)) differing.insert(std::stoul(ours, nullptr, 16));
  }
  EXPECT_EQ(differing, knownDifferences);
  EXPECT_GT(compared, 17000u);
  // The letter-and-mark pairs are written as the one code Python also uses.
  EXPECT_EQ(Hex(Transcode("\xC3\x8A\xCC\x84", "UTF-8", "BIG5-HKSCS")), "8862");
  EXPECT_EQ(python.at("8862"), "00CA+0304");
}

}  // namespace
}  // namespace cw
