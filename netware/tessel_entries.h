// Entry-point slots of the connection services, shared by their source files,
// and the few helpers every routine of the unit uses. Each slot is looked up
// on first use and kept once found; a missing one is tried again next time.
#pragma once

#include <cstdint>
#include <string>

#include "netware/nwlibrary.h"
#include "netware/tessel.h"

namespace tessel {
#define TESSEL_SLOT(name) extern nwlib::Entry<PFN_##name> name;
TESSEL_SLOT(NWCallsInit)
TESSEL_SLOT(NWCCGetPrimConnRef)
TESSEL_SLOT(NWCCOpenConnByRef)
TESSEL_SLOT(NWGetPrimaryConnectionID)
TESSEL_SLOT(NWCCGetConnInfo)
TESSEL_SLOT(NWGetConnectionNumber)
TESSEL_SLOT(NWGetConnectionInformation)
TESSEL_SLOT(NWGetFileServerName)
TESSEL_SLOT(NWCCScanConnRefs)
TESSEL_SLOT(NWCCGetAllConnRefInfo)
TESSEL_SLOT(NWGetConnectionList)
TESSEL_SLOT(NWGetFileServerDateAndTime)
TESSEL_SLOT(NWGetMaximumConnections)
TESSEL_SLOT(NWCheckConsolePrivileges)
TESSEL_SLOT(NWIsManager)
TESSEL_SLOT(NWCCSetPrefServerName)
TESSEL_SLOT(NWGetConnectionHandle)
TESSEL_SLOT(NWSetPrimaryConnectionID)
TESSEL_SLOT(NWSetBroadcastMode)
TESSEL_SLOT(NWGetObjectConnectionNumbers)
TESSEL_SLOT(NWGetConnListFromObject)
TESSEL_SLOT(NWSendBroadcastMessage)
TESSEL_SLOT(NWGetObjectID)
TESSEL_SLOT(NWLongSwap)
TESSEL_SLOT(NWGetObjectName)
TESSEL_SLOT(NWScanObject)
TESSEL_SLOT(NWReadPropertyValue)
TESSEL_SLOT(NWParseNetWarePath)
TESSEL_SLOT(NWSetDriveBase)
TESSEL_SLOT(NWDeleteDriveBase)
TESSEL_SLOT(NWGetFirstDrive)
TESSEL_SLOT(NWGetDriveStatus)
TESSEL_SLOT(NWParsePath)
TESSEL_SLOT(NWSetNetWareErrorMode)
#undef TESSEL_SLOT

// The code a routine reports when none of its entry points could be called.
constexpr int32_t kNoCall = -1;

// Records a code in CallsLastResult (and CallsLastError when it is a
// failure); true on success.
bool CallsRecord(int32_t code);

// The connection itself, or the primary connection for 0.
NWCONN_HANDLE OrPrimary(NWCONN_HANDLE conn);

// The upper-cased name in a bindery name area; false (area empty) when it
// does not fit: a cut name could address another object.
bool BinderyNameArea(const std::string &name, char (&area)[NW_MAX_BINDERY_NAME]);
}  // namespace tessel
