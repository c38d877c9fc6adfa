// The directory unit over the real stand-in client on the demo network: every
// call goes through the libraries loaded by name, nothing is replaced.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "directory.h"
#include "fakeclient.h"
#include "netware/nwnds.h"
#include "netware/tessel.h"
#include "network.h"

namespace {

// The real client (a FakeClient without replacements only makes every slot
// be looked up afresh), the directory and connection services started as the
// base component starts them.
class RealDirectory : public ::testing::Test {
 protected:
  RealDirectory() : savedDirLibrary_(DirLibrary), savedLocaleLibrary_(LocaleLibrary) {}
  ~RealDirectory() override {
    DirLibrary = savedDirLibrary_;
    LocaleLibrary = savedLocaleLibrary_;
  }
  void SetUp() override {
    unsetenv("NWCLIENT_NETWORK");
    nwc::ResetNetwork();
    Start();
  }
  void TearDown() override {
    Stop();
    nwc::ResetNetwork();
  }
  void Start() {
    DSLastError = 0;
    tessel = std::make_unique<TTessel>();
    nds = std::make_unique<TNWNDS>();
    ASSERT_TRUE(InitDirectoryClient());
  }
  void Stop() {
    if (nds) DoneDirectoryClient();
    nds.reset();
    tessel.reset();
    PrimaryConn = 0;
  }
  // Replaces the network and starts the services again over it.
  void UseNetwork(const std::string& json) {
    Stop();
    ASSERT_TRUE(nwc::LoadNetworkFromString(json, "."));
    Start();
  }

  static const nwc::DirEntry* Entry(const std::string& typedName) {
    auto lock = nwc::NetworkLock();
    nwc::DName name;
    if (nwc::CanonicalizeName(typedName, nwc::DName{}, {}, &name) != 0) return nullptr;
    return nwc::CurrentNetwork()->tree->Find(name);
  }
  static NWCONN_HANDLE ConnectionTo(const std::string& server) {
    auto lock = nwc::NetworkLock();
    nwc::Network* net = nwc::CurrentNetwork();
    const nwc::Connection* c = net->workstation.FindConnectionTo(*net->FindServer(server));
    return c ? c->handle : 0;
  }
  static void LogInAs(const std::string& typedName) {
    auto lock = nwc::NetworkLock();
    nwc::DName name;
    ASSERT_EQ(nwc::CanonicalizeName(typedName, nwc::DName{}, {}, &name), 0);
    nwc::CurrentNetwork()->workstation.identity = name;
  }
  static int Verify(const std::string& typedName, const std::string& password) {
    auto lock = nwc::NetworkLock();
    return nwc::CurrentDirectoryStore()->VerifyPassword(Entry(typedName)->id, password);
  }

  FakeClient client;
  std::unique_ptr<TTessel> tessel;
  std::unique_ptr<TNWNDS> nds;

 private:
  nwlib::LibHandle savedDirLibrary_;
  nwlib::LibHandle savedLocaleLibrary_;
};

// What the model holds below a container: the leaf's typed part and its kind.
TNWObjList ModelSubordinates(const nwc::DirEntry& container) {
  TNWObjList out;
  for (const auto& child : container.Children()) {
    out.push_back({child->rdn.type + "=" + nwc::EscapeValue(child->rdn.value), ObjectKindOfClass(child->baseClass)});
  }
  return out;
}

std::vector<std::string> BlockTexts(const TNWValueList& values) {
  std::vector<std::string> out;
  for (const TNWValueBlock& b : values) out.push_back(nwlib::TextOfArea(b.Text(), b.size));
  return out;
}

}  // namespace

TEST_F(RealDirectory, SubordinatesOfTheRootAndOfEveryContainerWithTheirKinds) {
  const TNWObjList top = ListSubordinates("[Root]", "");
  EXPECT_EQ(top, (TNWObjList{{"C=US", dokCountry}, {"O=ACME", dokOrganization}}));
  EXPECT_EQ(DSLastError, 0);

  // Every container of the tree, named in full from the root context.
  std::vector<const nwc::DirEntry*> containers;
  {
    auto lock = nwc::NetworkLock();
    std::vector<const nwc::DirEntry*> todo{nwc::CurrentNetwork()->tree->root.get()};
    while (!todo.empty()) {
      const nwc::DirEntry* e = todo.back();
      todo.pop_back();
      if (!e->IsRoot() && e->IsContainer()) containers.push_back(e);
      for (const auto& c : e->Children()) todo.push_back(c.get());
    }
  }
  ASSERT_GE(containers.size(), 7u);
  for (const nwc::DirEntry* c : containers) {
    EXPECT_EQ(ListSubordinates("", c->Canonical()), ModelSubordinates(*c)) << c->Canonical();
  }
  // The tree's own names relative to a context, and a leaf.
  const TNWObjList sales = ListSubordinates("O=ACME", "OU=SALES");
  EXPECT_EQ(sales, ModelSubordinates(*Entry("OU=SALES.O=ACME")));
  EXPECT_NE(std::find(sales.begin(), sales.end(), TNWObjItem{"CN=Q-SALES", dokQueue}), sales.end());
  EXPECT_TRUE(ListSubordinates("", "CN=ADMIN").empty());
  EXPECT_TRUE(ListSubordinates("", "OU=NOWHERE").empty());
  EXPECT_EQ(DSLastError, ERR_NO_SUCH_ENTRY);
}

TEST_F(RealDirectory, LargeContainerComesWholeAndInOrder) {
  const nwc::DirEntry* staff = Entry("OU=STAFF.O=ACME");
  ASSERT_NE(staff, nullptr);
  const TNWObjList expected = ModelSubordinates(*staff);
  ASSERT_GE(expected.size(), 100u);
  const TNWObjList listed = ListSubordinates("O=ACME", "STAFF");
  EXPECT_EQ(listed, expected);
  EXPECT_EQ(DSLastResult, 0);
}

TEST_F(RealDirectory, TreeNamesOnePerTree) {
  const TNWObjList trees = ListTreeNames();
  ASSERT_EQ(trees.size(), 1u);
  auto lock = nwc::NetworkLock();
  EXPECT_EQ(trees[0].text, nwc::CurrentNetwork()->tree->name);
}

TEST_F(RealDirectory, UserDataAsTheViewerShowsIt) {
  const std::string jsmith = "CN=JSMITH.OU=SALES.O=ACME";
  std::string text;
  ASSERT_TRUE(ReadAttrString("", jsmith, dsaFullName, text));
  EXPECT_EQ(text, "John Smith");
  EXPECT_EQ(ReadObjectKind("", jsmith), dokUser);
  EXPECT_EQ(ReadObjectKind("", "CN=EVERYONE.O=ACME"), dokGroup);

  TNWValueList phones;
  ASSERT_TRUE(ReadAttrValues("", jsmith, dsaTelephoneNumber, phones));
  EXPECT_EQ(BlockTexts(phones), (std::vector<std::string>{"(312) 555-0201", "(312) 555-0202", "(312) 555-0299"}));

  TNWValueList mail;
  ASSERT_TRUE(ReadAttrValues("", jsmith, dsaEmailAddress, mail));
  std::vector<std::string> addresses;
  for (const TNWValueBlock& b : mail) {
    EMail_Address_T record;
    ASSERT_GE(b.size, sizeof record);
    std::memcpy(&record, b.data.get(), sizeof record);
    const auto* at = reinterpret_cast<const uint8_t*>(record.address);
    ASSERT_TRUE(at >= b.data.get() && at < b.data.get() + b.size);
    addresses.push_back(record.address);
  }
  EXPECT_EQ(addresses, (std::vector<std::string>{"jsmith@acme.com", "john.smith@acme.com"}));

  TNWDSPathInfo home;
  ASSERT_TRUE(ReadAttrPath("", jsmith, dsaHomeDirectory, home));
  EXPECT_EQ(home.NameSpaceType, 0);
  EXPECT_EQ(home.VolumeName, "CN=ACME-FS1_DATA.O=ACME");
  EXPECT_EQ(home.Path, "HOME\\JSMITH");

  std::unique_ptr<THandleStream> script;
  ASSERT_TRUE(OpenAttrStream("", jsmith, dsaLoginScript, script));
  EXPECT_EQ(script->ReadAll(), "MAP G:=ACME-FS1_DATA:SHARED\r\nWRITE \"Sales figures are in G:\"\r\n");
  ::close(script->Handle());

  // Users of the container with and without a full name.
  EXPECT_TRUE(ReadAttrString("O=ACME", "MJONES.SALES", dsaFullName, text));
  EXPECT_EQ(text, "Mary Jones");
  std::string untouched = "kept";
  EXPECT_FALSE(ReadAttrString("", "CN=TEMP.OU=SALES", dsaFullName, untouched));  // relative to O=ACME now
  EXPECT_EQ(untouched, "kept");
  EXPECT_EQ(DSLastError, ERR_NO_SUCH_ATTRIBUTE);
}

TEST_F(RealDirectory, GroupMembersSorted) {
  const TNWObjList members = ListGroupMembers("", "CN=SALES-TEAM.OU=SALES.O=ACME");
  EXPECT_EQ(members, (TNWObjList{{"CN=BWILSON.OU=SALES.O=ACME", dokUser},
                                 {"CN=JSMITH.OU=SALES.O=ACME", dokUser},
                                 {"CN=MJONES.OU=SALES.O=ACME", dokUser}}));
  // Relative to the group's own container, typeless.
  ASSERT_TRUE(SetContextName("OU=SALES.O=ACME"));
  ASSERT_TRUE(AddContextFlags(DCV_TYPELESS_NAMES));
  const TNWObjList everyone = ListGroupMembers("", "EVERYONE.");
  ASSERT_EQ(everyone.size(), 6u);
  EXPECT_EQ(everyone.front().text, "ADMIN.");
  EXPECT_TRUE(std::is_sorted(everyone.begin(), everyone.end(),
                             [](const TNWObjItem& a, const TNWObjItem& b) { return strcasecmp(a.text.c_str(), b.text.c_str()) < 0; }));
}

TEST_F(RealDirectory, IdentityNamesAndObjectIDs) {
  EXPECT_EQ(DSWhoAmI(), "CN=ADMIN.O=ACME");
  ASSERT_TRUE(SetContextName("O=ACME"));
  ASSERT_TRUE(AddContextFlags(DCV_TYPELESS_NAMES));
  EXPECT_EQ(DSWhoAmI(), "ADMIN");
  EXPECT_EQ(DSCanonicalName(DSWhoAmI()), "CN=ADMIN.O=ACME");
  EXPECT_EQ(GetContextFlags() & DCV_TYPELESS_NAMES, static_cast<uint32_t>(DCV_TYPELESS_NAMES));
  std::string stripped;
  RemoveNameTypes("CN=JSMITH.OU=SALES.O=ACME", stripped);
  EXPECT_EQ(stripped, "JSMITH.SALES.ACME");

  const NWCONN_HANDLE fs1 = ConnectionTo("ACME-FS1");
  const nwc::DirEntry* lchen = Entry("CN=LCHEN.OU=ENGINEERING.O=ACME");
  char hex[16];
  std::snprintf(hex, sizeof hex, "%X", nwc::DisplayId(lchen->id));
  EXPECT_EQ(DSObjectIDText(fs1, "LCHEN.ENGINEERING"), hex);
  EXPECT_EQ(DSObjectIDText(0, "LCHEN.ENGINEERING"), hex);  // over the primary connection
  EXPECT_EQ(DSObjectIDText(fs1, "NOBODY"), "");
  EXPECT_EQ(DSLastError, ERR_NO_SUCH_ENTRY);

  NWCONN_HANDLE holder = 0;
  EXPECT_EQ(DSObjectIDByName(holder, "LCHEN.ENGINEERING"), lchen->id);
  EXPECT_EQ(holder, fs1);
  EXPECT_EQ(DSObjectNameByID(fs1, lchen->id), "LCHEN.ENGINEERING");
  EXPECT_EQ(DSObjectNameByID(0, lchen->id), "LCHEN.ENGINEERING");
  EXPECT_EQ(DSObjectNameByID(fs1, 0x0BADF00D), "");

  EXPECT_TRUE(IsDirectoryServer(fs1));
  EXPECT_FALSE(IsDirectoryServer(ConnectionTo("ACME-NW3")));
  EXPECT_EQ(DSLastError, -1);
  {
    auto lock = nwc::NetworkLock();
    EXPECT_EQ(ServerTreeName(fs1), nwc::CurrentNetwork()->tree->name);
  }
  EXPECT_EQ(PreferredDSServer(), fs1);
  EXPECT_TRUE(SetPreferredTree("OTHER_TREE"));
  EXPECT_EQ(PreferredDSServer(), 0u);
  EXPECT_EQ(DSLastError, ERR_NO_CONNECTION);
}

TEST_F(RealDirectory, PasswordsByRights) {
  // The administrator sets a password without the old one; the viewer sends
  // it upper-cased and the store takes it.
  ASSERT_TRUE(ChangePassword("", "CN=MJONES.OU=SALES.O=ACME", "secret9", ""));
  EXPECT_EQ(Verify("CN=MJONES.OU=SALES.O=ACME", "SECRET9"), 0);
  ASSERT_TRUE(ChangePassword("O=ACME", "JSMITH.SALES", "next", "sales1"));
  EXPECT_EQ(Verify("CN=JSMITH.OU=SALES.O=ACME", "NEXT"), 0);
  EXPECT_FALSE(ChangePassword("", "JSMITH.SALES", "again", "wrong"));
  EXPECT_EQ(DSLastError, ERR_FAILED_AUTHENTICATION);

  // A user without rights over another object is refused with the client's code.
  LogInAs("CN=MJONES.OU=SALES.O=ACME");
  EXPECT_FALSE(ChangePassword("", ".CN=ADMIN.O=ACME", "owned", ""));
  EXPECT_EQ(DSLastError, ERR_NO_ACCESS);
  EXPECT_EQ(Verify("CN=ADMIN.O=ACME", "OWNED"), ERR_FAILED_AUTHENTICATION);
  // Passwords longer than their area never reach the client.
  DSLastError = 0;
  EXPECT_FALSE(ChangePassword("", ".CN=MJONES.OU=SALES.O=ACME", std::string(200, 'X'), ""));
  EXPECT_EQ(DSLastError, 0);
}

TEST_F(RealDirectory, AuthenticationToTheServerHoldingAVolume) {
  const NWCONN_HANDLE conn = ResolveAndAuthenticate("", "CN=ACME-FS2_SYS.O=ACME");
  ASSERT_NE(conn, 0u);
  {
    auto lock = nwc::NetworkLock();
    const nwc::Connection* c = nwc::CurrentNetwork()->workstation.FindConnection(conn);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->authenticated);
    EXPECT_EQ(c->server->name, "ACME-FS2");  // the volume's own server
  }
  EXPECT_EQ(ResolveAndAuthenticate("", "CN=ACME-FS1_DATA.O=ACME"), ConnectionTo("ACME-FS1"));
  EXPECT_EQ(ResolveAndAuthenticate("", "CN=NOWHERE_SYS.O=ACME"), 0u);
  EXPECT_EQ(DSLastError, ERR_NO_SUCH_ENTRY);

  // Without a directory login the client refuses.
  {
    auto lock = nwc::NetworkLock();
    nwc::CurrentNetwork()->workstation.identity.reset();
  }
  EXPECT_EQ(ResolveAndAuthenticate("", "CN=ACME-FS2_SYS.O=ACME"), 0u);
  EXPECT_EQ(DSLastError, ERR_NOT_LOGGED_IN);
  EXPECT_EQ(DSWhoAmI(), "");
}

TEST_F(RealDirectory, NamesAndValuesLongerThanTheirAreasAreRefused) {
  const std::string v1(64, 'A'), v2(64, 'B'), v3(64, 'C'), v4(44, 'D');
  const std::string identity = "CN=" + v1 + ".OU=" + v2 + ".OU=" + v3 + ".OU=" + v4 + ".O=T";
  ASSERT_EQ(identity.size(), 255u);
  UseNetwork(R"({"tree": {"name": "T_TREE", "objects": [{"name": "O=T", "class": "Organization", "objects": [
      {"name": "OU=)" + v4 + R"(", "class": "Organizational Unit", "objects": [
        {"name": "OU=)" + v3 + R"(", "class": "Organizational Unit", "objects": [
          {"name": "OU=)" + v2 + R"(", "class": "Organizational Unit", "objects": [
            {"name": "CN=)" + v1 + R"(", "class": "User", "attributes": {
               "Full Name": ")" + std::string(127, 'F') + R"(",
               "Description": ")" + std::string(200, 'L') + R"(",
               "Login Disabled": true, "Login Grace Limit": 6}}]}]}]}]}]},
    "servers": [{"name": "T-FS1", "tree": "T_TREE", "context": "O=T"}],
    "workstation": {"identity": ")" + identity + R"(",
                    "connections": [{"server": "T-FS1", "slot": 1, "user": ")" + identity + R"("}]}})");
  // The longest name fits the 256-byte areas whole.
  EXPECT_EQ(DSWhoAmI(), identity);
  EXPECT_EQ(DSCanonicalName(identity), identity);
  std::string text;
  ASSERT_TRUE(ReadAttrString("", identity, dsaFullName, text));
  EXPECT_EQ(text, std::string(127, 'F'));
  // A value larger than the 128-byte text area is not taken.
  text = "kept";
  EXPECT_FALSE(ReadAttrString("", identity, dsaDescription, text));
  EXPECT_EQ(text, "kept");
  bool disabled = false;
  ASSERT_TRUE(ReadAttrBoolean("", identity, dsaLoginDisabled, disabled));
  EXPECT_TRUE(disabled);
  int32_t grace = 0;
  ASSERT_TRUE(ReadAttrValue("", identity, dsaLoginGraceLimit, grace));
  EXPECT_EQ(grace, 6);
  // A name over 255 characters never reaches the client.
  DSLastError = 0;
  EXPECT_EQ(DSObjectIDText(0, "CN=X." + identity), "");
  EXPECT_TRUE(ListSubordinates("", std::string(300, 'N')).empty());
  EXPECT_EQ(DSLastError, 0);
  // One character too many for the client: its own code.
  EXPECT_EQ(DSCanonicalName("CN=X." + identity.substr(5)), "");
  EXPECT_EQ(DSLastError, ERR_DN_TOO_LONG);
}
