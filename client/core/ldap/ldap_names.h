// Between the NetWare directory's names and values and LDAP's: attribute and
// class names by a table, dotted names and distinguished names, filter
// escaping, and attribute values by syntax. Shared by the LDAP store and the
// LDIF loader.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "directory.h"
#include "names.h"
#include "network.h"

namespace nwc::ldap {

// Attribute and class names both ways. Three layers, the later ones win:
// the built-in table (as eDirectory maps its schema), the server's own schema
// where it publishes X-NDS_NAME, and the overrides of the network
// description. Names without an entry map by eDirectory's rule (spaces
// dropped, first letter lower case: "Login Grace Limit" <-> "loginGraceLimit").
// All look-ups ignore case.
class NameMap {
 public:
  enum Layer { kDefault = 0, kServer = 1, kOverride = 2 };

  NameMap();

  void AddAttribute(std::string_view nds, std::string_view ldap, Layer layer);
  void AddClass(std::string_view nds, std::string_view ldap, Layer layer);
  // Another LDAP name (an alias such as "surname" for "sn") of a mapped name.
  void AddAttributeAlias(std::string_view ldapAlias, std::string_view ldapName);
  void AddClassAlias(std::string_view ldapAlias, std::string_view ldapName);

  std::string AttributeToLdap(std::string_view nds) const;
  std::string AttributeToNds(std::string_view ldap) const;
  // Every LDAP name that reads as the directory attribute `nds` (its own and
  // the others mapped onto it, such as uniqueMember for Member).
  std::vector<std::string> AttributeLdapNames(std::string_view nds) const;
  std::string ClassToLdap(std::string_view nds) const;
  std::string ClassToNds(std::string_view ldap) const;

  // What the server's schema tells about LDAP names (lower case keys).
  void SetSyntaxOid(std::string_view ldapAttr, std::string_view oid);
  std::string SyntaxOid(std::string_view ldapAttr) const;
  void SetAuxiliary(std::string_view ldapClass);
  bool IsAuxiliary(std::string_view ldapClass) const;
  // Attributes the server keeps for itself (USAGE other than
  // userApplications, such as 389's aci): never shown as data.
  void SetOperational(std::string_view ldapAttr);
  bool IsOperational(std::string_view ldapAttr) const;
  // Whether an LDAP attribute name has been mapped above the built-in
  // table (by the server's schema or the description).
  bool AttributeMappedAbove(std::string_view nds, Layer layer) const;

  // The directory syntax (SYN_*) of an attribute: the catalogue's when it
  // knows the directory name, else from the LDAP syntax.
  std::uint32_t SyntaxOf(std::string_view ndsName, std::string_view ldapName) const;

 private:
  struct Target {
    std::string name;
    Layer layer;
  };
  std::map<std::string, Target> attrToLdap_, attrToNds_, classToLdap_, classToNds_;
  std::map<std::string, std::string> syntaxOids_;
  std::map<std::string, bool> auxiliary_;
  std::set<std::string> operational_;

  static void Add(std::map<std::string, Target>& forward, std::map<std::string, Target>& back,
                  std::string_view nds, std::string_view ldap, Layer layer);
};

// eDirectory's rule for names without a table entry: "Login Grace Limit" ->
// "loginGraceLimit".
std::string AlgorithmicLdapName(std::string_view nds);

// ---- names ---------------------------------------------------------------

// LDAP attribute of a naming type ("CN" -> "cn", "S" -> "st", "SA" ->
// "street"); empty when `type` is none.
std::string_view NamingAttribute(std::string_view type);
// Naming type of an LDAP naming attribute, by name or OID ("cn", "2.5.4.3",
// "commonName" -> "CN"); empty when it is none.
std::string NamingTypeOf(std::string_view ldapAttr);

// A typed absolute name as a distinguished name (RFC 4514), leaf first:
// CN=A.OU=B.O=C -> cn=A,ou=B,o=C; the root gives "". False when a part has
// no naming type the mapping knows.
bool NameToDn(const DName& name, std::string* dn);
// A distinguished name as a typed absolute name. False when it does not
// parse, has a multi-valued or binary part, a type that is no naming type, or
// is longer than a directory name may be. With `uidLeaf`, a leaf named by
// uid (uid=jdoe,ou=people,...) is accepted as a CN and *uidLeaf says so: its
// DN is then not the one NameToDn makes, and the caller keeps it.
bool DnToName(std::string_view dn, DName* name, bool* uidLeaf = nullptr);
// The same for the DN of an entry directly below `parentDn`, whose dotted
// name is `parent`: only the first part is parsed when the DN ends in
// ",<parentDn>" as the server spelled it, and `rdnLength` is then that
// part's length (else 0, and the whole DN is parsed).
bool ChildDnToName(std::string_view dn, std::string_view parentDn, const DName& parent, DName* name,
                   std::size_t* rdnLength, bool* uidLeaf = nullptr);
// uid by its names and OID.
bool IsUidAttribute(std::string_view attr);
// One value escaped for a distinguished name (RFC 4514 section 2.4). Our
// own writer: libldap's refuses values that are not UTF-8, which the
// client's names may hold.
std::string EscapeDnValue(std::string_view value);
// One value escaped for a search filter (RFC 4515 section 3).
std::string EscapeFilterValue(std::string_view value);
// A key that is equal for equal names: the name's typed form, upper-cased.
std::string NameKey(const DName& name);

// ---- values --------------------------------------------------------------

// An LDAP value as the neutral value of directory syntax `syntax`; false when
// it does not fit the syntax. Class names are mapped through `map`.
bool ValueFromLdap(std::uint32_t syntax, std::string_view text, const NameMap& map, Value* out);
// A neutral value as its LDAP text; false when the syntax has no LDAP form.
bool ValueToLdap(const Value& value, const NameMap& map, std::string* out);

// ---- entries ---------------------------------------------------------------

// An entry as the server (or an LDIF file) gives it: attributes in order.
struct RawEntry {
  std::string dn;
  std::vector<std::pair<std::string, std::vector<std::string>>> attributes;

  const std::vector<std::string>* Get(std::string_view ldapName) const;
  const std::string* First(std::string_view ldapName) const;
};

// The base class of an entry: its structural class where the server names
// it, else the first of its classes the directory knows.
std::string BaseClassOf(const NameMap& map, const RawEntry& entry);

// The entry's directory attributes in its order with "Object Class" first
// (the base class, then the other classes; auxiliary ones left out).
// Operational and password attributes are left out, and so are attributes
// whose syntax has no neutral form. A value that does not fit its syntax is
// dropped; with `strict` the conversion stops there instead, and `fault`
// names the attribute. The naming attribute is added when the entry lacks it.
bool ConvertAttributes(const NameMap& map, const RawEntry& entry, const DName& name, const std::string& baseClass,
                       bool strict, std::vector<AttributeValues>* out, std::string* fault);

// GeneralizedTime ("19980915083000Z", fractions and offsets allowed) as
// seconds since 1970 (UTC); nothing when it is not one.
std::optional<std::int64_t> ParseGeneralizedTime(std::string_view text);
std::string FormatGeneralizedTime(std::int64_t seconds);

// A 32-bit entry ID (client byte order) from a stable identifier of an entry
// (entryUUID text, GUID bytes). Never 0 or FFFFFFFF.
std::uint32_t IdFromIdentifier(std::string_view identifier);

}  // namespace nwc::ldap
