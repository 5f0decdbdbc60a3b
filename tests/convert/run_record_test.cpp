// The run record takes a file for one it met only while the identity still names that
// file: an identity the system gave again to another file (after another program
// replaced the noted one) is a new file.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "convert/run_record.h"
#include "platform/platform.h"
#include "support/temp_dir.h"

namespace cw {
namespace {

using platform::FileInfo;

FileInfo Info(uint64_t index, uint64_t size, int64_t modified) {
  FileInfo info;
  info.volume = 7;
  info.index = index;
  info.size = size;
  info.modified = modified;
  info.regular = true;
  return info;
}

TEST(RunRecordTest, AFileIsMetAgainOnlyWhileItsIdentityStillNamesIt) {
  test::TempDir dir;
  const std::string a = dir.Join("a.txt");
  test::WriteFileBytes(a, "a");
  FileInfo real;
  ASSERT_EQ(platform::QueryFile(a, &real), platform::Status::Ok);
  struct Met {
    FileInfo noted;
    std::string notedPath;
    FileInfo met;
    std::string metPath;
  };
  const struct {
    const char* name;
    std::function<Met()> arrange;
    bool again;  // the file met is the one noted
  } rows[] = {
      {"the same path again",
       [&] {
         return Met{Info(1, 10, 5), a, Info(1, 10, 5), a};
       },
       true},
      {"no path known, same size and time",
       [&] {
         return Met{Info(1, 10, 5), "", Info(1, 10, 5), a};
       },
       true},
      {"identity given again, another size",
       [&] {
         return Met{Info(1, 10, 5), a, Info(1, 11, 5), a};
       },
       false},
      {"identity given again, another time",
       [&] {
         return Met{Info(1, 10, 5), a, Info(1, 10, 6), a};
       },
       false},
      {"a second name of the file (a hard link)",
       [&] {
         std::filesystem::create_hard_link(test::ToFsPath(a), test::ToFsPath(dir.Join("link.txt")));
         FileInfo now;
         platform::QueryFile(a, &now);
         return Met{now, a, now, dir.Join("link.txt")};
       },
       true},
      // Replaced by a file with the same size in the same clock tick: the noted name
      // leads to another file now, so the identity met elsewhere is a new file's.
      {"identity given again, same size and time, the noted name holds another file",
       [&] {
         test::WriteFileBytes(dir.Join("other.txt"), "b");
         return Met{real, dir.Join("other.txt"), real, a};
       },
       false},
      {"identity given again, the noted name is gone",
       [&] {
         return Met{real, dir.Join("gone.txt"), real, a};
       },
       false},
  };
  for (const auto& row : rows) {
    const Met m = row.arrange();
    for (const bool output : {false, true}) {
      RunRecord record;
      if (output) {
        record.AddOutput(m.noted, m.notedPath);
      } else {
        ASSERT_TRUE(record.AddSource(m.noted, m.notedPath));
      }
      EXPECT_EQ(record.Seen(m.met, m.metPath), row.again) << row.name;
      EXPECT_EQ(record.IsOutput(m.met, m.metPath), output && row.again) << row.name;
      // A file met for the first time is noted in place of the stale note, once.
      EXPECT_EQ(record.AddSource(m.met, m.metPath), !row.again) << row.name;
      EXPECT_FALSE(record.AddSource(m.met, m.metPath)) << row.name;
      EXPECT_FALSE(record.IsOutput(m.met, m.metPath) && !row.again) << row.name;
    }
  }
}

}  // namespace
}  // namespace cw
