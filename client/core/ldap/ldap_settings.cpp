// The "directory" settings of a network description: an LDAP server or an
// LDIF file. Faults name the field, as the rest of the description's do.
#include <ldap.h>

#include <cstdlib>
#include <stdexcept>

#include "ldap_store.h"

namespace nwc {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

[[noreturn]] void Fault(const std::string& where, const std::string& what) {
  throw std::runtime_error(where + ": " + what);
}

std::string Field(const std::string& where, std::string_view key) { return where + "." + std::string(key); }

const std::string& Text(const Json& j, const std::string& where) {
  if (!j.is_string()) Fault(where, "must be a text");
  return j.get_ref<const std::string&>();
}

bool Flag(const Json& j, const std::string& where) {
  if (!j.is_boolean()) Fault(where, "must be true or false");
  return j.get<bool>();
}

int Number(const Json& j, const std::string& where, int lo, int hi) {
  if (!j.is_number_integer()) Fault(where, "must be a whole number");
  const auto v = j.get<std::int64_t>();
  if (v < lo || v > hi) Fault(where, "must be between " + std::to_string(lo) + " and " + std::to_string(hi));
  return static_cast<int>(v);
}

// A distinguished name the directory can spell.
std::string Dn(const Json& j, const std::string& where) {
  const std::string& text = Text(j, where);
  DName name;
  if (!ldap::DnToName(text, &name) || name.IsRoot()) {
    Fault(where, "'" + text + "' is not a distinguished name of the directory's naming types (cn, ou, o, c, l, st, street)");
  }
  return text;
}

fs::path ReadableFile(const Json& j, const fs::path& baseDir, const std::string& where) {
  const std::string& text = Text(j, where);
  if (text.empty()) Fault(where, "names no file");
  fs::path file = fs::path(text).is_absolute() ? fs::path(text) : baseDir / text;
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) Fault(where, "the file " + file.string() + " does not exist");
  return file;
}

void MapObject(const Json* j, const std::string& where, std::map<std::string, std::string>* out) {
  if (j == nullptr) return;
  if (!j->is_object()) Fault(where, "must be an object of directory names and LDAP names");
  for (const auto& item : j->items()) {
    const std::string& ldapName = Text(item.value(), Field(where, item.key()));
    if (item.key().empty() || ldapName.empty() ||
        ldapName.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-.") != std::string::npos) {
      Fault(Field(where, item.key()), "'" + ldapName + "' is not an LDAP name");
    }
    (*out)[item.key()] = ldapName;
  }
}

}  // namespace

LdapSettings ParseLdapSettings(const Json& desc, const fs::path& baseDir, const std::string& where) {
  if (!desc.is_object()) Fault(where, "must be an object");
  static const std::string_view kKeys[] = {
      "uri",      "base",          "bindDn",       "passwordFile", "passwordEnv",        "caFile",
      "startTLS", "verifyCertificate", "timeoutSeconds", "listTimeLimitSeconds", "pageSize", "cacheSeconds", "upperCasePasswords",
      "treeName", "servers",       "attributeMap", "classMap"};
  for (const auto& item : desc.items()) {
    if (std::find(std::begin(kKeys), std::end(kKeys), item.key()) == std::end(kKeys)) {
      Fault(where, "unknown field '" + item.key() + "'");
    }
  }
  LdapSettings s;
  auto opt = [&](std::string_view key) -> const Json* {
    auto it = desc.find(std::string(key));
    return it == desc.end() ? nullptr : &*it;
  };

  const Json* uri = opt("uri");
  if (uri == nullptr) Fault(where, "the field 'uri' is missing");
  // A list of servers holding the same data, tried in order; the older form,
  // one text of URIs separated by spaces, is read as the same list.
  std::vector<std::pair<std::string, std::string>> given;  // URI, where
  if (uri->is_array()) {
    if (uri->empty()) Fault(Field(where, "uri"), "the list names no server");
    for (std::size_t i = 0; i < uri->size(); ++i) {
      const std::string at = Field(where, "uri") + "[" + std::to_string(i) + "]";
      given.emplace_back(Text((*uri)[i], at), at);
    }
  } else {
    const std::string& text = Text(*uri, Field(where, "uri"));
    std::size_t pos = 0;
    while ((pos = text.find_first_not_of(" \t", pos)) != std::string::npos) {
      const std::size_t end = std::min(text.find_first_of(" \t", pos), text.size());
      given.emplace_back(text.substr(pos, end - pos), Field(where, "uri"));
      pos = end;
    }
    if (given.empty()) given.emplace_back(text, Field(where, "uri"));
  }
  std::string scheme;
  for (const auto& [one, at] : given) {
    LDAPURLDesc* url = nullptr;
    if (one.find_first_of(" \t") != std::string::npos || ldap_url_parse(one.c_str(), &url) != LDAP_URL_SUCCESS ||
        url == nullptr) {
      Fault(at, "'" + one + "' is not an LDAP URL (ldap://host:port, ldaps://... or ldapi://...)");
    }
    const std::string sch = url->lud_scheme ? url->lud_scheme : "";
    ldap_free_urldesc(url);
    if (sch != "ldap" && sch != "ldaps" && sch != "ldapi") Fault(at, "use ldap://, ldaps:// or ldapi://");
    if (scheme.empty() || sch != "ldap") scheme = sch;
    s.uris.push_back(one);
  }
  s.uri = s.uris.front();

  if (const Json* b = opt("base")) {
    if (b->is_array()) {
      for (std::size_t i = 0; i < b->size(); ++i) s.bases.push_back(Dn((*b)[i], Field(where, "base") + "[" + std::to_string(i) + "]"));
    } else {
      s.bases.push_back(Dn(*b, Field(where, "base")));
    }
  }
  if (const Json* d = opt("bindDn")) s.bindDn = Dn(*d, Field(where, "bindDn"));
  const Json* pf = opt("passwordFile");
  const Json* pe = opt("passwordEnv");
  if (pf && pe) Fault(where, "give either 'passwordFile' or 'passwordEnv', not both");
  if ((pf || pe) && s.bindDn.empty()) Fault(where, "a password needs a 'bindDn'");
  if (!s.bindDn.empty() && !pf && !pe) Fault(where, "'bindDn' needs 'passwordFile' or 'passwordEnv'");
  if (pf) s.passwordFile = ReadableFile(*pf, baseDir, Field(where, "passwordFile"));
  if (pe) {
    s.passwordEnv = Text(*pe, Field(where, "passwordEnv"));
    if (s.passwordEnv.empty() || s.passwordEnv.find('=') != std::string::npos) Fault(Field(where, "passwordEnv"), "is not a variable name");
    if (std::getenv(s.passwordEnv.c_str()) == nullptr) Fault(Field(where, "passwordEnv"), "the environment variable " + s.passwordEnv + " is not set");
  }
  if (const Json* ca = opt("caFile")) s.caFile = ReadableFile(*ca, baseDir, Field(where, "caFile"));
  if (const Json* st = opt("startTLS")) s.startTls = Flag(*st, Field(where, "startTLS"));
  if (s.startTls && scheme != "ldap") Fault(Field(where, "startTLS"), "StartTLS needs an ldap:// URI");
  if (const Json* v = opt("verifyCertificate")) s.verifyCertificate = Flag(*v, Field(where, "verifyCertificate"));
  if (const Json* t = opt("timeoutSeconds")) s.timeoutSeconds = Number(*t, Field(where, "timeoutSeconds"), 1, 300);
  if (const Json* l = opt("listTimeLimitSeconds")) {
    s.listTimeLimitSeconds = Number(*l, Field(where, "listTimeLimitSeconds"), 1, 3600);
  }
  if (const Json* p = opt("pageSize")) s.pageSize = Number(*p, Field(where, "pageSize"), 1, 100000);
  if (const Json* c = opt("cacheSeconds")) s.cacheSeconds = Number(*c, Field(where, "cacheSeconds"), 0, 3600);
  if (const Json* u = opt("upperCasePasswords")) s.upperCasePasswords = Flag(*u, Field(where, "upperCasePasswords"));
  if (const Json* t = opt("treeName")) {
    s.treeName = Text(*t, Field(where, "treeName"));
    if (s.treeName.empty() || s.treeName.size() > 32 ||
        s.treeName.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-") != std::string::npos) {
      Fault(Field(where, "treeName"), "a tree name is 1 to 32 letters, digits, '-' or '_'");
    }
    s.treeName = UpperAscii(s.treeName);
  }
  if (const Json* list = opt("servers")) {
    if (!list->is_array()) Fault(Field(where, "servers"), "must be a list of server names");
    for (std::size_t i = 0; i < list->size(); ++i) {
      s.servers.push_back(UpperAscii(Text((*list)[i], Field(where, "servers") + "[" + std::to_string(i) + "]")));
    }
  }
  MapObject(opt("attributeMap"), Field(where, "attributeMap"), &s.attributeMap);
  MapObject(opt("classMap"), Field(where, "classMap"), &s.classMap);
  return s;
}

ldap::NameMap ParseNameMap(const Json* attributeMap, const Json* classMap, const std::string& where) {
  std::map<std::string, std::string> attrs, classes;
  MapObject(attributeMap, Field(where, "attributeMap"), &attrs);
  MapObject(classMap, Field(where, "classMap"), &classes);
  ldap::NameMap map;
  for (const auto& [nds, l] : attrs) map.AddAttribute(nds, l, ldap::NameMap::kOverride);
  for (const auto& [nds, l] : classes) map.AddClass(nds, l, ldap::NameMap::kOverride);
  return map;
}

}  // namespace nwc
