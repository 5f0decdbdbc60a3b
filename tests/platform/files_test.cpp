// Whole-file reads and writes, folders, deletes, moves and attributes on real files.
#include <filesystem>
#include <system_error>

#include "platform_fixture.h"

namespace cw::platform {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::ToFsPath;
using test::WriteFileBytes;

void MakeReadOnly(const std::string& path) {
  fs::permissions(ToFsPath(path), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

class FilesTest : public PlatformTest {};

TEST_F(FilesTest, WholeFileRoundTripKeepsEveryByte) {
  const std::string bytes(
      "a\0b\x1A"
      "c\r\n\xFF\xD6\xD0",
      10);
  const std::string path = Path("data.bin");
  ASSERT_EQ(WriteWholeFile(path, bytes), Status::Ok);
  EXPECT_EQ(ReadFileBytes(path), bytes);
  std::string read;
  ASSERT_EQ(ReadWholeFile(path, &read), Status::Ok);
  EXPECT_EQ(read, bytes);

  // Writing again truncates: nothing of the longer content survives.
  ASSERT_EQ(WriteWholeFile(path, "xy"), Status::Ok);
  EXPECT_EQ(ReadFileBytes(path), "xy");

  ASSERT_EQ(WriteWholeFile(path, ""), Status::Ok);
  EXPECT_TRUE(test::PathExists(path));
  read = "stale";
  ASSERT_EQ(ReadWholeFile(path, &read), Status::Ok);
  EXPECT_EQ(read, "");
}

TEST_F(FilesTest, MissingFilesAndFoldersAreNotFound) {
  std::string read = "stale";
  EXPECT_EQ(ReadWholeFile(Path("missing.txt"), &read), Status::NotFound);
  EXPECT_EQ(read, "");
  EXPECT_EQ(WriteWholeFile(Path("no\\such\\folder.txt"), "x"), Status::NotFound);
  EXPECT_EQ(DeleteFile(Path("missing.txt")), Status::NotFound);
  EXPECT_EQ(MoveReplace(Path("missing.txt"), Path("to.txt")), Status::NotFound);
  EXPECT_FALSE(Exists(Path("missing.txt")));
  EXPECT_EQ(GetAttributes(Path("missing.txt")), kInvalidAttributes);
}

TEST_F(FilesTest, PathsTheSystemCannotNameAreRefused) {
  // A lone lead byte and an embedded zero would open some other file.
  EXPECT_EQ(WriteWholeFile(Path("bad\x81"), "x"), Status::InvalidPath);
  EXPECT_EQ(WriteWholeFile(Path(std::string("a\0b", 3)), "x"), Status::InvalidPath);
  EXPECT_FALSE(test::PathExists(Path("a")));
  std::string read;
  EXPECT_EQ(ReadWholeFile("", &read), Status::InvalidPath);
  EXPECT_EQ(CreateFolder(Path("a*b")), Status::InvalidPath);
}

TEST_F(FilesTest, CreateFolderNeedsItsParent) {
  ASSERT_EQ(CreateFolder(Path("out")), Status::Ok);
  EXPECT_NE(GetAttributes(Path("out")) & kAttrDirectory, 0u);
  EXPECT_EQ(CreateFolder(Path("out")), Status::AlreadyExists);
  EXPECT_EQ(CreateFolder(Path("missing\\child")), Status::NotFound);
  EXPECT_FALSE(test::PathExists(Path("missing")));

  ASSERT_EQ(WriteWholeFile(Path("out\\a.txt"), "in the new folder"), Status::Ok);
  EXPECT_EQ(ReadFileBytes(Path("out\\a.txt")), "in the new folder");
}

TEST_F(FilesTest, DeleteRemovesFilesButNotFolders) {
  WriteFileBytes(Path("gone.txt"), "x");
  ASSERT_EQ(DeleteFile(Path("gone.txt")), Status::Ok);
  EXPECT_FALSE(test::PathExists(Path("gone.txt")));

  fs::create_directory(ToFsPath(Path("folder")));
  EXPECT_EQ(DeleteFile(Path("folder")), Status::AccessDenied);
  EXPECT_TRUE(test::PathExists(Path("folder")));
}

TEST_F(FilesTest, MoveReplaceTakesThePlaceOfTheTarget) {
  WriteFileBytes(Path("new.tmp"), "new content");
  WriteFileBytes(Path("target.txt"), "old content, longer than the new");
  ASSERT_EQ(MoveReplace(Path("new.tmp"), Path("target.txt")), Status::Ok);
  EXPECT_FALSE(test::PathExists(Path("new.tmp")));
  EXPECT_EQ(ReadFileBytes(Path("target.txt")), "new content");

  // Into a free name as well.
  ASSERT_EQ(MoveReplace(Path("target.txt"), Path("renamed.txt")), Status::Ok);
  EXPECT_EQ(ReadFileBytes(Path("renamed.txt")), "new content");
}

TEST_F(FilesTest, ReadOnlyFilesAreNeitherWrittenNorDeletedNorReplaced) {
  const std::string path = Path("locked.txt");
  WriteFileBytes(path, "keep me");
  MakeReadOnly(path);
  EXPECT_EQ(GetAttributes(path) & (kAttrReadOnly | kAttrDirectory), kAttrReadOnly);

  EXPECT_EQ(WriteWholeFile(path, "overwritten"), Status::AccessDenied);
  std::unique_ptr<OpenFile> file;
  EXPECT_EQ(OpenForUpdate(path, ShareMode::Read, &file), Status::AccessDenied);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(DeleteFile(path), Status::AccessDenied);
  WriteFileBytes(Path("other.txt"), "other");
  EXPECT_EQ(MoveReplace(Path("other.txt"), path), Status::AccessDenied);

  EXPECT_EQ(ReadFileBytes(path), "keep me");
  EXPECT_EQ(ReadFileBytes(Path("other.txt")), "other");
  std::string read;
  ASSERT_EQ(ReadWholeFile(path, &read), Status::Ok);
  EXPECT_EQ(read, "keep me");
}

TEST_F(FilesTest, AttributesTellFoldersFromFiles) {
  WriteFileBytes(Path("plain.txt"), "x");
  const uint32_t file = GetAttributes(Path("plain.txt"));
  ASSERT_NE(file, kInvalidAttributes);
  EXPECT_EQ(file & (kAttrDirectory | kAttrReadOnly | kAttrReparsePoint), 0u);
  EXPECT_TRUE(Exists(Path("plain.txt")));

  const uint32_t folder = GetAttributes(dir_.Path());
  ASSERT_NE(folder, kInvalidAttributes);
  EXPECT_EQ(folder & (kAttrDirectory | kAttrReparsePoint), kAttrDirectory);
  // Reading a folder as a file is refused, as Windows does.
  std::string read;
  EXPECT_EQ(ReadWholeFile(dir_.Path(), &read), Status::AccessDenied);
}

TEST_F(FilesTest, LinkToAFolderIsAFolderAndAReparsePoint) {
  fs::create_directory(ToFsPath(Path("real")));
  std::error_code ec;
  fs::create_directory_symlink(ToFsPath(Path("real")), ToFsPath(Path("link")), ec);
  if (ec) GTEST_SKIP() << "this system cannot make a folder link here: " << ec.message();
  EXPECT_EQ(GetAttributes(Path("link")) & (kAttrDirectory | kAttrReparsePoint), kAttrDirectory | kAttrReparsePoint);
  EXPECT_EQ(GetAttributes(Path("real")) & kAttrReparsePoint, 0u);
}

TEST_F(FilesTest, FileTooLargeToHoldIsRefusedBeforeReading) {
  const std::string path = Path("huge.bin");
  WriteFileBytes(path, "");
  std::error_code ec;
  // Sparse: the test does not need the disk space.
  fs::resize_file(ToFsPath(path), kMaxWholeFileSize + 1, ec);
  if (ec) GTEST_SKIP() << "cannot make a sparse file here: " << ec.message();
  std::string read = "stale";
  EXPECT_EQ(ReadWholeFile(path, &read), Status::TooLarge);
  EXPECT_EQ(read, "");
}

}  // namespace
}  // namespace cw::platform

namespace cw::platform {
namespace {

class NewFileTest : public ::testing::Test {
 protected:
  void TearDown() override { ClearInjectedFailures(); }
  test::TempDir dir_;
};

TEST_F(NewFileTest, PiecesAppendAndCloseKeepsTheFile) {
  const std::string path = dir_.Join("new.txt");
  std::unique_ptr<NewFile> file;
  ASSERT_EQ(CreateNewFile(path, &file), Status::Ok);
  EXPECT_EQ(file->Write("ab"), Status::Ok);
  EXPECT_EQ(file->Write(std::string("\0c", 2)), Status::Ok);
  EXPECT_EQ(file->Close(), Status::Ok);
  file.reset();
  EXPECT_EQ(test::ReadFileBytes(path), std::string("ab\0c", 4));
  // An existing path is never touched.
  EXPECT_EQ(CreateNewFile(path, &file), Status::AlreadyExists);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(test::ReadFileBytes(path), std::string("ab\0c", 4));
}

TEST_F(NewFileTest, AbandonedOrUnclosedFilesAreRemoved) {
  const std::string path = dir_.Join("gone.txt");
  std::unique_ptr<NewFile> file;
  ASSERT_EQ(CreateNewFile(path, &file), Status::Ok);
  file->Write("partial");
  file->Abandon();
  EXPECT_FALSE(test::PathExists(path));
  ASSERT_EQ(CreateNewFile(path, &file), Status::Ok);
  file->Write("partial");
  file.reset();
  EXPECT_FALSE(test::PathExists(path));
  // A missing folder is NotFound, so callers can create it and try again.
  EXPECT_EQ(CreateNewFile(dir_.Join("no\\such.txt"), &file), Status::NotFound);
}

TEST_F(NewFileTest, InjectedFailuresAtCreateAndWrite) {
  std::unique_ptr<NewFile> file;
  InjectFailure(Operation::Write, 1, Status::AccessDenied);
  EXPECT_EQ(CreateNewFile(dir_.Join("a.txt"), &file), Status::AccessDenied);
  EXPECT_FALSE(test::PathExists(dir_.Join("a.txt")));
  ASSERT_EQ(CreateNewFile(dir_.Join("b.txt"), &file), Status::Ok);
  InjectFailure(Operation::WriteAt, 2, Status::DiskFull);
  EXPECT_EQ(file->Write("one"), Status::Ok);
  EXPECT_EQ(file->Write("two"), Status::DiskFull);
  file->Abandon();
  EXPECT_FALSE(test::PathExists(dir_.Join("b.txt")));
}

}  // namespace
}  // namespace cw::platform
