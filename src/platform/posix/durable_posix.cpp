// POSIX backend: flushing a folder, and the locks that say a run is alive.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/backend.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/system_calls.h"

namespace cw::platform {
namespace {

using posix::Fd;
using posix::PublicCall;
using posix::Sys;

// The lock lies on the file's first byte, as an open-file-description lock: it goes
// with the descriptor, and the system drops it when the process ends.
struct flock LockOnFirstByte(short type) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 1;
  return lock;
}

class PosixRunLock final : public RunLock {
 public:
  PosixRunLock(int fd, std::string native, std::string id) : fd_(fd), native_(std::move(native)), id_(std::move(id)) {}
  // Removed while still held, so that nobody sees it unheld while this run lives.
  ~PosixRunLock() override { Sys().unlink(native_.c_str()); }
  PosixRunLock(const PosixRunLock&) = delete;
  PosixRunLock& operator=(const PosixRunLock&) = delete;
  const std::string& Id() const override { return id_; }

 private:
  Fd fd_;
  std::string native_;
  std::string id_;
};

}  // namespace

Status FlushFolder(const std::string& path) {
  const PublicCall call(Operation::Flush, "open", path);
  if (call.status() != Status::Ok) return call.status();
  const Fd folder(Sys().open(call.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (folder.get() < 0) return call.Fail("open");
  // Some file systems keep no folder data of their own to flush, and say so.
  if (Sys().fsync(folder.get()) != 0 && errno != EINVAL) return call.Fail("fsync");
  return Status::Ok;
}

Status FlushVolume(const std::string& folder) {
  const PublicCall call(Operation::Flush, "open", folder);
  if (call.status() != Status::Ok) return call.status();
  const Fd opened(Sys().open(call.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (opened.get() < 0) return call.Fail("open");
  if (Sys().syncfs(opened.get()) != 0) return call.Fail("syncfs");
  return Status::Ok;
}

std::string DefaultRunLockFolder() {
  const char* temporary = std::getenv("TMPDIR");
  std::string base = temporary && temporary[0] == '/' ? temporary : "/tmp";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return posix::FromNativePath(base + "/chengwen-runs-" + std::to_string(getuid()));
}

Status AcquireRunLock(const std::string& folder, std::unique_ptr<RunLock>* lock) {
  lock->reset();
  const Status made = CreateFolder(folder);
  if (made != Status::Ok && made != Status::AlreadyExists) return made;
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string id = detail::MakeRunId(static_cast<uint64_t>(getpid()), attempt);
    const std::string path = detail::RunLockPath(folder, id);
    const PublicCall call(Operation::Write, "open", path);
    if (call.status() != Status::Ok) return call.status();
    Fd fd(Sys().open(call.Path().c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd.get() < 0 && errno == EEXIST) continue;
    if (fd.get() < 0) return call.Fail("open");
    struct flock held = LockOnFirstByte(F_WRLCK);
    // A lock that cannot be taken proves nothing: better no run identity than one that
    // every other run would take for ended.
    if (Sys().fcntl(fd.get(), F_OFD_SETLK, &held) != 0) {
      const Status status = call.Fail("fcntl");
      Sys().unlink(call.Path().c_str());
      return status;
    }
    *lock = std::make_unique<PosixRunLock>(fd.release(), call.Path(), id);
    return Status::Ok;
  }
  return detail::LogFailure("open", folder, Status::AlreadyExists, EEXIST);
}

RunState QueryRun(const std::string& folder, const std::string& id) {
  std::string native;
  if (!detail::IsRunId(id) || !posix::ToNativePath(detail::RunLockPath(folder, id), &native)) return RunState::Unknown;
  const Fd fd(Sys().open(native.c_str(), O_RDONLY | O_CLOEXEC, 0));
  if (fd.get() < 0) return RunState::Unknown;
  struct flock probe = LockOnFirstByte(F_WRLCK);
  if (Sys().fcntl(fd.get(), F_OFD_GETLK, &probe) != 0) return RunState::Unknown;
  return probe.l_type == F_UNLCK ? RunState::Ended : RunState::Alive;
}

}  // namespace cw::platform
