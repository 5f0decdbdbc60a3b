// A dry run lists, for every file, the outcome the real run then has: over an adversarial
// folder (every kind of refusal the plan knows, names that collide under a file-name
// conversion, a second name of one file), with every script option, overwriting or not,
// renaming or not, and several encodings.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../convert/gzip_test_util.h"
#include "batch/batch_run.h"
#include "encoding/charset.h"
#include "support/temp_dir.h"

namespace cw::batch {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::W;
using test::WriteFileBytes;

class FixedSettings : public RunSettings {
 public:
  explicit FixedSettings(const ConversionOptions& options) : options_(options) {}
  void PassEncodings(EncodingChoice* input, EncodingChoice* output) const override {
    *input = options_.inputEncoding;
    *output = options_.outputEncoding;
  }
  std::string Filter() const override { return "*.*"; }
  bool SubFolders() const override { return true; }
  ConversionOptions FileOptions() const override { return options_; }
  bool Overwrite() const override { return options_.overwriteOriginal; }

 private:
  ConversionOptions options_;
};

class Unseen : public RunView {
 public:
  void ShowStatus(const std::string&) override {}
  void SetProgressMaximum(int) override {}
  void SetProgressPosition(int) override {}
  void SetOutputFolder(const std::string&) override {}
};

std::string Utf8To(const char* utf8, Charset charset) { return Transcode(utf8, Charset::Utf8, charset); }

// The folder every combination starts from.
void MakeAdversarialFolder(const std::string& root) {
  const std::string simplified = u8"中文简体测试：着这里的烟，体系结构。\r\n";
  const std::string traditional = u8"中文繁體測試：體系結構。\n";
  WriteFileBytes(root + "\\gbk.txt", FromUtf8(simplified));
  WriteFileBytes(root + "\\big5.txt", Utf8To(traditional.c_str(), Charset::Big5));
  WriteFileBytes(root + "\\utf8.txt", "\xEF\xBB\xBF" + simplified);
  WriteFileBytes(root + "\\utf16.txt", "\xFF\xFE" + Utf8To(simplified.c_str(), Charset::Utf16Le));
  WriteFileBytes(root + "\\bad.txt", "\xEF\xBB\xBF" + simplified + "\xC3\x28\xFF");  // not valid UTF-8
  WriteFileBytes(root + "\\emoji.txt", "\xEF\xBB\xBF" + simplified + u8"😀€");        // Big5 holds neither
  WriteFileBytes(root + "\\image.txt", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR\x01\x02", 18));
  WriteFileBytes(root + "\\empty.txt", "");
  WriteFileBytes(root + "\\page.html.gz", test::GzipBytes("<meta charset=gbk>" + FromUtf8(simplified)));
  const std::string gzip = test::GzipBytes(FromUtf8(simplified));
  WriteFileBytes(root + "\\cut.txt", gzip.substr(0, gzip.size() / 2));
  // Two names a file-name conversion maps onto one, and one it maps onto a new name.
  WriteFileBytes(root + W(u8"\\體.txt"), Utf8To(traditional.c_str(), Charset::Big5));
  WriteFileBytes(root + W(u8"\\体.txt"), FromUtf8(simplified));
  WriteFileBytes(root + W(u8"\\着.txt"), FromUtf8(simplified));
  WriteFileBytes(root + W(u8"\\sub\\网页.htm"), "<meta charset=\"utf-8\">" + simplified);
  const std::filesystem::path readOnly = test::ToFsPath(root + "\\readonly.txt");
  WriteFileBytes(root + "\\readonly.txt", FromUtf8(simplified));
  std::filesystem::permissions(
      readOnly,
      std::filesystem::perms::owner_write | std::filesystem::perms::group_write | std::filesystem::perms::others_write,
      std::filesystem::perm_options::remove);
#ifndef _WIN32
  // A second name of gbk.txt: one run converts one file once.
  std::filesystem::create_hard_link(test::ToFsPath(root + "\\gbk.txt"), test::ToFsPath(root + "\\second.txt"));
#endif
}

std::vector<FileResult> RunOnce(const std::string& root, const ConversionOptions& options, bool dryRun) {
  const FixedSettings settings(options);
  Unseen view;
  BatchState state;
  BatchRun run(state, settings, view);
  run.Begin(dryRun);
  run.RunFolder(root);
  return state.results;
}

TEST(DryRunTest, EveryFileHasTheOutcomeTheDryRunListed) {
  TempDir dir;
  const std::string fixture = dir.Join("fixture");
  MakeAdversarialFolder(fixture);
  int combination = 0;
  int refusals = 0;
  for (int script = 0; script <= static_cast<int>(ScriptConversion::Big5ToTraditional); ++script) {
    for (const EncodingChoice output :
         {EncodingChoice::Auto, EncodingChoice::Ansi, EncodingChoice::Utf8, EncodingChoice::Utf16Le}) {
      for (int flags = 0; flags < 8; ++flags) {
        ConversionOptions options;
        options.inputEncoding = flags & 4 ? EncodingChoice::Utf8 : EncodingChoice::Auto;
        options.outputEncoding = output;
        options.scriptConversion = static_cast<ScriptConversion>(script);
        options.convertFileName = (flags & 1) != 0;
        options.overwriteOriginal = (flags & 2) != 0;
        const std::string root = dir.Join("c" + std::to_string(combination++));
        std::filesystem::copy(test::ToFsPath(fixture), test::ToFsPath(root), std::filesystem::copy_options::recursive);
        const std::vector<FileResult> planned = RunOnce(root, options, true);
        const std::vector<FileResult> done = RunOnce(root, options, false);
        const std::string where = " (script " + std::to_string(script) + ", output " +
                                  std::to_string(static_cast<int>(output)) + ", flags " + std::to_string(flags) + ")";
        ASSERT_EQ(planned.size(), done.size()) << where;
        for (size_t i = 0; i < done.size(); ++i) {
          EXPECT_EQ(planned[i].source, done[i].source) << where;
          EXPECT_EQ(StatusWords(planned[i].status, false), StatusWords(done[i].status, false))
              << test::ToFsPath(done[i].source) << where;
          EXPECT_EQ(planned[i].output, done[i].output) << test::ToFsPath(done[i].source) << where;
          EXPECT_EQ(planned[i].readAs, done[i].readAs) << test::ToFsPath(done[i].source) << where;
          if (IsConverted(done[i].status)) {
            EXPECT_TRUE(test::PathExists(done[i].output)) << test::ToFsPath(done[i].output) << where;
          } else if (done[i].status != ConvertStatus::Duplicate) {
            ++refusals;
          }
        }
        std::filesystem::permissions(test::ToFsPath(root + "\\readonly.txt"), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
      }
    }
  }
  // The folder does meet refusals (the comparison is not only of conversions).
  EXPECT_GT(refusals, combination);
}

}  // namespace
}  // namespace cw::batch
