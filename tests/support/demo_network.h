// The simulated network as the tests start it: the built-in demo network,
// loaded lazily as at program start and fresh for every test, and the
// workstation's connections in it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

// The client's model names a member "slots", which Qt takes for a keyword.
#pragma push_macro("slots")
#undef slots
#include "network.h"
#pragma pop_macro("slots")
#include "nwclient.h"

namespace testsupport {

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

// The network in use; fails the test when there is none.
inline nwc::Network &CurrentNet() {
  nwc::Network *net = nwc::CurrentNetwork();
  EXPECT_NE(net, nullptr);
  return *net;
}

// The workstation's connection to a server; 0 (and a failed test) when it
// has none.
inline NWCONN_HANDLE ConnTo(const char *server) {
  nwc::Server *s = CurrentNet().FindServer(server);
  EXPECT_NE(s, nullptr) << server;
  nwc::Connection *c = s ? CurrentNet().workstation.FindConnectionTo(*s) : nullptr;
  EXPECT_NE(c, nullptr) << server;
  return c ? c->handle : 0;
}

}  // namespace testsupport
