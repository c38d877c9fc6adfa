// The workstation's connections: the primary connection, connection numbers
// and references, connection information, opening a connection by server
// name and the preferred server. Handles and references are opaque 32-bit
// values; a connection number is only ever the slot on the server.
#include <algorithm>
#include <cstring>

#include "calls_common.h"
#include "entries.h"

using namespace nwc;
using namespace nwc::calls;

namespace {

// Authentication states of NWCCGetConnInfo and the connection record.
constexpr nuint32 kAuthentNone = 0;
constexpr nuint32 kAuthentBindery = 1;
constexpr nuint32 kAuthentDirectory = 2;
constexpr nuint32 kConnStateConnected = 1;
constexpr nuint32 kConnFlagLicensed = 1;
constexpr nuint32 kTransportIpx = 1;
constexpr nuint32 kMaxPacketSize = 1024;

struct NWCCVersionInfo {
  nuint32 major, minor, revision;
};

nuint32 AuthentState(const Connection& conn) {
  const Slot* slot = conn.ServerSlot();
  if (!conn.authenticated || slot == nullptr || !slot->LoggedIn()) return kAuthentNone;
  return (conn.server->directoryServer && slot->identity != nullptr) ? kAuthentDirectory : kAuthentBindery;
}

nuint32 BroadcastState(const Connection& conn) {
  const Slot* slot = conn.ServerSlot();
  return slot != nullptr ? slot->broadcastMode : NWCC_BCAST_PERMIT_ALL;
}

nuint32 UserId(const Connection& conn) {
  const Slot* slot = conn.ServerSlot();
  return slot != nullptr ? slot->objectId : 0;
}

// A number in the width the caller's buffer gives: 4 bytes, or 2 when only
// 2 are offered and the value fits them.
NWCCODE PutNumber(nuint32 value, nuint32 len, void* buffer) {
  if (len >= sizeof(nuint32)) {
    std::memcpy(buffer, &value, sizeof value);
    return SUCCESSFUL;
  }
  if (len >= sizeof(nuint16) && value <= 0xFFFF) {
    const auto narrow = static_cast<nuint16>(value);
    std::memcpy(buffer, &narrow, sizeof narrow);
    return SUCCESSFUL;
  }
  return BUFFER_OVERFLOW;
}

NWCCODE PutString(const std::string& text, nuint32 len, void* buffer) {
  return PutText(static_cast<char*>(buffer), len, text) ? SUCCESSFUL : BUFFER_OVERFLOW;
}

// A server name handed in by the caller: 1 to 47 characters.
std::optional<std::string_view> ServerNameArg(const char* name) {
  auto len = BoundedLength(name, NW_MAX_BINDERY_NAME);
  if (!len || *len == 0) return std::nullopt;
  return std::string_view(name, *len);
}

// The connection to a named server: the existing one, or a new one.
NWCCODE OpenByName(const Call& call, const char* name, Connection** out) {
  if (call.net == nullptr) return INVALID_CONNECTION;
  auto server = ServerNameArg(name);
  if (!server) return INVALID_PARAMETER;
  Server* s = call.net->FindServer(*server);
  if (s == nullptr) return NWE_SERVER_NOT_FOUND;
  return ConnectionTo(*call.net, *s, out);
}

}  // namespace

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWCallsInit(nptr, nptr) {
  Call call;
  return call.net != nullptr ? SUCCESSFUL : NWE_REQUESTER_FAILURE;
}

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetPrimaryConnectionID(NWCONN_HANDLE* conn) {
  Call call;
  if (conn == nullptr) return INVALID_PARAMETER;
  if (call.net == nullptr) return INVALID_CONNECTION;
  Connection* primary = call.net->workstation.Primary();
  if (primary == nullptr) return NO_CONN_TO_SERVER;
  *conn = primary->handle;
  return SUCCESSFUL;
}

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWSetPrimaryConnectionID(NWCONN_HANDLE conn) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  call.net->workstation.primary = c->handle;
  return SUCCESSFUL;
}

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetConnectionNumber(NWCONN_HANDLE conn, NWCONN_NUM* connNumber) {
  Call call;
  if (connNumber == nullptr) return INVALID_PARAMETER;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  *connNumber = c->number;
  return SUCCESSFUL;
}

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetFileServerName(NWCONN_HANDLE conn, char* serverName) {
  Call call;
  if (serverName == nullptr) return INVALID_PARAMETER;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  return PutText(serverName, NW_MAX_BINDERY_NAME, c->server->name) ? SUCCESSFUL : BUFFER_OVERFLOW;
}

// The workstation's connection handles. A list too small for all of them is
// filled as far as it goes, and the overflow is reported.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetConnectionList(nuint16, NWCONN_HANDLE* connListBuffer,
                                                              nuint16 connListSize, nuint16* numConns) {
  Call call;
  if (numConns == nullptr || (connListBuffer == nullptr && connListSize != 0)) return INVALID_PARAMETER;
  *numConns = 0;
  if (call.net == nullptr) return INVALID_CONNECTION;
  const auto& all = call.net->workstation.connections;
  const std::size_t count = std::min<std::size_t>(all.size(), connListSize);
  for (std::size_t i = 0; i < count; ++i) connListBuffer[i] = all[i]->handle;
  *numConns = static_cast<nuint16>(count);
  return count < all.size() ? CONNECT_LIST_OVERFLOW : SUCCESSFUL;
}

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetConnectionHandle(const char* serverName, nuint16, NWCONN_HANDLE* conn,
                                                                nuint16*) {
  Call call;
  if (conn == nullptr) return INVALID_PARAMETER;
  Connection* c = nullptr;
  const NWCCODE rc = OpenByName(call, serverName, &c);
  if (rc != SUCCESSFUL) return rc;
  *conn = c->handle;
  return SUCCESSFUL;
}

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWCCGetPrimConnRef(NWCCConnRef* connRef) {
  Call call;
  if (connRef == nullptr) return INVALID_PARAMETER;
  if (call.net == nullptr) return INVALID_CONNECTION;
  Connection* primary = call.net->workstation.Primary();
  if (primary == nullptr) return NO_CONN_TO_SERVER;
  *connRef = primary->ref;
  return SUCCESSFUL;
}

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWCCOpenConnByRef(NWCCConnRef connRef, nuint32 openState, nuint32,
                                                            NWCONN_HANDLE* conn) {
  Call call;
  if (conn == nullptr) return INVALID_PARAMETER;
  if (call.net == nullptr) return INVALID_CONNECTION;
  Connection* c = call.net->workstation.FindConnectionByRef(connRef);
  if (c == nullptr) return INVALID_CONNECTION;
  if (openState & NWCC_OPEN_LICENSED) c->licensed = true;
  *conn = c->handle;
  return SUCCESSFUL;
}

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWCCOpenConnByName(NWCONN_HANDLE startConn, const char* name,
                                                             nuint32 nameFormat, nuint32 openState, nuint32,
                                                             NWCONN_HANDLE* conn) {
  Call call;
  if (conn == nullptr) return INVALID_PARAMETER;
  if (startConn != 0 && call.Conn(startConn) == nullptr) return INVALID_CONNECTION;
  if (nameFormat != NWCC_NAME_FORMAT_BIND) return INVALID_PARAMETER;
  Connection* c = nullptr;
  const NWCCODE rc = OpenByName(call, name, &c);
  if (rc != SUCCESSFUL) return rc;
  if (openState & NWCC_OPEN_LICENSED) c->licensed = true;
  *conn = c->handle;
  return SUCCESSFUL;
}

// One fact about a connection, never more than `len` bytes of it.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWCCGetConnInfo(NWCONN_HANDLE conn, nuint32 infoType, nuint32 len,
                                                          nptr buffer) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  if (buffer == nullptr) return INVALID_PARAMETER;
  switch (infoType) {
    case NWCC_INFO_AUTHENT_STATE: return PutNumber(AuthentState(*c), len, buffer);
    case NWCC_INFO_BCAST_STATE: return PutNumber(BroadcastState(*c), len, buffer);
    case NWCC_INFO_CONN_REF: return PutNumber(c->ref, len, buffer);
    case NWCC_INFO_TREE_NAME: return PutString(c->server->tree, len, buffer);
    case NWCC_INFO_CONN_NUMBER: return PutNumber(c->number, len, buffer);
    case NWCC_INFO_USER_ID: return PutNumber(UserId(*c), len, buffer);
    case NWCC_INFO_SERVER_NAME: return PutString(c->server->name, len, buffer);
    case NWCC_INFO_VERSION: {
      const NWCCVersionInfo version{c->server->majorVersion, c->server->minorVersion, c->server->revision};
      if (len < sizeof version) return BUFFER_OVERFLOW;
      std::memcpy(buffer, &version, sizeof version);
      return SUCCESSFUL;
    }
    case NWCC_INFO_MAX_PACKET_SIZE: return PutNumber(kMaxPacketSize, len, buffer);
    default: return INVALID_PARAMETER;
  }
}

// References in ascending order; the iterator holds the last one handed out,
// so a connection closed during the scan does not upset it.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWCCScanConnRefs(nuint32* scanIterator, NWCCConnRef* connRef) {
  Call call;
  if (scanIterator == nullptr || connRef == nullptr) return INVALID_PARAMETER;
  if (call.net == nullptr) return INVALID_CONNECTION;
  const Connection* next = nullptr;
  for (const auto& c : call.net->workstation.connections) {
    if (c->ref > *scanIterator && (next == nullptr || c->ref < next->ref)) next = c.get();
  }
  if (next == nullptr) return NWE_NO_MORE_ENTRIES;
  *scanIterator = next->ref;
  *connRef = next->ref;
  return SUCCESSFUL;
}

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWCCGetAllConnRefInfo(NWCCConnRef connRef, nuint32 infoVersion,
                                                                NWCCConnInfo* connInfo) {
  Call call;
  if (connInfo == nullptr || infoVersion != 1) return INVALID_PARAMETER;
  if (call.net == nullptr) return INVALID_CONNECTION;
  const Connection* c = call.net->workstation.FindConnectionByRef(connRef);
  if (c == nullptr) return INVALID_CONNECTION;
  NWCCConnInfo info{};
  info.authenticationState = AuthentState(*c);
  info.broadcastState = BroadcastState(*c);
  info.connRef = c->ref;
  PutText(info.treeName, sizeof info.treeName, c->server->tree);
  info.connNum = c->number;
  info.userID = UserId(*c);
  PutText(info.serverName, sizeof info.serverName, c->server->name);
  info.NCPReqVersion = c->server->majorVersion;
  info.maxPacketSize = kMaxPacketSize;
  info.connState = kConnStateConnected;
  info.connFlags = c->licensed ? kConnFlagLicensed : 0;
  info.transportType = kTransportIpx;
  *connInfo = info;
  return SUCCESSFUL;
}

// The preferred server becomes the primary connection, opened if need be.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWCCSetPrefServerName(const char* prefServer) {
  Call call;
  Connection* c = nullptr;
  const NWCCODE rc = OpenByName(call, prefServer, &c);
  if (rc != SUCCESSFUL) return rc;
  call.net->workstation.preferredServer = c->server->name;
  call.net->workstation.primary = c->handle;
  return SUCCESSFUL;
}
