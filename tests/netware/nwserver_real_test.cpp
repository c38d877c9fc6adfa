// The server services over the real client and the demo network.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "real_client_fixture.h"

namespace {

using RealServer = RealClientTest;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

}  // namespace

TEST_F(RealServer, ConnectionByName) {
  Start();
  TNWServer server;
  EXPECT_EQ(ConnectionByServerName("acme-fs2"), ConnTo("ACME-FS2"));
  EXPECT_EQ(server.LastErrorText(), "0000");
  EXPECT_EQ(ConnectionByServerName(std::string(60, 'A')), 0u);  // too long for a server name
  EXPECT_EQ(ConnectionByServerName("NOWHERE"), 0u);
  EXPECT_EQ(server.LastErrorText(), "8847");
}

TEST_F(RealServer, DescriptionOfVersion4And3Servers) {
  Start();
  TNWServerInfo info;
  ASSERT_TRUE(GetServerInfo(0, info));
  const nwc::Server *fs1 = Net().FindServer("ACME-FS1");
  EXPECT_EQ(info.ServerName, "ACME-FS1");
  EXPECT_EQ(info.Version, "4.11");
  EXPECT_EQ(info.MaxConns, 250);
  EXPECT_EQ(info.ConnsInUse, fs1->ConnectionsInUse());
  EXPECT_GE(info.PeakConns, info.ConnsInUse);
  EXPECT_EQ(info.Volumes, 2);
  EXPECT_EQ(info.SFTLevel, 2);
  EXPECT_EQ(info.TTSLevel, 1);
  EXPECT_NE(info.EnvWord0, 0u);    // read from the environment record
  EXPECT_NE(info.EnvWord144, 0u);

  TNWServerInfo nw3;
  ASSERT_TRUE(GetServerInfo(ConnTo("ACME-NW3"), nw3));
  EXPECT_EQ(nw3.ServerName, "ACME-NW3");
  EXPECT_EQ(nw3.Version, "3.12");
  EXPECT_EQ(nw3.EnvWord0, 0u);
  EXPECT_EQ(nw3.EnvWord144, 0u);
  EXPECT_EQ(nw3.Volumes, 2);

  TNWServerInfo none;
  none.Version = "untouched";
  EXPECT_FALSE(GetServerInfo(0x4242, none));
  EXPECT_EQ(none.Version, "untouched");
}

TEST_F(RealServer, SettingTheClockNeedsConsoleRights) {
  Start();
  TNWServer server;
  ASSERT_TRUE(SetServerDateTime(0, {1999, 12, 31, 23, 59, 58, 500}));
  EXPECT_EQ(ReadServerDate(0), (TNWDate{1999, 12, 31}));
  const TNWTime time = ReadServerTime(0);
  EXPECT_EQ(time.hour, 23);
  EXPECT_EQ(time.minute, 59);
  EXPECT_FALSE(SetServerDateTime(ConnTo("ACME-FS2"), {2005, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(server.LastErrorText(), "89C6");
  EXPECT_NE(ReadServerDate(ConnTo("ACME-FS2")).year, 2005);
}

TEST_F(RealServer, FilesAndSubdirectoriesOfAVolumePath) {
  Start();
  EXPECT_EQ(ListSubdirectories("ACME-FS1/SYS:\\*"), (Names{"LOGIN", "MAIL", "PUBLIC", "SYSTEM"}));
  EXPECT_EQ(ListDirectoryFiles("ACME-FS1/SYS:\\*.*"), Names{});
  EXPECT_EQ(ListDirectoryFiles("ACME-FS1/SYS:\\PUBLIC\\*.*"), (Names{"NET$LOG.DAT", "README.TXT"}));
  EXPECT_EQ(ListDirectoryFiles("acme-fs1/data:\\shared\\b*"), (Names{"BUDGET.TXT"}));
  EXPECT_EQ(ListSubdirectories("ACME-FS1/DATA:\\HOME\\*"), (Names{"JSMITH", "MJONES"}));
  EXPECT_EQ(ListSubdirectories("ACME-FS1/SYS:\\PUBLIC\\*"), Names{});

  // Paths that leave the volume list nothing.
  EXPECT_EQ(ListDirectoryFiles("ACME-FS1/SYS:\\..\\..\\*.*"), Names{});
  EXPECT_EQ(ListSubdirectories("ACME-FS1/SYS:\\..\\*"), Names{});
  EXPECT_EQ(ListSubdirectories("ACME-FS1/SYS:\\PUBLIC\\..\\..\\..\\..\\..\\..\\*"), Names{});
  EXPECT_EQ(ListDirectoryFiles("ACME-FS1/NOVOL:\\*.*"), Names{});
  EXPECT_EQ(ListDirectoryFiles("NOWHERE/SYS:\\*.*"), Names{});
  EXPECT_EQ(ListDirectoryFiles("ACME-FS1/SYS:\\" + std::string(300, 'D') + "\\*.*"), Names{});
}

TEST_F(RealServer, LinksOutOfAVolumeAreNotFollowed) {
  std::string pattern = (fs::temp_directory_path() / "nwvol-XXXXXX").string();
  const fs::path root = mkdtemp(pattern.data());
  fs::create_directories(root / "vol" / "DOCS");
  fs::create_directories(root / "elsewhere");
  std::ofstream(root / "elsewhere" / "SECRET.TXT") << "x";
  std::ofstream(root / "vol" / "DOCS" / "NOTE.TXT") << "y";
  fs::create_directory_symlink(root / "elsewhere", root / "vol" / "OUT");
  fs::create_symlink(root / "elsewhere" / "SECRET.TXT", root / "vol" / "DOCS" / "LEAK.TXT");
  ASSERT_TRUE(nwc::LoadNetworkFromString(
      R"({"servers": [{"name": "SRV", "volumes": [{"name": "SYS", "path": ")" + (root / "vol").string() + R"("}],
                       "bindery": [{"name": "U", "type": "user"}]}],
          "workstation": {"connections": [{"server": "SRV", "user": "U"}]}})",
      root, "links.json"));
  Start();
  EXPECT_EQ(ListSubdirectories("SRV/SYS:\\*"), (Names{"DOCS"}));
  EXPECT_EQ(ListDirectoryFiles("SRV/SYS:\\OUT\\*.*"), Names{});
  EXPECT_EQ(ListDirectoryFiles("SRV/SYS:\\DOCS\\*.*"), (Names{"NOTE.TXT"}));
  std::error_code ec;
  fs::remove_all(root, ec);
}
