// The encoding declarations of web files, rewritten for the output's encoding.
#include "convert/declaration.h"

#include <gtest/gtest.h>

#include "convert/reading.h"
#include "support/cjk_corpus.h"
#include "support/temp_dir.h"
#include "text/text.h"

namespace cw {
namespace {

using test::W;

struct FormCase {
  const char* what;
  const char* name;
  const char* text;  // UTF-8
  Charset output;
  bool mark;
  const char* expected;  // UTF-8; nullptr: unchanged
  const char* oldLabel;
  const char* newLabel;
  size_t count;
};

// A character GBK lacks (four bytes in GB18030).
#define OUTSIDE_GBK "\xF0\xA0\x80\x80"

const FormCase kForms[] = {
    {"double quotes", "a.html", "<html><head><meta charset=\"gb2312\"><title>火星</title></head>", Charset::Utf8, false,
     "<html><head><meta charset=\"utf-8\"><title>火星</title></head>", "gb2312", "utf-8", 1},
    {"single quotes, upper case", "A.HTM", "<HEAD><META CHARSET='GB2312'></HEAD>", Charset::Utf8, false,
     "<HEAD><META CHARSET='UTF-8'></HEAD>", "GB2312", "UTF-8", 1},
    {"content attribute, other attributes and spacing kept", "a.php",
     "<head><meta  http-equiv=Content-Type content=\"text/html;  charset = gbk\" /></head>", Charset::Utf8, false,
     "<head><meta  http-equiv=Content-Type content=\"text/html;  charset = utf-8\" /></head>", "gbk", "utf-8", 1},
    {"head with attributes: the whole text, up to the body", "a.shtml",
     "<head lang=\"zh\"><meta charset=gbk></head><body><meta charset=gbk></body>", Charset::Utf8, false,
     "<head lang=\"zh\"><meta charset=utf-8></head><body><meta charset=gbk></body>", "gbk", "utf-8", 1},
    {"several metas", "a.aspx",
     "<head><meta name=keywords content=火星><meta charset=gbk>"
     "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\"></head>",
     Charset::Big5, false,
     "<head><meta name=keywords content=火星><meta charset=big5>"
     "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\"></head>",
     "gbk", "big5", 2},
    {"no declaration", "a.html", "<head><title>无</title></head>", Charset::Utf8, false, nullptr, "", "", 0},
    {"a meta in the body is left alone", "a.html", "<head><title>x</title></head><body><meta charset=gbk></body>",
     Charset::Utf8, false, nullptr, "", "", 0},
    {"metadata is no meta tag", "a.html", "<head><metadata charset=gbk></head>", Charset::Utf8, false, nullptr, "", "",
     0},
    {"a label that names the output stays", "a.html", "<head><meta charset=UTF8></head>", Charset::Utf8, false, nullptr,
     "", "", 0},
    {"a .txt quoting a meta is left alone", "a.txt", "<head><meta charset=gbk></head>", Charset::Utf8, false, nullptr,
     "", "", 0},
    {"XML declaration with standalone", "a.xml", "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"yes\"?><r/>",
     Charset::Utf8, false, "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?><r/>", "gb2312", "utf-8", 1},
    {"XML declaration without standalone", "a.svg", "\n<?xml version='1.0' encoding='GBK'?><svg/>", Charset::Big5,
     false, "\n<?xml version='1.0' encoding='BIG5'?><svg/>", "GBK", "BIG5", 1},
    {"an XML declaration without encoding gets one where it is not UTF-8", "a.xsl", "<?xml version='1.0'?><x/>",
     Charset::Gb18030, false, "<?xml version='1.0' encoding='gbk'?><x/>", "", "gbk", 1},
    {"an XML declaration without encoding stays for UTF-8", "a.xsl", "<?xml version='1.0'?><x/>", Charset::Utf8, false,
     nullptr, "", "", 0},
    {"xml-stylesheet is no declaration", "a.xml", "<?xml-stylesheet href='a' encoding='gbk'?>", Charset::Utf8, false,
     nullptr, "", "", 0},
    {"an XHTML page: XML declaration and meta", "a.xhtml",
     "<?xml version=\"1.0\" encoding=\"gb2312\"?><html><head><meta charset=\"gb2312\"/></head>", Charset::Utf8, false,
     "<?xml version=\"1.0\" encoding=\"utf-8\"?><html><head><meta charset=\"utf-8\"/></head>", "gb2312", "utf-8", 2},
    {"a meta in an XML file is not its declaration", "a.xml", "<head><meta charset=gbk></head>", Charset::Utf8, false,
     nullptr, "", "", 0},
    {"@charset", "a.CSS", "@charset \"GBK\";\nbody{font-family:宋体}", Charset::Utf8, false,
     "@charset \"UTF-8\";\nbody{font-family:宋体}", "GBK", "UTF-8", 1},
    {"@charset not at the very start", "a.css", " @charset \"gbk\";", Charset::Utf8, false, nullptr, "", "", 0},
    {"ANSI: a GBK-only page keeps gb2312", "a.html", "<head><meta charset=gb2312></head>火", Charset::Gb18030, false,
     nullptr, "", "", 0},
    {"ANSI: utf-8 becomes gbk", "a.html", "<head><meta charset=utf-8></head>火", Charset::Gb18030, false,
     "<head><meta charset=gbk></head>火", "utf-8", "gbk", 1},
    {"ANSI: a character outside GBK needs gb18030", "a.html", "<head><meta charset=gb2312></head>" OUTSIDE_GBK,
     Charset::Gb18030, false, "<head><meta charset=gb18030></head>" OUTSIDE_GBK, "gb2312", "gb18030", 1},
    {"Big5: big5-hkscs is read otherwise here", "a.html", "<head><meta charset=big5-hkscs></head>", Charset::Big5,
     false, "<head><meta charset=big5></head>", "big5-hkscs", "big5", 1},
    {"Big5-HKSCS: big5 while nothing needs more", "a.html", "<head><meta charset=gbk></head>火星", Charset::Big5Hkscs,
     false, "<head><meta charset=big5></head>火星", "gbk", "big5", 1},
    {"UTF-16 with a mark: a page's meta says utf-8", "a.html", "<head><meta charset=gbk></head>", Charset::Utf16Le,
     true, "<head><meta charset=utf-8></head>", "gbk", "utf-8", 1},
    {"UTF-16 with a mark: the XML declaration says UTF-16", "a.xml", "<?xml version=\"1.0\" encoding=\"GBK\"?>",
     Charset::Utf16Be, true, "<?xml version=\"1.0\" encoding=\"UTF-16\"?>", "GBK", "UTF-16", 1},
    {"UTF-16 without a mark: the byte order is named", "a.xml", "<?xml version=\"1.0\"?>", Charset::Utf16Be, false,
     "<?xml version=\"1.0\" encoding=\"utf-16be\"?>", "", "utf-16be", 1},
    {"UTF-16 without a mark: a page too", "a.html", "<head><meta charset=utf-8></head>", Charset::Utf16Le, false,
     "<head><meta charset=utf-16le></head>", "utf-8", "utf-16le", 1},
};

TEST(Declaration, EachForm) {
  for (const FormCase& c : kForms) {
    SCOPED_TRACE(c.what);
    std::string text = W(c.text);
    const DeclarationEdit edit = RewriteDeclaration(text, c.name, c.output, c.mark);
    EXPECT_EQ(text, W(c.expected ? c.expected : c.text));
    EXPECT_EQ(edit.changed, c.expected != nullptr);
    EXPECT_EQ(edit.oldLabel, c.oldLabel);
    EXPECT_EQ(edit.newLabel, c.newLabel);
    EXPECT_EQ(edit.count, c.count);
    if (edit.changed) {
      EXPECT_EQ(text.substr(edit.offset, edit.length), edit.newLabel);
    }
  }
}

TEST(Declaration, OnlyWhatTheScanReads) {
  // The second byte of a GBK character that happens to be "<" starts no tag, for the
  // reading rules and the rewrite alike.
  std::string text = "<head>\xBC<meta charset=gbk></head>";
  EXPECT_FALSE(RewriteDeclaration(text, "a.html", Charset::Utf8, false).changed);
  // An empty <meta> ends the scan.
  text = "<head><meta><meta charset=gbk></head>";
  EXPECT_FALSE(RewriteDeclaration(text, "a.html", Charset::Utf8, false).changed);
  // Nor past a 1A byte, where the reading rules stop.
  text = "\x1A<head><meta charset=gbk></head>";
  EXPECT_FALSE(RewriteDeclaration(text, "a.html", Charset::Utf8, false).changed);
}

TEST(Declaration, Big5HkscsLabelOnlyWhereBig5WouldBeReadOtherwise) {
  // A character Big5-HKSCS writes where code page 950 has another one.
  std::string misread;
  for (char32_t c = 0x80; c < 0x10000 && misread.empty(); ++c) {
    if (c >= 0xD800 && c < 0xE000) continue;
    const std::u16string unit(1, static_cast<char16_t>(c));
    const std::string working = Utf16ToWorking(unit);
    const std::string hkscs = Transcode(working, kWorkingCharset, Charset::Big5Hkscs);
    if (hkscs.size() == 2 && Transcode(hkscs, Charset::Big5Web, kWorkingCharset) != working) misread = working;
  }
  ASSERT_FALSE(misread.empty());
  std::string text = "<head><meta charset=big5></head>" + misread;
  const DeclarationEdit edit = RewriteDeclaration(text, "a.htm", Charset::Big5Hkscs, false);
  EXPECT_EQ(edit.newLabel, "big5-hkscs");
  // Read back by its label, the page gives its text again.
  const std::string bytes = Transcode(text, kWorkingCharset, Charset::Big5Hkscs);
  EXPECT_EQ(DecodeBytes(bytes, EncodingChoice::Auto).text, text);
}

TEST(Declaration, ExtensionTable) {
  for (const char* name : {"a.htm", "a.HTML", "b.shtml", "c.xhtml", "d.xml", "e.xsl", "f.svg", "g.css", "h.php",
                           "i.asp", "j.aspx", "k.JSP", "Z:\\网页\\首页.html"}) {
    EXPECT_TRUE(IsWebFileName(W(name))) << name;
  }
  for (const char* name : {"a.txt", "html", "a.html.bak", "a.js", "a.", "", "a.htmlx"}) {
    EXPECT_FALSE(IsWebFileName(name)) << name;
  }
  EXPECT_EQ(WebFileKindOf("a.svg"), WebFileKind::Xml);
  EXPECT_EQ(WebFileKindOf("a.css"), WebFileKind::StyleSheet);
  EXPECT_EQ(WebFileKindOf("a.xhtml"), WebFileKind::Page);
}

TEST(Declaration, WordsForTheResultList) {
  std::string text = "<head><meta charset=gb2312></head>";
  const DeclarationEdit edit = RewriteDeclaration(text, "a.html", Charset::Utf8, false);
  EXPECT_EQ(DeclarationChangeText(edit), W(u8"声明 gb2312 → utf-8"));
  EXPECT_EQ(DeclarationChangeText(DeclarationEdit()), "");
  EXPECT_NE(DeclarationWarningText(DeclarationWarning::PastPrescan).find("1024"), std::string::npos);
  EXPECT_EQ(DeclarationWarningText(DeclarationWarning::None), "");
}

// A page whose meta tag, once it says utf-8, ends exactly at byte 1024 of its UTF-8.
std::string PageAtTheLimit() {
  const std::string han = W(u8"火");
  std::string title;
  for (int i = 0; i < 327; ++i) title += han;  // 981 bytes in UTF-8
  const std::string head = "<head><title>";
  const std::string tail = "</title><meta charset=utf-8>";
  return head + std::string(1024 - 981 - head.size() - tail.size(), 'x') + title + "</title><meta charset=gbk>" +
         "</head>";
}

TEST(Declaration, PrescanLimitCountsOutputBytesAndTheMark) {
  struct Row {
    Charset output;
    bool mark;
    bool past;
  } rows[] = {
      {Charset::Utf8, false, false},                                      // ends at byte 1024 itself
      {Charset::Utf8, true, true},                                        // the mark pushes it out
      {Charset::Gb18030, false, false},                                   // two bytes a character
      {Charset::Big5, false, false},    {Charset::Utf16Le, true, false},  // the mark decides
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(CharsetName(row.output) + std::string(row.mark ? " with mark" : ""));
    std::string text = PageAtTheLimit();
    const DeclarationEdit edit = RewriteDeclaration(text, "a.html", row.output, row.mark);
    ASSERT_NE(edit.metaEnd, 0u);
    EXPECT_EQ(text[edit.metaEnd - 1], '>');
    EXPECT_EQ(DeclarationPastPrescan(text, edit, row.output, row.mark), row.past);
    if (row.output == Charset::Utf8 && !row.mark) {
      const std::string bytes = Transcode(text, kWorkingCharset, Charset::Utf8);
      EXPECT_EQ(bytes.substr(1024 - 1, 1), ">");
    }
  }
  std::string text = PageAtTheLimit();
  const DeclarationEdit edit = RewriteDeclaration(text, "a.html", Charset::Utf16Le, false);
  EXPECT_EQ(CheckDeclaration(text, edit, Charset::Utf16Le, false), DeclarationWarning::Utf16WithoutMark);
  EXPECT_EQ(CheckDeclaration(text, edit, Charset::Utf8, true), DeclarationWarning::PastPrescan);
}

// GBK -> UTF-8 -> ANSI through the rewrite and the transcoder, read back in between as
// the program reads: the original bytes again but for the label.
TEST(Declaration, RoundTripGivesTheOriginalBytesButTheLabel) {
  const std::string sample = test::ReadCjkSample("gbk.txt");
  if (sample.empty()) GTEST_SKIP() << "Python's cjkencodings files not found";
  const std::string page = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">" +
                           std::string("</head><body><pre>") + sample + "</pre></body></html>";
  std::string working = DecodeBytes(page, EncodingChoice::Auto).text;
  ASSERT_EQ(working, page);
  ASSERT_TRUE(RewriteDeclaration(working, "a.html", Charset::Utf8, false).changed);
  const std::string utf8 = Transcode(working, kWorkingCharset, Charset::Utf8);

  const DecodedText back = DecodeBytes(utf8, EncodingChoice::Auto);
  EXPECT_EQ(back.howDecided, "declared in a meta tag");
  working = back.text;
  const DeclarationEdit edit = RewriteDeclaration(working, "a.html", Charset::Gb18030, false);
  EXPECT_EQ(edit.oldLabel, "utf-8");
  EXPECT_EQ(edit.newLabel, "gbk");
  EXPECT_EQ(working, text::ReplaceAll(page, "charset=gb2312", "charset=gbk"));
}

}  // namespace
}  // namespace cw
