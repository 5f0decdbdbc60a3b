// File names in the working code page: GBK characters whose second byte is a
// backslash, characters outside GBK, and the program's own folder.
#include <filesystem>

#include "platform_fixture.h"

namespace cw::platform {
namespace {

namespace fs = std::filesystem;
using test::W;

class NamesTest : public PlatformTest {
 protected:
  // The name as the file system itself sees it, to make sure no byte was mangled.
  bool ExistsOnDisk(std::string_view utf8Relative) const {
    return fs::exists(test::ToFsPath(dir_.Path()) / fs::u8path(utf8Relative));
  }
};

TEST_F(NamesTest, SecondByteBackslashDoesNotSplitThePath) {
  // 誠 is D5 5C and 籠 is BB 5C in GBK: their second byte is "\".
  const std::string folderName = W("誠");
  const std::string fileName = W("籠") + ".txt";
  ASSERT_EQ(folderName, "\xD5\x5C");
  ASSERT_EQ(fileName, "\xBB\x5C.txt");

  ASSERT_EQ(CreateFolder(Path(folderName)), Status::Ok);
  const std::string file = Path(folderName) + "\\" + fileName;
  ASSERT_EQ(WriteWholeFile(file, "content"), Status::Ok);
  EXPECT_TRUE(ExistsOnDisk("誠/籠.txt"));

  std::vector<DirEntry> entries;
  ASSERT_EQ(FindEntries(Path(folderName) + "\\*.txt", &entries), Status::Ok);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, fileName);
  ASSERT_EQ(FindEntries(Path("*"), &entries), Status::Ok);
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{".", "..", folderName}));

  std::string bytes;
  ASSERT_EQ(ReadWholeFile(file, &bytes), Status::Ok);
  EXPECT_EQ(bytes, "content");
  EXPECT_NE(GetAttributes(Path(folderName)) & kAttrDirectory, 0u);
  ASSERT_EQ(DeleteFile(file), Status::Ok);
  EXPECT_FALSE(ExistsOnDisk("誠/籠.txt"));
}

TEST_F(NamesTest, NameOutsideGbkKeepsItsFourByteForm) {
  const std::string name = W("😀") + ".txt";
  ASSERT_EQ(name, "\x94\x39\xFC\x36.txt");
  ASSERT_EQ(WriteWholeFile(Path(name), "smile"), Status::Ok);
  EXPECT_TRUE(ExistsOnDisk("😀.txt"));

  std::vector<DirEntry> entries;
  ASSERT_EQ(FindEntries(Path("*.txt"), &entries), Status::Ok);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, name);
  std::string bytes;
  ASSERT_EQ(ReadWholeFile(Path(entries[0].name), &bytes), Status::Ok);
  EXPECT_EQ(bytes, "smile");
  ASSERT_EQ(DeleteFile(Path(name)), Status::Ok);
  EXPECT_FALSE(ExistsOnDisk("😀.txt"));
}

TEST_F(NamesTest, ProgramFolderHoldsThisProgram) {
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '\\');
  EXPECT_NE(GetAttributes(folder) & kAttrDirectory, 0u);
  EXPECT_TRUE(Exists(folder + "\\platform_tests") || Exists(folder + "\\platform_tests.exe"));
}

}  // namespace
}  // namespace cw::platform
