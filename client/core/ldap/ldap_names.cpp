// Between the directory's names and values and LDAP's: the name table,
// dotted names and DNs, escaping, and values by syntax.
#include "ldap_names.h"

#include <ldap.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "common/nwtext.h"
#include "nwclient.h"
#include "schema.h"

namespace nwc::ldap {

namespace {

// The directory's names and the LDAP names eDirectory gives them.
constexpr std::pair<std::string_view, std::string_view> kDefaultAttributes[] = {
    {"CN", "cn"},
    {"OU", "ou"},
    {"O", "o"},
    {"C", "c"},
    {"L", "l"},
    {"S", "st"},
    {"SA", "street"},
    {"Object Class", "objectClass"},
    {"Aliased Object Name", "aliasedObjectName"},
    {"Description", "description"},
    {"Full Name", "fullName"},
    {"Given Name", "givenName"},
    {"Surname", "sn"},
    {"Initials", "initials"},
    {"Generational Qualifier", "generationQualifier"},
    {"Title", "title"},
    {"Telephone Number", "telephoneNumber"},
    {"Facsimile Telephone Number", "facsimileTelephoneNumber"},
    {"EMail Address", "mail"},
    {"Login Script", "loginScript"},
    {"Home Directory", "ndsHomeDirectory"},
    {"Member", "member"},
    {"Group Membership", "groupMembership"},
    {"Security Equals", "securityEquals"},
    {"Equivalent To Me", "equivalentToMe"},
    {"Host Device", "hostDevice"},
    {"Host Server", "hostServer"},
    {"Host Resource Name", "hostResourceName"},
    {"Queue", "queue"},
    {"Queue Directory", "queueDirectory"},
    {"Printer", "ndsPrinter"},
    {"Volume", "ndsVolume"},
    {"Version", "version"},
    {"Operator", "operator"},
    {"Network Address", "networkAddress"},
    {"Role Occupant", "roleOccupant"},
    {"See Also", "seeAlso"},
    {"Owner", "owner"},
    {"Serial Number", "serialNumber"},
    {"Postal Code", "postalCode"},
    {"Postal Address", "postalAddress"},
    {"Postal Office Box", "postOfficeBox"},
    {"Physical Delivery Office Name", "physicalDeliveryOfficeName"},
    {"Login Disabled", "loginDisabled"},
    {"Login Expiration Time", "loginExpirationTime"},
    {"Password Required", "passwordRequired"},
    {"Password Minimum Length", "passwordMinimumLength"},
    // The standard schema's user IDs, as eDirectory maps them: uid is a
    // text (the login name), uidNumber and gidNumber the POSIX numbers.
    {"Unique ID", "uid"},
    {"UID", "uidNumber"},
    {"GID", "gidNumber"},
};

constexpr std::pair<std::string_view, std::string_view> kDefaultClasses[] = {
    {"Top", "top"},
    {"Alias", "alias"},
    {"Country", "country"},
    {"Locality", "locality"},
    {"Organization", "organization"},
    {"Organizational Unit", "organizationalUnit"},
    {"Organizational Role", "organizationalRole"},
    {"Organizational Person", "organizationalPerson"},
    {"Person", "person"},
    {"User", "inetOrgPerson"},
    {"Group", "groupOfNames"},
    {"Device", "device"},
    {"Printer", "ndsPrinter"},
    {"Resource", "resource"},
    {"Queue", "queue"},
    {"Volume", "ndsVolume"},
    {"Directory Map", "directoryMap"},
    {"Server", "ndsServer"},
    {"NCP Server", "ncpServer"},
    {"Print Server", "nDSPrintServer"},
    {"Profile", "profile"},
    {"Computer", "ndsComputer"},
    {"ndsLoginProperties", "ndsLoginProperties"},
};

constexpr std::pair<std::string_view, std::string_view> kNamingAttributes[] = {
    {"CN", "cn"}, {"OU", "ou"}, {"O", "o"}, {"C", "c"}, {"L", "l"}, {"S", "st"}, {"SA", "street"},
};

// Other spellings of the naming attributes: long names and OIDs.
constexpr std::pair<std::string_view, std::string_view> kNamingAliases[] = {
    {"commonname", "CN"},          {"2.5.4.3", "CN"},  {"organizationalunitname", "OU"}, {"2.5.4.11", "OU"},
    {"organizationname", "O"},     {"2.5.4.10", "O"},  {"countryname", "C"},             {"2.5.4.6", "C"},
    {"localityname", "L"},         {"2.5.4.7", "L"},   {"stateorprovincename", "S"},     {"2.5.4.8", "S"},
    {"streetaddress", "SA"},       {"2.5.4.9", "SA"},
};

// "loginGraceLimit" -> "Login Grace Limit": the directory name eDirectory's
// rule would have made it from, when that is a name the catalogue knows.
std::string SpacedName(std::string_view ldap) {
  std::string out;
  for (std::size_t i = 0; i < ldap.size(); ++i) {
    char c = ldap[i];
    if (i == 0) c = nwtext::UpperChar(c);
    if (i > 0 && c >= 'A' && c <= 'Z') out.push_back(' ');
    out.push_back(c);
  }
  return out;
}

bool ParseDecimal(std::string_view text, std::int64_t lo, std::int64_t hi, std::int64_t* out) {
  // A plus sign may lead; the number parser takes only a minus.
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  const std::optional<std::int64_t> v = nwtext::ParseNumber<std::int64_t>(text);
  if (!v || *v < lo || *v > hi) return false;
  *out = *v;
  return true;
}

// "<dn>#<n>#<m>": the name and the two numbers after it.
bool SplitNameAndTwoNumbers(std::string_view text, std::string_view* name, std::int64_t* a, std::int64_t* b) {
  std::size_t second = text.rfind('#');
  if (second == std::string_view::npos || second == 0) return false;
  std::size_t first = text.rfind('#', second - 1);
  if (first == std::string_view::npos) return false;
  if (!ParseDecimal(text.substr(first + 1, second - first - 1), 0, UINT32_MAX, a)) return false;
  if (!ParseDecimal(text.substr(second + 1), 0, UINT32_MAX, b)) return false;
  *name = text.substr(0, first);
  return true;
}

// A DN value read from the server; a user named by uid is named as its
// server lists it.
bool TypedDn(std::string_view dn, std::string* out) {
  DName name;
  bool uidLeaf = false;
  if (!DnToName(dn, &name, &uidLeaf)) return false;
  *out = FormatName(name, false);
  return true;
}

bool DnOfTyped(const std::string& typed, std::string* dn) {
  DName name;
  if (CanonicalizeName(typed, DName{}, TypeOracle{}, &name) != 0) return false;
  return NameToDn(name, dn);
}

}  // namespace

// ---- the name table --------------------------------------------------------

NameMap::NameMap() {
  for (const auto& [nds, ldap] : kDefaultAttributes) AddAttribute(nds, ldap, kDefault);
  for (const auto& [nds, ldap] : kDefaultClasses) AddClass(nds, ldap, kDefault);
  AddAttributeAlias("surname", "sn");
  AddAttributeAlias("commonName", "cn");
  AddAttributeAlias("organizationName", "o");
  AddAttributeAlias("organizationalUnitName", "ou");
  AddAttributeAlias("countryName", "c");
  AddAttributeAlias("localityName", "l");
  AddAttributeAlias("stateOrProvinceName", "st");
  AddAttributeAlias("streetAddress", "street");
  AddAttributeAlias("rfc822Mailbox", "mail");
  AddAttributeAlias("aliasedEntryName", "aliasedObjectName");
  // The user classes of client/ldap/nds.schema, for LDIF files read without
  // a server's schema.
  AddClassAlias("ndsUser", "inetOrgPerson");
  AddClassAlias("ndsOrganizationalPerson", "organizationalPerson");
  AddClassAlias("ndsPerson", "person");
  // The standard schema's other group, as 389 Directory Server and others
  // keep them: a Group whose members are in uniqueMember.
  AddClassAlias("groupOfUniqueNames", "groupOfNames");
  // The users 389 Directory Server's own tools make.
  AddClassAlias("nsPerson", "inetOrgPerson");
  AddClassAlias("nsOrgPerson", "organizationalPerson");
  AddAttributeAlias("uniqueMember", "member");
  SetAuxiliary("ndsLoginProperties");
}

void NameMap::Add(std::map<std::string, Target>& forward, std::map<std::string, Target>& back,
                  std::string_view nds, std::string_view ldap, Layer layer) {
  if (nds.empty() || ldap.empty()) return;
  auto f = forward.find(nwtext::LowerAscii(nds));
  if (f == forward.end() || f->second.layer <= layer) forward[nwtext::LowerAscii(nds)] = {std::string(ldap), layer};
  auto b = back.find(nwtext::LowerAscii(ldap));
  if (b == back.end() || b->second.layer <= layer) back[nwtext::LowerAscii(ldap)] = {std::string(nds), layer};
}

void NameMap::AddAttribute(std::string_view nds, std::string_view ldap, Layer layer) {
  Add(attrToLdap_, attrToNds_, nds, ldap, layer);
}

void NameMap::AddClass(std::string_view nds, std::string_view ldap, Layer layer) {
  Add(classToLdap_, classToNds_, nds, ldap, layer);
}

void NameMap::AddAttributeAlias(std::string_view ldapAlias, std::string_view ldapName) {
  auto it = attrToNds_.find(nwtext::LowerAscii(ldapName));
  if (it != attrToNds_.end() && attrToNds_.count(nwtext::LowerAscii(ldapAlias)) == 0) attrToNds_[nwtext::LowerAscii(ldapAlias)] = it->second;
}

void NameMap::AddClassAlias(std::string_view ldapAlias, std::string_view ldapName) {
  auto it = classToNds_.find(nwtext::LowerAscii(ldapName));
  if (it != classToNds_.end() && classToNds_.count(nwtext::LowerAscii(ldapAlias)) == 0) classToNds_[nwtext::LowerAscii(ldapAlias)] = it->second;
}

std::string NameMap::AttributeToLdap(std::string_view nds) const {
  auto it = attrToLdap_.find(nwtext::LowerAscii(nds));
  return it != attrToLdap_.end() ? it->second.name : AlgorithmicLdapName(nds);
}

std::string NameMap::AttributeToNds(std::string_view ldap) const {
  auto it = attrToNds_.find(nwtext::LowerAscii(ldap));
  if (it != attrToNds_.end()) return it->second.name;
  if (const AttributeDef* def = FindAttribute(SpacedName(ldap)); def && EqualNoCase(AlgorithmicLdapName(def->name), ldap)) {
    return std::string(def->name);
  }
  return std::string(ldap);
}

std::vector<std::string> NameMap::AttributeLdapNames(std::string_view nds) const {
  std::vector<std::string> names{AttributeToLdap(nds)};
  for (const auto& [ldap, target] : attrToNds_) {
    if (EqualNoCase(target.name, nds) && !EqualNoCase(ldap, names.front())) names.push_back(ldap);
  }
  return names;
}

std::string NameMap::ClassToLdap(std::string_view nds) const {
  auto it = classToLdap_.find(nwtext::LowerAscii(nds));
  return it != classToLdap_.end() ? it->second.name : AlgorithmicLdapName(nds);
}

std::string NameMap::ClassToNds(std::string_view ldap) const {
  auto it = classToNds_.find(nwtext::LowerAscii(ldap));
  if (it != classToNds_.end()) return it->second.name;
  if (const ClassDef* def = FindClass(SpacedName(ldap)); def && EqualNoCase(AlgorithmicLdapName(def->name), ldap)) {
    return std::string(def->name);
  }
  return std::string(ldap);
}

void NameMap::SetSyntaxOid(std::string_view ldapAttr, std::string_view oid) {
  syntaxOids_[nwtext::LowerAscii(ldapAttr)] = std::string(oid);
}

std::string NameMap::SyntaxOid(std::string_view ldapAttr) const {
  auto it = syntaxOids_.find(nwtext::LowerAscii(ldapAttr));
  return it == syntaxOids_.end() ? std::string() : it->second;
}

void NameMap::SetAuxiliary(std::string_view ldapClass) { auxiliary_[nwtext::LowerAscii(ldapClass)] = true; }

bool NameMap::IsAuxiliary(std::string_view ldapClass) const {
  // extensibleObject is auxiliary everywhere, schema read or not.
  return EqualNoCase(ldapClass, "extensibleObject") || auxiliary_.count(nwtext::LowerAscii(ldapClass)) != 0;
}

void NameMap::SetOperational(std::string_view ldapAttr) { operational_.insert(nwtext::LowerAscii(ldapAttr)); }

bool NameMap::IsOperational(std::string_view ldapAttr) const {
  return operational_.count(nwtext::LowerAscii(ldapAttr)) != 0;
}

bool NameMap::AttributeMappedAbove(std::string_view nds, Layer layer) const {
  auto it = attrToLdap_.find(nwtext::LowerAscii(nds));
  return it != attrToLdap_.end() && it->second.layer > layer;
}

std::uint32_t NameMap::SyntaxOf(std::string_view ndsName, std::string_view ldapName) const {
  if (const AttributeDef* def = FindAttribute(ndsName)) return def->syntax;
  const std::string oid = SyntaxOid(ldapName);
  // eDirectory names its syntaxes 2.16.840.1.113719.1.1.5.1.<syntax ID>.
  constexpr std::string_view kNdsArc = "2.16.840.1.113719.1.1.5.1.";
  if (oid.rfind(kNdsArc, 0) == 0) {
    std::int64_t id = 0;
    if (ParseDecimal(std::string_view(oid).substr(kNdsArc.size()), 0, SYN_INTERVAL, &id)) {
      return static_cast<std::uint32_t>(id);
    }
  }
  static const std::pair<std::string_view, std::uint32_t> kSyntaxes[] = {
      {"1.3.6.1.4.1.1466.115.121.1.12", SYN_DIST_NAME},  {"1.3.6.1.4.1.1466.115.121.1.7", SYN_BOOLEAN},
      {"1.3.6.1.4.1.1466.115.121.1.27", SYN_INTEGER},    {"1.3.6.1.4.1.1466.115.121.1.24", SYN_TIME},
      {"1.3.6.1.4.1.1466.115.121.1.40", SYN_OCTET_STRING}, {"1.3.6.1.4.1.1466.115.121.1.5", SYN_OCTET_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.28", SYN_OCTET_STRING}, {"1.3.6.1.4.1.1466.115.121.1.8", SYN_OCTET_STRING},
      {"1.3.6.1.4.1.1466.115.121.1.50", SYN_TEL_NUMBER}, {"1.3.6.1.4.1.1466.115.121.1.22", SYN_FAX_NUMBER},
      {"1.3.6.1.4.1.1466.115.121.1.44", SYN_PR_STRING},  {"1.3.6.1.4.1.1466.115.121.1.36", SYN_NU_STRING},
  };
  for (const auto& [o, syntax] : kSyntaxes) {
    if (oid == o) return syntax;
  }
  return SYN_CI_STRING;
}

std::string AlgorithmicLdapName(std::string_view nds) {
  std::string out;
  for (char c : nds) {
    if (c == ' ') continue;
    if (out.empty()) c = nwtext::LowerChar(c);
    out.push_back(c);
  }
  return out;
}

// ---- names -----------------------------------------------------------------

std::string_view NamingAttribute(std::string_view type) {
  for (const auto& [t, attr] : kNamingAttributes) {
    if (EqualNoCase(t, type)) return attr;
  }
  return {};
}

std::string NamingTypeOf(std::string_view ldapAttr) {
  for (const auto& [t, attr] : kNamingAttributes) {
    if (EqualNoCase(attr, ldapAttr)) return std::string(t);
  }
  const std::string lower = nwtext::LowerAscii(ldapAttr);
  for (const auto& [alias, t] : kNamingAliases) {
    if (lower == alias) return std::string(t);
  }
  return {};
}

std::string EscapeDnValue(std::string_view value) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size() + 4);
  for (std::size_t i = 0; i < value.size(); ++i) {
    const auto c = static_cast<unsigned char>(value[i]);
    const bool edgeSpace = c == ' ' && (i == 0 || i + 1 == value.size());
    if (c == '"' || c == '+' || c == ',' || c == ';' || c == '<' || c == '>' || c == '\\' || edgeSpace ||
        (c == '#' && i == 0) || c == '=') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c < 0x20 || c == 0x7F) {
      out.push_back('\\');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

std::string EscapeFilterValue(std::string_view value) {
  berval in{value.size(), const_cast<char*>(value.data())};
  berval out{};
  if (ldap_bv2escaped_filter_value(&in, &out) != 0) throw std::bad_alloc();
  std::string escaped(out.bv_val, out.bv_len);
  ber_memfree(out.bv_val);
  return escaped;
}

bool NameToDn(const DName& name, std::string* dn) {
  std::string out;
  for (const Rdn& part : name.parts) {
    const std::string_view attr = NamingAttribute(part.type);
    if (attr.empty()) return false;
    if (!out.empty()) out.push_back(',');
    out.append(attr);
    out.push_back('=');
    out += EscapeDnValue(part.value);
  }
  *dn = std::move(out);
  return true;
}

bool IsUidAttribute(std::string_view attr) {
  return EqualNoCase(attr, "uid") || EqualNoCase(attr, "userid") || attr == "0.9.2342.19200300.100.1.1";
}

namespace {

// One part of a DN as a part of a dotted name: single-valued, a naming type
// the directory knows (or uid on the first part, taken for CN), a value that
// is no longer than a part may be and holds no control character.
std::string_view TrimmedAttr(std::string_view attr) {
  while (!attr.empty() && attr.front() == ' ') attr.remove_prefix(1);
  while (!attr.empty() && attr.back() == ' ') attr.remove_suffix(1);
  return attr;
}

bool PartOfRdn(const LDAPRDN rdn, bool first, Rdn* part, bool* uidLeaf) {
  if (rdn[0] == nullptr || rdn[1] != nullptr) return false;  // multi-valued parts have no dotted form
  const LDAPAVA* ava = rdn[0];
  if ((ava->la_flags & LDAP_AVA_BINARY) != 0) return false;
  const std::string_view attr(ava->la_attr.bv_val, ava->la_attr.bv_len);
  part->type = NamingTypeOf(attr);
  if (part->type.empty() && first && uidLeaf != nullptr && IsUidAttribute(attr)) {
    part->type = "CN";  // a user named by uid, as most directories name them
    *uidLeaf = true;
  }
  part->value.assign(ava->la_value.bv_val, ava->la_value.bv_len);
  // Escaped control characters (\00, \0A) are in no name: such an entry
  // has no dotted name rather than a cut one.
  return !part->type.empty() && !part->value.empty() && part->value.size() <= kMaxRdnChars &&
         !HasControlCharacter(part->value);
}

}  // namespace

bool DnToName(std::string_view dn, DName* name, bool* uidLeaf) {
  if (uidLeaf != nullptr) *uidLeaf = false;
  name->parts.clear();
  if (dn.empty()) return true;
  const std::string text(dn);
  if (HasControlCharacter(text)) return false;
  LDAPDN parsed = nullptr;
  if (ldap_str2dn(text.c_str(), &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS) return false;
  bool ok = true;
  for (int i = 0; parsed != nullptr && parsed[i] != nullptr && ok; ++i) {
    Rdn part;
    ok = PartOfRdn(parsed[i], i == 0, &part, uidLeaf);
    if (ok) name->parts.push_back(std::move(part));
  }
  ldap_dnfree(parsed);
  // The length of the typed dotted form, escapes included.
  if (ok && FormatName(*name, false).size() > kMaxDnChars) ok = false;
  if (!ok) {
    name->parts.clear();
    if (uidLeaf != nullptr) *uidLeaf = false;
  }
  return ok;
}

bool ChildDnToName(std::string_view dn, std::string_view parentDn, const DName& parent, DName* name,
                   std::size_t* rdnLength, bool* uidLeaf) {
  *rdnLength = 0;
  // A parent named by uid has no dotted name for what lies below it: the
  // whole DN decides, as it does when the server spells the parent otherwise.
  const std::string_view parentType = parentDn.substr(0, parentDn.find('='));
  if (parentDn.empty() || IsUidAttribute(TrimmedAttr(parentType)) || dn.size() <= parentDn.size() + 1 ||
      dn[dn.size() - parentDn.size() - 1] != ',' || dn.substr(dn.size() - parentDn.size()) != parentDn) {
    return DnToName(dn, name, uidLeaf);
  }
  if (uidLeaf != nullptr) *uidLeaf = false;
  name->parts.clear();
  const std::string text(dn.substr(0, dn.size() - parentDn.size() - 1));
  if (HasControlCharacter(text)) return false;
  LDAPRDN rdn = nullptr;
  char* next = nullptr;
  if (ldap_str2rdn(text.c_str(), &rdn, &next, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS) return false;
  // More than one part before the parent's DN (an entry further down): the
  // whole DN decides.
  if (next == nullptr || *next != '\0') {
    ldap_rdnfree(rdn);
    return DnToName(dn, name, uidLeaf);
  }
  Rdn part;
  bool ok = PartOfRdn(rdn, true, &part, uidLeaf);
  ldap_rdnfree(rdn);
  if (ok) {
    name->parts.reserve(parent.parts.size() + 1);
    name->parts.push_back(std::move(part));
    name->parts.insert(name->parts.end(), parent.parts.begin(), parent.parts.end());
    ok = FormatName(*name, false).size() <= kMaxDnChars;
  }
  if (!ok) {
    name->parts.clear();
    if (uidLeaf != nullptr) *uidLeaf = false;
    return false;
  }
  *rdnLength = text.size();
  return true;
}

std::string NameKey(const DName& name) { return UpperAscii(FormatName(name, false)); }

// ---- values ----------------------------------------------------------------

std::optional<std::int64_t> ParseGeneralizedTime(std::string_view t) {
  auto digits = [&](std::size_t at, std::size_t n, int* out) {
    if (at + n > t.size()) return false;
    const std::optional<unsigned> v = nwtext::ParseNumber<unsigned>(t.substr(at, n));
    if (!v) return false;
    *out = static_cast<int>(*v);
    return true;
  };
  std::tm tm{};
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!digits(0, 4, &year) || !digits(4, 2, &month) || !digits(6, 2, &day) || !digits(8, 2, &hour)) return std::nullopt;
  std::size_t at = 10;
  if (digits(at, 2, &minute)) {
    at += 2;
    if (digits(at, 2, &second)) at += 2;
  }
  if (at < t.size() && (t[at] == '.' || t[at] == ',')) {
    ++at;
    while (at < t.size() && t[at] >= '0' && t[at] <= '9') ++at;
  }
  std::int64_t offset = 0;
  if (at < t.size() && t[at] == 'Z') {
    ++at;
  } else if (at < t.size() && (t[at] == '+' || t[at] == '-')) {
    const int sign = t[at] == '-' ? -1 : 1;
    int oh = 0, om = 0;
    if (!digits(at + 1, 2, &oh)) return std::nullopt;
    at += 3;
    if (digits(at, 2, &om)) at += 2;
    offset = sign * (oh * 3600 + om * 60);
  } else {
    return std::nullopt;  // local times have no fixed meaning here
  }
  if (at != t.size() || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
    return std::nullopt;
  }
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return static_cast<std::int64_t>(timegm(&tm)) - offset;
}

std::string FormatGeneralizedTime(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y%m%d%H%M%SZ", &tm);
  return buf;
}

std::uint32_t IdFromIdentifier(std::string_view identifier) {
  std::uint32_t h = 2166136261u;
  for (char c : identifier) {
    h ^= static_cast<std::uint8_t>(nwtext::LowerChar(c));
    h *= 16777619u;
  }
  if (h == 0 || h == 0xFFFFFFFFu) h = 0x00000001u;
  return IdFromDisplay(h);
}

bool ValueFromLdap(std::uint32_t syntax, std::string_view text, const NameMap& map, Value* out) {
  out->syntax = syntax;
  switch (syntax) {
    case SYN_DIST_NAME: {
      std::string typed;
      // uniqueMember may carry the member's unique ID after the name:
      // "cn=A,o=B#'0101'B".
      if (const std::size_t at = text.rfind("#'"); at != std::string_view::npos && text.size() >= at + 4 &&
                                                   text.substr(text.size() - 2) == "'B") {
        text = text.substr(0, at);
      }
      if (!TypedDn(text, &typed)) return false;
      out->data = std::move(typed);
      return true;
    }
    case SYN_CLASS_NAME:
      if (text.empty()) return false;
      out->data = map.ClassToNds(text);
      return true;
    case SYN_CE_STRING:
    case SYN_CI_STRING:
    case SYN_PR_STRING:
    case SYN_NU_STRING:
    case SYN_CI_LIST:
    case SYN_TEL_NUMBER:
    case SYN_FAX_NUMBER:
      if (text.find('\0') != std::string_view::npos) return false;
      out->data = std::string(text);
      return true;
    case SYN_BOOLEAN:
      if (EqualNoCase(text, "TRUE")) {
        out->data = true;
      } else if (EqualNoCase(text, "FALSE")) {
        out->data = false;
      } else {
        return false;
      }
      return true;
    case SYN_INTEGER:
    case SYN_COUNTER:
    case SYN_INTERVAL: {
      std::int64_t v = 0;
      if (!ParseDecimal(text, INT32_MIN, UINT32_MAX, &v)) return false;
      out->data = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
      return true;
    }
    case SYN_TIME: {
      std::int64_t v = 0;
      if (auto t = ParseGeneralizedTime(text)) {
        v = *t;
      } else if (!ParseDecimal(text, 0, UINT32_MAX, &v)) {
        return false;
      }
      if (v < 0 || v > UINT32_MAX) return false;
      out->data = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
      return true;
    }
    case SYN_OCTET_STRING:
    case SYN_STREAM:
      out->data = Bytes(text.begin(), text.end());
      return true;
    case SYN_EMAIL_ADDRESS: {
      EmailValue e;
      std::size_t hash = text.find('#');
      std::int64_t type = 0;
      if (hash != std::string_view::npos && ParseDecimal(text.substr(0, hash), 0, 0xFFFF, &type)) {
        e.type = static_cast<std::uint32_t>(type);
        e.address = std::string(text.substr(hash + 1));
      } else {
        e.address = std::string(text);
      }
      if (e.address.empty()) return false;
      out->data = std::move(e);
      return true;
    }
    case SYN_PATH: {
      // volume DN#name space#path; the path may hold '#' itself.
      for (std::size_t at = text.find('#'); at != std::string_view::npos; at = text.find('#', at + 1)) {
        std::size_t next = text.find('#', at + 1);
        if (next == std::string_view::npos) break;
        std::int64_t ns = 0;
        PathValue p;
        if (!ParseDecimal(text.substr(at + 1, next - at - 1), 0, 255, &ns)) continue;
        if (!TypedDn(text.substr(0, at), &p.volume)) continue;
        p.nameSpace = static_cast<std::uint32_t>(ns);
        p.path = std::string(text.substr(next + 1));
        out->data = std::move(p);
        return true;
      }
      return false;
    }
    case SYN_TYPED_NAME: {
      std::string_view dn;
      std::int64_t level = 0, interval = 0;
      TypedNameValue t;
      if (!SplitNameAndTwoNumbers(text, &dn, &level, &interval) || !TypedDn(dn, &t.name)) return false;
      t.level = static_cast<std::uint32_t>(level);
      t.interval = static_cast<std::uint32_t>(interval);
      out->data = std::move(t);
      return true;
    }
    default:
      return false;
  }
}

bool ValueToLdap(const Value& value, const NameMap& map, std::string* out) {
  switch (value.syntax) {
    case SYN_DIST_NAME:
      return value.Text() && DnOfTyped(*value.Text(), out);
    case SYN_CLASS_NAME:
      if (!value.Text()) return false;
      *out = map.ClassToLdap(*value.Text());
      return true;
    case SYN_CE_STRING:
    case SYN_CI_STRING:
    case SYN_PR_STRING:
    case SYN_NU_STRING:
    case SYN_CI_LIST:
    case SYN_TEL_NUMBER:
    case SYN_FAX_NUMBER:
      if (!value.Text()) return false;
      *out = *value.Text();
      return true;
    case SYN_BOOLEAN:
      if (!value.Boolean()) return false;
      *out = *value.Boolean() ? "TRUE" : "FALSE";
      return true;
    case SYN_INTEGER:
      if (!value.Integer()) return false;
      *out = std::to_string(*value.Integer());
      return true;
    case SYN_COUNTER:
    case SYN_INTERVAL:
      if (!value.Integer()) return false;
      *out = std::to_string(static_cast<std::uint32_t>(*value.Integer()));
      return true;
    case SYN_TIME:
      if (!value.Integer()) return false;
      *out = FormatGeneralizedTime(static_cast<std::uint32_t>(*value.Integer()));
      return true;
    case SYN_OCTET_STRING:
    case SYN_STREAM:
      if (!value.Octets()) return false;
      out->assign(value.Octets()->begin(), value.Octets()->end());
      return true;
    case SYN_EMAIL_ADDRESS:
      if (!value.Email()) return false;
      *out = value.Email()->type == 0 ? value.Email()->address
                                      : std::to_string(value.Email()->type) + "#" + value.Email()->address;
      return true;
    case SYN_PATH: {
      if (!value.Path()) return false;
      std::string dn;
      if (!DnOfTyped(value.Path()->volume, &dn)) return false;
      *out = dn + "#" + std::to_string(value.Path()->nameSpace) + "#" + value.Path()->path;
      return true;
    }
    case SYN_TYPED_NAME: {
      if (!value.TypedName()) return false;
      std::string dn;
      if (!DnOfTyped(value.TypedName()->name, &dn)) return false;
      *out = dn + "#" + std::to_string(value.TypedName()->level) + "#" + std::to_string(value.TypedName()->interval);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace nwc::ldap
