// The file kept open between calls: created when missing, changed in place, and
// guarded against other writers by its share mode.
#include "platform_fixture.h"

namespace cw::platform {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

class OpenFileTest : public PlatformTest {
 protected:
  std::unique_ptr<OpenFile> Open(const std::string& path, ShareMode share = ShareMode::Read) {
    std::unique_ptr<OpenFile> file;
    EXPECT_EQ(OpenForUpdate(path, share, &file), Status::Ok) << path;
    return file;
  }
};

TEST_F(OpenFileTest, CreatesAMissingFileAndNeverTruncates) {
  const std::string path = Path("settings.ini");
  {
    auto file = Open(path);
    ASSERT_NE(file, nullptr);
    uint64_t size = 99;
    ASSERT_EQ(file->Size(&size), Status::Ok);
    EXPECT_EQ(size, 0u);
  }
  EXPECT_TRUE(test::PathExists(path));

  WriteFileBytes(path, "[main]\r\nkey=value");
  auto file = Open(path);
  ASSERT_NE(file, nullptr);
  std::string bytes;
  ASSERT_EQ(file->ReadAt(0, 100, &bytes), Status::Ok);
  EXPECT_EQ(bytes, "[main]\r\nkey=value");
}

TEST_F(OpenFileTest, BytesAreInsertedAndDeletedInPlace) {
  const std::string path = Path("settings.ini");
  WriteFileBytes(path, "[s]\r\na=1\r\nb=2");
  auto file = Open(path);
  ASSERT_NE(file, nullptr);

  // Insert "x=9\r\n" at offset 5: move the tail along, then write the new bytes.
  std::string tail;
  ASSERT_EQ(file->ReadAt(5, 1000, &tail), Status::Ok);
  EXPECT_EQ(tail, "a=1\r\nb=2");
  ASSERT_EQ(file->WriteAt(5, "x=9\r\n" + tail), Status::Ok);
  ASSERT_EQ(file->Flush(), Status::Ok);
  EXPECT_EQ(ReadFileBytes(path), "[s]\r\nx=9\r\na=1\r\nb=2");

  // Delete "a=1\r\n" (offset 10, 5 bytes): move the tail back, then cut the end.
  ASSERT_EQ(file->ReadAt(15, 1000, &tail), Status::Ok);
  ASSERT_EQ(file->WriteAt(10, tail), Status::Ok);
  uint64_t size = 0;
  ASSERT_EQ(file->Size(&size), Status::Ok);
  ASSERT_EQ(file->Truncate(size - 5), Status::Ok);
  EXPECT_EQ(ReadFileBytes(path), "[s]\r\nx=9\r\nb=2");

  // Reading past the end gives what is there.
  ASSERT_EQ(file->ReadAt(12, 100, &tail), Status::Ok);
  EXPECT_EQ(tail, "2");
  ASSERT_EQ(file->ReadAt(500, 10, &tail), Status::Ok);
  EXPECT_EQ(tail, "");
}

// A source read in pieces or mapped: what it holds, who it is, and what it refuses.
TEST_F(OpenFileTest, ReadingAndMappingTakeAnExistingFileOnlyAndLeaveOthersFreeToWrite) {
  const std::string path = Path("source.txt");
  WriteFileBytes(path, "0123456789");
  std::unique_ptr<OpenFile> file;
  FileInfo info;
  ASSERT_EQ(OpenForReading(path, &file, &info), Status::Ok);
  FileInfo queried;
  ASSERT_EQ(QueryFile(path, &queried), Status::Ok);
  EXPECT_TRUE(info.SameContentAs(queried));
  std::string piece;
  ASSERT_EQ(file->ReadAt(8, 4, &piece), Status::Ok);
  EXPECT_EQ(piece, "89");
  EXPECT_NE(file->WriteAt(0, "x"), Status::Ok);
  // Another program may still write the file while it is read.
  std::unique_ptr<OpenFile> writer;
  EXPECT_EQ(OpenForUpdate(path, ShareMode::ReadWrite, &writer), Status::Ok);
  writer.reset();
  file.reset();
  EXPECT_EQ(ReadFileBytes(path), "0123456789");

  EXPECT_EQ(OpenForReading(Path("missing.txt"), &file), Status::NotFound);
  EXPECT_FALSE(test::PathExists(Path("missing.txt")));
  ASSERT_EQ(CreateFolder(Path("folder")), Status::Ok);
  EXPECT_EQ(OpenForReading(Path("folder"), &file), Status::AccessDenied);
  InjectFailure(Operation::Read, 1, Status::SharingViolation);
  EXPECT_EQ(OpenForReading(path, &file), Status::SharingViolation);
  EXPECT_EQ(file, nullptr);

  // Mapped whole, on the same terms.
  std::unique_ptr<MappedFile> mapped;
  ASSERT_EQ(MapWholeFile(path, &mapped, &info), Status::Ok);
  EXPECT_EQ(mapped->Bytes(), "0123456789");
  EXPECT_TRUE(info.SameContentAs(queried));
  mapped.reset();
  WriteFileBytes(Path("empty.txt"), "");
  ASSERT_EQ(MapWholeFile(Path("empty.txt"), &mapped), Status::Ok);
  EXPECT_TRUE(mapped->Bytes().empty());
  EXPECT_EQ(MapWholeFile(Path("missing.txt"), &mapped), Status::NotFound);
  EXPECT_EQ(MapWholeFile(Path("folder"), &mapped), Status::AccessDenied);
  InjectFailure(Operation::Read, 1, Status::TooLarge);
  EXPECT_EQ(MapWholeFile(path, &mapped), Status::TooLarge);
  EXPECT_EQ(mapped, nullptr);
}

TEST_F(OpenFileTest, ReadShareLetsOthersReadButNotWrite) {
  const std::string path = Path("settings.ini");
  WriteFileBytes(path, "kept");
  auto held = Open(path, ShareMode::Read);
  ASSERT_NE(held, nullptr);

  std::unique_ptr<OpenFile> second;
  EXPECT_EQ(OpenForUpdate(path, ShareMode::Read, &second), Status::SharingViolation);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(OpenForUpdate(path, ShareMode::ReadWrite, &second), Status::SharingViolation);
  EXPECT_EQ(WriteWholeFile(path, "clobbered"), Status::SharingViolation);
  EXPECT_EQ(DeleteFile(path), Status::SharingViolation);
  std::string bytes;
  ASSERT_EQ(ReadWholeFile(path, &bytes), Status::Ok);
  EXPECT_EQ(bytes, "kept");

  // Once the holder closes, the next one gets in.
  held.reset();
  EXPECT_NE(Open(path, ShareMode::Read), nullptr);
}

TEST_F(OpenFileTest, NoShareKeepsReadersOutAndReadWriteShareLetsWritersIn) {
  const std::string path = Path("data.bin");
  WriteFileBytes(path, "abc");
  {
    auto exclusive = Open(path, ShareMode::None);
    ASSERT_NE(exclusive, nullptr);
    std::string bytes;
    EXPECT_EQ(ReadWholeFile(path, &bytes), Status::SharingViolation);
  }
  auto first = Open(path, ShareMode::ReadWrite);
  auto second = Open(path, ShareMode::ReadWrite);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(second->WriteAt(3, "def"), Status::Ok);
  std::string bytes;
  ASSERT_EQ(first->ReadAt(0, 10, &bytes), Status::Ok);
  EXPECT_EQ(bytes, "abcdef");
  // A third opener that would deny writers cannot, while two writers are in.
  std::unique_ptr<OpenFile> denying;
  EXPECT_EQ(OpenForUpdate(path, ShareMode::Read, &denying), Status::SharingViolation);
}

}  // namespace
}  // namespace cw::platform
