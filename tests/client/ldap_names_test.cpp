// Names and values between the directory and LDAP, without a server.
#include <gtest/gtest.h>
#include <ldap.h>

#include "ldap_names.h"
#include "nwclient.h"

using namespace nwc;
using namespace nwc::ldap;

namespace {

DName Typed(std::string_view text) {
  DName n;
  EXPECT_EQ(CanonicalizeName(text, DName{}, {}, &n), 0) << text;
  return n;
}

std::string Dn(const DName& name) {
  std::string dn;
  EXPECT_TRUE(NameToDn(name, &dn));
  return dn;
}

// What libldap makes of a DN: the unescaped values, leaf first.
std::vector<std::string> LdapValues(const std::string& dn) {
  std::vector<std::string> out;
  LDAPDN parsed = nullptr;
  EXPECT_EQ(ldap_str2dn(dn.c_str(), &parsed, LDAP_DN_FORMAT_LDAPV3), LDAP_SUCCESS) << dn;
  for (int i = 0; parsed && parsed[i]; ++i) out.emplace_back(parsed[i][0]->la_value.bv_val, parsed[i][0]->la_value.bv_len);
  ldap_dnfree(parsed);
  return out;
}

}  // namespace

TEST(LdapNames, DottedNamesBecomeDistinguishedNamesAndBack) {
  EXPECT_EQ(Dn(Typed("CN=JSMITH.OU=SALES.O=ACME")), "cn=JSMITH,ou=SALES,o=ACME");
  EXPECT_EQ(Dn(Typed("L=CHICAGO.C=US")), "l=CHICAGO,c=US");
  EXPECT_EQ(Dn(DName{}), "");

  DName back;
  ASSERT_TRUE(DnToName("CN=JSmith, OU=Sales,o=ACME", &back));
  EXPECT_EQ(FormatName(back, false), "CN=JSmith.OU=Sales.O=ACME");
  ASSERT_TRUE(DnToName("2.5.4.3=X,organizationName=ACME", &back));
  EXPECT_EQ(FormatName(back, false), "CN=X.O=ACME");
  ASSERT_TRUE(DnToName("st=IL,c=US", &back));
  EXPECT_EQ(FormatName(back, false), "S=IL.C=US");
  EXPECT_TRUE(DnToName("", &back));
  EXPECT_TRUE(back.IsRoot());

  // Names the dotted form cannot hold.
  EXPECT_FALSE(DnToName("uid=jsmith,ou=people,dc=example,dc=com", &back));
  EXPECT_FALSE(DnToName("cn=a+sn=b,o=ACME", &back));
  EXPECT_FALSE(DnToName("cn=#04024869,o=ACME", &back));
  EXPECT_FALSE(DnToName("cn=" + std::string(65, 'x') + ",o=ACME", &back));
  EXPECT_FALSE(DnToName("not a dn", &back));
  // Entries of a listing whose DN is not "<one part>,<the container's DN>"
  // are read whole, and refused as DnToName refuses them.
  const DName acme = Typed("O=ACME");
  std::size_t rdnLength = 1;
  ASSERT_TRUE(ChildDnToName("cn=A,ou=SALES,o=ACME", "o=ACME", acme, &back, &rdnLength));  // further down
  EXPECT_EQ(FormatName(back, false), "CN=A.OU=SALES.O=ACME");
  EXPECT_EQ(rdnLength, 0u);
  ASSERT_TRUE(ChildDnToName("cn=A,O=Acme", "o=ACME", acme, &back, &rdnLength));  // spelled otherwise
  EXPECT_EQ(FormatName(back, false), "CN=A.O=Acme");
  EXPECT_EQ(rdnLength, 0u);
  bool uidLeaf = false;
  ASSERT_TRUE(ChildDnToName("uid=jdoe,o=ACME", "o=ACME", acme, &back, &rdnLength, &uidLeaf));
  EXPECT_TRUE(uidLeaf);
  EXPECT_EQ(rdnLength, 8u);
  EXPECT_FALSE(ChildDnToName("cn=x,uid=jdoe,o=ACME", "uid=jdoe,o=ACME", Typed("CN=jdoe.O=ACME"), &back, &rdnLength));
  EXPECT_FALSE(ChildDnToName("cn=a+sn=b,o=ACME", "o=ACME", acme, &back, &rdnLength));
  EXPECT_FALSE(ChildDnToName("cn=" + std::string(65, 'x') + ",o=ACME", "o=ACME", acme, &back, &rdnLength));
  EXPECT_FALSE(ChildDnToName("cn=a\\0Ab,o=ACME", "o=ACME", acme, &back, &rdnLength));
  EXPECT_TRUE(back.IsRoot());
  DName untyped;
  untyped.parts.push_back({"", "X"});
  std::string dn;
  EXPECT_FALSE(NameToDn(untyped, &dn));
}

TEST(LdapNames, SpecialCharactersSurviveBothWays) {
  // Commas, plus signs, backslashes, dots, quotes, edge blanks, a leading '#'.
  const std::vector<std::string> values = {"Smith, John", "A+B", "back\\slash", "J.Doe", "say \"hi\"",
                                           " lead", "trail ", "#hash", "a=b", "semi;colon", "<angle>"};
  for (const std::string& v : values) {
    DName name;
    name.parts = {{"CN", v}, {"O", "ACME"}};
    const std::string dn = Dn(name);
    EXPECT_EQ(LdapValues(dn), (std::vector<std::string>{v, "ACME"})) << dn;
    DName back;
    ASSERT_TRUE(DnToName(dn, &back)) << dn;
    EXPECT_TRUE(SameName(back, name)) << dn;
    EXPECT_EQ(back.parts[0].value, v);
    // As an entry of a listing of o=ACME: only the first part is parsed.
    DName child;
    std::size_t rdnLength = 0;
    ASSERT_TRUE(ChildDnToName(dn, "o=ACME", Typed("O=ACME"), &child, &rdnLength)) << dn;
    EXPECT_TRUE(SameName(child, name)) << dn;
    EXPECT_EQ(rdnLength, dn.size() - std::string(",o=ACME").size()) << dn;
  }
  EXPECT_EQ(EscapeDnValue("Smith, John"), "Smith\\, John");
  EXPECT_EQ(EscapeDnValue("A+B\\C"), "A\\+B\\\\C");
  EXPECT_EQ(EscapeDnValue(std::string("nul\0x", 5)), "nul\\00x");
  // A dotted name with an escaped dot names one part with a dot in it.
  DName dotted = Typed("CN=J\\.Doe.OU=SALES.O=ACME");
  EXPECT_EQ(Dn(dotted), "cn=J.Doe,ou=SALES,o=ACME");
}

TEST(LdapNames, FilterValuesAreEscaped) {
  EXPECT_EQ(EscapeFilterValue("STAR*"), "STAR\\2A");
  EXPECT_EQ(EscapeFilterValue("(a)\\b"), "\\28a\\29\\5Cb");
  EXPECT_EQ(EscapeFilterValue(std::string("x\0y", 3)), "x\\00y");
  EXPECT_EQ(EscapeFilterValue("plain value"), "plain value");
  // The same as libldap's own escaping.
  for (std::string v : {"*)(objectClass=*", "a\\*b", "((("}) {
    berval in{v.size(), v.data()};
    berval out{};
    ASSERT_EQ(ldap_bv2escaped_filter_value(&in, &out), 0);
    EXPECT_EQ(EscapeFilterValue(v), std::string(out.bv_val, out.bv_len));
    ber_memfree(out.bv_val);
  }
}

TEST(LdapNames, AttributeAndClassNamesMapBothWays) {
  NameMap map;
  EXPECT_EQ(map.AttributeToLdap("Full Name"), "fullName");
  EXPECT_EQ(map.AttributeToLdap("full name"), "fullName");
  EXPECT_EQ(map.AttributeToLdap("EMail Address"), "mail");
  EXPECT_EQ(map.AttributeToNds("MAIL"), "EMail Address");
  EXPECT_EQ(map.AttributeToNds("surname"), "Surname");
  EXPECT_EQ(map.AttributeToLdap("Host Resource Name"), "hostResourceName");
  EXPECT_EQ(map.ClassToLdap("User"), "inetOrgPerson");
  EXPECT_EQ(map.ClassToNds("groupOfNames"), "Group");
  EXPECT_EQ(map.ClassToNds("ndsUser"), "User");
  // eDirectory's rule for names without an entry, both ways.
  EXPECT_EQ(map.AttributeToLdap("Login Grace Limit"), "loginGraceLimit");
  EXPECT_EQ(map.AttributeToNds("loginGraceLimit"), "Login Grace Limit");
  EXPECT_EQ(map.AttributeToNds("someVendorThing"), "someVendorThing");

  // The server's schema wins over the table, the description over both.
  map.AddAttribute("Full Name", "displayName", NameMap::kServer);
  EXPECT_EQ(map.AttributeToLdap("Full Name"), "displayName");
  EXPECT_EQ(map.AttributeToNds("displayName"), "Full Name");
  map.AddAttribute("Full Name", "cn", NameMap::kOverride);
  map.AddAttribute("Full Name", "gecos", NameMap::kServer);
  EXPECT_EQ(map.AttributeToLdap("Full Name"), "cn");
  map.AddClass("User", "person", NameMap::kOverride);
  EXPECT_EQ(map.ClassToLdap("User"), "person");

  EXPECT_EQ(map.SyntaxOf("Member", "member"), static_cast<std::uint32_t>(SYN_DIST_NAME));
  map.SetSyntaxOid("vendorFlag", "1.3.6.1.4.1.1466.115.121.1.7");
  EXPECT_EQ(map.SyntaxOf("vendorFlag", "vendorFlag"), static_cast<std::uint32_t>(SYN_BOOLEAN));
  map.SetSyntaxOid("ndsThing", "2.16.840.1.113719.1.1.5.1.25");
  EXPECT_EQ(map.SyntaxOf("ndsThing", "ndsThing"), static_cast<std::uint32_t>(SYN_TYPED_NAME));
  EXPECT_EQ(map.SyntaxOf("vendorText", "vendorText"), static_cast<std::uint32_t>(SYN_CI_STRING));
}

TEST(LdapValues, ValuesConvertByTheirSyntaxBothWays) {
  NameMap map;
  Value v;
  ASSERT_TRUE(ValueFromLdap(SYN_DIST_NAME, "cn=JSMITH,ou=SALES,o=ACME", map, &v));
  EXPECT_EQ(*v.Text(), "CN=JSMITH.OU=SALES.O=ACME");
  EXPECT_FALSE(ValueFromLdap(SYN_DIST_NAME, "uid=x,dc=example", map, &v));

  ASSERT_TRUE(ValueFromLdap(SYN_PATH, "cn=ACME-FS1_DATA,o=ACME#0#HOME\\JSMITH", map, &v));
  EXPECT_EQ(v.Path()->volume, "CN=ACME-FS1_DATA.O=ACME");
  EXPECT_EQ(v.Path()->nameSpace, 0u);
  EXPECT_EQ(v.Path()->path, "HOME\\JSMITH");
  ASSERT_TRUE(ValueFromLdap(SYN_PATH, "cn=V,o=ACME#4#A#1#B", map, &v));  // '#' in the path
  EXPECT_EQ(v.Path()->nameSpace, 4u);
  EXPECT_EQ(v.Path()->path, "A#1#B");
  EXPECT_FALSE(ValueFromLdap(SYN_PATH, "no separators", map, &v));

  ASSERT_TRUE(ValueFromLdap(SYN_TYPED_NAME, "cn=Q-ENG,ou=ENGINEERING,o=ACME#1#0", map, &v));
  EXPECT_EQ(v.TypedName()->name, "CN=Q-ENG.OU=ENGINEERING.O=ACME");
  EXPECT_EQ(v.TypedName()->level, 1u);
  EXPECT_FALSE(ValueFromLdap(SYN_TYPED_NAME, "cn=Q,o=ACME#x#0", map, &v));

  ASSERT_TRUE(ValueFromLdap(SYN_EMAIL_ADDRESS, "jsmith@acme.com", map, &v));
  EXPECT_EQ(v.Email()->type, 0u);
  EXPECT_EQ(v.Email()->address, "jsmith@acme.com");
  ASSERT_TRUE(ValueFromLdap(SYN_BOOLEAN, "TRUE", map, &v));
  EXPECT_TRUE(*v.Boolean());
  EXPECT_FALSE(ValueFromLdap(SYN_BOOLEAN, "yes", map, &v));
  ASSERT_TRUE(ValueFromLdap(SYN_INTEGER, "-42", map, &v));
  EXPECT_EQ(*v.Integer(), -42);
  EXPECT_FALSE(ValueFromLdap(SYN_INTEGER, "12x", map, &v));
  EXPECT_FALSE(ValueFromLdap(SYN_INTEGER, "99999999999", map, &v));
  ASSERT_TRUE(ValueFromLdap(SYN_TIME, "19980915083000Z", map, &v));
  EXPECT_EQ(static_cast<std::uint32_t>(*v.Integer()), 905848200u);
  ASSERT_TRUE(ValueFromLdap(SYN_CLASS_NAME, "groupOfNames", map, &v));
  EXPECT_EQ(*v.Text(), "Group");
  ASSERT_TRUE(ValueFromLdap(SYN_STREAM, std::string("A\r\nB\0C", 6), map, &v));
  EXPECT_EQ(v.Octets()->size(), 6u);
  EXPECT_FALSE(ValueFromLdap(SYN_OBJECT_ACL, "x", map, &v));

  // Back to LDAP text and round again.
  const std::vector<Value> values = {
      {SYN_DIST_NAME, std::string("CN=A\\.B.O=ACME")},
      {SYN_PATH, PathValue{0, "CN=V.O=ACME", "HOME\\X"}},
      {SYN_TYPED_NAME, TypedNameValue{"CN=Q.O=ACME", 2, 30}},
      {SYN_EMAIL_ADDRESS, EmailValue{3, "x@y"}},
      {SYN_TIME, std::int32_t{905848200}},
      {SYN_BOOLEAN, false},
      {SYN_CLASS_NAME, std::string("Organizational Unit")},
  };
  for (const Value& value : values) {
    std::string text;
    ASSERT_TRUE(ValueToLdap(value, map, &text)) << value.syntax;
    Value again;
    ASSERT_TRUE(ValueFromLdap(value.syntax, text, map, &again)) << text;
    std::string textAgain;
    ASSERT_TRUE(ValueToLdap(again, map, &textAgain));
    EXPECT_EQ(textAgain, text);
    EXPECT_EQ(again.data.index(), value.data.index());
  }
}

TEST(LdapValues, GeneralizedTimesAndIds) {
  EXPECT_EQ(ParseGeneralizedTime("19700101000000Z"), 0);
  EXPECT_EQ(ParseGeneralizedTime("1998091508Z"), 905846400);
  EXPECT_EQ(ParseGeneralizedTime("19980915083000.123Z"), 905848200);
  EXPECT_EQ(ParseGeneralizedTime("19980915103000+0200"), 905848200);
  EXPECT_FALSE(ParseGeneralizedTime("19980915083000"));  // no zone
  EXPECT_FALSE(ParseGeneralizedTime("19981315083000Z"));
  EXPECT_FALSE(ParseGeneralizedTime("garbage"));
  EXPECT_EQ(FormatGeneralizedTime(905848200), "19980915083000Z");

  const std::uint32_t a = IdFromIdentifier("d5afa2ea-8792-1041-93ed-59a91b2cf62b");
  EXPECT_EQ(a, IdFromIdentifier("D5AFA2EA-8792-1041-93ED-59A91B2CF62B"));
  EXPECT_NE(a, IdFromIdentifier("d5afa2ea-8792-1041-93ed-59a91b2cf62c"));
  EXPECT_NE(a, 0u);
  EXPECT_NE(a, 0xFFFFFFFFu);
}
