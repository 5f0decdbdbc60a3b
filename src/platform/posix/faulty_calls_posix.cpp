// The POSIX table's entries, each given the fault code's wrapper while a test injects
// faults. A new entry goes here too: the fault code checks that none is left out.
#include "platform/faulty_call.h"
#include "platform/posix/system_calls.h"

namespace cw::platform::detail {

void DivertSystemCalls() {
  using posix::Sys;
  using T = posix::SystemCalls;
  DivertEvery<&Sys, &T::open, &T::close, &T::pread, &T::pwrite, &T::fstat, &T::stat, &T::lstat, &T::fstatat,
              &T::ftruncate, &T::fsync, &T::syncfs, &T::sync_file_range, &T::fcntl, &T::unlink, &T::mkdir, &T::rename,
              &T::renameat2, &T::link, &T::chmod, &T::chown, &T::opendir, &T::readdir>();
}

}  // namespace cw::platform::detail
