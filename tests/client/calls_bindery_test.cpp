// The bindery through the client's exported entry points.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "calls_test_util.h"

using namespace nwc;
using nwctest::CallsTest;

namespace {

using Names = std::vector<std::string>;

Names ScanNames(NWCONN_HANDLE conn, const char* pattern, nuint16 type) {
  Names names;
  nuint32 id = 0xFFFFFFFF;
  char name[NW_MAX_BINDERY_NAME];
  NWCCODE rc;
  while ((rc = NW(NWScanObject)(conn, pattern, type, &id, name, nullptr, nullptr, nullptr, nullptr)) == 0 &&
         names.size() < 500) {
    names.push_back(name);
  }
  EXPECT_EQ(rc, NO_SUCH_OBJECT);
  return names;
}

}  // namespace

using CallsBindery = CallsTest;

TEST_F(CallsBindery, IdsAndNamesOnABinderyServer) {
  const NWCONN_HANDLE nw3 = ConnTo("ACME-NW3");
  nuint32 id = 0;
  ASSERT_EQ(NW(NWGetObjectID)(nw3, "bob", OT_USER, &id), 0);
  EXPECT_EQ(DisplayId(id), 0x2000004u);  // high byte first, as the client returns IDs
  EXPECT_EQ(NW(NWLongSwap)(id), 0x2000004u);
  char name[50];
  std::memset(name, 'x', sizeof name);
  nuint16 type = 0;
  ASSERT_EQ(NW(NWGetObjectName)(nw3, id, name, &type), 0);
  EXPECT_STREQ(name, "BOB");
  EXPECT_EQ(type, OT_USER);
  EXPECT_EQ(name[NW_MAX_BINDERY_NAME], 'x');  // the 48-byte name never spills

  ASSERT_EQ(NW(NWGetObjectID)(nw3, "PRINTQ_0", OT_WILD, &id), 0);
  EXPECT_EQ(NW(NWGetObjectID)(nw3, "PRINTQ_0", OT_USER, &id), NO_SUCH_OBJECT);
  EXPECT_EQ(NW(NWGetObjectID)(nw3, "NOBODY", OT_USER, &id), NO_SUCH_OBJECT);
  EXPECT_EQ(NW(NWGetObjectID)(nw3, "B*", OT_USER, &id), 0x89F0);  // no wildcards here
  const std::string tooLong(60, 'B');
  EXPECT_EQ(NW(NWGetObjectID)(nw3, tooLong.c_str(), OT_USER, &id), NO_SUCH_OBJECT);
  EXPECT_EQ(NW(NWGetObjectName)(nw3, IdFromDisplay(0x7777777), name, &type), NO_SUCH_OBJECT);
  EXPECT_EQ(NW(NWGetObjectID)(0, "BOB", OT_USER, &id), INVALID_CONNECTION);
}

TEST_F(CallsBindery, ScanWithWildcardsAndTypes) {
  const NWCONN_HANDLE nw3 = ConnTo("ACME-NW3");
  EXPECT_EQ(ScanNames(nw3, "*", OT_USER), (Names{"SUPERVISOR", "GUEST", "BOB", "ALICE", "CAROL"}));
  EXPECT_EQ(ScanNames(nw3, "?O*", OT_USER), (Names{"BOB"}));
  EXPECT_EQ(ScanNames(nw3, "printq_?", OT_PRINT_QUEUE), (Names{"PRINTQ_0", "PRINTQ_1"}));
  EXPECT_EQ(ScanNames(nw3, "*", OT_JOB_SERVER), Names{});
  const Names all = ScanNames(nw3, "*", OT_WILD);
  EXPECT_EQ(all.size(), Net().FindServer("ACME-NW3")->bindery.size());
  EXPECT_EQ(ScanNames(nw3, "ACME-*", OT_FILE_SERVER), (Names{"ACME-FS1", "ACME-FS2", "ACME-NW3"}));

  // The full record of one object.
  nuint32 id = 0xFFFFFFFF;
  char name[NW_MAX_BINDERY_NAME];
  nuint16 type = 0;
  nuint8 props = 0, flags = 9, security = 0;
  ASSERT_EQ(NW(NWScanObject)(nw3, "ACCOUNTING", OT_USER_GROUP, &id, name, &type, &props, &flags, &security), 0);
  EXPECT_EQ(type, OT_USER_GROUP);
  EXPECT_EQ(props, 0xFF);
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(security, 0x31);
  // A scan resumed from an ID the bindery no longer holds ends.
  id = IdFromDisplay(0x7777777);
  EXPECT_EQ(NW(NWScanObject)(nw3, "*", OT_WILD, &id, name, nullptr, nullptr, nullptr, nullptr), NO_SUCH_OBJECT);
}

TEST_F(CallsBindery, TreeAdvertisementsAndTheDirectorysUsers) {
  const NWCONN_HANDLE fs1 = ConnTo("ACME-FS1");
  const std::string tree = Net().tree->name;
  const Names ads = ScanNames(fs1, "*", OT_TREE_NAME);
  ASSERT_EQ(ads.size(), Net().DirectoryServers().size());
  for (const std::string& ad : ads) {
    ASSERT_GT(ad.size(), 32u);
    EXPECT_EQ(ad.substr(0, tree.size()), tree);
    EXPECT_EQ(ad.substr(tree.size(), 32 - tree.size()), std::string(32 - tree.size(), '_'));
  }
  // The bindery emulation shows the directory's users of its contexts.
  nuint32 id = 0;
  ASSERT_EQ(NW(NWGetObjectID)(fs1, "JSMITH", OT_USER, &id), 0);
  DName name;
  ASSERT_EQ(CanonicalizeName("CN=JSMITH.OU=SALES.O=ACME", DName{}, {}, &name), 0);
  EXPECT_EQ(id, Net().tree->Find(name)->id);
  EXPECT_EQ(NW(NWGetObjectID)(fs1, "AKUMAR", OT_USER, &id), NO_SUCH_OBJECT);  // outside its bindery contexts
}

TEST_F(CallsBindery, PropertySegmentsAndWhatAStrangerSees) {
  const std::string note(200, 'n');
  Load(R"({"servers": [
      {"name": "SRV", "volumes": [{"name": "SYS", "path": "."}],
       "bindery": [{"name": "PAT", "type": "user", "fullName": "Pat Example", "properties": {"NOTE": ")" + note + R"("}},
                   {"name": "NONAME", "type": "user"}]},
      {"name": "OTHER", "volumes": [{"name": "SYS", "path": "."}], "bindery": [{"name": "KIM", "type": "user"}]}],
    "workstation": {"connections": [{"server": "SRV", "user": "PAT"}]}})");
  const NWCONN_HANDLE srv = ConnTo("SRV");
  auto read = NW(NWReadPropertyValue);
  nuint8 segment[130];
  std::memset(segment, 0xEE, sizeof segment);
  nuint8 more = 0, flags = 0;
  ASSERT_EQ(read(srv, "pat", OT_USER, "identification", 1, segment, &more, &flags), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(segment), "Pat Example");
  EXPECT_EQ(more, 0);
  EXPECT_EQ(segment[128], 0xEE);
  ASSERT_EQ(read(srv, "PAT", OT_USER, "NOTE", 1, segment, &more, &flags), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(segment), 128), note.substr(0, 128));
  EXPECT_EQ(more, 0xFF);
  ASSERT_EQ(read(srv, "PAT", OT_USER, "NOTE", 2, segment, &more, &flags), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(segment)), note.substr(128));
  EXPECT_EQ(more, 0);
  EXPECT_EQ(read(srv, "PAT", OT_USER, "NOTE", 3, segment, &more, &flags), 0x89EC);
  EXPECT_EQ(read(srv, "PAT", OT_USER, "NOTE", 0, segment, &more, &flags), 0x89EC);
  EXPECT_EQ(read(srv, "NONAME", OT_USER, "IDENTIFICATION", 1, segment, &more, &flags), NO_SUCH_PROPERTY);
  EXPECT_EQ(read(srv, "GHOST", OT_USER, "IDENTIFICATION", 1, segment, &more, &flags), NO_SUCH_OBJECT);
  EXPECT_EQ(read(srv, "PAT", OT_USER, "IDENT*", 1, segment, &more, &flags), 0x89F0);

  // A connection that is not logged in sees the servers, not the users.
  NWCONN_HANDLE other = 0;
  ASSERT_EQ(NW(NWGetConnectionHandle)("OTHER", 0, &other, nullptr), 0);
  nuint32 id = 0;
  EXPECT_EQ(NW(NWGetObjectID)(other, "KIM", OT_USER, &id), NO_SUCH_OBJECT);
  EXPECT_EQ(ScanNames(other, "*", OT_USER), Names{});
  EXPECT_EQ(ScanNames(other, "*", OT_FILE_SERVER), (Names{"SRV", "OTHER"}));
}
