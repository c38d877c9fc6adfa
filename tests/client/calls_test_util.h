// The calls half of the client as a program sees it: entry points looked up
// by name in libcalwin32.so and libclxwin32.so, over the demo network or a
// small network of the test's own, with a drive folder of the test's own.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <string>

#include "client_test_util.h"
#include "network.h"
#include "nwclient.h"

namespace nwctest {

inline void* CallsLibrary(const char* entry) {
  static void* calls = dlopen("libcalwin32.so", RTLD_NOW);
  static void* clx = dlopen("libclxwin32.so", RTLD_NOW);
  return std::strncmp(entry, "NWCC", 4) == 0 ? clx : calls;
}

// An entry point by its exact name; fails the test when it is missing.
template <typename Fn>
Fn Entry(const char* name) {
  void* lib = CallsLibrary(name);
  EXPECT_NE(lib, nullptr) << "cannot load the library of " << name << ": " << dlerror();
  void* sym = lib ? dlsym(lib, name) : nullptr;
  EXPECT_NE(sym, nullptr) << name;
  return reinterpret_cast<Fn>(sym);
}

#define NW(name) (::nwctest::Entry<PFN_##name>(#name))

class CallsTest : public DemoNetworkTest {
 protected:
  void SetUp() override {
    DemoNetworkTest::SetUp();
    setenv("NWCLIENT_DRIVES", (drives_.path() / "dosdevices").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("NWCLIENT_DRIVES");
    DemoNetworkTest::TearDown();
  }

  nwc::Network& Net() { return testsupport::CurrentNet(); }
  // The workstation's connection to a server.
  NWCONN_HANDLE ConnTo(const char* server) { return testsupport::ConnTo(server); }
  // Loads a network of the test's own (volume folders relative to `base`).
  void Load(const std::string& json, const std::filesystem::path& base = ".") {
    ASSERT_TRUE(nwc::LoadNetworkFromString(json, base, "test.json")) << json;
  }

  TempDir drives_;
};

}  // namespace nwctest
