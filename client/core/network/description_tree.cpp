// The network description's directory tree: its objects, generated ones,
// their IDs, attribute values and the rights to set passwords.
#include <algorithm>
#include <climits>
#include <cstring>

#include "common/nwtext.h"
#include "description_loader.h"
#include "directory.h"
#include "locale_info.h"
#include "schema.h"

namespace nwc::desc {

void Loader::LoadTree(const Json& t) {
  CheckKeys(t, "tree", {"name", "objects"});
  const std::string& name = AsString(Req(t, "name", "tree"), "tree.name");
  if (name.empty() || name.size() > 32 ||
      name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-") !=
          std::string::npos) {
    Fail("tree.name", "a tree name is 1 to 32 letters, digits, '-' or '_', not " + Quote(name));
  }
  net_.tree = std::make_unique<DirectoryTree>();
  net_.tree->name = UpperAscii(name);
  net_.tree->root = std::make_unique<DirEntry>();
  net_.tree->root->baseClass = "Top";
  net_.tree->root->modificationTime = static_cast<std::uint32_t>(now_);
  entries_.push_back({net_.tree->root.get(), nullptr, -1, "tree"});
  if (const Json* objects = Opt(t, "objects")) LoadObjects(net_.tree->root.get(), *objects, "tree.objects");
}

// "directory": a live LDAP server, or the tree's objects from an LDIF file.
void Loader::LoadDirectory(const Json& d) {
  CheckKeys(d, "directory", {"ldap", "ldif"});
  const Json* server = Opt(d, "ldap");
  const Json* file = Opt(d, "ldif");
  if ((server == nullptr) == (file == nullptr)) Fail("directory", "give either 'ldap' or 'ldif'");
  if (server != nullptr) {
    ldap_ = ldaplib::ParseSettings(*server, base_, "directory.ldap");
    return;
  }
  if (!net_.tree) {
    net_.tree = std::make_unique<DirectoryTree>();
    net_.tree->name = "LDIF";
    net_.tree->root = std::make_unique<DirEntry>();
    net_.tree->root->baseClass = "Top";
    net_.tree->root->modificationTime = static_cast<std::uint32_t>(now_);
    entries_.push_back({net_.tree->root.get(), nullptr, -1, "tree"});
  } else if (!net_.tree->root->Children().empty()) {
    Fail("directory.ldif", "the tree's objects come from the LDIF file; give 'tree' only its name");
  }
  ldaplib::LoadLdif(*file, base_, "directory.ldif", net_.tree.get());
  // Entries that carry their own identifier keep the ID it gives.
  ForEachEntry(net_.tree->root.get(), [&](DirEntry* e) {
    if (e->id != 0) explicitIds_[e] = e->id;
  });
}

void Loader::MakeStandIns(const Json& doc) {
  // Only well-formed fields are taken here; the load proper checks the rest.
  auto text = [](const Json& obj, std::string_view key) -> const std::string* {
    const Json* j = obj.is_object() ? Opt(obj, key) : nullptr;
    return j != nullptr && j->is_string() ? &j->get_ref<const std::string&>() : nullptr;
  };
  auto users = [&](const Json& owner, const std::string& where) {
    const Json* list = owner.is_object() ? Opt(owner, "connections") : nullptr;
    if (list == nullptr || !list->is_array()) return;
    for (std::size_t i = 0; i < list->size(); ++i) {
      if (const std::string* who = text((*list)[i], "user")) StandIn(*who, false, Member(Index(Member(where, "connections"), i), "user"));
    }
  };
  if (const Json* servers = Opt(doc, "servers"); servers != nullptr && servers->is_array()) {
    for (std::size_t i = 0; i < servers->size(); ++i) {
      const Json& s = (*servers)[i];
      if (const std::string* context = text(s, "context")) StandIn(*context, true, Member(Index("servers", i), "context"));
      users(s, Index("servers", i));
    }
  }
  if (const Json* ws = Opt(doc, "workstation")) {
    if (const std::string* identity = text(*ws, "identity")) StandIn(*identity, false, "workstation.identity");
    users(*ws, "workstation");
  }
}

void Loader::StandIn(const std::string& text, bool container, const std::string& where) {
  if (text.find('=') == std::string::npos) return;  // a bindery name
  DirectoryTree& tree = *net_.tree;
  DName name;
  if (CanonicalizeName(text, DName{}, tree.Oracle(), &name) != 0 || name.parts.empty()) return;
  DirEntry* at = tree.root.get();
  for (std::size_t i = name.parts.size(); i-- > 0;) {
    const Rdn& part = name.parts[i];
    if (DirEntry* child = tree.FindChild(*at, part.value)) {
      at = child;
      continue;
    }
    const bool leaf = i == 0;
    const char* cls = part.type == "C"    ? "Country"
                      : part.type == "O"  ? "Organization"
                      : part.type == "OU" ? "Organizational Unit"
                      : part.type == "L" || part.type == "S" ? "Locality"
                      : part.type == "CN" && leaf && !container ? "User"
                                                                 : nullptr;
    if (cls == nullptr) Fail(where, Quote(text) + " names no " + (container ? "container" : "user"));
    at = AddEntry(at, part.type + "=" + EscapeValue(part.value), cls, where);
  }
}

void Loader::LoadObjects(DirEntry* parent, const Json& list, const std::string& where) {
  AsArray(list, where);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const Json& item = list[i];
    std::string w = Index(where, i);
    if (item.is_object() && item.contains("generate")) {
      CheckKeys(item, w, {"generate"});
      LoadGenerated(parent, item["generate"], Member(w, "generate"));
    } else {
      CheckKeys(item, w,
                {"name", "class", "id", "attributes", "password", "passwordHash", "passwordRights",
                 "objects", "jobs"});
      LoadObject(parent, item, w, -1);
    }
  }
}

void Loader::LoadGenerated(DirEntry* parent, const Json& gen, const std::string& where) {
  CheckKeys(gen, where, {"count", "start", "class", "name", "attributes", "password", "passwordHash"});
  const auto count = AsInt(Req(gen, "count", where), Member(where, "count"), 0, 100000);
  const auto start = Opt(gen, "start") ? AsInt(gen["start"], Member(where, "start"), 0, 1000000000) : 1;
  const std::string* generator = &generatorWheres_.emplace_back(where);
  for (std::int64_t i = 0; i < count; ++i) LoadObject(parent, gen, where, static_cast<long>(start + i), generator);
}

void Loader::LoadObject(DirEntry* parent, const Json& desc, const std::string& where, long index,
                        const std::string* generator) {
  const std::string name = Expand(AsString(Req(desc, "name", where), Member(where, "name")), index, where);
  const std::string& cls = AsString(Req(desc, "class", where), Member(where, "class"));
  DirEntry* entry = AddEntry(parent, name, cls, where);
  // Made only when needed: most generated objects never need it.
  const auto w = [&] { return where + " (" + entry->Canonical() + ")"; };
  if (const Json* id = Opt(desc, "id")) explicitIds_[entry] = AsShownId(*id, Member(w(), "id"));
  if (generator != nullptr) {
    entries_.push_back({entry, &desc, index, {}, generator});
  } else {
    entries_.push_back({entry, &desc, index, w()});
  }
  const Json* clear = Opt(desc, "password");
  const Json* hashed = Opt(desc, "passwordHash");
  if (clear && hashed) Fail(w(), "give either 'password' or 'passwordHash', not both");
  if (clear) {
    const std::string& text = AsString(*clear, Member(w(), "password"));
    if (text.size() >= NW_MAX_PASSWORD) Fail(w(), "a password is at most 127 characters");
    if (index < 0) {
      entry->password = std::make_shared<const PasswordHash>(PasswordHash::Create(text));
    } else {
      // Generated objects share their generator's password: hash it once.
      auto it = generatedHashes_.find(&desc);
      if (it == generatedHashes_.end()) {
        it = generatedHashes_.emplace(&desc, std::make_shared<const PasswordHash>(PasswordHash::Create(text))).first;
      }
      entry->password = it->second;
    }
  } else if (hashed) {
    if (auto parsed = PasswordHash::Parse(AsString(*hashed, Member(w(), "passwordHash")))) {
      entry->password = std::make_shared<const PasswordHash>(*parsed);
    }
    if (!entry->password) Fail(Member(w(), "passwordHash"), "not a hash of the form pbkdf2-sha256$<iterations>$<salt>$<hash>");
    if (entry->password->Iterations() < PasswordHash::kDefaultIterations) {
      Fail(Member(w(), "passwordHash"), "a hash of " + std::to_string(entry->password->Iterations()) +
                                          " iterations is too weak: give at least " +
                                          std::to_string(PasswordHash::kDefaultIterations));
    }
  }
  if (const Json* jobs = Opt(desc, "jobs")) {
    if (entry->baseClass != "Queue") Fail(w(), "only a Queue holds jobs");
    pendingJobs_.push_back({jobs, Member(w(), "jobs"), 0, nullptr, entry});
  }
  if (const Json* objects = Opt(desc, "objects")) {
    if (!entry->IsContainer()) Fail(w(), "a " + entry->baseClass + " holds no objects");
    LoadObjects(entry, *objects, Member(w(), "objects"));
  }
}

DirEntry* Loader::AddEntry(DirEntry* parent, const std::string& nameText, const std::string& className,
                   const std::string& where) {
  const ClassDef* cls = FindClass(className);
  if (cls == nullptr || cls->name == "Top") Fail(where, "unknown class " + Quote(className));
  const std::string parentClass = parent->IsRoot() ? "[Root]" : parent->baseClass;
  if (!MayContain(parentClass, *cls)) {
    Fail(where, "a " + std::string(cls->name) + " cannot stand below " +
                    (parent->IsRoot() ? std::string("[Root]") : "a " + parentClass));
  }
  if (HasControlCharacter(nameText)) Fail(where, "the name " + Quote(nameText) + " holds a control character");
  ParsedName parsed;
  int rc = ParseName(nameText, &parsed);
  if (parsed.absolute && parsed.parts.empty()) Fail(where, "[Root] is the tree's root: no object takes that name");
  if (rc != 0 || parsed.absolute || parsed.trailingDots != 0 || parsed.parts.size() != 1) {
    Fail(where, Quote(nameText) + " is not the name of one object" +
                    (rc == ERR_RDN_TOO_LONG ? " (at most 64 characters)" : ""));
  }
  Rdn rdn = parsed.parts[0];
  if (EqualNoCase(rdn.value, kRootName)) Fail(where, "[Root] is the tree's root: no object takes that name");
  const bool localityS = cls->name == "Locality" && rdn.type == "S";
  if (rdn.type.empty()) {
    rdn.type = std::string(cls->namingType);
  } else if (rdn.type != cls->namingType && !localityS) {
    Fail(where, "a " + std::string(cls->name) + " is named with " + std::string(cls->namingType) +
                    "=, not " + rdn.type + "=");
  }
  if (net_.tree->FindChild(*parent, rdn.value) != nullptr) {
    Fail(where, "duplicate name " + Quote(rdn.value) + " in " + FormatName(parent->Name(), false));
  }
  auto entry = std::make_unique<DirEntry>();
  entry->rdn = std::move(rdn);
  entry->baseClass = std::string(cls->name);
  entry->parent = parent;
  entry->modificationTime = static_cast<std::uint32_t>(now_);
  if (FormatName(entry->Name(), false).size() > kMaxDnChars) {
    Fail(where, "the object's full name is longer than 255 characters");
  }
  return parent->AddChild(std::move(entry));
}

void Loader::ForEachEntry(DirEntry* e, const std::function<void(DirEntry*)>& fn) {
  fn(e);
  for (auto& c : e->Children()) ForEachEntry(c.get(), fn);
}

void Loader::AssignEntryIds() {
  DirectoryTree& tree = *net_.tree;
  for (auto& [entry, id] : explicitIds_) {
    if (tree.byId.count(id) != 0) {
      Fail("tree", "two objects have the ID " + Hex(DisplayId(id)) + " (" + entry->Canonical() + ")");
    }
    entry->id = id;
    tree.byId.Insert(entry);
  }
  ForEachEntry(tree.root.get(), [&](DirEntry* e) {
    if (explicitIds_.count(e) != 0) return;
    std::uint32_t low = Fnv(UpperAscii(e->Canonical())) & 0x00FFFFFF;
    std::uint32_t id = 0;
    do {
      id = IdFromDisplay(0x01000000 | low);
      low = (low + 1) & 0x00FFFFFF;
    } while (tree.byId.count(id) != 0);
    e->id = id;
    tree.byId.Insert(e);
  });
}

std::string Loader::Hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%X", v);
  return buf;
}

// A distinguished name in a description: absolute, typed or typeless.
DirEntry* Loader::ResolveDn(const std::string& text, const std::string& where) {
  DirectoryTree& tree = Tree(where);
  DName name;
  int rc = CanonicalizeName(text, DName{}, tree.Oracle(), &name);
  if (rc != 0) Fail(where, Quote(text) + " is not a directory name");
  DirEntry* e = tree.Find(name);
  if (e == nullptr) Fail(where, "no object " + Quote(text) + " in the tree");
  return e;
}

Value Loader::ConvertValue(const Json& j, const AttributeDef& def, long index, const std::string& where) {
  Value v;
  v.syntax = def.syntax;
  auto text = [&](const Json& x, const std::string& w) { return Expand(AsString(x, w), index, w); };
  switch (def.syntax) {
    case SYN_DIST_NAME:
      v.data = ResolveDn(text(j, where), where)->Canonical();
      break;
    case SYN_CE_STRING:
    case SYN_CI_STRING:
    case SYN_PR_STRING:
    case SYN_NU_STRING:
    case SYN_TEL_NUMBER:
    case SYN_FAX_NUMBER:
    case SYN_CLASS_NAME: {
      std::string s = text(j, where);
      if (s.empty()) Fail(where, "a value may not be empty");
      if (def.syntax == SYN_NU_STRING && s.find_first_not_of("0123456789 ") != std::string::npos) {
        Fail(where, "a numeric string holds digits and blanks only");
      }
      v.data = std::move(s);
      break;
    }
    case SYN_BOOLEAN:
      v.data = AsBool(j, where);
      break;
    case SYN_INTEGER:
    case SYN_COUNTER:
    case SYN_INTERVAL:
    case SYN_TIME:
      v.data = static_cast<std::int32_t>(AsInt(j, where, INT32_MIN, INT32_MAX));
      break;
    case SYN_EMAIL_ADDRESS: {
      EmailValue e;
      if (j.is_object()) {
        CheckKeys(j, where, {"type", "address"});
        if (const Json* t = Opt(j, "type")) e.type = static_cast<std::uint32_t>(AsInt(*t, Member(where, "type"), 0, 0xFFFF));
        e.address = text(Req(j, "address", where), Member(where, "address"));
      } else {
        e.address = text(j, where);
      }
      if (e.address.empty()) Fail(where, "an e-mail address may not be empty");
      v.data = std::move(e);
      break;
    }
    case SYN_PATH: {
      CheckKeys(j, where, {"nameSpace", "volume", "path"});
      PathValue p;
      if (const Json* ns = Opt(j, "nameSpace")) p.nameSpace = static_cast<std::uint32_t>(AsInt(*ns, Member(where, "nameSpace"), 0, 255));
      DirEntry* vol = ResolveDn(text(Req(j, "volume", where), Member(where, "volume")), Member(where, "volume"));
      if (vol->baseClass != "Volume") Fail(Member(where, "volume"), vol->Canonical() + " is not a Volume");
      p.volume = vol->Canonical();
      if (const Json* path = Opt(j, "path")) p.path = text(*path, Member(where, "path"));
      v.data = std::move(p);
      break;
    }
    case SYN_TYPED_NAME: {
      TypedNameValue t;
      if (j.is_object()) {
        CheckKeys(j, where, {"name", "level", "interval"});
        t.name = ResolveDn(text(Req(j, "name", where), Member(where, "name")), Member(where, "name"))->Canonical();
        if (const Json* l = Opt(j, "level")) t.level = static_cast<std::uint32_t>(AsInt(*l, Member(where, "level"), 0, UINT32_MAX));
        if (const Json* i = Opt(j, "interval")) t.interval = static_cast<std::uint32_t>(AsInt(*i, Member(where, "interval"), 0, UINT32_MAX));
      } else {
        t.name = ResolveDn(text(j, where), where)->Canonical();
      }
      v.data = std::move(t);
      break;
    }
    case SYN_OCTET_STRING: {
      std::string s = text(j, where);
      v.data = Bytes(s.begin(), s.end());
      break;
    }
    default:
      Fail(where, "values of syntax " + std::to_string(def.syntax) + " cannot be given in a description");
  }
  return v;
}

void Loader::AddValue(DirEntry* e, std::string_view attrName, Value v) {
  Attribute* a = e->FindAttribute(attrName);
  if (a == nullptr) {
    const AttributeDef* def = FindAttribute(attrName);
    e->attributes.push_back({std::string(def->name), def->syntax, {}});
    a = &e->attributes.back();
  }
  a->values.push_back(std::move(v));
}

void Loader::ResolveAttributes() {
  for (const PendingEntry& p : entries_) {
    DirEntry* e = p.entry;
    // What the directory itself keeps, the class chain and the naming value,
    // is derived from the class and the name as it is read.
    e->impliedAttributes = true;
    if (p.desc == nullptr) continue;
    const Json* attrs = Opt(*p.desc, "attributes");
    if (attrs == nullptr) continue;
    const std::string aw = Member(Where(p), "attributes");
    if (!attrs->is_object()) Fail(aw, std::string("must be an object, not ") + KindOf(*attrs));
    e->attributes.reserve(e->attributes.size() + attrs->size());
    for (const auto& item : attrs->items()) {
      const std::string w = Member(aw, item.key());
      const AttributeDef* def = FindAttribute(item.key());
      if (def == nullptr) Fail(w, "unknown attribute " + Quote(item.key()));
      if (def->name == "Object Class" || EqualNoCase(def->name, e->rdn.type)) Fail(w, "the directory sets this attribute itself");
      if (e->FindAttribute(def->name) != nullptr) Fail(w, "the attribute is given twice");
      Attribute a{std::string(def->name), def->syntax, {}};
      const Json& val = item.value();
      if (def->syntax == SYN_STREAM) {
        std::string content;
        if (val.is_array()) {
          for (std::size_t i = 0; i < val.size(); ++i) {
            content += Expand(AsString(val[i], Index(w, i)), p.index, w);
            content += "\r\n";
          }
        } else {
          content = Expand(AsString(val, w), p.index, w);
        }
        a.values.push_back({SYN_STREAM, StreamBytes(content)});
      } else if (val.is_array()) {
        if (val.empty()) Fail(w, "give at least one value");
        for (std::size_t i = 0; i < val.size(); ++i) a.values.push_back(ConvertValue(val[i], *def, p.index, Index(w, i)));
      } else {
        a.values.push_back(ConvertValue(val, *def, p.index, w));
      }
      e->attributes.push_back(std::move(a));
    }
  }
  for (const AutoVolume& v : autoVolumes_) {
    AddValue(v.entry, "Host Server", {SYN_DIST_NAME, v.server->entry->Canonical()});
    AddValue(v.entry, "Host Resource Name", {SYN_CI_STRING, v.volume});
  }
  for (auto& s : pendingServers_) {
    DirEntry* e = const_cast<DirEntry*>(s.server->entry);
    if (e != nullptr && e->FindAttribute("Version") == nullptr) {
      AddValue(e, "Version", {SYN_CI_STRING, "Novell NetWare " + std::to_string(s.server->majorVersion) + "." +
                                                 TwoDigits(s.server->minorVersion) + "[DS]"});
    }
  }
  CheckClassRules();
}

std::string Loader::TwoDigits(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v % 100);
  return buf;
}

void Loader::CheckClassRules() {
  for (const PendingEntry& p : entries_) {
    DirEntry* e = p.entry;
    if (e->baseClass == "Alias") {
      const Attribute* a = e->FindAttribute("Aliased Object Name");
      if (a == nullptr || a->values.size() != 1) Fail(Where(p), "an Alias names one object in 'Aliased Object Name'");
      DirEntry* target = net_.tree->Find(ParseCanonical(*a->values[0].Text()));
      if (target == nullptr || target->baseClass == "Alias") Fail(Where(p), "an Alias must name an object that is no alias");
      e->aliasTarget = target;
    }
    if (e->baseClass == "Volume") {
      const Attribute* host = e->FindAttribute("Host Server");
      const Attribute* res = e->FindAttribute("Host Resource Name");
      if (host && res) {
        Server* s = ServerOfEntry(*host->values[0].Text());
        if (s && s->FindVolume(*res->values[0].Text()) == nullptr) {
          Fail(Where(p), "server " + s->name + " has no volume " + *res->values[0].Text());
        }
      }
    }
    if (e->baseClass == "Group") {
      if (const Attribute* m = e->FindAttribute("Member")) {
        for (const Value& v : m->values) {
          DirEntry* member = net_.tree->Find(ParseCanonical(*v.Text()));
          const std::string groupName = e->Canonical();
          Attribute* gm = member->FindAttribute("Group Membership");
          bool listed = gm && std::any_of(gm->values.begin(), gm->values.end(),
                                          [&](const Value& x) { return EqualNoCase(*x.Text(), groupName); });
          if (!listed) AddValue(member, "Group Membership", {SYN_DIST_NAME, groupName});
        }
      }
    }
  }
}

DName Loader::ParseCanonical(const std::string& typed) {
  DName name;
  CanonicalizeName(typed, DName{}, TypeOracle{}, &name);
  return name;
}

Server* Loader::ServerOfEntry(const std::string& canonical) {
  for (auto& s : net_.servers) {
    if (s->entry && EqualNoCase(s->entry->Canonical(), canonical)) return s.get();
  }
  return nullptr;
}

void Loader::ResolvePasswordRights() {
  for (const PendingEntry& p : entries_) {
    if (p.desc == nullptr) continue;
    const Json* rights = Opt(*p.desc, "passwordRights");
    if (rights == nullptr) continue;
    const std::string w = Member(Where(p), "passwordRights");
    AsArray(*rights, w);
    for (std::size_t i = 0; i < rights->size(); ++i) {
      const std::string& text = AsString((*rights)[i], Index(w, i));
      const DirEntry* target = EqualNoCase(text, kRootName) ? net_.tree->root.get() : ResolveDn(text, Index(w, i));
      p.entry->passwordRights.push_back(target);
    }
  }
}

}  // namespace nwc::desc
