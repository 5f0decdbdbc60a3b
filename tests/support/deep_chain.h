// A chain of folders deeper than any path can reach (PATH_MAX), for tests of what a
// walk does beyond it. POSIX only: Windows takes longer paths through "\\?\".
#pragma once

#ifndef _WIN32
#include <string>
#include <vector>

namespace cw::test {

// `depth` folders, each inside the one before and named by 200 "d", made under the
// existing folder `nativeTop` (a system path) and removed with the object: through the
// folders' handles, since no path names the deepest ones.
class DeepChain {
 public:
  DeepChain(const std::string& nativeTop, int depth);
  ~DeepChain();
  DeepChain(const DeepChain&) = delete;
  DeepChain& operator=(const DeepChain&) = delete;
  bool Made() const { return !fds_.empty() && fds_.back() >= 0; }

 private:
  std::string name_;
  std::vector<int> fds_;
};

}  // namespace cw::test
#endif
