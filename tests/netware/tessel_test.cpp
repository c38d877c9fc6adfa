#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "netware/nwprop.h"
#include "netware/tessel.h"
#include "tessel_fixture.h"

namespace {

// ---- binding and initialisation ------------------------------------------

TEST_F(TesselTest, MissingCallsLibraryLeavesEverythingFailing) {
  client.WithoutLibrary("CALWIN32.DLL");
  Start();
  EXPECT_EQ(CallsLibrary, nullptr);
  EXPECT_EQ(CallsLastError, 65535);
  EXPECT_EQ(tessel->LastErrorText(), "FFFF");
  EXPECT_FALSE(CallsAvailable());
  EXPECT_FALSE(IsManager(0));
  EXPECT_EQ(MaxConnections(), 0);
  EXPECT_TRUE(BinderyObjectList(kPrimary, OT_USER).empty());
  EXPECT_EQ(FirstDriveLetter(), 0);
  EXPECT_EQ(ObjectIDText(kPrimary, "ADMIN", OT_USER), "0");
  EXPECT_EQ(client.Lookups("NWIsManager") + client.Lookups("NWCallsInit") + client.Lookups("NWScanObject"), 0);
}

TEST_F(TesselTest, MissingConnectionLibraryStopsBeforeInitialising) {
  client.WithoutLibrary("CLXWIN32.DLL");
  Start();
  EXPECT_NE(CallsLibrary, nullptr);
  EXPECT_EQ(ConnLibrary, nullptr);
  EXPECT_EQ(tessel->LastErrorText(), "FFFF");
  EXPECT_EQ(client.Lookups("NWCallsInit"), 0);
  EXPECT_EQ(PrimaryConn, 0u);
  EXPECT_FALSE(CallsAvailable());
}

TEST_F(TesselTest, ConstructionInitialisesAndCachesThePrimaryConnection) {
  static nptr in, out;
  FAKE(NWCallsInit, [](nptr a, nptr b) -> NWCCODE {
    in = a;
    out = b;
    return 0;
  });
  CallsLastError = 0x1234;
  PrimaryConn = 99;
  DirectoryFallback = true;
  Start();
  EXPECT_NE(in, nullptr);
  EXPECT_EQ(in, out);
  EXPECT_EQ(PrimaryConn, kPrimary);
  EXPECT_EQ(CallsLastError, 0);
  EXPECT_FALSE(DirectoryFallback);
  EXPECT_TRUE(CallsAvailable());
  EXPECT_EQ(LibraryVersion(), "4.50 - 15 Sept 1998");
}

TEST_F(TesselTest, WithoutInitNothingIsCachedOrRecorded) {
  client.Without("NWCallsInit");
  Start();
  EXPECT_EQ(PrimaryConn, 0u);
  EXPECT_EQ(tessel->LastErrorText(), "0000");
  EXPECT_TRUE(CallsAvailable());  // the primary connection is asked for again
}

TEST_F(TesselTest, FailingInitIsNotRecorded) {
  static int primaryRefs;
  primaryRefs = 0;
  FAKE(NWCallsInit, [](nptr, nptr) -> NWCCODE { return NWE_REQUESTER_FAILURE; });
  FAKE(NWCCGetPrimConnRef, [](NWCCConnRef *ref) -> NWCCODE {
    ++primaryRefs;
    *ref = kPrimaryRef;
    return 0;
  });
  Start();
  EXPECT_EQ(PrimaryConn, 0u);
  EXPECT_EQ(CallsLastError, 0);
  EXPECT_EQ(primaryRefs, 0);
  EXPECT_EQ(PrimaryConnection(), kPrimary);
  EXPECT_EQ(PrimaryConnection(), kPrimary);
  EXPECT_EQ(primaryRefs, 2);  // nothing cached: asked every time
}

TEST_F(TesselTest, ErrorTexts) {
  Start();
  CallsLastError = -1;
  EXPECT_EQ(tessel->LastErrorText(), "FFFFFFFF");
  CallsLastError = 0x8801;
  EXPECT_EQ(tessel->LastErrorText(), "8801");
  EXPECT_EQ(TNWProp().LastErrorText(), "0000");
}

// ---- the primary connection ------------------------------------------------

TEST_F(TesselTest, CachedPrimaryConnectionAsksNothing) {
  Start();
  const int lookups = client.Lookups("NWCCGetPrimConnRef");
  CallsLastResult = 4321;
  EXPECT_EQ(PrimaryConnection(), kPrimary);
  EXPECT_EQ(CallsLastResult, 4321);
  EXPECT_EQ(client.Lookups("NWCCGetPrimConnRef"), lookups);
}

TEST_F(TesselTest, PrimaryConnectionFailuresCountAsMinusOne) {
  static int opens;
  opens = 0;
  FAKE(NWCCGetPrimConnRef, [](NWCCConnRef *) -> NWCCODE { return NO_CONN_TO_SERVER; });
  FAKE(NWCCOpenConnByRef, [](NWCCConnRef, nuint32, nuint32, NWCONN_HANDLE *) -> NWCCODE {
    ++opens;
    return 0;
  });
  Start();
  EXPECT_EQ(PrimaryConn, 0u);
  EXPECT_EQ(PrimaryConnection(), 0u);
  EXPECT_EQ(CallsLastResult, -1);
  EXPECT_EQ(tessel->LastErrorText(), "FFFFFFFF");
  EXPECT_EQ(opens, 0);
  EXPECT_FALSE(CallsAvailable());
}

TEST_F(TesselTest, PrimaryConnectionOpenFailureIsRecorded) {
  FAKE(NWCCOpenConnByRef, [](NWCCConnRef, nuint32, nuint32, NWCONN_HANDLE *) -> NWCCODE {
    return INVALID_CONNECTION;
  });
  Start();
  EXPECT_EQ(PrimaryConnection(), 0u);
  EXPECT_EQ(CallsLastError, INVALID_CONNECTION);
}

TEST_F(TesselTest, PrimaryConnectionSecondWay) {
  client.Without("NWCCGetPrimConnRef");
  FAKE(NWGetPrimaryConnectionID, [](NWCONN_HANDLE *conn) -> NWCCODE {
    *conn = 0x4004;
    return 0;
  });
  Start();
  EXPECT_EQ(PrimaryConn, 0x4004u);

  PrimaryConn = 0;
  FAKE(NWGetPrimaryConnectionID, [](NWCONN_HANDLE *) -> NWCCODE { return INVALID_CONNECTION; });
  nwlib::ForgetAllEntries();
  EXPECT_EQ(PrimaryConnection(), 0u);
  EXPECT_EQ(CallsLastError, INVALID_CONNECTION);

  client.Without("NWGetPrimaryConnectionID");
  nwlib::ForgetAllEntries();
  EXPECT_EQ(PrimaryConnection(), 0u);
  EXPECT_EQ(CallsLastError, -1);
}

// ---- connection facts ------------------------------------------------------------

TEST_F(TesselTest, ConnectionNumberBothWays) {
  static NWCONN_HANDLE asked;
  static nuint32 infoType, infoLength;
  FAKE(NWCCGetConnInfo, [](NWCONN_HANDLE conn, nuint32 type, nuint32 len, nptr buffer) -> NWCCODE {
    asked = conn;
    infoType = type;
    infoLength = len;
    const nuint32 number = 0x00050007;
    std::memcpy(buffer, &number, sizeof number);
    return 0;
  });
  Start();
  EXPECT_EQ(ConnectionNumber(0), 7);
  EXPECT_EQ(asked, kPrimary);
  EXPECT_EQ(infoType, 5u);
  EXPECT_EQ(infoLength, 4u);

  client.Without("NWCCGetConnInfo");
  FAKE(NWGetConnectionNumber, [](NWCONN_HANDLE conn, NWCONN_NUM *number) -> NWCCODE {
    *number = conn == 0x2002 ? 12 : 0;
    return 0;
  });
  nwlib::ForgetAllEntries();
  EXPECT_EQ(ConnectionNumber(0x2002), 12);

  client.Without("NWGetConnectionNumber");
  nwlib::ForgetAllEntries();
  EXPECT_EQ(ConnectionNumber(0x2002), 0);
  EXPECT_EQ(tessel->LastErrorText(), "FFFFFFFF");
}

TEST_F(TesselTest, ServerNameIsLocalForARefusedConnection) {
  FAKE(NWCCGetConnInfo, [](NWCONN_HANDLE conn, nuint32 type, nuint32 len, nptr buffer) -> NWCCODE {
    if (conn != kPrimary || type != NWCC_INFO_SERVER_NAME || len != 48) return INVALID_CONNECTION;
    std::memset(buffer, 'S', 48);  // a full area without a terminator
    return 0;
  });
  Start();
  EXPECT_EQ(ConnectionServerName(0), std::string(48, 'S'));
  EXPECT_EQ(ConnectionServerName(0x9999), "LOCAL");
  EXPECT_EQ(CallsLastError, INVALID_CONNECTION);

  client.Without("NWCCGetConnInfo").Without("NWGetFileServerName");
  nwlib::ForgetAllEntries();
  CallsLastError = 0;
  EXPECT_EQ(ConnectionServerName(0), "LOCAL");
  EXPECT_EQ(tessel->LastErrorText(), "FFFFFFFF");
}

TEST_F(TesselTest, ServerNameSecondWay) {
  client.Without("NWCCGetConnInfo");
  FAKE(NWGetFileServerName, [](NWCONN_HANDLE, char *name) -> NWCCODE {
    std::strcpy(name, "SRV1");
    return 0;
  });
  Start();
  EXPECT_EQ(ConnectionServerName(0), "SRV1");
}

TEST_F(TesselTest, LoginNameOfTheWorkstationsConnection) {
  FAKE(NWCCGetConnInfo, [](NWCONN_HANDLE, nuint32, nuint32, nptr buffer) -> NWCCODE {
    *static_cast<nuint32 *>(buffer) = 9;
    return 0;
  });
  FAKE(NWGetConnectionInformation, [](NWCONN_HANDLE conn, NWCONN_NUM number, char *name, nuint16 *, nuint32 *,
                                      nuint8 *) -> NWCCODE {
    if (conn != kPrimary || number != 9) return SERVER_INVALID_SLOT;
    std::strcpy(name, "ADMIN");
    return 0;
  });
  Start();
  EXPECT_EQ(ConnectionLoginName(0), "ADMIN");
  EXPECT_EQ(ConnectionLoginName(0x2002), "");
  EXPECT_EQ(CallsLastError, SERVER_INVALID_SLOT);
}

// Server information for ConnectedUsers: 250 slots on a version 4 server.
void FakeServerWith250Slots(FakeClient &client) {
  FAKE(NWGetFileServerInformation, [](NWCONN_HANDLE, char *, nuint8 *major, nuint8 *, nuint8 *, nuint16 *maxConns,
                                      nuint16 *, nuint16 *, nuint16 *, nuint8 *, nuint8 *) -> NWCCODE {
    *major = 4;
    *maxConns = 250;
    return 0;
  });
  FAKE(NWGetFileServerInfo, [](NWCONN_HANDLE, NWFSE_SERVER_INFO *) -> NWCCODE { return 0; });
}

// Slots 3, 10 and 42 hold users, 5 is in use without a user, 77 holds an
// object without a name; every other slot is free.
NWCCODE ConnectionSlots(NWCONN_HANDLE, NWCONN_NUM number, char *name, nuint16 *, nuint32 *id, nuint8 *) {
  switch (number) {
    case 3: std::strcpy(name, "USER3"); *id = 0x03000001; return 0;
    case 10: std::strcpy(name, "USER10"); *id = 0x0A000001; return 0;
    case 42: std::strcpy(name, "USER42"); *id = 0x2A000001; return 0;
    case 77: *id = 0x4D000001; return 0;
    case 5: *id = 0; return 0;
    default: return SERVER_INVALID_SLOT;
  }
}

TEST_F(TesselTest, ConnectedUsersInSlotOrder) {
  FakeServerWith250Slots(client);
  client.Replace("NWGetConnectionInformation", &ConnectionSlots);
  Start();
  const TNWObjList users = ConnectedUsers(0, false);
  const TNWObjList expected = {{"USER3", 3}, {"USER10", 10}, {"USER42", 42}, {"Not Logged In", 77}};
  EXPECT_EQ(users, expected);
  EXPECT_EQ(CallsLastError, 0);  // failing slots are silent
  EXPECT_EQ(CallsLastResult, SERVER_INVALID_SLOT);

  const TNWObjList all = ConnectedUsers(0, true);
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[1], (TNWObjItem{"Not Logged In", 5}));
}

TEST_F(TesselTest, ConnectedUsersWithoutServerInformationIsEmpty) {
  client.Without("NWGetFileServerInformation");
  client.Replace("NWGetConnectionInformation", &ConnectionSlots);
  Start();
  EXPECT_TRUE(ConnectedUsers(0, true).empty());
}

TEST_F(TesselTest, ConnectedServersByConnectionReferences) {
  FAKE(NWCCScanConnRefs, [](nuint32 *iterator, NWCCConnRef *ref) -> NWCCODE {
    if (*iterator >= 3) return NWE_NO_MORE_ENTRIES;
    *ref = ++*iterator;
    return 0;
  });
  FAKE(NWCCGetAllConnRefInfo, [](NWCCConnRef ref, nuint32 version, NWCCConnInfo *info) -> NWCCODE {
    if (ref == 2 || version != 1) return INVALID_CONNECTION;
    info->connNum = ref * 10;
    std::snprintf(info->serverName, sizeof info->serverName, "SRV%u", static_cast<unsigned>(ref));
    return 0;
  });
  Start();
  const TNWObjList expected = {{"SRV1", 10}, {"SRV3", 30}};
  EXPECT_EQ(ConnectedServers(), expected);
  EXPECT_EQ(tessel->LastErrorText(), "8848");  // the end of the scan
  EXPECT_EQ(CallsLastResult, NWE_NO_MORE_ENTRIES);

  client.Without("NWCCGetAllConnRefInfo");
  nwlib::ForgetAllEntries();
  EXPECT_TRUE(ConnectedServers().empty());
}

TEST_F(TesselTest, ConnectedServersByConnectionListNeverReadPastTheList) {
  static nuint16 capacity, reported;
  client.Without("NWCCScanConnRefs");
  FAKE(NWGetConnectionList, [](nuint16 mode, NWCONN_HANDLE *list, nuint16 size, nuint16 *count) -> NWCCODE {
    if (mode != 0) return INVALID_PARAMETER;
    capacity = size;
    for (nuint16 i = 0; i < size; ++i) list[i] = 0x5000 + i;
    *count = reported;
    return 0;
  });
  FAKE(NWCCGetConnInfo, [](NWCONN_HANDLE conn, nuint32, nuint32, nptr buffer) -> NWCCODE {
    std::snprintf(static_cast<char *>(buffer), 48, "S%X", static_cast<unsigned>(conn));
    return 0;
  });
  Start();
  reported = 2;
  const TNWObjList expected = {{"S5000", 0x5000}, {"S5001", 0x5001}};
  EXPECT_EQ(ConnectedServers(), expected);
  EXPECT_EQ(capacity, 49);

  reported = 400;
  const TNWObjList many = ConnectedServers();
  ASSERT_EQ(many.size(), 49u);
  EXPECT_EQ(many.back().value, 0x5000u + 48);
}

// ---- the server clock --------------------------------------------------------

TNWDate Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

TEST_F(TesselTest, ServerDateAndTimeFromTheClockBytes) {
  static nuint8 stamp[6];
  FAKE(NWGetFileServerDateAndTime, [](NWCONN_HANDLE conn, nuint8 *buffer) -> NWCCODE {
    if (conn != kPrimary) return INVALID_CONNECTION;
    std::memcpy(buffer, stamp, sizeof stamp);
    return 0;
  });
  Start();
  const nuint8 endOf1998[6] = {98, 12, 31, 23, 59, 58};
  std::memcpy(stamp, endOf1998, sizeof stamp);
  EXPECT_EQ(ReadServerDate(0), (TNWDate{1998, 12, 31}));
  EXPECT_EQ(ReadServerTime(0), (TNWTime{23, 59, 58, 0}));
  stamp[0] = 105;
  EXPECT_EQ(ReadServerDate(0).year, 2005);
}

TEST_F(TesselTest, ServerClockFallsBackToTheWorkstation) {
  static nuint8 stamp[6];
  FAKE(NWGetFileServerDateAndTime, [](NWCONN_HANDLE conn, nuint8 *buffer) -> NWCCODE {
    if (conn != kPrimary) return INVALID_CONNECTION;
    std::memcpy(buffer, stamp, sizeof stamp);
    return 0;
  });
  Start();
  // Not a date (February 30th), not a time (24:61:00).
  const nuint8 nonsense[6] = {99, 2, 30, 24, 61, 0};
  std::memcpy(stamp, nonsense, sizeof stamp);
  const TNWDate before = Today();
  const TNWDate date = ReadServerDate(0);
  EXPECT_TRUE(date == before || date == Today());
  const TNWTime time = ReadServerTime(0);
  EXPECT_LT(time.hour, 24);
  EXPECT_LT(time.minute, 60);

  const TNWDate refused = ReadServerDate(0x9999);
  EXPECT_TRUE(refused == before || refused == Today());
  EXPECT_EQ(CallsLastError, INVALID_CONNECTION);
}

TEST_F(TesselTest, MaximumConnectionsAndRights) {
  FAKE(NWGetMaximumConnections, [](nuint16 *count) -> NWCCODE {
    *count = 8;
    return NWE_REQUESTER_FAILURE;  // the count counts, not the code
  });
  FAKE(NWCheckConsolePrivileges, [](NWCONN_HANDLE conn) -> NWCCODE {
    return conn == kPrimary ? 0 : NO_CONSOLE_PRIVILEGES;
  });
  FAKE(NWIsManager, [](NWCONN_HANDLE conn) -> NWCCODE { return conn == kPrimary ? 0 : NO_CONSOLE_PRIVILEGES; });
  Start();
  EXPECT_EQ(MaxConnections(), 8);
  EXPECT_EQ(CallsLastError, 0);
  EXPECT_TRUE(IsConsoleOperator(0));
  EXPECT_TRUE(IsManager(0));
  EXPECT_FALSE(IsManager(0x2002));
  EXPECT_EQ(CallsLastError, NO_CONSOLE_PRIVILEGES);
  EXPECT_TRUE(IsConsoleOperator(0));
  EXPECT_EQ(CallsLastResult, 0);
  EXPECT_EQ(CallsLastError, NO_CONSOLE_PRIVILEGES);  // sticky

  client.Without("NWGetMaximumConnections").Without("NWIsManager");
  nwlib::ForgetAllEntries();
  EXPECT_EQ(MaxConnections(), 0);
  EXPECT_FALSE(IsManager(0));
}

// ---- the preferred server ------------------------------------------------------

TEST_F(TesselTest, PreferredServerFollowsTheNewServer) {
  static std::string preferred;
  FAKE(NWCCSetPrefServerName, [](const char *name) -> NWCCODE {
    if (std::string(name) != "srv2") return NWE_SERVER_NOT_FOUND;
    preferred = name;
    return 0;
  });
  FAKE(NWCCOpenConnByName, [](NWCONN_HANDLE, const char *name, nuint32, nuint32, nuint32,
                              NWCONN_HANDLE *conn) -> NWCCODE {
    *conn = std::string(name) == "SRV2" ? 0x2002 : 0;
    return *conn ? 0 : NWE_SERVER_NOT_FOUND;
  });
  FAKE(NWIsDSServer, [](NWCONN_HANDLE conn, char *tree) -> nuint16 {
    std::strcpy(tree, "TREE");
    return conn == 0x2002 ? 1 : 0;
  });
  WithDirectory();
  Start();

  NWCONN_HANDLE conn = 0x7777;
  EXPECT_FALSE(SetPreferredServer("unknown", conn));
  EXPECT_EQ(conn, 0x7777u);
  EXPECT_EQ(PrimaryConn, kPrimary);
  EXPECT_EQ(CallsLastError, NWE_SERVER_NOT_FOUND);

  EXPECT_TRUE(SetPreferredServer("srv2", conn));
  EXPECT_EQ(preferred, "srv2");  // handed over as given
  EXPECT_EQ(conn, 0x2002u);
  EXPECT_EQ(PrimaryConn, 0x2002u);
  EXPECT_TRUE(DirectoryFallback);
}

TEST_F(TesselTest, PreferredServerSecondWayAndUnopenedConnection) {
  static NWCONN_HANDLE madePrimary;
  client.Without("NWCCSetPrefServerName").Without("NWCCOpenConnByName");
  FAKE(NWGetConnectionHandle, [](const char *name, nuint16, NWCONN_HANDLE *conn, nuint16 *) -> NWCCODE {
    if (std::string(name) != "Srv3") return NWE_SERVER_NOT_FOUND;  // upper-cased lookups of the server unit fail
    *conn = 0x3003;
    return 0;
  });
  FAKE(NWSetPrimaryConnectionID, [](NWCONN_HANDLE conn) -> NWCCODE {
    madePrimary = conn;
    return 0;
  });
  Start();
  NWCONN_HANDLE conn = 1;
  EXPECT_TRUE(SetPreferredServer("Srv3", conn));
  EXPECT_EQ(madePrimary, 0x3003u);
  EXPECT_EQ(conn, 0u);
  EXPECT_EQ(PrimaryConn, 0u);
  EXPECT_FALSE(DirectoryFallback);

  client.Without("NWSetPrimaryConnectionID");
  nwlib::ForgetAllEntries();
  CallsLastError = 0;
  conn = 5;
  EXPECT_FALSE(SetPreferredServer("Srv3", conn));
  EXPECT_EQ(conn, 5u);
  EXPECT_EQ(CallsLastError, 0);
}

TEST_F(TesselTest, OverlongServerNameIsRefused) {
  static int calls;
  calls = 0;
  client.Without("NWCCOpenConnByName").Without("NWGetConnectionHandle");
  FAKE(NWCCSetPrefServerName, [](const char *) -> NWCCODE {
    ++calls;
    return 0;
  });
  Start();
  NWCONN_HANDLE conn = 0;
  EXPECT_FALSE(SetPreferredServer(std::string(48, 'S'), conn));
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(PrimaryConn, kPrimary);
  EXPECT_TRUE(SetPreferredServer(std::string(47, 'S'), conn));
  EXPECT_EQ(calls, 1);
}

// ---- broadcast messages --------------------------------------------------------

TEST_F(TesselTest, BroadcastModes) {
  static nuint16 written;
  FAKE(NWCCGetConnInfo, [](NWCONN_HANDLE conn, nuint32 type, nuint32 len, nptr buffer) -> NWCCODE {
    if (conn != kPrimary || type != NWCC_INFO_BCAST_STATE || len != 2) return INVALID_CONNECTION;
    *static_cast<nuint16 *>(buffer) = 2;
    return 0;
  });
  FAKE(NWSetBroadcastMode, [](NWCONN_HANDLE conn, nuint16 mode) -> NWCCODE {
    written = mode;
    return conn == kPrimary ? 0 : INVALID_CONNECTION;
  });
  Start();
  EXPECT_EQ(ReadBroadcastMode(0), 2);
  EXPECT_EQ(ReadBroadcastMode(0x9999), 0);
  EXPECT_EQ(CallsLastError, INVALID_CONNECTION);
  CallsLastError = 0;
  EXPECT_TRUE(WriteBroadcastMode(0, 3));
  EXPECT_EQ(written, 3);
  EXPECT_FALSE(WriteBroadcastMode(0x9999, 1));
  EXPECT_EQ(CallsLastError, INVALID_CONNECTION);

  client.Without("NWCCGetConnInfo");
  nwlib::ForgetAllEntries();
  EXPECT_EQ(ReadBroadcastMode(0), 0);
}

// What the client saw of the last send.
struct Sent {
  int sends = 0;
  std::string message;
  std::vector<NWCONN_NUM> connections;
  std::string queriedName;
  nuint16 queriedType = 0, queriedRoom = 0;
};
Sent sent;

// A user on connections 4, 9 and 11; the client refuses every connection in refused.
std::vector<NWCONN_NUM> refused;

class LineMessageTest : public TesselTest {
 protected:
  LineMessageTest() {
    sent = Sent{};
    refused.clear();
    FAKE(NWGetObjectConnectionNumbers, [](NWCONN_HANDLE conn, const char *name, nuint16 type, nuint16 *count,
                                          NWCONN_NUM *list, nuint16 room) -> NWCCODE {
      sent.queriedName = name;
      sent.queriedType = type;
      sent.queriedRoom = room;
      if (conn != kPrimary || std::string(name) != "JDOE") return NO_SUCH_OBJECT;
      const NWCONN_NUM held[] = {4, 9, 11};
      std::copy(std::begin(held), std::end(held), list);
      *count = 3;
      return 0;
    });
    FAKE(NWSendBroadcastMessage, [](NWCONN_HANDLE, const char *message, nuint16 count, const NWCONN_NUM *list,
                                    nuint16 *results) -> NWCCODE {
      ++sent.sends;
      sent.message = message;
      sent.connections.assign(list, list + count);
      for (nuint16 i = 0; i < count; ++i) {
        results[i] = std::find(refused.begin(), refused.end(), list[i]) == refused.end() ? 0 : 0xFC;
      }
      return 0;
    });
    Start();
  }
};

TEST_F(LineMessageTest, SendsToEveryConnectionOfTheUser) {
  EXPECT_TRUE(SendLineMessage(0, "jdoe", "Lunch is ready"));
  EXPECT_EQ(sent.sends, 1);
  EXPECT_EQ(sent.queriedName, "JDOE");
  EXPECT_EQ(sent.queriedType, OT_USER);
  EXPECT_EQ(sent.queriedRoom, 49);
  EXPECT_EQ(sent.message, "Lunch is ready");
  EXPECT_EQ(sent.connections, (std::vector<NWCONN_NUM>{4, 9, 11}));

  refused = {4, 11};
  EXPECT_TRUE(SendLineMessage(0, "JDOE", ""));
  EXPECT_EQ(sent.message, "");
  refused = {4, 9, 11};
  EXPECT_FALSE(SendLineMessage(0, "JDOE", "anyone?"));
}

TEST_F(LineMessageTest, UnwrittenResultsAreNotDeliveries) {
  FAKE(NWSendBroadcastMessage, [](NWCONN_HANDLE, const char *, nuint16, const NWCONN_NUM *, nuint16 *) -> NWCCODE {
    ++sent.sends;
    return NWE_REQUESTER_FAILURE;
  });
  nwlib::ForgetAllEntries();
  EXPECT_FALSE(SendLineMessage(0, "JDOE", "hello"));
  EXPECT_EQ(sent.sends, 1);
}

TEST_F(LineMessageTest, OverlongNamesAndMessagesAreRefused) {
  EXPECT_FALSE(SendLineMessage(0, "JDOE", std::string(128, 'm')));
  EXPECT_FALSE(SendLineMessage(0, std::string(48, 'J'), "hello"));
  EXPECT_EQ(sent.sends, 0);
  EXPECT_TRUE(SendLineMessage(0, "JDOE", std::string(127, 'm')));
  EXPECT_EQ(sent.message, std::string(127, 'm'));
}

TEST_F(LineMessageTest, WithoutConnectionsNothingIsSent) {
  client.Without("NWGetConnListFromObject");
  nwlib::ForgetAllEntries();
  EXPECT_FALSE(SendLineMessage(0, "NOBODY", "hello"));
  EXPECT_EQ(sent.sends, 0);

  client.Without("NWSendBroadcastMessage");
  nwlib::ForgetAllEntries();
  EXPECT_FALSE(SendLineMessage(0, "JDOE", "hello"));
  EXPECT_EQ(sent.queriedName, "NOBODY");  // no query without a way to send
}

// The second query: the user's ID is asked of the bindery, its connections
// come from NWGetConnListFromObject with the reported count.
nuint16 secondCount;
NWCCODE ConnListFromObject(NWCONN_HANDLE, nuint32 id, nuint32 start, nuint16 *count, NWCONN_NUM *list) {
  if (id != 0x1E000001 || start != 1) return NO_SUCH_OBJECT;
  for (NWCONN_NUM i = 0; i < 50; ++i) list[i] = 100 + i;  // the list's whole room
  *count = secondCount;
  return 0;
}

TEST_F(LineMessageTest, SecondQueryDecidesWhenTheFirstHasNoAnswer) {
  FAKE(NWGetObjectConnectionNumbers, [](NWCONN_HANDLE, const char *, nuint16, nuint16 *count, NWCONN_NUM *,
                                        nuint16) -> NWCCODE {
    *count = 30000;
    return 0;
  });
  FAKE(NWGetObjectID, [](NWCONN_HANDLE, const char *name, nuint16 type, nuint32 *id) -> NWCCODE {
    if (std::string(name) != "JDOE" || type != OT_USER) return NO_SUCH_OBJECT;
    *id = 0x1E000001;
    return 0;
  });
  client.Replace("NWGetConnListFromObject", &ConnListFromObject);
  nwlib::ForgetAllEntries();

  secondCount = 2;
  EXPECT_TRUE(SendLineMessage(0, "jdoe", "hi"));
  EXPECT_EQ(sent.connections, (std::vector<NWCONN_NUM>{100, 101}));

  secondCount = 300;  // more than the list holds: never past its 50 entries
  EXPECT_TRUE(SendLineMessage(0, "jdoe", "hi"));
  EXPECT_EQ(sent.connections.size(), 50u);
  EXPECT_EQ(sent.connections.back(), 149);

  secondCount = 0;
  sent.sends = 0;
  EXPECT_FALSE(SendLineMessage(0, "jdoe", "hi"));
  EXPECT_EQ(sent.sends, 0);
}

}  // namespace
