// Folders deeper than a path can reach, made and removed through their handles.
#include "support/deep_chain.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cw::test {

DeepChain::DeepChain(const std::string& nativeTop, int depth) : name_(200, 'd') {
  fds_.push_back(open(nativeTop.c_str(), O_RDONLY | O_DIRECTORY));
  for (int i = 0; i < depth && fds_.back() >= 0; ++i) {
    mkdirat(fds_.back(), name_.c_str(), 0755);
    fds_.push_back(openat(fds_.back(), name_.c_str(), O_RDONLY | O_DIRECTORY));
  }
}

DeepChain::~DeepChain() {
  for (size_t i = fds_.size() - 1; i > 0; --i) {
    if (fds_[i] >= 0) close(fds_[i]);
    unlinkat(fds_[i - 1], name_.c_str(), AT_REMOVEDIR);
  }
  if (fds_[0] >= 0) close(fds_[0]);
}

}  // namespace cw::test
#endif
