// Credentials through the exported entry points: password changes with and
// without the old password, rights, the server holding an object and
// authenticating connections with the workstation's directory login.
#include "ds_client.h"

using namespace dstest;
using nwctest::DemoNetworkTest;

namespace {

using DsAuth = DemoNetworkTest;

int Verify(const std::string& object, const std::string& password) {
  auto lock = nwc::NetworkLock();
  const nwc::DirEntry* e = ModelEntry(object);
  if (e == nullptr) return ERR_NO_SUCH_ENTRY;
  return nwc::CurrentDirectoryStore()->VerifyPassword(e->id, password);
}

void LogInAs(const std::string& object) {
  auto lock = nwc::NetworkLock();
  nwc::DName name;
  ASSERT_EQ(nwc::CanonicalizeName(object, nwc::DName{}, {}, &name), 0);
  nwc::CurrentNetwork()->workstation.identity = name;
}

nwc::Connection* Conn(NWCONN_HANDLE handle) {
  return nwc::CurrentNetwork()->workstation.FindConnection(handle);
}

}  // namespace

TEST_F(DsAuth, AdministratorSetsAndUsersChangePasswords) {
  ASSERT_TRUE(Ds().ready) << dlerror();
  Context acme("O=ACME");
  ASSERT_EQ(Verify("CN=JSMITH.OU=SALES.O=ACME", "SALES1"), 0);
  // The administrator may set passwords below O=ACME without the old one.
  ASSERT_EQ(Ds().NWDSGenerateObjectKeyPair(acme, "CN=JSMITH.OU=SALES", "NEWPASS", 0), 0);
  EXPECT_EQ(Verify("CN=JSMITH.OU=SALES.O=ACME", "NEWPASS"), 0);
  EXPECT_EQ(Verify("CN=JSMITH.OU=SALES.O=ACME", "SALES1"), ERR_FAILED_AUTHENTICATION);

  // Changing needs the right old password.
  EXPECT_EQ(Ds().NWDSChangeObjectPassword(acme, 0, "CN=JSMITH.OU=SALES", "WRONG", "OTHER"), ERR_FAILED_AUTHENTICATION);
  EXPECT_EQ(Verify("CN=JSMITH.OU=SALES.O=ACME", "NEWPASS"), 0);
  ASSERT_EQ(Ds().NWDSChangeObjectPassword(acme, 0, "CN=JSMITH.OU=SALES", "NEWPASS", "OTHER"), 0);
  EXPECT_EQ(Verify("CN=JSMITH.OU=SALES.O=ACME", "OTHER"), 0);

  // Through an alias the user it names gets the password.
  ASSERT_EQ(Ds().NWDSGenerateObjectKeyPair(acme, "CN=JOHN.OU=ENGINEERING", "VIAALIAS", 0), 0);
  EXPECT_EQ(Verify("CN=JSMITH.OU=SALES.O=ACME", "VIAALIAS"), 0);

  EXPECT_EQ(Ds().NWDSGenerateObjectKeyPair(acme, "CN=NOBODY", "X", 0), ERR_NO_SUCH_ENTRY);
  EXPECT_EQ(Ds().NWDSChangeObjectPassword(acme, 1, "CN=ADMIN", "NOVELL", "X"), ERR_INVALID_REQUEST);
}

TEST_F(DsAuth, LoginsWithoutRightsAreRefused) {
  ASSERT_TRUE(Ds().ready);
  Context acme("O=ACME");
  // The help desk may set passwords below OU=SALES only.
  LogInAs("CN=HELPDESK.OU=IS.O=ACME");
  EXPECT_EQ(Ds().NWDSGenerateObjectKeyPair(acme, "CN=AKUMAR.OU=ENGINEERING", "X1", 0), ERR_NO_ACCESS);
  EXPECT_EQ(Verify("CN=AKUMAR.OU=ENGINEERING.O=ACME", "X1"), ERR_FAILED_AUTHENTICATION);
  EXPECT_EQ(Ds().NWDSGenerateObjectKeyPair(acme, "CN=MJONES.OU=SALES", "X2", 0), 0);
  EXPECT_EQ(Verify("CN=MJONES.OU=SALES.O=ACME", "X2"), 0);
  // A plain user may change only its own password.
  LogInAs("CN=MJONES.OU=SALES.O=ACME");
  EXPECT_EQ(Ds().NWDSGenerateObjectKeyPair(acme, "CN=JSMITH.OU=SALES", "X3", 0), ERR_NO_ACCESS);
  EXPECT_EQ(Ds().NWDSChangeObjectPassword(acme, 0, "CN=JSMITH.OU=SALES", "SALES1", "X3"), ERR_NO_ACCESS);
  EXPECT_EQ(Ds().NWDSChangeObjectPassword(acme, 0, "CN=MJONES.OU=SALES", "X2", "X4"), 0);
  EXPECT_EQ(Verify("CN=MJONES.OU=SALES.O=ACME", "X4"), 0);

  {
    auto lock = nwc::NetworkLock();
    nwc::CurrentNetwork()->workstation.identity.reset();
  }
  EXPECT_EQ(Ds().NWDSGenerateObjectKeyPair(acme, "CN=MJONES.OU=SALES", "X5", 0), ERR_NOT_LOGGED_IN);
}

TEST_F(DsAuth, PasswordsLongerThanTheirAreaAreRefused) {
  ASSERT_TRUE(Ds().ready);
  Context acme("O=ACME");
  char longPassword[NW_MAX_PASSWORD];
  std::memset(longPassword, 'P', sizeof longPassword);  // no terminator within the area
  EXPECT_EQ(Ds().NWDSGenerateObjectKeyPair(acme, "CN=MJONES.OU=SALES", longPassword, 0), ERR_INVALID_PASSWORD_CHARS);
  EXPECT_EQ(Ds().NWDSChangeObjectPassword(acme, 0, "CN=JSMITH.OU=SALES", "SALES1", longPassword),
            ERR_INVALID_PASSWORD_CHARS);
  EXPECT_EQ(Verify("CN=JSMITH.OU=SALES.O=ACME", "SALES1"), 0);
  longPassword[NW_MAX_PASSWORD - 1] = '\0';
  EXPECT_EQ(Ds().NWDSGenerateObjectKeyPair(acme, "CN=MJONES.OU=SALES", longPassword, 0), 0);
  EXPECT_EQ(Verify("CN=MJONES.OU=SALES.O=ACME", longPassword), 0);
}

TEST_F(DsAuth, ResolveAndAuthenticateConnections) {
  ASSERT_TRUE(Ds().ready);
  Context acme("O=ACME");
  NWCONN_HANDLE conn = 0;
  nuint32 id = 0;
  ASSERT_EQ(Ds().NWDSResolveName(acme, "CN=ACME-FS2_SYS", &conn, &id), 0);
  EXPECT_EQ(id, ModelEntry("CN=ACME-FS2_SYS.O=ACME")->id);
  {
    // Both servers hold the tree; the volume's own server answers for it.
    auto lock = nwc::NetworkLock();
    ASSERT_NE(Conn(conn), nullptr);
    EXPECT_EQ(Conn(conn)->server->name, "ACME-FS2");
  }
  EXPECT_EQ(Ds().NWDSResolveName(acme, "CN=NOBODY", &conn, &id), ERR_NO_SUCH_ENTRY);

  NWCONN_HANDLE fresh = 0;
  NWCONN_HANDLE bindery = 0;
  nuint32 adminId = 0;
  {
    auto lock = nwc::NetworkLock();
    nwc::Network* net = nwc::CurrentNetwork();
    ASSERT_NE(Conn(conn), nullptr);
    EXPECT_TRUE(Conn(conn)->server->directoryServer);
    nwc::Connection* opened = net->OpenConnection(*net->FindServer("ACME-FS2"));
    ASSERT_NE(opened, nullptr);
    fresh = opened->handle;
    EXPECT_FALSE(opened->authenticated);
    bindery = net->workstation.FindConnectionTo(*net->FindServer("ACME-NW3"))->handle;
    adminId = ModelEntry("CN=ADMIN.O=ACME")->id;
  }
  ASSERT_EQ(Ds().NWDSAuthenticateConn(acme, fresh), 0);
  {
    auto lock = nwc::NetworkLock();
    const nwc::Connection* c = Conn(fresh);
    EXPECT_TRUE(c->authenticated);
    ASSERT_NE(c->ServerSlot(), nullptr);
    EXPECT_EQ(c->ServerSlot()->objectId, adminId);
    EXPECT_EQ(c->ServerSlot()->objectName, "ADMIN.ACME");
  }
  EXPECT_EQ(Ds().NWDSAuthenticate(fresh, 0, nullptr), 0);
  EXPECT_EQ(Ds().NWDSAuthenticateConn(acme, bindery), ERR_FAILED_SERVER_AUTHENT);
  EXPECT_EQ(Ds().NWDSAuthenticate(0xDEAD, 0, nullptr), ERR_INVALID_CONN_HANDLE);
  EXPECT_EQ(Ds().NWDSAuthenticateConn(0x7FFFFFF0, fresh), ERR_BAD_CONTEXT);

  {
    auto lock = nwc::NetworkLock();
    nwc::CurrentNetwork()->workstation.identity.reset();
  }
  EXPECT_EQ(Ds().NWDSAuthenticate(fresh, 0, nullptr), ERR_NOT_LOGGED_IN);
}
