// The connection services over a test client: the stand-in libraries with
// chosen entry points answered by the test. By default the client starts and
// its primary connection is kPrimary; tests change that before Start().
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "fakeclient.h"
#include "netware/nwnds.h"
#include "netware/tessel.h"

// Answers an entry point with a captureless lambda of its function type.
#define FAKE(entry, ...) client.Replace(#entry, static_cast<PFN_##entry>(__VA_ARGS__))

constexpr NWCONN_HANDLE kPrimary = 0x1001;
constexpr NWCCConnRef kPrimaryRef = 77;

class TesselTest : public ::testing::Test {
 protected:
  TesselTest() : savedDirLibrary_(DirLibrary) {
    DirLibrary = nullptr;  // no directory unless a test asks for one
    FAKE(NWCallsInit, [](nptr, nptr) -> NWCCODE { return 0; });
    FAKE(NWCCGetPrimConnRef, [](NWCCConnRef *ref) -> NWCCODE {
      *ref = kPrimaryRef;
      return 0;
    });
    FAKE(NWCCOpenConnByRef, [](NWCCConnRef ref, nuint32 state, nuint32, NWCONN_HANDLE *conn) -> NWCCODE {
      *conn = (ref == kPrimaryRef && state == NWCC_OPEN_LICENSED) ? kPrimary : 0;
      return 0;
    });
  }
  ~TesselTest() override { DirLibrary = savedDirLibrary_; }

  void Start() { tessel = std::make_unique<TTessel>(); }
  // The directory library, so that the directory fallback reaches faked entries.
  void WithDirectory() { DirLibrary = nwlib::LoadLibraryByName("NETWIN32.DLL"); }

  FakeClient client;
  std::unique_ptr<TTessel> tessel;

 private:
  nwlib::LibHandle savedDirLibrary_;
};
