// The viewer's path through the client's directory entry points (loaded by
// name, as the program loads them) on the demo network, once with the
// built-in directory and once with "directory": {"ldap": ...} naming a
// throw-away slapd that serves the same directory: the answers must match.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "ds_client.h"
#include "ldap_store.h"
#include "ldap_test_util.h"

using namespace dstest;
using nwctest::kPasswordVariable;
using nwctest::Slapd;

namespace {

std::string Line(const Listing& l) {
  std::vector<std::string> items;
  for (const Listed& o : l.objects) items.push_back(o.name + "/" + o.baseClass + "/" + std::to_string(o.flags));
  std::sort(items.begin(), items.end());
  std::string out = "code " + std::to_string(l.code) + ":";
  for (const std::string& i : items) out += " " + i;
  return out;
}

std::string Values(const Reading& r) {
  std::string out = "code " + std::to_string(r.code) + " " + r.attrName;
  for (const RawValue& v : r.values) {
    out += " [" + std::to_string(v.syntax) + "]";
    // Text syntaxes hand out the text; others a record with pointers.
    if (v.syntax == SYN_DIST_NAME || v.syntax == SYN_CI_STRING || v.syntax == SYN_TEL_NUMBER ||
        v.syntax == SYN_CLASS_NAME) {
      out += v.Text();
    } else {
      out += "#" + std::to_string(v.bytes.size());
    }
  }
  return out;
}

// What the viewer asks of the directory, as one text per answer.
std::vector<std::string> ViewerSession(bool helpdesk) {
  std::vector<std::string> out;
  Context root("[Root]");
  Context acme("O=ACME");
  out.push_back(Line(ListAll(root, "")));
  out.push_back(Line(ListAll(acme, "")));
  out.push_back(Line(ListAll(acme, "OU=SALES")));
  out.push_back(Line(ListAll(acme, "ENGINEERING")));  // typeless, typed by the directory
  out.push_back("staff " + std::to_string(ListAll(acme, "OU=STAFF", 1024).objects.size()));
  for (const char* attr : {"CN", "Full Name", "Telephone Number", "Object Class", "EMail Address", "Group Membership"}) {
    out.push_back(Values(ReadValues(acme, "JSMITH.SALES", attr)));
  }
  out.push_back(Values(ReadValues(acme, "CN=SALES-TEAM.OU=SALES", "Member")));
  out.push_back(Values(ReadValues(acme, "CN=TEMP.OU=SALES", "Full Name")));
  out.push_back(Values(ReadValues(acme, "CN=NOBODY.OU=SALES", "Full Name")));

  NWFILE_HANDLE fd = -1;
  const NWDSCCODE opened = Ds().NWDSOpenStream(acme, "CN=JSMITH.OU=SALES", "Login Script", 1, &fd);
  std::string script = "stream " + std::to_string(opened) + " ";
  if (opened == 0) {
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) script.append(buf, static_cast<std::size_t>(n));
    close(fd);
  }
  out.push_back(script);

  char me[MAX_DN_BYTES] = {};
  out.push_back("whoami " + std::to_string(Ds().NWDSWhoAmI(root, me)) + " " + me);
  NWCONN_HANDLE conn = 0;
  {
    auto lock = nwc::NetworkLock();
    conn = nwc::CurrentNetwork()->workstation.primary;
  }
  nuint32 id = 0;
  char back[MAX_DN_BYTES] = {};
  const NWDSCCODE mapped = Ds().NWDSMapNameToID(acme, conn, "CN=JOHN.OU=ENGINEERING", &id);
  out.push_back("map " + std::to_string(mapped) + " " + std::to_string(id != 0) + " " +
                std::to_string(Ds().NWDSMapIDToName(root, conn, id, back)) + " " + back);

  // Passwords with and without the right to set them.
  if (!helpdesk) {
    out.push_back("set " + std::to_string(Ds().NWDSGenerateObjectKeyPair(acme, "CN=TEMP.OU=SALES", "TEMPPW", 0)));
    out.push_back("change " + std::to_string(Ds().NWDSChangeObjectPassword(acme, 0, "CN=TEMP.OU=SALES", "TEMPPW", "NEXT")));
    out.push_back("wrong " + std::to_string(Ds().NWDSChangeObjectPassword(acme, 0, "CN=TEMP.OU=SALES", "TEMPPW", "X")));
    out.push_back("group " + std::to_string(Ds().NWDSGenerateObjectKeyPair(acme, "CN=EVERYONE", "X", 0)));
  } else {
    out.push_back("set " + std::to_string(Ds().NWDSGenerateObjectKeyPair(acme, "CN=BWILSON.OU=SALES", "BOB", 0)));
    out.push_back("denied " + std::to_string(Ds().NWDSGenerateObjectKeyPair(acme, "CN=ADMIN", "MINE", 0)));
    out.push_back("denied " + std::to_string(Ds().NWDSGenerateObjectKeyPair(acme, "CN=LCHEN.OU=ENGINEERING", "X", 0)));
    out.push_back("own " + std::to_string(Ds().NWDSChangeObjectPassword(acme, 0, "CN=HELPDESK.OU=IS", "HELPDESK1", "HD2")));
  }
  return out;
}

// The demo description, with the directory served by `server` when given,
// logged in as `who`.
std::string Description(const Slapd* server, bool helpdesk) {
  auto doc = nlohmann::ordered_json::parse(nwc::DemoNetworkJson());
  if (helpdesk) doc["workstation"]["identity"] = "CN=HELPDESK.OU=IS.O=ACME";
  if (server != nullptr) {
    doc["directory"]["ldap"] = {
        {"uri", server->Uri()},
        {"base", {"o=ACME", "c=US"}},
        {"bindDn", helpdesk ? "cn=HELPDESK,ou=IS,o=ACME" : "cn=ADMIN,o=ACME"},
        {"passwordEnv", kPasswordVariable},
        {"timeoutSeconds", 5},
    };
  }
  return doc.dump();
}

class LdapViewer : public nwctest::DemoNetworkTest {
 protected:
  void Compare(bool helpdesk) {
    ASSERT_TRUE(Ds().ready) << dlerror();
    Slapd server;
    ASSERT_TRUE(server.Start({}));
    setenv(kPasswordVariable, helpdesk ? "HELPDESK1" : "NOVELL", 1);

    ASSERT_TRUE(nwc::LoadNetworkFromString(Description(nullptr, helpdesk), nwc::DemoNetworkRoot(), "builtin.json"));
    const auto builtin = ViewerSession(helpdesk);
    ASSERT_TRUE(nwc::LoadNetworkFromString(Description(&server, helpdesk), nwc::DemoNetworkRoot(), "ldap.json"));
    {
      auto lock = nwc::NetworkLock();
      ASSERT_NE(dynamic_cast<nwc::LdapStore*>(nwc::CurrentDirectoryStore()), nullptr);
    }
    const auto ldap = ViewerSession(helpdesk);
    ASSERT_EQ(builtin.size(), ldap.size());
    for (std::size_t i = 0; i < builtin.size(); ++i) EXPECT_EQ(builtin[i], ldap[i]) << "answer " << i;
    // The session saw real answers, not failures alike.
    EXPECT_NE(builtin[0].find("O=ACME/Organization"), std::string::npos) << builtin[0];
    EXPECT_EQ(builtin[4], "staff 120");
    EXPECT_EQ(builtin[16], "map 0 1 0 CN=JSMITH.OU=SALES.O=ACME");  // the alias's object
  }
};

}  // namespace

TEST_F(LdapViewer, AsTheAdministratorTheLdapDirectoryAnswersAsTheBuiltinOne) { Compare(false); }

TEST_F(LdapViewer, AsTheHelpDeskTheLdapDirectoryAnswersAsTheBuiltinOne) { Compare(true); }

TEST_F(LdapViewer, WithTheServerGoneTheViewerGetsFailuresNotHangs) {
  ASSERT_TRUE(Ds().ready) << dlerror();
  Slapd server;
  ASSERT_TRUE(server.Start({}));
  setenv(kPasswordVariable, "NOVELL", 1);
  ASSERT_TRUE(nwc::LoadNetworkFromString(Description(&server, false), nwc::DemoNetworkRoot(), "ldap.json"));
  Context acme("O=ACME");
  ASSERT_EQ(ListAll(acme, "OU=SALES").code, 0);
  server.Kill();
  const auto start = std::chrono::steady_clock::now();
  Listing l = ListAll(acme, "OU=ENGINEERING");
  EXPECT_TRUE(l.code == ERR_UNREACHABLE_SERVER || l.code == ERR_TRANSPORT_FAILURE) << l.code;
  EXPECT_TRUE(l.objects.empty());
  EXPECT_NE(ReadValues(acme, "CN=LCHEN.OU=ENGINEERING", "Full Name").code, 0);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
  ASSERT_TRUE(server.Restart());
  EXPECT_EQ(ListAll(acme, "OU=ENGINEERING").code, 0);
}
