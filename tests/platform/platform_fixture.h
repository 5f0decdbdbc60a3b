// The fixture every platform test uses: a fresh temporary folder, and no hook or
// injected failure left behind for the next test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "support/temp_dir.h"

namespace cw::platform {

class PlatformTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ClearInjectedFailures();
    SetPumpHook(nullptr);
    SetMessageBoxHook(nullptr);
    SetErrorLogHook(nullptr);
  }

  std::string Path(std::string_view relative) const { return dir_.Join(relative); }

  test::TempDir dir_;
};

// The names of a listing, sorted (the system's order is its own).
inline std::vector<std::string> SortedNames(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const DirEntry& entry : entries) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace cw::platform
