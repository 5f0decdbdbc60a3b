// Detection on real-world text nobody here wrote: the CJK sample files that ship with
// Python's own test suite, bare and wrapped in web pages with meta declarations.
#include <gtest/gtest.h>

#include <string>

#include "convert/reading.h"
#include "encoding/charset.h"
#include "support/cjk_corpus.h"

namespace cw {
namespace {

class DetectionCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Read("gbk.txt").empty()) GTEST_SKIP() << "Python's cjkencodings files not found";
  }
  static std::string Read(const std::string& name) { return test::ReadCjkSample(name); }
};

TEST_F(DetectionCorpus, BareFilesAsDetected) {
  struct Case {
    const char* file;
    EncodingChoice expected;
    const char* twin;  // the UTF-8 text it decodes to; none: the working text is the file
  };
  // Without a mark or a declaration: UTF-8 by the scan, Big5 by the statistics, GBK
  // (ANSI) otherwise. The HKSCS sample is nearly all rare characters, which no reading
  // scores clearly: it stays ANSI.
  const Case cases[] = {
      {"gb2312.txt", EncodingChoice::Ansi, nullptr},
      {"gbk.txt", EncodingChoice::Ansi, nullptr},
      {"gb18030.txt", EncodingChoice::Ansi, nullptr},
      {"big5.txt", EncodingChoice::Big5, "big5-utf8.txt"},
      {"big5hkscs.txt", EncodingChoice::Ansi, nullptr},
      {"gb2312-utf8.txt", EncodingChoice::Utf8, "gb2312-utf8.txt"},
      {"gbk-utf8.txt", EncodingChoice::Utf8, "gbk-utf8.txt"},
      {"big5-utf8.txt", EncodingChoice::Utf8, "big5-utf8.txt"},
      {"big5hkscs-utf8.txt", EncodingChoice::Utf8, "big5hkscs-utf8.txt"},  // four-byte sequences too
  };
  for (const Case& c : cases) {
    const std::string bytes = Read(c.file);
    ASSERT_FALSE(bytes.empty()) << c.file;
    const DecodedText d = DecodeBytes(bytes, EncodingChoice::Auto);
    EXPECT_EQ(d.detected, c.expected) << c.file << ": " << d.howDecided;
    if (c.twin) {
      EXPECT_EQ(ToUtf8(d.text), Read(c.twin)) << c.file;
    } else {
      EXPECT_EQ(d.text, bytes) << c.file;
    }
  }
}

TEST_F(DetectionCorpus, LegacyFilesDecodeToTheirUtf8Twins) {
  // GBK and GB18030 files are the working code page already.
  EXPECT_EQ(ToUtf8(Read("gbk.txt")), Read("gbk-utf8.txt"));
  EXPECT_EQ(ToUtf8(Read("gb18030.txt")), Read("gb18030-utf8.txt"));
}

TEST_F(DetectionCorpus, WebPagesWithMetaDeclarations) {
  struct Case {
    const char* file;
    const char* twin;
    const char* declaration;
    EncodingChoice expected;
  };
  const Case cases[] = {
      {"big5.txt", "big5-utf8.txt", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">",
       EncodingChoice::Big5},
      {"big5hkscs.txt", "big5hkscs-utf8.txt", "<meta charset=\"Big5-HKSCS\">", EncodingChoice::Big5Hkscs},
      {"gbk-utf8.txt", "gbk-utf8.txt", "<META CHARSET='UTF-8'>", EncodingChoice::Utf8},
  };
  for (const Case& c : cases) {
    const std::string head = std::string("<html><head>") + c.declaration + "<title>t</title></head><body>\r\n";
    const std::string page = head + Read(c.file) + "</body></html>";
    const DecodedText d = DecodeBytes(page, EncodingChoice::Auto);
    EXPECT_EQ(d.detected, c.expected) << c.file;
    EXPECT_EQ(ToUtf8(d.text), head + Read(c.twin) + "</body></html>") << c.file;
  }
}

}  // namespace
}  // namespace cw
