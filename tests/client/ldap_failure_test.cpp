// The LDAP store when things go wrong: a server that is not there, that
// refuses the login, that stops answering or dies half-way through a
// listing, and TLS with a certificate it must or must not trust.
#include <gtest/gtest.h>

#include <chrono>

#include "directory.h"
#include "ldap_store.h"
#include "ldap_test_util.h"
#include "nwclient.h"

using namespace nwc;
using nwctest::kPasswordVariable;
using nwctest::Typed;
using nwctest::RunCommand;
using nwctest::Slapd;
using nwctest::TempDir;

namespace {

using Clock = std::chrono::steady_clock;

// Every call of these stores goes to the server.
LdapSettings SettingsFor(const std::string& uri) {
  LdapSettings s = nwctest::SettingsFor(uri);
  s.cacheSeconds = 0;
  return s;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

class LdapFailure : public ::testing::Test {
 protected:
  void SetUp() override { setenv(kPasswordVariable, "NOVELL", 1); }
};

}  // namespace

TEST_F(LdapFailure, AServerThatIsNotThereIsUnreachableAtOnce) {
  const int port = nwctest::FreePort();
  LdapStore store(SettingsFor("ldap://127.0.0.1:" + std::to_string(port) + "/"));
  const auto start = Clock::now();
  EntryInfo e;
  EXPECT_EQ(store.Resolve(Typed("O=ACME"), false, &e), ERR_UNREACHABLE_SERVER);
  EXPECT_EQ(store.WhoAmI(&e), ERR_UNREACHABLE_SERVER);
  std::vector<EntryInfo> page;
  std::size_t total = 99;
  EXPECT_EQ(store.ListSubordinates(0, 0, 10, &page, &total), ERR_NO_SUCH_ENTRY);
  EntryInfo root;
  EXPECT_EQ(store.Resolve(DName{}, false, &root), ERR_UNREACHABLE_SERVER);
  EXPECT_LT(Seconds(start), 2.0);
}

TEST_F(LdapFailure, AWrongPasswordIsAFailedLoginUntilItIsRight) {
  Slapd server;
  ASSERT_TRUE(server.Start({}));
  setenv(kPasswordVariable, "WRONG", 1);
  LdapStore store(SettingsFor(server.Uri()));
  EntryInfo e;
  EXPECT_EQ(store.Resolve(Typed("O=ACME"), false, &e), ERR_FAILED_AUTHENTICATION);
  EXPECT_EQ(store.WhoAmI(&e), ERR_FAILED_AUTHENTICATION);
  EXPECT_EQ(store.Resolve(DName{}, false, &e), ERR_FAILED_AUTHENTICATION);

  LdapSettings nobody = SettingsFor(server.Uri());
  nobody.bindDn = "cn=NOBODY,o=ACME";
  LdapStore ghost(nobody);
  EXPECT_EQ(ghost.Resolve(Typed("O=ACME"), false, &e), ERR_FAILED_AUTHENTICATION);

  // The password is read at each connection: once right, the store works.
  setenv(kPasswordVariable, "NOVELL", 1);
  EXPECT_EQ(store.Resolve(Typed("O=ACME"), false, &e), 0);
  ASSERT_EQ(store.WhoAmI(&e), 0);
  EXPECT_EQ(FormatName(e.name, false), "CN=ADMIN.O=ACME");

  // The same through a password file.
  TempDir tmp;
  LdapSettings fromFile = SettingsFor(server.Uri());
  fromFile.passwordEnv.clear();
  fromFile.passwordFile = tmp.Write("pw", "NOVELL\n");
  LdapStore filed(fromFile);
  EXPECT_EQ(filed.Resolve(Typed("O=ACME"), false, &e), 0);
  fromFile.passwordFile = tmp.Write("bad", "novell\n");  // the bind password is used as it stands
  LdapStore badFile(fromFile);
  EXPECT_EQ(badFile.Resolve(Typed("O=ACME"), false, &e), ERR_FAILED_AUTHENTICATION);
}

TEST_F(LdapFailure, AServerKilledMidListingFailsTheListingAndComesBack) {
  Slapd server;
  ASSERT_TRUE(server.Start({}));
  LdapSettings s = SettingsFor(server.Uri());
  s.pageSize = 20;
  LdapStore store(s);
  EntryInfo staff;
  ASSERT_EQ(store.Resolve(Typed("OU=STAFF.O=ACME"), false, &staff), 0);

  std::size_t pagesSeen = 0;
  store.SetPageObserver([&](std::size_t pages) {
    pagesSeen = pages;
    if (pages == 2) server.Kill();
  });
  std::vector<EntryInfo> page;
  std::size_t total = 0;
  const auto start = Clock::now();
  EXPECT_EQ(store.ListSubordinates(staff.id, 0, 500, &page, &total), ERR_TRANSPORT_FAILURE);
  EXPECT_TRUE(page.empty());
  EXPECT_EQ(pagesSeen, 2u);
  EXPECT_LT(Seconds(start), 5.0);
  // While it is down: unreachable, at once.
  EntryInfo e;
  EXPECT_EQ(store.Resolve(Typed("O=ACME"), false, &e), ERR_UNREACHABLE_SERVER);
  EXPECT_EQ(store.ListSubordinates(staff.id, 0, 500, &page, &total), ERR_UNREACHABLE_SERVER);

  // Back again: the next call connects anew and the listing is whole.
  store.SetPageObserver(nullptr);
  ASSERT_TRUE(server.Restart());
  ASSERT_EQ(store.ListSubordinates(staff.id, 0, 500, &page, &total), 0);
  EXPECT_EQ(total, 120u);
  EXPECT_EQ(page.size(), 120u);
}

TEST_F(LdapFailure, AServerThatStopsAnsweringTimesOut) {
  Slapd server;
  ASSERT_TRUE(server.Start({}));
  LdapSettings s = SettingsFor(server.Uri());
  s.timeoutSeconds = 1;
  LdapStore store(s);
  EntryInfo e;
  ASSERT_EQ(store.Resolve(Typed("O=ACME"), false, &e), 0);

  // The bound leaves room for a busy machine; a wait that is not cut at
  // the time-out goes on until the server answers, which it never does.
  constexpr double kBound = 8.0;
  server.Signal(SIGSTOP);
  auto start = Clock::now();
  EXPECT_EQ(store.Resolve(Typed("OU=SALES.O=ACME"), false, &e), ERR_TRANSPORT_FAILURE);
  double took = Seconds(start);
  EXPECT_GE(took, 0.9);
  EXPECT_LT(took, kBound);
  // A new connection waits no longer: the server takes the connection but
  // never answers the login.
  start = Clock::now();
  EXPECT_EQ(store.WhoAmI(&e), ERR_TRANSPORT_FAILURE);
  EXPECT_LT(Seconds(start), kBound);

  server.Signal(SIGCONT);
  ASSERT_EQ(store.WhoAmI(&e), 0);
  EXPECT_EQ(FormatName(e.name, false), "CN=ADMIN.O=ACME");
}

TEST_F(LdapFailure, TlsTrustsOnlyTheGivenAuthority) {
  if (!nwctest::SlapdInstalled()) {
    FAIL() << "slapd is not installed: the LDAP tests need the Debian packages slapd and ldap-utils";
  }
  TempDir tmp;
  const std::string d = tmp.path().string();
  tmp.Write("server.ext", "subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n");
  auto openssl = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "openssl");
    std::string out;
    ASSERT_EQ(RunCommand(args, &out), 0) << "openssl failed: " << args[1];
  };
  const std::vector<std::string> ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
  auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  openssl(with({"req", "-x509", "-days", "2", "-subj", "/CN=Test CA", "-keyout", d + "/ca.key", "-out", d + "/ca.pem"}, ec));
  openssl(with({"req", "-x509", "-days", "2", "-subj", "/CN=Other CA", "-keyout", d + "/other.key", "-out", d + "/other.pem"}, ec));
  openssl(with({"req", "-subj", "/CN=127.0.0.1", "-keyout", d + "/server.key", "-out", d + "/server.csr"}, ec));
  openssl({"x509", "-req", "-days", "2", "-in", d + "/server.csr", "-CA", d + "/ca.pem", "-CAkey", d + "/ca.key",
           "-CAcreateserial", "-extfile", d + "/server.ext", "-out", d + "/server.pem"});
  if (HasFatalFailure()) return;

  Slapd server;
  Slapd::Options o;
  o.tlsCert = d + "/server.pem";
  o.tlsKey = d + "/server.key";
  o.ldaps = true;
  ASSERT_TRUE(server.Start(o));

  EntryInfo e;
  {
    LdapSettings s = SettingsFor(server.LdapsUri());
    s.caFile = d + "/ca.pem";
    LdapStore store(s);
    ASSERT_EQ(store.WhoAmI(&e), 0);
    EXPECT_EQ(FormatName(e.name, false), "CN=ADMIN.O=ACME");
    EXPECT_EQ(store.VerifyPassword(e.id, "NOVELL"), 0);  // the second connection goes by TLS as well
  }
  {
    LdapSettings s = SettingsFor(server.Uri());
    s.startTls = true;
    s.caFile = d + "/ca.pem";
    LdapStore store(s);
    EXPECT_EQ(store.Resolve(Typed("OU=SALES.O=ACME"), false, &e), 0);
  }
  for (bool startTls : {false, true}) {
    SCOPED_TRACE(startTls);
    LdapSettings s = SettingsFor(startTls ? server.Uri() : server.LdapsUri());
    s.startTls = startTls;
    s.caFile = d + "/other.pem";
    LdapStore untrusted(s);
    const auto start = Clock::now();
    EXPECT_EQ(untrusted.Resolve(Typed("O=ACME"), false, &e), ERR_FAILED_SERVER_AUTHENT);
    EXPECT_LT(Seconds(start), 3.0);
    // Turning verification off is a choice the description has to make.
    s.verifyCertificate = false;
    LdapStore trusting(s);
    EXPECT_EQ(trusting.Resolve(Typed("O=ACME"), false, &e), 0);
  }
}
