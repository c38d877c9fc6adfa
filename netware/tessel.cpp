// Connection services: loading the calls client, the module-wide state and
// the entry-point slots that every routine of the unit shares.
#include "netware/tessel.h"

#include "common/nwtext.h"
#include "netware/tessel_entries.h"
#include "util/nwtools.h"

nwlib::LibHandle CallsLibrary = nullptr;
nwlib::LibHandle ConnLibrary = nullptr;
NWCONN_HANDLE PrimaryConn = 0;
int32_t CallsLastResult = 0;
int32_t CallsLastError = 0;
bool DirectoryFallback = false;

namespace tessel {
#define TESSEL_DEFINE(name, lib) nwlib::Entry<PFN_##name> name{#name, lib};
TESSEL_DEFINE(NWCallsInit, CallsLibrary)
TESSEL_DEFINE(NWCCGetPrimConnRef, ConnLibrary)
TESSEL_DEFINE(NWCCOpenConnByRef, ConnLibrary)
TESSEL_DEFINE(NWGetPrimaryConnectionID, CallsLibrary)
TESSEL_DEFINE(NWCCGetConnInfo, ConnLibrary)
TESSEL_DEFINE(NWGetConnectionNumber, CallsLibrary)
TESSEL_DEFINE(NWGetConnectionInformation, CallsLibrary)
TESSEL_DEFINE(NWGetFileServerName, CallsLibrary)
TESSEL_DEFINE(NWCCScanConnRefs, ConnLibrary)
TESSEL_DEFINE(NWCCGetAllConnRefInfo, ConnLibrary)
TESSEL_DEFINE(NWGetConnectionList, CallsLibrary)
TESSEL_DEFINE(NWGetFileServerDateAndTime, CallsLibrary)
TESSEL_DEFINE(NWGetMaximumConnections, CallsLibrary)
TESSEL_DEFINE(NWCheckConsolePrivileges, CallsLibrary)
TESSEL_DEFINE(NWIsManager, CallsLibrary)
TESSEL_DEFINE(NWCCSetPrefServerName, ConnLibrary)
TESSEL_DEFINE(NWGetConnectionHandle, CallsLibrary)
TESSEL_DEFINE(NWSetPrimaryConnectionID, CallsLibrary)
TESSEL_DEFINE(NWSetBroadcastMode, CallsLibrary)
TESSEL_DEFINE(NWGetObjectConnectionNumbers, CallsLibrary)
TESSEL_DEFINE(NWGetConnListFromObject, CallsLibrary)
TESSEL_DEFINE(NWSendBroadcastMessage, CallsLibrary)
TESSEL_DEFINE(NWGetObjectID, CallsLibrary)
TESSEL_DEFINE(NWLongSwap, CallsLibrary)
TESSEL_DEFINE(NWGetObjectName, CallsLibrary)
TESSEL_DEFINE(NWScanObject, CallsLibrary)
TESSEL_DEFINE(NWReadPropertyValue, CallsLibrary)
TESSEL_DEFINE(NWParseNetWarePath, CallsLibrary)
TESSEL_DEFINE(NWSetDriveBase, CallsLibrary)
TESSEL_DEFINE(NWDeleteDriveBase, CallsLibrary)
TESSEL_DEFINE(NWGetFirstDrive, CallsLibrary)
TESSEL_DEFINE(NWGetDriveStatus, CallsLibrary)
TESSEL_DEFINE(NWParsePath, CallsLibrary)
TESSEL_DEFINE(NWSetNetWareErrorMode, CallsLibrary)
#undef TESSEL_DEFINE

bool CallsRecord(int32_t code) { return nwlib::Status{CallsLastResult, CallsLastError}.Record(code); }

NWCONN_HANDLE OrPrimary(NWCONN_HANDLE conn) { return conn != 0 ? conn : PrimaryConnection(); }

bool BinderyNameArea(const std::string &name, char (&area)[NW_MAX_BINDERY_NAME]) {
  return nwlib::CopyToArea(nwtext::UpperAscii(name), area);
}
}  // namespace tessel

using namespace tessel;

namespace {
constexpr int32_t kLibraryMissing = 65535;
}

TTessel::TTessel() {
  PrimaryConn = 0;
  CallsLastError = 0;
  CallsLibrary = nullptr;
  ConnLibrary = nullptr;
  DirectoryFallback = false;

  CallsLibrary = nwlib::LoadLibraryByName("CALWIN32.DLL");
  if (CallsLibrary == nullptr) {
    CallsLastError = kLibraryMissing;
    return;
  }
  ConnLibrary = nwlib::LoadLibraryByName("CLXWIN32.DLL");
  if (ConnLibrary == nullptr) {
    CallsLastError = kLibraryMissing;
    return;
  }
  if (!NWCallsInit.Bind()) return;
  // The client's reserved input and output arguments share one variable.
  nuint32 reserved = 0;
  if (NWCallsInit(&reserved, &reserved) == 0) PrimaryConn = PrimaryConnection();
}

std::string TTessel::LastErrorText() const { return HexCode(CallsLastError); }

std::string LibraryVersion() { return "4.50 - 15 Sept 1998"; }

void SetDirectoryFallback(bool on) { DirectoryFallback = on; }

bool CallsAvailable() {
  return CallsLibrary != nullptr && ConnLibrary != nullptr && PrimaryConnection() != 0;
}
