// The service units over the real stand-in client: its libraries loaded by
// name, no entry point replaced, on the demo network (or a network the test
// loads), with a drive folder of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "fakeclient.h"
#include "support/demo_network.h"
#include "netware/nwnds.h"
#include "netware/nwprint.h"
#include "netware/nwserver.h"
#include "netware/tessel.h"
#include "network.h"

class RealClientTest : public ::testing::Test {
 protected:
  RealClientTest() : savedDirLibrary_(DirLibrary) {
    DirLibrary = nullptr;  // the directory half stays out of these tests
    unsetenv("NWCLIENT_NETWORK");
    nwc::ResetNetwork();
    std::string pattern = (std::filesystem::temp_directory_path() / "nwdrives-XXXXXX").string();
    drives_ = mkdtemp(pattern.data());
    if (const char *previous = getenv("NWCLIENT_DRIVES")) savedDrives_ = previous;
    setenv("NWCLIENT_DRIVES", (drives_ / "dosdevices").c_str(), 1);
    ServerLastResult = ServerLastError = 0;
    PrintLastResult = PrintLastError = 0;
  }
  ~RealClientTest() override {
    DirLibrary = savedDirLibrary_;
    if (savedDrives_.empty()) {
      unsetenv("NWCLIENT_DRIVES");
    } else {
      setenv("NWCLIENT_DRIVES", savedDrives_.c_str(), 1);
    }
    nwc::ResetNetwork();
    std::error_code ec;
    std::filesystem::remove_all(drives_, ec);
  }

  void Start() { tessel = std::make_unique<TTessel>(); }

  nwc::Network &Net() { return testsupport::CurrentNet(); }
  NWCONN_HANDLE ConnTo(const char *server) { return testsupport::ConnTo(server); }

  FakeClient client;  // replaces nothing: every entry point is the client's own
  std::unique_ptr<TTessel> tessel;
  std::filesystem::path drives_;
  std::string savedDrives_;  // the folder the program chose, given back afterwards

 private:
  nwlib::LibHandle savedDirLibrary_;
};
