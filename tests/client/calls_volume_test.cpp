// Volumes backed by host folders: NetWare paths, directory handles and
// directory scans through the client's exported entry points.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "calls_test_util.h"

using namespace nwc;
using nwctest::CallsTest;
using nwctest::TempDir;
namespace fs = std::filesystem;

namespace {

class CallsVolumes : public CallsTest {
 protected:
  void SetUp() override {
    CallsTest::SetUp();
    volume.Write("Alpha.TXT", "hello");
    volume.Write("beta", "abc");
    volume.Write(".hidden", "");
    volume.Write("Sub/Deep.txt", "deep");
    fs::create_directory(volume.path() / "sub2");
    fs::create_directory_symlink("Sub", volume.path() / "inner");
    outside.Write("secret.txt", "not on the volume");
    fs::create_directory_symlink(outside.path(), volume.path() / "out");
    fs::create_symlink(outside.path() / "secret.txt", volume.path() / "leak.txt");
    volume.Write(std::string(120, 'L') + ".TXT", "");
    ASSERT_EQ(mkfifo((volume.path() / "pipe").c_str(), 0600), 0);
    Load(R"({"servers": [{"name": "SRV", "volumes": [{"name": "SYS", "path": ")" + volume.path().string() +
         R"("}, {"name": "DATA", "path": ")" + outside.path().string() + R"("}],
                "bindery": [{"name": "U", "type": "user"}]}],
             "workstation": {"connections": [{"server": "SRV", "user": "U"}]}})");
    conn = ConnTo("SRV");
  }

  // Every name a scan of the directory finds, in scan order.
  std::vector<std::string> Scan(const char* dir, nuint16 attrs, const char* pattern) {
    std::vector<std::string> names;
    NWDIR_HANDLE handle = 0;
    nuint8 rights = 0;
    EXPECT_EQ(NW(NWAllocTemporaryDirectoryHandle)(conn, 0, dir, &handle, &rights), 0) << dir;
    nuint32 iterator = 0xFFFFFFFF;
    NWENTRY_INFO entry;
    NWCCODE rc;
    while ((rc = NW(NWIntScanDirEntryInfo)(conn, handle, attrs, &iterator, pattern, &entry, 0)) == 0 &&
           names.size() < 100) {
      names.push_back(std::string(entry.name, entry.nameLength));
    }
    EXPECT_EQ(rc, NO_FILES_FOUND);
    return names;
  }

  TempDir volume, outside;
  NWCONN_HANDLE conn = 0;
};

using Names = std::vector<std::string>;

}  // namespace

TEST_F(CallsVolumes, NetWarePathsInTheirForms) {
  auto parse = NW(NWParseNetWarePath);
  for (const char* path : {"SRV/SYS:SUB", "srv\\sys:\\Sub", "SYS:sub\\", "\\\\SRV\\SYS\\SUB", "SRV/SYS:X\\..\\SUB"}) {
    NWCONN_HANDLE c = 0;
    NWDIR_HANDLE h = 9;
    char restated[NW_MAX_PATH] = {};
    ASSERT_EQ(parse(path, &c, &h, restated), 0) << path;
    EXPECT_EQ(c, conn) << path;
    EXPECT_EQ(h, 0) << path;
    EXPECT_STRCASEEQ(restated, "SYS:SUB") << path;
  }
  NWCONN_HANDLE c = 0;
  NWDIR_HANDLE h = 0;
  char restated[NW_MAX_PATH] = {};
  ASSERT_EQ(parse("SRV/DATA:", &c, &h, restated), 0);
  EXPECT_STREQ(restated, "DATA:");
  EXPECT_EQ(parse("SRV/SYS:..\\ETC", &c, &h, restated), INVALID_PATH);
  EXPECT_EQ(parse("SRV/SYS:SUB/../../..", &c, &h, restated), INVALID_PATH);
  EXPECT_EQ(parse("SRV/NOVOL:", &c, &h, restated), VOLUME_DOES_NOT_EXIST);
  EXPECT_EQ(parse("NOSRV/SYS:", &c, &h, restated), NWE_SERVER_NOT_FOUND);
  EXPECT_EQ(parse("PUBLIC\\X", &c, &h, restated), INVALID_PATH);  // relative to no current directory
  EXPECT_EQ(parse("Q:\\X", &c, &h, restated), INVALID_PATH);       // not a network drive
  const std::string tooLong = "SRV/SYS:" + std::string(300, 'A');
  EXPECT_EQ(parse(tooLong.c_str(), &c, &h, restated), INVALID_PATH);
  const std::string longServer = std::string(60, 'S') + "/SYS:";
  EXPECT_EQ(parse(longServer.c_str(), &c, &h, restated), INVALID_PATH);

  char server[NW_MAX_BINDERY_NAME], vol[NW_MAX_PATH], dir[NW_MAX_PATH];
  ASSERT_EQ(NW(NWParsePath)("srv/sys:sub\\deeper", server, &c, vol, dir), 0);
  EXPECT_STREQ(server, "SRV");
  EXPECT_STREQ(vol, "SYS");
  EXPECT_STREQ(dir, "sub\\deeper");
  EXPECT_EQ(c, conn);
  ASSERT_EQ(NW(NWParsePath)("C:\\TEMP", server, &c, vol, dir), 0);  // a local drive
  EXPECT_STREQ(server, "");
  EXPECT_EQ(c, 0u);
}

TEST_F(CallsVolumes, ScansFollowNetWareRules) {
  // Files with hidden ones, sorted without regard to case; the over-long
  // name, the pipe and links that lead off the volume are not listed.
  EXPECT_EQ(Scan("SYS:", FA_HIDDEN | FA_SYSTEM, "*.*"), (Names{".hidden", "Alpha.TXT", "beta"}));
  EXPECT_EQ(Scan("SYS:", FA_NORMAL, "*"), (Names{"Alpha.TXT", "beta"}));
  EXPECT_EQ(Scan("SYS:", FA_DIRECTORY | FA_HIDDEN | FA_SYSTEM, "*"), (Names{"inner", "Sub", "sub2"}));
  EXPECT_EQ(Scan("SYS:", FA_NORMAL, "*."), (Names{"beta"}));
  EXPECT_EQ(Scan("SYS:", FA_NORMAL, "a?PHA.*"), (Names{"Alpha.TXT"}));
  EXPECT_EQ(Scan("SYS:", FA_NORMAL, "BETA.*"), (Names{"beta"}));
  EXPECT_EQ(Scan("SYS:", FA_NORMAL, "BETA"), (Names{"beta"}));
  EXPECT_EQ(Scan("SYS:", FA_NORMAL, "gamma"), Names{});
  EXPECT_EQ(Scan("SYS:", 0x8000, "S*"), (Names{"Sub", "sub2"}));
  EXPECT_EQ(Scan("SYS:inner", FA_NORMAL, "*"), (Names{"Deep.txt"}));
}

TEST_F(CallsVolumes, EntryRecordAndIterator) {
  NWDIR_HANDLE handle = 0;
  ASSERT_EQ(NW(NWAllocTemporaryDirectoryHandle)(conn, 0, "SYS:", &handle, nullptr), 0);
  EXPECT_NE(handle, 0);
  unsigned char record[sizeof(NWENTRY_INFO) + 4];
  std::memset(record, 0xEE, sizeof record);
  nuint32 iterator = 0xFFFFFFFF;
  ASSERT_EQ(NW(NWIntScanDirEntryInfo)(conn, handle, 0, &iterator, "A*", reinterpret_cast<NWENTRY_INFO*>(record), 0),
            0);
  EXPECT_EQ(record[15], 9);  // the name's length
  EXPECT_STREQ(reinterpret_cast<const char*>(record + 16), "Alpha.TXT");
  EXPECT_EQ(record[sizeof(NWENTRY_INFO)], 0xEE);
  const auto* entry = reinterpret_cast<const NWENTRY_INFO*>(record);
  EXPECT_EQ(entry->dataForkSize, 5u);
  EXPECT_EQ(entry->attributes & FA_DIRECTORY, 0u);
  EXPECT_NE(iterator, 0xFFFFFFFFu);
  EXPECT_EQ(NW(NWIntScanDirEntryInfo)(conn, handle, 0, &iterator, "A*", reinterpret_cast<NWENTRY_INFO*>(record), 0),
            NO_FILES_FOUND);

  EXPECT_EQ(NW(NWIntScanDirEntryInfo)(conn, 77, 0, &iterator, "*", reinterpret_cast<NWENTRY_INFO*>(record), 0),
            BAD_DIRECTORY_HANDLE);
  EXPECT_EQ(NW(NWIntScanDirEntryInfo)(0x5555, handle, 0, &iterator, "*", reinterpret_cast<NWENTRY_INFO*>(record), 0),
            INVALID_CONNECTION);
}

TEST_F(CallsVolumes, HandlesStayInsideTheVolume) {
  auto alloc = NW(NWAllocTemporaryDirectoryHandle);
  NWDIR_HANDLE h = 0;
  EXPECT_EQ(alloc(conn, 0, "SYS:..", &h, nullptr), INVALID_PATH);
  EXPECT_EQ(alloc(conn, 0, "SYS:out", &h, nullptr), INVALID_PATH);  // a link off the volume
  EXPECT_EQ(alloc(conn, 0, "SYS:beta", &h, nullptr), INVALID_PATH);  // a file, no directory
  EXPECT_EQ(alloc(conn, 0, "SYS:nothing", &h, nullptr), INVALID_PATH);
  EXPECT_EQ(alloc(conn, 0, "SUB", &h, nullptr), INVALID_PATH);  // no volume named
  EXPECT_EQ(alloc(conn, 0, "OTHER/SYS:", &h, nullptr), INVALID_PATH);
  EXPECT_EQ(alloc(conn, 0, "NOVOL:", &h, nullptr), VOLUME_DOES_NOT_EXIST);
  EXPECT_EQ(alloc(conn, 200, "SUB", &h, nullptr), BAD_DIRECTORY_HANDLE);

  // Relative to a handle, and never above the volume's root from there.
  NWDIR_HANDLE sub = 0, back = 0;
  ASSERT_EQ(alloc(conn, 0, "SRV/SYS:SUB", &sub, nullptr), 0);
  ASSERT_EQ(alloc(conn, sub, "..\\sub2", &back, nullptr), 0);
  EXPECT_EQ(alloc(conn, sub, "..\\..", &h, nullptr), INVALID_PATH);
}

TEST_F(CallsVolumes, TemporaryHandlesAreReclaimedOldestFirst) {
  auto alloc = NW(NWAllocTemporaryDirectoryHandle);
  NWDIR_HANDLE first = 0;
  ASSERT_EQ(alloc(conn, 0, "SYS:", &first, nullptr), 0);
  NWDIR_HANDLE h = 0;
  for (int i = 1; i < 255; ++i) ASSERT_EQ(alloc(conn, 0, "SYS:SUB", &h, nullptr), 0) << i;
  EXPECT_EQ(Net().workstation.FindConnection(conn)->dirHandles.size(), 255u);
  ASSERT_EQ(alloc(conn, 0, "SYS:sub2", &h, nullptr), 0);
  EXPECT_EQ(h, first);  // the oldest handle now names the newest directory
  nuint32 iterator = 0xFFFFFFFF;
  NWENTRY_INFO entry;
  EXPECT_EQ(NW(NWIntScanDirEntryInfo)(conn, h, 0, &iterator, "*", &entry, 0), NO_FILES_FOUND);  // sub2 is empty
}
