// Starting a batch from the file dialog or a drop, the questions and dialogs they show,
// where their output goes, and one run at a time.
#include "batch_fixture.h"

namespace cw::batch::test {
namespace {

class ListAndDropTest : public BatchTest {
 protected:
  void SetUp() override {
    BatchTest::SetUp();
    UseGbkToUtf8();
    docs = dir.Join("docs");
    outFolder = docs + W(u8"(已转换)");
    for (const char* name : {"a.txt", "b.htm", "c.dat", "sub\\d.txt", "sub\\e.dat", "other\\f.txt"}) {
      WriteFileBytes(docs + "\\" + name, W(u8"中文"));
    }
  }
  bool Converted(const std::string& path) { return ReadFileBytes(path) == Utf8WithMark(u8"中文"); }
  std::string Out(const std::string& relative) { return outFolder + "\\" + relative; }

  std::string docs;
  std::string outFolder;
};

TEST_F(ListAndDropTest, ChosenFilesAreConvertedWhateverTheFilterAndTheNextDialogOpensThere) {
  Ctl(Id::FilterBox).SetContent("*.txt");
  Ctl(Id::SubFolders).SetChecked(true);
  dialogs.filesAnswer = {docs + "\\a.txt", docs + "\\b.htm", docs + "\\c.dat"};
  std::vector<std::string> states;
  onPump = [&] { states.push_back(Caption(Id::ListButton) + (Ctl(Id::FolderButton).Enabled() ? "+" : "-")); };
  job.OnListButtonClick();

  ASSERT_EQ(dialogs.openCalls.size(), 1u);
  EXPECT_EQ(dialogs.openCalls[0].initialFolder, "");
  EXPECT_EQ(dialogs.openCalls[0].title, W(u8"选择要批量转换的多个文件："));
  EXPECT_EQ(dialogs.openCalls[0].filter,
            W(u8"文本和网页文件|*.txt;*.htm;*.html|文本文件(*.txt)|*.txt|网页文件(*.htm;*.html)|*.htm;*.html|"
              u8"全部文件(*.*)|*.*"));
  EXPECT_EQ(dialogs.openCalls[0].flags, 0x1A04u);
  for (const char* name : {"a.txt", "b.htm", "c.dat"}) EXPECT_TRUE(Converted(Out(name))) << name;
  EXPECT_FALSE(PathExists(Out("sub")));
  ASSERT_FALSE(states.empty());
  for (const std::string& state : states) EXPECT_EQ(state, W(u8"点我停止") + "-");
  EXPECT_EQ(Caption(Id::ListButton), W(u8"批量转换"));
  EXPECT_TRUE(Ctl(Id::FolderButton).Enabled());
  EXPECT_EQ(captions, (std::vector<std::string>{"(3:1) a", "(3:2) b", "(3:3) c", Completion(outFolder)}));

  job.OnListButtonClick();
  ASSERT_EQ(dialogs.openCalls.size(), 2u);
  EXPECT_EQ(dialogs.openCalls[1].initialFolder, docs);
}

TEST_F(ListAndDropTest, ListRunStopsAfterTheCurrentFile) {
  dialogs.filesAnswer = {docs + "\\a.txt", docs + "\\b.htm", docs + "\\c.dat"};
  std::string stopping;
  onPump = [&] {
    if (pumps == 1) {  // before the first file
      job.OnListButtonClick();
      stopping = Caption(Id::ListButton);
    }
  };
  job.OnListButtonClick();
  EXPECT_EQ(stopping, W(u8"停止中.."));
  EXPECT_TRUE(Converted(Out("a.txt")));
  EXPECT_FALSE(PathExists(Out("b.htm")));
  EXPECT_FALSE(PathExists(Out("c.dat")));
  EXPECT_EQ(Caption(Id::ListButton), W(u8"批量转换"));
  EXPECT_EQ(captions.back(), W(u8"已停止：完成 1/3。点击可打开目录：") + outFolder);
}

TEST_F(ListAndDropTest, CancelledDialogAndCancelledDropChangeNothing) {
  Ctl(Id::ListButton).SetTag("Z:\\kept");
  job.OnListButtonClick();
  EXPECT_EQ(dialogs.openCalls.size(), 1u);
  EXPECT_EQ(Ctl(Id::ListButton).Tag(), "Z:\\kept");

  dialogs.askAnswer = 2;  // Cancel
  Drop({docs + "\\a.txt", docs + "\\sub"});
  EXPECT_EQ(dialogs.askCalls.size(), 1u);
  EXPECT_TRUE(captions.empty());
  EXPECT_FALSE(PathExists(outFolder));
  EXPECT_EQ(Caption(Id::ListButton), W(u8"批量转换"));
  EXPECT_TRUE(Ctl(Id::FolderButton).Enabled());
  EXPECT_EQ(Ctl(Id::StatusLabel).Tag(), "");
}

TEST_F(ListAndDropTest, DropQuestionCountsFilesAndNamesFoldersOnlyWhenThereAreAny) {
  dialogs.askAnswer = 2;
  Drop({docs + "\\a.txt", docs + "\\b.htm"});
  Drop({docs + "\\a.txt", docs + "\\sub", docs + "\\b.htm", docs + "\\other"});
  Drop({docs + "\\sub", docs + "\\missing"});  // a path that cannot be read counts as a folder
  ASSERT_EQ(dialogs.askCalls.size(), 3u);
  EXPECT_EQ(dialogs.askCalls[0].title, W(u8"确定要转换被拖放的 2 个文件的编码吗？"));
  EXPECT_EQ(dialogs.askCalls[1].title, W(u8"确定要转换被拖放的 2 个文件和 2 个目录的编码吗？"));
  EXPECT_EQ(dialogs.askCalls[2].title, W(u8"确定要转换被拖放的 0 个文件和 2 个目录的编码吗？"));
  for (const auto& call : dialogs.askCalls) {
    EXPECT_EQ(call.filter, W(u8"信息："));
    EXPECT_EQ(call.flags, 0x2001u);
  }
}

TEST_F(ListAndDropTest, DroppedFolderBesideFilesGoesIntoTheFilesOutputWithTheFilter) {
  Ctl(Id::FilterBox).SetContent("*.txt");
  std::vector<std::string> states;
  onPump = [&] { states.push_back(Caption(Id::ListButton) + (Ctl(Id::FolderButton).Enabled() ? "+" : "-")); };
  Drop({docs + "\\c.dat", docs + "\\sub"});
  EXPECT_TRUE(Converted(Out("c.dat")));  // dropped files ignore the filter
  EXPECT_TRUE(Converted(Out("sub\\d.txt")));
  EXPECT_FALSE(PathExists(Out("sub\\e.dat")));
  EXPECT_EQ(Ctl(Id::StatusLabel).Tag(), outFolder);
  ASSERT_FALSE(states.empty());
  for (const std::string& state : states) EXPECT_EQ(state, W(u8"点我停止") + "-");
  EXPECT_EQ(Caption(Id::ListButton), W(u8"批量转换"));
  EXPECT_TRUE(Ctl(Id::FolderButton).Enabled());
}

TEST_F(ListAndDropTest, FoldersDroppedAloneAreEachTheirOwnRoot) {
  Drop({docs + "\\other", docs + "\\sub"});
  EXPECT_TRUE(Converted(docs + W(u8"\\other(已转换)\\f.txt")));
  EXPECT_TRUE(Converted(docs + W(u8"\\sub(已转换)\\d.txt")));
  EXPECT_EQ(captions.back(), Completion(docs + W(u8"\\sub(已转换)")));
}

TEST_F(ListAndDropTest, FilesFromSeveralFoldersKeepTheirPlaceBesideTheirOwnFolder) {
  Drop({docs + "\\a.txt", docs + "\\sub\\d.txt", docs + "\\other\\f.txt"});
  EXPECT_TRUE(Converted(Out("a.txt")));
  EXPECT_TRUE(Converted(docs + W(u8"\\sub(已转换)\\d.txt")));
  EXPECT_TRUE(Converted(docs + W(u8"\\other(已转换)\\f.txt")));
  EXPECT_EQ(job.State().failed, 0);
}

TEST_F(ListAndDropTest, DropRunStopsBetweenDroppedFolders) {
  onPump = [&] {
    if (pumps == 1) {
      job.OnListButtonClick();  // the list button is the drop run's stop button
      EXPECT_EQ(Caption(Id::ListButton), W(u8"停止中.."));
    }
  };
  Drop({docs + "\\a.txt", docs + "\\sub", docs + "\\other"});
  EXPECT_TRUE(Converted(Out("a.txt")));
  EXPECT_FALSE(PathExists(Out("sub")));
  EXPECT_FALSE(PathExists(docs + W(u8"\\other(已转换)")));
  EXPECT_EQ(Caption(Id::ListButton), W(u8"批量转换"));
  EXPECT_EQ(captions.back(), W(u8"已停止：完成 1/1。点击可打开目录：") + docs + W(u8"(已转换)"));
}

TEST_F(ListAndDropTest, NoSecondRunStartsWhileOneIsInProgress) {
  Ctl(Id::SubFolders).SetChecked(true);
  bool tried = false;
  const std::string refused = W(u8"正在转换，拖放的文件和目录未处理：请等本次转换结束后再拖放。");
  onPump = [&] {
    if (tried) {
      // The refusal stays while the run goes on: the next files do not overwrite it.
      EXPECT_EQ(Caption(Id::StatusLabel), refused);
      return;
    }
    tried = true;
    Drop({docs + "\\other\\f.txt"});  // refused, and no question is asked
    EXPECT_EQ(Caption(Id::StatusLabel), refused);
    job.OnListButtonClick();  // disabled and idle: nothing
    Ctl(Id::ListButton).SetEnabled(true);
    job.OnListButtonClick();  // even when enabled, it cannot start a run
  };
  RunFolder(docs + "\\sub");
  EXPECT_TRUE(dialogs.askCalls.empty());
  EXPECT_TRUE(dialogs.openCalls.empty());
  EXPECT_FALSE(PathExists(docs + W(u8"\\other(已转换)")));
  EXPECT_TRUE(Converted(docs + W(u8"\\sub(已转换)\\d.txt")));
  EXPECT_EQ(Ctl(Id::StatusLabel).Tag(), docs + W(u8"\\sub(已转换)"));
  EXPECT_EQ(Caption(Id::StatusLabel), Completion(docs + W(u8"\\sub(已转换)")));

  // During a drop run the folder button is disabled, and an idle click does nothing.
  tried = false;
  onPump = [&] {
    if (tried) return;
    tried = true;
    Ctl(Id::FolderButton).SetEnabled(true);
    job.OnFolderButtonClick();
  };
  Drop({docs + "\\a.txt"});
  EXPECT_EQ(dialogs.browseCalls.size(), 1u);  // only the folder run's own
}

TEST_F(ListAndDropTest, ClosingDuringARunStopsItAfterTheCurrentFile) {
  EXPECT_TRUE(job.RequestClose());
  EXPECT_FALSE(job.CloseWanted());
  bool answered = true;
  onPump = [&] {
    if (pumps == 1) answered = job.RequestClose();
  };
  dialogs.filesAnswer = {docs + "\\a.txt", docs + "\\b.htm"};
  job.OnListButtonClick();
  EXPECT_FALSE(answered);
  EXPECT_TRUE(job.CloseWanted());
  EXPECT_FALSE(job.IsRunning());
  EXPECT_TRUE(Converted(Out("a.txt")));
  EXPECT_FALSE(PathExists(Out("b.htm")));
}

}  // namespace
}  // namespace cw::batch::test
