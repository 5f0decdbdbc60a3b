// Shared set-up of the settings tests: a temporary settings file, and hooks reset after
// every test.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "settings/settings_store.h"
#include "support/temp_dir.h"

namespace cw::settings {

using cw::test::ReadFileBytes;
using cw::test::W;
using cw::test::WriteFileBytes;

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.Join(W("青禾·澄文坊.ini"));
    platform::SetMessageBoxHook([this](const std::string& text, const std::string& caption, uint32_t flags) {
      messages.push_back({text, caption, flags});
      return 1;
    });
  }
  void TearDown() override {
    platform::SetPumpHook({});
    platform::SetMessageBoxHook({});
    platform::ClearInjectedFailures();
  }
  std::string File() const { return ReadFileBytes(path); }

  struct Message {
    std::string text, caption;
    uint32_t flags;
  };
  cw::test::TempDir dir;
  std::string path;
  std::vector<Message> messages;
};

}  // namespace cw::settings
