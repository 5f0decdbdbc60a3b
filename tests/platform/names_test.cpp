// File names in the working code page: GBK characters whose second byte is a
// backslash, characters outside GBK, and the program's own folder.
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform_fixture.h"
#ifndef _WIN32
#include "platform/posix/posix_util.h"
#endif

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

#ifndef _WIN32
// Paths in a few folders, one after another as a run names them: converted a folder at a
// time, each must come out as the whole path converted at once, valid or not. The pieces
// of names include characters whose second byte is a backslash, a lone first byte,
// characters outside GBK, 0x80 (which reads back as another code) and characters no
// name may hold; the folders start at a drive, at the root of one, or nowhere.
TEST(NativePathTest, AFolderConvertedOnceGivesWhatTheWholePathWould) {
  const std::vector<std::string> starts = {"Z:", "z:", "C:", "", "Z:docs"};
  const std::vector<std::string> pieces = {"docs", W("中文"), W("誠"), W("籠"), "\x81", "\x80",     W("😀"),
                                           "a",    ".txt",    ":",     "?",     " ",    "\x81\x30", "\\"};
  std::mt19937 random(20261208);
  const auto name = [&] {
    std::string text;
    for (int n = random() % 3; n >= 0; --n) text += pieces[random() % pieces.size()];
    return text;
  };
  std::vector<std::string> folders;
  for (int i = 0; i < 40; ++i) {
    std::string folder = starts[random() % starts.size()];
    for (int n = random() % 4; n > 0; --n) folder += "\\" + name();
    folders.push_back(folder);
  }
  const auto hex = [](const std::string& bytes) {
    std::string out;
    for (const unsigned char c : bytes) out += "0123456789ABCDEF"[c >> 4], out += "0123456789ABCDEF"[c & 15];
    return out;
  };
  int converted = 0;
  for (int i = 0; i < 4000; ++i) {
    // Mostly two folders in turn, and now and then any other.
    const std::string path = folders[random() % (i % 50 < 40 ? 2 : folders.size())] + "\\" + name();
    std::string memo = "unset";
    std::string whole = "unset";
    const bool memoOk = posix::ToNativePath(path, &memo);
    ASSERT_EQ(memoOk, posix::ToNativePathAtOnce(path, &whole)) << hex(path);
    if (memoOk) {
      EXPECT_EQ(memo, whole) << hex(path);
    }
    converted += memoOk;
  }
  EXPECT_GT(converted, 400);  // valid paths are among them, not only refused ones
}
#endif

TEST_F(NamesTest, ProgramFolderHoldsThisProgram) {
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '\\');
  EXPECT_NE(GetAttributes(folder) & kAttrDirectory, 0u);
  EXPECT_TRUE(Exists(folder + "\\platform_tests") || Exists(folder + "\\platform_tests.exe"));
}

}  // namespace
}  // namespace cw::platform
