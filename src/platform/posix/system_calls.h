// The system calls of the POSIX backend, made through one table so that a test can put
// a failing (or a short-writing) stand-in in the place of any of them.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "platform/backend.h"

namespace cw::platform::posix {

// open and fcntl take their last argument through "...", which a stand-in could not
// name; these fix it.
int OpenFile(const char* path, int flags, mode_t mode);
int LockCommand(int fd, int command, struct flock* lock);

template <typename Function, typename Result>
using Call = detail::SystemCall<Function, Result>;

struct SystemCalls {
  Call<int (*)(const char*, int, mode_t), int> open{"open", &OpenFile, -1};
  Call<int (*)(int), int> close{"close", &::close, -1};
  Call<ssize_t (*)(int, void*, size_t, off_t), ssize_t> pread{"pread", &::pread, -1};
  Call<ssize_t (*)(int, const void*, size_t, off_t), ssize_t> pwrite{"pwrite", &::pwrite, -1};
  Call<int (*)(int, struct stat*), int> fstat{"fstat", &::fstat, -1};
  Call<int (*)(const char*, struct stat*), int> stat{"stat", &::stat, -1};
  Call<int (*)(const char*, struct stat*), int> lstat{"lstat", &::lstat, -1};
  Call<int (*)(int, const char*, struct stat*, int), int> fstatat{"fstatat", &::fstatat, -1};
  Call<int (*)(int, off_t), int> ftruncate{"ftruncate", &::ftruncate, -1};
  Call<int (*)(int), int> fsync{"fsync", &::fsync, -1};
  Call<int (*)(int), int> syncfs{"syncfs", &::syncfs, -1};
  Call<int (*)(int, off64_t, off64_t, unsigned), int> sync_file_range{"sync_file_range", &::sync_file_range, -1};
  Call<int (*)(int, int, struct flock*), int> fcntl{"fcntl", &LockCommand, -1};
  Call<int (*)(const char*), int> unlink{"unlink", &::unlink, -1};
  Call<int (*)(const char*, mode_t), int> mkdir{"mkdir", &::mkdir, -1};
  Call<int (*)(const char*, const char*), int> rename{"rename", &::rename, -1};
  Call<int (*)(int, const char*, int, const char*, unsigned), int> renameat2{"renameat2", &::renameat2, -1};
  Call<int (*)(const char*, const char*), int> link{"link", &::link, -1};
  Call<int (*)(const char*, mode_t), int> chmod{"chmod", &::chmod, -1};
  Call<int (*)(const char*, uid_t, gid_t), int> chown{"chown", &::chown, -1};
  Call<DIR* (*)(const char*), DIR*> opendir{"opendir", &::opendir, nullptr};
  Call<dirent* (*)(DIR*), dirent*> readdir{"readdir", &::readdir, nullptr};
};

// The table every call of the backend goes through.
SystemCalls& Sys();

}  // namespace cw::platform::posix
