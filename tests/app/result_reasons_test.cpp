// The reasons the result list gives for files the disk refused, met for real: a file
// another program holds open, and a read-only one, overwritten in place.
#include <map>

#include "app_fixture.h"
#include "batch/file_results.h"

namespace cw::app::test {
namespace {

class ResultReasonsTest : public AppTest {};

TEST_F(ResultReasonsTest, AFileInUseAndAReadOnlyFileAreSaidSo) {
  const std::string source = temp.Join("docs");
  for (const char* name : {"held.txt", "locked.txt", "plain.txt"}) {
    WriteFileBytes(source + "\\" + name, W("澄文坊：编码转换"));
  }
  const std::wstring locked = Wide(source + "\\locked.txt");
  ASSERT_TRUE(SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));
  // Opened without sharing, as an editor that keeps its file locked does.
  HANDLE held = CreateFileW(Wide(source + "\\held.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Start();
  Click(Id::OutputUtf8);
  Click(Id::Overwrite);
  dialogs.folderAnswer = source;
  dialogs.askAnswer = IDYES;
  Click(Id::FolderButton);
  CloseHandle(held);
  SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);

  ASSERT_EQ(dialogs.shownResults.size(), 1u) << "offered after the failures";
  std::map<std::string, std::string> reasons;
  for (const batch::FileResult& row : dialogs.shownResults[0]) {
    reasons[row.source.substr(source.size() + 1)] = batch::ReasonWords(row);
  }
  EXPECT_EQ(reasons["held.txt"], W("文件正被其他程序使用"));
  EXPECT_EQ(reasons["locked.txt"], W("文件只读"));
  EXPECT_EQ(reasons["plain.txt"].rfind(W("统计：GBK"), 0), 0u) << "how it was read, in Chinese too";
  EXPECT_EQ(ReadFileBytes(source + "\\plain.txt"), "\xEF\xBB\xBF" + std::string(u8"澄文坊：编码转换"));
}

}  // namespace
}  // namespace cw::app::test
