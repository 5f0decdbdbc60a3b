// The floor under a folder batch: a program that makes, for every file of a folder, only
// the system calls a batch makes, and converts nothing (the output is the input's bytes).
// bench/batch_bench.sh times it beside chengwen and the Python loop, so the share of the
// time that the system calls alone take on this host is measured in the same run.
//
// usage: batch_floor MODE THREADS SOURCE OUTPUT
//   chengwen  the calls of `chengwen-cli batch` for a new output file: with more than one
//             thread a stat of the source (its identity, which orders two names of one
//             file); open, fstat, reader lock, pread, close; a temporary file opened with
//             O_EXCL, writer lock, pwrite, fstat, close, and a rename that replaces nothing
//   lean      the fewest calls a write that never shows a partial file needs on Linux:
//             open, fstat, pread, close; an unnamed O_TMPFILE file, pwrite, linkat (which
//             replaces nothing), close
// Files are taken in turn by THREADS threads, as the batch's jobs take them.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

enum class Mode { Chengwen, Lean };

struct Batch {
  Mode mode;
  bool identity;
  std::string source;
  std::string output;
  std::vector<std::string> names;
  std::atomic<size_t> next{0};
  std::atomic<int> failures{0};
};

bool Lock(int fd, short type, off_t byte) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// One file; false when a call failed.
bool CopyOne(Batch& batch, const std::string& name, std::vector<char>& buffer, unsigned& serial) {
  const std::string from = batch.source + "/" + name;
  const std::string to = batch.output + "/" + name;
  struct stat st;
  if (batch.identity && stat(from.c_str(), &st) != 0) return false;
  const int in = open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (in < 0 || fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (batch.mode == Mode::Chengwen && !Lock(in, F_RDLCK, 1)) return false;
  buffer.resize(static_cast<size_t>(st.st_size));
  const ssize_t got = pread(in, buffer.data(), buffer.size(), 0);
  close(in);
  if (got != st.st_size) return false;
  if (batch.mode == Mode::Lean) {
    const int out = open(batch.output.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (out < 0) return false;
    bool ok = pwrite(out, buffer.data(), buffer.size(), 0) == got;
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", out);
    ok = ok && linkat(AT_FDCWD, self, AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0;
    close(out);
    return ok;
  }
  char temporary[32];
  std::snprintf(temporary, sizeof temporary, "/~cw%08x.tmp", serial++);
  const std::string path = batch.output + temporary;
  const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (out < 0) return false;
  bool ok = Lock(out, F_WRLCK, 0) && pwrite(out, buffer.data(), buffer.size(), 0) == got && fstat(out, &st) == 0;
  ok = close(out) == 0 && ok;
  return ok && renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

void Work(Batch& batch, unsigned thread) {
  std::vector<char> buffer;
  // Temporary names apart per thread, as the batch's random ones are.
  unsigned serial = thread << 24;
  for (size_t i; (i = batch.next++) < batch.names.size();) {
    if (!CopyOne(batch, batch.names[i], buffer, serial)) ++batch.failures;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 || (std::strcmp(argv[1], "chengwen") != 0 && std::strcmp(argv[1], "lean") != 0)) {
    std::fprintf(stderr, "usage: batch_floor chengwen|lean THREADS SOURCE OUTPUT\n");
    return 2;
  }
  Batch batch;
  batch.mode = std::strcmp(argv[1], "lean") == 0 ? Mode::Lean : Mode::Chengwen;
  const int threads = std::atoi(argv[2]);
  batch.identity = batch.mode == Mode::Chengwen && threads > 1;
  batch.source = argv[3];
  batch.output = argv[4];
  if (threads < 1 || (mkdir(batch.output.c_str(), 0777) != 0 && errno != EEXIST)) return 2;
  DIR* folder = opendir(batch.source.c_str());
  if (!folder) return 2;
  while (const dirent* entry = readdir(folder)) {
    if (entry->d_name[0] != '.') batch.names.emplace_back(entry->d_name);
  }
  closedir(folder);
  std::vector<std::thread> workers;
  for (int t = 1; t < threads; ++t) workers.emplace_back(Work, std::ref(batch), static_cast<unsigned>(t));
  Work(batch, 0);
  for (std::thread& worker : workers) worker.join();
  if (batch.failures != 0) {
    std::fprintf(stderr, "batch_floor: %d files failed\n", batch.failures.load());
    return 1;
  }
  return 0;
}
