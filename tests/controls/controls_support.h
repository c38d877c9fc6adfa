// Helpers of the controls' tests: small networks of the stand-in client made
// for these tests, and the real client libraries loaded afresh for every test.
#pragma once

#include "support/demo_network.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <QString>
#include <QWidget>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>

#include "base/nwbase.h"
#include "netware/fakeclient.h"
// The client's model names a member "slots", which Qt takes for a keyword.
#pragma push_macro("slots")
#undef slots
#include "network.h"
#pragma pop_macro("slots")

// Readable failure messages for Qt texts.
inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

namespace controls_test {

// A scratch folder removed at the end of the test.
class TempDir : public testsupport::TempDir {
 public:
  TempDir() : testsupport::TempDir("nwcontrols") {}
  // Puts a folder where a file was: reading it as a file fails.
  void MakeUnreadable(const std::string &name) const {
    const auto file = path() / name;
    std::filesystem::remove(file);
    std::filesystem::create_directories(file);
  }
};

// Script texts of the volumes.
inline constexpr char kSystemScript[] = "WRITE \"System script\"\r\nMAP G:=FS1/SYS:PUBLIC\r\n";
inline constexpr char kBinderySystemScript[] = "WRITE \"Bindery system\"\n";
inline constexpr char kGuestScript[] = "MAP H:=BS1/SYS:HOME\r\nWRITE \"Guest\"\r\n";
inline constexpr char kGuestMailFile[] = "bs1sys/MAIL/1A2B3C/LOGIN";
inline constexpr char kSystemScriptFile[] = "fs1sys/PUBLIC/NET$LOG.DAT";

// The bindery server BS1 with its user GUEST (object ID 1A2B3C).
inline constexpr char kBinderyServerJson[] = R"(
      {"name": "BS1", "version": "3.12", "volumes": [{"name": "SYS", "path": "bs1sys"}],
       "bindery": [{"name": "GUEST", "type": "user", "id": "1A2B3C", "fullName": "Guest User"}]})";

// The directory network: FS1 holds the tree, the workstation is logged in
// to it as ADMIN.ACME. The bindery network: BS1 alone, no directory, the
// workstation logged in as GUEST.
inline std::string NetworkJson(bool bindery) {
  if (bindery) {
    return std::string(R"({"servers": [)") + kBinderyServerJson + R"(],
      "workstation": {"connections": [{"server": "BS1", "user": "GUEST", "primary": true}]}})";
  }
  return std::string(R"({
    "tree": {"name": "TEST_TREE", "objects": [
      {"name": "C=US", "class": "Country"},
      {"name": "O=ACME", "class": "Organization", "objects": [
        {"name": "CN=ADMIN", "class": "User", "attributes": {"Full Name": "Admin Person"}},
        {"name": "OU=SALES", "class": "Organizational Unit", "objects": [
          {"name": "CN=JDOE", "class": "User", "attributes": {
            "Full Name": "John Doe",
            "EMail Address": ["jdoe@acme.test"],
            "Telephone Number": ["555-0100", "555-0199"],
            "Login Script": ["MAP F:=FS1/SYS:", "WRITE \"Hello\""],
            "Login Disabled": true,
            "Login Grace Limit": 6,
            "Home Directory": {"volume": "CN=FS1_SYS.O=ACME", "path": "HOME\\JDOE"}}},
          {"name": "CN=NOINFO", "class": "User"}]},
        {"name": "CN=STAFF", "class": "Group",
         "attributes": {"Member": ["CN=JDOE.OU=SALES.O=ACME", "CN=ADMIN.O=ACME"]}},
        {"name": "CN=Q1", "class": "Queue", "attributes": {"Host Server": "CN=FS1.O=ACME"},
         "jobs": [{"owner": "CN=JDOE.OU=SALES.O=ACME", "description": "Quarterly report"}]},
        {"name": "CN=P1", "class": "Printer", "attributes": {"Queue": "CN=Q1.O=ACME"}}]}]},
    "servers": [
      {"name": "FS1", "version": "4.11", "tree": "TEST_TREE", "context": "O=ACME",
       "volumes": [{"name": "SYS", "path": "fs1sys"}]},)") +
         kBinderyServerJson + R"(],
    "workstation": {"identity": "CN=ADMIN.O=ACME",
      "connections": [{"server": "FS1", "user": "CN=ADMIN.O=ACME", "primary": true}]}})";
}

// The test network, the workstation attached to the directory server FS1 as
// ADMIN.ACME. Tests create their own TNWBase (after the fixture is set up).
class TestNetwork : public ::testing::Test {
 protected:
  void SetUp() override { Load(false); }
  void TearDown() override {
    unsetenv("NWCLIENT_NETWORK");
    nwc::ResetNetwork();
  }

  // Lays out the volumes and loads the directory or the bindery network.
  void Load(bool bindery) {
    unsetenv("NWCLIENT_NETWORK");
    dir.Write(kSystemScriptFile, kSystemScript);
    dir.Write("fs1sys/HOME/JDOE/NOTES.TXT", "notes");
    dir.Write("fs1sys/README.TXT", "read me");
    dir.Write("bs1sys/PUBLIC/NET$LOG.DAT", kBinderySystemScript);
    dir.Write(kGuestMailFile, kGuestScript);
    ASSERT_TRUE(nwc::LoadNetworkFromString(NetworkJson(bindery), dir.path(), "controls-test.json"));
  }

  TempDir dir;
  FakeClient client;  // the real libraries, entry points looked up afresh
};

// The bindery network: BS1 alone, the workstation logged in as GUEST, and no
// directory client installed (with one, bindery IDs would be looked up in
// the directory first).
class BinderyNetwork : public TestNetwork {
 protected:
  void SetUp() override {
    client.WithoutLibrary("NETWIN32.DLL").WithoutLibrary("LOCWIN32.DLL");
    Load(true);
  }
};

// The built-in demo network, as at program start.
class DemoNetwork : public testsupport::DemoNetworkTest {
 protected:
  FakeClient client;
};

}  // namespace controls_test
