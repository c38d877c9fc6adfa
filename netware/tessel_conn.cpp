// Connections and login identity: the primary connection, connection numbers,
// who is logged in where, the server clock and the preferred server.
#include <algorithm>
#include <chrono>
#include <ctime>

#include "common/nwtext.h"
#include "netware/nwnds.h"
#include "netware/nwserver.h"
#include "netware/tessel.h"
#include "netware/tessel_entries.h"

using namespace tessel;

namespace {
constexpr uint16_t kConnListRoom = 49;  // the capacity the connection list is asked for

// The workstation's clock, as the fallback for a server clock that cannot be read.
struct WorkstationClock {
  std::tm local{};
  int millisecond = 0;

  WorkstationClock() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    localtime_r(&seconds, &local);
    millisecond = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  }
  TNWDate Date() const { return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday}; }
  TNWTime Time() const { return {local.tm_hour, local.tm_min, local.tm_sec, millisecond}; }
};

bool IsValid(const TNWDate &date) {
  using namespace std::chrono;
  return year_month_day{year{date.year}, month{static_cast<unsigned>(date.month)},
                        day{static_cast<unsigned>(date.day)}}
      .ok();
}

bool IsValid(const TNWTime &time) { return time.hour < 24 && time.minute < 60 && time.second < 60; }

// Bytes 0 to 5 of the server clock: year - 1900, month, day, hour, minute, second.
bool ReadServerClock(NWCONN_HANDLE conn, nuint8 (&stamp)[8]) {
  if (!NWGetFileServerDateAndTime.Bind()) return false;
  conn = OrPrimary(conn);
  return CallsRecord(NWGetFileServerDateAndTime(conn, stamp));
}
}  // namespace

NWCONN_HANDLE PrimaryConnection() {
  if (PrimaryConn != 0) return PrimaryConn;
  int32_t code = kNoCall;
  NWCONN_HANDLE conn = 0;
  if (NWCCGetPrimConnRef.Bind()) {
    NWCCConnRef reference = 0;
    if (NWCCGetPrimConnRef(&reference) == 0 && NWCCOpenConnByRef.Bind()) {
      code = NWCCOpenConnByRef(reference, NWCC_OPEN_LICENSED, 0, &conn);
    }
  } else if (NWGetPrimaryConnectionID.Bind()) {
    code = NWGetPrimaryConnectionID(&conn);
  }
  return CallsRecord(code) ? conn : 0;
}

uint16_t ConnectionNumber(NWCONN_HANDLE conn) {
  int32_t code = kNoCall;
  conn = OrPrimary(conn);
  nuint32 number = 0;
  if (NWCCGetConnInfo.Bind()) {
    code = NWCCGetConnInfo(conn, NWCC_INFO_CONN_NUMBER, sizeof number, &number);
  } else if (NWGetConnectionNumber.Bind()) {
    NWCONN_NUM slot = 0;
    code = NWGetConnectionNumber(conn, &slot);
    number = slot;
  }
  return CallsRecord(code) ? static_cast<uint16_t>(number & 0xFFFF) : 0;
}

std::string ConnectionLoginName(NWCONN_HANDLE conn) {
  if (!NWGetConnectionInformation.Bind()) return {};
  conn = OrPrimary(conn);
  const NWCONN_NUM number = ConnectionNumber(conn);
  char name[NW_MAX_BINDERY_NAME] = {};
  nuint16 type = 0;
  nuint32 id = 0;
  nuint8 loginTime[8] = {};
  if (!CallsRecord(NWGetConnectionInformation(conn, number, name, &type, &id, loginTime))) return {};
  return nwlib::TextOfArea(name);
}

std::string ConnectionServerName(NWCONN_HANDLE conn) {
  int32_t code = kNoCall;
  conn = OrPrimary(conn);
  char name[NW_MAX_BINDERY_NAME] = {};
  if (NWCCGetConnInfo.Bind()) {
    code = NWCCGetConnInfo(conn, NWCC_INFO_SERVER_NAME, sizeof name, name);
  } else if (NWGetFileServerName.Bind()) {
    code = NWGetFileServerName(conn, name);
  }
  if (!CallsRecord(code)) return std::string("LOCAL");
  return nwlib::TextOfArea(name);
}

TNWObjList ConnectedUsers(NWCONN_HANDLE conn, bool includeAll) {
  TNWObjList users;
  if (!NWGetConnectionInformation.Bind()) return users;
  conn = OrPrimary(conn);
  TNWServerInfo info;
  const uint32_t slots = GetServerInfo(conn, info) ? info.MaxConns : 0;
  for (uint32_t number = 1; number <= slots; ++number) {
    char name[NW_MAX_BINDERY_NAME] = {};
    nuint16 type = 0;
    nuint32 id = 0;
    nuint8 loginTime[8] = {};
    // A failing slot is skipped silently: only the last result sees it.
    CallsLastResult = NWGetConnectionInformation(conn, static_cast<NWCONN_NUM>(number), name, &type, &id,
                                                 loginTime);
    if (CallsLastResult != 0 || (!includeAll && id == 0)) continue;
    const std::string login = nwlib::TextOfArea(name);
    users.push_back({login.empty() ? "Not Logged In" : login, number});
  }
  return users;
}

TNWObjList ConnectedServers() {
  TNWObjList servers;
  if (NWCCScanConnRefs.Bind()) {
    if (!NWCCGetAllConnRefInfo.Bind()) return servers;
    nuint32 iterator = 0;
    for (;;) {
      NWCCConnRef reference = 0;
      if (!CallsRecord(NWCCScanConnRefs(&iterator, &reference))) break;  // the end code stays recorded
      NWCCConnInfo info{};
      if (!CallsRecord(NWCCGetAllConnRefInfo(reference, 1, &info))) continue;
      servers.push_back({nwlib::TextOfArea(info.serverName), info.connNum});
    }
    return servers;
  }
  if (!NWGetConnectionList.Bind()) return servers;
  NWCONN_HANDLE handles[kConnListRoom] = {};
  nuint16 count = 0;
  if (NWGetConnectionList(0, handles, kConnListRoom, &count) != 0) return servers;
  // A count beyond the list's room is never read past the list.
  for (nuint16 i = 0; i < std::min(count, kConnListRoom); ++i) {
    servers.push_back({ConnectionServerName(handles[i]), handles[i]});
  }
  return servers;
}

// A server clock that does not hold a valid date or time is not trusted:
// the workstation's own stands in, as for a clock that cannot be read.
TNWDate ReadServerDate(NWCONN_HANDLE conn) {
  const TNWDate today = WorkstationClock().Date();
  nuint8 stamp[8] = {};
  if (!ReadServerClock(conn, stamp)) return today;
  const TNWDate date{stamp[0] + 1900, stamp[1], stamp[2]};
  return IsValid(date) ? date : today;
}

TNWTime ReadServerTime(NWCONN_HANDLE conn) {
  const TNWTime now = WorkstationClock().Time();
  nuint8 stamp[8] = {};
  if (!ReadServerClock(conn, stamp)) return now;
  const TNWTime time{stamp[3], stamp[4], stamp[5], 0};
  return IsValid(time) ? time : now;
}

uint16_t MaxConnections() {
  if (!NWGetMaximumConnections.Bind()) return 0;
  nuint16 count = 0;
  NWGetMaximumConnections(&count);
  return count;
}

bool IsConsoleOperator(NWCONN_HANDLE conn) {
  if (!NWCheckConsolePrivileges.Bind()) return false;
  conn = OrPrimary(conn);
  return CallsRecord(NWCheckConsolePrivileges(conn));
}

bool IsManager(NWCONN_HANDLE conn) {
  if (!NWIsManager.Bind()) return false;
  conn = OrPrimary(conn);
  return CallsRecord(NWIsManager(conn));
}

bool SetPreferredServer(const std::string &name, NWCONN_HANDLE &conn) {
  char server[NW_MAX_BINDERY_NAME];
  if (!nwlib::CopyToArea(name, server)) return false;
  int32_t code = 0;
  if (NWCCSetPrefServerName.Bind()) {
    code = NWCCSetPrefServerName(server);
  } else {
    if (!NWGetConnectionHandle.Bind() || !NWSetPrimaryConnectionID.Bind()) return false;
    NWCONN_HANDLE handle = 0;
    code = NWGetConnectionHandle(server, 0, &handle, nullptr);
    if (code == 0) code = NWSetPrimaryConnectionID(handle);
  }
  if (!CallsRecord(code)) return false;
  conn = ConnectionByServerName(name);
  if (conn != 0) DirectoryFallback = IsDirectoryServer(conn);
  PrimaryConn = conn;
  return true;
}
