// chengwen-cli from the outside: commands, output lines and exit statuses, on real files.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/temp_dir.h"

namespace cw {
namespace {

struct CliRun {
  int status = -1;
  std::string out;
};

// Runs chengwen-cli with a shell command line (arguments already quoted) and the given
// standard input file, capturing standard output.
CliRun Cli(const std::string& arguments, const std::string& stdinPath = "/dev/null") {
  const std::string command = std::string("'") + CW_CLI_PATH + "' " + arguments + " <'" + stdinPath + "' 2>/dev/null";
  CliRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) run.out.append(buffer, n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

class CliTest : public ::testing::Test {
 protected:
  // The folder as the shell names it.
  std::string Native(const std::string& name) const { return test::ToFsPath(dir_.Join(name)).string(); }
  std::string Put(const std::string& name, const std::string& bytes) {
    test::WriteFileBytes(dir_.Join(name), bytes);
    return Native(name);
  }
  test::TempDir dir_;
};

TEST_F(CliTest, DetectPrintsTheEncodingAndFailsOnUnreadableFiles) {
  const std::string utf8 = Put("a.txt", "\xE4\xB8\xAD\xE6\x96\x87");
  const std::string page = Put("b.htm", "<meta charset=big5>\xA4\xA4");
  CliRun run = Cli("detect '" + utf8 + "' '" + page + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Utf8\t" + utf8 + "\nBig5\t" + page + "\n");
  run = Cli("detect '" + utf8 + "' '" + Native("missing.txt") + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Utf8\t" + utf8 + "\n");
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
  CliRun run = Cli("convert --script s2t --rename --overwrite '" + source + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, Native(test::W(u8"簡體.txt")) + "\n");
  EXPECT_FALSE(test::PathExists(dir_.Join(test::W(u8"简体.txt"))));
  EXPECT_EQ(test::ReadFileBytes(dir_.Join(test::W(u8"簡體.txt"))), test::W(u8"簡體"));
}

TEST_F(CliTest, BatchDryRunListsWhatTheRunWouldDoAndWritesNothing) {
  Put("docs/a.txt", "\xD6\xD0\xCE\xC4");
  Put("docs/b.txt", "\xEF\xBB\xBF\xE4\xB8\xAD");
  CliRun run = Cli("batch --out utf8 --dry-run '" + Native("docs") + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(test::PathExists(dir_.Join(test::W(u8"docs(已转换)"))));
  EXPECT_NE(run.out.find(u8"文件\t结果\t读作\t原因\t输出\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(u8"a.txt\t将转换\tANSI (GBK)\t\t"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(u8"b.txt\t将转换\tUTF-8\t\t"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(u8"试运行完成"), std::string::npos);
  // The real run prints no list without failures, unless asked to.
  run = Cli("batch --out utf8 '" + Native("docs") + "'");
  EXPECT_EQ(run.out.find(u8"文件\t结果"), std::string::npos);
  run = Cli("batch --out utf8 --list '" + Native("docs") + "'");
  EXPECT_NE(run.out.find(u8"a.txt\t已转换\tANSI (GBK)\t\t"), std::string::npos) << run.out;
  EXPECT_TRUE(test::PathExists(dir_.Join(test::W(u8"docs(已转换)\\a.txt"))));
}

TEST_F(CliTest, TranscodeFiltersStandardInput) {
  const std::string input = Put("stdin.txt", "\xE4\xB8\xAD");
  CliRun run = Cli("transcode UTF-8 GB18030", input);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "\xD6\xD0");
  EXPECT_EQ(Cli("transcode UTF-8 KOI8-R", input).status, 1);
  EXPECT_EQ(Cli("transcode UTF-8").status, 2);
}

TEST_F(CliTest, UnknownCommandIsAUsageError) {
  EXPECT_EQ(Cli("frobnicate").status, 2);
  EXPECT_EQ(Cli("help").status, 0);
}

}  // namespace
}  // namespace cw
