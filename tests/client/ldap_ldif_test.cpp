// The built-in directory loaded from LDIF, and the "directory" section of a
// network description. No server needed.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "directory.h"
#include "ldap_store.h"
#include "ldap_test_util.h"
#include "network.h"
#include "nwclient.h"

using namespace nwc;
using nwctest::CompareTrees;
using nwctest::DemoNetworkTest;
using nwctest::TempDir;

namespace {

using Json = nlohmann::ordered_json;

DName Typed(std::string_view text) {
  DName n;
  EXPECT_EQ(CanonicalizeName(text, DName{}, {}, &n), 0) << text;
  return n;
}

std::uint32_t IdOf(const DirectoryStore& store, std::string_view name) {
  EntryInfo e;
  EXPECT_EQ(store.Resolve(Typed(name), false, &e), 0) << name;
  return e.id;
}

// The demo description with its tree's objects taken from an LDIF file.
std::string DemoWithLdif(const std::filesystem::path& ldif) {
  Json doc = Json::parse(DemoNetworkJson());
  doc["tree"] = {{"name", "ACMECORP"}};
  doc["directory"] = {{"ldif", ldif.string()}};
  return doc.dump();
}

// Loads a description that must fail; what went to stderr.
std::string Refused(const std::string& json, const std::filesystem::path& base = ".") {
  testing::internal::CaptureStderr();
  const bool ok = LoadNetworkFromString(json, base, "net.json");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(ok) << json;
  return err;
}

constexpr const char* kServers = R"("servers": [{"name": "SRV", "volumes": [{"name": "SYS", "path": "."}]}])";

using LdifDirectory = DemoNetworkTest;

}  // namespace

TEST_F(LdifDirectory, TheDemoLdifIsTheDemoTree) {
  const auto ldif = nwctest::SourceRoot() / "client/ldap/demo.ldif";
  std::string error;
  auto fromJson = ParseNetwork(DemoNetworkJson(), DemoNetworkRoot(), "demo", &error);
  ASSERT_NE(fromJson, nullptr) << error;
  ASSERT_TRUE(LoadNetworkFromString(DemoWithLdif(ldif), DemoNetworkRoot(), "ldif.json"));
  Network* net = CurrentNetwork();
  ASSERT_NE(net, nullptr);
  const DirectoryStore& a = *fromJson->Store();
  const DirectoryStore& b = *net->Store();
  int entries = 0;
  CompareTrees(a, IdOf(a, "[Root]"), b, IdOf(b, "[Root]"), &entries);
  EXPECT_EQ(entries + 1, static_cast<int>(fromJson->tree->Size()));
  // Without identifiers in the file, IDs come from the names as they do in
  // a description, so they match too.
  EXPECT_EQ(IdOf(a, "CN=JSMITH.OU=SALES.O=ACME"), IdOf(b, "CN=JSMITH.OU=SALES.O=ACME"));
  // The servers of the description found their objects in the LDIF tree.
  ASSERT_NE(net->FindServer("ACME-FS1"), nullptr);
  ASSERT_NE(net->FindServer("ACME-FS1")->entry, nullptr);
  EXPECT_EQ(net->FindServer("ACME-FS1")->entry->Canonical(), "CN=ACME-FS1.O=ACME");
  // Hashed userPassword values stay with the server that made them: no
  // password matches them here (not even the empty one).
  EXPECT_EQ(b.VerifyPassword(IdOf(b, "CN=ADMIN.O=ACME"), "NOVELL"), ERR_FAILED_AUTHENTICATION);
  EXPECT_EQ(b.VerifyPassword(IdOf(b, "CN=ADMIN.O=ACME"), ""), ERR_FAILED_AUTHENTICATION);
  EXPECT_EQ(b.VerifyPassword(IdOf(b, "CN=BWILSON.OU=SALES.O=ACME"), ""), 0);  // none at all
}

TEST_F(LdifDirectory, AnExportWithIdentifiersPasswordsAndEncodedValues) {
  TempDir tmp;
  const auto file = tmp.Write("export.ldif",
                              "version: 1\n"
                              "# an export\n"
                              "dn: o=ACME\n"
                              "objectClass: organization\n"
                              "o: ACME\n"
                              "entryUUID: 11111111-2222-3333-4444-555555555555\n"
                              "\n"
                              "dn: cn=JSMITH,o=ACME\n"
                              "objectClass: inetOrgPerson\n"
                              "objectClass: organizationalPerson\n"
                              "objectClass: person\n"
                              "objectClass: top\n"
                              "cn: JSMITH\n"
                              "sn: Smith\n"
                              "fullName: John\n"
                              "  Smith\n"
                              "loginScript:: TUFQIEc6DQo=\n"
                              "userPassword: SALES1\n"
                              "modifyTimestamp: 19980915083000Z\n"
                              "entryUUID: 99999999-2222-3333-4444-555555555555\n"
                              "vendorFlag: yes\n"
                              "\n"
                              "dn: cn=JOHN,o=ACME\n"
                              "objectClass: alias\n"
                              "objectClass: extensibleObject\n"
                              "cn: JOHN\n"
                              "aliasedObjectName: cn=JSMITH,o=ACME\n"
                              "\n"
                              "dn: cn=ALL,o=ACME\n"
                              "objectClass: groupOfNames\n"
                              "cn: ALL\n"
                              "member: cn=JSMITH,o=ACME\n");
  ASSERT_TRUE(LoadNetworkFromString(std::string(R"({"directory": {"ldif": "export.ldif"}, )") + kServers + "}", tmp.path(),
                                    "net.json"));
  Network* net = CurrentNetwork();
  const DirectoryStore& store = *net->Store();
  EXPECT_EQ(store.TreeName(), "LDIF");
  EntryInfo e;
  ASSERT_EQ(store.Resolve(Typed("CN=JSMITH.O=ACME"), false, &e), 0);
  EXPECT_EQ(e.baseClass, "User");
  EXPECT_EQ(e.modificationTime, 905848200u);
  // The ID the LDAP store gives the entry of that identifier.
  EXPECT_EQ(e.id, ldap::IdFromIdentifier("99999999-2222-3333-4444-555555555555"));
  EXPECT_EQ(store.VerifyPassword(e.id, "sales1"), 0);
  EXPECT_EQ(store.VerifyPassword(e.id, "WRONG"), ERR_FAILED_AUTHENTICATION);
  AttributeValues full;
  ASSERT_EQ(store.ReadAttribute(e.id, "Full Name", &full), 0);
  EXPECT_EQ(*full.values.front().Text(), "John Smith");  // a folded line
  Bytes script;
  ASSERT_EQ(store.ReadStream(e.id, "Login Script", &script), 0);
  EXPECT_EQ(std::string(script.begin(), script.end()), "MAP G:\r\n");
  AttributeValues vendor;
  ASSERT_EQ(store.ReadAttribute(e.id, "vendorFlag", &vendor), 0);  // kept under its LDAP name
  EXPECT_EQ(*vendor.values.front().Text(), "yes");
  AttributeValues classes;
  ASSERT_EQ(store.ReadAttribute(e.id, "Object Class", &classes), 0);
  ASSERT_EQ(classes.values.size(), 4u);
  EXPECT_EQ(*classes.values[1].Text(), "Organizational Person");
  // The password is neither an attribute nor kept in clear.
  EXPECT_EQ(store.ReadAttribute(e.id, "userPassword", &vendor), ERR_NO_SUCH_ATTRIBUTE);

  EntryInfo alias;
  ASSERT_EQ(store.Resolve(Typed("CN=JOHN.O=ACME"), true, &alias), 0);
  EXPECT_EQ(alias.id, e.id);
  AttributeValues members;
  ASSERT_EQ(store.ReadAttribute(IdOf(store, "CN=ALL.O=ACME"), "Member", &members), 0);
  EXPECT_EQ(*members.values.front().Text(), "CN=JSMITH.O=ACME");
}

TEST_F(LdifDirectory, FaultsInTheFileNameTheLine) {
  TempDir tmp;
  auto load = [&](const std::string& text) {
    tmp.Write("bad.ldif", text);
    return Refused(std::string(R"({"directory": {"ldif": "bad.ldif"}, )") + kServers + "}", tmp.path());
  };
  std::string err = load("dn: o=ACME\nobjectClass: organization\no: ACME\n\ndn: cn=X,ou=MISSING,o=ACME\nobjectClass: person\ncn: X\n");
  EXPECT_NE(err.find("bad.ldif:5: the container of 'cn=X,ou=MISSING,o=ACME'"), std::string::npos) << err;
  err = load("dn: uid=x,dc=example,dc=com\nobjectClass: account\nuid: x\n");
  EXPECT_NE(err.find("bad.ldif:1: 'uid=x,dc=example,dc=com' is not a directory name"), std::string::npos) << err;
  err = load("dn: o=ACME\nobjectClass: organization\no: ACME\n\ndn: o=acme\nobjectClass: organization\no: acme\n");
  EXPECT_NE(err.find("is in the file twice"), std::string::npos) << err;
  err = load("dn: o=ACME\nobjectClass: organization\no: ACME\n\ndn: cn=A,o=ACME\nobjectClass: alias\naliasedObjectName: cn=NONE,o=ACME\n");
  EXPECT_NE(err.find("an alias must name one object"), std::string::npos) << err;
  err = load("dn: o=ACME\nobjectClass: organization\no: ACME\nmember: uid=x,dc=example\n");
  EXPECT_NE(err.find("a value of member does not fit"), std::string::npos) << err;
  err = load("this is not LDIF\n");
  EXPECT_NE(err.find("bad.ldif:1:"), std::string::npos) << err;
  err = Refused(std::string(R"({"directory": {"ldif": "none.ldif"}, )") + kServers + "}", tmp.path());
  EXPECT_NE(err.find("directory.ldif: the file"), std::string::npos) << err;
  err = Refused(std::string(R"({"tree": {"name": "T", "objects": [{"name": "O=X", "class": "Organization"}]},
                                "directory": {"ldif": "bad.ldif"}, )") + kServers + "}", tmp.path());
  EXPECT_NE(err.find("give 'tree' only its name"), std::string::npos) << err;
  EXPECT_EQ(CurrentNetwork(), nullptr);
}

TEST_F(LdifDirectory, HostileFilesEndInAClearFaultNeverACrash) {
  TempDir tmp;
  tmp.Write("secret.txt", "TOP SECRET\n");
  const std::string org = "dn: o=ACME\nobjectClass: organization\no: ACME\n";
  const std::pair<std::string, std::string> cases[] = {
      // Each of these crashed the loader or libldap.
      {org + ": x\n", "bad.ldif:4: the attribute name is missing"},
      {"dn: o=A\nobjectClass: organization\n-\n", "bad.ldif:3: '-' belongs to a change record"},
      {"1234\n", "bad.ldif:1: expected an attribute name and ':'"},
      {"# an export\n\n1234\n\n" + org, "bad.ldif:3: expected an attribute name"},
      // Nothing makes the loader read another file.
      {org + "description:< file://" + (tmp.path() / "secret.txt").string() + "\n", "bad.ldif:4: a value read from a URL"},
      {org + "description:\n < file:///dev/zero\n", "bad.ldif:4: a value read from a URL"},
      {"include: file://" + (tmp.path() / "secret.txt").string() + "\n\n" + org, "bad.ldif:1: 'include:' would read another file"},
      // Entries only, whole lines, names without control characters.
      {org + "\ndn: cn=X,o=ACME\nchangetype: delete\n", "bad.ldif:6: 'changetype:' belongs to a change record"},
      {org + "description: a" + std::string(1, '\0') + "b\n", "bad.ldif:4: a NUL byte"},
      {org + "description:: !!!!\n", "bad.ldif:4: the value after '::' is not base64"},
      {"objectClass: organization\ndn: o=ACME\n", "bad.ldif:1: a record starts with its 'dn:' line"},
      {org + "dn: o=OTHER\nobjectClass: organization\n", "bad.ldif:4: a second 'dn:' line"},
      {"version: 2\n\n" + org, "bad.ldif:1: only LDIF version 1"},
      {org + "\ndn: cn=A\\00B,o=ACME\nobjectClass: person\ncn: A\n", "bad.ldif:5: 'cn=A\\00B,o=ACME' is not a directory name"},
      {org + "\ndn:: Y249QQFCLG89QUNNRQ==\nobjectClass: person\n", "bad.ldif:5: 'cn=A\\x01B,o=ACME' is not a directory name"},
      {org + "\ndn: cn=[Root],o=ACME\nobjectClass: person\ncn: [Root]\n", "bad.ldif:5: [Root] is the tree's root"},
  };
  for (const auto& [text, expected] : cases) {
    tmp.Write("bad.ldif", text);
    const std::string err = Refused(std::string(R"({"directory": {"ldif": "bad.ldif"}, )") + kServers + "}", tmp.path());
    EXPECT_NE(err.find(expected), std::string::npos) << text << "\n" << err;
    EXPECT_EQ(nwctest::CountLines(err), 1) << err;
    EXPECT_EQ(err.find("TOP SECRET"), std::string::npos) << err;
    EXPECT_EQ(CurrentNetwork(), nullptr);
  }
  // Comments, folded lines, a version line and CR LF ends are LDIF as usual.
  tmp.Write("good.ldif", "version: 1\r\n# the organization\r\n#  and more\r\ndn: o=ACME\r\nobjectClass: organization\r\n"
                         "descrip\r\n tion: a <b>\r\n\r\n\r\ndn: cn=X,o=ACME\nobjectClass: person\ncn: X\n");
  ASSERT_TRUE(LoadNetworkFromString(std::string(R"({"directory": {"ldif": "good.ldif"}, )") + kServers + "}", tmp.path(),
                                    "net.json"));
  AttributeValues d;
  ASSERT_EQ(CurrentNetwork()->Store()->ReadAttribute(IdOf(*CurrentNetwork()->Store(), "O=ACME"), "Description", &d), 0);
  EXPECT_EQ(*d.values.front().Text(), "a <b>");
  IdOf(*CurrentNetwork()->Store(), "CN=X.O=ACME");
}

TEST_F(LdifDirectory, TheLdapSectionOfADescription) {
  TempDir tmp;
  tmp.Write("pw", "NOVELL\n");
  tmp.Write("ca.pem", "-----BEGIN CERTIFICATE-----\n");
  setenv("NWC_LDAP_DESC_PW", "secret", 1);
  auto with = [&](const std::string& ldap) {
    return std::string(R"({"directory": {"ldap": )") + ldap + "}, " + kServers + "}";
  };
  ASSERT_TRUE(LoadNetworkFromString(
      with(R"({"uri": "ldaps://127.0.0.1:6360", "base": ["o=ACME", "c=US"], "bindDn": "cn=ADMIN,o=ACME",
               "passwordFile": "pw", "caFile": "ca.pem", "timeoutSeconds": 2, "pageSize": 500,
               "treeName": "acme_tree", "servers": ["acme-fs1"],
               "attributeMap": {"Full Name": "displayName"}, "classMap": {"User": "person"}})"),
      tmp.path(), "net.json"));
  {
    auto lock = NetworkLock();
    auto* store = dynamic_cast<LdapStore*>(CurrentDirectoryStore());
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->TreeName(), "ACME_TREE");
    EXPECT_EQ(store->ReplicaServers(), std::vector<std::string>{"ACME-FS1"});
  }
  // Defaults from the rest of the description: the tree's name.
  ASSERT_TRUE(LoadNetworkFromString(R"({"tree": {"name": "ACMECORP"},
      "directory": {"ldap": {"uri": "ldap://127.0.0.1:3890", "bindDn": "cn=ADMIN,o=ACME", "passwordEnv": "NWC_LDAP_DESC_PW"}}, )" +
                                        std::string(kServers) + "}",
                                    tmp.path(), "net.json"));
  {
    auto lock = NetworkLock();
    ASSERT_NE(CurrentDirectoryStore(), nullptr);
    EXPECT_EQ(CurrentDirectoryStore()->TreeName(), "ACMECORP");
  }

  // Servers of the same data: a list, or the older text of URIs separated
  // by spaces.
  for (const char* uri : {R"(["ldap://a:1", "ldap://b:2"])", R"("ldap://a:1  ldap://b:2")"}) {
    const LdapSettings s =
        ParseLdapSettings(nlohmann::ordered_json::parse(std::string(R"({"uri": )") + uri + "}"), tmp.path(), "ldap");
    EXPECT_EQ(s.uris, (std::vector<std::string>{"ldap://a:1", "ldap://b:2"})) << uri;
    EXPECT_EQ(s.uri, "ldap://a:1");
  }

  const std::pair<std::string, std::string> faults[] = {
      {R"({"base": "o=ACME"})", "directory.ldap: the field 'uri' is missing"},
      {R"({"uri": "http://x"})", "directory.ldap.uri: 'http://x' is not an LDAP URL"},
      {R"({"uri": "ldap://x", "colour": "red"})", "directory.ldap: unknown field 'colour'"},
      {R"({"uri": "ldaps://x", "startTLS": true})", "directory.ldap.startTLS: StartTLS needs an ldap:// URI"},
      {R"({"uri": ["ldap://x", "ldaps://y"], "startTLS": true})", "directory.ldap.startTLS: StartTLS needs an ldap:// URI"},
      {R"({"uri": ["ldap://x", "http://y"]})", "directory.ldap.uri[1]: 'http://y' is not an LDAP URL"},
      {R"({"uri": ["ldap://x y"]})", "directory.ldap.uri[0]: 'ldap://x y' is not an LDAP URL"},
      {R"({"uri": []})", "directory.ldap.uri: the list names no server"},
      {R"({"uri": "ldap://x", "bindDn": "cn=ADMIN,o=ACME"})", "'bindDn' needs 'passwordFile' or 'passwordEnv'"},
      {R"({"uri": "ldap://x", "passwordEnv": "NWC_LDAP_DESC_PW"})", "a password needs a 'bindDn'"},
      {R"({"uri": "ldap://x", "bindDn": "cn=A,o=B", "passwordEnv": "NWC_NOT_SET_ANYWHERE"})",
       "the environment variable NWC_NOT_SET_ANYWHERE is not set"},
      {R"({"uri": "ldap://x", "bindDn": "cn=A,o=B", "passwordFile": "nofile"})", "directory.ldap.passwordFile: the file"},
      {R"({"uri": "ldap://x", "caFile": "nofile"})", "directory.ldap.caFile: the file"},
      {R"({"uri": "ldap://x", "base": "dc=example,dc=com"})", "directory.ldap.base: 'dc=example,dc=com' is not a distinguished name"},
      {R"({"uri": "ldap://x", "timeoutSeconds": 0})", "directory.ldap.timeoutSeconds: must be between 1 and 300"},
      {R"({"uri": "ldap://x", "attributeMap": {"Full Name": "a b"}})", "directory.ldap.attributeMap.Full Name: 'a b' is not an LDAP name"},
  };
  for (const auto& [ldap, expected] : faults) {
    const std::string err = Refused(with(ldap), tmp.path());
    EXPECT_NE(err.find(expected), std::string::npos) << ldap << "\n" << err;
    EXPECT_EQ(err.find("secret"), std::string::npos);
  }
  EXPECT_NE(Refused(R"({"directory": {}, )" + std::string(kServers) + "}").find("give either 'ldap' or 'ldif'"),
            std::string::npos);
}
