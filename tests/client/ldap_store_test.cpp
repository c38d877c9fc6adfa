// The LDAP store against a throw-away slapd serving the demo directory: the
// same answers as the built-in store on the same directory, paging past the
// server's size limit, names that need escaping, passwords with and without
// rights.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <ldap.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>

#include "directory.h"
#include "ldap_store.h"
#include "ldap_test_util.h"
#include "network.h"
#include "nwclient.h"

using namespace nwc;
using nwctest::kPasswordVariable;
using nwctest::SettingsFor;
using nwctest::Typed;
using nwctest::Slapd;
using nwctest::TempDir;
using nwctest::CompareTrees;
using nwctest::Render;

namespace {

// Whether the process's writable memory holds `text` (upper-cased when
// `upper`). The text is compared where it stands, in the program's read-only
// data, so the search leaves no copy of its own behind.
bool MemoryHolds(std::string_view text, bool upper) {
  auto at = [&](std::size_t k) {
    const char c = text[k];
    return upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  };
  std::ifstream maps("/proc/self/maps");
  const int mem = open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
  EXPECT_GE(mem, 0);
  std::vector<char> chunk(1 << 20);
  std::string line;
  bool found = false;
  while (!found && std::getline(maps, line)) {
    unsigned long from = 0, to = 0;
    char perms[8] = {};
    if (std::sscanf(line.c_str(), "%lx-%lx %7s", &from, &to, perms) != 3) continue;
    // Writable mappings; the sanitizers' shadow and reserved ranges are larger.
    if (perms[0] != 'r' || perms[1] != 'w' || to - from > (1ul << 30)) continue;
    for (unsigned long pos = from; pos < to && !found;) {
      const ssize_t got = pread(mem, chunk.data(), std::min<unsigned long>(chunk.size(), to - pos), static_cast<off_t>(pos));
      if (got <= 0) break;
      const auto n = static_cast<std::size_t>(got);
      const char* end = chunk.data() + n;
      for (const char* p = chunk.data(); !found && p != nullptr && end - p >= static_cast<std::ptrdiff_t>(text.size()); ++p) {
        p = static_cast<const char*>(std::memchr(p, at(0), static_cast<std::size_t>(end - p)));
        if (p == nullptr || end - p < static_cast<std::ptrdiff_t>(text.size())) break;
        std::size_t k = 1;
        while (k < text.size() && p[k] == at(k)) ++k;
        found = k == text.size();
      }
      // Overlap the chunks by the text's length, less one.
      pos += n > text.size() ? n - text.size() + 1 : n;
    }
  }
  if (mem >= 0) close(mem);
  return found;
}

std::uint32_t IdOf(const DirectoryStore& store, std::string_view name) {
  EntryInfo e;
  EXPECT_EQ(store.Resolve(Typed(name), false, &e), 0) << name;
  return e.id;
}

// One server for the tests that only read, with a low size limit.
class LdapDemo : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new Slapd;
    Slapd::Options o;
    o.sizeLimit = 50;
    started_ = server_->Start(o);
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(started_) << "no slapd to test against";
    setenv(kPasswordVariable, "NOVELL", 1);
    unsetenv("NWCLIENT_NETWORK");
    ResetNetwork();
    ldap_ = std::make_unique<LdapStore>(SettingsFor(server_->Uri()));
  }
  void TearDown() override {
    ldap_.reset();
    ResetNetwork();
  }
  const DirectoryStore& Builtin() {
    Network* net = CurrentNetwork();
    EXPECT_NE(net, nullptr);
    return *net->Store();
  }

  static Slapd* server_;
  static bool started_;
  std::unique_ptr<LdapStore> ldap_;
};

Slapd* LdapDemo::server_ = nullptr;
bool LdapDemo::started_ = false;

}  // namespace

TEST_F(LdapDemo, TheWholeTreeReadsAsTheBuiltinStoreReadsIt) {
  EntryInfo aRoot, bRoot;
  ASSERT_EQ(Builtin().Resolve(DName{}, false, &aRoot), 0);
  ASSERT_EQ(ldap_->Resolve(DName{}, false, &bRoot), 0);
  EXPECT_EQ(aRoot.subordinateCount, bRoot.subordinateCount);
  int entries = 0;
  CompareTrees(Builtin(), aRoot.id, *ldap_, bRoot.id, &entries);
  EXPECT_EQ(entries + 1, static_cast<int>(CurrentNetwork()->tree->Size()));  // every entry but the root
}

TEST_F(LdapDemo, AUsersDetailsLoginScriptAndGroupMembers) {
  const DirectoryStore& builtin = Builtin();
  for (const char* user : {"CN=JSMITH.OU=SALES.O=ACME", "CN=ADMIN.O=ACME", "CN=STAFF042.OU=STAFF.O=ACME"}) {
    SCOPED_TRACE(user);
    const std::uint32_t a = IdOf(builtin, user), b = IdOf(*ldap_, user);
    for (const char* attr : {"Full Name", "Telephone Number", "EMail Address", "CN", "Object Class", "Group Membership"}) {
      AttributeValues va, vb;
      const int ra = builtin.ReadAttribute(a, attr, &va);
      ASSERT_EQ(ra, ldap_->ReadAttribute(b, attr, &vb)) << attr;
      if (ra != 0) continue;
      EXPECT_EQ(va.name, vb.name);
      EXPECT_EQ(va.syntax, vb.syntax);
      ASSERT_EQ(va.values.size(), vb.values.size()) << attr;
      for (std::size_t i = 0; i < va.values.size(); ++i) EXPECT_EQ(Render(va.values[i]), Render(vb.values[i]));
    }
    Bytes sa, sb;
    const int ra = builtin.ReadStream(a, "Login Script", &sa);
    EXPECT_EQ(ra, ldap_->ReadStream(b, "Login Script", &sb));
    EXPECT_EQ(sa, sb);
  }
  Bytes script;
  ASSERT_EQ(ldap_->ReadStream(IdOf(*ldap_, "CN=JSMITH.OU=SALES.O=ACME"), "Login Script", &script), 0);
  EXPECT_EQ(std::string(script.begin(), script.end()), "MAP G:=ACME-FS1_DATA:SHARED\r\nWRITE \"Sales figures are in G:\"\r\n");
  Bytes none;
  EXPECT_EQ(ldap_->ReadStream(IdOf(*ldap_, "CN=BWILSON.OU=SALES.O=ACME"), "Login Script", &none), ERR_NO_SUCH_ATTRIBUTE);
  EXPECT_EQ(ldap_->ReadStream(IdOf(*ldap_, "CN=JSMITH.OU=SALES.O=ACME"), "Full Name", &none), ERR_BAD_SYNTAX);

  AttributeValues members;
  ASSERT_EQ(ldap_->ReadAttribute(IdOf(*ldap_, "CN=ENGINEERS.OU=ENGINEERING.O=ACME"), "member", &members), 0);
  ASSERT_EQ(members.values.size(), 3u);
  EXPECT_EQ(*members.values[2].Text(), "CN=TESTER.OU=QA.OU=ENGINEERING.O=ACME");
  AttributeValues nothing;
  EXPECT_EQ(ldap_->ReadAttribute(IdOf(*ldap_, "CN=TEMP.OU=SALES.O=ACME"), "Full Name", &nothing), ERR_NO_SUCH_ATTRIBUTE);
  EXPECT_EQ(ldap_->ReadAttribute(IdOf(*ldap_, "CN=ADMIN.O=ACME"), "Password", &nothing), ERR_NO_SUCH_ATTRIBUTE);
}

TEST_F(LdapDemo, NamesAliasesIdsAndIdentity) {
  EntryInfo e;
  EXPECT_EQ(ldap_->Resolve(Typed("CN=NOBODY.OU=SALES.O=ACME"), false, &e), ERR_NO_SUCH_ENTRY);
  EXPECT_EQ(ldap_->Resolve(Typed("O=ELSEWHERE"), false, &e), ERR_NO_SUCH_ENTRY);
  // Names compare without regard to case; the entry comes back as the server spells it.
  ASSERT_EQ(ldap_->Resolve(Typed("cn=jsmith.ou=sales.o=acme"), false, &e), 0);
  EXPECT_EQ(FormatName(e.name, false), "CN=JSMITH.OU=SALES.O=ACME");
  const std::uint32_t jsmith = e.id;

  ASSERT_EQ(ldap_->Resolve(Typed("CN=JOHN.OU=ENGINEERING.O=ACME"), false, &e), 0);
  EXPECT_EQ(e.baseClass, "Alias");
  EXPECT_TRUE(e.flags & kEntryAlias);
  EXPECT_EQ(e.aliasTarget, jsmith);
  ASSERT_EQ(ldap_->Resolve(Typed("CN=JOHN.OU=ENGINEERING.O=ACME"), true, &e), 0);
  EXPECT_EQ(e.id, jsmith);

  // IDs stay with their entries, also across a new connection.
  ldap_->Disconnect();
  ASSERT_EQ(ldap_->EntryById(jsmith, &e), 0);
  EXPECT_EQ(FormatName(e.name, false), "CN=JSMITH.OU=SALES.O=ACME");
  EXPECT_EQ(ldap_->EntryById(0x12345678, &e), ERR_NO_SUCH_ENTRY);

  // Types of untyped parts come from the server.
  EXPECT_EQ(ldap_->ChildType(Typed("O=ACME"), "sales"), "OU");
  EXPECT_EQ(ldap_->ChildType(Typed("O=ACME"), "ADMIN"), "CN");
  EXPECT_EQ(ldap_->ChildType(DName{}, "US"), "C");
  EXPECT_EQ(ldap_->ChildType(Typed("O=ACME"), "NOBODY"), "");
  DName typed;
  ASSERT_EQ(CanonicalizeName("JSMITH.SALES.ACME", DName{}, ldap_->Oracle(), &typed), 0);
  EXPECT_EQ(FormatName(typed, false), "CN=JSMITH.OU=SALES.O=ACME");

  EntryInfo me, builtinMe;
  ASSERT_EQ(ldap_->WhoAmI(&me), 0);
  ASSERT_EQ(Builtin().WhoAmI(&builtinMe), 0);
  EXPECT_EQ(FormatName(me.name, false), FormatName(builtinMe.name, false));
  EXPECT_EQ(ldap_->TreeName(), "ACMECORP");

  // Without a bind identity the server sees an anonymous user.
  LdapSettings anonymous = SettingsFor(server_->Uri());
  anonymous.bindDn.clear();
  anonymous.passwordEnv.clear();
  LdapStore anon(anonymous);
  EXPECT_EQ(anon.WhoAmI(&me), ERR_NOT_LOGGED_IN);
  EXPECT_EQ(anon.Resolve(Typed("O=ACME"), false, &e), 0);
}

TEST_F(LdapDemo, AContainerLargerThanTheSizeLimitListsCompletely) {
  // The server really stops a plain search at 50 entries.
  LDAP* ld = nullptr;
  ASSERT_EQ(ldap_initialize(&ld, server_->Uri().c_str()), LDAP_SUCCESS);
  int version = LDAP_VERSION3;
  ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
  LDAPMessage* res = nullptr;
  const int plain = ldap_search_ext_s(ld, "ou=STAFF,o=ACME", LDAP_SCOPE_ONELEVEL, "(objectClass=*)", nullptr, 0,
                                      nullptr, nullptr, nullptr, LDAP_NO_LIMIT, &res);
  EXPECT_EQ(plain, LDAP_SIZELIMIT_EXCEEDED);
  EXPECT_LE(ldap_count_entries(ld, res), 50);
  ldap_msgfree(res);
  ldap_unbind_ext_s(ld, nullptr, nullptr);

  for (int pageSize : {1000, 7}) {
    SCOPED_TRACE(pageSize);
    LdapSettings s = SettingsFor(server_->Uri());
    s.pageSize = pageSize;
    LdapStore store(s);
    const std::uint32_t staff = IdOf(store, "OU=STAFF.O=ACME");
    std::vector<EntryInfo> all;
    std::size_t total = 0;
    ASSERT_EQ(store.ListSubordinates(staff, 0, SIZE_MAX, &all, &total), 0);
    EXPECT_EQ(total, 120u);
    std::set<std::string> names;
    for (const EntryInfo& e : all) names.insert(e.name.parts.front().value);
    EXPECT_EQ(names.size(), 120u);
    EXPECT_EQ(names.count("STAFF001") + names.count("STAFF120"), 2u);

    // Page by page through the store gives the same list in the same order.
    std::vector<EntryInfo> paged, page;
    for (std::size_t at = 0;; at += 13) {
      ASSERT_EQ(store.ListSubordinates(staff, at, 13, &page, &total), 0);
      if (page.empty()) break;
      paged.insert(paged.end(), page.begin(), page.end());
    }
    ASSERT_EQ(paged.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(paged[i].id, all[i].id);

    // Streamed by a fresh store, each reply taking two entries fewer than it
    // was given (a reply buffer that fills up), so that replies go back
    // across a page's end: every page is asked for once.
    LdapStore fresh(s);
    EntryInfo container;  // looked up without listing it, as NWDSList does
    ASSERT_EQ(fresh.ResolveLight(Typed("OU=STAFF.O=ACME"), false, &container), 0);
    const std::uint32_t staffAgain = container.id;
    std::size_t pagesRead = 0;
    fresh.SetPageObserver([&](std::size_t) { ++pagesRead; });
    std::vector<EntryInfo> streamed;
    for (std::size_t at = 0;;) {
      ASSERT_EQ(fresh.ListSubordinates(staffAgain, at, 13, &page, &total), 0);
      if (page.empty()) break;
      const std::size_t taken = page.size() > 2 ? page.size() - 2 : page.size();
      streamed.insert(streamed.end(), page.begin(), page.begin() + static_cast<std::ptrdiff_t>(taken));
      at += taken;
    }
    fresh.SetPageObserver(nullptr);
    ASSERT_EQ(streamed.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(streamed[i].id, all[i].id);
    // The first page is small (the first reply comes sooner), the others full.
    const std::size_t first = std::min<std::size_t>(static_cast<std::size_t>(pageSize), 100);
    const std::size_t size = static_cast<std::size_t>(pageSize);
    EXPECT_EQ(pagesRead, 1 + (120u - first + size - 1) / size);

    // Two containers streamed side by side on the store's one connection,
    // each reply asking for the next page ahead: both list completely.
    if (pageSize != 7) continue;
    const std::uint32_t acme = IdOf(store, "O=ACME");
    std::vector<EntryInfo> acmeAll;
    ASSERT_EQ(store.ListSubordinates(acme, 0, SIZE_MAX, &acmeAll, &total), 0);
    ASSERT_GT(acmeAll.size(), static_cast<std::size_t>(pageSize));
    LdapStore sideBySide(s);
    EntryInfo staffEntry, acmeEntry;
    ASSERT_EQ(sideBySide.ResolveLight(Typed("OU=STAFF.O=ACME"), false, &staffEntry), 0);
    ASSERT_EQ(sideBySide.ResolveLight(Typed("O=ACME"), false, &acmeEntry), 0);
    std::vector<EntryInfo> staffSeen, acmeSeen;
    for (bool staffDone = false, acmeDone = false; !staffDone || !acmeDone;) {
      if (!staffDone) {
        ASSERT_EQ(sideBySide.ListSubordinates(staffEntry.id, staffSeen.size(), 3, &page, &total), 0);
        staffDone = page.empty();
        staffSeen.insert(staffSeen.end(), page.begin(), page.end());
      }
      if (!acmeDone) {
        ASSERT_EQ(sideBySide.ListSubordinates(acmeEntry.id, acmeSeen.size(), 3, &page, &total), 0);
        acmeDone = page.empty();
        acmeSeen.insert(acmeSeen.end(), page.begin(), page.end());
      }
    }
    ASSERT_EQ(staffSeen.size(), all.size());
    for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(staffSeen[i].id, all[i].id);
    ASSERT_EQ(acmeSeen.size(), acmeAll.size());
    for (std::size_t i = 0; i < acmeAll.size(); ++i) EXPECT_EQ(acmeSeen[i].id, acmeAll[i].id);
  }
}

TEST(LdapStore, NamesWithCommasPlusSignsBackslashesAndDots) {
  Slapd server;
  ASSERT_TRUE(server.StartWithEntries("dn: ou=Comma\\, Unit,o=ACME\n"
                                      "objectClass: organizationalUnit\n"
                                      "ou: Comma, Unit\n\n"
                                      "dn: cn=Smith\\, John,ou=Comma\\, Unit,o=ACME\n"
                                      "objectClass: ndsUser\n"
                                      "cn: Smith, John\n"
                                      "fullName: John, the second\n\n"
                                      "dn: cn=A\\+B,ou=Comma\\, Unit,o=ACME\n"
                                      "objectClass: ndsUser\n"
                                      "cn: A+B\n\n"
                                      "dn: cn=back\\\\slash,ou=Comma\\, Unit,o=ACME\n"
                                      "objectClass: ndsUser\n"
                                      "cn: back\\slash\n\n"
                                      "dn: cn=J.Doe,ou=Comma\\, Unit,o=ACME\n"
                                      "objectClass: ndsUser\n"
                                      "cn: J.Doe\n\n"
                                      "dn: cn=STARX,ou=Comma\\, Unit,o=ACME\n"
                                      "objectClass: ndsUser\n"
                                      "cn: STARX\n\n"
                                      "dn: cn=(paren),ou=Comma\\, Unit,o=ACME\n"
                                      "objectClass: ndsUser\n"
                                      "cn: (paren)\n\n"
                                      "dn: cn=[Root],ou=Comma\\, Unit,o=ACME\n"
                                      "objectClass: ndsUser\n"
                                      "cn: [Root]\n\n"
                                      "dn: cn=STARX\\01Y,ou=Comma\\, Unit,o=ACME\n"
                                      "objectClass: ndsUser\n"
                                      "cn:: U1RBUlgBWQ==\n\n"));
  setenv(kPasswordVariable, "NOVELL", 1);
  LdapStore store(SettingsFor(server.Uri()));

  DName unit;
  unit.parts = {{"OU", "Comma, Unit"}, {"O", "ACME"}};
  EntryInfo e;
  ASSERT_EQ(store.Resolve(unit, false, &e), 0);
  std::vector<EntryInfo> page;
  std::size_t total = 0;
  ASSERT_EQ(store.ListSubordinates(e.id, 0, 100, &page, &total), 0);
  std::set<std::string> values;
  for (const EntryInfo& c : page) values.insert(c.name.parts.front().value);
  // A name with a control character is left out, not listed cut (as STARX).
  EXPECT_EQ(values, (std::set<std::string>{"Smith, John", "A+B", "back\\slash", "J.Doe", "STARX", "(paren)", "[Root]"}));
  EXPECT_EQ(total, values.size());

  // The entry called [Root] reads back as itself, never as the tree's root.
  const EntryInfo& rootLike = *std::find_if(page.begin(), page.end(), [](const EntryInfo& c) { return c.name.parts.front().value == "[Root]"; });
  for (bool typeless : {false, true}) {
    const std::string shown = FormatRelative(rootLike.name, unit, typeless);
    EXPECT_EQ(shown, typeless ? "\\[Root]" : "CN=\\[Root]");
    DName back;
    ASSERT_EQ(CanonicalizeName(shown, unit, store.Oracle(), &back), 0);
    ASSERT_EQ(store.Resolve(back, false, &e), 0);
    EXPECT_EQ(e.id, rootLike.id);
  }

  // Dotted names with the directory's own escapes reach the same entries.
  for (const char* text : {"CN=Smith, John.OU=Comma, Unit.O=ACME", "CN=A\\+B.OU=Comma, Unit.O=ACME",
                           "CN=back\\\\slash.OU=Comma, Unit.O=ACME", "CN=J\\.Doe.OU=Comma, Unit.O=ACME"}) {
    DName name;
    ASSERT_EQ(CanonicalizeName(text, DName{}, {}, &name), 0) << text;
    ASSERT_EQ(store.Resolve(name, false, &e), 0) << text;
    EXPECT_EQ(FormatName(e.name, false), text);
    AttributeValues cn;
    ASSERT_EQ(store.ReadAttribute(e.id, "CN", &cn), 0);
    EXPECT_EQ(*cn.values.front().Text(), name.parts.front().value);
  }
  AttributeValues full;
  ASSERT_EQ(store.ReadAttribute(IdOf(store, "CN=Smith, John.OU=Comma, Unit.O=ACME"), "Full Name", &full), 0);
  EXPECT_EQ(*full.values.front().Text(), "John, the second");

  // Filter text is a value, never a pattern.
  EXPECT_EQ(store.ChildType(unit, "STARX"), "CN");
  EXPECT_EQ(store.ChildType(unit, "STAR*"), "");
  EXPECT_EQ(store.ChildType(unit, "*"), "");
  EXPECT_EQ(store.ChildType(unit, "(paren)"), "CN");
  EXPECT_EQ(store.ChildType(unit, "x)(cn=STARX"), "");
  EXPECT_EQ(store.ChildType(unit, "back\\slash"), "CN");
}

TEST(LdapStore, PasswordsWithAndWithoutRightsAsTheBuiltinStore) {
  Slapd server;
  ASSERT_TRUE(server.Start({}));
  unsetenv("NWCLIENT_NETWORK");
  ResetNetwork();
  Network* net = CurrentNetwork();
  ASSERT_NE(net, nullptr);
  DirectoryStore& builtin = *net->Store();

  setenv(kPasswordVariable, "NOVELL", 1);
  setenv("NWC_LDAP_TEST_HELPDESK", "HELPDESK1", 1);
  LdapStore asAdmin(SettingsFor(server.Uri()));
  LdapSettings hs = SettingsFor(server.Uri());
  hs.bindDn = "cn=HELPDESK,ou=IS,o=ACME";
  hs.passwordEnv = "NWC_LDAP_TEST_HELPDESK";
  LdapStore asHelpdesk(hs);

  auto run = [&](bool ldap, const std::string& who) {
    DirectoryStore& store = ldap ? (who == "ADMIN" ? static_cast<DirectoryStore&>(asAdmin) : asHelpdesk) : builtin;
    net->workstation.identity = Typed(who == "ADMIN" ? "CN=ADMIN.O=ACME" : "CN=HELPDESK.OU=IS.O=ACME");
    auto id = [&](const char* n) { return IdOf(store, n); };
    std::vector<int> rc;
    if (who == "ADMIN") {
      rc.push_back(store.SetPassword(id("CN=JSMITH.OU=SALES.O=ACME"), "NEWPASS"));
      rc.push_back(store.VerifyPassword(id("CN=JSMITH.OU=SALES.O=ACME"), "NEWPASS"));
      rc.push_back(store.VerifyPassword(id("CN=JSMITH.OU=SALES.O=ACME"), "newpass"));
      rc.push_back(store.VerifyPassword(id("CN=JSMITH.OU=SALES.O=ACME"), "SALES1"));
      rc.push_back(store.SetPassword(id("OU=SALES.O=ACME"), "X"));
      rc.push_back(store.SetPassword(id("CN=STAFF007.OU=STAFF.O=ACME"), "STAFF"));
      rc.push_back(store.VerifyPassword(id("CN=STAFF007.OU=STAFF.O=ACME"), "STAFF"));
      rc.push_back(store.ChangePassword(id("CN=JSMITH.OU=SALES.O=ACME"), "WRONG", "OTHER"));
      rc.push_back(store.ChangePassword(id("CN=JSMITH.OU=SALES.O=ACME"), "NEWPASS", "OTHER"));
      rc.push_back(store.VerifyPassword(id("CN=JSMITH.OU=SALES.O=ACME"), "OTHER"));
    } else {
      rc.push_back(store.SetPassword(id("CN=MJONES.OU=SALES.O=ACME"), "MARY"));
      rc.push_back(store.VerifyPassword(id("CN=MJONES.OU=SALES.O=ACME"), "MARY"));
      rc.push_back(store.SetPassword(id("CN=AKUMAR.OU=ENGINEERING.O=ACME"), "ANIL"));
      rc.push_back(store.SetPassword(id("CN=ADMIN.O=ACME"), "MINE"));
      rc.push_back(store.VerifyPassword(id("CN=ADMIN.O=ACME"), "NOVELL"));
      rc.push_back(store.ChangePassword(id("CN=HELPDESK.OU=IS.O=ACME"), "WRONG", "HD2"));
      rc.push_back(store.ChangePassword(id("CN=HELPDESK.OU=IS.O=ACME"), "HELPDESK1", "HD2"));
      rc.push_back(store.VerifyPassword(id("CN=HELPDESK.OU=IS.O=ACME"), "HD2"));
    }
    return rc;
  };
  const std::vector<int> adminExpected = {0, 0, 0, ERR_FAILED_AUTHENTICATION, ERR_ILLEGAL_ATTRIBUTE, 0, 0,
                                          ERR_FAILED_AUTHENTICATION, 0, 0};
  const std::vector<int> helpdeskExpected = {0, 0, ERR_NO_ACCESS, ERR_NO_ACCESS, 0, ERR_FAILED_AUTHENTICATION, 0, 0};
  EXPECT_EQ(run(false, "ADMIN"), adminExpected);
  EXPECT_EQ(run(true, "ADMIN"), adminExpected);
  EXPECT_EQ(run(false, "HELPDESK"), helpdeskExpected);
  EXPECT_EQ(run(true, "HELPDESK"), helpdeskExpected);

  // An empty password proves nothing to an LDAP server: it is never accepted.
  EXPECT_EQ(asAdmin.VerifyPassword(IdOf(asAdmin, "CN=BWILSON.OU=SALES.O=ACME"), ""), ERR_FAILED_AUTHENTICATION);
  ResetNetwork();
}

TEST(LdapStore, APasswordChangeLeavesNoCopyInMemory) {
  // libldap frees its request buffers as they are; the client gives it
  // memory functions that wipe what they free.
  constexpr std::string_view kOld = "Qz7-old-Wq";
  constexpr std::string_view kNew = "Kx4-new-Mp";
  // The scan finds what is there.
  const std::string probe(std::string_view("Zq9-probe-Vt"));
  ASSERT_TRUE(MemoryHolds("Zq9-probe-Vt", false));
  Slapd server;
  ASSERT_TRUE(server.Start({}));
  setenv(kPasswordVariable, "NOVELL", 1);
  {
    LdapStore store(SettingsFor(server.Uri()));
    const std::uint32_t jsmith = IdOf(store, "CN=JSMITH.OU=SALES.O=ACME");
    ASSERT_EQ(store.SetPassword(jsmith, kOld), 0);
    ASSERT_EQ(store.ChangePassword(jsmith, kOld, kNew), 0);
    ASSERT_EQ(store.VerifyPassword(jsmith, kNew), 0);
    for (std::string_view password : {kOld, kNew}) {
      EXPECT_FALSE(MemoryHolds(password, true)) << "upper-cased";
      EXPECT_FALSE(MemoryHolds(password, false)) << "as typed";
    }
  }
  for (std::string_view password : {kOld, kNew}) {
    EXPECT_FALSE(MemoryHolds(password, true)) << "upper-cased, the store gone";
    EXPECT_FALSE(MemoryHolds(password, false));
  }
}

// client/ldap/389-network.json with its directory at `uri`, logged in as
// ADMIN (whose password it reads at each connection from the environment).
std::unique_ptr<Network> LoadShipped389Network(const std::string& uri, std::string* error) {
  const std::filesystem::path ldapDir = nwctest::SourceRoot() / "client/ldap";
  std::ifstream in(ldapDir / "389-network.json");
  std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string shipped = "ldap://127.0.0.1:3891";
  const auto at = json.find(shipped);
  EXPECT_NE(at, std::string::npos);
  if (at == std::string::npos) return nullptr;
  json.replace(at, shipped.size(), uri);
  setenv("NWCLIENT_LDAP_PASSWORD", "NOVELL", 1);
  return ParseNetwork(json, ldapDir, "389-network.json", error);
}

// The run's 389 Directory Server (standard schema, as its administrators
// keep it): the client binds as the demo's ADMIN and lists the
// organization's top level, over ldap://, StartTLS and ldaps://, and through
// the network description shipped for it (client/ldap/389-network.json).
TEST(Ldap389, BindsAndListsTheOrganizationsTopLevel) {
  nwctest::Ds389 server;
  NWC_NEED_389(server);
  const std::vector<std::string> top = {"CN=ADMIN.O=ACME", "CN=EVERYONE.O=ACME", "OU=BULK.O=ACME",
                                        "OU=ENGINEERING.O=ACME", "OU=IS.O=ACME", "OU=SALES.O=ACME",
                                        "OU=STAFF.O=ACME", "OU=groups.O=ACME", "OU=people.O=ACME"};
  auto check = [&](const DirectoryStore& store) {
    EntryInfo me;
    ASSERT_EQ(store.WhoAmI(&me), 0);
    EXPECT_EQ(FormatName(me.name, false), "CN=ADMIN.O=ACME");
    EntryInfo acme;
    ASSERT_EQ(store.Resolve(Typed("O=ACME"), false, &acme), 0);
    std::vector<std::string> names;
    for (const EntryInfo& e : nwctest::Children(store, acme.id)) names.push_back(FormatName(e.name, false));
    EXPECT_EQ(names, top);
  };
  setenv(kPasswordVariable, "NOVELL", 1);
  for (int transport = 0; transport < 3; ++transport) {
    SCOPED_TRACE(transport);
    LdapSettings s = SettingsFor(transport == 2 ? server.LdapsUri() : server.Uri());
    s.startTls = transport == 1;
    if (transport != 0) s.caFile = server.CaFile();
    check(LdapStore(s));
  }

  std::string error;
  std::unique_ptr<Network> net = LoadShipped389Network(server.Uri(), &error);
  ASSERT_NE(net, nullptr) << error;
  ASSERT_NE(net->Store(), nullptr);
  check(*net->Store());
  unsetenv("NWCLIENT_LDAP_PASSWORD");
}

// Two users whose entryUUIDs give one 32-bit ID (among 100,000 entries
// some pair does): each keeps an ID of its own however it is met first, in a
// container's listing or by name, and each ID reads its own entry. A
// listing's users keep no name in the store, so an ID of theirs taken by
// another entry would read that entry instead.
TEST(LdapStore, UsersWhoseIdentifiersShareAnIdKeepIdsOfTheirOwn) {
  Slapd server;
  ASSERT_TRUE(server.StartWithEntries("dn: ou=ONE,o=ACME\nobjectClass: organizationalUnit\nou: ONE\n\n"
                                      "dn: ou=TWO,o=ACME\nobjectClass: organizationalUnit\nou: TWO\n\n"
                                      "dn: cn=AAA,ou=ONE,o=ACME\nobjectClass: inetOrgPerson\ncn: AAA\nsn: A\n"
                                      "entryUUID: 0b078a9f-8417-4035-9ace-97a4d476118c\n\n"
                                      "dn: cn=BBB,ou=TWO,o=ACME\nobjectClass: inetOrgPerson\ncn: BBB\nsn: B\n"
                                      "entryUUID: 8b56f373-658f-4b27-abe1-e913a409cbbb\n\n"));
  setenv(kPasswordVariable, "NOVELL", 1);
  auto listed = [](const LdapStore& store, const char* container) {
    EntryInfo e;  // looked up without listing it, as NWDSList does: the listing is streamed
    EXPECT_EQ(store.ResolveLight(Typed(container), false, &e), 0);
    std::vector<EntryInfo> page;
    std::size_t total = 0;
    EXPECT_EQ(store.ListSubordinates(e.id, 0, SIZE_MAX, &page, &total), 0);
    return page.size() == 1 ? page[0].id : 0;
  };
  auto cn = [](const LdapStore& store, std::uint32_t id) {
    AttributeValues v;
    return store.ReadAttribute(id, "CN", &v) == 0 && !v.values.empty() ? *v.values[0].Text() : std::string();
  };
  const char* const a = "CN=AAA.OU=ONE.O=ACME";
  const char* const b = "CN=BBB.OU=TWO.O=ACME";
  {  // both met in listings
    LdapStore store(SettingsFor(server.Uri()));
    const std::uint32_t idA = listed(store, "OU=ONE.O=ACME"), idB = listed(store, "OU=TWO.O=ACME");
    EXPECT_NE(idA, idB);
    EXPECT_EQ(cn(store, idA), "AAA");
    EXPECT_EQ(cn(store, idB), "BBB");
    EXPECT_EQ(IdOf(store, a), idA);
    EXPECT_EQ(IdOf(store, b), idB);
  }
  {  // one listed, then the other looked up by name
    LdapStore store(SettingsFor(server.Uri()));
    const std::uint32_t idA = listed(store, "OU=ONE.O=ACME");
    const std::uint32_t idB = IdOf(store, b);
    EXPECT_NE(idA, idB);
    EXPECT_EQ(cn(store, idB), "BBB");
    EXPECT_EQ(cn(store, idA), "AAA");
    EXPECT_EQ(IdOf(store, a), idA);
  }
  {  // one looked up by name, then the other listed
    LdapStore store(SettingsFor(server.Uri()));
    const std::uint32_t idB = IdOf(store, b);
    const std::uint32_t idA = listed(store, "OU=ONE.O=ACME");
    EXPECT_NE(idA, idB);
    EXPECT_EQ(cn(store, idA), "AAA");
    EXPECT_EQ(cn(store, idB), "BBB");
  }
  unsetenv(kPasswordVariable);
}

// slapd with users named by uid, as most directories name them: listed and
// read under their uid, given passwords under their DN, one of two twins
// (cn=rlee beside uid=rlee) left out with a word on standard error; and the
// shipped 389 description, whose tree gives just the tree's name, serves
// slapd as well.
TEST(LdapStandard, UidNamedUsersAndADescriptionWithoutLocalObjectsOnSlapd) {
  Slapd server;
  ASSERT_TRUE(server.StartWithEntries("dn: ou=people,o=ACME\nobjectClass: organizationalUnit\nou: people\n\n"
                                      "dn: uid=jdoe,ou=people,o=ACME\nobjectClass: inetOrgPerson\nuid: jdoe\n"
                                      "cn: John Doe\nsn: Doe\n\n"
                                      "dn: cn=rlee,ou=people,o=ACME\nobjectClass: inetOrgPerson\ncn: rlee\nsn: Lee\n\n"
                                      "dn: uid=rlee,ou=people,o=ACME\nobjectClass: inetOrgPerson\nuid: rlee\n"
                                      "cn: Rita Lee\nsn: Lee\n\n"
                                      "dn: ou=more,o=ACME\nobjectClass: organizationalUnit\nou: more\n\n"
                                      "dn: uid=mlee,ou=more,o=ACME\nobjectClass: inetOrgPerson\nuid: mlee\n"
                                      "cn: Mia Lee\nsn: Lee\n\n"
                                      "dn: cn=mlee,ou=more,o=ACME\nobjectClass: inetOrgPerson\ncn: mlee\nsn: Lee\n\n"));
  {
    setenv(kPasswordVariable, "NOVELL", 1);
    LdapStore store(SettingsFor(server.Uri()));
    EntryInfo people;
    testing::internal::CaptureStderr();
    ASSERT_EQ(store.Resolve(Typed("OU=people.O=ACME"), false, &people), 0);
    std::vector<std::string> names;
    for (const EntryInfo& e : nwctest::Children(store, people.id)) names.push_back(FormatName(e.name, false));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(names, (std::vector<std::string>{"CN=jdoe.OU=people.O=ACME", "CN=rlee.OU=people.O=ACME"}));
    EXPECT_EQ(people.subordinateCount, names.size());
    EXPECT_NE(said.find("rlee is named twice"), std::string::npos) << said;
    const std::uint32_t jdoe = IdOf(store, "CN=jdoe.OU=people.O=ACME");
    AttributeValues uid;
    ASSERT_EQ(store.ReadAttribute(jdoe, "Unique ID", &uid), 0);
    EXPECT_EQ(Render(uid.values.at(0)), Render(Value{SYN_CI_STRING, std::string("jdoe")}));
    ASSERT_EQ(store.SetPassword(jdoe, "JDOE1"), 0);
    EXPECT_EQ(store.VerifyPassword(jdoe, "JDOE1"), 0);
    // The name that is shown reaches the entry that is shown.
    AttributeValues cn;
    ASSERT_EQ(store.ReadAttribute(IdOf(store, "CN=rlee.OU=people.O=ACME"), "CN", &cn), 0);
    EXPECT_EQ(Render(cn.values.at(0)), Render(Value{SYN_CI_STRING, std::string("rlee")}));

    // The same with the one named by uid listed first, in a listing read
    // page by page (whose users keep no DN in the store): it is the one
    // shown, and its name reaches it.
    EntryInfo more;
    ASSERT_EQ(store.ResolveLight(Typed("OU=more.O=ACME"), false, &more), 0);
    std::vector<EntryInfo> page;
    std::size_t total = 0;
    testing::internal::CaptureStderr();
    ASSERT_EQ(store.ListSubordinates(more.id, 0, SIZE_MAX, &page, &total), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("mlee is named twice"), std::string::npos);
    ASSERT_EQ(page.size(), 1u);
    ASSERT_EQ(store.ReadAttribute(IdOf(store, "CN=mlee.OU=more.O=ACME"), "Unique ID", &uid), 0);
    EXPECT_EQ(Render(uid.values.at(0)), Render(Value{SYN_CI_STRING, std::string("mlee")}));
    ASSERT_EQ(store.ReadAttribute(page[0].id, "Unique ID", &uid), 0);
    EXPECT_EQ(Render(uid.values.at(0)), Render(Value{SYN_CI_STRING, std::string("mlee")}));
  }
  std::string error;
  std::unique_ptr<Network> net = LoadShipped389Network(server.Uri(), &error);
  ASSERT_NE(net, nullptr) << error;
  ASSERT_NE(net->Store(), nullptr);
  ASSERT_TRUE(net->workstation.identity.has_value());
  EXPECT_EQ(FormatName(*net->workstation.identity, false), "CN=ADMIN.O=ACME");
  EntryInfo me, sales;
  ASSERT_EQ(net->Store()->WhoAmI(&me), 0);
  EXPECT_EQ(FormatName(me.name, false), "CN=ADMIN.O=ACME");
  ASSERT_EQ(net->Store()->Resolve(Typed("OU=SALES.O=ACME"), false, &sales), 0);
  EXPECT_FALSE(nwctest::Children(*net->Store(), sales.id).empty());
  // A name the description does not hold is checked on the server.
  EXPECT_EQ(net->Store()->Resolve(Typed("CN=NOBODY.OU=SALES.O=ACME"), false, &me), ERR_NO_SUCH_ENTRY);
  unsetenv("NWCLIENT_LDAP_PASSWORD");
}

// 389 as its administrators keep it, standard schema only: users named by
// uid (as dsidm makes them) listed, read and given passwords, uid and
// displayName shown as text, groupOfUniqueNames as groups, the access rules
// (aci, operational) kept out of the data, and the server's own reasons
// when it refuses a password change without TLS or stops a big listing.
TEST(Ldap389, StandardSchemaReadsAsItsAdministratorsKeepIt) {
  nwctest::Ds389 server;
  NWC_NEED_389(server);
  setenv(kPasswordVariable, "NOVELL", 1);
  {
    // A uid-named user found by name before any listing.
    LdapStore fresh(SettingsFor(server.Uri()));
    EntryInfo rlee;
    ASSERT_EQ(fresh.Resolve(Typed("CN=rlee.OU=people.O=ACME"), false, &rlee), 0);
    EXPECT_EQ(rlee.baseClass, "User");
    EXPECT_EQ(fresh.Resolve(Typed("CN=nobody.OU=people.O=ACME"), false, &rlee), ERR_NO_SUCH_ENTRY);
  }
  LdapStore store(SettingsFor(server.Uri()));
  EntryInfo people;
  ASSERT_EQ(store.Resolve(Typed("OU=people.O=ACME"), false, &people), 0);
  std::vector<std::string> names;
  for (const EntryInfo& e : nwctest::Children(store, people.id)) {
    names.push_back(FormatName(e.name, false));
    EXPECT_EQ(e.baseClass, "User") << names.back();
  }
  EXPECT_EQ(names, (std::vector<std::string>{"CN=jdoe.OU=people.O=ACME", "CN=rlee.OU=people.O=ACME"}));
  EXPECT_EQ(people.subordinateCount, names.size());

  auto text = [&](std::string_view object, std::string_view attr) {
    AttributeValues v;
    const int rc = store.ReadAttribute(IdOf(store, object), attr, &v);
    return rc != 0 ? "error " + std::to_string(rc) : v.values.empty() ? "none" : Render(v.values.front());
  };
  EXPECT_EQ(text("CN=rlee.OU=people.O=ACME", "Unique ID"), Render(Value{SYN_CI_STRING, std::string("rlee")}));
  EXPECT_EQ(text("CN=rlee.OU=people.O=ACME", "Full Name"), Render(Value{SYN_CI_STRING, std::string("Rita Lee")}));
  EXPECT_EQ(text("CN=ADMIN.O=ACME", "Unique ID"), Render(Value{SYN_CI_STRING, std::string("admin")}));
  EXPECT_EQ(text("CN=ADMIN.O=ACME", "Full Name"),
            Render(Value{SYN_CI_STRING, std::string("Network Administrator")}));

  EntryInfo everyone;
  ASSERT_EQ(store.Resolve(Typed("CN=EVERYONE.O=ACME"), false, &everyone), 0);
  EXPECT_EQ(everyone.baseClass, "Group");
  AttributeValues members;
  ASSERT_EQ(store.ReadAttribute(everyone.id, "Member", &members), 0);
  ASSERT_EQ(members.values.size(), 6u);
  EXPECT_EQ(*members.values.front().Text(), "CN=ADMIN.O=ACME");

  std::vector<AttributeValues> acme;
  ASSERT_EQ(store.ReadAttributes(IdOf(store, "O=ACME"), &acme), 0);
  for (const AttributeValues& a : acme) EXPECT_FALSE(EqualNoCase(a.name, "aci")) << "an access rule shown as data";

  // A password change without TLS: the server's reason, and nothing set.
  const std::uint32_t rlee = IdOf(store, "CN=rlee.OU=people.O=ACME");
  testing::internal::CaptureStderr();
  EXPECT_EQ(store.SetPassword(rlee, "RLEE389"), ERR_NO_ACCESS);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("the server requires TLS for this; set startTLS or use ldaps"),
            std::string::npos);
  LdapSettings tls = SettingsFor(server.Uri());
  tls.startTls = true;
  tls.caFile = server.CaFile();
  LdapStore secure(tls);
  const std::uint32_t rleeTls = IdOf(secure, "CN=rlee.OU=people.O=ACME");
  ASSERT_EQ(secure.SetPassword(rleeTls, "RLEE389"), 0);
  EXPECT_EQ(secure.VerifyPassword(rleeTls, "RLEE389"), 0);
  EXPECT_EQ(secure.VerifyPassword(rleeTls, "OTHER"), ERR_FAILED_AUTHENTICATION);

  // 5,000 users against 389's default look-through limit of 5,000: pages
  // (all with one cookie) are read until the server stops, which it says.
  EntryInfo bulk;
  ASSERT_EQ(store.Resolve(Typed("OU=BULK.O=ACME"), false, &bulk), 0);
  std::vector<EntryInfo> page;
  std::size_t total = 0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(store.ListSubordinates(bulk.id, 0, SIZE_MAX, &page, &total), ERR_SYSTEM_FAILURE);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(page.empty());
  EXPECT_NE(said.find("look-through/size limit stopped the listing after 4"), std::string::npos) << said;
}
