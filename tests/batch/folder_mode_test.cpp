// Folder mode on real folder trees: placement, overwrite, the walk, captions and
// progress, the stop between files, and what a cancelled picker leaves alone.
#include <algorithm>
#include <filesystem>

#include "batch_fixture.h"

namespace cw::batch::test {
namespace {

using FolderModeTest = FolderTreeTest;

TEST_F(FolderModeTest, TreeIsConvertedBesideTheFolderWithItsLayoutAndTheRunIsShown) {
  Put("a.txt");
  Put("sub\\b.htm", u8"网页");
  Put("sub\\deep\\c.txt", u8"深");
  Ctl(Id::SubFolders).SetChecked(true);
  Ctl(Id::FolderButton).SetTag("Z:\\earlier");
  Ctl(Id::FilterBox).SetContent("*.txt|*.htm");
  std::vector<std::string> buttonStates;
  onPump = [&] { buttonStates.push_back(Caption(Id::FolderButton) + (Ctl(Id::ListButton).Enabled() ? "+" : "-")); };
  RunFolder(root);

  ASSERT_EQ(dialogs.browseCalls.size(), 1u);
  EXPECT_EQ(dialogs.browseCalls[0].initialFolder, "Z:\\earlier");
  EXPECT_EQ(dialogs.browseCalls[0].title, W(u8"选择要批量转换的文件(*.txt|*.htm)所在文件夹："));
  EXPECT_TRUE(Converted(out + "\\a.txt"));
  EXPECT_TRUE(Converted(out + "\\sub\\b.htm", u8"网页"));
  EXPECT_TRUE(Converted(out + "\\sub\\deep\\c.txt", u8"深"));
  EXPECT_EQ(ReadFileBytes(root + "\\a.txt"), W(u8"中文"));

  ASSERT_FALSE(buttonStates.empty());
  for (const std::string& state : buttonStates) EXPECT_EQ(state, W(u8" 点我停止") + "-");
  EXPECT_EQ(Caption(Id::FolderButton), W(u8" 批量转换(文件夹方式)"));
  EXPECT_TRUE(Ctl(Id::ListButton).Enabled());
  EXPECT_EQ(Caption(Id::ListButton), W(u8"批量转换"));
  EXPECT_EQ(Ctl(Id::FolderButton).Tag(), root);
  EXPECT_EQ(Ctl(Id::StatusLabel).Tag(), out);
  EXPECT_EQ(captions, (std::vector<std::string>{
                          W(u8"正在读取目录：") + root, "(1:1) a", W(u8"正在读取目录：") + root + "\\sub", "(1:1) b",
                          W(u8"正在读取目录：") + root + "\\sub\\deep", "(1:1) c", Completion(out)}));
  EXPECT_EQ(job.State().converted, 3);
  EXPECT_EQ(job.State().failed, 0);
}

TEST_F(FolderModeTest, WithoutSubFoldersOnlyTheFolderItselfIsConverted) {
  Put("a.txt");
  Put("sub\\b.txt");
  RunFolder(root);
  EXPECT_TRUE(Converted(out + "\\a.txt"));
  EXPECT_FALSE(PathExists(out + "\\sub"));
  EXPECT_EQ(ReadFileBytes(root + "\\sub\\b.txt"), W(u8"中文"));
}

TEST_F(FolderModeTest, OverwriteWritesEachFileOverItselfAndNamesTheFolderItself) {
  Put("a.txt");
  Put("sub\\b.txt");
  Ctl(Id::Overwrite).SetChecked(true);
  Ctl(Id::SubFolders).SetChecked(true);
  RunFolder(root);
  EXPECT_TRUE(Converted(root + "\\a.txt"));
  EXPECT_TRUE(Converted(root + "\\sub\\b.txt"));
  EXPECT_FALSE(PathExists(out));
  EXPECT_EQ(Ctl(Id::StatusLabel).Tag(), root);
  EXPECT_EQ(captions.back(), Completion(root));
}

TEST_F(FolderModeTest, WalkIsDepthFirstPreOrderAndEachFolderCountsItsOwnFiles) {
  for (const char* name : {"1.txt", "2.txt"}) Put(name);
  for (const char* name : {"s1\\1.txt", "s1\\2.txt", "s1\\3.txt", "s1\\4.txt"}) Put(name);
  Put("s1\\t\\x.txt");
  Put("s2\\y.txt");
  Put("empty\\u\\z.txt");  // a folder without files still has its sub-folders walked
  Ctl(Id::SubFolders).SetChecked(true);
  RunFolder(root);

  // Every folder's reading caption is followed by its own files only, and each folder's
  // subtree is finished before the next folder at its level.
  std::vector<std::string> folders;
  std::vector<std::string> order;
  for (const std::string& c : captions) {
    const std::string reading = W(u8"正在读取目录：");
    if (c.compare(0, reading.size(), reading) == 0) folders.push_back(c.substr(reading.size() + root.size()));
    order.push_back(c);
  }
  ASSERT_EQ(folders.size(), 6u);
  EXPECT_EQ(folders[0], "");
  for (size_t i = 1; i < folders.size(); ++i) {
    // Pre-order: the parent of each folder was entered earlier, and no folder outside
    // the parent's subtree was entered in between.
    const std::string up = folders[i].substr(0, folders[i].rfind('\\'));
    const auto at = std::find(folders.begin(), folders.begin() + static_cast<long>(i), up);
    ASSERT_NE(at, folders.begin() + static_cast<long>(i)) << folders[i];
    for (auto between = at + 1; between != folders.begin() + static_cast<long>(i); ++between) {
      EXPECT_EQ(between->compare(0, up.size() + 1, up + "\\"), 0) << *between << " inside " << up;
    }
  }
  const auto s1 = std::find(order.begin(), order.end(), W(u8"正在读取目录：") + root + "\\s1");
  ASSERT_NE(s1, order.end());
  const size_t first = static_cast<size_t>(s1 + 1 - order.begin());
  for (size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(order[first + k].substr(0, 6), "(4:" + std::to_string(k + 1) + ") ");
    EXPECT_EQ(bars[first + k], std::make_pair(static_cast<int>(k) + 1, 4));
  }
  EXPECT_EQ(FileCaptions().size(), 9u);
  EXPECT_TRUE(Converted(out + "\\empty\\u\\z.txt"));
}

TEST_F(FolderModeTest, StopLetsTheCurrentFileFinishAndVisitsNothingMore) {
  for (int i = 1; i <= 10; ++i) Put(std::to_string(i) + ".txt");
  Put("sub\\s.txt");
  Ctl(Id::SubFolders).SetChecked(true);
  std::string captionWhileStopping;
  // The click comes once file 7 is shown, before it is converted (the same as a click
  // that a pump inside its conversion delivers).
  job.SetStatusObserver([&](const std::string& caption) {
    captions.push_back(caption);
    if (caption.compare(0, 6, "(10:7)") == 0) {
      job.OnFolderButtonClick();
      captionWhileStopping = Caption(Id::FolderButton);
    }
  });
  RunFolder(root);
  EXPECT_EQ(captionWhileStopping, W(u8" 停止中.."));
  EXPECT_EQ(FileCaptions().size(), 7u);
  int converted = 0;
  for (int i = 1; i <= 10; ++i) converted += PathExists(out + "\\" + std::to_string(i) + ".txt");
  EXPECT_EQ(converted, 7);
  EXPECT_FALSE(PathExists(out + "\\sub"));
  EXPECT_EQ(Caption(Id::FolderButton), W(u8" 批量转换(文件夹方式)"));
  EXPECT_TRUE(Ctl(Id::ListButton).Enabled());
  // Done of found so far: the sub-folder was never listed.
  EXPECT_EQ(captions.back(), W(u8"已停止：完成 7/10。点击可打开目录：") + out);
  EXPECT_TRUE(job.State().stopRequested);
}

TEST_F(FolderModeTest, StopWithSeveralJobsReportsEveryFileConvertedAhead) {
  for (int i = 1; i <= 40; ++i) Put(std::to_string(i) + ".txt");
  Put("sub\\s.txt");
  Ctl(Id::SubFolders).SetChecked(true);
  job.SetJobs(4);
  job.SetStatusObserver([&](const std::string& caption) {
    captions.push_back(caption);
    if (caption.compare(0, 6, "(40:5)") == 0) job.OnFolderButtonClick();
  });
  RunFolder(root);
  // Files begun by other jobs before the stop are converted and reported; no file is
  // converted without being reported, and the captions name each one in order.
  const std::vector<std::string> files = FileCaptions();
  ASSERT_GE(files.size(), 5u);
  ASSERT_EQ(job.State().results.size(), files.size());
  for (const FileResult& result : job.State().results) EXPECT_TRUE(Converted(result.output)) << result.output;
  size_t written = 0;
  for (const auto& entry : std::filesystem::directory_iterator(cw::test::ToFsPath(out))) {
    written += entry.is_regular_file();
  }
  EXPECT_EQ(written, files.size());
  EXPECT_EQ(job.State().converted, static_cast<int>(files.size()));
  EXPECT_FALSE(PathExists(out + "\\sub"));
}

TEST_F(FolderModeTest, StopWhileListingEndsAfterTheFirstFileAndSkipsSubFolders) {
  Put("a.txt");
  Put("b.txt");
  Put("sub\\c.txt");
  Ctl(Id::SubFolders).SetChecked(true);
  onPump = [&] {
    if (pumps == 1) job.OnFolderButtonClick();  // the first entry the listing reads
  };
  RunFolder(root);
  EXPECT_EQ(FileCaptions().size(), 1u);
  EXPECT_FALSE(PathExists(out + "\\sub"));
  EXPECT_EQ(captions.back(), W(u8"已停止：完成 1/2。点击可打开目录：") + out);
}

TEST_F(FolderModeTest, RunThatFindsNoFileSaysSoAndTheNextRunCountsAfresh) {
  Put("a.txt");
  Put("sub\\b.txt");
  Ctl(Id::SubFolders).SetChecked(true);
  Ctl(Id::FilterBox).SetContent("*.htm");
  RunFolder(root);
  EXPECT_EQ(captions.back(), Completion(out) + W(u8"（没有符合过滤条件的文件）"));
  EXPECT_FALSE(PathExists(out));
  // A match in a sub-folder alone is a match; ";" separates as the open dialog writes it.
  Ctl(Id::FilterBox).SetContent("*.htm;b.*");
  RunFolder(root);
  EXPECT_EQ(captions.back(), Completion(out));
  EXPECT_TRUE(Converted(out + "\\sub\\b.txt"));
  EXPECT_FALSE(PathExists(out + "\\a.txt"));
}

TEST_F(FolderModeTest, OneLargeFileMovesTheBarByTheBytesConverted) {
  // UTF-8 to UTF-16 goes straight through the transcoder, piece by piece.
  Ctl(Id::InputAuto).SetChecked(true);
  Ctl(Id::OutputUtf16Le).SetChecked(true);
  std::string big;
  while (big.size() < 3 * (4u << 20)) big += u8"一段中文文字，用来把文件写大。\r\n";
  WriteFileBytes(root + "\\big.txt", big);
  std::vector<int> positions;
  onPump = [&] {
    if (Caption(Id::StatusLabel) == "(1:1) big") positions.push_back(Ctl(Id::ProgressBar).ProgressPosition());
  };
  RunFolder(root);
  EXPECT_EQ(captions.back(), Completion(out));
  ASSERT_GE(positions.size(), 3u);
  EXPECT_EQ(positions.front(), 0);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  const int maximum = Ctl(Id::ProgressBar).ProgressMaximum();
  EXPECT_TRUE(std::any_of(positions.begin(), positions.end(), [&](int p) { return p > 0 && p < maximum; }));
  EXPECT_EQ(Ctl(Id::ProgressBar).ProgressPosition(), maximum);  // full once the file is done
}

TEST_F(FolderModeTest, CancelledPickerChangesNothing) {
  Put("a.txt");
  Ctl(Id::FilterBox).SetContent("");
  Ctl(Id::FolderButton).SetTag("Z:\\kept");
  Ctl(Id::StatusLabel).SetCaption("before");
  RunFolder("");
  ASSERT_EQ(dialogs.browseCalls.size(), 1u);
  EXPECT_EQ(dialogs.browseCalls[0].title, W(u8"选择要批量转换的文件()所在文件夹："));
  EXPECT_EQ(Ctl(Id::FolderButton).Tag(), "Z:\\kept");
  EXPECT_EQ(Caption(Id::FolderButton), W(u8" 批量转换(文件夹方式)"));
  EXPECT_EQ(Caption(Id::StatusLabel), "before");
  EXPECT_TRUE(captions.empty());
  EXPECT_FALSE(PathExists(out));
}

TEST_F(FolderModeTest, EncodingsHoldForAPassWhileOtherOptionsApplyFromTheNextFile) {
  Put("1.txt");
  Put("2.txt");
  Put("sub\\3.txt");
  Ctl(Id::SubFolders).SetChecked(true);
  onPump = [&] {
    if (Caption(Id::StatusLabel).compare(0, 5, "(2:1)") == 0) {
      Ctl(Id::OutputUtf16Le).SetChecked(true);  // from the next folder on
      Ctl(Id::WithoutBom).SetChecked(true);     // from the next file on
      Ctl(Id::FilterBox).SetContent("*.none");
    }
  };
  RunFolder(root);
  // The pass's files in listing order: the first got the mark, the second did not.
  const std::vector<std::string> files = FileCaptions();
  ASSERT_EQ(files.size(), 2u);
  const std::string first = out + "\\" + files[0].substr(6) + ".txt";
  const std::string second = out + "\\" + files[1].substr(6) + ".txt";
  EXPECT_EQ(ReadFileBytes(first), Utf8WithMark(u8"中文"));
  EXPECT_EQ(ReadFileBytes(second), u8"中文");
  // The sub-folder was listed with the edited filter.
  EXPECT_FALSE(PathExists(out + "\\sub"));
}

TEST_F(FolderModeTest, AnEarlierOutputFolderIsWalkedLikeAnyOther) {
  Put("a.txt");
  RunFolder(root);
  ASSERT_TRUE(PathExists(out + "\\a.txt"));
  Ctl(Id::SubFolders).SetChecked(true);
  RunFolder(parent);
  EXPECT_TRUE(PathExists(parent + W(u8"(已转换)\\docs(已转换)\\a.txt")));
  EXPECT_TRUE(Converted(parent + W(u8"(已转换)\\docs\\a.txt")));
}

TEST_F(FolderModeTest, RootWithItsBackslashKeepsItsOutputInsideAndDoesNotWalkIt) {
  // What the picker returns for a drive root: the output is a folder inside it.
  Put("a.txt");
  Put("sub\\b.txt");
  Ctl(Id::SubFolders).SetChecked(true);
  RunFolder(root + "\\");
  const std::string inside = root + W(u8"\\(已转换)");
  EXPECT_TRUE(Converted(inside + "\\a.txt"));
  EXPECT_TRUE(Converted(inside + "\\sub\\b.txt"));
  EXPECT_FALSE(PathExists(inside + W(u8"\\(已转换)")));
  EXPECT_EQ(Ctl(Id::StatusLabel).Tag(), inside);
  EXPECT_EQ(FileCaptions().size(), 2u);
}

TEST_F(FolderModeTest, DriveRootsPlaceOutputInAFolderOfTheirOwn) {
  dialogs.folderAnswer = "D:\\";
  job.OnFolderButtonClick();  // D: does not exist here: nothing is listed
  EXPECT_EQ(Ctl(Id::StatusLabel).Tag(), W(u8"D:\\(已转换)"));
  EXPECT_EQ(job.OutputPathFor("D:\\a.txt"), W(u8"D:\\(已转换)\\a.txt"));
  EXPECT_EQ(job.OutputPathFor("D:\\sub\\a.txt"), W(u8"D:\\(已转换)\\sub\\a.txt"));
  EXPECT_EQ(job.OutputPathFor("E:\\x\\a.txt"), W(u8"E:\\x(已转换)\\a.txt"));
}

}  // namespace
}  // namespace cw::batch::test
