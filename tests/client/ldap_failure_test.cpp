// The LDAP store when things go wrong: a server that is not there, that
// refuses the login, that stops answering or dies half-way through a
// listing, a server that pages a listing forever, and TLS with a
// certificate it must or must not trust.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <thread>

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

// A server of just enough LDAP for a store to log in, look up a container
// and list it: every page of a listing holds one new entry and asks for one
// more, with the same cookie each time or a new one each time.
class EndlessPager {
 public:
  // How the pages go on: each with an entry and a new cookie, each with an
  // entry and the same cookie (as 389 Directory Server pages), or empty with
  // the same cookie (no progress at all).
  enum Mode { kNewCookie, kSameCookie, kSameCookieEmpty };
  explicit EndlessPager(Mode mode) : mode_(mode) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(listener_, 4) == 0 &&
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
      port_ = ntohs(a.sin_port);
      thread_ = std::thread([this] { Serve(); });
    }
  }
  ~EndlessPager() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    close(listener_);
  }
  std::string Uri() const { return "ldap://127.0.0.1:" + std::to_string(port_) + "/"; }
  long Pages() const { return pages_; }

 private:
  static std::string Tlv(unsigned char tag, const std::string& v) {
    std::string out(1, static_cast<char>(tag));
    if (v.size() < 128) {
      out.push_back(static_cast<char>(v.size()));
    } else {
      out.push_back(static_cast<char>(0x84));
      for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v.size() >> shift) & 0xFF));
    }
    return out + v;
  }
  static std::string Int(unsigned char tag, long v) {
    std::string bytes;
    do {
      bytes.insert(bytes.begin(), static_cast<char>(v & 0xFF));
      v >>= 8;
    } while (v != 0);
    if (static_cast<unsigned char>(bytes[0]) & 0x80) bytes.insert(bytes.begin(), '\0');
    return Tlv(tag, bytes);
  }
  static std::string Str(const std::string& v) { return Tlv(0x04, v); }
  static std::string Message(long id, const std::string& op, const std::string& controls = {}) {
    return Tlv(0x30, Int(0x02, id) + op + controls);
  }
  static std::string Entry(long id, const std::string& dn, const std::string& cls, const std::string& uuid) {
    const std::string attrs = Tlv(0x30, Str("objectClass") + Tlv(0x31, Str(cls))) +
                              Tlv(0x30, Str("entryUUID") + Tlv(0x31, Str(uuid)));
    return Message(id, Tlv(0x64, Str(dn) + Tlv(0x30, attrs)));
  }
  static std::string Done(long id, unsigned char tag, const std::string& controls = {}) {
    return Message(id, Tlv(tag, Int(0x0a, 0) + Str("") + Str("")), controls);
  }

  // Reads one TLV header at `p`; false when the buffer is short.
  static bool Header(const std::string& b, std::size_t* p, unsigned char* tag, std::size_t* len) {
    if (*p + 2 > b.size()) return false;
    *tag = static_cast<unsigned char>(b[(*p)++]);
    std::size_t n = static_cast<unsigned char>(b[(*p)++]);
    if (n & 0x80) {
      const std::size_t count = n & 0x7F;
      if (count > 4 || *p + count > b.size()) return false;
      n = 0;
      for (std::size_t i = 0; i < count; ++i) n = (n << 8) | static_cast<unsigned char>(b[(*p)++]);
    }
    *len = n;
    return true;
  }

  std::string Answer(const std::string& msg) {
    std::size_t p = 0;
    unsigned char tag = 0;
    std::size_t len = 0;
    if (!Header(msg, &p, &tag, &len) || !Header(msg, &p, &tag, &len) || tag != 0x02) return {};
    long id = 0;
    for (std::size_t i = 0; i < len; ++i) id = (id << 8) | static_cast<unsigned char>(msg[p + i]);
    p += len;
    unsigned char op = 0;
    if (!Header(msg, &p, &op, &len)) return {};
    if (op == 0x60) return Done(id, 0x61);
    if (op != 0x63 || !Header(msg, &p, &tag, &len)) return {};
    const std::string base = msg.substr(p, len);
    p += len;
    if (!Header(msg, &p, &tag, &len) || len != 1) return {};
    const int scope = msg[p];
    if (scope == 0) {
      if (base.empty() || base.find('=') == std::string::npos) return Done(id, 0x65);  // no root DSE, no schema
      return Entry(id, base, base.rfind("ou=", 0) == 0 ? "organizationalUnit" : "organization",
                   "00000000-0000-0000-0000-" + std::to_string(100000000000 + base.size())) +
             Done(id, 0x65);
    }
    const long n = ++pages_;
    const std::string cookie = mode_ == kNewCookie ? "page" + std::to_string(n) : "again";
    const std::string paged = Tlv(0x30, Str("1.2.840.113556.1.4.319") + Str(Tlv(0x30, Int(0x02, 0) + Str(cookie))));
    if (mode_ == kSameCookieEmpty) return Done(id, 0x65, Tlv(0xA0, paged));
    return Entry(id, "cn=U" + std::to_string(n) + "," + base, "inetOrgPerson",
                 "10000000-0000-0000-0000-" + std::to_string(100000000000 + n)) +
           Done(id, 0x65, Tlv(0xA0, paged));
  }

  void Serve() {
    while (!stop_) {
      pollfd l{listener_, POLLIN, 0};
      if (poll(&l, 1, 100) <= 0) continue;
      const int fd = accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      std::string in;
      while (!stop_) {
        pollfd c{fd, POLLIN, 0};
        if (poll(&c, 1, 100) <= 0) continue;
        char buf[4096];
        const ssize_t got = read(fd, buf, sizeof buf);
        if (got <= 0) break;
        in.append(buf, static_cast<std::size_t>(got));
        std::size_t p = 0;
        unsigned char tag = 0;
        std::size_t len = 0;
        while (Header(in, &p, &tag, &len) && p + len <= in.size()) {
          const std::string reply = Answer(in.substr(0, p + len));
          in.erase(0, p + len);
          p = 0;
          if (!reply.empty() && write(fd, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size())) break;
        }
      }
      close(fd);
    }
  }

  Mode mode_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<long> pages_{0};
  std::thread thread_;
};

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

TEST_F(LdapFailure, AListingThatNeverEndsFailsWithinItsBound) {
  for (EndlessPager::Mode mode : {EndlessPager::kSameCookieEmpty, EndlessPager::kSameCookie, EndlessPager::kNewCookie}) {
    SCOPED_TRACE(mode == EndlessPager::kSameCookieEmpty ? "empty pages with the same cookie"
                 : mode == EndlessPager::kSameCookie    ? "the same cookie on every page"
                                                        : "a new cookie on every page");
    EndlessPager server(mode);
    LdapSettings s = SettingsFor(server.Uri());
    s.bases = {"o=ACME"};
    s.listTimeLimitSeconds = 2;
    LdapStore store(s);
    EntryInfo big;
    ASSERT_EQ(store.Resolve(Typed("OU=BIG.O=ACME"), false, &big), 0);
    std::vector<EntryInfo> page;
    std::size_t total = 0;
    const auto start = Clock::now();
    EXPECT_EQ(store.ListSubordinates(big.id, 0, SIZE_MAX, &page, &total), ERR_TRANSPORT_FAILURE);
    EXPECT_TRUE(page.empty());
    // A cookie given again with nothing new ends the listing at its second
    // page; the bound ends the others (a generous margin for a busy
    // machine), also the one that pages as 389 does, with one cookie.
    if (mode == EndlessPager::kSameCookieEmpty) {
      EXPECT_EQ(server.Pages(), 2);
    } else {
      EXPECT_GT(server.Pages(), 2);
    }
    EXPECT_LT(Seconds(start), 30.0);
  }
}
