// Drive letters through the client's exported entry points. Every test has a
// drive folder of its own (CallsTest sets NWCLIENT_DRIVES).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "calls_test_util.h"

using namespace nwc;
using nwctest::CallsTest;
namespace fs = std::filesystem;

namespace {

constexpr nuint16 kG = 7, kH = 8;

class CallsDrives : public CallsTest {
 protected:
  fs::path Folder() const { return drives_.path() / "dosdevices"; }

  nuint16 Status(nuint16 drive, std::string* root = nullptr, NWCONN_HANDLE* conn = nullptr, nuint16 format = 0) {
    nuint16 status = 0xFFFF;
    NWCONN_HANDLE c = 0;
    char rootPath[NW_MAX_PATH] = "junk", relative[NW_MAX_PATH] = "junk", full[NW_MAX_PATH] = "junk";
    EXPECT_EQ(NW(NWGetDriveStatus)(drive, format, &status, &c, rootPath, relative, full), 0);
    EXPECT_STREQ(relative, "");
    EXPECT_STREQ(full, rootPath);
    if (root) *root = rootPath;
    if (conn) *conn = c;
    return status;
  }
};

}  // namespace

TEST_F(CallsDrives, FirstDriveAndFreeLetters) {
  nuint16 first = 0;
  ASSERT_EQ(NW(NWGetFirstDrive)(&first), 0);
  EXPECT_EQ(first, Net().workstation.firstDrive);
  for (nuint16 d = 1; d <= 26; ++d) EXPECT_EQ(Status(d), NW_FREE_DRIVE) << d;
  nuint16 status = 0;
  EXPECT_EQ(NW(NWGetDriveStatus)(0, 0, &status, nullptr, nullptr, nullptr, nullptr), INVALID_DRIVE);
  EXPECT_EQ(NW(NWGetDriveStatus)(27, 0, &status, nullptr, nullptr, nullptr, nullptr), INVALID_DRIVE);
  EXPECT_EQ(NW(NWGetDriveStatus)(0xFFC0, 0, &status, nullptr, nullptr, nullptr, nullptr), INVALID_DRIVE);
  EXPECT_EQ(NW(NWGetDriveStatus)(kG, 9, &status, nullptr, nullptr, nullptr, nullptr), INVALID_PARAMETER);
}

TEST_F(CallsDrives, MappingLivesInTheDriveFolderUntilDeleted) {
  NWCONN_HANDLE conn = 0;
  NWDIR_HANDLE dirHandle = 0;
  char restated[NW_MAX_PATH] = {};
  ASSERT_EQ(NW(NWParseNetWarePath)("ACME-FS1/SYS:PUBLIC", &conn, &dirHandle, restated), 0);
  ASSERT_EQ(NW(NWSetDriveBase)(kG, conn, dirHandle, restated, 0), 0);

  // One link per letter, to the mapped host folder.
  const fs::path link = Folder() / "g:";
  ASSERT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::exists(link / "NET$LOG.DAT"));
  std::string root;
  NWCONN_HANDLE statusConn = 0;
  EXPECT_EQ(Status(kG, &root, &statusConn), NW_NETWARE_DRIVE);
  EXPECT_EQ(root, "ACME-FS1/SYS:PUBLIC");
  EXPECT_EQ(statusConn, conn);
  Status(kG, &root, nullptr, 3);
  EXPECT_EQ(root, "\\\\ACME-FS1\\SYS\\PUBLIC");

  // The mapping outlives the network that made it, as it does a process.
  ResetNetwork();
  EXPECT_EQ(Status(kG), NW_NETWARE_DRIVE);
  char server[NW_MAX_BINDERY_NAME], volume[NW_MAX_PATH], dir[NW_MAX_PATH];
  ASSERT_EQ(NW(NWParsePath)("g:\\sub", server, &conn, volume, dir), 0);
  EXPECT_STREQ(server, "ACME-FS1");
  EXPECT_STREQ(volume, "SYS");
  EXPECT_STREQ(dir, "PUBLIC\\sub");
  EXPECT_EQ(NW(NWParseNetWarePath)("G:..\\..", &conn, &dirHandle, restated), INVALID_PATH);

  // Mapping the letter again replaces the mapping.
  conn = ConnTo("ACME-FS1");
  ASSERT_EQ(NW(NWSetDriveBase)(kG, conn, 0, "DATA:SHARED", 0), 0);
  Status(kG, &root);
  EXPECT_EQ(root, "ACME-FS1/DATA:SHARED");

  ASSERT_EQ(NW(NWDeleteDriveBase)(kG, 0), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  EXPECT_EQ(Status(kG), NW_FREE_DRIVE);
  EXPECT_EQ(NW(NWDeleteDriveBase)(kG, 0), NWE_DRIVE_NOT_MAPPED);
  EXPECT_EQ(NW(NWDeleteDriveBase)(0, 0), INVALID_DRIVE);
  EXPECT_EQ(NW(NWDeleteDriveBase)(27, 0), INVALID_DRIVE);
}

TEST_F(CallsDrives, RefusedMappings) {
  const NWCONN_HANDLE conn = ConnTo("ACME-FS1");
  EXPECT_EQ(NW(NWSetDriveBase)(0, conn, 0, "SYS:PUBLIC", 0), INVALID_DRIVE);
  EXPECT_EQ(NW(NWSetDriveBase)(0xFFC0, conn, 0, "SYS:PUBLIC", 0), INVALID_DRIVE);  // no letter, as 0 - 64
  EXPECT_EQ(NW(NWSetDriveBase)(kG, conn, 0, "SYS:NOWHERE", 0), INVALID_PATH);
  EXPECT_EQ(NW(NWSetDriveBase)(kG, conn, 0, "SYS:..", 0), INVALID_PATH);
  EXPECT_EQ(NW(NWSetDriveBase)(kG, conn, 0, "SYS:PUBLIC\\NET$LOG.DAT", 0), INVALID_PATH);
  EXPECT_EQ(NW(NWSetDriveBase)(kG, 0x999, 0, "SYS:PUBLIC", 0), INVALID_CONNECTION);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Folder() / "g:")));

  // A letter the folder holds without a NetWare path is a local drive: it is
  // neither replaced nor deleted.
  fs::create_directories(Folder());
  fs::create_directory_symlink(drives_.path(), Folder() / "h:");
  EXPECT_EQ(Status(kH), NW_LOCAL_DRIVE);
  EXPECT_EQ(NW(NWSetDriveBase)(kH, conn, 0, "SYS:PUBLIC", 0), DRIVE_IN_USE);
  EXPECT_EQ(NW(NWDeleteDriveBase)(kH, 0), NWE_DRIVE_NOT_MAPPED);
  EXPECT_TRUE(fs::is_symlink(Folder() / "h:"));
}

TEST_F(CallsDrives, ErrorModeRemembersThePreviousOne) {
  nuint8 previous = 9;
  ASSERT_EQ(NW(NWSetNetWareErrorMode)(1, &previous), 0);
  ASSERT_EQ(NW(NWSetNetWareErrorMode)(2, &previous), 0);
  EXPECT_EQ(previous, 1);
  ASSERT_EQ(NW(NWSetNetWareErrorMode)(0, nullptr), 0);
  EXPECT_EQ(NW(NWSetNetWareErrorMode)(3, &previous), INVALID_PARAMETER);
  ASSERT_EQ(NW(NWSetNetWareErrorMode)(0, &previous), 0);
  EXPECT_EQ(previous, 0);
}
