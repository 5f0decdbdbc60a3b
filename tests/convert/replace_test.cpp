// The last steps of a write over an original, each tried on a real file: bytes that
// would not change are not written, another program's change at the very last moment
// (during the flush) is seen, or kept out where the original is held against writers
// (Windows), and a flush that fails writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "convert/convert_file.h"
#include "convert/plan.h"
#include "convert/replace_group.h"
#include "convert/undo.h"
#include "platform/platform.h"
#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/system_calls.h"
#else
#include <unistd.h>

#include "platform/posix/system_calls.h"
#endif

namespace cw {
namespace {

const std::string kGbk = "\xD6\xD0\xCE\xC4\r\n";  // 中文
const std::string kUtf8 = "\xE4\xB8\xAD\xE6\x96\x87\r\n";

// What happens at the flush of the temporary: nothing, another program appends to the
// original, or the flush fails.
enum class AtFlush { Nothing, OriginalAppended, Fails };

std::string appendTo;  // the original the stand-in appends to
bool appendRefused = false;
void AppendToOriginal() {
  if (appendTo.empty()) return;
  std::error_code error;
  std::filesystem::resize_file(test::ToFsPath(appendTo), std::filesystem::file_size(test::ToFsPath(appendTo)) + 2,
                               error);
  appendRefused = static_cast<bool>(error);
  appendTo.clear();
}
// Only Windows can hold an original against other programs' writes.
#ifdef _WIN32
constexpr bool kHoldKeepsWritersOut = true;
#else
constexpr bool kHoldKeepsWritersOut = false;
#endif
#ifdef _WIN32
BOOL WINAPI AppendThenFlush(HANDLE file) {
  AppendToOriginal();
  return ::FlushFileBuffers(file);
}
void ChangeAtFlush() { platform::win32::Sys().FlushFileBuffers.Replace(&AppendThenFlush); }
const char* const kFlushCall = "FlushFileBuffers";
#else
int AppendThenFlush(int fd) {
  AppendToOriginal();
  return ::fsync(fd);
}
void ChangeAtFlush() { platform::posix::Sys().fsync.Replace(&AppendThenFlush); }
const char* const kFlushCall = "fsync";
#endif

class ReplaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RunIdentity();
    undo::BeginRun();
  }
  void TearDown() override {
    undo::EndRun();  // lets go of the undo journals
    platform::ClearInjectedFailures();
    platform::AssumeHeldFilesCanBeReplaced(false);
    appendTo.clear();
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(test::ToFsPath(dir_.Path()))) {
      names.push_back(entry.path().filename().u8string());
    }
    return names;
  }
  test::TempDir dir_;
};

TEST_F(ReplaceTest, TheLastStepsOverAnOriginal) {
  const struct Row {
    const char* what;
    std::string bytes;
    EncodingChoice input;
    AtFlush atFlush;
    ConvertStatus status;
    std::string after;  // the original's bytes afterwards (before an append)
    // Held against writers from the read to the replace, and kept for undo. Wine (like
    // Windows before POSIX renames) refuses the replace of a held file: then the hold
    // goes, the original is checked again, and the replace is made after all.
    bool held = false, keptForUndo = false;
  } rows[] = {
      {"pure ASCII, 自动 to UTF-8", "plain ASCII\r\n", EncodingChoice::Auto, AtFlush::Nothing, ConvertStatus::Unchanged,
       "plain ASCII\r\n"},
      {"UTF-8 already, 自动 to UTF-8", kUtf8, EncodingChoice::Auto, AtFlush::Nothing, ConvertStatus::Unchanged, kUtf8},
      {"empty, 自动 to UTF-8", "", EncodingChoice::Auto, AtFlush::Nothing, ConvertStatus::Unchanged, ""},
      {"GBK to UTF-8", kGbk, EncodingChoice::Ansi, AtFlush::Nothing, ConvertStatus::Converted, kUtf8},
      {"appended to at the flush", kGbk, EncodingChoice::Ansi, AtFlush::OriginalAppended, ConvertStatus::SourceChanged,
       kGbk},
      {"the flush fails", kGbk, EncodingChoice::Ansi, AtFlush::Fails, ConvertStatus::WriteFailed, kGbk},
      // A file that only begins like its conversion is written whole.
      {"ASCII, then GBK", "ASCII first " + kGbk, EncodingChoice::Ansi, AtFlush::Nothing, ConvertStatus::Converted,
       "ASCII first " + kUtf8},
      {"held, GBK to UTF-8", kGbk, EncodingChoice::Ansi, AtFlush::Nothing, ConvertStatus::Converted, kUtf8, true},
      {"held and kept for undo, GBK to UTF-8", kGbk, EncodingChoice::Ansi, AtFlush::Nothing, ConvertStatus::Converted,
       kUtf8, true, true},
      {"held, appended to at the flush", kGbk, EncodingChoice::Ansi, AtFlush::OriginalAppended,
       kHoldKeepsWritersOut ? ConvertStatus::Converted : ConvertStatus::SourceChanged,
       kHoldKeepsWritersOut ? kUtf8 : kGbk, true},
      {"held and kept for undo, appended to at the flush", kGbk, EncodingChoice::Ansi, AtFlush::OriginalAppended,
       kHoldKeepsWritersOut ? ConvertStatus::Converted : ConvertStatus::SourceChanged,
       kHoldKeepsWritersOut ? kUtf8 : kGbk, true, true},
  };
  int n = 0;
  for (const Row& row : rows) {
    const std::string path = dir_.Join("f" + std::to_string(n++) + ".txt");
    test::WriteFileBytes(path, row.bytes);
    platform::FileInfo before, after;
    ASSERT_EQ(platform::QueryFile(path, &before), platform::Status::Ok);
    ConversionOptions options;
    options.inputEncoding = row.input;
    options.outputEncoding = EncodingChoice::Utf8;
    options.withoutBom = true;
    options.overwriteOriginal = true;
    // The dry run says what the run does.
    ConversionPlan preview = PlanConversion(ConversionRequest{path, path, options});
    EXPECT_EQ(Preview(preview), row.atFlush == AtFlush::Nothing ? row.status : ConvertStatus::Converted) << row.what;
    if (row.atFlush == AtFlush::OriginalAppended) {
      appendTo = path;
      ChangeAtFlush();
    }
    if (row.atFlush == AtFlush::Fails) {
      ASSERT_TRUE(platform::InjectSystemError(kFlushCall, 5));
    }
    platform::AssumeHeldFilesCanBeReplaced(row.held);
    ConversionRequest request{path, path, options};
    request.keepForUndo = row.keptForUndo;
    ConversionPlan plan = PlanConversion(request);
    EXPECT_EQ(Execute(plan), row.status) << row.what;
    plan = ConversionPlan{};  // lets go of the original
    platform::ClearInjectedFailures();
    platform::AssumeHeldFilesCanBeReplaced(false);
    const bool appended = row.atFlush == AtFlush::OriginalAppended && !(row.held && kHoldKeepsWritersOut);
    EXPECT_EQ(appendRefused, row.atFlush == AtFlush::OriginalAppended && row.held && kHoldKeepsWritersOut) << row.what;
    appendRefused = false;
    EXPECT_EQ(test::ReadFileBytes(path), row.after + (appended ? std::string(2, '\0') : "")) << row.what;
    ASSERT_EQ(platform::QueryFile(path, &after), platform::Status::Ok);
    // Not written is not touched: the same file, size and time.
    if (row.status == ConvertStatus::Unchanged) {
      EXPECT_TRUE(after.SameContentAs(before)) << row.what;
    }
  }
  // No temporary is left behind, whatever happened; what an undo keeps is its own.
  size_t users = 0;
  for (const std::string& name : Names()) {
    EXPECT_FALSE(name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) << name;
    users += name.rfind("~cw", 0) != 0;
  }
  EXPECT_EQ(users, std::size(rows));
}

}  // namespace
}  // namespace cw

namespace cw {
namespace {

// Replaces in a group: each file waits, written, until the group is full or committed;
// whatever happens meanwhile or at the commit, each file ends as its original (counted
// as failed, or changed by the other program) or as its conversion, the group's undo
// gives back every original it replaced, and no temporary stays.
TEST_F(ReplaceTest, AGroupOfReplacesEndsEachFileAsItsOriginalOrItsConversion) {
#ifdef _WIN32
  const char* const volumeFlush = nullptr;  // none: each file is flushed by itself
  const char* const fileFlush = "FlushFileBuffers";
#else
  const char* const volumeFlush = "syncfs";
  const char* const fileFlush = "fsync";
#endif
  enum class Event { Nothing, SecondAppendedMeanwhile, VolumeFlushFails, EveryFlushFails };
  const struct Row {
    const char* what;
    Event event;
    std::vector<ConvertStatus> statuses;  // of the five files
  } rows[] = {
      {"nothing happens", Event::Nothing, std::vector<ConvertStatus>(5, ConvertStatus::Converted)},
      {"another program appends to the second meanwhile",
       Event::SecondAppendedMeanwhile,
       {ConvertStatus::Converted, ConvertStatus::SourceChanged, ConvertStatus::Converted, ConvertStatus::Converted,
        ConvertStatus::Converted}},
      {"the volume cannot be flushed whole", Event::VolumeFlushFails,
       std::vector<ConvertStatus>(5, ConvertStatus::Converted)},
      {"no flush succeeds", Event::EveryFlushFails, std::vector<ConvertStatus>(5, ConvertStatus::WriteFailed)},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const test::TempDir folder;
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) {
      paths.push_back(folder.Join("f" + std::to_string(n++) + ".txt"));
      test::WriteFileBytes(paths.back(), kGbk + std::to_string(i));
    }
    undo::BeginRun();
    ReplaceGroup group(3);  // full at the third
    std::vector<std::shared_ptr<ReplaceOutcome>> outcomes;
    for (const std::string& path : paths) {
      ConversionOptions options;
      options.inputEncoding = EncodingChoice::Ansi;
      options.outputEncoding = EncodingChoice::Utf8;
      options.withoutBom = true;
      options.overwriteOriginal = true;
      ConversionRequest request{path, path, options};
      request.keepForUndo = true;
      request.replaceGroup = &group;
      ConversionPlan plan = PlanConversion(request);
      ASSERT_EQ(Execute(plan), ConvertStatus::Converted);
      ASSERT_TRUE(plan.pendingReplace);
      outcomes.push_back(plan.pendingReplace);
      if (outcomes.size() == 2 && row.event == Event::SecondAppendedMeanwhile) {
        test::WriteFileBytes(path, kGbk + "1 appended");
      }
    }
    // The first three were replaced as the third came; the other two wait.
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(outcomes[i]->settled, i < 3) << i;
    if (row.event == Event::VolumeFlushFails && volumeFlush) {
      ASSERT_TRUE(platform::InjectSystemError(volumeFlush, 5, 1, platform::kEveryCall));
    }
    if (row.event == Event::EveryFlushFails) {
      if (volumeFlush) {
        ASSERT_TRUE(platform::InjectSystemError(volumeFlush, 5, 1, platform::kEveryCall));
      }
      ASSERT_TRUE(platform::InjectSystemError(fileFlush, 5, 1, platform::kEveryCall));
    }
    group.Commit();
    platform::ClearInjectedFailures();
    undo::EndRun();
    // The rows' events come after the first three were replaced.
    for (size_t i = 0; i < 5; ++i) {
      group.Settle(*outcomes[i]);
      const ConvertStatus expected =
          i < 3 && row.event != Event::SecondAppendedMeanwhile ? ConvertStatus::Converted : row.statuses[i];
      EXPECT_EQ(outcomes[i]->status, expected) << i;
      const std::string original =
          i == 1 && row.event == Event::SecondAppendedMeanwhile ? kGbk + "1 appended" : kGbk + std::to_string(i);
      const std::string converted = kUtf8 + std::to_string(i);
      EXPECT_EQ(test::ReadFileBytes(paths[i]), expected == ConvertStatus::Converted ? converted : original) << i;
    }
    // Undo gives back every original the group replaced.
    const undo::Result undone = undo::UndoFolder(folder.Path(), false);
    EXPECT_TRUE(undone.failed.empty() && undone.changed.empty());
    for (size_t i = 0; i < 5; ++i) {
      EXPECT_EQ(test::ReadFileBytes(paths[i]),
                i == 1 && row.event == Event::SecondAppendedMeanwhile ? kGbk + "1 appended" : kGbk + std::to_string(i))
          << i;
    }
    for (const auto& entry : std::filesystem::directory_iterator(test::ToFsPath(folder.Path()))) {
      EXPECT_NE(entry.path().filename().u8string().rfind("~cw", 0), 0u) << entry.path().filename().u8string();
    }
  }
}

}  // namespace
}  // namespace cw
