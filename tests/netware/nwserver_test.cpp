#include "netware/nwserver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tessel_fixture.h"

namespace {

class ServerUnitTest : public TesselTest {
 protected:
  ServerUnitTest() {
    ServerLastResult = 0;
    ServerLastError = 0;
  }
};

TEST_F(ServerUnitTest, ConnectionByNameFirstWay) {
  static std::string asked;
  static nuint32 format, state;
  FAKE(NWCCOpenConnByName, [](NWCONN_HANDLE start, const char *name, nuint32 nameFormat, nuint32 openState,
                              nuint32, NWCONN_HANDLE *conn) -> NWCCODE {
    asked = name;
    format = nameFormat;
    state = openState;
    if (start != 0 || asked != "SRV1") return NWE_SERVER_NOT_FOUND;
    *conn = 0x2002;
    return 0;
  });
  client.Without("NWGetConnectionHandle");
  Start();
  EXPECT_EQ(TNWServer().LastErrorText(), "0000");
  EXPECT_EQ(ConnectionByServerName("srv1"), 0x2002u);
  EXPECT_EQ(format, 2u);
  EXPECT_EQ(state, 1u);

  EXPECT_EQ(ConnectionByServerName("nowhere"), 0u);
  EXPECT_EQ(ServerLastError, NWE_SERVER_NOT_FOUND);
  EXPECT_EQ(TNWServer().LastErrorText(), "8847");
  EXPECT_EQ(CallsLastError, 0);  // the server unit keeps its own codes

  asked.clear();
  EXPECT_EQ(ConnectionByServerName(std::string(48, 's')), 0u);
  EXPECT_TRUE(asked.empty());
}

TEST_F(ServerUnitTest, ConnectionByNameSecondWay) {
  static int secondWays;
  secondWays = 0;
  FAKE(NWCCOpenConnByName, [](NWCONN_HANDLE, const char *, nuint32, nuint32, nuint32, NWCONN_HANDLE *conn)
                               -> NWCCODE {
    *conn = 0;  // "opened", yet no handle
    return 0;
  });
  FAKE(NWGetConnectionHandle, [](const char *name, nuint16, NWCONN_HANDLE *conn, nuint16 *) -> NWCCODE {
    ++secondWays;
    if (std::string(name) != "SRV2") return NWE_SERVER_NOT_FOUND;
    *conn = 0x2222;
    return 0;
  });
  Start();
  EXPECT_EQ(ConnectionByServerName("srv2"), 0x2222u);
  EXPECT_EQ(secondWays, 1);

  client.Without("NWCCOpenConnByName");
  nwlib::ForgetAllEntries();
  EXPECT_EQ(ConnectionByServerName("Srv2"), 0x2222u);
  EXPECT_EQ(ConnectionByServerName("srv9"), 0u);
  EXPECT_EQ(ServerLastError, NWE_SERVER_NOT_FOUND);

  client.Without("NWGetConnectionHandle");
  nwlib::ForgetAllEntries();
  ServerLastResult = 5;
  EXPECT_EQ(ConnectionByServerName("srv2"), 0u);
  EXPECT_EQ(ServerLastResult, 5);  // nothing asked, nothing recorded
}

// A server of the chosen version whose environment record reads as chosen.
nuint8 serverMajor, serverMinor;
NWCCODE environmentCode;
int environmentReads;

class ServerInfoUnitTest : public ServerUnitTest {
 protected:
  ServerInfoUnitTest() {
    environmentCode = 0;
    environmentReads = 0;
    FAKE(NWGetFileServerInformation, [](NWCONN_HANDLE conn, char *name, nuint8 *majorVer, nuint8 *minorVer,
                                        nuint8 *revision, nuint16 *maxConns, nuint16 *peak, nuint16 *inUse,
                                        nuint16 *volumes, nuint8 *sft, nuint8 *tts) -> NWCCODE {
      if (conn != kPrimary) return INVALID_CONNECTION;
      std::strcpy(name, "SRV1");
      *majorVer = serverMajor;
      *minorVer = serverMinor;
      *revision = 9;
      *maxConns = 250;
      *peak = 17;
      *inUse = 12;
      *volumes = 3;
      *sft = 2;
      *tts = 1;
      return 0;
    });
    FAKE(NWGetFileServerInfo, [](NWCONN_HANDLE, NWFSE_SERVER_INFO *info) -> NWCCODE {
      ++environmentReads;
      if (environmentCode != 0) return environmentCode;
      info->currentServerTime = 0xAABBCCDD;
      info->processorType = 6;
      info->totalServerMemory = 64u << 20;
      info->nlmsLoaded = 42;
      return 0;
    });
    Start();
  }
};

TEST_F(ServerInfoUnitTest, VersionFourReadsTheEnvironment) {
  serverMajor = 4;
  serverMinor = 11;
  TNWServerInfo info;
  EXPECT_TRUE(GetServerInfo(0, info));
  EXPECT_EQ(info.ServerName, "SRV1");
  EXPECT_EQ(info.Version, "4.11");
  EXPECT_EQ(info.MaxConns, 250);
  EXPECT_EQ(info.PeakConns, 17);
  EXPECT_EQ(info.ConnsInUse, 12);
  EXPECT_EQ(info.Volumes, 3);
  EXPECT_EQ(info.SFTLevel, 2);
  EXPECT_EQ(info.TTSLevel, 1);
  EXPECT_EQ(info.EnvWord0, 0xAABBCCDDu);
  EXPECT_EQ(info.EnvByte24, 6);
  EXPECT_EQ(info.EnvWord140, 64u << 20);
  EXPECT_EQ(info.EnvWord144, 42u);

  environmentCode = NWE_REQUESTER_FAILURE;
  TNWServerInfo partial;
  EXPECT_FALSE(GetServerInfo(0, partial));
  EXPECT_EQ(partial.Version, "4.11");
  EXPECT_EQ(partial.MaxConns, 250);
  EXPECT_EQ(partial.EnvWord0, 0u);
  EXPECT_EQ(ServerLastError, 0);
}

TEST_F(ServerInfoUnitTest, VersionThreeHasNoEnvironment) {
  serverMajor = 3;
  serverMinor = 12;
  TNWServerInfo info;
  info.EnvWord0 = 7;
  EXPECT_TRUE(GetServerInfo(0, info));
  EXPECT_EQ(info.Version, "3.12");
  EXPECT_EQ(environmentReads, 0);
  EXPECT_EQ(info.EnvWord0, 0u);
  EXPECT_EQ(info.EnvWord144, 0u);

  TNWServerInfo untouched;
  untouched.Version = "x";
  EXPECT_FALSE(GetServerInfo(0x9999, untouched));
  EXPECT_EQ(untouched.Version, "x");
}

TEST_F(ServerUnitTest, ServerClockIsSetInServerBytes) {
  static nuint8 set[6];
  FAKE(NWSetFileServerDateAndTime, [](NWCONN_HANDLE conn, nuint8 year, nuint8 month, nuint8 day, nuint8 hour,
                                      nuint8 minute, nuint8 second) -> NWCCODE {
    if (conn != kPrimary) return NO_CONSOLE_PRIVILEGES;
    const nuint8 bytes[6] = {year, month, day, hour, minute, second};
    std::memcpy(set, bytes, sizeof set);
    return 0;
  });
  Start();
  EXPECT_TRUE(SetServerDateTime(0, {1999, 12, 31, 23, 59, 59, 500}));
  EXPECT_EQ(std::vector<nuint8>(set, set + 6), (std::vector<nuint8>{99, 12, 31, 23, 59, 59}));
  EXPECT_TRUE(SetServerDateTime(0, {2005, 1, 2, 3, 4, 5, 0}));
  EXPECT_EQ(set[0], 105);
  EXPECT_FALSE(SetServerDateTime(0x9999, {2005, 1, 2, 3, 4, 5, 0}));
  EXPECT_EQ(ServerLastError, NO_CONSOLE_PRIVILEGES);
  EXPECT_EQ(CallsLastError, 0);
}

// A volume whose root holds the entries below; every call is noted.
std::vector<std::string> noted;
std::vector<std::string> entries;

class ServerListingTest : public ServerUnitTest {
 protected:
  ServerListingTest() {
    noted.clear();
    entries.clear();
    FAKE(NWParseNetWarePath, [](const char *path, NWCONN_HANDLE *conn, NWDIR_HANDLE *dir, char *restated)
                                 -> NWCCODE {
      noted.push_back(std::string("parse ") + path);
      if (std::string(path) != "SRV1/VOL1:/") return INVALID_PATH;
      *conn = 0x2002;
      *dir = 4;
      std::strcpy(restated, "VOL1:");
      return 0;
    });
    FAKE(NWAllocTemporaryDirectoryHandle, [](NWCONN_HANDLE conn, NWDIR_HANDLE dir, const char *path,
                                             NWDIR_HANDLE *newDir, nuint8 *) -> NWCCODE {
      noted.push_back("alloc " + std::to_string(conn) + " " + std::to_string(dir) + " " + path);
      *newDir = 9;
      return 0;
    });
    FAKE(NWIntScanDirEntryInfo, [](NWCONN_HANDLE, NWDIR_HANDLE dir, nuint16 attrs, nuint32 *iterator,
                                   const char *pattern, NWENTRY_INFO *entry, nuint8) -> NWCCODE {
      if (*iterator == 0xFFFFFFFF) {
        noted.push_back("scan " + std::to_string(dir) + " " + std::to_string(attrs) + " " + pattern);
        *iterator = 0;
      }
      if (*iterator >= entries.size()) return NO_FILES_FOUND;
      const std::string &name = entries[(*iterator)++];
      std::memset(entry->name, 0, sizeof entry->name);
      std::memcpy(entry->name, name.data(), std::min(name.size(), sizeof entry->name));
      entry->nameLength = static_cast<nuint8>(name.size());
      return 0;
    });
    Start();
  }
};

TEST_F(ServerListingTest, FilesAndSubdirectoriesOfAVolume) {
  entries = {"LOGIN.EXE", "README.TXT"};
  EXPECT_EQ(ListDirectoryFiles("srv1/vol1:\\*.*"), entries);
  const std::vector<std::string> calls = {"parse SRV1/VOL1:/", "alloc 8194 0 VOL1:", "scan 9 6 *.*"};
  EXPECT_EQ(noted, calls);

  noted.clear();
  entries = {"PUBLIC", "SYSTEM"};
  EXPECT_EQ(ListSubdirectories("SRV1/VOL1:\\*"), entries);
  EXPECT_EQ(noted.back(), "scan 9 22 *");

  entries.clear();
  EXPECT_TRUE(ListSubdirectories("SRV1/VOL1:\\*").empty());
  EXPECT_TRUE(ListDirectoryFiles("SRV9/VOL1:\\*.*").empty());
}

TEST_F(ServerListingTest, EntryNamesStayInsideTheirRecord) {
  // A length byte beyond the name field, and a field without a terminator.
  entries = {std::string(130, 'L')};
  const std::vector<std::string> names = ListDirectoryFiles("SRV1/VOL1:\\*.*");
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0], std::string(100, 'L'));

  FAKE(NWIntScanDirEntryInfo, [](NWCONN_HANDLE, NWDIR_HANDLE, nuint16, nuint32 *iterator, const char *,
                                 NWENTRY_INFO *entry, nuint8) -> NWCCODE {
    if (*iterator == 1) return NO_FILES_FOUND;
    *iterator = 1;
    std::strcpy(entry->name, "NET$LOG.DAT and more");
    entry->nameLength = 11;
    return 0;
  });
  nwlib::ForgetAllEntries();
  EXPECT_EQ(ListDirectoryFiles("SRV1/VOL1:\\*.*"), (std::vector<std::string>{"NET$LOG.DAT"}));
}

TEST_F(ServerListingTest, OverlongPatternsAndDirectoriesAreRefused) {
  entries = {"X"};
  EXPECT_TRUE(ListDirectoryFiles("SRV1/VOL1:\\" + std::string(128, '*')).empty());
  EXPECT_TRUE(ListDirectoryFiles("SRV1/" + std::string(250, 'V') + ":\\*.*").empty());
  EXPECT_TRUE(noted.empty());
  EXPECT_EQ(ListDirectoryFiles("SRV1/VOL1:\\" + std::string(127, '*')), entries);
}

}  // namespace
