// Attacks on overwrite runs from outside, each a row: a second run, a temporary-file
// cleaner, case twins, hard links, another program appending, folders that will not list,
// names with line breaks, a full disk under a settings save, files that need no change.
// Whatever the attack, every user file ends as its exact original or its exact conversion
// (or, where another program wrote, with that program's bytes in it), and every file is
// counted once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "cli/cli_run.h"
#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace cw {
namespace {

namespace fs = std::filesystem;
using test::W;
using Files = std::map<std::string, std::string>;  // leaf name: bytes

// The files of one folder that belong to the user: what a run keeps for itself starts "~cw".
Files UserFiles(const test::TempDir& dir, const std::string& folder) {
  Files files;
  for (const auto& entry : fs::directory_iterator(test::ToFsPath(dir.Join(folder)))) {
    const std::string leaf = entry.path().filename().u8string();
    if (leaf.rfind("~cw", 0) != 0 && entry.is_regular_file()) {
      files[leaf] = test::ReadFileBytes(dir.Join(folder + "\\" + W(leaf)));
    }
  }
  return files;
}

// Names in the folder ending in `suffix`.
int CountEnding(const test::TempDir& dir, const std::string& folder, const std::string& suffix) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(test::ToFsPath(dir.Join(folder)))) {
    const std::string leaf = entry.path().filename().u8string();
    count += leaf.size() >= suffix.size() && leaf.compare(leaf.size() - suffix.size(), suffix.size(), suffix) == 0;
  }
  return count;
}

struct Counts {
  int lines = 0;  // lines that start like the counts
  int converted = -1, unchanged = -1, failed = -1;
  int Total() const { return converted + unchanged + failed; }
};

Counts CountsOf(const std::string& out) {
  static const std::regex line("converted: (\\d+) \\(with losses: \\d+\\), unchanged: (\\d+), failed: (\\d+)");
  Counts counts;
  for (size_t from = 0, end; (end = out.find('\n', from)) != std::string::npos; from = end + 1) {
    const std::string text = out.substr(from, end - from);
    if (text.rfind("converted: ", 0) != 0) continue;
    ++counts.lines;
    std::smatch found;
    if (!std::regex_match(text, found, line)) continue;
    counts.converted = std::stoi(found[1]);
    counts.unchanged = std::stoi(found[2]);
    counts.failed = std::stoi(found[3]);
  }
  return counts;
}

test::CliRun Batch(const test::TempDir& dir, const std::string& folder, const std::string& options) {
  return test::RunCli("batch --overwrite " + options + " '" + test::Shown(dir.Join(folder)) + "'", "", "");
}

// Files as a run leaves them with these options: a first run on a copy.
Files ConvertedCopy(const test::TempDir& dir, const std::string& folder, const std::string& options) {
  const std::string copy = folder + "-copy";
  fs::remove_all(test::ToFsPath(dir.Join(copy)));
  fs::copy(test::ToFsPath(dir.Join(folder)), test::ToFsPath(dir.Join(copy)));
  Batch(dir, copy, options);
  return UserFiles(dir, copy);
}

void Put(const test::TempDir& dir, const std::string& name, const std::string& bytes) {
  test::WriteFileBytes(dir.Join(name), bytes);
}

// (1) and (6): two overwrite runs at once, one to UTF-8 and one to UTF-16, with or without
// a cleaner deleting "*.tmp" all the while: each file is its original or one of its two
// conversions, none is lost, each run counts every file once.
std::string TwoRunsAtOnce(const test::TempDir& dir, bool cleaner) {
  constexpr int kFiles = 150;
  for (int round = 0; round < 3; ++round) {
    fs::remove_all(test::ToFsPath(dir.Join("both")));
    for (int i = 0; i < kFiles; ++i) {
      std::string text;
      for (int line = 0; line <= i % 4; ++line) text += W(u8"中文测试内容，第") + std::to_string(i) + "\r\n";
      Put(dir, "both\\" + std::to_string(i) + ".txt", text);
    }
    const Files original = UserFiles(dir, "both");
    const Files utf8 = ConvertedCopy(dir, "both", "--out utf8");
    const Files utf16 = ConvertedCopy(dir, "both", "--out utf16le");
    std::atomic<bool> done{false};
    std::thread sweeper([&] {
      while (cleaner && !done) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(test::ToFsPath(dir.Join("both")), ec)) {
          if (entry.path().extension() == ".tmp") fs::remove(entry.path(), ec);
        }
      }
    });
    test::CliRun runs[2];
    std::thread other([&] { runs[1] = Batch(dir, "both", "--jobs 1 --out utf16le"); });
    runs[0] = Batch(dir, "both", "--jobs 1 --out utf8");
    other.join();
    done = true;
    sweeper.join();
    const Files after = UserFiles(dir, "both");
    EXPECT_EQ(after.size(), original.size()) << "round " << round;
    for (const auto& [name, bytes] : after) {
      EXPECT_TRUE(original.count(name) &&
                  (bytes == original.at(name) || bytes == utf8.at(name) || bytes == utf16.at(name)))
          << name << " round " << round;
    }
    for (const test::CliRun& run : runs) EXPECT_EQ(CountsOf(run.out).Total(), kFiles) << run.out;
  }
  return "";
}

#ifdef _WIN32
// Wine folds case in every Windows call, NtCreateFile without OBJ_CASE_INSENSITIVE too,
// so a second name differing only in case is made as another program on that host
// would make it: a Unix `mv`, which Wine starts like any program. False on Windows
// itself (no Unix side) and when the move did not happen within ten seconds.
bool RenameFromUnix(const test::TempDir& dir, const std::string& folder, const char* from, const char* to) {
  using UnixName = char*(CDECL*)(const WCHAR*);
  const auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) return false;
  const fs::path windowsFolder = test::ToFsPath(dir.Join(folder));
  char* unixFolder = unixName(windowsFolder.wstring().c_str());
  if (!unixFolder) return false;
  const std::string command =
      std::string("/bin/mv -- \"") + unixFolder + "/" + from + "\" \"" + unixFolder + "/" + to + "\"";
  HeapFree(GetProcessHeap(), 0, unixFolder);
  std::wstring wide(command.size() + 1, L'\0');  // a Unix name is UTF-8
  wide.resize(static_cast<size_t>(
      MultiByteToWideChar(CP_UTF8, 0, command.c_str(), -1, wide.data(), static_cast<int>(wide.size()))));
  if (wide.empty()) return false;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(L"Z:\\bin\\mv", wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  // Wine cannot wait for a Unix process: the move is done when the old name has gone.
  for (int i = 0; i < 200 && fs::exists(windowsFolder / from); ++i) Sleep(50);
  return !fs::exists(windowsFolder / from);
}
#endif

// (2) a.txt and A.txt side by side: each keeps its own conversion.
std::string CaseTwins(const test::TempDir& dir) {
  Put(dir, "twins\\a.txt", W(u8"小写的甲"));
#ifdef _WIN32
  Put(dir, "twins\\upper.src", W(u8"大写的乙，长一些"));
  if (!RenameFromUnix(dir, "twins", "upper.src", "A.txt")) return "a.txt and A.txt cannot share a folder here";
#else
  Put(dir, "twins\\A.txt", W(u8"大写的乙，长一些"));
#endif
  if (UserFiles(dir, "twins").size() != 2) return "a.txt and A.txt cannot share a folder here";
  const test::CliRun run = Batch(dir, "twins", "--out utf8 --no-bom");
  const Files expected = {{"A.txt", u8"大写的乙，长一些"}, {"a.txt", u8"小写的甲"}};
  EXPECT_EQ(UserFiles(dir, "twins"), expected) << run.out;
  EXPECT_EQ(CountsOf(run.out).Total(), 2) << run.out;
  EXPECT_EQ(CountsOf(run.out).failed, 0) << run.out;
  return "";
}

// (3) a file with two names is rewritten in place: both names hold the conversion, the
// old bytes set aside are no user files, and the next run does not take them for any.
std::string HardLinkRewrittenInPlace(const test::TempDir& dir) {
  Put(dir, "links\\one.txt", W(u8"硬链接的文件"));
  fs::create_hard_link(test::ToFsPath(dir.Join("links\\one.txt")), test::ToFsPath(dir.Join("links\\two.txt")));
  const test::CliRun run = Batch(dir, "links", "--out utf8 --no-bom");
  const Files expected = {{"one.txt", u8"硬链接的文件"}, {"two.txt", u8"硬链接的文件"}};
  EXPECT_EQ(UserFiles(dir, "links"), expected) << run.out;
  EXPECT_EQ(CountEnding(dir, "links", ".old"), 0);
  EXPECT_EQ(CountEnding(dir, "links", ".jnl") + CountEnding(dir, "links", ".tmp"), 1) << "the undo journal alone";
  const test::CliRun again = Batch(dir, "links", "--out utf8 --no-bom");
  EXPECT_EQ(again.out.find("~cw"), std::string::npos) << again.out;
  EXPECT_EQ(CountsOf(again.out).converted, 0) << again.out;
  EXPECT_EQ(UserFiles(dir, "links"), expected);
  return "";
}

// (5) another program appends to a large file while the run converts it: its line is
// never lost, whether the run leaves the file (changed meanwhile) or the line lands after.
std::string AppendDuringTheRun(const test::TempDir& dir) {
  std::string big;
  for (int i = 0; big.size() < (24u << 20); ++i) big += W(u8"追加测试的一行文字") + std::to_string(i) + "\r\n";
  const std::string appended = "APPENDED BY ANOTHER PROGRAM\r\n";
  for (int round = 0; round < 2; ++round) {
    fs::remove_all(test::ToFsPath(dir.Join("grow")));
    Put(dir, "grow\\big.txt", big);
    const std::string converted = ConvertedCopy(dir, "grow", "--out utf8").at("big.txt");
    std::thread writer([&] {
      // Once the run writes its temporary, append (retried while the run holds the file).
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      while (CountEnding(dir, "grow", ".tmp") == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      for (bool written = false; !written && std::chrono::steady_clock::now() < deadline;) {
        std::ofstream out(test::ToFsPath(dir.Join("grow\\big.txt")), std::ios::binary | std::ios::app);
        written = out && (out << appended) && (out.close(), !out.fail());
      }
    });
    const test::CliRun run = Batch(dir, "grow", "--jobs 1 --out utf8");
    writer.join();
    const std::string after = test::ReadFileBytes(dir.Join("grow\\big.txt"));
    EXPECT_TRUE(after == big + appended || after == converted + appended)
        << "round " << round << ", " << after.size() << " bytes\n"
        << run.out;
    EXPECT_EQ(CountsOf(run.out).Total(), 1) << run.out;
  }
  return "";
}

// (7) a sub-folder without permissions: a counted failure, exit status 1.
std::string FolderWithoutPermission(const test::TempDir& dir) {
  Put(dir, "locked\\a.txt", W(u8"甲"));
  Put(dir, "locked\\no\\b.txt", W(u8"乙"));
  const fs::path no = test::ToFsPath(dir.Join("locked\\no"));
  fs::permissions(no, fs::perms::none);
  std::error_code ec;
  const fs::directory_iterator listing(no, ec);
  if (!ec) {
    fs::permissions(no, fs::perms::owner_all);
    return "a folder without permissions is listed all the same here (as root)";
  }
  const test::CliRun run = Batch(dir, "locked", "--recursive --out utf8");
  fs::permissions(no, fs::perms::owner_all);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("failed: " + test::Shown(dir.Join("locked\\no")) + ": folder could not be listed"),
            std::string::npos)
      << run.out;
  const Counts counts = CountsOf(run.out);
  EXPECT_EQ(counts.converted, 1);
  EXPECT_EQ(counts.failed, 1);
  return "";
}

// (8) a name holding a line break and a forged count line: one count line, the real one.
std::string NewlineInAName(const test::TempDir& dir) {
  Put(dir, "names\\x\nconverted: 9 (with losses: 0), unchanged: 0, failed: 0", W(u8"甲"));
  Put(dir, "names\\plain.txt", W(u8"乙"));
  const test::CliRun run = Batch(dir, "names", "--out utf8");
  const Counts counts = CountsOf(run.out);
  EXPECT_EQ(counts.lines, 1) << run.out;
  EXPECT_EQ(counts.Total(), 2) << run.out;
  EXPECT_NE(counts.converted, 9) << run.out;
  return "";
}

// (9) `ini set` on a full disk (a 64 KiB tmpfs) fails and leaves the file byte for byte.
std::string IniSetOnAFullDisk(const test::TempDir& dir) {
  fs::create_directories(test::ToFsPath(dir.Join("full")));
  const std::string mountPoint = test::ToFsPath(dir.Join("full")).string();
  if (std::system(("mount -t tmpfs -o size=64k tmpfs '" + mountPoint + "' 2>/dev/null").c_str()) != 0) {
    return "no small tmpfs can be mounted here (mounting needs root)";
  }
  const std::string ini = test::Shown(dir.Join("full\\settings.ini"));
  for (int i = 0; i < 40; ++i) test::RunCli("ini set '" + ini + "' main key" + std::to_string(i) + " value", "", "");
  const std::string before = test::ReadFileBytes(dir.Join("full\\settings.ini"));
  {
    std::ofstream filler(test::ToFsPath(dir.Join("full\\filler")), std::ios::binary);
    const std::string block(512, 'x');
    while (filler << block && filler.flush()) {
    }
  }
  const test::CliRun added = test::RunCli("ini set '" + ini + "' main newkey " + std::string(9000, 'v'), "", "");
  const test::CliRun changed = test::RunCli("ini set '" + ini + "' main key3 " + std::string(9000, 'w'), "", "");
  const std::string after = test::ReadFileBytes(dir.Join("full\\settings.ini"));
  std::system(("umount '" + mountPoint + "'").c_str());
  EXPECT_GT(before.size(), 400u);
  EXPECT_EQ(added.status, 1);
  EXPECT_EQ(changed.status, 1);
  EXPECT_EQ(after, before);
  return "";
}

// (11) pure ASCII and UTF-8 already: not written, their times kept, counted unchanged.
std::string UnchangedFilesAreNotWritten(const test::TempDir& dir) {
  Put(dir, "same\\ascii.txt", "plain ASCII\r\n");
  Put(dir, "same\\utf8.txt", u8"已经是 UTF-8\n");
  // The times as the system keeps them (it may round what it is given).
  const fs::path same = test::ToFsPath(dir.Join("same"));
  std::map<std::string, fs::file_time_type> times;
  for (const char* name : {"ascii.txt", "utf8.txt"}) {
    fs::last_write_time(same / name, fs::file_time_type::clock::now() - std::chrono::hours(240));
    times[name] = fs::last_write_time(same / name);
  }
  const Files before = UserFiles(dir, "same");
  const test::CliRun run = Batch(dir, "same", "--out utf8 --no-bom");
  EXPECT_EQ(UserFiles(dir, "same"), before);
  for (const auto& [name, time] : times) EXPECT_TRUE(fs::last_write_time(same / name) == time) << name;
  const Counts counts = CountsOf(run.out);
  EXPECT_EQ(counts.unchanged, 2) << run.out;
  EXPECT_EQ(counts.converted, 0) << run.out;
  EXPECT_EQ(run.status, 0);
  return "";
}

TEST(AttackTest, EveryFileIsItsOriginalOrItsConversionAndCountedOnce) {
  const struct {
    const char* name;
    const char* posixOnly;                                    // why the row cannot run on Windows, or null
    std::function<std::string(const test::TempDir&)> attack;  // why it was skipped, or ""
  } rows[] = {
      {"(1) two runs at once and a *.tmp cleaner", nullptr,
       [](const test::TempDir& d) { return TwoRunsAtOnce(d, true); }},
      {"(2) a.txt and A.txt", nullptr, CaseTwins},
      {"(3) hard link rewritten in place", nullptr, HardLinkRewrittenInPlace},
      {"(5) another program appends", nullptr, AppendDuringTheRun},
      {"(6) two runs at once count every file", nullptr,
       [](const test::TempDir& d) { return TwoRunsAtOnce(d, false); }},
      {"(7) folder without permissions", "permissions are ACLs, not modes", FolderWithoutPermission},
      {"(8) a line break in a name", "names cannot hold line breaks", NewlineInAName},
      {"(9) ini set on a full disk", "no small volume can be mounted", IniSetOnAFullDisk},
      {"(11) ASCII and UTF-8 left unwritten", nullptr, UnchangedFilesAreNotWritten},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
#ifdef _WIN32
    if (row.posixOnly) {
      std::printf("row left out, %s: POSIX only (%s)\n", row.name, row.posixOnly);
      continue;
    }
#endif
    const test::TempDir dir;
    const std::string skipped = row.attack(dir);
    if (!skipped.empty()) std::printf("row left out, %s: %s\n", row.name, skipped.c_str());
  }
}

}  // namespace
}  // namespace cw
