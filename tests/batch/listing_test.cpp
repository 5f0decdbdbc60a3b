// Listing a folder for a batch: the filter's pieces, the ".htm" narrowing, sub-folders,
// and the path helpers, on real folders.
#include <algorithm>
#include <filesystem>

#include "batch_fixture.h"

namespace cw::batch::test {
namespace {

class ListFolderTest : public ::testing::Test {
 protected:
  void Touch(const char* relativeUtf8) { WriteFileBytes(dir.Join(W(relativeUtf8)), "x"); }
  // The names listed, each checked to be a full path in the folder.
  std::vector<std::string> Names(const std::vector<std::string>& list) {
    std::vector<std::string> names;
    for (const std::string& path : list) {
      EXPECT_EQ(path.substr(0, dir.Path().size() + 1), dir.Path() + "\\");
      names.push_back(path.substr(dir.Path().size() + 1));
    }
    return names;
  }
  std::vector<std::string> List(std::string filter, bool folders = false) {
    std::string folder = dir.Path();
    std::vector<std::string> list;
    ListFolder(folder, filter, list, false, folders);
    return Names(list);
  }
  static std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  }

  TempDir dir;
};

TEST_F(ListFolderTest, EmptyFilterListsEveryFileAndBothVariablesChange) {
  Touch(u8"a.txt");
  Touch(u8"b");
  Touch(u8"sub\\c.txt");
  std::string folder = dir.Path();
  std::string filter;
  std::vector<std::string> list = {"left over"};
  EXPECT_EQ(ListFolder(folder, filter, list, false, false), 2);
  EXPECT_EQ(folder, dir.Path() + "\\");
  EXPECT_EQ(filter, "*.*");
  EXPECT_EQ(Sorted(Names(list)), (std::vector<std::string>{"a.txt", "b"}));

  // Appending keeps what was there; a folder that already ends in "\" keeps one.
  filter = "b";
  EXPECT_EQ(ListFolder(folder, filter, list, true, false), 2);
  EXPECT_EQ(folder, dir.Path() + "\\");
}

TEST_F(ListFolderTest, PiecesAreListedInFilterOrderAndTheVariableKeepsTheLast) {
  Touch(u8"1.htm");
  Touch(u8"2.txt");
  Touch(u8"3.htm");
  Touch(u8"4.txt");
  std::string folder = dir.Path();
  std::string filter = "*.txt|*.htm";
  std::vector<std::string> list;
  ASSERT_EQ(ListFolder(folder, filter, list, false, false), 4);
  EXPECT_EQ(filter, "*.htm");
  const std::vector<std::string> names = Names(list);
  EXPECT_EQ(Sorted({names[0], names[1]}), (std::vector<std::string>{"2.txt", "4.txt"}));
  EXPECT_EQ(Sorted({names[2], names[3]}), (std::vector<std::string>{"1.htm", "3.htm"}));

  // An empty piece before a "|" matches nothing; one after the last "|" is no piece.
  filter = "|*.txt|";
  EXPECT_EQ(ListFolder(folder, filter, list, false, false), 2);
  EXPECT_EQ(filter, "*.txt");
}

TEST_F(ListFolderTest, HtmPatternLeavesOutLongerExtensionsButHtmlPieceFindsThemOnce) {
  Touch(u8"a.htm");
  Touch(u8"b.HTM");
  Touch(u8"c.html");
  EXPECT_EQ(Sorted(List("*.htm")), (std::vector<std::string>{"a.htm", "b.HTM"}));
  EXPECT_EQ(Sorted(List("*.HTM")), (std::vector<std::string>{"a.htm", "b.HTM"}));
  EXPECT_EQ(Sorted(List("*.htm|*.html")), (std::vector<std::string>{"a.htm", "b.HTM", "c.html"}));
}

TEST_F(ListFolderTest, SemicolonSeparatesLikeTheBarAndBlanksArePartOfAPattern) {
  Touch(u8"a.txt");
  Touch(u8"b.htm");
  Touch(u8"k.txt;z.htm");
  Touch(u8" lead.txt");
  EXPECT_EQ(List("*.txt;*.htm"), List("*.txt|*.htm"));
  EXPECT_EQ(Sorted(List("*.txt;*.htm;")), (std::vector<std::string>{" lead.txt", "a.txt", "b.htm", "k.txt;z.htm"}));
  EXPECT_EQ(List("k.txt?z.htm"), (std::vector<std::string>{"k.txt;z.htm"}));
  EXPECT_EQ(List("k.txt;z.htm"), std::vector<std::string>{});
  EXPECT_EQ(List(" *.txt"), (std::vector<std::string>{" lead.txt"}));
}

TEST_F(ListFolderTest, FileMatchedByTwoPiecesIsListedOnceWhereFirstFound) {
  Touch(u8"a.txt");
  Touch(u8"b.bin");
  const std::vector<std::string> names = List("*.txt|*.*");
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.bin"}));
}

// A piece the system cannot take as a pattern, or one naming a folder that is not there,
// matches nothing: the folder itself was listed, so it is no failure.
TEST_F(ListFolderTest, PiecesTheSystemRefusesMatchNothingAndFailNoFolder) {
  Touch(u8"a.txt");
  for (const char* filter : {"a:b|*.txt", "missing\\*.txt|*.txt", "*.txt|<>"}) {
    std::string folder = dir.Path();
    std::string pieces = filter;
    std::vector<std::string> list;
    std::vector<FailedFile> refused;
    EXPECT_EQ(ListFolder(folder, pieces, list, false, false, &refused), 1) << filter;
    EXPECT_TRUE(refused.empty()) << filter;
  }
}

TEST_F(ListFolderTest, FoldersAreListedWithoutFilesAndWithoutLinks) {
  Touch(u8"f.txt");
  Touch(u8"one\\x");
  Touch(u8"two\\x");
  std::error_code ec;
  std::filesystem::create_directory_symlink(cw::test::ToFsPath(dir.Path()), cw::test::ToFsPath(dir.Join("loop")), ec);
  EXPECT_EQ(Sorted(List("*", true)), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(List("*.txt"), (std::vector<std::string>{"f.txt"}));
}

TEST_F(ListFolderTest, NamesWithBackslashSecondBytesAndOutsideGbkAreListedWhole) {
  // 淺 is 9C 5C: its second byte is a backslash, and the folder ends in it.
  const std::string folderName = W(u8"淺");
  WriteFileBytes(dir.Join(folderName + "\\" + W(u8"嘰.txt")), "x");
  WriteFileBytes(dir.Join(folderName + "\\" + W(u8"한글.txt")), "x");
  std::string folder = dir.Join(folderName);
  std::string filter = "*.txt";
  std::vector<std::string> list;
  ASSERT_EQ(ListFolder(folder, filter, list, false, false), 2);
  EXPECT_EQ(folder, dir.Join(folderName) + "\\");
  for (const std::string& path : list) {
    EXPECT_TRUE(PathExists(path));
    EXPECT_EQ(DirectoryOf(path), dir.Join(folderName));
  }
  std::vector<std::string> bases = {BaseNameWithoutExtension(list[0]), BaseNameWithoutExtension(list[1])};
  EXPECT_EQ(Sorted(bases), Sorted({W(u8"嘰"), W(u8"한글")}));
}

TEST(BatchPathTest, BaseNameAndDirectoryStepOverTwoByteCharacters) {
  EXPECT_EQ(BaseNameWithoutExtension("D:\\docs\\readme.txt"), "readme");
  EXPECT_EQ(BaseNameWithoutExtension("D:\\a\\notes.old.txt"), "notes.old");
  EXPECT_EQ(BaseNameWithoutExtension("D:\\a.b\\name"), "name");
  EXPECT_EQ(BaseNameWithoutExtension("D:\\a\\.profile"), "");
  EXPECT_EQ(BaseNameWithoutExtension("plain.txt"), "plain");
  EXPECT_EQ(BaseNameWithoutExtension(W(u8"D:\\淺\\嘰")), W(u8"嘰"));
  EXPECT_EQ(DirectoryOf("D:\\docs\\a.txt"), "D:\\docs");
  EXPECT_EQ(DirectoryOf("D:\\a.txt"), "D:");
  EXPECT_EQ(DirectoryOf("a.txt"), "");
  EXPECT_EQ(DirectoryOf(W(u8"D:\\淺\\嘰.txt")), W(u8"D:\\淺"));
  EXPECT_EQ(DirectoryOf(W(u8"D:\\淺")), "D:");
}

TEST(BatchPathTest, FileNamesOutsideGbkSurviveTheTripThroughUtf16) {
  const std::string name = W(u8"한글 😀 中文.txt");
  EXPECT_EQ(GbkToUtf16(name), u"한글 😀 中文.txt");
  EXPECT_EQ(Utf16ToGbk(u"한글 😀 中文.txt"), name);
  EXPECT_EQ(GbkToUtf16(W(u8"淺")), u"淺");
}

}  // namespace
}  // namespace cw::batch::test
