// Folder runs over awkward trees: failures counted, files that vanish or are read-only,
// link loops, names that GBK splits badly or cannot hold, converted names, and more
// files than the progress bar can count.
#include <algorithm>
#include <filesystem>
#include <map>

#include <fstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "batch_fixture.h"

namespace cw::batch::test {
namespace {

namespace fs = std::filesystem;

class HardCasesTest : public FolderTreeTest {
 protected:
  std::string Failures(int converted, int failed) {
    return W(u8"（") + std::to_string(converted) + W(u8" 个已转换，") + std::to_string(failed) + W(u8" 个失败）");
  }
};

TEST_F(HardCasesTest, FailedFilesAreCountedAndTheRunGoesOn) {
  Put("a.txt");
  Put("b.txt");
  Put("c.txt");
  platform::InjectFailure(platform::Operation::Write, 2, platform::Status::DiskFull);
  RunFolder(root);
  int converted = 0;
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) converted += Converted(out + "\\" + name);
  EXPECT_EQ(converted, 2);
  EXPECT_EQ(job.State().failed, 1);
  EXPECT_EQ(captions.back(), Completion(out) + Failures(2, 1));
  EXPECT_EQ(Ctl(Id::StatusLabel).Tag(), out);

  // The next run counts afresh.
  RunFolder(root);
  EXPECT_EQ(captions.back(), Completion(out));
}

TEST_F(HardCasesTest, AFaultOnAnotherJobsThreadFailsOneFileAndIsCounted) {
  for (int i = 1; i <= 24; ++i) Put(std::to_string(i) + ".txt");
  job.SetJobs(4);
  platform::InjectFailure(platform::Operation::Write, 9, platform::Status::DiskFull);
  RunFolder(root);
  int converted = 0;
  for (int i = 1; i <= 24; ++i) converted += Converted(out + "\\" + std::to_string(i) + ".txt");
  EXPECT_EQ(converted, 23);
  EXPECT_EQ(job.State().failed, 1);
  EXPECT_EQ(captions.back(), Completion(out) + Failures(23, 1));
  size_t left = 0;  // the failed file leaves nothing behind, not even a temporary
  for (const auto& entry : std::filesystem::directory_iterator(cw::test::ToFsPath(out)))
    left += entry.is_regular_file();
  EXPECT_EQ(left, 23u);
}

TEST_F(HardCasesTest, AfterFailuresTheResultListTellsEachFileWhatHappened) {
  Put("a.txt");
  Put("b.txt");
  Ctl(Id::InputAuto).SetChecked(true);
  WriteFileBytes(root + "\\u.txt", "\xEF\xBB\xBF" + std::string(u8"中文"));
  platform::InjectFailure(platform::Operation::Write, 2, platform::Status::DiskFull);
  dialogs.askAnswer = kAnswerYes;
  RunFolder(root);
  ASSERT_EQ(dialogs.askCalls.size(), 1u);
  EXPECT_EQ(dialogs.askCalls[0].title, W(u8"有 1 个文件未能转换或有损失。\r\n要查看每个文件的结果吗？"));
  EXPECT_EQ(dialogs.askCalls[0].flags, kResultsQuestionFlags);
  ASSERT_EQ(dialogs.shownResults.size(), 1u);
  EXPECT_FALSE(dialogs.shownDryRun[0]);
  const std::vector<FileResult>& rows = dialogs.shownResults[0];
  ASSERT_EQ(rows.size(), 3u);
  int failedRows = 0;
  for (const FileResult& row : rows) {
    const std::string name = row.source.substr(root.size() + 1);
    EXPECT_EQ(row.output, out + "\\" + name);
    EXPECT_EQ(EncodingWords(row.readAs), name == "u.txt" ? "UTF-8" : "ANSI (GBK)") << name;
    if (row.status == ConvertStatus::Converted) {
      EXPECT_TRUE(PathExists(row.output)) << name;
    } else {
      ++failedRows;
      EXPECT_EQ(row.status, ConvertStatus::WriteFailed);
      EXPECT_EQ(ReasonWords(row), W(u8"磁盘已满")) << "what the disk said, in the user's words";
      EXPECT_FALSE(PathExists(row.output)) << name;
    }
  }
  EXPECT_EQ(failedRows, 1);
  // The text "复制" puts on the clipboard: headings, then a line per file.
  const std::string text = ResultsText(rows, false);
  EXPECT_EQ(text.substr(0, text.find("\r\n")), W(u8"文件名\t所在文件夹\t结果\t读作\t原因\t预览\t输出到"));
  EXPECT_NE(text.find(W(u8"\t无法写入输出文件\t")), std::string::npos);
  EXPECT_NE(text.find("\tUTF-8\t"), std::string::npos);
  EXPECT_NE(text.find("\r\nu.txt\t" + root + "\t"), std::string::npos) << "the name first, then its folder";

  // No failure, no question.
  RunFolder(root);
  EXPECT_EQ(dialogs.askCalls.size(), 1u);
}

TEST_F(HardCasesTest, DryRunWritesNothingAndListsWhatTheRunThenDoes) {
  Put("a.txt");
  WriteFileBytes(root + "\\bin.dat", std::string("MZ\0\0\x90", 5));
  Put("ro.txt");
  fs::permissions(cw::test::ToFsPath(root + "\\ro.txt"),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
  Ctl(Id::Overwrite).SetChecked(true);
  // UTF-8 with a mark and one byte that is no character; a gzip header and nothing more.
  WriteFileBytes(root + "\\bad.txt", "\xEF\xBB\xBF\xE4\xB8\xAD\xFF");
  WriteFileBytes(root + "\\cut.txt", std::string("\x1F\x8B\x08\0\0\0\0\0", 8));
  const std::string before = ReadFileBytes(root + "\\a.txt");
  Ctl(Id::StatusLabel).SetTag("Z:\\earlier(已转换)");
  dialogs.folderAnswer = root;
  job.OnFolderButtonClick(/*dryRun=*/true);
  EXPECT_EQ(ReadFileBytes(root + "\\a.txt"), before);
  EXPECT_EQ(Ctl(Id::StatusLabel).Tag(), "Z:\\earlier(已转换)");
  EXPECT_EQ(captions.back(), W(u8"试运行完成，未写入任何文件：共 5 个文件，其中 4 个无法转换"));
  ASSERT_EQ(dialogs.shownResults.size(), 1u);
  EXPECT_TRUE(dialogs.shownDryRun[0]);
  std::map<std::string, FileResult> planned;
  for (const FileResult& row : dialogs.shownResults[0]) planned[row.source] = row;
  EXPECT_EQ(planned[root + "\\a.txt"].status, ConvertStatus::Converted);
  EXPECT_EQ(planned[root + "\\bin.dat"].status, ConvertStatus::NotText);
  EXPECT_EQ(planned[root + "\\ro.txt"].status, ConvertStatus::WriteFailed);
  EXPECT_EQ(planned[root + "\\bad.txt"].status, ConvertStatus::NotExact);
  EXPECT_EQ(planned[root + "\\cut.txt"].status, ConvertStatus::GzipTruncated);
  EXPECT_TRUE(dialogs.askCalls.empty());

  // The real run then does what the list said.
  RunFolder(root);
  ASSERT_EQ(job.State().results.size(), 5u);
  for (const FileResult& row : job.State().results) {
    EXPECT_EQ(row.status, planned[row.source].status) << row.source;
    EXPECT_EQ(row.output, planned[row.source].output) << row.source;
    EXPECT_EQ(row.readAs, planned[row.source].readAs) << row.source;
  }
  EXPECT_TRUE(Converted(root + "\\a.txt"));
}

TEST_F(HardCasesTest, FileThatVanishesBeforeItsTurnIsAFailureAndNothingElse) {
  Put("a.txt");
  Put("b.txt");
  onPump = [&] {
    const std::string caption = Caption(Id::StatusLabel);
    if (caption == "(2:1) a") fs::remove(cw::test::ToFsPath(root + "\\b.txt"));
    if (caption == "(2:1) b") fs::remove(cw::test::ToFsPath(root + "\\a.txt"));
  };
  RunFolder(root);
  EXPECT_EQ(FileCaptions().size(), 2u);
  EXPECT_EQ(job.State().converted, 1);
  EXPECT_EQ(job.State().failed, 1);
  EXPECT_NE(Converted(out + "\\a.txt"), Converted(out + "\\b.txt"));
  EXPECT_EQ(captions.back(), Completion(out) + Failures(1, 1));
}

TEST_F(HardCasesTest, ReadOnlyFileIsReadAndNeverLostWhenOverwritten) {
  Put("ro.txt");
  const fs::path file = cw::test::ToFsPath(root + "\\ro.txt");
  fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  RunFolder(root);
  EXPECT_TRUE(Converted(out + "\\ro.txt"));

  // Over itself, the system may refuse the write; either way the count tells the truth.
  Ctl(Id::Overwrite).SetChecked(true);
  RunFolder(root);
  if (job.State().failed == 0) {
    EXPECT_TRUE(Converted(root + "\\ro.txt"));
    EXPECT_EQ(captions.back(), Completion(root));
  } else {
    EXPECT_EQ(ReadFileBytes(root + "\\ro.txt"), W(u8"中文"));
    EXPECT_EQ(captions.back(), Completion(root) + Failures(0, 1));
  }
}

TEST_F(HardCasesTest, LinkBackIntoTheTreeIsNotEntered) {
  Put("a.txt");
  Put("sub\\b.txt");
  std::error_code ec;
  fs::create_directory_symlink(cw::test::ToFsPath(root), cw::test::ToFsPath(root + "\\sub\\back"), ec);
  if (ec) GTEST_SKIP() << "no folder links here: " << ec.message();
  ASSERT_TRUE(platform::GetAttributes(root + "\\sub\\back") & platform::kAttrReparsePoint);
  Ctl(Id::SubFolders).SetChecked(true);
  RunFolder(root);
  EXPECT_EQ(FileCaptions().size(), 2u);
  EXPECT_TRUE(Converted(out + "\\sub\\b.txt"));
  EXPECT_FALSE(PathExists(out + "\\sub\\back"));
}

TEST_F(HardCasesTest, NamesWithBackslashSecondBytesAndOutsideGbkAreConverted) {
  // 淺 (9C 5C) ends the folder's name with a byte that looks like a backslash.
  const std::string folder = W(u8"淺");
  WriteFileBytes(root + "\\" + folder + "\\" + W(u8"嘰.txt"), W(u8"中文"));
  WriteFileBytes(root + "\\" + folder + "\\" + W(u8"한글.txt"), W(u8"中文"));
  Ctl(Id::SubFolders).SetChecked(true);
  RunFolder(root);
  EXPECT_TRUE(Converted(out + "\\" + folder + "\\" + W(u8"嘰.txt")));
  EXPECT_TRUE(Converted(out + "\\" + folder + "\\" + W(u8"한글.txt")));
  EXPECT_EQ(job.State().failed, 0);
  const std::vector<std::string> files = FileCaptions();
  EXPECT_EQ(
      std::count(files.begin(), files.end(), W(u8"(2:1) 嘰")) + std::count(files.begin(), files.end(), W(u8"(2:2) 嘰")),
      1);
}

TEST_F(HardCasesTest, FileNamesAreConvertedWithTheContent) {
  Put(W(u8"简体.txt"), u8"简体中文");
  Ctl(Id::SimplifiedToTraditional).SetChecked(true);
  Ctl(Id::ConvertFileName).SetChecked(true);
  RunFolder(root);
  EXPECT_TRUE(Converted(out + "\\" + W(u8"簡體.txt"), u8"簡體中文"));
  EXPECT_FALSE(PathExists(out + "\\" + W(u8"简体.txt")));
  EXPECT_EQ(ReadFileBytes(root + "\\" + W(u8"简体.txt")), W(u8"简体中文"));

  Ctl(Id::Overwrite).SetChecked(true);
  RunFolder(root);
  EXPECT_TRUE(Converted(root + "\\" + W(u8"簡體.txt"), u8"簡體中文"));
  EXPECT_FALSE(PathExists(root + "\\" + W(u8"简体.txt")));
  EXPECT_EQ(job.State().failed, 0);
}

TEST_F(HardCasesTest, FileMatchedByTwoFilterPiecesIsConvertedOnce) {
  Put("a.txt");
  Ctl(Id::FilterBox).SetContent("*.txt|*.*");
  Ctl(Id::Overwrite).SetChecked(true);
  RunFolder(root);
  // A second conversion would have read the UTF-8 result as GBK again.
  EXPECT_TRUE(Converted(root + "\\a.txt"));
  EXPECT_EQ(FileCaptions(), (std::vector<std::string>{"(1:1) a"}));
}

TEST_F(HardCasesTest, AFileDroppedWithItsOwnFolderIsConvertedOnce) {
  Put("a.txt");
  Put("sub\\b.txt");
  Ctl(Id::Overwrite).SetChecked(true);
  Ctl(Id::SubFolders).SetChecked(true);
  // The file, again under another spelling, its folder, and the folder's own parent.
  Drop({root + "\\a.txt", root + "\\.\\a.txt", root, root + "\\sub"});
  EXPECT_TRUE(Converted(root + "\\a.txt"));
  EXPECT_TRUE(Converted(root + "\\sub\\b.txt"));
  EXPECT_EQ(job.State().converted, 2);
  EXPECT_EQ(job.State().failed, 0);
}

#ifndef _WIN32
TEST_F(HardCasesTest, PipesAndNamesNoPathCanExpressAreCountedAndLeftAlone) {
  Put("a.txt");
  Put("sub\\a.txt", u8"子");
  const fs::path native = cw::test::ToFsPath(root);
  ASSERT_EQ(::mkfifo((native / "pipe.txt").c_str(), 0644), 0);
  // "sub\a.txt" as one POSIX name, beside the folder sub; and two names that are not UTF-8.
  for (const char* name : {"sub\\a.txt", "\xFF.txt", "\xFE.txt"}) {
    std::ofstream(native / name, std::ios::binary) << "\xD6\xD0";
  }
  Put(W(u8"\uFFFD.txt"));
  // A temporary file of ours left by a killed run is neither listed nor converted.
  WriteFileBytes(root + "\\~cw0000abcd.tmp", "partial");
  RunFolder(root);
  EXPECT_EQ(job.State().converted, 2);  // a.txt and the real U+FFFD name
  EXPECT_EQ(job.State().failed, 4);
  std::vector<ConvertStatus> reasons;
  for (const FailedFile& file : job.State().failures) reasons.push_back(file.status);
  EXPECT_EQ(std::count(reasons.begin(), reasons.end(), ConvertStatus::NotRegularFile), 1);
  EXPECT_EQ(std::count(reasons.begin(), reasons.end(), ConvertStatus::InvalidName), 3);
  EXPECT_TRUE(Converted(out + "\\a.txt"));
  EXPECT_FALSE(PathExists(out + "\\sub\\a.txt"));
  EXPECT_FALSE(PathExists(out + "\\~cw0000abcd.tmp"));
  EXPECT_EQ(ReadFileBytes(root + "\\sub\\a.txt"), W(u8"子"));
}
#endif

TEST_F(HardCasesTest, FortyThousandFilesKeepTheBarFullWhileTheCaptionCounts) {
  // Dropped from forty folders of a thousand (one folder of 40000 makes every file
  // creation under Wine search the whole folder); each goes beside its own folder.
  constexpr int kFiles = 40000;
  constexpr int kPerFolder = 1000;
  std::vector<std::string> files;
  for (int i = 0; i < kFiles; ++i) {
    files.push_back(root + "\\" + std::to_string(i / kPerFolder) + "\\" + std::to_string(i) + ".txt");
    WriteFileBytes(files.back(), "a");
  }
  Drop(files);
  ASSERT_EQ(dialogs.askCalls.size(), 1u);
  EXPECT_EQ(dialogs.askCalls[0].title, W(u8"确定要转换被拖放的 40000 个文件的编码吗？"));
  const std::vector<std::string> shown = FileCaptions();
  ASSERT_EQ(shown.size(), static_cast<size_t>(kFiles));
  ASSERT_EQ(bars.size(), shown.size() + 1);  // and the completion
  int wrongBar = 0;
  for (int i = 1; i <= kFiles; ++i) {
    if (bars[static_cast<size_t>(i - 1)] != std::make_pair(std::min(i, 32767), 32767)) ++wrongBar;
  }
  EXPECT_EQ(wrongBar, 0);
  EXPECT_EQ(Ctl(Id::ProgressBar).ProgressPosition(), 32767);
  EXPECT_EQ(shown[32767], "(40000:32768) 32767");
  EXPECT_EQ(shown.back(), "(40000:40000) 39999");
  EXPECT_EQ(job.State().converted, kFiles);
  EXPECT_EQ(ReadFileBytes(root + W(u8"\\39(已转换)\\39999.txt")),
            "\xEF\xBB\xBF"
            "a");
  EXPECT_EQ(Ctl(Id::StatusLabel).Tag(), root + W(u8"\\0(已转换)"));
}

}  // namespace
}  // namespace cw::batch::test
