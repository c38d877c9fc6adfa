// The connection services over the real client and the demo network.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>

#include "real_client_fixture.h"
#include "util/nwfiles.h"

namespace {

using RealTessel = RealClientTest;

bool Contains(const TNWObjList &list, const TNWObjItem &item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

std::string FileText(const std::filesystem::path &file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST_F(RealTessel, PrimaryConnectionAndWhoIsLoggedIn) {
  Start();
  EXPECT_TRUE(CallsAvailable());
  EXPECT_EQ(PrimaryConn, ConnTo("ACME-FS1"));
  EXPECT_GT(PrimaryConn, 0xFFFFu);
  EXPECT_EQ(ConnectionNumber(0), Net().workstation.Primary()->number);
  EXPECT_EQ(ConnectionLoginName(0), "ADMIN");
  EXPECT_EQ(ConnectionServerName(0), "ACME-FS1");
  EXPECT_EQ(ConnectionLoginName(ConnTo("ACME-NW3")), "SUPERVISOR");
  EXPECT_EQ(tessel->LastErrorText(), "0000");

  // A handle the client does not know.
  EXPECT_EQ(ConnectionServerName(0x4242), "LOCAL");
  EXPECT_EQ(tessel->LastErrorText(), "8801");
  EXPECT_EQ(ConnectionNumber(0x4242), 0);
}

TEST_F(RealTessel, ConnectedUsersAndServers) {
  Start();
  const TNWObjList users = ConnectedUsers(0, false);
  nwc::Server *fs1 = Net().FindServer("ACME-FS1");
  const auto jsmith = fs1->ConnectionsOf(fs1->FindObject("JSMITH", OT_USER)->id);
  ASSERT_EQ(jsmith.size(), 3u);
  for (auto number : jsmith) EXPECT_TRUE(Contains(users, {"JSMITH", number})) << number;
  EXPECT_TRUE(Contains(users, {"ADMIN", Net().workstation.Primary()->number}));
  EXPECT_TRUE(std::is_sorted(users.begin(), users.end(),
                             [](const TNWObjItem &a, const TNWObjItem &b) { return a.value < b.value; }));
  std::size_t loggedIn = 0, attached = 0;
  for (const nwc::Slot &s : fs1->slots) {
    loggedIn += s.LoggedIn();
    attached += s.inUse && !s.LoggedIn();
  }
  EXPECT_EQ(users.size(), loggedIn);
  EXPECT_FALSE(Contains(users, {"Not Logged In", 9}));
  const TNWObjList all = ConnectedUsers(0, true);
  EXPECT_EQ(all.size(), loggedIn + attached);
  EXPECT_TRUE(Contains(all, {"Not Logged In", 9}));

  const TNWObjList servers = ConnectedServers();
  std::set<std::pair<std::string, uint32_t>> got, expected;
  for (const auto &item : servers) got.insert({item.text, item.value});
  for (const auto &c : Net().workstation.connections) expected.insert({c->server->name, c->number});
  EXPECT_EQ(got, expected);
  EXPECT_EQ(servers.size(), 3u);
  EXPECT_EQ(tessel->LastErrorText(), "8848");  // the end of the scan
}

TEST_F(RealTessel, ServerClockAndRights) {
  Start();
  const NWCONN_HANDLE nw3 = ConnTo("ACME-NW3");
  const TNWDate date = ReadServerDate(nw3);
  const TNWTime time = ReadServerTime(nw3);
  std::tm tm{};
  tm.tm_year = date.year - 1900;
  tm.tm_mon = date.month - 1;
  tm.tm_mday = date.day;
  tm.tm_hour = time.hour;
  tm.tm_min = time.minute;
  tm.tm_sec = time.second;
  tm.tm_isdst = -1;
  const long offset = static_cast<long>(std::mktime(&tm) - std::time(nullptr));
  EXPECT_GE(offset, -42 - 3);  // the server's clock runs 42 seconds behind
  EXPECT_LE(offset, -42 + 1);
  EXPECT_EQ(time.millisecond, 0);

  EXPECT_TRUE(IsConsoleOperator(0));
  EXPECT_TRUE(IsManager(0));
  EXPECT_FALSE(IsConsoleOperator(ConnTo("ACME-FS2")));
  EXPECT_EQ(tessel->LastErrorText(), "89C6");
  EXPECT_EQ(MaxConnections(), 50);
}

TEST_F(RealTessel, LineMessageReachesEveryConnectionOfTheUser) {
  Start();
  nwc::Server *fs1 = Net().FindServer("ACME-FS1");
  const auto jsmith = fs1->ConnectionsOf(fs1->FindObject("JSMITH", OT_USER)->id);
  ASSERT_EQ(jsmith.size(), 3u);
  EXPECT_TRUE(SendLineMessage(0, "jsmith", "Meeting at three"));
  for (auto number : jsmith) {
    ASSERT_EQ(fs1->FindSlot(number)->messages.size(), 1u) << number;
    EXPECT_EQ(fs1->FindSlot(number)->messages[0], "Meeting at three");
  }
  // One station refusing does not fail the send; all refusing does.
  fs1->FindSlot(jsmith[0])->broadcastMode = NWCC_BCAST_PERMIT_NONE;
  EXPECT_TRUE(SendLineMessage(0, "JSMITH", "Second"));
  EXPECT_EQ(fs1->FindSlot(jsmith[0])->messages.size(), 1u);
  EXPECT_EQ(fs1->FindSlot(jsmith[1])->messages.size(), 2u);
  for (auto number : jsmith) fs1->FindSlot(number)->broadcastMode = NWCC_BCAST_PERMIT_SYSTEM;
  EXPECT_FALSE(SendLineMessage(0, "JSMITH", "Third"));
  EXPECT_FALSE(SendLineMessage(0, "NOBODY", "Hello"));
  EXPECT_FALSE(SendLineMessage(0, "MJONES", std::string(130, 'x')));  // does not fit the message area
}

TEST_F(RealTessel, BinderyOfTheBinderyServer) {
  Start();
  const NWCONN_HANDLE nw3 = ConnTo("ACME-NW3");
  const TNWObjList users = BinderyObjectList(nw3, OT_USER);
  ASSERT_EQ(users.size(), 5u);
  EXPECT_EQ(users[2].text, "BOB");
  EXPECT_EQ(SwapLong(users[2].value), 0x2000004u);
  EXPECT_EQ(ObjectIDText(nw3, "bob", OT_USER), "2000004");
  EXPECT_EQ(ObjectNameByID(nw3, users[2].value), "BOB");
  EXPECT_EQ(BinderyTypeOf(nw3, "printq_0"), OT_PRINT_QUEUE);
  std::string text;
  ObjectFullName(nw3, "bob", text);
  EXPECT_EQ(text, "Bob Turner");
  ObjectFullName(nw3, "guest", text);
  EXPECT_EQ(text, "GUEST");  // no IDENTIFICATION property
  NWCONN_HANDLE conn = nw3;
  EXPECT_EQ(ObjectIDByName(conn, "NOBODY", OT_USER), 0u);
  EXPECT_EQ(tessel->LastErrorText(), "89FC");
}

TEST_F(RealTessel, PreferredServerBecomesPrimary) {
  Start();
  NWCONN_HANDLE conn = 0;
  ASSERT_TRUE(SetPreferredServer("ACME-NW3", conn));
  EXPECT_EQ(conn, ConnTo("ACME-NW3"));
  EXPECT_EQ(PrimaryConn, conn);
  EXPECT_EQ(ConnectionServerName(0), "ACME-NW3");
  EXPECT_EQ(ConnectionLoginName(0), "SUPERVISOR");
  EXPECT_FALSE(SetPreferredServer("NOWHERE", conn));
  EXPECT_EQ(tessel->LastErrorText(), "8847");
  EXPECT_FALSE(SetPreferredServer(std::string(60, 'S'), conn));  // too long for a server name
  EXPECT_EQ(PrimaryConn, ConnTo("ACME-NW3"));
}

TEST_F(RealTessel, MappedDriveMakesAVolumeFileReadable) {
  Start();
  EXPECT_EQ(FirstDriveLetter(), 'F');
  ASSERT_EQ(NextFreeDriveLetter(), 'F');
  ASSERT_TRUE(MapDrive('f', "acme-fs1/sys:"));
  EXPECT_EQ(NextFreeDriveLetter(), 'G');
  const std::string expected =
      FileText(nwc::DemoNetworkRoot() / "volumes" / "ACME-FS1" / "SYS" / "PUBLIC" / "NET$LOG.DAT");
  ASSERT_FALSE(expected.empty());
  std::string content;
  ASSERT_TRUE(ReadDriveFile("F:\\public\\net$log.dat", content));
  EXPECT_EQ(content, expected);
  EXPECT_FALSE(ReadDriveFile("F:\\..\\..\\ACME-FS2\\SYS\\PUBLIC\\NET$LOG.DAT", content));

  // Mapping the letter again points it elsewhere.
  ASSERT_TRUE(MapDrive('F', "ACME-FS2/SYS:PUBLIC"));
  ASSERT_TRUE(ReadDriveFile("f:net$log.dat", content));
  EXPECT_NE(content, expected);

  EXPECT_TRUE(UnmapDrive("f"));
  EXPECT_FALSE(ReadDriveFile("F:\\net$log.dat", content));
  EXPECT_EQ(NextFreeDriveLetter(), 'F');
  EXPECT_FALSE(UnmapDrive("F"));
  EXPECT_EQ(tessel->LastErrorText(), "8873");

  EXPECT_FALSE(MapDrive(0, "ACME-FS1/SYS:"));  // no free letter
  EXPECT_FALSE(MapDrive('G', "ACME-FS1/NOVOL:"));
  EXPECT_FALSE(MapDrive('G', "ACME-FS1/SYS:..\\.."));
  EXPECT_EQ(NextFreeDriveLetter(), 'F');
}

TEST_F(RealTessel, PathsAndErrorMode) {
  Start();
  TNWParsedPath info;
  ASSERT_TRUE(SplitNetWarePath("acme-fs1/sys:public\\x", info));
  EXPECT_EQ(info.ServerName, "ACME-FS1");
  EXPECT_EQ(info.VolumeName, "SYS");
  EXPECT_EQ(info.DirPath, "PUBLIC\\X");
  EXPECT_EQ(info.Connection, ConnTo("ACME-FS1"));
  EXPECT_FALSE(SplitNetWarePath("acme-fs1/novol:", info));
  EXPECT_EQ(tessel->LastErrorText(), "8998");

  ApplyErrorMode(1);
  EXPECT_EQ(ApplyErrorMode(2), 1);
  EXPECT_EQ(ApplyErrorMode(0), 2);
}
