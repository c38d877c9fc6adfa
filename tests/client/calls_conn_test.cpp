// Connections through the client's exported entry points.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "calls_test_util.h"

using namespace nwc;
using nwctest::CallsTest;

namespace {

constexpr const char* kTwoServers = R"({
  "servers": [
    {"name": "ALPHA", "maxConnections": 10, "volumes": [{"name": "SYS", "path": "."}],
     "bindery": [{"name": "PAT", "type": "user"}],
     "connections": [{"slot": 1, "user": "PAT"}, {"slot": 2}]},
    {"name": "BETA", "maxConnections": 2, "volumes": [{"name": "SYS", "path": "."}],
     "connections": [{"slot": 1}]},
    {"name": "GAMMA", "maxConnections": 1, "volumes": [{"name": "SYS", "path": "."}],
     "connections": [{"slot": 1}]}
  ],
  "workstation": {"connections": [{"server": "ALPHA", "user": "PAT"}]}
})";

}  // namespace

using CallsConnections = CallsTest;

TEST_F(CallsConnections, PrimaryConnectionIsAnOpaqueHandleWithItsNumberAndServer) {
  NWCCConnRef ref = 0;
  ASSERT_EQ(NW(NWCCGetPrimConnRef)(&ref), 0);
  NWCONN_HANDLE byRef = 0;
  ASSERT_EQ(NW(NWCCOpenConnByRef)(ref, NWCC_OPEN_LICENSED, 0, &byRef), 0);
  NWCONN_HANDLE primary = 0;
  ASSERT_EQ(NW(NWGetPrimaryConnectionID)(&primary), 0);
  EXPECT_EQ(byRef, primary);
  EXPECT_EQ(primary, ConnTo("ACME-FS1"));
  EXPECT_GT(primary, 0xFFFFu);  // never a connection number

  NWCONN_NUM number = 0;
  ASSERT_EQ(NW(NWGetConnectionNumber)(primary, &number), 0);
  EXPECT_EQ(number, Net().workstation.Primary()->number);
  char server[NW_MAX_BINDERY_NAME] = {};
  ASSERT_EQ(NW(NWGetFileServerName)(primary, server), 0);
  EXPECT_STREQ(server, "ACME-FS1");

  // Unknown handles and references, connection numbers used as handles.
  EXPECT_EQ(NW(NWGetConnectionNumber)(5, &number), INVALID_CONNECTION);
  EXPECT_EQ(NW(NWGetFileServerName)(0, server), INVALID_CONNECTION);
  EXPECT_EQ(NW(NWCCOpenConnByRef)(ref + 1, NWCC_OPEN_LICENSED, 0, &byRef), INVALID_CONNECTION);
}

TEST_F(CallsConnections, ConnInfoNeverWritesMoreThanTheLengthGiven) {
  const NWCONN_HANDLE conn = ConnTo("ACME-FS1");
  auto info = NW(NWCCGetConnInfo);

  const int expected = Net().workstation.FindConnection(conn)->number;
  nuint32 number = 0;
  ASSERT_EQ(info(conn, NWCC_INFO_CONN_NUMBER, sizeof number, &number), 0);
  EXPECT_EQ(number, static_cast<nuint32>(expected));

  // A 16-bit buffer gets 16 bits; the byte after it is left alone.
  nuint8 narrow[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  ASSERT_EQ(info(conn, NWCC_INFO_CONN_NUMBER, 2, narrow), 0);
  EXPECT_EQ(narrow[0] | (narrow[1] << 8), expected);
  EXPECT_EQ(narrow[2], 0xAA);
  std::memset(narrow, 0xAA, sizeof narrow);
  EXPECT_EQ(info(conn, NWCC_INFO_BCAST_STATE, 1, narrow), BUFFER_OVERFLOW);
  EXPECT_EQ(narrow[0], 0xAA);

  char name[NW_MAX_BINDERY_NAME];
  std::memset(name, 'x', sizeof name);
  ASSERT_EQ(info(conn, NWCC_INFO_SERVER_NAME, sizeof name, name), 0);
  EXPECT_STREQ(name, "ACME-FS1");
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(info(conn, NWCC_INFO_SERVER_NAME, 8, name), BUFFER_OVERFLOW);  // 8 characters need 9 bytes
  EXPECT_EQ(std::string(name, sizeof name), std::string(sizeof name, 'x'));
  ASSERT_EQ(info(conn, NWCC_INFO_SERVER_NAME, 9, name), 0);
  EXPECT_STREQ(name, "ACME-FS1");
  EXPECT_EQ(name[9], 'x');

  char tree[NW_MAX_TREE_NAME_LEN] = {};
  ASSERT_EQ(info(conn, NWCC_INFO_TREE_NAME, sizeof tree, tree), 0);
  EXPECT_EQ(std::string(tree), Net().tree->name);
  ASSERT_EQ(info(ConnTo("ACME-NW3"), NWCC_INFO_TREE_NAME, sizeof tree, tree), 0);
  EXPECT_STREQ(tree, "");  // a bindery server holds no tree

  nuint32 state = 99;
  ASSERT_EQ(info(conn, NWCC_INFO_AUTHENT_STATE, sizeof state, &state), 0);
  EXPECT_EQ(state, 2u);  // authenticated to the directory
  ASSERT_EQ(info(ConnTo("ACME-NW3"), NWCC_INFO_AUTHENT_STATE, sizeof state, &state), 0);
  EXPECT_EQ(state, 1u);  // bindery login

  EXPECT_EQ(info(conn, 99, sizeof state, &state), INVALID_PARAMETER);
  EXPECT_EQ(info(conn, NWCC_INFO_CONN_NUMBER, sizeof number, nullptr), INVALID_PARAMETER);
  EXPECT_EQ(info(0x1234, NWCC_INFO_CONN_NUMBER, sizeof number, &number), INVALID_CONNECTION);
}

TEST_F(CallsConnections, ScanOfReferencesEndsWithNoMoreEntries) {
  std::map<std::string, nuint32> numbers;
  nuint32 iterator = 0;
  NWCCConnRef ref = 0;
  NWCCODE rc;
  int scanned = 0;
  while ((rc = NW(NWCCScanConnRefs)(&iterator, &ref)) == 0 && scanned < 10) {
    ++scanned;
    // The record as the system reads it: number at byte 48, name at byte 56.
    unsigned char record[sizeof(NWCCConnInfo) + 8];
    std::memset(record, 0xEE, sizeof record);
    ASSERT_EQ(NW(NWCCGetAllConnRefInfo)(ref, 1, reinterpret_cast<NWCCConnInfo*>(record)), 0);
    nuint32 number = 0;
    std::memcpy(&number, record + 48, 4);
    numbers[reinterpret_cast<const char*>(record + 56)] = number;
    EXPECT_EQ(record[136], 0xEE);  // nothing past the 136-byte record
  }
  EXPECT_EQ(rc, NWE_NO_MORE_ENTRIES);
  std::map<std::string, nuint32> expected;
  for (const auto& c : Net().workstation.connections) expected[c->server->name] = c->number;
  EXPECT_EQ(expected.size(), 3u);
  EXPECT_EQ(numbers, expected);
  EXPECT_EQ(NW(NWCCScanConnRefs)(&iterator, &ref), NWE_NO_MORE_ENTRIES);  // stays at the end

  NWCCConnInfo info{};
  EXPECT_EQ(NW(NWCCGetAllConnRefInfo)(ref, 2, &info), INVALID_PARAMETER);
  EXPECT_EQ(NW(NWCCGetAllConnRefInfo)(12345, 1, &info), INVALID_CONNECTION);
}

TEST_F(CallsConnections, ConnectionListStaysWithinItsCapacity) {
  NWCONN_HANDLE list[4] = {0, 0, 0, 0x77};
  nuint16 count = 0;
  EXPECT_EQ(NW(NWGetConnectionList)(0, list, 2, &count), CONNECT_LIST_OVERFLOW);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(list[2], 0u);
  ASSERT_EQ(NW(NWGetConnectionList)(0, list, 3, &count), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(std::set<NWCONN_HANDLE>(list, list + 3),
            (std::set<NWCONN_HANDLE>{ConnTo("ACME-FS1"), ConnTo("ACME-FS2"), ConnTo("ACME-NW3")}));
  EXPECT_EQ(list[3], 0x77u);
}

TEST_F(CallsConnections, OpeningByNameReusesOrOpensAConnection) {
  Load(kTwoServers);
  const NWCONN_HANDLE alpha = ConnTo("ALPHA");
  NWCONN_HANDLE conn = 0;
  ASSERT_EQ(NW(NWCCOpenConnByName)(0, "alpha", NWCC_NAME_FORMAT_BIND, NWCC_OPEN_LICENSED, 0, &conn), 0);
  EXPECT_EQ(conn, alpha);

  // BETA: a new connection in its lowest free slot, attached but not logged in.
  NWCONN_HANDLE beta = 0;
  ASSERT_EQ(NW(NWGetConnectionHandle)("BETA", 0, &beta, nullptr), 0);
  EXPECT_NE(beta, alpha);
  NWCONN_NUM number = 0;
  ASSERT_EQ(NW(NWGetConnectionNumber)(beta, &number), 0);
  EXPECT_EQ(number, 2);
  char name[NW_MAX_BINDERY_NAME] = "junk";
  nuint32 id = 7;
  ASSERT_EQ(NW(NWGetConnectionInformation)(beta, number, name, nullptr, &id, nullptr), 0);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(id, 0u);
  ASSERT_EQ(NW(NWCCOpenConnByName)(alpha, "Beta", NWCC_NAME_FORMAT_BIND, NWCC_OPEN_UNLICENSED, 0, &conn), 0);
  EXPECT_EQ(conn, beta);
  EXPECT_EQ(Net().workstation.connections.size(), 2u);

  // GAMMA has no free slot; unknown and malformed names are refused.
  EXPECT_EQ(NW(NWCCOpenConnByName)(0, "GAMMA", NWCC_NAME_FORMAT_BIND, 1, 0, &conn), NO_SERVER_SLOTS);
  EXPECT_EQ(NW(NWGetConnectionHandle)("DELTA", 0, &conn, nullptr), NWE_SERVER_NOT_FOUND);
  const std::string tooLong(NW_MAX_BINDERY_NAME, 'A');
  EXPECT_EQ(NW(NWCCOpenConnByName)(0, tooLong.c_str(), NWCC_NAME_FORMAT_BIND, 1, 0, &conn), INVALID_PARAMETER);
  EXPECT_EQ(NW(NWGetConnectionHandle)("", 0, &conn, nullptr), INVALID_PARAMETER);
  EXPECT_EQ(NW(NWCCOpenConnByName)(0, "BETA", 1, 1, 0, &conn), INVALID_PARAMETER);      // not a bindery name format
  EXPECT_EQ(NW(NWCCOpenConnByName)(42, "BETA", NWCC_NAME_FORMAT_BIND, 1, 0, &conn), INVALID_CONNECTION);
}

TEST_F(CallsConnections, PreferredServerBecomesPrimary) {
  Load(kTwoServers);
  ASSERT_EQ(NW(NWCCSetPrefServerName)("beta"), 0);
  NWCONN_HANDLE primary = 0;
  ASSERT_EQ(NW(NWGetPrimaryConnectionID)(&primary), 0);
  char name[NW_MAX_BINDERY_NAME] = {};
  ASSERT_EQ(NW(NWGetFileServerName)(primary, name), 0);
  EXPECT_STREQ(name, "BETA");
  EXPECT_EQ(Net().workstation.preferredServer, "BETA");
  NWCCConnRef ref = 0;
  ASSERT_EQ(NW(NWCCGetPrimConnRef)(&ref), 0);
  EXPECT_EQ(Net().workstation.FindConnectionByRef(ref)->handle, primary);

  EXPECT_EQ(NW(NWCCSetPrefServerName)("NOWHERE"), NWE_SERVER_NOT_FOUND);
  ASSERT_EQ(NW(NWSetPrimaryConnectionID)(ConnTo("ALPHA")), 0);
  ASSERT_EQ(NW(NWGetPrimaryConnectionID)(&primary), 0);
  EXPECT_EQ(primary, ConnTo("ALPHA"));
  EXPECT_EQ(NW(NWSetPrimaryConnectionID)(1), INVALID_CONNECTION);
}

TEST_F(CallsConnections, InitSucceedsOnlyWithANetwork) {
  nuint32 reserved = 0x12345678;
  EXPECT_EQ(NW(NWCallsInit)(&reserved, &reserved), 0);
  EXPECT_EQ(reserved, 0x12345678u);  // reserved arguments are left alone

  testing::internal::CaptureStderr();
  EXPECT_FALSE(LoadNetworkFromString("{", ".", "broken.json"));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(NW(NWCallsInit)(nullptr, nullptr), NWE_REQUESTER_FAILURE);
  NWCONN_HANDLE conn = 0;
  EXPECT_EQ(NW(NWGetPrimaryConnectionID)(&conn), INVALID_CONNECTION);
  NWCCConnRef ref = 0;
  EXPECT_EQ(NW(NWCCGetPrimConnRef)(&ref), INVALID_CONNECTION);
  EXPECT_EQ(NW(NWCCOpenConnByName)(0, "ACME-FS1", NWCC_NAME_FORMAT_BIND, 1, 0, &conn), INVALID_CONNECTION);
  nuint16 first = 0;
  EXPECT_EQ(NW(NWGetFirstDrive)(&first), INVALID_CONNECTION);
}
