// Crash consistency of an overwrite run, after ALICE (OSDI '14): the system calls of a real
// run recorded with strace show every replace of an original after the flush of what
// replaces it and of the undo journal entry for it; then the run is killed at each of its
// replaces, flushes, links, unlinks and writes in turn, and after each kill an undo gives
// back every original, and the next run leaves every file converted, byte for byte.
// POSIX only: strace.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace cw {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;  // relative path: bytes

// chengwen-cli under strace. LeakSanitizer cannot run under ptrace (it stops the world with
// ptrace itself, then fails the exit with status 1): a sanitized build checks for leaks in
// its untraced runs only.
int Traced(const std::string& straceOptions, const std::string& arguments) {
  const std::string command = "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 strace -f -qq " +
                              straceOptions + " '" CW_CLI_PATH "' " + arguments + " >/dev/null 2>&1 </dev/null";
  return std::system(command.c_str());
}

int Cli(const std::string& arguments) {
  return std::system(("'" CW_CLI_PATH "' " + arguments + " >/dev/null 2>&1 </dev/null").c_str());
}

bool IsOwn(const std::string& path) { return fs::path(path).filename().string().rfind("~cw", 0) == 0; }

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The user's files under `root` (the program's own, "~cw…", left out), and the program's.
Files UserFiles(const fs::path& root, std::vector<std::string>* own = nullptr) {
  Files files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = fs::relative(entry.path(), root).string();
    if (IsOwn(name)) {
      if (own) own->push_back(name);
      continue;
    }
    std::ifstream in(entry.path(), std::ios::binary);
    files[name] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

std::set<std::string> Names(const Files& files) {
  std::set<std::string> names;
  for (const auto& entry : files) names.insert(entry.first);
  return names;
}

// One system call of the log: "PID name(arguments) = result".
struct Call {
  int pid = 0;
  std::string name;
  std::vector<std::string> paths;  // the quoted arguments
  int fd = -1;                     // the first argument, when a number
  long result = -1;
};

// The log's calls, a call interrupted by another thread's joined to its resumption.
std::vector<Call> ReadLog(const std::string& path) {
  std::vector<Call> calls;
  std::map<int, std::string> pending;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    Call call;
    words >> call.pid;
    std::string rest;
    std::getline(words >> std::ws, rest);
    if (EndsWith(rest, "<unfinished ...>")) {
      pending[call.pid] = rest.substr(0, rest.size() - 16);
      continue;
    }
    const size_t resumed = rest.find(" resumed>");
    if (rest.rfind("<... ", 0) == 0 && resumed != std::string::npos)
      rest = pending[call.pid] + rest.substr(resumed + 9);
    const size_t open = rest.find('(');
    const size_t equals = rest.rfind(" = ");
    const size_t close = rest.rfind(')', equals);
    if (open == std::string::npos || equals == std::string::npos || close == std::string::npos || close < open)
      continue;
    call.name = rest.substr(0, open);
    call.result = std::strtol(rest.c_str() + equals + 3, nullptr, 10);
    const std::string arguments = rest.substr(open + 1, close - open - 1);
    if (!arguments.empty() && std::isdigit(static_cast<unsigned char>(arguments[0])))
      call.fd = std::atoi(arguments.c_str());
    // strace writes a quote inside a string as \", and the bytes a write passes may
    // hold one: a string ends at the first quote no backslash escapes.
    for (size_t q = arguments.find('"'); q != std::string::npos;) {
      size_t end = q + 1;
      while (end < arguments.size() && arguments[end] != '"') end += arguments[end] == '\\' ? 2 : 1;
      if (end >= arguments.size()) break;
      call.paths.push_back(arguments.substr(q + 1, end - q - 1));
      q = arguments.find('"', end + 1);
    }
    calls.push_back(call);
  }
  return calls;
}

class KillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
    if (Traced("-o /dev/null", "help") != 0) GTEST_SKIP() << "strace cannot trace chengwen-cli here (ptrace denied)";
    Build(Root());
    original_ = UserFiles(Root());
    fs::copy(Root(), Copy(), fs::copy_options::recursive);
    ASSERT_EQ(Cli(Batch(Copy())), 0);
    converted_ = UserFiles(Copy());
    ASSERT_EQ(converted_.size(), original_.size());
  }
  // A folder and a sub-folder: text to convert, a file with two names (rewritten in place),
  // one that needs no change, one that only gains a mark.
  static void Build(const fs::path& root) {
    fs::remove_all(root);
    const auto put = [&root](const std::string& name, const std::string& bytes) {
      fs::create_directories((root / name).parent_path());
      std::ofstream(root / name, std::ios::binary) << bytes;
    };
    put("gbk.txt", "\xBC\xF2\xCC\xE5\xD6\xD0\xCE\xC4\r\n\xB5\xDA\xB6\xFE\xD0\xD0\r\n");  // 简体中文 第二行
    put("big5.txt", "\xC1\x63\xC5\xE9\xA4\xA4\xA4\xE5\xAA\xBA\xA4\xE5\xA6\x72");         // 繁體中文的文字
    put("ascii.txt", "plain ASCII\n");
    put("done.txt", "\xEF\xBB\xBF\xE4\xB8\xAD\xE6\x96\x87");
    put("linked.txt", "\xD3\xD0\xC1\xBD\xB8\xF6\xC3\xFB\xD7\xD6");  // 有两个名字
    fs::create_hard_link(root / "linked.txt", root / "second-name.txt");
    put("sub/deep.txt", "\xC9\xEE\xB4\xA6\xB5\xC4\xCE\xC4\xBC\xFE");  // 深处的文件
  }
  static std::string Batch(const fs::path& folder) {
    return "batch --jobs 1 --recursive --overwrite --out utf8 '" + folder.string() + "'";
  }
  fs::path Root() const { return fs::path(test::ToFsPath(dir_.Path())) / "docs"; }
  fs::path Copy() const { return fs::path(test::ToFsPath(dir_.Path())) / "expected"; }
  test::TempDir dir_;
  Files original_, converted_;
};

// What the log shows at each replace of a user file, checked as it goes.
struct ReplaceChecker {
  std::map<int, std::string> fdPath;
  std::set<std::string> dirty, flushed, unflushedFolders;
  std::map<std::string, size_t> createdAt;
  size_t undoWrittenAt = 0;
  int replaces = 0;

  void Check(const Call& call, size_t at) {
    const std::string path = call.fd >= 0 && fdPath.count(call.fd) ? fdPath[call.fd] : "";
    if ((call.name == "openat" || call.name == "open") && call.result >= 0 && !call.paths.empty()) {
      fdPath[static_cast<int>(call.result)] = call.paths.back();
      if (IsOwn(call.paths.back())) createdAt.emplace(call.paths.back(), at);
    } else if (call.name == "close") {
      fdPath.erase(call.fd);
    } else if (call.name == "fsync" || call.name == "fdatasync") {
      dirty.erase(path);
      flushed.insert(path);
      unflushedFolders.erase(path.substr(0, path.find_last_not_of('/') + 1));
    } else if (call.name == "syncfs") {
      // The whole volume, and everything of the test is on one: every file and folder.
      for (const auto& [fd, open] : fdPath) flushed.insert(open);
      flushed.insert(dirty.begin(), dirty.end());
      dirty.clear();
      unflushedFolders.clear();
    } else if (call.name == "pwrite64" || call.name == "write" || call.name == "ftruncate") {
      if (!path.empty() && !IsOwn(path) && !dirty.count(path)) Replacing(path, "", at);
      dirty.insert(path);
      if (path.find("/~cwundo-") != std::string::npos) undoWrittenAt = at;
    } else if (call.name == "rename" && call.paths.size() == 2 && IsOwn(call.paths[0]) && !IsOwn(call.paths[1])) {
      Replacing(call.paths[1], call.paths[0], at);
      unflushedFolders.insert(fs::path(call.paths[1]).parent_path().string());
    }
  }
  // `user` is about to take new bytes: from the temporary `from` by a rename, or in place.
  void Replacing(const std::string& user, const std::string& from, size_t at) {
    ++replaces;
    if (!from.empty()) {
      EXPECT_TRUE(flushed.count(from) && !dirty.count(from)) << user << ": its temporary is not flushed";
      EXPECT_GT(undoWrittenAt, createdAt[from]) << user << ": no undo journal entry since its temporary";
    } else {
      bool rewriteJournal = false;
      for (const std::string& own : flushed) rewriteJournal |= EndsWith(own, ".tmp.jnl") && !dirty.count(own);
      EXPECT_TRUE(rewriteJournal) << user << ": rewritten in place without a flushed journal";
      EXPECT_GT(undoWrittenAt, 0u) << user << ": rewritten in place before its undo journal entry";
    }
    for (const std::string& path : dirty) {
      EXPECT_FALSE(EndsWith(path, ".jnl") || EndsWith(path, ".old")) << user << ": " << path << " is not flushed";
    }
  }
};

TEST_F(KillTest, EveryReplaceFollowsTheFlushOfItsTemporaryAndItsJournalEntry) {
  const std::string log = (fs::path(test::ToFsPath(dir_.Path())) / "run.log").string();
  ASSERT_EQ(Traced("-e trace=file,desc,fsync,fdatasync,sync_file_range,syncfs -o '" + log + "'", Batch(Root())), 0);
  EXPECT_EQ(UserFiles(Root()), converted_);
  const std::vector<Call> calls = ReadLog(log);
  ASSERT_GT(calls.size(), 50u);
  ReplaceChecker checker;
  for (size_t i = 0; i < calls.size(); ++i) checker.Check(calls[i], i + 1);
  EXPECT_EQ(checker.replaces, 5) << "gbk, big5, ascii, linked (in place), deep";
  EXPECT_TRUE(checker.unflushedFolders.empty()) << *checker.unflushedFolders.begin() << ": not flushed after a rename";
}

TEST_F(KillTest, KilledAtEachStepAnUndoGivesBackEveryOriginalAndTheNextRunConvertsEveryFile) {
  const std::string log = (fs::path(test::ToFsPath(dir_.Path())) / "count.log").string();
  const std::vector<std::string> steps = {"rename", "link", "unlink", "fsync", "syncfs", "pwrite64", "ftruncate"};
  std::string traced;
  for (const std::string& step : steps) traced += (traced.empty() ? "" : ",") + step;
  Build(Root());
  ASSERT_EQ(Traced("-e trace=" + traced + " -o '" + log + "'", Batch(Root())), 0);
  std::map<std::string, int> count;
  std::set<int> pids;
  for (const Call& call : ReadLog(log)) {
    ++count[call.name];
    pids.insert(call.pid);
  }
  ASSERT_EQ(pids.size(), 1u) << "a kill at the n-th call is counted per thread";
  int kills = 0;
  for (const std::string& step : steps) {
    for (int n = 1; n <= count[step]; ++n) {
      for (const bool undo : {true, false}) {
        const std::string where = step + " #" + std::to_string(n) + (undo ? ", then undo" : ", then a run");
        Build(Root());
        std::string kill = "-o /dev/null -e trace=" + step;
        kill += " -e inject=" + step + ":signal=SIGKILL:when=" + std::to_string(n);
        const int status = Traced(kill, Batch(Root()));
        EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << where << ": not killed";
        kills += status != 0;
        EXPECT_EQ(Names(UserFiles(Root())), Names(original_)) << where << ": a file went missing";
        EXPECT_EQ(Cli(undo ? "undo '" + Root().string() + "'" : Batch(Root())), 0) << where;
        std::vector<std::string> own;
        EXPECT_EQ(UserFiles(Root(), &own), undo ? original_ : converted_) << where;
        for (const std::string& name : own) {
          // An undo leaves nothing of the run; a run only what its own undo needs.
          EXPECT_TRUE(!undo && (EndsWith(name, ".tmp.undo") || name.find("~cwundo-") != std::string::npos))
              << where << ": " << name << " left";
        }
      }
    }
  }
  EXPECT_GT(kills, 40);
}

}  // namespace
}  // namespace cw
