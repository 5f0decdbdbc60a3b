// What a run counts and says: every outcome counted once (converted, unchanged, failed),
// the completion line's counts, and folders that cannot be listed counted as failures
// with their reason, on real folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <cerrno>
#endif

#include "batch/batch_run.h"
#include "batch/batch_texts.h"
#include "platform/platform.h"
#include "support/deep_chain.h"
#include "support/temp_dir.h"

namespace cw::batch {
namespace {

using test::TempDir;
using test::W;
using test::WriteFileBytes;

class Settings : public RunSettings {
 public:
  void PassEncodings(EncodingChoice* input, EncodingChoice* output) const override {
    *input = EncodingChoice::Ansi;
    *output = EncodingChoice::Utf8;
  }
  std::string Filter() const override { return "*.*"; }
  bool SubFolders() const override { return true; }
  ConversionOptions FileOptions() const override {
    ConversionOptions options;
    options.inputEncoding = EncodingChoice::Ansi;
    options.outputEncoding = EncodingChoice::Utf8;
    return options;
  }
  bool Overwrite() const override { return false; }
};

class LastCaption : public RunView {
 public:
  void ShowStatus(const std::string& caption) override { last = caption; }
  void SetProgressMaximum(int) override {}
  void SetProgressPosition(int) override {}
  void SetOutputFolder(const std::string&) override {}
  std::string last;
};

class CountsTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::ClearInjectedFailures(); }
  std::string Root() const { return dir.Join("docs"); }
  std::string Done(const std::string& counts) const {
    return W(u8"转换完成！点击可打开目录：") + Root() + W(u8"(已转换)") + W(counts.c_str());
  }
  void Run() {
    run.Begin(false);
    run.RunFolder(Root());
    run.ShowCompletion();
  }
  // Every file met is counted once (but one met again), and so is every folder that
  // could not be listed; a run that was not stopped met every file it found.
  void ExpectEachCountedOnce() const {
    int folders = 0;
    int again = 0;
    for (const FileResult& result : state.results) {
      folders += result.status == ConvertStatus::FolderUnreadable;
      again += result.status == ConvertStatus::Duplicate;
    }
    EXPECT_EQ(state.converted + state.unchanged + state.failed, static_cast<int>(state.results.size()) - again);
    if (!state.stopRequested) {
      EXPECT_EQ(static_cast<int>(state.results.size()), state.found + folders);
    }
    EXPECT_EQ(static_cast<int>(state.failures.size()), state.failed);
  }

  TempDir dir;
  BatchState state;
  Settings settings;
  LastCaption view;
  BatchRun run{state, settings, view};
};

// Outcomes scripted in the order the files come (the listing's order does not matter):
// the counts and the line for each mix, and a stop that counts unchanged files as done.
TEST_F(CountsTest, EachOutcomeIsCountedOnceAndTheLineSaysWhatWasNotAPlainConversion) {
  using S = ConvertStatus;
  const struct {
    std::vector<S> outcomes;
    int stopAfter;  // 0: no stop
    const char* line;
  } rows[] = {
      {{S::Converted, S::Converted}, 0, u8""},
      {{S::Converted, S::Unchanged, S::Unchanged}, 0, u8"（1 个已转换，2 个无需转换）"},
      {{S::Unchanged, S::WriteFailed, S::Converted}, 0, u8"（1 个已转换，1 个无需转换，1 个失败）"},
      {{S::ConvertedWithLosses, S::Unchanged, S::Converted}, 0, u8"（2 个已转换，其中 1 个有损失，1 个无需转换）"},
      // A file met twice is neither: it was counted the first time.
      {{S::Unchanged, S::Duplicate}, 0, u8"（0 个已转换，1 个无需转换）"},
      {{S::Unchanged, S::Converted, S::Converted}, 2, u8"（1 个已转换，1 个无需转换）"},
  };
  for (const auto& row : rows) {
    std::filesystem::remove_all(test::ToFsPath(Root()));
    for (size_t i = 0; i < row.outcomes.size(); ++i) WriteFileBytes(Root() + "\\" + std::to_string(i) + ".txt", "x");
    size_t next = 0;
    run.SetConverter([&](const ConversionRequest& request, RunRecord*, bool) {
      FileWork work;
      work.result.source = request.source;
      work.result.status = row.outcomes[next++];
      state.stopRequested = row.stopAfter != 0 && static_cast<int>(next) == row.stopAfter;
      return work;
    });
    Run();
    const std::string expected =
        row.stopAfter == 0 ? Done(row.line)
                           : W(u8"已停止：完成 2/3。点击可打开目录：") + Root() + W(u8"(已转换)") + W(row.line);
    EXPECT_EQ(view.last, expected) << row.line;
    ExpectEachCountedOnce();
    // The result list names each unchanged file with its words and is not a failure.
    for (const FileResult& result : state.results) {
      if (result.status != S::Unchanged) continue;
      EXPECT_EQ(ResultRow(result, false)[2], W(u8"无需转换"));
      EXPECT_FALSE(IsFailure(result.status));
    }
  }
}

// Whether the system denies this process the listing of a folder without permissions
// (root, and Windows, read it all the same).
bool ChmodDenies(const std::string& folder) {
  std::filesystem::permissions(test::ToFsPath(folder), std::filesystem::perms::none);
  std::vector<platform::DirEntry> entries;
  return platform::FindEntries(folder + "\\*", &entries) == platform::Status::AccessDenied;
}

// A folder of the run that cannot be listed is one failure, with the folder as its entry
// and the reason in the result list; what a listing cut short found is converted; a top
// folder that cannot be listed is no folder without matches.
TEST_F(CountsTest, FolderThatCannotBeListedIsOneCountedFailureWithItsReason) {
  const std::string generic = ConvertStatusReason(ConvertStatus::FolderUnreadable);
  const struct {
    const char* name;
    std::function<std::string()> arrange;  // the folder that will not list, or empty to skip the row
    const char* reason;                    // null: the generic one
    int converted;                         // -1: what the cut listing found
  } rows[] = {
      {"top folder, no permission",
       [&] {
         WriteFileBytes(Root() + "\\a.txt", "x");
         platform::InjectFailure(platform::Operation::Find, 1, platform::Status::AccessDenied);
         platform::InjectFailure(platform::Operation::Find, 2, platform::Status::AccessDenied);
         return Root();
       },
       u8"没有权限", 0},
      {"sub-folder, no permission",
       [&] {
         std::string locked = Root() + "\\locked";
         WriteFileBytes(locked + "\\b.txt", "x");
         // As root (or on Windows) the listing is refused the way the system refuses it:
         // the folder's two listings are the third and fourth (no file is written before).
         if (!ChmodDenies(locked)) {
           std::filesystem::permissions(test::ToFsPath(locked), std::filesystem::perms::owner_all);
           platform::InjectFailure(platform::Operation::Find, 3, platform::Status::AccessDenied);
           platform::InjectFailure(platform::Operation::Find, 4, platform::Status::AccessDenied);
         }
         return locked;
       },
       u8"没有权限", 0},
      {"listing cut short",
       [&] {
         for (int i = 0; i < 6; ++i) WriteFileBytes(Root() + "\\more" + std::to_string(i) + ".txt", "x");
#ifdef _WIN32
         platform::InjectSystemError("FindNextFileW", 31, 5);  // ERROR_GEN_FAILURE
#else
         platform::InjectSystemError("readdir", EIO, 5);
#endif
         return Root();
       },
       nullptr, -1},
  };
  for (const auto& row : rows) {
    std::filesystem::remove_all(test::ToFsPath(Root()));
    std::filesystem::create_directories(test::ToFsPath(Root()));
    const std::string unlisted = row.arrange();
    Run();
    std::error_code ignored;
    std::filesystem::permissions(test::ToFsPath(Root() + "\\locked"), std::filesystem::perms::owner_all, ignored);
    ASSERT_EQ(state.failures.size(), 1u) << row.name;
    EXPECT_EQ(state.failures[0].path, unlisted) << row.name;
    EXPECT_EQ(state.failures[0].status, ConvertStatus::FolderUnreadable) << row.name;
    const int converted = row.converted >= 0 ? row.converted : state.found;
    if (row.converted < 0) {
      EXPECT_TRUE(state.found >= 1 && state.found < 6) << state.found;
    }
    EXPECT_EQ(state.converted, converted) << row.name;
    EXPECT_EQ(view.last, Done(u8"（" + std::to_string(converted) + u8" 个已转换，1 个失败）")) << row.name;
    ExpectEachCountedOnce();
    const FileResult* folder = nullptr;
    for (const FileResult& result : state.results) {
      if (result.source == unlisted) folder = &result;
    }
    ASSERT_NE(folder, nullptr) << row.name;
    EXPECT_EQ(ResultRow(*folder, false)[2], W(u8"无法列出文件夹"));
    EXPECT_EQ(ReasonWords(*folder), row.reason ? W(row.reason) : generic) << row.name;
    platform::ClearInjectedFailures();
  }
}

#ifndef _WIN32
TEST_F(CountsTest, FolderBeyondTheLongestPathIsOneFailureSayingThePathIsTooLong) {
  WriteFileBytes(Root() + "\\a.txt", "x");
  const test::DeepChain chain(test::ToFsPath(Root()).string(), 22);
  ASSERT_TRUE(chain.Made());
  Run();
  ASSERT_EQ(state.failures.size(), 1u);
  EXPECT_EQ(state.failures[0].status, ConvertStatus::FolderUnreadable);
  EXPECT_GT(state.failures[0].path.size(), 4096u);
  EXPECT_EQ(ReasonWords(state.results.back()), W(u8"路径太长"));
  EXPECT_EQ(state.converted, 1);
  EXPECT_EQ(view.last, Done(u8"（1 个已转换，1 个失败）"));
}
#endif

}  // namespace
}  // namespace cw::batch
