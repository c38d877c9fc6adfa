// Shared helpers of the client tests: put the process on a known network.
#pragma once

#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "network.h"

namespace nwctest {

// Every test starts from the built-in demo network, loaded lazily as at
// program start.
class DemoNetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("NWCLIENT_NETWORK");
    nwc::ResetNetwork();
  }
  void TearDown() override {
    unsetenv("NWCLIENT_NETWORK");
    nwc::ResetNetwork();
  }
};

// A scratch folder removed at the end of the test.
using TempDir = testsupport::TempDir;

inline int CountLines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace nwctest
