// Listing folders with wildcard patterns, as FindFirstFileW does on Windows.
#include "platform_fixture.h"

namespace cw::platform {
namespace {

using test::WriteFileBytes;
using Names = std::vector<std::string>;

class FindTest : public PlatformTest {
 protected:
  void SetUp() override {
    for (const char* name : {"a.txt", "B.TXT", "c.htm", "d.html", "e", "notes.old"}) {
      WriteFileBytes(Path(name), name);
    }
    ASSERT_EQ(CreateFolder(Path("sub")), Status::Ok);
    WriteFileBytes(Path("sub\\inner.txt"), "inner");
  }

  Names Find(std::string_view pattern) {
    std::vector<DirEntry> entries;
    EXPECT_EQ(FindEntries(Path(pattern), &entries), Status::Ok) << pattern;
    return SortedNames(entries);
  }
};

TEST_F(FindTest, StarDotStarListsEverythingWithItsDirectoryBit) {
  std::vector<DirEntry> entries;
  ASSERT_EQ(FindEntries(Path("*.*"), &entries), Status::Ok);
  EXPECT_EQ(SortedNames(entries), (Names{".", "..", "B.TXT", "a.txt", "c.htm", "d.html", "e", "notes.old", "sub"}));
  for (const DirEntry& entry : entries) {
    const bool isFolder = entry.name == "." || entry.name == ".." || entry.name == "sub";
    EXPECT_EQ((entry.attributes & kAttrDirectory) != 0, isFolder) << entry.name;
  }
  // Every mask of stars and dots that starts with a star is the same listing; the
  // sub-folder's own file is not in it. One that starts with a dot is not.
  for (const char* everything : {"*", "*.", "**.*", "*.*."}) EXPECT_EQ(Find(everything), SortedNames(entries));
  EXPECT_EQ(Find(".*"), (Names{".", ".."}));
}

TEST_F(FindTest, PatternsMatchIgnoringAsciiCase) {
  EXPECT_EQ(Find("*.txt"), (Names{"B.TXT", "a.txt"}));
  EXPECT_EQ(Find("*.TxT"), (Names{"B.TXT", "a.txt"}));
  EXPECT_EQ(Find("A.*"), (Names{"a.txt"}));
  EXPECT_EQ(Find("sub\\*.txt"), (Names{"inner.txt"}));
  // A name without wildcards finds that one entry.
  EXPECT_EQ(Find("NOTES.OLD"), (Names{"notes.old"}));
}

TEST_F(FindTest, QuestionMarkStandsForOneCharacter) {
  EXPECT_EQ(Find("?"), (Names{".", "e"}));  // "." is a one-character name too
  EXPECT_EQ(Find("?.txt"), (Names{"B.TXT", "a.txt"}));
  EXPECT_EQ(Find("c.ht?"), (Names{"c.htm"}));
}

TEST_F(FindTest, ThreeLetterExtensionAlsoMatchesLongerOnesThroughShortNames) {
  // Windows matches the short name D~1.HTM of d.html too; callers narrow it themselves.
  EXPECT_EQ(Find("*.htm"), (Names{"c.htm", "d.html"}));
  EXPECT_EQ(Find("*.html"), (Names{"d.html"}));
}

TEST_F(FindTest, FailedSearchesLeaveAnEmptyList) {
  std::vector<DirEntry> entries = {{"stale", 0}};
  EXPECT_EQ(FindEntries(Path("missing\\*.*"), &entries), Status::NotFound);
  EXPECT_TRUE(entries.empty());

  // A folder where nothing matches was listed all the same.
  entries = {{"stale", 0}};
  EXPECT_EQ(FindEntries(Path("*.none"), &entries), Status::Ok);
  EXPECT_TRUE(entries.empty());
}

}  // namespace
}  // namespace cw::platform
