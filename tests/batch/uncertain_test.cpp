// A file whose automatic reading is a close call is never written over its original;
// into the output folder it is converted the likelier way and marked; the other files of
// its folder decide it where they read with confidence (or read so together).
#include <string>

#include "batch/batch_fixture.h"

namespace cw::batch::test {
namespace {

class UncertainTest : public BatchTest {
 protected:
  std::string root = dir.Join("docs");
  // Two characters that read as GBK and as Big5 alike.
  const std::string kShort = W(u8"干戈");
  const std::string kLong = W(u8"乾隆年間，幹部們在這裡開會，討論了很多問題，大家都很滿意。");

  const FileResult& Row(const std::string& name) {
    for (const FileResult& row : job.State().results) {
      if (row.source == root + "\\" + name) return row;
    }
    static const FileResult none;
    ADD_FAILURE() << name << " has no row";
    return none;
  }
};

TEST_F(UncertainTest, CloseCallsAreRefusedOverOriginalsMarkedElsewhereAndDecidedByTheFolder) {
  const struct {
    const char* what;
    bool overwrite;
    bool sureNeighbour;  // a file of the folder that reads as GBK with confidence
    ConvertStatus status;
    bool marked;  // the list says it was uncertain
  } rows[] = {
      {"alone, over the original", true, false, ConvertStatus::Uncertain, false},
      {"alone, into the output folder", false, false, ConvertStatus::Converted, true},
      {"beside a sure GBK file, over the original", true, true, ConvertStatus::Converted, false},
      {"beside a sure GBK file, into the output folder", false, true, ConvertStatus::Converted, false},
  };
  for (const auto& row : rows) {
    std::filesystem::remove_all(cw::test::ToFsPath(root));
    std::filesystem::remove_all(cw::test::ToFsPath(root + W(u8"(已转换)")));
    WriteFileBytes(root + "\\short.txt", kShort);
    if (row.sureNeighbour) WriteFileBytes(root + "\\long.txt", kLong);
    Ctl(Id::OutputUtf8).SetChecked(true);
    Ctl(Id::Overwrite).SetChecked(row.overwrite);
    RunFolder(root);
    const FileResult& result = Row("short.txt");
    EXPECT_EQ(result.status, row.status) << row.what;
    const std::string reason = ReasonWords(result);
    if (row.status == ConvertStatus::Uncertain) {
      EXPECT_EQ(reason, W(u8"编码不确定（") + result.uncertain + W(u8"），未覆盖原文件；请指定输入编码")) << row.what;
      EXPECT_NE(result.uncertain.find("GBK"), std::string::npos) << row.what;
      EXPECT_EQ(ReadFileBytes(root + "\\short.txt"), kShort) << "the original is left as it is";
    } else {
      const std::string written = ReadFileBytes(row.overwrite ? root + "\\short.txt" : result.output);
      EXPECT_EQ(written, "\xEF\xBB\xBF" + std::string(u8"干戈")) << row.what << ": read as GBK, the likelier way";
    }
    EXPECT_EQ(reason.find(W(u8"编码不确定（")) == 0, row.marked || row.status == ConvertStatus::Uncertain) << row.what;
    EXPECT_EQ(result.preview, row.status == ConvertStatus::Uncertain ? std::string() : kShort) << row.what;
  }
}

TEST_F(UncertainTest, AFolderOfShortGbkFilesIsNotRefusedFileByFile) {
  // Two characters each: some read as GBK with confidence, some (干戈, 开会, 满意) are a
  // close call alone, and those are decided by the others.
  const char* const texts[] = {u8"干戈", u8"张三", u8"这里", u8"没有", u8"问题", u8"开会",
                               u8"讨论", u8"满意", u8"我们", u8"时间", u8"国家", u8"发展"};
  int n = 0;
  for (const char* text : texts) WriteFileBytes(root + "\\f" + std::to_string(n++) + ".txt", W(text));
  Ctl(Id::OutputUtf8).SetChecked(true);
  Ctl(Id::Overwrite).SetChecked(true);
  RunFolder(root);
  EXPECT_EQ(job.State().failed, 0);
  n = 0;
  for (const char* text : texts) {
    EXPECT_EQ(ReadFileBytes(root + "\\f" + std::to_string(n++) + ".txt"), "\xEF\xBB\xBF" + std::string(text)) << text;
  }
}

}  // namespace
}  // namespace cw::batch::test
