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
    setenv("NWCLIENT_DRIVES", (drives_ / "dosdevices").c_str(), 1);
    ServerLastResult = ServerLastError = 0;
    PrintLastResult = PrintLastError = 0;
  }
  ~RealClientTest() override {
    DirLibrary = savedDirLibrary_;
    unsetenv("NWCLIENT_DRIVES");
    nwc::ResetNetwork();
    std::error_code ec;
    std::filesystem::remove_all(drives_, ec);
  }

  void Start() { tessel = std::make_unique<TTessel>(); }

  nwc::Network &Net() {
    nwc::Network *net = nwc::CurrentNetwork();
    EXPECT_NE(net, nullptr);
    return *net;
  }
  NWCONN_HANDLE ConnTo(const char *server) {
    nwc::Server *s = Net().FindServer(server);
    nwc::Connection *c = s ? Net().workstation.FindConnectionTo(*s) : nullptr;
    EXPECT_NE(c, nullptr) << server;
    return c ? c->handle : 0;
  }

  FakeClient client;  // replaces nothing: every entry point is the client's own
  std::unique_ptr<TTessel> tessel;
  std::filesystem::path drives_;

 private:
  nwlib::LibHandle savedDirLibrary_;
};
