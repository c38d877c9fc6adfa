// Reading files through drive-letter paths and the user's drive folder.
#include "util/nwfiles.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class DriveFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "nwfiles-XXXXXX").string();
    root = mkdtemp(pattern.data());
    folder = root / "dosdevices";
    volume = root / "volume";
    fs::create_directories(folder);
    Write(volume / "Public" / "Net$Log.dat", "WRITE \"Hello\"\r\n");
    Write(root / "secret.txt", "outside");
    fs::create_symlink(root / "secret.txt", volume / "Public" / "leak.txt");
    fs::create_directory_symlink(volume, folder / "g:");
    if (const char* previous = getenv("NWCLIENT_DRIVES")) saved = previous;
    setenv("NWCLIENT_DRIVES", folder.c_str(), 1);
  }
  void TearDown() override {
    if (saved.empty()) {
      unsetenv("NWCLIENT_DRIVES");
    } else {
      setenv("NWCLIENT_DRIVES", saved.c_str(), 1);
    }
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }

  fs::path root, folder, volume;
  std::string saved;  // the program's own drive folder, given back afterwards
};

}  // namespace

TEST_F(DriveFiles, DriveLetterPathsResolveWithoutRegardToCase) {
  std::string content = "old";
  ASSERT_TRUE(ReadDriveFile("G:\\public\\net$log.dat", content));
  EXPECT_EQ(content, "WRITE \"Hello\"\r\n");
  content.clear();
  ASSERT_TRUE(ReadDriveFile("g:/PUBLIC/NET$LOG.DAT", content));
  EXPECT_EQ(content, "WRITE \"Hello\"\r\n");
  EXPECT_TRUE(ReadDriveFile("G:PUBLIC\\.\\X\\..\\NET$LOG.DAT", content));

  // Nothing above the drive's root or outside it, no letters not mapped.
  EXPECT_FALSE(ReadDriveFile("G:\\..\\secret.txt", content));
  EXPECT_EQ(content, "");
  EXPECT_FALSE(ReadDriveFile("G:\\public\\leak.txt", content));
  EXPECT_FALSE(ReadDriveFile("H:\\public\\net$log.dat", content));
  EXPECT_FALSE(ReadDriveFile("G:\\public\\missing.dat", content));
  EXPECT_FALSE(ReadDriveFile("G:\\public", content));  // a directory
  EXPECT_FALSE(ReadDriveFile("G:", content));
  EXPECT_FALSE(ReadDriveFile("", content));
  EXPECT_FALSE(ReadDriveFile("G", content));
}

TEST_F(DriveFiles, HostPathsAreReadAsTheyStand) {
  std::string content;
  ASSERT_TRUE(ReadDriveFile((root / "secret.txt").string(), content));
  EXPECT_EQ(content, "outside");
  EXPECT_FALSE(ReadDriveFile((root / "SECRET.TXT").string(), content));  // host paths keep their case
  // A pipe is never read: it would block.
  ASSERT_EQ(mkfifo((root / "pipe").c_str(), 0600), 0);
  EXPECT_FALSE(ReadDriveFile((root / "pipe").string(), content));
}

TEST(DriveFolderLocation, EnvironmentDecides) {
  const char* saved[3] = {getenv("NWCLIENT_DRIVES"), getenv("XDG_DATA_HOME"), getenv("HOME")};
  const std::string keep[3] = {saved[0] ? saved[0] : "", saved[1] ? saved[1] : "", saved[2] ? saved[2] : ""};
  setenv("NWCLIENT_DRIVES", "/tmp/own-drives", 1);
  setenv("XDG_DATA_HOME", "/tmp/xdg", 1);
  setenv("HOME", "/tmp/home", 1);
  EXPECT_EQ(DriveFolder(), "/tmp/own-drives");
  unsetenv("NWCLIENT_DRIVES");
  EXPECT_EQ(DriveFolder(), "/tmp/xdg/nwclient/dosdevices");
  setenv("XDG_DATA_HOME", "relative", 1);  // not an absolute path: ignored
  EXPECT_EQ(DriveFolder(), "/tmp/home/.local/share/nwclient/dosdevices");
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(DriveFolder(), "/tmp/home/.local/share/nwclient/dosdevices");
  const char* names[3] = {"NWCLIENT_DRIVES", "XDG_DATA_HOME", "HOME"};
  for (int i = 0; i < 3; ++i) {
    if (saved[i]) {
      setenv(names[i], keep[i].c_str(), 1);
    } else {
      unsetenv(names[i]);
    }
  }
}
