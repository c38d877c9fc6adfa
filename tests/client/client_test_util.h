// Shared helpers of the client tests: put the process on a known network.
#pragma once

#include "support/demo_network.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "network.h"

namespace nwctest {

// Every test starts from the built-in demo network.
using testsupport::DemoNetworkTest;

// A scratch folder removed at the end of the test.
using TempDir = testsupport::TempDir;

inline int CountLines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace nwctest
