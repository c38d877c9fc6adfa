// Names and identity through the exported entry points: canonical and
// typeless names, who-am-I, entry IDs both ways, directory servers and the
// preferred tree. Fixed name areas are never read or written past.
#include "ds_client.h"

using namespace dstest;
using nwctest::DemoNetworkTest;

namespace {

using DsNames = DemoNetworkTest;

struct Handles {
  NWCONN_HANDLE fs1 = 0, fs2 = 0, nw3 = 0;
};

Handles WorkstationHandles() {
  Handles h;
  auto lock = nwc::NetworkLock();
  nwc::Network* net = nwc::CurrentNetwork();
  for (const auto& c : net->workstation.connections) {
    if (c->server->name == "ACME-FS1") h.fs1 = c->handle;
    if (c->server->name == "ACME-FS2") h.fs2 = c->handle;
    if (c->server->name == "ACME-NW3") h.nw3 = c->handle;
  }
  return h;
}

std::string TreeName() {
  auto lock = nwc::NetworkLock();
  return nwc::CurrentNetwork()->tree->name;
}

std::string Canonical(NWDSContextHandle ctx, const char* name, NWDSCCODE expected = 0) {
  char out[MAX_DN_BYTES] = {};
  EXPECT_EQ(Ds().NWDSCanonicalizeName(ctx, name, out), expected) << name;
  return out;
}

std::string Stripped(NWDSContextHandle ctx, const char* name) {
  char out[MAX_DN_BYTES] = {};
  EXPECT_EQ(Ds().NWDSRemoveAllTypes(ctx, name, out), 0) << name;
  return out;
}

// A name area of exactly MAX_DN_BYTES without a terminator.
struct UnterminatedName {
  char area[MAX_DN_BYTES];
  UnterminatedName() { std::memset(area, 'A', sizeof area); }
};

}  // namespace

TEST_F(DsNames, CanonicalAndTypelessNames) {
  ASSERT_TRUE(Ds().ready) << dlerror();
  Context acme("O=ACME");
  EXPECT_EQ(Canonical(acme, "JSMITH.SALES"), "CN=JSMITH.OU=SALES.O=ACME");
  EXPECT_EQ(Canonical(acme, "cn=jsmith.ou=sales"), "CN=jsmith.OU=sales.O=ACME");
  EXPECT_EQ(Canonical(acme, ".US"), "C=US");
  EXPECT_EQ(Canonical(acme, "X.Y.Z."), "CN=X.OU=Y.O=Z");
  Canonical(acme, "X.Y.Z..", ERR_INVALID_DS_NAME);
  Canonical(acme, "A...", ERR_INVALID_DS_NAME);
  Context typeless("OU=SALES.O=ACME", DCV_DEFAULT_FLAGS | DCV_TYPELESS_NAMES);
  EXPECT_EQ(Canonical(typeless, "MJONES"), "MJONES.SALES.ACME");

  EXPECT_EQ(Stripped(acme, "CN=JSMITH.OU=SALES.O=ACME"), "JSMITH.SALES.ACME");
  EXPECT_EQ(Stripped(acme, ".CN=A.O=B"), ".A.B");
  EXPECT_EQ(Stripped(acme, "CN=A.."), "A..");
  EXPECT_EQ(Stripped(acme, "CN=A\\.B.O=C"), "A\\.B.C");
  EXPECT_EQ(Stripped(acme, "[Root]"), "[Root]");

  UnterminatedName tooLong;
  char out[MAX_DN_BYTES];
  EXPECT_EQ(Ds().NWDSCanonicalizeName(acme, tooLong.area, out), ERR_DN_TOO_LONG);
  EXPECT_EQ(Ds().NWDSRemoveAllTypes(acme, tooLong.area, out), ERR_DN_TOO_LONG);
  EXPECT_EQ(Ds().NWDSCanonicalizeName(0x7FFFFFF0, "A", out), ERR_BAD_CONTEXT);
}

TEST_F(DsNames, WhoAmIFollowsTheContext) {
  ASSERT_TRUE(Ds().ready);
  char name[MAX_DN_BYTES];
  Context root("[Root]");
  ASSERT_EQ(Ds().NWDSWhoAmI(root, name), 0);
  EXPECT_STREQ(name, "CN=ADMIN.O=ACME");
  Context acme("O=ACME");
  ASSERT_EQ(Ds().NWDSWhoAmI(acme, name), 0);
  EXPECT_STREQ(name, "CN=ADMIN");
  Context sales("OU=SALES.O=ACME", DCV_DEFAULT_FLAGS | DCV_TYPELESS_NAMES);
  ASSERT_EQ(Ds().NWDSWhoAmI(sales, name), 0);
  EXPECT_STREQ(name, "ADMIN.");

  {
    auto lock = nwc::NetworkLock();
    nwc::CurrentNetwork()->workstation.identity.reset();
  }
  EXPECT_EQ(Ds().NWDSWhoAmI(root, name), ERR_NOT_LOGGED_IN);
}

TEST_F(DsNames, EntryIDsBothWays) {
  ASSERT_TRUE(Ds().ready);
  const Handles h = WorkstationHandles();
  Context acme("O=ACME");
  nuint32 id = 0;
  ASSERT_EQ(Ds().NWDSMapNameToID(acme, h.fs1, "CN=JSMITH.OU=SALES", &id), 0);
  EXPECT_EQ(id, ModelEntry("CN=JSMITH.OU=SALES.O=ACME")->id);
  // The same entry through the other directory server and through an alias.
  nuint32 again = 0;
  ASSERT_EQ(Ds().NWDSMapNameToID(acme, h.fs2, "JOHN.ENGINEERING", &again), 0);
  EXPECT_EQ(again, id);

  char name[MAX_DN_BYTES];
  ASSERT_EQ(Ds().NWDSMapIDToName(acme, h.fs1, id, name), 0);
  EXPECT_STREQ(name, "CN=JSMITH.OU=SALES");
  Context root("[Root]", DCV_DEFAULT_FLAGS | DCV_TYPELESS_NAMES);
  ASSERT_EQ(Ds().NWDSMapIDToName(root, h.fs1, id, name), 0);
  EXPECT_STREQ(name, "JSMITH.SALES.ACME");

  EXPECT_EQ(Ds().NWDSMapNameToID(acme, h.fs1, "CN=NOBODY", &id), ERR_NO_SUCH_ENTRY);
  EXPECT_EQ(Ds().NWDSMapIDToName(acme, h.fs1, 0x12345678, name), ERR_NO_SUCH_ENTRY);
  // A bindery server has no directory; an unknown handle is no connection.
  EXPECT_EQ(Ds().NWDSMapNameToID(acme, h.nw3, "CN=ADMIN", &id), ERR_INVALID_REQUEST);
  EXPECT_EQ(Ds().NWDSMapNameToID(acme, 0, "CN=ADMIN", &id), ERR_INVALID_CONN_HANDLE);
  EXPECT_EQ(Ds().NWDSMapIDToName(acme, 0xDEAD, id, name), ERR_INVALID_CONN_HANDLE);
  UnterminatedName tooLong;
  EXPECT_EQ(Ds().NWDSMapNameToID(acme, h.fs1, tooLong.area, &id), ERR_DN_TOO_LONG);
}

TEST_F(DsNames, AuditObjectIDGivesTheServerHoldingTheObject) {
  ASSERT_TRUE(Ds().ready);
  const Handles h = WorkstationHandles();
  Context acme("O=ACME");
  NWCONN_HANDLE conn = 0;
  nuint32 id = 0;
  ASSERT_EQ(Ds().NWDSAuditGetObjectID(acme, "CN=LCHEN.OU=ENGINEERING", &conn, &id), 0);
  EXPECT_EQ(id, ModelEntry("CN=LCHEN.OU=ENGINEERING.O=ACME")->id);
  EXPECT_EQ(conn, h.fs1);  // the primary connection's server holds the tree
  EXPECT_EQ(Ds().NWDSAuditGetObjectID(acme, "CN=NOBODY", &conn, &id), ERR_NO_SUCH_ENTRY);

  // Without a connection to a replica server one is opened.
  ASSERT_TRUE(nwc::LoadNetworkFromString(R"({
    "tree": {"name": "T_TREE", "objects": [{"name": "O=T", "class": "Organization",
      "objects": [{"name": "CN=U1", "class": "User"}]}]},
    "servers": [{"name": "T-FS1", "tree": "T_TREE", "context": "O=T"}, {"name": "T-NW3", "version": "3.12"}],
    "workstation": {"nameContext": "O=T", "identity": "CN=U1.O=T",
                    "connections": [{"server": "T-NW3", "slot": 1}]}})", "."));
  Context t("O=T");
  conn = 0;
  ASSERT_EQ(Ds().NWDSAuditGetObjectID(t, "U1", &conn, &id), 0);
  auto lock = nwc::NetworkLock();
  const nwc::Connection* opened = nwc::CurrentNetwork()->workstation.FindConnection(conn);
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(opened->server->name, "T-FS1");
  EXPECT_EQ(nwc::CurrentNetwork()->workstation.connections.size(), 2u);
}

TEST_F(DsNames, DirectoryServersAndTheirTree) {
  ASSERT_TRUE(Ds().ready);
  const Handles h = WorkstationHandles();
  std::string padded = TreeName();
  padded.resize(NW_MAX_TREE_NAME_LEN - 1, '_');
  char tree[NW_MAX_TREE_NAME_LEN + 8];
  std::memset(tree, '#', sizeof tree);
  EXPECT_NE(Ds().NWIsDSServer(h.fs2, tree), 0);
  EXPECT_EQ(std::string(tree, NW_MAX_TREE_NAME_LEN - 1), padded);
  EXPECT_EQ(tree[NW_MAX_TREE_NAME_LEN - 1], '\0');
  for (size_t i = NW_MAX_TREE_NAME_LEN; i < sizeof tree; ++i) EXPECT_EQ(tree[i], '#') << "written past the tree name";

  EXPECT_EQ(Ds().NWIsDSServer(h.nw3, tree), 0);
  EXPECT_EQ(Ds().NWIsDSServer(0, tree), 0);

  NWCONN_HANDLE preferred = 0;
  ASSERT_EQ(Ds().NWGetPreferredDSServer(&preferred), 0);
  EXPECT_EQ(preferred, h.fs1);
}

TEST_F(DsNames, PreferredTreeTakesExactlyTheGivenLength) {
  ASSERT_TRUE(Ds().ready);
  const char text[] = "OTHER_TREEXYZ";
  ASSERT_EQ(Ds().NWSetPreferredDSTree(10, text), 0);
  {
    auto lock = nwc::NetworkLock();
    EXPECT_EQ(nwc::CurrentNetwork()->workstation.preferredTree, "OTHER_TREE");
  }
  // No server of the workstation holds that tree.
  NWCONN_HANDLE conn = 0;
  EXPECT_EQ(Ds().NWGetPreferredDSServer(&conn), ERR_NO_CONNECTION);

  EXPECT_EQ(Ds().NWSetPreferredDSTree(0, text), INVALID_PARAMETER);
  char tooLong[40];
  std::memset(tooLong, 'T', sizeof tooLong);
  EXPECT_EQ(Ds().NWSetPreferredDSTree(sizeof tooLong, tooLong), INVALID_PARAMETER);
  const std::string tree = TreeName();
  ASSERT_EQ(Ds().NWSetPreferredDSTree(static_cast<nuint16>(tree.size()), tree.c_str()), 0);
  EXPECT_EQ(Ds().NWGetPreferredDSServer(&conn), 0);
}

TEST_F(DsNames, NamesLongerThanTheAreaAreRefusedNotCut) {
  ASSERT_TRUE(Ds().ready);
  // A user whose full name takes all 255 characters, and a context on
  // another branch: relative to it the name needs more than the area.
  const std::string v1(64, 'A'), v2(64, 'B'), v3(64, 'C'), v4(44, 'D');
  const std::string json = R"({"tree": {"name": "T_TREE", "objects": [{"name": "O=T", "class": "Organization",
    "objects": [
      {"name": "OU=)" + v4 + R"(", "class": "Organizational Unit", "objects": [
        {"name": "OU=)" + v3 + R"(", "class": "Organizational Unit", "objects": [
          {"name": "OU=)" + v2 + R"(", "class": "Organizational Unit", "objects": [
            {"name": "CN=)" + v1 + R"(", "class": "User"}]}]}]},
      {"name": "OU=N", "class": "Organizational Unit", "objects": [
        {"name": "OU=P", "class": "Organizational Unit", "objects": [
          {"name": "OU=Q", "class": "Organizational Unit", "objects": [
            {"name": "OU=R", "class": "Organizational Unit", "objects": [
              {"name": "OU=S", "class": "Organizational Unit"}]}]}]}]}]}]},
    "servers": [{"name": "T-FS1", "tree": "T_TREE", "context": "O=T"}],
    "workstation": {"identity": "CN=)" + v1 + ".OU=" + v2 + ".OU=" + v3 + ".OU=" + v4 + R"(.O=T",
                    "connections": [{"server": "T-FS1", "slot": 1}]}})";
  ASSERT_TRUE(nwc::LoadNetworkFromString(json, "."));
  char name[MAX_DN_BYTES + 16];
  std::memset(name, '#', sizeof name);
  Context root("[Root]");
  ASSERT_EQ(Ds().NWDSWhoAmI(root, name), 0);
  EXPECT_EQ(std::strlen(name), 255u);

  Context far("OU=S.OU=R.OU=Q.OU=P.OU=N.O=T");
  std::memset(name, '#', sizeof name);
  EXPECT_EQ(Ds().NWDSWhoAmI(far, name), ERR_DN_TOO_LONG);
  for (size_t i = 0; i < sizeof name; ++i) EXPECT_EQ(name[i], '#') << "nothing is written for a refused name";
}
