// chengwen-cli from the outside: commands, output lines and exit statuses, on real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_run.h"
#include "cli/cli_util.h"
#include "encoding/charset.h"
#include "support/deep_chain.h"
#include "support/temp_dir.h"

namespace cw {
namespace {

using test::CliRun;

// Arguments as a POSIX shell takes them (single quotes around paths), standard output kept.
CliRun Cli(const std::string& arguments, const std::string& stdinPath = "") {
  return test::RunCli(arguments, stdinPath, "");
}

class CliTest : public ::testing::Test {
 protected:
  // The path as the system's users write it and chengwen-cli prints it.
  std::string Native(const std::string& name) const { return test::Shown(dir_.Join(name)); }
  std::string Put(const std::string& name, const std::string& bytes) {
    test::WriteFileBytes(dir_.Join(name), bytes);
    return Native(name);
  }
  test::TempDir dir_;
};

// Every file under the folder (names relative to it, in UTF-8 with "/" between them,
// folders ending in "/") with its bytes.
std::map<std::string, std::string> Tree(const std::string& folder) {
  std::map<std::string, std::string> tree;
  const std::filesystem::path root = test::ToFsPath(folder);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    std::string name = std::filesystem::relative(entry.path(), root).u8string();
    for (char& c : name) {
      if (c == '\\') c = '/';
    }
    if (entry.is_directory()) {
      tree[name + "/"] = "";
      continue;
    }
    std::ifstream in(entry.path(), std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    // What an overwrite run keeps for its undo is named after the run: counted by folder
    // and content instead (a journal by folder alone: it holds file identities).
    const std::string file = entry.path().filename().u8string();
    const std::string folderOf = name.substr(0, name.size() - file.size());
    if (file.rfind("~cwundo-", 0) == 0) {
      tree[folderOf + "(undo journal)"] = "";
    } else if (file.rfind("~cw", 0) == 0 && file.size() > 9 && file.substr(file.size() - 9) == ".tmp.undo") {
      tree[folderOf + "(kept) " + bytes] += "+";
    } else {
      tree[name] = bytes;
    }
  }
  return tree;
}

TEST_F(CliTest, DetectPrintsTheEncodingAndFailsOnUnreadableFiles) {
  const std::string utf8 = Put("a.txt", "\xE4\xB8\xAD\xE6\x96\x87");
  const std::string page = Put("b.htm", "<meta charset=big5>\xA4\xA4");
  CliRun run = Cli("detect '" + utf8 + "' '" + page + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Utf8\t" + utf8 + "\tUTF-8 scan\nBig5\t" + page + "\tdeclared in a meta tag\n");
  run = Cli("detect '" + utf8 + "' '" + Native("missing.txt") + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Utf8\t" + utf8 + "\tUTF-8 scan\n");
  // Statistics name every reading that fits, and the margin of a winner other than GBK.
  const std::string bare = Put("c.txt", "\xA4\xA4\xA4\xE5");  // 中文 in Big5
  EXPECT_EQ(Cli("detect '" + bare + "'").out,
            "Big5\t" + bare + "\tstatistics: GBK -1.00, BIG5 1.00, UTF-16LE -1.00, UTF-16BE -1.00 (margin 2.00)\n");
}

TEST_F(CliTest, ConvertWritesAndPrintsTheOutputPath) {
  const std::string source = Put("in.txt", "\xD6\xD0\xCE\xC4\n");
  const std::string output = Native("out/sub/in.txt");
  CliRun run = Cli("convert --out utf16be --eol win '" + source + "' '" + output + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, output + "\n");
  EXPECT_EQ(test::ReadFileBytes(dir_.Join("out\\sub\\in.txt")), std::string("\xFE\xFF\x4E\x2D\x65\x87\0\r\0\n", 10));
  // Unreadable source: a message, a non-zero status, nothing written.
  run = Cli("convert '" + Native("missing.txt") + "' '" + Native("never.txt") + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(test::PathExists(dir_.Join("never.txt")));
  // Wrong usage.
  EXPECT_EQ(Cli("convert --eol sideways '" + source + "' '" + output + "'").status, 2);
  EXPECT_EQ(Cli("convert '" + source + "'").status, 2);
}

TEST_F(CliTest, ConvertWithRenameOverwritesUnderTheNewName) {
  const std::string source = Put(test::W(u8"简体.txt"), test::W(u8"简体"));
  CliRun run = Cli("convert --in ansi --script s2t --rename --overwrite '" + source + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, Native(test::W(u8"簡體.txt")) + "\n");
  EXPECT_FALSE(test::PathExists(dir_.Join(test::W(u8"简体.txt"))));
  EXPECT_EQ(test::ReadFileBytes(dir_.Join(test::W(u8"簡體.txt"))), test::W(u8"簡體"));
}

TEST_F(CliTest, BatchNamesEachFailedFileAndTheCounts) {
  // The folder's last character, 淺, ends in the byte 5C.
  const std::string folder = test::W(u8"淺");
  Put(folder + "\\a.txt", "\xD6\xD0");
  Put(folder + "\\b.txt", std::string("\x1F\x8B\x08\0\0\0\0\0", 8));  // a gzip header and nothing more
  CliRun run = Cli("batch --out utf8 --overwrite '" + Native(folder) + "/'");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("failed: " + Native(folder + "\\b.txt") + ": gzip data truncated"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("converted: 1 (with losses: 0), unchanged: 0, failed: 1\n"), std::string::npos) << run.out;
  // The same file as input and output is the original: a binary is never cut.
  const std::string png = Put("img.png", std::string("\x89PNG\0\0\0\rIHDR", 12));
  EXPECT_EQ(Cli("convert --out utf8 '" + png + "' '" + png + "'").status, 1);
  EXPECT_EQ(test::ReadFileBytes(dir_.Join("img.png")), std::string("\x89PNG\0\0\0\rIHDR", 12));
}

// Chinese names on the command line, relative to the current folder or whole, with "/"
// between the names on every system: the files written, byte for byte, under their names.
TEST_F(CliTest, ChineseNamesRelativeOrWholeWithSlashes) {
  Put(test::W(u8"中文资料/简体.txt"), "\xBC\xF2\xCC\xE5\xD6\xD0\xCE\xC4\r\n");  // 简体中文 in GBK
  Put(test::W(u8"中文资料/子目录/說明.txt"), Transcode(u8"\uFEFF繁體說明", Charset::Utf8, Charset::Utf16Le));
  CliRun run =
      test::RunCli(u8"batch --out utf8 --no-bom --script s2t --rename --recursive '中文资料/'", "", dir_.Path());
  EXPECT_EQ(run.status, 0) << run.out;
  const std::string output = test::W(u8"中文资料(已转换)");
  // The window's line, with the folder as the engine names it.
  EXPECT_NE(run.out.find(u8"点击可打开目录：" + ToUtf8(dir_.Join(output)) + "\n"), std::string::npos) << run.out;
  const std::map<std::string, std::string> written = {
      {u8"子目录/", ""},
      {u8"子目录/說明.txt", u8"繁體說明"},
      {u8"簡體.txt", u8"簡體中文\r\n"},
  };
  EXPECT_EQ(Tree(dir_.Join(output)), written);
  // A whole path with "/" in, a relative one out: the output printed as the system writes it.
  std::string source = Native(test::W(u8"中文资料/简体.txt"));
  for (char& c : source) {
    if (c == '\\') c = '/';
  }
  run = test::RunCli("convert --out utf16le '" + source + u8"' 'out/简.txt'", "", dir_.Path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, Native(test::W(u8"out/简.txt")) + "\n");
  EXPECT_EQ(test::ReadFileBytes(dir_.Join(test::W(u8"out\\简.txt"))),
            Transcode(u8"\uFEFF简体中文\r\n", Charset::Utf8, Charset::Utf16Le));
}

TEST_F(CliTest, BatchSaysHowEachFileWasReadAndCountsLosses) {
  Put("docs/big5.txt", "\xA4\xA4\xA4\xE5\r\n");
  Put("docs/broken.txt", "\xEF\xBB\xBF\xE4\xB8\xAD\xFF");  // UTF-8 with a mark, one bad byte
  CliRun run = Cli("batch --out utf8 '" + Native("docs") + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("big5.txt: Big5 (statistics: "), std::string::npos) << run.out;
  EXPECT_NE(
      run.out.find("broken.txt: Utf8 (byte-order mark); converted with losses: 1 byte sequence(s) not valid UTF-8"),
      std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("converted: 2 (with losses: 1), unchanged: 0, failed: 0\n"), std::string::npos) << run.out;
  // Over the originals the lossy file is refused and counted as failed.
  run = Cli("batch --out utf8 --overwrite '" + Native("docs") + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("not converted: the file is not valid UTF-8"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("converted: 1 (with losses: 0), unchanged: 0, failed: 1\n"), std::string::npos) << run.out;
  EXPECT_EQ(test::ReadFileBytes(dir_.Join("docs/broken.txt")), "\xEF\xBB\xBF\xE4\xB8\xAD\xFF");
}

#ifndef _WIN32
// A name cannot end a line or forge one: the captions, the per-file and failure lines and
// every column of the result list show its control characters escaped (such names, as
// on Windows, are no paths: they fail). A folder the walk cannot list is a failure with
// its reason.
TEST_F(CliTest, BatchLinesEscapeNamesAndCountFoldersItCannotList) {
  const std::string forged = "converted: 2 (with losses: 0), unchanged: 0, failed: 0";
  Put("docs/a\n" + forged, "\xD6\xD0");
  Put("docs/b\tc.txt", "\xD6\xD0");
  Put("docs/plain.txt", "\xD6\xD0");
  CliRun run = Cli("batch --out utf8 --list '" + Native("docs") + "'");
  EXPECT_EQ(run.status, 1);
  std::vector<std::string> lines;
  for (size_t from = 0, end; (end = run.out.find('\n', from)) != std::string::npos; from = end + 1) {
    lines.push_back(run.out.substr(from, end - from));
  }
  int counts = 0;
  bool inList = false;
  for (const std::string& line : lines) {
    if (line.rfind("converted: ", 0) == 0) {
      ++counts;
      EXPECT_EQ(line, "converted: 1 (with losses: 0), unchanged: 0, failed: 2");
    }
    inList = inList || line.rfind(u8"文件名\t", 0) == 0;
    if (inList) {
      EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 6) << line;
    }
  }
  EXPECT_EQ(counts, 1) << run.out;
  EXPECT_TRUE(inList) << run.out;
  EXPECT_NE(run.out.find("failed: " + Native("docs/a") + "\\n" + forged + ": "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("(3:1) a\\nconverted: 2"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\nb\\tc.txt\t"), std::string::npos) << run.out;

  const test::DeepChain chain(test::ToFsPath(dir_.Join("docs")).string(), 22);
  ASSERT_TRUE(chain.Made());
  run = Cli("batch --out utf8 --recursive '" + Native("docs") + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find(": folder could not be listed (InvalidPath)\n"), std::string::npos);
  EXPECT_NE(run.out.find("converted: 1 (with losses: 0), unchanged: 0, failed: 3\n"), std::string::npos);
}
#endif

#ifndef _WIN32
// Two runs over one folder at once, each writing every file over itself in its own
// encoding: each run counts every file once, however the other replaces the files and
// whatever identities the system gives its new files. (UTF-8 outputs with their mark
// are odd in size, UTF-16 ones even: no file of one run can pass for an output of the
// other by its size and time.)
TEST_F(CliTest, TwoOverwriteRunsAtOnceEachCountEveryFileOnce) {
  constexpr int kFiles = 300;
  const std::regex counts("converted: (\\d+) \\(with losses: \\d+\\), unchanged: (\\d+), failed: (\\d+)\n");
  for (int round = 0; round < 8; ++round) {
    std::filesystem::remove_all(test::ToFsPath(dir_.Join("both")));
    for (int i = 0; i < kFiles; ++i) {
      std::string text;
      const std::string number = std::to_string(1000 + i);
      for (int line = 0; line <= i % 3; ++line) text += test::W(u8"中文测试内容") + number + "\r\n";
      Put("both/" + number + ".txt", text);
    }
    CliRun runs[2];
    std::thread other([&] { runs[1] = Cli("batch --jobs 1 --out utf16le --overwrite '" + Native("both") + "'"); });
    runs[0] = Cli("batch --jobs 1 --out utf8 --overwrite '" + Native("both") + "'");
    other.join();
    for (const CliRun& run : runs) {
      std::smatch found;
      ASSERT_TRUE(std::regex_search(run.out, found, counts)) << run.out;
      EXPECT_EQ(std::stoi(found[1]) + std::stoi(found[2]) + std::stoi(found[3]), kFiles)
          << found[0] << " round " << round;
    }
  }
}
#endif

TEST_F(CliTest, BatchDryRunListsWhatTheRunWouldDoAndWritesNothing) {
  Put("docs/a.txt", "\xD6\xD0\xCE\xC4");
  Put("docs/b.txt", "\xEF\xBB\xBF\xE4\xB8\xAD");
  CliRun run = Cli("batch --out utf8 --dry-run '" + Native("docs") + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(test::PathExists(dir_.Join(test::W(u8"docs(已转换)"))));
  EXPECT_NE(run.out.find(u8"文件名\t所在文件夹\t结果\t读作\t原因\t预览\t输出到\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(u8"\t将转换\tANSI (GBK)\t统计：GBK"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(u8"\t将转换\tUTF-8\t字节顺序标记\t"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(u8"试运行完成"), std::string::npos);
  // The real run prints no list without failures, unless asked to.
  run = Cli("batch --out utf8 '" + Native("docs") + "'");
  EXPECT_EQ(run.out.find(u8"文件名\t所在文件夹"), std::string::npos);
  run = Cli("batch --out utf8 --list '" + Native("docs") + "'");
  EXPECT_NE(run.out.find(u8"\t已转换\tANSI (GBK)\t统计：GBK"), std::string::npos) << run.out;
  EXPECT_TRUE(test::PathExists(dir_.Join(test::W(u8"docs(已转换)\\a.txt"))));
}

TEST_F(CliTest, BatchWithSeveralJobsDoesWhatOneJobDoes) {
  // Names that one conversion maps to one name, second names of one file, failures and
  // losses, among enough plain files that the jobs overlap.
  const auto build = [this] {
    for (int i = 0; i < 60; ++i) {
      Put("run/docs/" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".txt",
          test::W(u8"乾隆年間，幹部們在") + std::to_string(i));
    }
    Put(test::W(u8"run/docs/乾.txt"), test::W(u8"乾坤"));
    Put(test::W(u8"run/docs/幹.txt"), test::W(u8"幹活"));
    Put(test::W(u8"run/docs/干.txt"), test::W(u8"干戈"));
    Put("run/docs/1/broken.txt", "\xEF\xBB\xBF\xE4\xB8\xAD\xFF");
    Put("run/docs/2/cut.gz", std::string("\x1F\x8B\x08\0\0\0\0\0", 8));
    const std::filesystem::path docs = test::ToFsPath(dir_.Join("run\\docs"));
    std::filesystem::create_hard_link(docs / "0" / "f0.txt", docs / "same-as-f0.txt");
    std::filesystem::create_hard_link(docs / "1" / "f1.txt", docs / "1" / "also-f1.txt");
  };
  for (const char* options : {"--out utf8 --script t2s --rename --recursive --list",
                              "--out utf8 --script t2s --rename --overwrite --recursive",
                              "--out big5 --script t2s --rename --recursive --dry-run"}) {
    build();
    const CliRun one = Cli("batch --jobs 1 " + std::string(options) + " '" + Native("run/docs") + "'");
    const std::map<std::string, std::string> oneTree = Tree(dir_.Join("run"));
    ASSERT_GT(oneTree.size(), 60u);
    for (int repeat = 0; repeat < 3; ++repeat) {
      std::filesystem::remove_all(test::ToFsPath(dir_.Join("run")));
      build();
      const CliRun four = Cli("batch --jobs 4 " + std::string(options) + " '" + Native("run/docs") + "'");
      EXPECT_EQ(four.status, one.status) << options;
      EXPECT_EQ(four.out, one.out) << options;
      EXPECT_EQ(Tree(dir_.Join("run")), oneTree) << options;
    }
    std::filesystem::remove_all(test::ToFsPath(dir_.Join("run")));
  }
  EXPECT_EQ(Cli("batch --jobs 0 '" + Native(".") + "'").status, 2);
  EXPECT_EQ(Cli("batch --jobs many '" + Native(".") + "'").status, 2);
}

TEST_F(CliTest, TranscodeFiltersStandardInput) {
  const std::string input = Put("stdin.txt", "\xE4\xB8\xAD");
  CliRun run = Cli("transcode UTF-8 GB18030", input);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "\xD6\xD0");
  EXPECT_EQ(Cli("transcode UTF-8 KOI8-R", input).status, 1);
  EXPECT_EQ(Cli("transcode UTF-8").status, 2);
  // File to file, in pieces far smaller than this input: the same bytes as one conversion.
  std::string big;
  for (int i = 0; big.size() < (3u << 20); ++i)
    big += "\xE4\xB8\xAD\xE6\x96\x87 " + std::to_string(i) + "\xF0\x9F\x98\x80";
  const std::string bigPath = Put("big.txt", big);
  run = Cli("transcode UTF-8 UTF-16BE '" + bigPath + "' '" + Native("big.out") + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(test::ReadFileBytes(dir_.Join("big.out")), Transcode(big, Charset::Utf8, Charset::Utf16Be));
  EXPECT_EQ(Cli("transcode UTF-8 GB18030 '" + Native("missing.txt") + "'").status, 1);
  // A zero character ends the text.
  run = Cli("transcode UTF-8 GB18030", Put("zero.txt", std::string("\xE4\xB8\xAD\0\xE4\xB8\xAD", 7)));
  EXPECT_EQ(run.out, "\xD6\xD0");
}

// A name is printed inside one line: nothing in it can end the line or pass for an
// escape, and what is printable stays as it is.
TEST(EscapeForLine, ControlCharactersAndBrokenBytesCannotForgeALine) {
  const struct {
    std::string name;
    std::string shown;
  } cases[] = {
      {"plain name.txt", "plain name.txt"},
      {"a\nconverted: 2 (with losses: 0), failed: 0", "a\\nconverted: 2 (with losses: 0), failed: 0"},
      {"tab\there\r", "tab\\there\\r"},
      {std::string("nul\0bell\a\x1B[2J\x7F", 14), "nul\\x00bell\\x07\\x1B[2J\\x7F"},
      {"back\\slash\\n", "back\\\\slash\\\\n"},                        // a real backslash and n stay two characters
      {"\xC2\x85next line\xC2\x9B", "\\xC2\\x85next line\\xC2\\x9B"},  // C1 controls
      {"\xE2\x80\xA8\xE2\x80\xA9", "\\xE2\\x80\\xA8\\xE2\\x80\\xA9"},  // line and paragraph separators
      {"\xFF\xC3(\xED\xA0\x80", "\\xFF\\xC3(\\xED\\xA0\\x80"},         // not UTF-8, a surrogate
      {"中文 名字 \xF0\x9F\x98\x80.txt", "中文 名字 \xF0\x9F\x98\x80.txt"},
  };
  for (const auto& c : cases) {
    const std::string shown = cli::EscapeForLine(c.name);
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(shown.find_first_of("\r\n"), std::string::npos);
  }
  // A path is escaped only where it needs it; then its backslashes are doubled too.
#ifdef _WIN32
  EXPECT_EQ(cli::PathForLine(FromUtf8("Z:\\tmp\\a\nb")), "Z:\\\\tmp\\\\a\\nb");
  EXPECT_EQ(cli::PathForLine(FromUtf8("Z:\\tmp\\ab")), "Z:\\tmp\\ab");
#else
  EXPECT_EQ(cli::PathForLine(FromUtf8("Z:\\tmp\\a\nb")), "/tmp/a\\nb");
  EXPECT_EQ(cli::PathForLine(FromUtf8("Z:\\tmp\\ab")), "/tmp/ab");
#endif
}

TEST_F(CliTest, UnknownCommandIsAUsageError) {
  EXPECT_EQ(Cli("frobnicate").status, 2);
  EXPECT_EQ(Cli("help").status, 0);
}

}  // namespace
}  // namespace cw
