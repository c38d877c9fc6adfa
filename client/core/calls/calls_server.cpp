// File servers: the connection-slot table, the server clock, the caller's
// console and manager rights, and the server's description.
#include <algorithm>
#include <cstring>

#include "calls_common.h"
#include "entries.h"

using namespace nwc;
using namespace nwc::calls;

namespace {

// The bindery object a connection is logged in as; nullptr when it is not
// logged in or the server's bindery does not show its object.
const BinderyObject* LoggedObject(const Connection& conn) {
  const Slot* slot = conn.ServerSlot();
  if (slot == nullptr || !slot->LoggedIn()) return nullptr;
  return conn.server->FindObject(slot->objectId);
}

bool IsConsoleOperator(const Connection& conn) {
  const BinderyObject* o = LoggedObject(conn);
  return o != nullptr && o->consoleOperator;
}

// The moment the server came up: an hour before its earliest login.
std::time_t UpSince(const Server& server) {
  std::time_t earliest = server.Now();
  for (const Slot& s : server.slots) {
    if (s.inUse && s.loginTime != 0) earliest = std::min(earliest, s.loginTime);
  }
  return earliest - 3600;
}

// The calendar moment of the bytes NWSetFileServerDateAndTime takes; a year
// byte below 80 counts from 2000, as NetWare reads it.
std::optional<std::time_t> MomentOf(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year < 80 ? year + 100 : year;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  std::tm check = tm;
  const std::time_t when = std::mktime(&check);
  if (when == static_cast<std::time_t>(-1) || check.tm_mday != day || check.tm_mon != month - 1) return std::nullopt;
  return when;
}

}  // namespace

// One slot of the server's connection table. A slot that is in use but not
// logged in answers with an empty name and object ID 0; a slot nobody uses,
// or a number beyond the table, is no station: BAD_STATION_NUMBER, as the
// server answers.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetConnectionInformation(NWCONN_HANDLE conn, NWCONN_NUM connNumber,
                                                                     char* objectName, nuint16* objectType,
                                                                     nuint32* objectID, nuint8* loginTime) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  const Slot* slot = c->server->FindSlot(connNumber);
  if (slot == nullptr || !slot->inUse) return BAD_STATION_NUMBER;
  const bool loggedIn = slot->LoggedIn();
  const std::string name = loggedIn ? slot->objectName : std::string();
  if (name.size() >= NW_MAX_BINDERY_NAME) return BUFFER_OVERFLOW;
  if (objectName != nullptr) PutText(objectName, NW_MAX_BINDERY_NAME, name);
  if (objectType != nullptr) *objectType = loggedIn ? slot->objectType : 0;
  if (objectID != nullptr) *objectID = loggedIn ? slot->objectId : 0;
  if (loginTime != nullptr) {
    nuint8 bytes[7] = {};
    if (loggedIn) ClockBytes(slot->loginTime, bytes);
    std::memcpy(loginTime, bytes, sizeof bytes);
  }
  return SUCCESSFUL;
}

// Seven bytes of the server's own clock (which need not agree with the
// workstation's): year - 1900, month, day, hour, minute, second, weekday.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetFileServerDateAndTime(NWCONN_HANDLE conn, nuint8* dateTimeBuffer) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  if (dateTimeBuffer == nullptr) return INVALID_PARAMETER;
  nuint8 bytes[7];
  ClockBytes(c->server->Now(), bytes);
  std::memcpy(dateTimeBuffer, bytes, sizeof bytes);
  return SUCCESSFUL;
}

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWSetFileServerDateAndTime(NWCONN_HANDLE conn, nuint8 year, nuint8 month,
                                                                     nuint8 day, nuint8 hour, nuint8 minute,
                                                                     nuint8 second) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  if (!IsConsoleOperator(*c)) return NO_CONSOLE_PRIVILEGES;
  const auto when = MomentOf(year, month, day, hour, minute, second);
  if (!when) return INVALID_PARAMETER;
  c->server->SetClock(*when);
  return SUCCESSFUL;
}

// The requester's own limit of connections.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetMaximumConnections(nuint16* maxConns) {
  if (maxConns == nullptr) return INVALID_PARAMETER;
  *maxConns = kWorkstationConnections;
  return SUCCESSFUL;
}

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWCheckConsolePrivileges(NWCONN_HANDLE conn) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  return IsConsoleOperator(*c) ? SUCCESSFUL : NO_CONSOLE_PRIVILEGES;
}

// A workgroup manager or the supervisor; the server answers others as it
// answers a console request without rights.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWIsManager(NWCONN_HANDLE conn) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  const BinderyObject* o = LoggedObject(*c);
  return (o != nullptr && o->manager) ? SUCCESSFUL : NO_CONSOLE_PRIVILEGES;
}

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetFileServerInformation(
    NWCONN_HANDLE conn, char* serverName, nuint8* majorVer, nuint8* minorVer, nuint8* revision, nuint16* maxConns,
    nuint16* maxConnsUsed, nuint16* connsInUse, nuint16* numVolumes, nuint8* SFTLevel, nuint8* TTSLevel) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  const Server& s = *c->server;
  if (serverName != nullptr) PutText(serverName, NW_MAX_BINDERY_NAME, s.name);
  if (majorVer != nullptr) *majorVer = s.majorVersion;
  if (minorVer != nullptr) *minorVer = s.minorVersion;
  if (revision != nullptr) *revision = s.revision;
  if (maxConns != nullptr) *maxConns = s.maxConnections;
  if (maxConnsUsed != nullptr) *maxConnsUsed = std::max(s.peakConnections, s.ConnectionsInUse());
  if (connsInUse != nullptr) *connsInUse = s.ConnectionsInUse();
  if (numVolumes != nullptr) *numVolumes = static_cast<nuint16>(s.volumes.size());
  if (SFTLevel != nullptr) *SFTLevel = s.sftLevel;
  if (TTSLevel != nullptr) *TTSLevel = s.ttsLevel;
  return SUCCESSFUL;
}

// The server-environment record exists from NetWare 4 on; a 3.x server does
// not know the request.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetFileServerInfo(NWCONN_HANDLE conn, NWFSE_SERVER_INFO* serverInfo) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  if (serverInfo == nullptr) return INVALID_PARAMETER;
  const Server& s = *c->server;
  if (s.majorVersion < 4) return kRequestNotSupported;
  const auto upSeconds = static_cast<std::uint64_t>(std::max<std::time_t>(s.Now() - UpSince(s), 0));
  const nuint16 inUse = s.ConnectionsInUse();
  NWFSE_SERVER_INFO info{};
  info.currentServerTime = static_cast<nuint32>(upSeconds * 182 / 10);  // ticks since the server came up
  info.vconsoleVersion = 1;
  info.vconsoleRevision = 0;
  info.ncpStationsInUse = inUse;
  info.ncpPeakStationsInUse = std::max(s.peakConnections, inUse);
  info.numOfNCPRequests = static_cast<nuint32>(upSeconds * (inUse + 1u));
  info.serverUtilization = std::min<nuint32>(100, 2u + inUse);
  info.processorType = 3;                          // Pentium
  info.totalServerMemory = 64u * 1024u * 1024u;    // bytes
  info.nlmsLoaded = s.majorVersion >= 5 ? 61 : 38;
  *serverInfo = info;
  return SUCCESSFUL;
}
