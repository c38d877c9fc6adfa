// Shared helpers of the client tests: put the process on a known network.
#pragma once

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
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nwclient-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path Write(const std::string& name, const std::string& text) const {
    auto file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }

 private:
  std::filesystem::path path_;
};

inline int CountLines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace nwctest
