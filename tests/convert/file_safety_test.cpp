// Ways a conversion could cost the user a file, each tried on real files: an output that
// is the source under another spelling, partial gzip data, a file changed meanwhile, the
// identity of a replaced file, names taken or written twice in one run, temporary files.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "convert/convert_file.h"
#include "convert/gzip_input.h"
#include "convert/gzip_test_util.h"
#include "platform/platform.h"
#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#undef DeleteFile

#include "platform/win32/system_calls.h"
#else
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/system_calls.h"
#endif

namespace cw {
namespace {

using test::W;

const std::string kGbk = "\xD6\xD0\xCE\xC4\r\n";           // 中文
const std::string kUtf8 = "\xE4\xB8\xAD\xE6\x96\x87\r\n";  // the same as UTF-8

ConversionOptions ToUtf8Options(bool overwrite) {
  ConversionOptions options;
  options.inputEncoding = EncodingChoice::Ansi;
  options.outputEncoding = EncodingChoice::Utf8;
  options.withoutBom = true;
  options.overwriteOriginal = overwrite;
  return options;
}

class FileSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override { RunIdentity(); }  // its lock file is no Write of a conversion
  void TearDown() override {
    platform::SetPumpHook(nullptr);
    platform::ClearInjectedFailures();
  }
  std::string Put(const std::string& name, const std::string& bytes) {
    const std::string path = dir_.Join(name);
    test::WriteFileBytes(path, bytes);
    return path;
  }
  // The names in the folder, to see that no temporary file was left.
  std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(test::ToFsPath(folder))) {
      names.push_back(entry.path().filename().u8string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  test::TempDir dir_;
};

TEST_F(FileSafetyTest, AnOutputThatIsTheSourceUnderAnotherSpellingIsNeverCutAtAZero) {
  // Not overwriting, but the output path leads to the source itself; small, and larger
  // than a streamed piece (which is only looked through for zeros when at stake).
  const std::string header = std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
  for (const std::string& png : {header, header + std::string(1200u << 10, 'x')}) {
    const std::string source = Put("img.png", png);
    std::string output = dir_.Join(".\\img.png");
    EXPECT_EQ(ConvertFile(source, output, ToUtf8Options(false)), ConvertStatus::NotText);
    EXPECT_EQ(test::ReadFileBytes(source), png);
#ifndef _WIN32
    // An output folder that is a link back to the source folder.
    if (!std::filesystem::exists(test::ToFsPath(dir_.Join("out")))) {
      std::filesystem::create_directory_symlink(test::ToFsPath(dir_.Path()), test::ToFsPath(dir_.Join("out")));
    }
    output = dir_.Join("out\\img.png");
    EXPECT_EQ(ConvertFile(source, output, ToUtf8Options(false)), ConvertStatus::NotText);
    EXPECT_EQ(test::ReadFileBytes(source), png);
#endif
  }
}

TEST_F(FileSafetyTest, OnlyACompleteGzipStreamIsConverted) {
  const std::string gz = test::GzipBytes(kGbk);
  std::string corrupt = gz;
  corrupt[corrupt.size() - 6] ^= 1;  // the CRC
  const struct {
    const char* name;
    std::string bytes;
    ConvertStatus status;
    std::string converted;  // the output of a converted file
  } cases[] = {
      {"complete.gz", gz + test::GzipBytes(kGbk), ConvertStatus::Converted, kUtf8 + kUtf8},
      // An empty text is what an empty member holds, not the compressed bytes.
      {"empty.gz", test::GzipBytes(""), ConvertStatus::Converted, ""},
      {"trailing.gz", gz + "plain text after it", ConvertStatus::GzipTrailingData, ""},
      {"truncated.gz", gz.substr(0, gz.size() - 5), ConvertStatus::GzipTruncated, ""},
      {"badcrc.gz", corrupt, ConvertStatus::GzipCorrupt, ""},
      {"notgzip.gz", "\x1F\x8B not gzip at all", ConvertStatus::GzipCorrupt, ""},
  };
  for (const auto& c : cases) {
    std::string writtenElsewhere;
    for (const bool overwrite : {false, true}) {
      const std::string source = Put(c.name, c.bytes);
      std::string output = overwrite ? source : dir_.Join(std::string("out\\") + c.name);
      // Over itself, a file whose conversion is its own bytes (an empty member compresses
      // to what it was) is not written.
      const bool same = overwrite && c.status == ConvertStatus::Converted && writtenElsewhere == c.bytes;
      EXPECT_EQ(ConvertFile(source, output, ToUtf8Options(overwrite)), same ? ConvertStatus::Unchanged : c.status)
          << c.name;
      if (c.status == ConvertStatus::Converted) {
        // Compressed in, compressed out: the name and the content agree.
        if (!overwrite) writtenElsewhere = test::ReadFileBytes(output);
        const GunzipResult written = Gunzip(test::ReadFileBytes(output));
        EXPECT_EQ(written.status, GunzipStatus::Complete) << c.name;
        EXPECT_EQ(written.bytes, c.converted) << c.name;
      } else {
        EXPECT_EQ(test::ReadFileBytes(source), c.bytes) << c.name;
        EXPECT_TRUE(overwrite || !test::PathExists(output)) << c.name;
      }
    }
  }
}

TEST_F(FileSafetyTest, ASourceChangedWhileConvertingIsLeftAsItIs) {
  // Another program appends to the log between our read and our write.
  const std::string source = Put("app.log", kGbk);
  platform::SetPumpHook([&] {
    platform::SetPumpHook(nullptr);
    std::filesystem::resize_file(test::ToFsPath(source), kGbk.size() + 3);
  });
  std::string output = source;
  EXPECT_EQ(ConvertFile(source, output, ToUtf8Options(true)), ConvertStatus::SourceChanged);
  EXPECT_EQ(test::ReadFileBytes(source), kGbk + std::string(3, '\0'));
  EXPECT_EQ(Names(dir_.Path()), std::vector<std::string>{"app.log"});
}

// A replace that fails after it has removed the replaced file, as Windows' can.
#ifdef _WIN32
BOOL WINAPI RemoveReplacedThenFail(LPCWSTR replaced, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) {
  DeleteFileW(replaced);
  SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
  return FALSE;
}
void BreakTheNextReplace() {
  platform::win32::Sys().ReplaceFileW.Replace(&RemoveReplacedThenFail);
  ASSERT_TRUE(platform::InjectSystemError("MoveFileExW", ERROR_SHARING_VIOLATION));  // its fallback move too
}
#else
int RemoveTargetThenFail(const char*, const char* to) {
  unlink(to);
  errno = EIO;
  return -1;
}
void BreakTheNextReplace() { platform::posix::Sys().rename.Replace(&RemoveTargetThenFail); }
#endif

TEST_F(FileSafetyTest, AReplaceThatLosesTheOriginalHalfWayStillLeavesTheOutput) {
  const std::string source = Put("notes.txt", kGbk);
  BreakTheNextReplace();
  std::string output = source;
  EXPECT_EQ(ConvertFile(source, output, ToUtf8Options(true)), ConvertStatus::Converted);
  EXPECT_EQ(test::ReadFileBytes(source), kUtf8);
  EXPECT_EQ(Names(dir_.Path()), std::vector<std::string>{"notes.txt"});
}

TEST_F(FileSafetyTest, ALongNameCanBeOverwritten) {
  // 250 bytes: a temporary name made by appending to it would pass the name limit.
  const std::string source = Put(std::string(246, 'n') + ".txt", kGbk);
  std::string output = source;
  EXPECT_EQ(ConvertFile(source, output, ToUtf8Options(true)), ConvertStatus::Converted);
  EXPECT_EQ(test::ReadFileBytes(source), kUtf8);
}

#ifndef _WIN32
TEST_F(FileSafetyTest, OverwritingKeepsModeLinksAndSymbolicLinks) {
  const std::string script = Put("run.sh", kGbk);
  const std::string secret = Put("secret.txt", kGbk);
  ::chmod(test::ToFsPath(script).c_str(), 0755);
  ::chmod(test::ToFsPath(secret).c_str(), 0600);
  const std::string linked = Put("linked.txt", kGbk);
  std::filesystem::create_hard_link(test::ToFsPath(linked), test::ToFsPath(dir_.Join("other-name.txt")));
  const std::string target = Put("target.txt", kGbk);
  std::filesystem::create_symlink("target.txt", test::ToFsPath(dir_.Join("link.txt")));

  for (const char* name : {"run.sh", "secret.txt", "linked.txt", "link.txt"}) {
    std::string output = dir_.Join(name);
    EXPECT_EQ(ConvertFile(output, output, ToUtf8Options(true)), ConvertStatus::Converted) << name;
  }
  struct stat st;
  ASSERT_EQ(::stat(test::ToFsPath(script).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  ASSERT_EQ(::stat(test::ToFsPath(secret).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  // Both names of the hard-linked file still name one file, now converted.
  ASSERT_EQ(::stat(test::ToFsPath(linked).c_str(), &st), 0);
  EXPECT_EQ(st.st_nlink, 2u);
  EXPECT_EQ(test::ReadFileBytes(dir_.Join("other-name.txt")), kUtf8);
  // The link is still a link, and its target is what was converted.
  EXPECT_TRUE(std::filesystem::is_symlink(test::ToFsPath(dir_.Join("link.txt"))));
  EXPECT_EQ(test::ReadFileBytes(target), kUtf8);
  EXPECT_EQ(Names(dir_.Path()), (std::vector<std::string>{"link.txt", "linked.txt", "other-name.txt", "run.sh",
                                                          "secret.txt", "target.txt"}));
}

TEST_F(FileSafetyTest, APipeIsRefusedWithoutWaiting) {
  const std::string pipe = dir_.Join("fifo.txt");
  ASSERT_EQ(::mkfifo(test::ToFsPath(pipe).c_str(), 0644), 0);
  std::string output = dir_.Join("out\\fifo.txt");
  EXPECT_EQ(ConvertFile(pipe, output, ToUtf8Options(false)), ConvertStatus::Unreadable);
  EXPECT_FALSE(test::PathExists(output));
}
#endif

#ifdef _WIN32
TEST_F(FileSafetyTest, OverwritingKeepsHiddenAndSystemAttributes) {
  const std::string source = Put("hidden.txt", kGbk);
  const std::wstring wide = test::ToFsPath(source).wstring();
  ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  std::string output = source;
  EXPECT_EQ(ConvertFile(source, output, ToUtf8Options(true)), ConvertStatus::Converted);
  EXPECT_EQ(test::ReadFileBytes(source), kUtf8);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  EXPECT_EQ(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM});

  SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
}
#endif

TEST_F(FileSafetyTest, PathsPastTheOldLimitConvert) {
  // Seven folders of 40 characters: about 300 in all, past MAX_PATH on Windows.
  std::string deep = dir_.Path();
  for (int i = 0; i < 7; ++i) deep += "\\" + std::string(40, static_cast<char>('a' + i));
  const std::string source = deep + "\\deep.txt";
  ASSERT_GT(source.size(), 280u);
  std::string output = deep + "\\out\\deep.txt";
  std::vector<std::string> created;
  ASSERT_TRUE(CreateParentDirectories(source, &created));
  std::unique_ptr<platform::NewFile> file;
  ASSERT_EQ(platform::CreateNewFile(source, &file), platform::Status::Ok);
  ASSERT_EQ(file->Write(kGbk), platform::Status::Ok);
  ASSERT_EQ(file->Close(), platform::Status::Ok);
  EXPECT_EQ(ConvertFile(source, output, ToUtf8Options(false)), ConvertStatus::Converted);
  std::string bytes;
  EXPECT_EQ(platform::ReadWholeFile(output, &bytes), platform::Status::Ok);
  EXPECT_EQ(bytes, kUtf8);
  output = source;
  EXPECT_EQ(ConvertFile(source, output, ToUtf8Options(true)), ConvertStatus::Converted) << platform::LastError();
  EXPECT_EQ(platform::ReadWholeFile(source, &bytes), platform::Status::Ok);
  EXPECT_EQ(bytes, kUtf8);
  // The temporary folder's own removal cannot take such paths everywhere: clear it here.
  for (const std::string& path : {output, deep + "\\out\\deep.txt"}) platform::DeleteFile(path);
}

TEST_F(FileSafetyTest, OneRunConvertsAFileOnceAndWritesAnOutputOnce) {
  const std::string source = Put("a.txt", kGbk);
  RunRecord run;
  std::string output = source;
  EXPECT_EQ(ConvertFile(source, output, ToUtf8Options(true), &run), ConvertStatus::Converted);
  // The same file again, under another spelling: ANSI to UTF-8 twice would damage it.
  output = dir_.Join(".\\a.txt");
  EXPECT_EQ(ConvertFile(output, output, ToUtf8Options(true), &run), ConvertStatus::Duplicate);
  EXPECT_EQ(test::ReadFileBytes(source), kUtf8);

  // Two sources whose outputs meet: the second is refused. An output left by an
  // earlier run is replaced as before.
  const std::string one = Put("one.txt", kGbk);
  const std::string two = Put("two.txt", "ab");
  Put("out\\same.txt", "from an earlier run");
  std::string first = dir_.Join("out\\same.txt");
  std::string second = first;
  EXPECT_EQ(ConvertFile(one, first, ToUtf8Options(false), &run), ConvertStatus::Converted);
  EXPECT_EQ(ConvertFile(two, second, ToUtf8Options(false), &run), ConvertStatus::NameTaken);
  EXPECT_EQ(test::ReadFileBytes(first), kUtf8);
}

TEST_F(FileSafetyTest, OverwriteUnderANewNameNeverTakesAnotherFilesName) {
  // 乾 and 幹 both become 干, which exists: only 干 itself is converted.
  const std::string gan1 = Put(W(u8"乾.txt"), "1");
  const std::string gan2 = Put(W(u8"幹.txt"), "2");
  const std::string gan3 = Put(W(u8"干.txt"), "3");
  ConversionOptions options = ToUtf8Options(true);
  options.scriptConversion = ScriptConversion::TraditionalToSimplified;
  options.convertFileName = true;
  RunRecord run;
  std::vector<ConvertStatus> statuses;
  for (const std::string& path : {gan1, gan2, gan3}) {
    std::string output = path;
    statuses.push_back(ConvertFile(path, output, options, &run));
  }
  EXPECT_EQ(statuses,
            (std::vector<ConvertStatus>{ConvertStatus::NameTaken, ConvertStatus::NameTaken, ConvertStatus::Unchanged}));
  EXPECT_EQ(test::ReadFileBytes(gan1), "1");
  EXPECT_EQ(test::ReadFileBytes(gan2), "2");
  EXPECT_EQ(test::ReadFileBytes(gan3), "3");
}

TEST_F(FileSafetyTest, TemporariesGoOnlyWhenTheirRunHasEnded) {
  // A run that has ended: its lock file is there and free. One alive: this process's.
  std::unique_ptr<platform::RunLock> lock;
  ASSERT_EQ(platform::AcquireRunLock(platform::DefaultRunLockFolder(), &lock), platform::Status::Ok);
  const std::string ended = lock->Id();
  const std::string lockPath = platform::DefaultRunLockFolder() + "\\" + ended + ".lock";
  lock.reset();
  test::WriteFileBytes(lockPath, "");  // as a killed run leaves it: there, held by nobody
  const std::string alive = RunIdentity();
  const struct {
    std::string name;
    bool temporary;  // never listed as a user's file
    bool goes;
  } rows[] = {
      {"~cw" + ended + "-1a.tmp", true, true},
      {"~CW" + ended + "-2.TMP", true, true},      // the letters in either case
      {"~cw" + ended + "-3.tmp.old", true, true},  // old bytes with no journal: the file was never touched
      {"~cw" + ended + "-3.tmp.undo", true, false},
      {"~cw" + alive + "-4.tmp", true, false},     // its run is alive
      {"~cw0123456789abcdef-5.tmp", true, false},  // no lock file: a run of another machine
      {"~cw0123abcd.tmp", true, false},            // an earlier version's: no owner can be proved ended
      {"page.html.cw~12.tmp", true, false},
      {"~cwundo-" + ended + "-1.jnl", true, false},  // the undo's, and only the undo's
      {"~cwundo.jnl", false, false},
      {"~cw" + ended + "-x.tmp", false, false},
      {"~cw" + ended + ".tmp", false, false},
      {"~cw0123abcz.tmp", false, false},
      {"notes.cw~.tmp", false, false},
      {"~cw1.tmp", false, false},
  };
  std::vector<std::string> staying;
  for (const auto& row : rows) {
    EXPECT_EQ(IsTemporaryName(row.name), row.temporary) << row.name;
    Put(row.name, "x");
    if (!row.goes) staying.push_back(row.name);
  }
  EXPECT_EQ(RemoveStaleTemporaries(dir_.Path()), 2);
  std::sort(staying.begin(), staying.end());
  EXPECT_EQ(Names(dir_.Path()), staying);
  platform::DeleteFile(lockPath);
}

}  // namespace
}  // namespace cw
