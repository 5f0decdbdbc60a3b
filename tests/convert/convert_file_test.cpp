// Converting one real file end to end: encodings and marks, line endings, script and
// name conversion, output folders, and failures that must never cost the original.
#include "convert/convert_file.h"

#include <gtest/gtest.h>

#include <random>

#include "convert/generated/script_tables.h"
#include "convert/script_conversion.h"
#include "encoding/charset.h"
#include "platform/platform.h"
#include "support/cjk_corpus.h"
#include "support/temp_dir.h"
#include "text/text.h"

namespace cw {
namespace {

using test::W;

const std::string kUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
const std::string kGbk = "\xD6\xD0\xCE\xC4";
const std::string kBom8 = "\xEF\xBB\xBF";

// Overwriting short texts: read as ANSI, since a few characters are too few for the
// automatic reading to tell GBK from Big5 (and it never guesses over an original).
ConversionOptions OverwriteAndRename(ScriptConversion conversion) {
  ConversionOptions options;
  options.inputEncoding = EncodingChoice::Ansi;
  options.overwriteOriginal = true;
  options.convertFileName = true;
  options.scriptConversion = conversion;
  return options;
}

class ConvertFileTest : public ::testing::Test {
 protected:
  // The run's identity is taken before any fault is injected: its lock file would take
  // a Write meant for the conversion.
  void SetUp() override { RunIdentity(); }
  void TearDown() override { platform::ClearInjectedFailures(); }

  std::string Put(const std::string& name, const std::string& bytes) {
    const std::string path = dir_.Join(name);
    test::WriteFileBytes(path, bytes);
    return path;
  }
  ConvertStatus Convert(const std::string& source, std::string& output, const ConversionOptions& options) {
    return ConvertFile(source, output, options);
  }
  test::TempDir dir_;
};

TEST_F(ConvertFileTest, AutoToAutoKeepsUtf8WithItsMarkOrDropsIt) {
  const std::string source = Put("a.txt", kBom8 + kUtf8);
  std::string out = dir_.Join("out\\a.txt");
  ASSERT_EQ(Convert(source, out, {}), ConvertStatus::Converted);
  EXPECT_EQ(test::ReadFileBytes(out), kBom8 + kUtf8);

  ConversionOptions noBom;
  noBom.withoutBom = true;
  ASSERT_EQ(Convert(source, out, noBom), ConvertStatus::Converted);
  EXPECT_EQ(test::ReadFileBytes(out), kUtf8);
}

TEST_F(ConvertFileTest, Big5PageStaysBig5UnderAutoAndBecomesGbkUnderAnsi) {
  const std::string page = "<head><meta charset=big5></head>\xA4\xA4\xA4\xE5";
  const std::string source = Put("p.htm", page);
  std::string out = dir_.Join("o1.htm");
  ASSERT_EQ(Convert(source, out, {}), ConvertStatus::Converted);
  EXPECT_EQ(test::ReadFileBytes(out), page);

  ConversionOptions ansi;
  ansi.outputEncoding = EncodingChoice::Ansi;
  out = dir_.Join("o2.htm");
  ASSERT_EQ(Convert(source, out, ansi), ConvertStatus::Converted);
  // The page now declares what it is written in.
  EXPECT_EQ(test::ReadFileBytes(out), "<head><meta charset=gbk></head>" + kGbk);
}

// A converted web file declares the encoding it is written in, in every form the
// reading rules find; anything else stays byte for byte. Converting back gives the
// original again (a gb2312 comes back as gbk), and --keep-declarations keeps the old bytes.
TEST_F(ConvertFileTest, WebFilesDeclareTheirOutputEncoding) {
  const struct {
    const char* name;
    std::string gbk;   // the source, read as ANSI
    std::string utf8;  // written as UTF-8 without a mark
    std::string back;  // that converted back to ANSI
    std::string kept;  // written as UTF-8 with the declarations kept
  } cases[] = {
      {"a.html", "<HEAD lang=zh><META charset='GB2312'></HEAD>" + kGbk,
       "<HEAD lang=zh><META charset='UTF-8'></HEAD>" + kUtf8, "<HEAD lang=zh><META charset='GBK'></HEAD>" + kGbk,
       "<HEAD lang=zh><META charset='GB2312'></HEAD>" + kUtf8},
      {"b.htm", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">" + kGbk,
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">" + kUtf8,
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">" + kGbk,
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">" + kUtf8},
      {"c.xml", "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"yes\"?><a>" + kGbk + "</a>",
       "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?><a>" + kUtf8 + "</a>",
       "<?xml version=\"1.0\" encoding=\"gbk\" standalone=\"yes\"?><a>" + kGbk + "</a>",
       "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"yes\"?><a>" + kUtf8 + "</a>"},
      {"d.css", "@charset \"GBK\";\nb:after{content:\"" + kGbk + "\"}",
       "@charset \"UTF-8\";\nb:after{content:\"" + kUtf8 + "\"}",
       "@charset \"GBK\";\nb:after{content:\"" + kGbk + "\"}", "@charset \"GBK\";\nb:after{content:\"" + kUtf8 + "\"}"},
      // Not a web file, and not the declaration: left alone.
      {"e.txt", "<meta charset=gbk>" + kGbk, "<meta charset=gbk>" + kUtf8, "<meta charset=gbk>" + kGbk,
       "<meta charset=gbk>" + kUtf8},
  };
  for (const auto& c : cases) {
    const std::string source = Put(c.name, c.gbk);
    ConversionOptions toUtf8;
    toUtf8.inputEncoding = EncodingChoice::Ansi;
    toUtf8.outputEncoding = EncodingChoice::Utf8;
    toUtf8.withoutBom = true;
    std::string out = dir_.Join(std::string("u\\") + c.name);
    ASSERT_EQ(Convert(source, out, toUtf8), ConvertStatus::Converted) << c.name;
    EXPECT_EQ(test::ReadFileBytes(out), c.utf8) << c.name;
    ConversionOptions toAnsi;
    toAnsi.outputEncoding = EncodingChoice::Ansi;
    std::string back = dir_.Join(std::string("g\\") + c.name);
    ASSERT_EQ(Convert(out, back, toAnsi), ConvertStatus::Converted) << c.name;
    EXPECT_EQ(test::ReadFileBytes(back), c.back) << c.name;
    toUtf8.keepDeclarations = true;
    std::string kept = dir_.Join(std::string("k\\") + c.name);
    ASSERT_EQ(Convert(source, kept, toUtf8), ConvertStatus::Converted) << c.name;
    // The same bytes but for the declaration, which keeps its old label.
    EXPECT_EQ(test::ReadFileBytes(kept), c.kept) << c.name;
  }
  // The report says what changed, for the result list and the dry run.
  const std::string page = Put("r.html", "<meta charset=gb2312>" + kGbk);
  std::string out = dir_.Join("r-out.html");
  ConversionOptions toUtf8;
  toUtf8.outputEncoding = EncodingChoice::Utf8;
  toUtf8.withoutBom = true;
  ConvertReport report;
  ASSERT_EQ(ConvertFile(page, out, toUtf8, &report), ConvertStatus::Converted);
  EXPECT_EQ(report.declaration, W(u8"声明 gb2312 → utf-8"));
}

TEST_F(ConvertFileTest, OutputEncodingsAndMarks) {
  const std::string source = Put("g.txt", kGbk);  // read as ANSI
  struct Case {
    EncodingChoice out;
    bool withoutBom;
    std::string bytes;
  };
  const Case cases[] = {
      {EncodingChoice::Auto, false, kGbk},
      {EncodingChoice::Utf8, false, kBom8 + kUtf8},
      {EncodingChoice::Utf16Le, false, std::string("\xFF\xFE\x2D\x4E\x87\x65", 6)},
      {EncodingChoice::Utf16Be, false, std::string("\xFE\xFF\x4E\x2D\x65\x87", 6)},
      {EncodingChoice::Utf16Be, true, std::string("\x4E\x2D\x65\x87", 4)},
  };
  for (const Case& c : cases) {
    ConversionOptions options;
    options.outputEncoding = c.out;
    options.withoutBom = c.withoutBom;
    std::string out = dir_.Join("g.out");
    ASSERT_EQ(Convert(source, out, options), ConvertStatus::Converted);
    EXPECT_EQ(test::ReadFileBytes(out), c.bytes) << EncodingChoiceName(c.out);
  }
}

TEST_F(ConvertFileTest, EmptyTextGetsNoMark) {
  const std::string source = Put("empty.txt", "");
  std::string out = dir_.Join("empty.out");
  ConversionOptions options;
  options.outputEncoding = EncodingChoice::Utf8;
  ASSERT_EQ(Convert(source, out, options), ConvertStatus::Converted);
  EXPECT_TRUE(test::PathExists(out));
  EXPECT_EQ(test::ReadFileBytes(out), "");
}

TEST(LineEndings, EachChoice) {
  EXPECT_EQ(ConvertLineEndings("a\rb\nc\r\nd", LineEndingChoice::Windows), "a\r\nb\r\nc\r\nd");
  EXPECT_EQ(ConvertLineEndings("x[\\r\\n]y", LineEndingChoice::Windows), "x\r\ny");
  EXPECT_EQ(ConvertLineEndings("\r\n\r", LineEndingChoice::Unix), "\n\n");
  EXPECT_EQ(ConvertLineEndings("\r\n\n", LineEndingChoice::Mac), "\r\r");
  EXPECT_EQ(ConvertLineEndings("a\rb\nc\r\n", LineEndingChoice::Keep), "a\rb\nc\r\n");
  // A CR or LF that is the second byte of a two-byte character is not a line break.
  EXPECT_EQ(ConvertLineEndings("\x81\n\n", LineEndingChoice::Windows), "\x81\n\r\n");
  EXPECT_EQ(ConvertLineEndings("\x81\r\n", LineEndingChoice::Unix), "\x81\r\n");
  EXPECT_EQ(LineEndingFromIndex(-1), LineEndingChoice::Mac);
  EXPECT_EQ(LineEndingFromIndex(7), LineEndingChoice::Mac);
}

// The change is made in one pass; it must give what the replacements one after the
// other give, marker texts and breaks hidden in two-byte characters included.
TEST(LineEndings, OnePassMatchesTheReplacementsInTurn) {
  const auto lone = [](const std::string& text) {
    std::string out;
    for (size_t pos = 0; pos < text.size(); pos += text::CharLength(text, pos)) {
      const size_t len = text::CharLength(text, pos);
      out += len == 1 && (text[pos] == '\r' || text[pos] == '\n') ? std::string("\r\n") : text.substr(pos, len);
    }
    return out;
  };
  const std::string marker = "[\\r\\n]";
  const auto inTurn = [&](const std::string& text, LineEndingChoice choice) {
    using text::ReplaceAll;
    switch (choice) {
      case LineEndingChoice::Windows: return ReplaceAll(lone(ReplaceAll(text, "\r\n", marker)), marker, "\r\n");
      case LineEndingChoice::Unix: return ReplaceAll(ReplaceAll(text, "\r\n", "\n"), "\r", "\n");
      case LineEndingChoice::Mac: return ReplaceAll(ReplaceAll(text, "\r\n", "\r"), "\n", "\r");
      case LineEndingChoice::Keep: break;
    }
    return text;
  };
  const std::string alphabet[] = {"\r", "\n", "\r\n", "\x81", "\xD6\xD0", "a", "[", "]", "\\", "r", "n", marker};
  std::mt19937 random(13);
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    const int pieces = static_cast<int>(random() % 12);
    for (int k = 0; k < pieces; ++k) text += alphabet[random() % std::size(alphabet)];
    for (LineEndingChoice choice : {LineEndingChoice::Windows, LineEndingChoice::Unix, LineEndingChoice::Mac}) {
      std::string inPlace = text;
      ChangeLineEndings(inPlace, choice);
      ASSERT_EQ(inPlace, inTurn(text, choice)) << static_cast<int>(choice) << " on \"" << text << "\"";
    }
  }
}

TEST_F(ConvertFileTest, LineEndingsEndToEndInUtf16) {
  const std::string source = Put("l.txt", "a\nb\rc\r\n");
  ConversionOptions options;
  options.lineEndings = LineEndingChoice::Windows;
  options.outputEncoding = EncodingChoice::Utf16Le;
  options.withoutBom = true;
  std::string out = dir_.Join("l.out");
  ASSERT_EQ(Convert(source, out, options), ConvertStatus::Converted);
  EXPECT_EQ(test::ReadFileBytes(out), std::string("a\0\r\0\n\0b\0\r\0\n\0c\0\r\0\n\0", 18));
}

TEST_F(ConvertFileTest, NestedFoldersAreCreatedOutermostFirst) {
  std::vector<std::string> created;
  const std::string path = dir_.Join(W(u8"x(已转换)\\诶\\z\\f.txt"));
  ASSERT_TRUE(CreateParentDirectories(path, &created));
  ASSERT_EQ(created.size(), 3u);
  EXPECT_EQ(created[0], dir_.Join(W(u8"x(已转换)")));
  EXPECT_EQ(created[1], dir_.Join(W(u8"x(已转换)\\诶")));
  EXPECT_EQ(created[2], dir_.Join(W(u8"x(已转换)\\诶\\z")));
  EXPECT_FALSE(test::PathExists(path));  // the file name is never made a folder
  created.clear();
  EXPECT_TRUE(CreateParentDirectories(path, &created));
  EXPECT_TRUE(created.empty());
  EXPECT_FALSE(CreateParentDirectories("\\nowhere\\f.txt", &created));
  EXPECT_TRUE(created.empty());
}

TEST_F(ConvertFileTest, OverwriteWithRenameReplacesTheOldName) {
  const std::string source = Put(W(u8"简体.txt"), W(u8"简体"));
  std::string out = source;
  const ConversionOptions options = OverwriteAndRename(ScriptConversion::SimplifiedToTraditional);
  ASSERT_EQ(Convert(source, out, options), ConvertStatus::Converted);
  EXPECT_EQ(out, dir_.Join(W(u8"簡體.txt")));
  EXPECT_FALSE(test::PathExists(source));
  EXPECT_EQ(test::ReadFileBytes(out), W(u8"簡體"));
}

TEST_F(ConvertFileTest, OverwriteWithRenameAndUnchangedNameRewritesInPlace) {
  const std::string source = Put("plain.txt", W(u8"後來"));
  std::string out = source;
  const ConversionOptions options = OverwriteAndRename(ScriptConversion::TraditionalToSimplified);
  ASSERT_EQ(Convert(source, out, options), ConvertStatus::Converted);
  EXPECT_EQ(out, source);
  EXPECT_EQ(test::ReadFileBytes(source), W(u8"后来"));
}

TEST_F(ConvertFileTest, RenameWithoutScriptConversionChangesNothing) {
  const std::string source = Put(W(u8"简体.txt"), "x");
  std::string out = source;
  ConversionOptions options;
  options.overwriteOriginal = true;
  options.convertFileName = true;
  platform::FileInfo before, after;
  ASSERT_EQ(platform::QueryFile(source, &before), platform::Status::Ok);
  ASSERT_EQ(Convert(source, out, options), ConvertStatus::Unchanged);
  EXPECT_EQ(out, source);
  ASSERT_EQ(platform::QueryFile(source, &after), platform::Status::Ok);
  EXPECT_TRUE(after.SameContentAs(before));  // not even written again
}

TEST_F(ConvertFileTest, RenameTouchesTheLastComponentOnly) {
  const std::string source = Put(W(u8"简体\\简体.txt"), "x");
  std::string out = dir_.Join(W(u8"简体(已转换)\\简体.txt"));
  ConversionOptions options;
  options.convertFileName = true;
  options.scriptConversion = ScriptConversion::SimplifiedToBig5;
  ASSERT_EQ(Convert(source, out, options), ConvertStatus::Converted);
  // With "简体到Big5" a name goes to the Simplified script, so this one stays.
  EXPECT_EQ(out, dir_.Join(W(u8"简体(已转换)\\简体.txt")));
  options.scriptConversion = ScriptConversion::TraditionalToBig5;
  out = dir_.Join(W(u8"简体(已转换)\\简体.txt"));
  ASSERT_EQ(Convert(source, out, options), ConvertStatus::Converted);
  EXPECT_EQ(out, dir_.Join(W(u8"简体(已转换)\\簡體.txt")));
  EXPECT_TRUE(test::PathExists(source));
}

TEST_F(ConvertFileTest, UnreadableSourceWritesAndDeletesNothing) {
  const std::string existing = Put("out.txt", "keep me");
  std::string out = existing;
  EXPECT_EQ(Convert(dir_.Join("missing.txt"), out, {}), ConvertStatus::Unreadable);
  EXPECT_EQ(test::ReadFileBytes(existing), "keep me");
  std::string other = dir_.Join("new\\out.txt");
  EXPECT_EQ(Convert(dir_.Join("missing.txt"), other, {}), ConvertStatus::Unreadable);
  EXPECT_FALSE(test::PathExists(dir_.Join("new")));
}

struct Fault {
  platform::Operation operation;
  platform::Status status;
  ConvertStatus expected;
};

class ConvertFaults : public ConvertFileTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(ConvertFaults, OriginalSurvivesInEveryMode) {
  const Fault fault = GetParam();
  for (bool overwrite : {false, true}) {
    const std::string original = W(u8"简体原文");
    const std::string source = Put(W(u8"简体.txt"), original);
    const std::string oldOutput = dir_.Join(W(u8"out\\簡體.txt"));
    test::WriteFileBytes(oldOutput, "old output");
    // Both ways replace an existing file: the old output under its converted name, or
    // the original itself.
    std::string out = overwrite ? source : dir_.Join(W(u8"out\\简体.txt"));
    ConversionOptions options;
    options.overwriteOriginal = overwrite;
    options.convertFileName = !overwrite;
    options.scriptConversion = ScriptConversion::SimplifiedToTraditional;
    options.outputEncoding = EncodingChoice::Utf8;
    platform::InjectFailure(fault.operation, 1, fault.status);
    const ConvertStatus status = Convert(source, out, options);
    platform::ClearInjectedFailures();
    EXPECT_EQ(status, fault.expected) << "overwrite " << overwrite;
    EXPECT_EQ(test::ReadFileBytes(source), original) << "overwrite " << overwrite;
    if (!overwrite) {
      EXPECT_EQ(test::ReadFileBytes(oldOutput), "old output");
    }
    // No temporary file is left behind.
    for (const char* pattern : {"*.tmp", "out\\*.tmp"}) {
      std::vector<platform::DirEntry> entries;
      platform::FindEntries(dir_.Join(pattern), &entries);
      EXPECT_TRUE(entries.empty()) << pattern;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    WriteRenameDelete, ConvertFaults,
    ::testing::Values(Fault{platform::Operation::Write, platform::Status::DiskFull, ConvertStatus::WriteFailed},
                      Fault{platform::Operation::Write, platform::Status::AccessDenied, ConvertStatus::WriteFailed},
                      Fault{platform::Operation::Move, platform::Status::AccessDenied, ConvertStatus::WriteFailed},
                      Fault{platform::Operation::Move, platform::Status::SharingViolation,
                            ConvertStatus::WriteFailed}));

TEST_F(ConvertFileTest, FailedWriteUnderANewNameKeepsTheOriginalAndLeavesNothing) {
  const std::string source = Put(W(u8"简体.txt"), W(u8"简体"));
  std::string out = source;
  const ConversionOptions options = OverwriteAndRename(ScriptConversion::SimplifiedToTraditional);
  platform::InjectFailure(platform::Operation::Write, 1, platform::Status::DiskFull);
  EXPECT_EQ(Convert(source, out, options), ConvertStatus::WriteFailed);
  EXPECT_EQ(test::ReadFileBytes(source), W(u8"简体"));
  EXPECT_FALSE(test::PathExists(dir_.Join(W(u8"簡體.txt"))));
}

TEST_F(ConvertFileTest, FolderThatCannotBeCreatedWritesNothing) {
  const std::string source = Put("a.txt", "abc");
  std::string out = dir_.Join("new\\deeper\\a.txt");
  platform::InjectFailure(platform::Operation::CreateFolder, 2, platform::Status::AccessDenied);
  EXPECT_EQ(Convert(source, out, {}), ConvertStatus::FolderFailed);
  EXPECT_TRUE(test::PathExists(dir_.Join("new")));
  EXPECT_FALSE(test::PathExists(dir_.Join("new\\deeper")));
  EXPECT_EQ(test::ReadFileBytes(source), "abc");
}

TEST_F(ConvertFileTest, FailedDeleteOfTheOldNameIsReportedAndBothFilesStay) {
  const std::string source = Put(W(u8"简体.txt"), W(u8"简体"));
  std::string out = source;
  const ConversionOptions options = OverwriteAndRename(ScriptConversion::SimplifiedToTraditional);
  platform::InjectFailure(platform::Operation::Delete, 1, platform::Status::AccessDenied);
  EXPECT_EQ(Convert(source, out, options), ConvertStatus::SourceNotRemoved);
  EXPECT_EQ(test::ReadFileBytes(source), W(u8"简体"));
  EXPECT_EQ(test::ReadFileBytes(out), W(u8"簡體"));
}

// Content with a zero character is no text: it is never converted, over the original
// or elsewhere (a cut copy of an image named *.txt helps nobody), whichever way the
// conversion would go.
TEST_F(ConvertFileTest, ContentWithAZeroCharacterIsNeverConverted) {
  const std::string gbk = W(u8"中文");
  std::string longGbk;  // past the first streamed piece
  for (int i = 0; i < 300000; ++i) longGbk += gbk;
  const struct {
    std::string bytes;
    EncodingChoice in;
  } cases[] = {
      {std::string("PNG\0\x01\x02 rest of the image", 24), EncodingChoice::Auto},
      {std::string("PNG\0rest", 8), EncodingChoice::Ansi},
      {std::string("\xFF\xFE"
                   "A\0B\0\0\0C\0",
                   10),
       EncodingChoice::Utf16Le},
      {std::string("\xFF\xFE"
                   "A\0\0\0B\0",
                   8),
       EncodingChoice::Auto},
      {longGbk + std::string("\0", 1) + gbk, EncodingChoice::Ansi},
      {std::string("\0", 1) + gbk, EncodingChoice::Ansi},
  };
  for (const auto& c : cases) {
    const std::string source = Put("zero.txt", c.bytes);
    for (int way = 0; way < 4; ++way) {
      ConversionOptions options;
      options.inputEncoding = c.in;
      options.outputEncoding = EncodingChoice::Utf8;
      options.lineEndings = way & 1 ? LineEndingChoice::Unix : LineEndingChoice::Keep;  // the working text's way
      options.overwriteOriginal = (way & 2) != 0;
      std::string out = options.overwriteOriginal ? source : dir_.Join("out\\zero.txt");
      EXPECT_EQ(Convert(source, out, options), ConvertStatus::NotText) << c.bytes.size() << " way " << way;
      EXPECT_TRUE(test::ReadFileBytes(source) == c.bytes) << c.bytes.size() << " way " << way;
      EXPECT_FALSE(test::PathExists(dir_.Join("out\\zero.txt"))) << c.bytes.size() << " way " << way;
    }
  }
}

TEST_F(ConvertFileTest, LossyConversionNeverReplacesTheOriginal) {
  ConversionOptions toUtf8;
  toUtf8.outputEncoding = EncodingChoice::Utf8;
  ConversionOptions toUtf8Ansi = toUtf8;
  toUtf8Ansi.inputEncoding = EncodingChoice::Ansi;
  ConversionOptions big5Page;  // auto output: a Big5 page is written in Big5
  ConversionOptions simplifiedToBig5;
  simplifiedToBig5.scriptConversion = ScriptConversion::SimplifiedToBig5;
  simplifiedToBig5.inputEncoding = EncodingChoice::Ansi;  // one character: too few to read automatically
  ConversionOptions utf16In;
  utf16In.inputEncoding = EncodingChoice::Utf16Le;
  struct Case {
    const char* what;
    std::string bytes;
    ConversionOptions options;
    ConvertStatus overOriginal;
    const char* text;  // the status text over the original
  } cases[] = {
      {"invalid UTF-8 after a mark",
       kBom8 + kUtf8 + "\xFF",
       {},
       ConvertStatus::NotExact,
       "not converted: the file is not valid UTF-8"},
      {"odd last byte of UTF-16",
       std::string("\xFF\xFE"
                   "a\x00"
                   "b",
                   5),
       {},
       ConvertStatus::NotExact,
       "not converted: the file is not valid UTF-16LE"},
      {"chosen UTF-16 on an odd length", "\xFF\xFE\x2D\x4E\x87", utf16In, ConvertStatus::NotExact,
       "not converted: the file is not valid UTF-16LE"},
      {"bytes that are not GBK, to UTF-8", "ab\xFF", toUtf8Ansi, ConvertStatus::NotExact,
       "not converted: the file is not valid GBK"},
      // FF is no byte of Big5, nor of anything else: the declaration stays.
      {"a Big5 page with a byte Big5 lacks", "<meta charset=big5>\xA4\xA4\xFF", big5Page, ConvertStatus::NotExact,
       "not converted: the file is not valid BIG5"},
      // ā (pinyin, GBK A8A1) has no code in code page 950.
      {"a character Big5 lacks", "\xA8\xA1", simplifiedToBig5, ConvertStatus::CannotHold,
       "not converted: BIG5 cannot hold every character"},
  };
  for (const Case& c : cases) {
    // Over the original: refused, the file byte for byte as it was.
    const std::string source = Put("lossy.txt", c.bytes);
    ConversionOptions overwrite = c.options;
    overwrite.overwriteOriginal = true;
    std::string output = source;
    ConvertReport report;
    EXPECT_EQ(ConvertFile(source, output, overwrite, &report), c.overOriginal) << c.what;
    EXPECT_EQ(ConvertStatusText(c.overOriginal, report), c.text) << c.what;
    EXPECT_EQ(test::ReadFileBytes(source), c.bytes) << c.what;
    // Into an output folder: written, and reported as converted with losses.
    std::string elsewhere = dir_.Join("out\\lossy.txt");
    EXPECT_EQ(ConvertFile(source, elsewhere, c.options, &report), ConvertStatus::ConvertedWithLosses) << c.what;
    EXPECT_TRUE(report.losses.Any()) << c.what;
    EXPECT_FALSE(test::ReadFileBytes(elsewhere).empty()) << c.what;
  }
  // A U+FFFD the file really holds is a character like any other.
  const std::string replacement = Put("fffd.txt", kBom8 + "\xEF\xBF\xBD");
  std::string output = replacement;
  ConversionOptions overwrite;
  overwrite.overwriteOriginal = true;
  overwrite.outputEncoding = EncodingChoice::Utf16Le;
  EXPECT_EQ(ConvertFile(replacement, output, overwrite), ConvertStatus::Converted);
  EXPECT_EQ(test::ReadFileBytes(replacement), "\xFF\xFE\xFD\xFF");
}

TEST_F(ConvertFileTest, ReadOnlyOutputIsLeftAlone) {
  const std::string source = Put("s.txt", "new");
  const std::string out = Put("ro.txt", "old");
  std::filesystem::permissions(test::ToFsPath(out),
                               std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  std::string path = out;
  EXPECT_EQ(Convert(source, path, {}), ConvertStatus::WriteFailed);
  EXPECT_EQ(test::ReadFileBytes(out), "old");
}

std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> out;
  for (size_t i = 0; i < text.size();) {
    // Two bytes from a lead byte, four where GB18030's digit second byte follows.
    size_t len = (static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 < text.size()) ? 2 : 1;
    if (len == 2 && text[i + 1] >= '0' && text[i + 1] <= '9' && i + 3 < text.size()) len = 4;
    out.push_back(text.substr(i, len));
    i += len;
  }
  return out;
}

TEST(ScriptRoundTrip, RealSimplifiedTextToTraditionalAndBack) {
  // Real Simplified prose: the GB2312 sample and the lines of the GBK sample that hold
  // no Traditional character (that sample mixes in a Traditional paragraph).
  std::string sample = test::ReadCjkSample("gb2312.txt");
  if (sample.empty()) GTEST_SKIP() << "Python's cjkencodings files not found";
  for (const std::string& line : text::Split(test::ReadCjkSample("gbk.txt"), "\n")) {
    if (ToSimplified(line) == line) sample += line + "\n";
  }
  const std::vector<std::string> start = Characters(sample);
  const std::vector<std::string> back = Characters(ToSimplified(ToTraditional(sample)));
  ASSERT_EQ(back.size(), start.size());
  size_t differing = 0;
  for (size_t i = 0; i < start.size(); ++i) differing += start[i] != back[i];
  // Character-level conversion loses where one Traditional form serves several
  // Simplified ones; measured, not hidden.
  RecordProperty("characters", static_cast<int>(start.size()));
  RecordProperty("differing", static_cast<int>(differing));
  std::printf("S->T->S on the GB2312 and GBK samples: %zu of %zu characters differ\n", differing, start.size());
  EXPECT_LT(differing * 100, start.size());

  // Over every Simplified character that has a Traditional form, the loss is the
  // one-to-many share: 干 (幹, 乾), 发 (發, 髮), ... come back as another character.
  std::string all;
  for (size_t i = 0; i < kTraditionalCharsSize; ++i) {
    if (kTraditionalChars[i].from >= 0x10000) continue;
    all += Utf16ToWorking(std::u16string(1, static_cast<char16_t>(kTraditionalChars[i].from)));
  }
  const std::vector<std::string> allStart = Characters(all);
  const std::vector<std::string> allBack = Characters(ToSimplified(ToTraditional(all)));
  ASSERT_EQ(allBack.size(), allStart.size());
  size_t allDiffering = 0;
  for (size_t i = 0; i < allStart.size(); ++i) allDiffering += allStart[i] != allBack[i];
  std::printf("S->T->S over the %zu mapped Simplified characters: %zu differ\n", kTraditionalCharsSize, allDiffering);
  EXPECT_LT(allDiffering * 10, kTraditionalCharsSize);

  // Through Big5 every character comes back, except those Big5 lacks (one "?" each)
  // and the losses of the script round trip above.
  const std::vector<std::string> viaBig5 = Characters(Big5ToSimplified(SimplifiedToBig5(sample)));
  ASSERT_EQ(viaBig5.size(), start.size());
  size_t lacking = 0;
  size_t lost = 0;
  for (size_t i = 0; i < start.size(); ++i) {
    if (viaBig5[i] == start[i]) continue;
    if (viaBig5[i] == "?") {
      ++lacking;
    } else if (back[i] == viaBig5[i]) {
      continue;
    } else {
      ++lost;
    }
  }
  std::printf("S->Big5->S on the GB2312 and GBK samples: %zu characters lacking in Big5\n", lacking);
  EXPECT_EQ(lost, 0u);
}

}  // namespace
}  // namespace cw

namespace cw {
namespace {

// Without a script or line-ending change a file goes straight from its charset to the
// output charset; the bytes must be exactly those of the way through the working text.
// With a script change (every other round) the working text is streamed to the file:
// again the bytes of one whole encoding.
TEST(ConvertShortcut, SameBytesAsTheWayThroughTheWorkingText) {
  test::TempDir dir;
  std::mt19937 random(8122026);
  const std::string source = dir.Join("in.txt");
  const std::string pieces[] = {"\xE4\xB8\xAD",
                                "\xD6\xD0",
                                "\xA4\xA4",
                                "\xFF\xFE",
                                "\xEF\xBB\xBF",
                                "\xF0\x9F\x98\x80",
                                "<meta charset=big5>",
                                "<meta charset=utf-8>",
                                "a",
                                "\r\n",
                                "\x80",
                                "\xC3",
                                std::string("\0", 1),
                                "\x81\x30\x81\x30",
                                "\xED\xA0\x80",
                                "\x88\x62"};
  for (int round = 0; round < 120; ++round) {
    std::string bytes;
    const int count = 1 + static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i) bytes += pieces[random() % (sizeof(pieces) / sizeof(pieces[0]))];
    test::WriteFileBytes(source, bytes);
    for (int input = 0; input <= 4; ++input) {
      for (int output = 0; output <= 4; ++output) {
        ConversionOptions options;
        options.inputEncoding = static_cast<EncodingChoice>(input);
        options.outputEncoding = static_cast<EncodingChoice>(output);
        options.withoutBom = (round % 3) == 0;
        options.scriptConversion = round % 2 != 0 ? ScriptConversion::SimplifiedToTraditional : ScriptConversion::None;
        std::string expected;
        bool lossy;
        bool binary;
        {
          TranscodeLosses losses;
          const DecodedText decoded = DecodeBytes(bytes, options.inputEncoding);
          const std::string mapped = MapContent(options.scriptConversion, decoded.text, &losses);
          expected = EncodeOutput(mapped, output != 0 ? options.outputEncoding : decoded.detected, options.withoutBom,
                                  &losses);
          // Output 自动 does not pick a Big5 that cannot hold the mapped text: ANSI then.
          const bool big5 = decoded.detected == EncodingChoice::Big5 || decoded.detected == EncodingChoice::Big5Hkscs;
          if (output == 0 && big5 && options.scriptConversion != ScriptConversion::None && losses.unencodable != 0) {
            losses.unencodable = 0;
            expected = mapped;
          }
          lossy = decoded.undecodable != 0 || losses.Any();
          binary = decoded.cutAtZero;
        }
        std::string out = dir.Join("out.txt");
        if (binary) {  // no text: neither way converts it
          ASSERT_EQ(ConvertFile(source, out, options), ConvertStatus::NotText) << "round " << round;
          continue;
        }
        // Both ways see the same losses.
        ASSERT_EQ(ConvertFile(source, out, options),
                  lossy ? ConvertStatus::ConvertedWithLosses : ConvertStatus::Converted)
            << "round " << round << " in " << input << " out " << output;
        ASSERT_EQ(test::ReadFileBytes(out), expected) << "round " << round << " in " << input << " out " << output;
      }
    }
  }
}

}  // namespace
}  // namespace cw

namespace cw {
namespace {

TEST(ConvertStreaming, AWriteThatFailsHalfWayLeavesNoOutputAndTheOriginal) {
  test::TempDir dir;
  // Large enough to be written in several pieces by the direct way.
  std::string text;
  while (text.size() < (9u << 20)) text += "\xE4\xB8\xAD\xE6\x96\x87 line\n";
  const std::string source = dir.Join("big.txt");
  test::WriteFileBytes(source, text);
  ConversionOptions options;
  options.outputEncoding = EncodingChoice::Utf16Le;
  // The mark is the first write, the first piece the second; the second piece fails.
  // Straight from the source, and from the working text after a script change.
  for (int way = 0; way < 4; ++way) {
    const bool overwrite = way % 2 != 0;
    options.overwriteOriginal = overwrite;
    options.scriptConversion = way < 2 ? ScriptConversion::None : ScriptConversion::SimplifiedToTraditional;
    std::string out = overwrite ? source : dir.Join("out\\big.txt");
    platform::InjectFailure(platform::Operation::WriteAt, 3, platform::Status::DiskFull);
    EXPECT_EQ(ConvertFile(source, out, options), ConvertStatus::WriteFailed);
    platform::ClearInjectedFailures();
    EXPECT_EQ(test::ReadFileBytes(source), text);
    if (!overwrite) {
      EXPECT_FALSE(test::PathExists(out));
    }
    std::vector<platform::DirEntry> entries;
    platform::FindEntries(dir.Join("*.tmp"), &entries);
    EXPECT_TRUE(entries.empty());
  }
  // And without the fault the streamed file is complete.
  std::string out = dir.Join("out\\big.txt");
  ASSERT_EQ(ConvertFile(source, out, options), ConvertStatus::Converted);
  EXPECT_EQ(test::ReadFileBytes(out), "\xFF\xFE" + Transcode(text, "UTF-8", "UTF-16LE"));
}

// A large file read as ANSI goes the direct way too: to another charset, to ANSI (its
// bytes as they are) and over itself.
TEST(ConvertStreaming, ALargeAnsiFileIsConvertedStraightFromTheFile) {
  test::TempDir dir;
  std::string utf8;
  while (utf8.size() < (6u << 20)) utf8 += "\xE4\xB8\xAD\xE6\x96\x87 " + std::to_string(utf8.size()) + "\r\n";
  const std::string gbk = Transcode(utf8, "UTF-8", "GB18030");
  const std::string source = dir.Join("big.txt");
  const struct {
    EncodingChoice output;
    bool overwrite;
    std::string expected;
  } cases[] = {
      {EncodingChoice::Utf8, false, "\xEF\xBB\xBF" + utf8},
      {EncodingChoice::Ansi, false, gbk},
      {EncodingChoice::Auto, false, gbk},
      {EncodingChoice::Utf16Le, true, "\xFF\xFE" + Transcode(utf8, "UTF-8", "UTF-16LE")},
  };
  for (const auto& c : cases) {
    test::WriteFileBytes(source, gbk);
    ConversionOptions options;
    options.outputEncoding = c.output;
    options.overwriteOriginal = c.overwrite;
    std::string out = c.overwrite ? source : dir.Join("out.txt");
    ConvertReport report;
    ASSERT_EQ(ConvertFile(source, out, options, nullptr, &report), ConvertStatus::Converted);
    EXPECT_EQ(report.detected, EncodingChoice::Ansi);
    EXPECT_TRUE(test::ReadFileBytes(out) == c.expected) << static_cast<int>(c.output);
  }
}

}  // namespace
}  // namespace cw
