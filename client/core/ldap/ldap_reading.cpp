// The LDAP store's reading: the server's schema, entries looked up by name or
// ID (with their stable IDs), and their attributes.
#include "ldap_store_impl.h"

#include <string.h>

namespace nwc {

void LdapStore::Impl::ReadSchema() {
  schemaRead = true;
  const char* rootAttrs[] = {"subschemaSubentry", "namingContexts", nullptr};
  RawEntry root;
  if (ReadOne("", rootAttrs, &root) != 0) return;
  if (!basesKnown) {
    if (const auto* contexts = root.Get("namingContexts")) {
      for (const std::string& c : *contexts) {
        DName name;
        if (ldap::DnToName(c, &name) && !name.IsRoot()) bases.push_back(std::move(name));
      }
    }
    basesKnown = true;
  }
  const std::string* subschema = root.First("subschemaSubentry");
  const char* schemaAttrs[] = {"attributeTypes", "objectClasses", nullptr};
  bool found = false;
  RawEntry schema;
  if (Search(subschema ? *subschema : "cn=Subschema", LDAP_SCOPE_BASE, "(objectClass=subschema)", schemaAttrs, false,
             [&](const RawEntry& e) {
               schema = e;
               found = true;
             }) != 0 ||
      !found) {
    return;
  }
  LearnSchema(schema);
}

const char* LdapStore::Impl::NdsName(LDAPSchemaExtensionItem** extensions) {
  for (LDAPSchemaExtensionItem** e = extensions; e != nullptr && *e != nullptr; ++e) {
    if (strcasecmp((*e)->lsei_name, "X-NDS_NAME") == 0 && (*e)->lsei_values != nullptr &&
        (*e)->lsei_values[0] != nullptr) {
      return (*e)->lsei_values[0];
    }
  }
  return nullptr;
}

void LdapStore::Impl::LearnSchema(const RawEntry& schema) {
  struct Type {
    std::vector<std::string> names;
    std::string syntax, sup;
  };
  std::vector<Type> types;
  if (const auto* values = schema.Get("attributeTypes")) {
    for (const std::string& v : *values) {
      int code = 0;
      const char* where = nullptr;
      LDAPAttributeType* at = ldap_str2attributetype(v.c_str(), &code, &where, LDAP_SCHEMA_ALLOW_ALL);
      if (at == nullptr) continue;
      Type t;
      for (char** n = at->at_names; n != nullptr && *n != nullptr; ++n) t.names.emplace_back(*n);
      if (t.names.empty() && at->at_oid) t.names.emplace_back(at->at_oid);
      if (at->at_syntax_oid) t.syntax = at->at_syntax_oid;
      if (at->at_sup_oid) t.sup = at->at_sup_oid;
      if (const char* nds = NdsName(at->at_extensions); nds && !t.names.empty()) {
        map.AddAttribute(nds, t.names[0], ldap::NameMap::kServer);
        for (std::size_t i = 1; i < t.names.size(); ++i) map.AddAttributeAlias(t.names[i], t.names[0]);
      }
      if (at->at_usage != LDAP_SCHEMA_USER_APPLICATIONS) {
        for (const std::string& n : t.names) map.SetOperational(n);
      }
      types.push_back(std::move(t));
      ldap_attributetype_free(at);
    }
  }
  // Syntaxes, inherited from the superior type where a type names none.
  auto find = [&](const std::string& name) -> const Type* {
    for (const Type& t : types) {
      for (const std::string& n : t.names) {
        if (EqualNoCase(n, name)) return &t;
      }
    }
    return nullptr;
  };
  for (const Type& t : types) {
    const Type* at = &t;
    for (int depth = 0; at != nullptr && at->syntax.empty() && !at->sup.empty() && depth < 8; ++depth) at = find(at->sup);
    if (at == nullptr || at->syntax.empty()) continue;
    for (const std::string& n : t.names) map.SetSyntaxOid(n, at->syntax);
  }
  // A standard schema without eDirectory's fullName: Full Name is the
  // display name, unless the description maps it.
  if (!map.AttributeMappedAbove("Full Name", ldap::NameMap::kServer) &&
      find(map.AttributeToLdap("Full Name")) == nullptr && find("displayName") != nullptr) {
    map.AddAttribute("Full Name", "displayName", ldap::NameMap::kServer);
  }
  if (const auto* values = schema.Get("objectClasses")) {
    for (const std::string& v : *values) {
      int code = 0;
      const char* where = nullptr;
      LDAPObjectClass* oc = ldap_str2objectclass(v.c_str(), &code, &where, LDAP_SCHEMA_ALLOW_ALL);
      if (oc == nullptr) continue;
      std::vector<std::string> names;
      for (char** n = oc->oc_names; n != nullptr && *n != nullptr; ++n) names.emplace_back(*n);
      if (!names.empty()) {
        if (oc->oc_kind == LDAP_SCHEMA_AUXILIARY) {
          for (const std::string& n : names) map.SetAuxiliary(n);
        }
        if (const char* nds = NdsName(oc->oc_extensions)) {
          map.AddClass(nds, names[0], ldap::NameMap::kServer);
          for (std::size_t i = 1; i < names.size(); ++i) map.AddClassAlias(names[i], names[0]);
        }
      }
      ldap_objectclass_free(oc);
    }
  }
}

std::uint64_t LdapStore::Impl::Key(std::string_view identifier) { return nwtext::FoldedHash(identifier); }

std::uint32_t LdapStore::Impl::IdFor(std::string_view identifier, const std::string& dn, std::uint32_t parent,
                                     std::size_t rdnLength) {
  const std::uint64_t key = Key(identifier);
  std::uint32_t id = ldap::IdFromIdentifier(identifier);
  if (rdnLength == 0 || rdnLength >= dn.size()) parent = 0;
  const std::string_view kept = parent != 0 ? std::string_view(dn).substr(0, rdnLength) : std::string_view(dn);
  const std::uint32_t folded = ldap::KnownTable::Fold(key);
  for (;;) {
    // An ID a listing handed to another entry without a place is taken.
    const std::optional<std::uint32_t> listed = known.Find(id) == nullptr ? ListedOnlyKey(id) : std::nullopt;
    if (id != rootId && (!listed || *listed == folded)) {
      bool added = false;
      ldap::KnownTable::Slot* slot = known.Emplace(id, &added);
      if (added) slot->key = folded;
      if (slot->key == folded) {
        known.Set(slot, parent, kept);  // new, moved or renamed
        return id;
      }
    }
    // Two identifiers with one hash: the later one takes the next free ID.
    std::uint32_t shown = DisplayId(id) + 1;
    if (shown == 0 || shown == 0xFFFFFFFFu) shown = 1;
    id = IdFromDisplay(shown);
  }
}

std::pair<const std::string*, const ClassDef*> LdapStore::Impl::ClassOf(const RawEntry& raw) {
  const std::string* structural = raw.First("structuralObjectClass");
  if (structural == nullptr) {
    scratchClass = ldap::BaseClassOf(map, raw);
    return {&scratchClass, FindClass(scratchClass)};
  }
  auto it = classMemo.find(*structural);
  if (it == classMemo.end()) {
    std::string nds = map.ClassToNds(*structural);
    const ClassDef* def = FindClass(nds);
    it = classMemo.emplace(*structural, std::make_pair(std::move(nds), def)).first;
  }
  return {&it->second.first, it->second.second};
}

// The naming contexts listed below the root: those one part long. Deeper
// ones are reached through their containers.
int LdapStore::Impl::TopBases(std::vector<DName>* out) {
  out->clear();
  if (int rc = KnowBases(); rc != 0) return rc;
  for (const DName& b : bases) {
    if (b.Depth() == 1) out->push_back(b);
  }
  return 0;
}

int LdapStore::Impl::RootInfo(EntryInfo* out) {
  if (int rc = Connect(); rc != 0) return rc;
  std::vector<DName> top;
  if (int rc = TopBases(&top); rc != 0) return rc;
  out->id = rootId;
  out->name = DName{};
  out->baseClass = "Top";
  out->flags = kEntryContainer | kEntryPartitionRoot;
  out->subordinateCount = static_cast<std::uint32_t>(top.size());
  out->modificationTime = created;
  out->aliasTarget = 0;
  return 0;
}

std::uint32_t LdapStore::Impl::ListedOnlyId(std::string_view identifier, std::uint32_t parent) {
  const std::uint32_t id = ldap::IdFromIdentifier(identifier);
  if (id == rootId || known.Find(id) != nullptr) return 0;
  const std::uint32_t folded = ldap::KnownTable::Fold(Key(identifier));
  if (const std::optional<std::uint32_t> listed = ListedOnlyKey(id)) {
    if (*listed != folded) return 0;  // another entry's
  } else {
    listedOnly.Insert(static_cast<std::uint64_t>(folded) << 32 | id);
  }
  listedOnlyParents.insert(parent);  // perhaps moved since it was listed
  return id;
}

bool LdapStore::Impl::DnOfId(std::uint32_t id, std::string* dn) {
  if (KnownDn(id, dn)) return true;
  if (!ListedOnlyKey(id)) return false;
  // Every container with listed-only leaves is listed again, in full: the
  // IDs carry no container of their own, and this is seldom done (the
  // directory's callers name entries, not a listing's IDs).
  std::set<std::uint32_t> parents;
  parents.swap(listedOnlyParents);
  std::vector<EntryInfo> items;
  for (std::uint32_t parent : parents) {
    const int rc = List(parent, &items);
    if (rc != 0 && rc != ERR_NO_SUCH_ENTRY) listedOnlyParents.insert(parent);  // tried again next time
  }
  if (listedOnlyParents.empty()) listedOnly.clear();
  return KnownDn(id, dn);
}

bool LdapStore::Impl::KnownDn(std::uint32_t id, std::string* dn) const {
  const ldap::KnownTable::Slot* slot = known.Find(id);
  if (slot == nullptr) return false;
  dn->assign(known.Text(*slot));
  // Up through the parents for the rest; a chain that does not end is no DN.
  for (std::size_t hops = 0; slot->parent != 0; ++hops) {
    slot = known.Find(slot->parent);
    if (slot == nullptr || hops > kMaxDnChars) return false;
    dn->push_back(',');
    dn->append(known.Text(*slot));
  }
  return true;
}

// Converts what needs no more requests; `followup` tells what does.
bool LdapStore::Impl::Convert(const RawEntry& raw, EntryInfo* out, Followup* followup) {
  DName name;
  bool uidLeaf = false;
  std::size_t rdnLength = 0;
  if (listingParent.dn != nullptr) {
    // An entry of the listing at hand: only its first part needs parsing.
    if (!ldap::ChildDnToName(raw.dn, *listingParent.dn, *listingParent.name, &name, &rdnLength, &uidLeaf)) return false;
  } else if (!ldap::DnToName(raw.dn, &name, &uidLeaf)) {
    return false;
  }
  if (name.IsRoot()) return false;
  const std::uint32_t parent = rdnLength != 0 ? listingParent.id : 0;
  const auto [baseClass, cls] = ClassOf(raw);
  const std::string* hasSubs = raw.First("hasSubordinates");
  const bool hasChildren = hasSubs != nullptr && EqualNoCase(*hasSubs, "TRUE");
  // A leaf of a streamed listing keeps no name in the store; containers
  // keep theirs, for the listings below them.
  const bool container = cls ? cls->container : hasChildren;
  const bool nameless = parent != 0 && !container && *baseClass != "Alias";
  followup->uidLeaf = uidLeaf;
  if (uidLeaf && !nameless) {
    auto [it, added] = uidDns.try_emplace(ldap::NameKey(name), raw.dn);
    if (!added && it->second != raw.dn) it->second = raw.dn;
  }
  std::string scratch;
  std::string_view identifier;
  if (const std::string* uuid = raw.First("entryUUID")) {
    identifier = *uuid;
  } else if (const std::string* guid = raw.First("GUID")) {
    identifier = scratch = "guid:" + nwtext::HexEncode(*guid);
  } else {
    identifier = scratch = "dn:" + ldap::NameKey(name);
  }
  out->id = nameless ? ListedOnlyId(identifier, parent) : 0;
  if (out->id == 0) out->id = IdFor(identifier, raw.dn, parent, rdnLength);
  out->name = std::move(name);
  out->baseClass = *baseClass;
  out->flags = 0;
  if (container) out->flags |= kEntryContainer;
  if (out->baseClass == "Organization") out->flags |= kEntryPartitionRoot;
  out->aliasTarget = 0;
  out->subordinateCount = 0;
  if (auto n = ParseCount(raw.First("subordinateCount"))) {
    out->subordinateCount = *n;
  } else if (auto m = ParseCount(raw.First("numSubordinates"))) {
    out->subordinateCount = *m;
  } else if (hasChildren) {
    followup->countChildren = true;
  }
  out->modificationTime = 0;
  if (const std::string* ts = raw.First("modifyTimestamp")) {
    if (auto t = ldap::ParseGeneralizedTime(*ts); t && *t >= 0 && *t <= UINT32_MAX) {
      out->modificationTime = static_cast<std::uint32_t>(*t);
    }
  }
  if (out->baseClass == "Alias") {
    out->flags |= kEntryAlias;
    if (const std::string* target = raw.First("aliasedObjectName")) followup->aliasDn = *target;
  }
  return true;
}

bool LdapStore::Impl::DnOf(const DName& name, std::string* dn) const {
  if (!uidDns.empty() && !name.IsRoot()) {
    if (auto it = uidDns.find(ldap::NameKey(name)); it != uidDns.end()) {
      *dn = it->second;
      return true;
    }
  }
  return ldap::NameToDn(name, dn);
}

int LdapStore::Impl::Complete(EntryInfo* info, const Followup& f, bool resolving) {
  if (f.countChildren) {
    if (int rc = CountChildren(info, resolving); rc != 0) return rc;
  }
  if (!f.aliasDn.empty()) {
    DName target;
    EntryInfo t;
    if (!ldap::DnToName(f.aliasDn, &target)) return 0;  // names nothing the directory can spell
    const int rc = Lookup(target, &t, kLight);
    if (rc == ERR_NO_SUCH_ENTRY) return 0;                // a dangling alias
    if (rc != 0) return rc;
    info->aliasTarget = t.id;
    if (t.flags & kEntryContainer) info->flags |= kEntryContainerAlias;
  }
  return 0;
}

// An entry by name, aliases as they are.
int LdapStore::Impl::Lookup(const DName& name, EntryInfo* out, Depth depth) {
  if (name.IsRoot()) return RootInfo(out);
  if (int rc = KnowBases(); rc != 0) return rc;
  if (!WithinBases(name)) return ERR_NO_SUCH_ENTRY;
  const std::string key = ldap::NameKey(name);
  if (auto it = entries.find(key); it != entries.end() && Fresh(it->second.at)) {
    *out = it->second.info;
    return 0;
  }
  if (depth == kLight) {
    if (auto it = lightEntries.find(key); it != lightEntries.end() && Fresh(it->second.at)) {
      *out = it->second.info;
      return 0;
    }
  }
  std::string dn;
  if (!DnOf(name, &dn)) return ERR_NO_SUCH_ENTRY;
  RawEntry raw;
  int rc = ReadOne(dn, kEntryAttributes, &raw);
  // A user not listed yet may be named by uid rather than cn.
  if (rc == ERR_NO_SUCH_ENTRY && EqualNoCase(name.parts.front().type, "CN") && uidDns.count(key) == 0) {
    std::string parentDn;
    DName parent = name;
    parent.parts.erase(parent.parts.begin());
    if (ldap::NameToDn(parent, &parentDn)) {
      const std::string byUid = "uid=" + ldap::EscapeDnValue(name.parts.front().value) +
                                (parentDn.empty() ? "" : "," + parentDn);
      rc = ReadOne(byUid, kEntryAttributes, &raw);
    }
  }
  if (rc != 0) return rc;
  Followup f{0, {}, false};
  if (!Convert(raw, out, &f)) return ERR_NO_SUCH_ENTRY;
  if (depth == kLight) {
    if (s.cacheSeconds > 0) lightEntries[key] = {*out, Clock::now()};
    return 0;
  }
  if (int rc = Complete(out, f, depth == kFull); rc != 0) return rc;
  if (s.cacheSeconds > 0) entries[key] = {*out, Clock::now()};
  return 0;
}

int LdapStore::Impl::ById(std::uint32_t id, EntryInfo* out, Depth depth) {
  if (id == rootId) return RootInfo(out);
  std::string dn;
  if (!DnOfId(id, &dn)) return ERR_NO_SUCH_ENTRY;
  DName name;
  bool uidLeaf = false;
  if (!ldap::DnToName(dn, &name, &uidLeaf)) return ERR_NO_SUCH_ENTRY;
  if (uidLeaf) uidDns[ldap::NameKey(name)] = dn;
  if (int rc = Lookup(name, out, depth); rc != 0) return rc;
  // Another object under the old name is not the entry that had this ID.
  return out->id == id ? 0 : ERR_NO_SUCH_ENTRY;
}

// The name of the entry with `id`, checked against the server.
int LdapStore::Impl::NameOf(std::uint32_t id, DName* name, std::string* dn) {
  EntryInfo info;
  if (int rc = ById(id, &info, kLight); rc != 0) return rc;
  *name = info.name;
  if (!DnOf(info.name, dn)) return ERR_NO_SUCH_ENTRY;
  return 0;
}

int LdapStore::Impl::ReadAttr(std::uint32_t id, std::string_view attrName, AttributeValues* out) {
  if (id == rootId) {
    if (!EqualNoCase(attrName, "Object Class")) return ERR_NO_SUCH_ATTRIBUTE;
    *out = {"Object Class", SYN_CLASS_NAME, {{SYN_CLASS_NAME, std::string("Top")}}};
    return 0;
  }
  DName name;
  std::string dn;
  if (int rc = NameOf(id, &name, &dn); rc != 0) return rc;
  const std::vector<std::string> ldapNames = map.AttributeLdapNames(attrName);
  const std::string& ldapName = ldapNames.front();
  if (EqualNoCase(ldapName, "userPassword") || EqualNoCase(ldapName, "authPassword")) return ERR_NO_SUCH_ATTRIBUTE;
  const bool classes = EqualNoCase(ldapName, "objectClass");
  std::vector<const char*> attrs;
  for (const std::string& n : ldapNames) attrs.push_back(n.c_str());
  if (classes) attrs.push_back("structuralObjectClass");
  attrs.push_back(nullptr);
  RawEntry raw;
  if (int rc = ReadOne(dn, attrs.data(), &raw); rc != 0) return rc;
  if (!classes && raw.attributes.empty()) return ERR_NO_SUCH_ATTRIBUTE;
  std::vector<AttributeValues> all;
  ldap::ConvertAttributes(map, raw, name, ldap::BaseClassOf(map, raw), false, &all, nullptr);
  std::string nds = std::string(attrName);
  if (const AttributeDef* def = FindAttribute(attrName)) nds = std::string(def->name);
  for (AttributeValues& a : all) {
    if (EqualNoCase(a.name, nds) || EqualNoCase(map.AttributeToLdap(a.name), ldapName)) {
      if (a.values.empty()) break;
      *out = std::move(a);
      return 0;
    }
  }
  return ERR_NO_SUCH_ATTRIBUTE;
}

int LdapStore::Impl::ReadAll(std::uint32_t id, std::vector<AttributeValues>* out) {
  out->clear();
  if (id == rootId) {
    out->push_back({"Object Class", SYN_CLASS_NAME, {{SYN_CLASS_NAME, std::string("Top")}}});
    return 0;
  }
  DName name;
  std::string dn;
  if (int rc = NameOf(id, &name, &dn); rc != 0) return rc;
  const char* attrs[] = {LDAP_ALL_USER_ATTRIBUTES, "structuralObjectClass", nullptr};
  RawEntry raw;
  if (int rc = ReadOne(dn, attrs, &raw); rc != 0) return rc;
  ldap::ConvertAttributes(map, raw, name, ldap::BaseClassOf(map, raw), false, out, nullptr);
  return 0;
}

}  // namespace nwc
