// File servers through the client's exported entry points: the slot table,
// the server clock, rights and the server's description.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "calls_test_util.h"

using namespace nwc;
using nwctest::CallsTest;

namespace {

constexpr const char* kServers = R"({
  "servers": [
    {"name": "FS4", "version": "4.10", "maxConnections": 20, "peakConnections": 9, "sftLevel": 2, "ttsLevel": 1,
     "clockOffset": 3600,
     "volumes": [{"name": "SYS", "path": "."}, {"name": "VOL1", "path": "."}],
     "bindery": [{"name": "OPER", "type": "user", "consoleOperator": true},
                 {"name": "BOSS", "type": "user", "manager": true},
                 {"name": "PLAIN", "type": "user"}],
     "connections": [{"slot": 2, "user": "PLAIN", "loginTime": "1998-09-15 08:12:40"}, {"slot": 5}]},
    {"name": "NW3", "version": "3.12", "clockOffset": -42, "volumes": [{"name": "SYS", "path": "."}],
     "bindery": [{"name": "BOSS", "type": "user", "manager": true}]}
  ],
  "workstation": {"connections": [{"server": "FS4", "slot": 1, "user": "OPER"}, {"server": "NW3", "user": "BOSS"}]}
})";

// The moment the first six clock bytes stand for.
std::time_t MomentOf(const nuint8* b) {
  std::tm tm{};
  tm.tm_year = b[0];
  tm.tm_mon = b[1] - 1;
  tm.tm_mday = b[2];
  tm.tm_hour = b[3];
  tm.tm_min = b[4];
  tm.tm_sec = b[5];
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

class CallsServers : public CallsTest {
 protected:
  void SetUp() override {
    CallsTest::SetUp();
    Load(kServers);
    fs4 = ConnTo("FS4");
    nw3 = ConnTo("NW3");
  }
  NWCONN_HANDLE fs4 = 0, nw3 = 0;
};

}  // namespace

TEST_F(CallsServers, SlotTableAnswersForEveryNumber) {
  auto info = NW(NWGetConnectionInformation);
  char name[NW_MAX_BINDERY_NAME];
  nuint16 type = 0;
  nuint32 id = 0;
  nuint8 login[8];
  std::memset(login, 0xEE, sizeof login);
  ASSERT_EQ(info(fs4, 2, name, &type, &id, login), 0);
  EXPECT_STREQ(name, "PLAIN");
  EXPECT_EQ(type, OT_USER);
  EXPECT_EQ(id, Net().FindServer("FS4")->FindObject("PLAIN", OT_USER)->id);
  const nuint8 expected[7] = {98, 9, 15, 8, 12, 40, 2};  // a Tuesday
  EXPECT_EQ(std::memcmp(login, expected, 7), 0);
  EXPECT_EQ(login[7], 0xEE);

  // In use but not logged in: an empty name and object ID 0.
  std::strcpy(name, "junk");
  id = 99;
  type = 99;
  ASSERT_EQ(info(fs4, 5, name, &type, &id, login), 0);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(type, 0);

  // Free slots and numbers beyond the table are no stations.
  EXPECT_EQ(info(fs4, 3, name, &type, &id, login), BAD_STATION_NUMBER);
  EXPECT_EQ(info(fs4, 0, name, &type, &id, login), BAD_STATION_NUMBER);
  EXPECT_EQ(info(fs4, 21, name, &type, &id, login), BAD_STATION_NUMBER);
  EXPECT_EQ(info(fs4, 1, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(info(0, 1, name, &type, &id, login), INVALID_CONNECTION);
}

TEST_F(CallsServers, ClockIsTheServersOwnAndNeedsConsoleRightsToSet) {
  nuint8 bytes[8];
  std::memset(bytes, 0xEE, sizeof bytes);
  ASSERT_EQ(NW(NWGetFileServerDateAndTime)(fs4, bytes), 0);
  EXPECT_LE(std::labs(static_cast<long>(MomentOf(bytes) - (std::time(nullptr) + 3600))), 2);
  EXPECT_EQ(bytes[7], 0xEE);
  ASSERT_EQ(NW(NWGetFileServerDateAndTime)(nw3, bytes), 0);
  EXPECT_LE(std::labs(static_cast<long>(MomentOf(bytes) - (std::time(nullptr) - 42))), 2);

  ASSERT_EQ(NW(NWSetFileServerDateAndTime)(fs4, 99, 12, 31, 23, 59, 59), 0);
  ASSERT_EQ(NW(NWGetFileServerDateAndTime)(fs4, bytes), 0);
  const nuint8 newYear[6] = {99, 12, 31, 23, 59, 59};
  EXPECT_LE(std::labs(static_cast<long>(MomentOf(bytes) - MomentOf(newYear))), 2);
  // The other server's clock is untouched.
  ASSERT_EQ(NW(NWGetFileServerDateAndTime)(nw3, bytes), 0);
  EXPECT_LE(std::labs(static_cast<long>(MomentOf(bytes) - (std::time(nullptr) - 42))), 2);

  ASSERT_EQ(NW(NWSetFileServerDateAndTime)(fs4, 105, 6, 1, 12, 0, 0), 0);
  ASSERT_EQ(NW(NWGetFileServerDateAndTime)(fs4, bytes), 0);
  EXPECT_EQ(bytes[0], 105);
  EXPECT_EQ(NW(NWSetFileServerDateAndTime)(fs4, 101, 2, 29, 0, 0, 0), INVALID_PARAMETER);  // 2001 is no leap year
  EXPECT_EQ(NW(NWSetFileServerDateAndTime)(fs4, 101, 13, 1, 0, 0, 0), INVALID_PARAMETER);
  EXPECT_EQ(NW(NWSetFileServerDateAndTime)(fs4, 101, 1, 1, 24, 0, 0), INVALID_PARAMETER);
  // A manager without console rights may not set the clock.
  EXPECT_EQ(NW(NWSetFileServerDateAndTime)(nw3, 101, 1, 1, 0, 0, 0), NO_CONSOLE_PRIVILEGES);
}

TEST_F(CallsServers, ConsoleAndManagerRightsFollowTheLoggedInObject) {
  EXPECT_EQ(NW(NWCheckConsolePrivileges)(fs4), 0);
  EXPECT_EQ(NW(NWIsManager)(fs4), NO_CONSOLE_PRIVILEGES);
  EXPECT_EQ(NW(NWCheckConsolePrivileges)(nw3), NO_CONSOLE_PRIVILEGES);
  EXPECT_EQ(NW(NWIsManager)(nw3), 0);
  EXPECT_EQ(NW(NWIsManager)(4), INVALID_CONNECTION);
  nuint16 max = 0;
  ASSERT_EQ(NW(NWGetMaximumConnections)(&max), 0);
  EXPECT_EQ(max, 50);
}

TEST_F(CallsServers, DescriptionAndEnvironmentRecord) {
  char name[NW_MAX_BINDERY_NAME] = {};
  nuint8 major = 0, minor = 0, revision = 9, sft = 0, tts = 0;
  nuint16 maxConns = 0, peak = 0, inUse = 0, volumes = 0;
  ASSERT_EQ(NW(NWGetFileServerInformation)(fs4, name, &major, &minor, &revision, &maxConns, &peak, &inUse, &volumes,
                                           &sft, &tts),
            0);
  EXPECT_STREQ(name, "FS4");
  EXPECT_EQ(major, 4);
  EXPECT_EQ(minor, 10);
  EXPECT_EQ(revision, 0);
  EXPECT_EQ(maxConns, 20);
  EXPECT_EQ(inUse, 3);  // slots 2 and 5, and the workstation's
  EXPECT_EQ(peak, 9);
  EXPECT_EQ(volumes, 2);
  EXPECT_EQ(sft, 2);
  EXPECT_EQ(tts, 1);
  EXPECT_EQ(NW(NWGetFileServerInformation)(nw3, nullptr, &major, nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(major, 3);

  NWFSE_SERVER_INFO env{};
  ASSERT_EQ(NW(NWGetFileServerInfo)(fs4, &env), 0);
  EXPECT_EQ(env.ncpStationsInUse, 3u);
  EXPECT_EQ(env.ncpPeakStationsInUse, 9u);
  EXPECT_NE(env.currentServerTime, 0u);
  EXPECT_NE(env.totalServerMemory, 0u);
  // A NetWare 3 server does not know the request; the record stays as it was.
  std::memset(&env, 0x5A, sizeof env);
  EXPECT_EQ(NW(NWGetFileServerInfo)(nw3, &env), 0x89FB);
  EXPECT_EQ(env.ncpStationsInUse, 0x5A5A5A5Au);
  EXPECT_EQ(NW(NWGetFileServerInfo)(fs4, nullptr), INVALID_PARAMETER);
}
