// Entries as the server gives them, turned into the directory's attributes:
// the base class, the hidden and operational attributes left out, values
// converted by syntax.
#include "ldap_names.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/nwtext.h"
#include "nwclient.h"
#include "schema.h"

namespace nwc::ldap {

// ---- entries ---------------------------------------------------------------

const std::vector<std::string>* RawEntry::Get(std::string_view ldapName) const {
  for (const auto& [name, values] : attributes) {
    if (EqualNoCase(name, ldapName)) return &values;
  }
  return nullptr;
}

const std::string* RawEntry::First(std::string_view ldapName) const {
  const auto* values = Get(ldapName);
  return values && !values->empty() ? &values->front() : nullptr;
}

namespace {

// Kept by the server for itself, or secret: never shown as attributes.
bool IsHiddenAttribute(std::string_view ldap) {
  static constexpr std::string_view kHidden[] = {
      "objectClass",     "structuralObjectClass", "entryUUID",      "entryCSN",        "entryDN",
      "creatorsName",    "createTimestamp",       "modifiersName",  "modifyTimestamp", "subschemaSubentry",
      "hasSubordinates", "numSubordinates",       "subordinateCount", "GUID",          "contextCSN",
      "userPassword",    "authPassword",          "pwdHistory",     "pwdChangedTime",  "pwdFailureTime",
  };
  for (std::string_view h : kHidden) {
    if (EqualNoCase(h, ldap)) return true;
  }
  // Attribute options (cn;lang-de) and binary transfer are not directory values.
  return ldap.find(';') != std::string_view::npos;
}

bool HasNeutralForm(std::uint32_t syntax) {
  switch (syntax) {
    case SYN_DIST_NAME: case SYN_CE_STRING: case SYN_CI_STRING: case SYN_PR_STRING: case SYN_NU_STRING:
    case SYN_CI_LIST: case SYN_BOOLEAN: case SYN_INTEGER: case SYN_OCTET_STRING: case SYN_TEL_NUMBER:
    case SYN_FAX_NUMBER: case SYN_EMAIL_ADDRESS: case SYN_PATH: case SYN_CLASS_NAME: case SYN_STREAM:
    case SYN_COUNTER: case SYN_TIME: case SYN_TYPED_NAME: case SYN_INTERVAL:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string BaseClassOf(const NameMap& map, const RawEntry& entry) {
  if (const std::string* structural = entry.First("structuralObjectClass")) return map.ClassToNds(*structural);
  const auto* classes = entry.Get("objectClass");
  if (classes == nullptr || classes->empty()) return "Top";
  for (const std::string& c : *classes) {
    if (map.IsAuxiliary(c)) continue;
    const std::string nds = map.ClassToNds(c);
    const ClassDef* def = FindClass(nds);
    if (def != nullptr && def->name != "Top") return std::string(def->name);
  }
  for (const std::string& c : *classes) {
    if (!map.IsAuxiliary(c) && !EqualNoCase(c, "top")) return map.ClassToNds(c);
  }
  return "Top";
}

bool ConvertAttributes(const NameMap& map, const RawEntry& entry, const DName& name, const std::string& baseClass,
                       bool strict, std::vector<AttributeValues>* out, std::string* fault) {
  out->clear();
  AttributeValues classes{"Object Class", SYN_CLASS_NAME, {}};
  classes.values.push_back({SYN_CLASS_NAME, baseClass});
  if (const auto* ocs = entry.Get("objectClass")) {
    for (const std::string& c : *ocs) {
      if (map.IsAuxiliary(c)) continue;
      std::string nds = map.ClassToNds(c);
      const bool seen = std::any_of(classes.values.begin(), classes.values.end(),
                                    [&](const Value& v) { return EqualNoCase(*v.Text(), nds); });
      if (!seen) classes.values.push_back({SYN_CLASS_NAME, std::move(nds)});
    }
  }
  out->push_back(std::move(classes));

  for (const auto& [ldapName, texts] : entry.attributes) {
    if (IsHiddenAttribute(ldapName) || map.IsOperational(ldapName)) continue;
    std::string nds = map.AttributeToNds(ldapName);
    if (const AttributeDef* def = FindAttribute(nds)) nds = std::string(def->name);
    const std::uint32_t syntax = map.SyntaxOf(nds, ldapName);
    if (!HasNeutralForm(syntax)) continue;
    auto it = std::find_if(out->begin(), out->end(), [&](const AttributeValues& a) { return EqualNoCase(a.name, nds); });
    if (it == out->end()) {
      out->push_back({nds, syntax, {}});
      it = out->end() - 1;
    }
    for (const std::string& text : texts) {
      Value v;
      if (ValueFromLdap(syntax, text, map, &v)) {
        it->values.push_back(std::move(v));
      } else if (strict) {
        if (fault) *fault = "a value of " + ldapName + " does not fit the syntax of '" + nds + "'";
        return false;
      }
    }
    if (it->values.empty()) out->erase(it);
  }

  // The naming attribute is part of every named entry.
  if (!name.IsRoot()) {
    const Rdn& leaf = name.parts.front();
    const AttributeDef* naming = FindAttribute(leaf.type);
    const bool present = std::any_of(out->begin(), out->end(), [&](const AttributeValues& a) { return EqualNoCase(a.name, leaf.type); });
    if (naming != nullptr && !present) out->insert(out->begin() + 1, {std::string(naming->name), naming->syntax, {{naming->syntax, leaf.value}}});
  }
  return true;
}

}  // namespace nwc::ldap
