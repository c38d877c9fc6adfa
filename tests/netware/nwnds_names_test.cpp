// Names and identity, password change and authentication of the directory unit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "nwnds_fakeds.h"

using fakeds::S;

namespace {

// What the replaced entry points of one test saw.
struct Seen {
  int calls = 0;
  NWDSContextHandle context = 0;
  NWCONN_HANDLE conn = 0;
  nuint32 flags = 0, option = 99;
  std::string name, oldPassword, newPassword;
  const void *key = &key;
};
Seen seen;

class NamesTest : public DirectoryTest {
 protected:
  void SetUp() override {
    DirectoryTest::SetUp();
    seen = Seen{};
  }
};

// ---- DSCanonicalName ----------------------------------------------------------------

NWDSCCODE Canonicalize(NWDSContextHandle context, const char *name, char *canonical) {
  ++seen.calls;
  seen.flags = S.contexts.at(context).flags;
  if (std::strcmp(name, "nobody") == 0) return ERR_NO_SUCH_ENTRY;
  std::strcpy(canonical, ("CN=" + std::string(name) + ".O=Acme").c_str());
  return 0;
}

TEST_F(NamesTest, CanonicalNameUsesFixedFlagsAndRestoresThem) {
  REPLACE_ENTRY(client, NWDSCanonicalizeName, &Canonicalize);
  Construct();
  S.contexts.at(DSContext).flags = DCV_DEFAULT_FLAGS | DCV_TYPELESS_NAMES | DCV_DISALLOW_REFERRALS;
  const nuint32 before = S.contexts.at(DSContext).flags;
  EXPECT_EQ(DSCanonicalName("admin"), "CN=admin.O=Acme");
  EXPECT_EQ(seen.flags, 19u);
  EXPECT_EQ(S.contexts.at(DSContext).flags, before);

  EXPECT_EQ(DSCanonicalName("nobody"), "");
  EXPECT_EQ(DSLastError, ERR_NO_SUCH_ENTRY);
  EXPECT_EQ(S.contexts.at(DSContext).flags, before);

  // Without the saved flags nothing is changed or asked.
  S.getContextCode = ERR_BAD_CONTEXT;
  const int calls = seen.calls;
  EXPECT_EQ(DSCanonicalName("admin"), "");
  EXPECT_EQ(seen.calls, calls);
  EXPECT_EQ(DSLastError, ERR_BAD_CONTEXT);
  S.getContextCode = 0;
  EXPECT_EQ(S.contexts.at(DSContext).flags, before);

  // A name that does not fit its area is refused, not cut.
  EXPECT_EQ(DSCanonicalName(std::string(256, 'a')), "");
  EXPECT_EQ(seen.calls, calls);
  EXPECT_EQ(DSCanonicalName(std::string(200, 'a')).size(), 200u + 10u);
}

// ---- object IDs ------------------------------------------------------------------------

NWDSCCODE MapNameToID(NWDSContextHandle, NWCONN_HANDLE conn, const char *name, nuint32 *id) {
  ++seen.calls;
  seen.conn = conn;
  if (std::strcmp(name, "nobody") == 0) return ERR_NO_SUCH_ENTRY;
  *id = static_cast<nuint32>(std::stoul(name, nullptr, 16));  // the name is the ID as the client orders it
  return 0;
}

TEST_F(NamesTest, ObjectIDTextIsSwappedHexWithoutLeadingZeros) {
  REPLACE_ENTRY(client, NWDSMapNameToID, &MapNameToID);
  Construct();
  EXPECT_EQ(DSObjectIDText(0, "0"), "0");
  EXPECT_EQ(seen.conn, kPrimary);
  EXPECT_EQ(DSObjectIDText(0x77, "B3A20100"), "1A2B3");
  EXPECT_EQ(seen.conn, 0x77u);
  EXPECT_EQ(DSObjectIDText(0, "4D3C2B1A"), "1A2B3C4D");
  EXPECT_EQ(DSObjectIDText(0, "00000010"), "10000000");

  DSLastError = 0;
  EXPECT_EQ(DSObjectIDText(0, "nobody"), "");
  EXPECT_EQ(DSLastError, ERR_NO_SUCH_ENTRY);
  const int calls = seen.calls;
  EXPECT_EQ(DSObjectIDText(0, std::string(256, '1')), "");
  EXPECT_EQ(seen.calls, calls);
  EXPECT_EQ(client.Lookups("NWDSMapNameToID"), 1);
}

NWDSCCODE AuditGetObjectID(NWDSContextHandle, const char *name, NWCONN_HANDLE *conn, nuint32 *id) {
  if (std::strcmp(name, "nobody") == 0) return ERR_NO_SUCH_ENTRY;
  *conn = 0x99;
  *id = 0x01020304;
  return 0;
}

NWDSCCODE MapIDToName(NWDSContextHandle, NWCONN_HANDLE conn, nuint32 id, char *name) {
  seen.conn = conn;
  if (id == 0) return ERR_NO_SUCH_ENTRY;
  // A name longer than a context name still arrives whole.
  std::strcpy(name, std::string(200, 'n').c_str());
  return 0;
}

TEST_F(NamesTest, ObjectIDByNameAndNameByID) {
  REPLACE_ENTRY(client, NWDSAuditGetObjectID, &AuditGetObjectID);
  REPLACE_ENTRY(client, NWDSMapIDToName, &MapIDToName);
  Construct();
  NWCONN_HANDLE conn = 5;
  EXPECT_EQ(DSObjectIDByName(conn, "admin"), 0x01020304u);  // not swapped
  EXPECT_EQ(conn, 0x99u);
  EXPECT_EQ(DSObjectIDByName(conn, "nobody"), 0u);
  EXPECT_EQ(conn, 0u);
  EXPECT_EQ(DSLastError, ERR_NO_SUCH_ENTRY);

  EXPECT_EQ(DSObjectNameByID(0, 7), std::string(200, 'n'));
  EXPECT_EQ(seen.conn, kPrimary);
  DSLastError = 0;
  EXPECT_EQ(DSObjectNameByID(0x31, 0), "");
  EXPECT_EQ(seen.conn, 0x31u);
  EXPECT_EQ(DSLastError, ERR_NO_SUCH_ENTRY);
}

TEST_F(NamesTest, MissingEntriesGiveFailureValuesAndAreLookedUpAgain) {
  for (const char *entry : {"NWDSCanonicalizeName", "NWDSWhoAmI", "NWDSMapNameToID", "NWDSAuditGetObjectID",
                            "NWDSMapIDToName", "NWIsDSServer", "NWSetPreferredDSTree", "NWGetPreferredDSServer"}) {
    client.Without(entry);
  }
  Construct();
  DSLastError = 0;
  NWCONN_HANDLE conn = 5;
  for (int round = 1; round <= 2; ++round) {
    EXPECT_EQ(DSCanonicalName("a"), "");
    EXPECT_EQ(DSWhoAmI(), "");
    EXPECT_EQ(DSObjectIDText(0, "a"), "");
    EXPECT_EQ(DSObjectIDByName(conn, "a"), 0u);
    EXPECT_EQ(conn, 0u);
    EXPECT_EQ(DSObjectNameByID(0, 1), "");
    EXPECT_FALSE(IsDirectoryServer(0));
    EXPECT_EQ(ServerTreeName(0), "");
    EXPECT_EQ(PreferredDSServer(), 0u);
    EXPECT_FALSE(SetPreferredTree("T"));
    EXPECT_EQ(client.Lookups("NWDSWhoAmI"), round);
    EXPECT_EQ(client.Lookups("NWIsDSServer"), 2 * round);
  }
  EXPECT_EQ(DSLastError, 0);
}

// ---- who am I --------------------------------------------------------------------------

NWDSCCODE WhoAmI(NWDSContextHandle, char *name) {
  if (++seen.calls == 2) return ERR_NOT_LOGGED_IN;
  std::strcpy(name, ("CN=" + std::string(180, 'w')).c_str());
  return 0;
}

TEST_F(NamesTest, WhoAmIRecordsNothing) {
  REPLACE_ENTRY(client, NWDSWhoAmI, &WhoAmI);
  Construct();
  DSLastError = 0;
  DSLastResult = 3;
  EXPECT_EQ(DSWhoAmI(), "CN=" + std::string(180, 'w'));
  EXPECT_EQ(DSWhoAmI(), "");
  EXPECT_EQ(DSLastError, 0);
  EXPECT_EQ(DSLastResult, 3);
  EXPECT_EQ(client.Lookups("NWDSWhoAmI"), 1);
}

// ---- directory servers and trees -------------------------------------------------------

nuint16 IsDSServer(NWCONN_HANDLE conn, char *tree) {
  seen.conn = conn;
  switch (conn) {
    case 1: return 0;  // a bindery server
    case 2: return 1;  // no tree name
    case 3: std::strcpy(tree, "ACMETREE________________________"); return 1;
    default: std::memset(tree, 'T', 256); return 1;  // fills the area, no terminator
  }
}

TEST_F(NamesTest, DirectoryServersAndTheirTrees) {
  REPLACE_ENTRY(client, NWIsDSServer, &IsDSServer);
  Construct();
  DSLastError = ERR_NO_SUCH_ENTRY;
  EXPECT_TRUE(IsDirectoryServer(0));
  EXPECT_EQ(seen.conn, kPrimary);
  EXPECT_TRUE(IsDirectoryServer(3));
  EXPECT_FALSE(IsDirectoryServer(2));
  EXPECT_EQ(DSLastResult, 1);
  EXPECT_EQ(DSLastError, ERR_NO_SUCH_ENTRY);
  EXPECT_FALSE(IsDirectoryServer(1));
  EXPECT_EQ(DSLastResult, 0);
  EXPECT_EQ(DSLastError, -1);

  EXPECT_EQ(ServerTreeName(3), "ACMETREE");
  EXPECT_EQ(ServerTreeName(2), "");
  EXPECT_EQ(ServerTreeName(0), std::string(255, 'T'));  // read within the area
  EXPECT_EQ(seen.conn, kPrimary);
  EXPECT_EQ(DSLastError, -1);
  EXPECT_EQ(ServerTreeName(1), "");
  EXPECT_EQ(DSLastError, 0);
  EXPECT_EQ(client.Lookups("NWIsDSServer"), 1);
}

NWDSCCODE PreferredServer(NWCONN_HANDLE *conn) {
  if (++seen.calls == 2) return ERR_NO_SERVER_FOUND;
  *conn = 0x4242;
  return 0;
}

NWDSCCODE SetPreferredDSTree(nuint16 length, const char *tree) {
  seen.option = length;
  seen.name = tree;
  return length > 32 ? ERR_INVALID_DS_NAME : 0;
}

TEST_F(NamesTest, PreferredServerAndTree) {
  REPLACE_ENTRY(client, NWGetPreferredDSServer, &PreferredServer);
  REPLACE_ENTRY(client, NWSetPreferredDSTree, &SetPreferredDSTree);
  Construct();
  EXPECT_EQ(PreferredDSServer(), 0x4242u);
  EXPECT_EQ(PreferredDSServer(), 0u);
  EXPECT_EQ(DSLastError, ERR_NO_SERVER_FOUND);
  EXPECT_EQ(client.Lookups("NWGetPreferredDSServer"), 2);

  EXPECT_TRUE(SetPreferredTree("acme tree"));
  EXPECT_EQ(seen.name, "acme tree");
  EXPECT_EQ(seen.option, 9u);
  EXPECT_FALSE(SetPreferredTree(std::string(40, 't')));
  EXPECT_EQ(DSLastError, ERR_INVALID_DS_NAME);
}

// ---- password change -------------------------------------------------------------------

NWDSCCODE KeyPair(NWDSContextHandle context, const char *name, const char *password, nflag32 option) {
  ++seen.calls;
  seen.context = context;
  seen.name = name;
  seen.newPassword = password;
  seen.option = option;
  return std::strcmp(name, "locked") == 0 ? ERR_NO_ACCESS : 0;
}

NWDSCCODE ChangeObjectPassword(NWDSContextHandle context, nflag32 option, const char *name, const char *oldPassword,
                               const char *newPassword) {
  seen.calls += 100;
  seen.context = context;
  seen.option = option;
  seen.name = name;
  seen.oldPassword = oldPassword;
  seen.newPassword = newPassword;
  return std::strcmp(oldPassword, "WRONG") == 0 ? ERR_FAILED_AUTHENTICATION : 0;
}

TEST_F(NamesTest, ChangePasswordBranchesOnTheOldPassword) {
  REPLACE_ENTRY(client, NWDSGenerateObjectKeyPair, &KeyPair);
  REPLACE_ENTRY(client, NWDSChangeObjectPassword, &ChangeObjectPassword);
  Construct();
  EXPECT_TRUE(ChangePassword("", "CN=bob", "new-pw1 ä", ""));
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.name, "CN=bob");
  EXPECT_EQ(seen.newPassword, "NEW-PW1 ä");
  EXPECT_EQ(seen.option, 0u);
  EXPECT_NE(seen.context, DSContext);  // a working context, released afterwards
  ExpectNothingHeld();

  seen = Seen{};
  EXPECT_TRUE(ChangePassword("", "CN=bob", "zz9", "old"));
  EXPECT_EQ(seen.calls, 100);
  EXPECT_EQ(seen.option, 0u);
  EXPECT_EQ(seen.oldPassword, "OLD");
  EXPECT_EQ(seen.newPassword, "ZZ9");

  EXPECT_FALSE(ChangePassword("", "CN=bob", "x", "wrong"));
  EXPECT_EQ(DSLastError, ERR_FAILED_AUTHENTICATION);
  EXPECT_FALSE(ChangePassword("", "locked", "x", ""));
  EXPECT_EQ(DSLastError, ERR_NO_ACCESS);
  ExpectNothingHeld();
}

TEST_F(NamesTest, ChangePasswordRefusesWhatDoesNotFit) {
  REPLACE_ENTRY(client, NWDSGenerateObjectKeyPair, &KeyPair);
  REPLACE_ENTRY(client, NWDSChangeObjectPassword, &ChangeObjectPassword);
  Construct();
  EXPECT_FALSE(ChangePassword("", "CN=bob", std::string(128, 'p'), ""));
  EXPECT_FALSE(ChangePassword("", "CN=bob", "p", std::string(128, 'o')));
  EXPECT_FALSE(ChangePassword("", std::string(256, 'n'), "p", ""));
  EXPECT_EQ(seen.calls, 0);
  EXPECT_TRUE(ChangePassword("", std::string(255, 'n'), std::string(127, 'p'), ""));
  EXPECT_EQ(seen.newPassword, std::string(127, 'P'));
  ExpectNothingHeld();
}

TEST_F(NamesTest, ChangePasswordNeedsTheChangeEntryEvenForANewKeyPair) {
  REPLACE_ENTRY(client, NWDSGenerateObjectKeyPair, &KeyPair);
  client.Without("NWDSChangeObjectPassword");
  Construct();
  DSLastError = 0;
  EXPECT_FALSE(ChangePassword("", "CN=bob", "p", ""));
  EXPECT_EQ(seen.calls, 0);
  EXPECT_EQ(DSLastError, 0);
  EXPECT_EQ(S.duplicates, 0);
}

TEST_F(NamesTest, ChangePasswordInANamedContext) {
  REPLACE_ENTRY(client, NWDSGenerateObjectKeyPair, &KeyPair);
  REPLACE_ENTRY(client, NWDSChangeObjectPassword, &ChangeObjectPassword);
  Construct();
  EXPECT_TRUE(ChangePassword("OU=Sales.O=Acme", "bob", "p", ""));
  EXPECT_EQ(CurrentContextName(), "OU=Sales.O=Acme");
  ExpectNothingHeld();
  // A context that cannot be selected stops before the change.
  EXPECT_FALSE(ChangePassword(std::string(128, 'c'), "bob", "p", ""));
  EXPECT_EQ(seen.calls, 1);
  ExpectNothingHeld();
}

// ---- authentication ---------------------------------------------------------------------

NWDSCCODE ResolveName(NWDSContextHandle context, const char *name, NWCONN_HANDLE *conn, nuint32 *id) {
  seen.context = context;
  seen.name = name;
  if (std::strcmp(name, "nobody") == 0) return ERR_NO_SUCH_ENTRY;
  *conn = 0x3003;
  *id = 12;
  return 0;
}

NWDSCCODE Authenticate(NWCONN_HANDLE conn, nflag32 option, nptr key) {
  ++seen.calls;
  seen.conn = conn;
  seen.option = option;
  seen.key = key;
  return 0;
}

NWDSCCODE AuthenticateConn(NWDSContextHandle context, NWCONN_HANDLE conn) {
  seen.calls += 100;
  seen.conn = conn;
  return context == seen.context ? ERR_FAILED_SERVER_AUTHENT : ERR_INVALID_CONTEXT;
}

TEST_F(NamesTest, ResolveAndAuthenticateThroughNWDSAuthenticateOnly) {
  REPLACE_ENTRY(client, NWDSResolveName, &ResolveName);
  REPLACE_ENTRY(client, NWDSAuthenticate, &Authenticate);
  client.Without("NWDSAuthenticateConn");
  Construct();
  EXPECT_EQ(ResolveAndAuthenticate("", "VOL1"), 0x3003u);
  EXPECT_EQ(seen.name, "VOL1");
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.conn, 0x3003u);
  EXPECT_EQ(seen.option, 0u);
  EXPECT_EQ(seen.key, nullptr);
  EXPECT_EQ(ResolveAndAuthenticate("", "VOL1"), 0x3003u);
  EXPECT_EQ(client.Lookups("NWDSAuthenticateConn"), 2);
  EXPECT_EQ(client.Lookups("NWDSAuthenticate"), 2);
  EXPECT_EQ(client.Lookups("NWDSResolveName"), 1);

  EXPECT_EQ(ResolveAndAuthenticate("", "nobody"), 0u);
  EXPECT_EQ(DSLastError, ERR_NO_SUCH_ENTRY);
  EXPECT_EQ(seen.calls, 2);
  EXPECT_EQ(ResolveAndAuthenticate("", std::string(256, 'v')), 0u);
  ExpectNothingHeld();
}

TEST_F(NamesTest, ResolveAndAuthenticatePrefersTheConnectionEntry) {
  REPLACE_ENTRY(client, NWDSResolveName, &ResolveName);
  REPLACE_ENTRY(client, NWDSAuthenticate, &Authenticate);
  REPLACE_ENTRY(client, NWDSAuthenticateConn, &AuthenticateConn);
  Construct();
  EXPECT_EQ(ResolveAndAuthenticate("", "VOL1"), 0u);
  EXPECT_EQ(seen.calls, 100);
  EXPECT_EQ(DSLastError, ERR_FAILED_SERVER_AUTHENT);  // called with the resolving context
  EXPECT_EQ(client.Lookups("NWDSAuthenticate"), 0);
  ExpectNothingHeld();
}

TEST_F(NamesTest, ResolveAndAuthenticateWithoutAnyAuthenticationEntry) {
  REPLACE_ENTRY(client, NWDSResolveName, &ResolveName);
  client.Without("NWDSAuthenticateConn").Without("NWDSAuthenticate");
  Construct();
  DSLastError = 0;
  DSLastResult = 0;
  EXPECT_EQ(ResolveAndAuthenticate("", "VOL1"), 0u);
  EXPECT_EQ(DSLastError, 0);
  ExpectNothingHeld();
}

}  // namespace
