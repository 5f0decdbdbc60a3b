// chengwen-cli undo from the outside: an overwrite run undone gives back every original
// byte for byte under its own name, whatever the run did to names and content; a file
// changed since the run is left as it is and said so; the next overwrite run lets the
// earlier run's undo go.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "cli/cli_run.h"
#include "support/temp_dir.h"

namespace cw {
namespace {

using test::W;

// Every file under the folder with its bytes, the program's own ones too.
std::map<std::string, std::string> Tree(const std::string& folder) {
  std::map<std::string, std::string> tree;
  const std::filesystem::path root = test::ToFsPath(folder);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string name = std::filesystem::relative(entry.path(), root).u8string();
    if (entry.is_directory()) {
      tree[name + "/"] = "";
      continue;
    }
    std::ifstream in(entry.path(), std::ios::binary);
    tree[name] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return tree;
}

// Only the user's files: what the program keeps for its undo left out.
std::map<std::string, std::string> UserFiles(const std::string& folder) {
  std::map<std::string, std::string> files = Tree(folder);
  for (auto it = files.begin(); it != files.end();) {
    const std::string leaf = std::filesystem::path(it->first).filename().u8string();
    it = leaf.rfind("~cw", 0) == 0 ? files.erase(it) : std::next(it);
  }
  return files;
}

class UndoTest : public ::testing::Test {
 protected:
  void Build() {
    std::filesystem::remove_all(test::ToFsPath(dir_.Join("docs")));
    Put(W(u8"docs\\简体.txt"), W(u8"简体中文，发展"));                   // GBK
    Put(W(u8"docs\\乾隆.txt"), u8"乾隆年間，幹部們");                    // UTF-8, a Traditional name
    Put("docs\\ascii.txt", "plain ASCII\r\n");                           // no change at all
    Put(W(u8"docs\\子\\繁體.txt"), "\xC1\x63\xC5\xE9\xA4\xA4\xA4\xE5");  // Big5 繁體中文
    Put("docs\\sub\\page.html", "<meta charset=gbk>" + W(u8"网页"));
    std::filesystem::create_hard_link(test::ToFsPath(dir_.Join("docs\\sub\\page.html")),
                                      test::ToFsPath(dir_.Join("docs\\page-link.html")));
  }
  void Put(const std::string& name, const std::string& bytes) { test::WriteFileBytes(dir_.Join(name), bytes); }
  test::CliRun Batch(const std::string& options) {
    return test::RunCli("batch --recursive --overwrite " + options + " '" + test::Shown(dir_.Join("docs")) + "'", "",
                        "");
  }
  test::CliRun Undo() { return test::RunCli("undo '" + test::Shown(dir_.Join("docs")) + "'", "", ""); }
  test::TempDir dir_;
};

TEST_F(UndoTest, EveryScriptOptionWithAndWithoutRenamesIsUndoneByteForByte) {
  for (const char* script : {"none", "s2t", "t2s", "s2big5", "t2big5", "big52s", "big52t"}) {
    for (const char* rename : {"", " --rename"}) {
      const std::string options = std::string("--out utf8 --script ") + script + rename;
      Build();
      const std::map<std::string, std::string> before = Tree(dir_.Join("docs"));
      const test::CliRun run = Batch(options);
      ASSERT_NE(UserFiles(dir_.Join("docs")), before) << options << "\n" << run.out;
      const test::CliRun undone = Undo();
      EXPECT_EQ(undone.status, 0) << options << "\n" << undone.out;
      // Nothing is left of the run: no conversion, no kept copy, no journal.
      EXPECT_EQ(Tree(dir_.Join("docs")), before) << options << "\n" << run.out << undone.out;
    }
  }
}

TEST_F(UndoTest, AFileChangedSinceTheRunIsLeftAndTheNextRunLetsTheUndoGo) {
  Build();
  const std::map<std::string, std::string> original = UserFiles(dir_.Join("docs"));
  ASSERT_EQ(Batch("--out utf8").status, 0);
  const std::map<std::string, std::string> converted = UserFiles(dir_.Join("docs"));
  // Another program edits one conversion after the run.
  Put(W(u8"docs\\简体.txt"), "edited afterwards");
  const test::CliRun undone = Undo();
  EXPECT_EQ(undone.status, 1);
  EXPECT_NE(undone.out.find("changed since: 1,"), std::string::npos) << undone.out;
  std::map<std::string, std::string> expected = original;
  expected[u8"简体.txt"] = "edited afterwards";
  EXPECT_EQ(UserFiles(dir_.Join("docs")), expected);

  // A second run over the first: undo goes back to what the second run found.
  Build();
  ASSERT_EQ(Batch("--out utf8").status, 0);
  ASSERT_EQ(Batch("--out utf16le").status, 0);
  EXPECT_EQ(Undo().status, 0);
  EXPECT_EQ(UserFiles(dir_.Join("docs")), converted);
  // And nothing more to undo: the first run's originals went with the second run.
  const test::CliRun again = Undo();
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.out.find("restored: 0,"), std::string::npos) << again.out;
}

}  // namespace
}  // namespace cw
