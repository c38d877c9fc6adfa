// Reads a network description (JSON, see client/NETWORK.md) into the model.
// Any fault ends the load with one message naming where it is; nothing
// throws out of ParseNetwork.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>

#include "common/nwtext.h"
#include "directory.h"
#include "ldap_store.h"
#include "locale_info.h"
#include "network.h"
#include "schema.h"

namespace nwc {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

struct LoadError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw LoadError(where.empty() ? what : where + ": " + what);
}

// Texts of the description quoted in a message. Only names, numbers and
// words are ever quoted, never a password or an attribute's value.
std::string Quote(std::string_view s) { return "'" + Printable(s) + "'"; }

std::string Member(const std::string& where, std::string_view key) {
  return where.empty() ? std::string(key) : where + "." + std::string(key);
}

std::string Index(const std::string& where, std::size_t i) {
  return where + "[" + std::to_string(i) + "]";
}

const char* KindOf(const Json& j) {
  switch (j.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::object: return "an object";
    case Json::value_t::array: return "a list";
    case Json::value_t::string: return "a text";
    case Json::value_t::boolean: return "true or false";
    case Json::value_t::number_float: return "a fraction";
    default: return "a number";
  }
}

void CheckKeys(const Json& obj, const std::string& where, std::initializer_list<std::string_view> keys) {
  if (!obj.is_object()) Fail(where, std::string("must be an object, not ") + KindOf(obj));
  for (const auto& item : obj.items()) {
    if (std::find(keys.begin(), keys.end(), item.key()) == keys.end()) {
      Fail(where, "unknown field " + Quote(item.key()));
    }
  }
}

const Json* Opt(const Json& obj, std::string_view key) {
  auto it = obj.find(std::string(key));
  return it == obj.end() ? nullptr : &*it;
}

const std::string& AsString(const Json& j, const std::string& where) {
  if (!j.is_string()) Fail(where, std::string("must be a text, not ") + KindOf(j));
  return j.get_ref<const std::string&>();
}

std::int64_t AsInt(const Json& j, const std::string& where, std::int64_t lo, std::int64_t hi) {
  std::int64_t v = 0;
  if (j.is_number_unsigned()) {
    auto u = j.get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(hi)) Fail(where, "must be at most " + std::to_string(hi));
    v = static_cast<std::int64_t>(u);
  } else if (j.is_number_integer()) {
    v = j.get<std::int64_t>();
  } else {
    Fail(where, std::string("must be a whole number, not ") + KindOf(j));
  }
  if (v < lo || v > hi) {
    Fail(where, "must be between " + std::to_string(lo) + " and " + std::to_string(hi));
  }
  return v;
}

bool AsBool(const Json& j, const std::string& where) {
  if (!j.is_boolean()) Fail(where, std::string("must be true or false, not ") + KindOf(j));
  return j.get<bool>();
}

const Json& AsArray(const Json& j, const std::string& where) {
  if (!j.is_array()) Fail(where, std::string("must be a list, not ") + KindOf(j));
  return j;
}

const Json& Req(const Json& obj, std::string_view key, const std::string& where) {
  const Json* j = Opt(obj, key);
  if (j == nullptr) Fail(where, "the field " + Quote(key) + " is missing");
  return *j;
}

// A hexadecimal ID as NetWare shows it ("1", "1A00003C").
std::uint32_t AsShownId(const Json& j, const std::string& where) {
  const std::string& text = AsString(j, where);
  std::string digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.erase(0, 2);
  if (digits.empty() || digits.size() > 8 ||
      digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    Fail(where, "must be a hexadecimal ID of at most 8 digits, not " + Quote(text));
  }
  const std::uint32_t shown = nwtext::ParseNumber<std::uint32_t>(digits, 16).value_or(0);
  if (shown == 0 || shown == 0xFFFFFFFF) Fail(where, "0 and FFFFFFFF are not object IDs");
  return IdFromDisplay(shown);
}

// Replaces %d, %Nd and %0Nd by `n`, %% by %. Only generated objects expand.
std::string Expand(const std::string& pattern, long n, const std::string& where) {
  if (n < 0) return pattern;
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c != '%') {
      out.push_back(c);
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    bool zero = j < pattern.size() && pattern[j] == '0';
    if (zero) ++j;
    std::size_t end = j;
    while (end < pattern.size() && pattern[end] >= '0' && pattern[end] <= '9') ++end;
    const int width = end == j ? 0 : nwtext::ParseNumber<int>(pattern.substr(j, end - j)).value_or(INT_MAX);
    j = end;
    if (j >= pattern.size() || pattern[j] != 'd' || width > 20) {
      // The pattern may be an attribute's value: say where, not what.
      Fail(where, "only %d, %Nd, %0Nd and %% may stand in a generated text (the '%' at character " +
                      std::to_string(i + 1) + ")");
    }
    std::string digits = std::to_string(n);
    if (static_cast<int>(digits.size()) < width) {
      digits.insert(0, static_cast<std::size_t>(width) - digits.size(), zero ? '0' : ' ');
    }
    out += digits;
    i = j;
  }
  return out;
}

std::uint32_t Fnv(std::string_view text) {
  std::uint32_t h = 2166136261u;
  for (char c : text) {
    h ^= static_cast<std::uint8_t>(c);
    h *= 16777619u;
  }
  return h;
}

bool ValidServerName(std::string_view name) {
  if (name.size() < 2 || name.size() >= NW_MAX_BINDERY_NAME) return false;
  for (char c : name) {
    if (c <= ' ' || c > '~' || std::strchr("\"*+,./:;<=>?[\\]|", c) != nullptr) return false;
  }
  return true;
}

bool ValidBinderyName(std::string_view name) {
  if (name.empty() || name.size() >= NW_MAX_BINDERY_NAME) return false;
  for (char c : name) {
    if (c < ' ' || c > '~' || std::strchr("\"*,/:;<=>?[\\]|", c) != nullptr) return false;
  }
  return true;
}

struct TypeName {
  std::string_view name;
  std::uint16_t number;
};
constexpr TypeName kTypeNames[] = {
    {"user", 0x0001},         {"group", 0x0002},          {"print queue", 0x0003},
    {"file server", 0x0004},  {"job server", 0x0005},     {"gateway", 0x0006},
    {"print server", 0x0007}, {"archive queue", 0x0008},  {"archive server", 0x0009},
    {"job queue", 0x000A},    {"administration", 0x000B}, {"nas sna gateway", 0x0021},
    {"remote bridge server", 0x0026}, {"tcpip gateway", 0x0027},
};

// ---- the loader -------------------------------------------------------------

class Loader {
 public:
  Loader(const fs::path& base, Network& net) : base_(base), net_(net), now_(std::time(nullptr)) {}

  void Load(const Json& doc) {
    CheckKeys(doc, "", {"tree", "directory", "servers", "workstation"});
    if (const Json* t = Opt(doc, "tree")) LoadTree(*t);
    if (const Json* d = Opt(doc, "directory")) LoadDirectory(*d);
    const Json* servers = Opt(doc, "servers");
    if (servers == nullptr) Fail("", "the field 'servers' is missing");
    AsArray(*servers, "servers");
    for (std::size_t i = 0; i < servers->size(); ++i) LoadServer((*servers)[i], Index("servers", i));
    if (net_.tree) {
      AssignEntryIds();
      ResolveAttributes();
      ResolvePasswordRights();
    }
    for (auto& s : pendingServers_) LoadBindery(s);
    AddAdvertisedObjects();
    for (auto& s : pendingServers_) EmulateBindery(*s.server);
    for (auto& s : pendingServers_) {
      AssignRights(s);
      BuildGroupProperties(*s.server);
    }
    for (auto& s : pendingServers_) LoadServerConnections(s);
    if (const Json* w = Opt(doc, "workstation")) LoadWorkstation(*w);
    LoadJobs();
    for (auto& s : net_.servers) s->peakConnections = std::max(s->peakConnections, s->ConnectionsInUse());
  }

  // The LDAP server that serves the directory, when the description names one.
  const std::optional<LdapSettings>& Ldap() const { return ldap_; }

 private:
  struct PendingEntry {
    DirEntry* entry;
    const Json* desc;  // the object's (or generator's) description
    long index;        // generated objects: their number, else -1
    std::string where;
  };
  struct PendingServer {
    Server* server;
    const Json* desc;
    std::string where;
  };
  struct AutoVolume {
    DirEntry* entry;
    Server* server;
    std::string volume;
  };
  struct PendingJobs {
    const Json* jobs;
    std::string where;
    std::uint32_t queueId;
    Server* server;  // host server; null for a directory queue until resolved
    DirEntry* queueEntry;
  };

  fs::path base_;
  Network& net_;
  std::time_t now_;
  std::vector<PendingEntry> entries_;
  std::vector<PendingServer> pendingServers_;
  std::vector<AutoVolume> autoVolumes_;
  std::vector<PendingJobs> pendingJobs_;
  std::map<DirEntry*, std::uint32_t> explicitIds_;
  std::map<const Json*, PasswordHash> generatedHashes_;
  std::optional<LdapSettings> ldap_;

  DirectoryTree& Tree(const std::string& where) {
    if (!net_.tree) Fail(where, "the description has no directory tree");
    return *net_.tree;
  }

  // ---- the tree ----

  void LoadTree(const Json& t) {
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
  void LoadDirectory(const Json& d) {
    CheckKeys(d, "directory", {"ldap", "ldif"});
    const Json* server = Opt(d, "ldap");
    const Json* file = Opt(d, "ldif");
    if ((server == nullptr) == (file == nullptr)) Fail("directory", "give either 'ldap' or 'ldif'");
    if (server != nullptr) {
      ldap_ = ParseLdapSettings(*server, base_, "directory.ldap");
      return;
    }
    if (!net_.tree) {
      net_.tree = std::make_unique<DirectoryTree>();
      net_.tree->name = "LDIF";
      net_.tree->root = std::make_unique<DirEntry>();
      net_.tree->root->baseClass = "Top";
      net_.tree->root->modificationTime = static_cast<std::uint32_t>(now_);
      entries_.push_back({net_.tree->root.get(), nullptr, -1, "tree"});
    } else if (!net_.tree->root->children.empty()) {
      Fail("directory.ldif", "the tree's objects come from the LDIF file; give 'tree' only its name");
    }
    LoadLdifDirectory(*file, base_, "directory.ldif", net_.tree.get());
    // Entries that carry their own identifier keep the ID it gives.
    ForEachEntry(net_.tree->root.get(), [&](DirEntry* e) {
      if (e->id != 0) explicitIds_[e] = e->id;
    });
  }

  void LoadObjects(DirEntry* parent, const Json& list, const std::string& where) {
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

  void LoadGenerated(DirEntry* parent, const Json& gen, const std::string& where) {
    CheckKeys(gen, where, {"count", "start", "class", "name", "attributes", "password", "passwordHash"});
    const auto count = AsInt(Req(gen, "count", where), Member(where, "count"), 0, 100000);
    const auto start = Opt(gen, "start") ? AsInt(gen["start"], Member(where, "start"), 0, 1000000000) : 1;
    for (std::int64_t i = 0; i < count; ++i) LoadObject(parent, gen, where, static_cast<long>(start + i));
  }

  void LoadObject(DirEntry* parent, const Json& desc, const std::string& where, long index) {
    const std::string name = Expand(AsString(Req(desc, "name", where), Member(where, "name")), index, where);
    const std::string& cls = AsString(Req(desc, "class", where), Member(where, "class"));
    DirEntry* entry = AddEntry(parent, name, cls, where);
    const std::string w = where + " (" + entry->Canonical() + ")";
    if (const Json* id = Opt(desc, "id")) explicitIds_[entry] = AsShownId(*id, Member(w, "id"));
    entries_.push_back({entry, &desc, index, w});
    const Json* clear = Opt(desc, "password");
    const Json* hashed = Opt(desc, "passwordHash");
    if (clear && hashed) Fail(w, "give either 'password' or 'passwordHash', not both");
    if (clear) {
      const std::string& text = AsString(*clear, Member(w, "password"));
      if (text.size() >= NW_MAX_PASSWORD) Fail(w, "a password is at most 127 characters");
      if (index < 0) {
        entry->password = PasswordHash::Create(text);
      } else {
        // Generated objects share their generator's password: hash it once.
        auto it = generatedHashes_.find(&desc);
        if (it == generatedHashes_.end()) it = generatedHashes_.emplace(&desc, PasswordHash::Create(text)).first;
        entry->password = it->second;
      }
    } else if (hashed) {
      entry->password = PasswordHash::Parse(AsString(*hashed, Member(w, "passwordHash")));
      if (!entry->password) Fail(Member(w, "passwordHash"), "not a hash of the form pbkdf2-sha256$<iterations>$<salt>$<hash>");
      if (entry->password->Iterations() < PasswordHash::kDefaultIterations) {
        Fail(Member(w, "passwordHash"), "a hash of " + std::to_string(entry->password->Iterations()) +
                                            " iterations is too weak: give at least " +
                                            std::to_string(PasswordHash::kDefaultIterations));
      }
    }
    if (const Json* jobs = Opt(desc, "jobs")) {
      if (entry->baseClass != "Queue") Fail(w, "only a Queue holds jobs");
      pendingJobs_.push_back({jobs, Member(w, "jobs"), 0, nullptr, entry});
    }
    if (const Json* objects = Opt(desc, "objects")) {
      if (!entry->IsContainer()) Fail(w, "a " + entry->baseClass + " holds no objects");
      LoadObjects(entry, *objects, Member(w, "objects"));
    }
  }

  DirEntry* AddEntry(DirEntry* parent, const std::string& nameText, const std::string& className,
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

  void ForEachEntry(DirEntry* e, const std::function<void(DirEntry*)>& fn) {
    fn(e);
    for (auto& c : e->children) ForEachEntry(c.get(), fn);
  }

  void AssignEntryIds() {
    DirectoryTree& tree = *net_.tree;
    for (auto& [entry, id] : explicitIds_) {
      if (tree.byId.count(id) != 0) {
        Fail("tree", "two objects have the ID " + Hex(DisplayId(id)) + " (" + entry->Canonical() + ")");
      }
      entry->id = id;
      tree.byId[id] = entry;
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
      tree.byId[id] = e;
    });
  }

  static std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", v);
    return buf;
  }

  // A distinguished name in a description: absolute, typed or typeless.
  DirEntry* ResolveDn(const std::string& text, const std::string& where) {
    DirectoryTree& tree = Tree(where);
    DName name;
    int rc = CanonicalizeName(text, DName{}, tree.Oracle(), &name);
    if (rc != 0) Fail(where, Quote(text) + " is not a directory name");
    DirEntry* e = tree.Find(name);
    if (e == nullptr) Fail(where, "no object " + Quote(text) + " in the tree");
    return e;
  }

  Value ConvertValue(const Json& j, const AttributeDef& def, long index, const std::string& where) {
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

  static Bytes StreamBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

  void AddValue(DirEntry* e, std::string_view attrName, Value v) {
    Attribute* a = e->FindAttribute(attrName);
    if (a == nullptr) {
      const AttributeDef* def = FindAttribute(attrName);
      e->attributes.push_back({std::string(def->name), def->syntax, {}});
      a = &e->attributes.back();
    }
    a->values.push_back(std::move(v));
  }

  void ResolveAttributes() {
    for (const PendingEntry& p : entries_) {
      DirEntry* e = p.entry;
      // What the directory itself keeps: the class chain and the naming value.
      const ClassDef* cls = FindClass(e->baseClass);
      std::vector<Value> classes;
      classes.push_back({SYN_CLASS_NAME, e->baseClass});
      if (cls) {
        for (std::string_view s : cls->superclasses) classes.push_back({SYN_CLASS_NAME, std::string(s)});
      }
      e->attributes.push_back({"Object Class", SYN_CLASS_NAME, std::move(classes)});
      if (!e->IsRoot()) {
        const AttributeDef* naming = FindAttribute(e->rdn.type);
        e->attributes.push_back({std::string(naming->name), naming->syntax, {{naming->syntax, e->rdn.value}}});
      }
      if (p.desc == nullptr) continue;
      const Json* attrs = Opt(*p.desc, "attributes");
      if (attrs == nullptr) continue;
      const std::string aw = Member(p.where, "attributes");
      if (!attrs->is_object()) Fail(aw, std::string("must be an object, not ") + KindOf(*attrs));
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

  static std::string TwoDigits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v % 100);
    return buf;
  }

  void CheckClassRules() {
    for (const PendingEntry& p : entries_) {
      DirEntry* e = p.entry;
      if (e->baseClass == "Alias") {
        const Attribute* a = e->FindAttribute("Aliased Object Name");
        if (a == nullptr || a->values.size() != 1) Fail(p.where, "an Alias names one object in 'Aliased Object Name'");
        DirEntry* target = net_.tree->Find(ParseCanonical(*a->values[0].Text()));
        if (target == nullptr || target->baseClass == "Alias") Fail(p.where, "an Alias must name an object that is no alias");
        e->aliasTarget = target;
      }
      if (e->baseClass == "Volume") {
        const Attribute* host = e->FindAttribute("Host Server");
        const Attribute* res = e->FindAttribute("Host Resource Name");
        if (host && res) {
          Server* s = ServerOfEntry(*host->values[0].Text());
          if (s && s->FindVolume(*res->values[0].Text()) == nullptr) {
            Fail(p.where, "server " + s->name + " has no volume " + *res->values[0].Text());
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

  static DName ParseCanonical(const std::string& typed) {
    DName name;
    CanonicalizeName(typed, DName{}, TypeOracle{}, &name);
    return name;
  }

  Server* ServerOfEntry(const std::string& canonical) {
    for (auto& s : net_.servers) {
      if (s->entry && EqualNoCase(s->entry->Canonical(), canonical)) return s.get();
    }
    return nullptr;
  }

  void ResolvePasswordRights() {
    for (const PendingEntry& p : entries_) {
      if (p.desc == nullptr) continue;
      const Json* rights = Opt(*p.desc, "passwordRights");
      if (rights == nullptr) continue;
      const std::string w = Member(p.where, "passwordRights");
      AsArray(*rights, w);
      for (std::size_t i = 0; i < rights->size(); ++i) {
        const std::string& text = AsString((*rights)[i], Index(w, i));
        const DirEntry* target = EqualNoCase(text, kRootName) ? net_.tree->root.get() : ResolveDn(text, Index(w, i));
        p.entry->passwordRights.push_back(target);
      }
    }
  }

  // ---- servers ----

  void LoadServer(const Json& desc, const std::string& where) {
    CheckKeys(desc, where,
              {"name", "version", "revision", "maxConnections", "peakConnections", "sftLevel", "ttsLevel",
               "clockOffset", "id", "tree", "context", "binderyContext", "volumes", "bindery", "operators",
               "managers", "connections"});
    const std::string& rawName = AsString(Req(desc, "name", where), Member(where, "name"));
    if (!ValidServerName(rawName)) Fail(Member(where, "name"), Quote(rawName) + " is not a server name (2 to 47 characters, no blanks or punctuation)");
    const std::string w = where + " (" + UpperAscii(rawName) + ")";
    if (net_.FindServer(rawName)) Fail(w, "duplicate server name");
    auto server = std::make_unique<Server>();
    Server& s = *server;
    s.name = UpperAscii(rawName);
    if (const Json* v = Opt(desc, "version")) {
      const std::string& text = AsString(*v, Member(w, "version"));
      unsigned major = 0, minor = 0;
      char extra = 0;
      if (std::sscanf(text.c_str(), "%u.%u%c", &major, &minor, &extra) != 2 || major > 99 || minor > 99) {
        Fail(Member(w, "version"), "a version reads like \"4.11\", not " + Quote(text));
      }
      s.majorVersion = static_cast<std::uint8_t>(major);
      s.minorVersion = static_cast<std::uint8_t>(minor);
    }
    auto num = [&](const char* key, std::int64_t lo, std::int64_t hi, std::int64_t def) {
      const Json* j = Opt(desc, key);
      return j ? AsInt(*j, Member(w, key), lo, hi) : def;
    };
    s.revision = static_cast<std::uint8_t>(num("revision", 0, 255, 0));
    s.maxConnections = static_cast<std::uint16_t>(num("maxConnections", 1, 10000, 250));
    s.peakConnections = static_cast<std::uint16_t>(num("peakConnections", 0, s.maxConnections, 0));
    s.sftLevel = static_cast<std::uint8_t>(num("sftLevel", 0, 3, 2));
    s.ttsLevel = static_cast<std::uint8_t>(num("ttsLevel", 0, 1, 1));
    s.clockOffset = num("clockOffset", -20LL * 365 * 86400, 20LL * 365 * 86400, 0);
    s.slots.resize(s.maxConnections);
    if (const Json* id = Opt(desc, "id")) s.id = AsShownId(*id, Member(w, "id"));

    if (const Json* vols = Opt(desc, "volumes")) {
      AsArray(*vols, Member(w, "volumes"));
      for (std::size_t i = 0; i < vols->size(); ++i) {
        const std::string vw = Index(Member(w, "volumes"), i);
        CheckKeys((*vols)[i], vw, {"name", "path"});
        const std::string& vname = AsString(Req((*vols)[i], "name", vw), Member(vw, "name"));
        if (vname.size() < 2 || vname.size() > 15 ||
            vname.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-") != std::string::npos) {
          Fail(Member(vw, "name"), Quote(vname) + " is not a volume name (2 to 15 letters, digits, '-' or '_')");
        }
        if (s.FindVolume(vname)) Fail(vw, "duplicate volume " + UpperAscii(vname));
        const std::string& folder = AsString(Req((*vols)[i], "path", vw), Member(vw, "path"));
        fs::path root = fs::path(folder).is_absolute() ? fs::path(folder) : base_ / folder;
        std::error_code ec;
        if (folder.empty() || !fs::is_directory(root, ec)) Fail(Member(vw, "path"), "the folder " + root.string() + " does not exist");
        s.volumes.push_back({UpperAscii(vname), static_cast<std::uint16_t>(i), root});
      }
    }

    Server* raw = server.get();
    net_.servers.push_back(std::move(server));
    if (const Json* tree = Opt(desc, "tree")) {
      const std::string& treeName = AsString(*tree, Member(w, "tree"));
      if (!net_.tree || !EqualNoCase(treeName, net_.tree->name)) Fail(Member(w, "tree"), "no directory tree " + Quote(treeName) + " is described");
      s.directoryServer = true;
      s.tree = net_.tree->name;
      LinkDirectoryServer(*raw, desc, w);
    } else if (Opt(desc, "context") || Opt(desc, "binderyContext")) {
      Fail(w, "only a directory server (with 'tree') has a context");
    }
    pendingServers_.push_back({raw, &desc, w});
  }

  DirEntry* Container(const std::string& text, const std::string& where) {
    DirEntry* e = ResolveDn(text, where);
    if (!e->IsContainer()) Fail(where, e->Canonical() + " is not a container");
    return e;
  }

  void LinkDirectoryServer(Server& s, const Json& desc, const std::string& w) {
    DirEntry* context = Container(AsString(Req(desc, "context", w), Member(w, "context")), Member(w, "context"));
    if (DirEntry* existing = net_.tree->FindChild(*context, s.name)) {
      if (existing->baseClass != "NCP Server") Fail(w, existing->Canonical() + " is not an NCP Server");
      s.entry = existing;
    } else {
      s.entry = AddEntry(context, "CN=" + EscapeValue(s.name), "NCP Server", w);
      entries_.push_back({const_cast<DirEntry*>(s.entry), nullptr, -1, w});
    }
    for (const Volume& v : s.volumes) {
      const std::string objName = s.name + "_" + v.name;
      if (DirEntry* existing = net_.tree->FindChild(*context, objName)) {
        if (existing->baseClass != "Volume") Fail(w, existing->Canonical() + " is not a Volume");
        continue;
      }
      DirEntry* e = AddEntry(context, "CN=" + EscapeValue(objName), "Volume", w);
      entries_.push_back({e, nullptr, -1, w});
      autoVolumes_.push_back({e, &s, v.name});
    }
    if (const Json* bc = Opt(desc, "binderyContext")) {
      std::vector<std::string> names;
      if (bc->is_string()) {
        std::string all = bc->get<std::string>();
        std::size_t start = 0;
        while (start <= all.size()) {
          std::size_t cut = all.find(';', start);
          if (cut == std::string::npos) cut = all.size();
          if (cut > start) names.push_back(all.substr(start, cut - start));
          start = cut + 1;
        }
      } else {
        AsArray(*bc, Member(w, "binderyContext"));
        for (std::size_t i = 0; i < bc->size(); ++i) names.push_back(AsString((*bc)[i], Index(Member(w, "binderyContext"), i)));
      }
      for (const std::string& n : names) s.binderyContexts.push_back(Container(n, Member(w, "binderyContext")));
    } else {
      s.binderyContexts.push_back(context);
    }
  }

  std::uint32_t GeneratedBinderyId(const Server& s, std::string_view seed) {
    std::uint32_t low = Fnv(UpperAscii(s.name) + "/" + std::string(seed)) & 0x00FFFFFF;
    for (;;) {
      std::uint32_t id = IdFromDisplay(0x02000000 | low);
      low = (low + 1) & 0x00FFFFFF;
      if (!IdTaken(s, id)) return id;
    }
  }

  bool IdTaken(const Server& s, std::uint32_t id) {
    if (net_.tree && net_.tree->byId.count(id) != 0) return true;
    for (const auto& o : s.bindery) {
      if (o->id == id) return true;
    }
    for (const auto& other : net_.servers) {
      if (other->id == id && other.get() != &s) return true;
    }
    return false;
  }

  std::uint16_t TypeOf(const Json& j, const std::string& where) {
    if (j.is_string()) {
      for (const TypeName& t : kTypeNames) {
        if (EqualNoCase(t.name, j.get<std::string>())) return TypeWord(t.number);
      }
      Fail(where, "unknown bindery type " + Quote(j.get<std::string>()));
    }
    return TypeWord(static_cast<std::uint16_t>(AsInt(j, where, 1, 0xFFFE)));
  }

  static void SetProperty(BinderyObject& o, const std::string& name, Bytes data, std::uint8_t flags) {
    BinderyProperty* p = o.FindProperty(name);
    if (p == nullptr) {
      o.properties.push_back({UpperAscii(name), flags, 0x31, {}});
      p = &o.properties.back();
    }
    p->flags = flags;
    // Whole 128-byte segments, zero-padded.
    data.resize(std::max<std::size_t>(128, (data.size() + 127) / 128 * 128), 0);
    p->data = std::move(data);
  }

  static void SetTextProperty(BinderyObject& o, const std::string& name, const std::string& text) {
    Bytes data(text.begin(), text.end());
    data.push_back(0);
    SetProperty(o, name, std::move(data), 0);
  }

  void LoadBindery(PendingServer& ps) {
    Server& s = *ps.server;
    if (s.directoryServer && s.entry) s.id = s.entry->id;
    if (s.id == 0) s.id = GeneratedBinderyId(s, "FILE SERVER");
    for (const auto& other : net_.servers) {
      if (other.get() != &s && other->id == s.id) Fail(ps.where, "two servers have the ID " + Hex(DisplayId(s.id)));
    }
    const Json* list = Opt(*ps.desc, "bindery");
    if (list == nullptr) return;
    const std::string w = Member(ps.where, "bindery");
    AsArray(*list, w);
    std::vector<std::pair<BinderyObject*, std::size_t>> explicitLater;
    for (std::size_t i = 0; i < list->size(); ++i) {
      const Json& desc = (*list)[i];
      const std::string ow = Index(w, i);
      CheckKeys(desc, ow, {"name", "type", "id", "fullName", "properties", "members", "jobs", "consoleOperator", "manager"});
      const std::string& name = AsString(Req(desc, "name", ow), Member(ow, "name"));
      if (!ValidBinderyName(name)) Fail(Member(ow, "name"), Quote(name) + " is not a bindery name (1 to 47 characters)");
      auto o = std::make_unique<BinderyObject>();
      o->name = UpperAscii(name);
      o->type = TypeOf(Req(desc, "type", ow), Member(ow, "type"));
      if (s.FindObject(o->name, o->type)) Fail(ow, "duplicate bindery object " + o->name);
      if (const Json* id = Opt(desc, "id")) {
        o->id = AsShownId(*id, Member(ow, "id"));
        if (IdTaken(s, o->id)) Fail(ow, "the ID " + Hex(DisplayId(o->id)) + " is taken");
      }
      if (const Json* fn = Opt(desc, "fullName")) SetTextProperty(*o, "IDENTIFICATION", AsString(*fn, Member(ow, "fullName")));
      if (const Json* props = Opt(desc, "properties")) {
        if (!props->is_object()) Fail(Member(ow, "properties"), "must be an object");
        for (const auto& item : props->items()) {
          if (item.key().empty() || item.key().size() > 15) Fail(Member(ow, "properties"), "a property name has 1 to 15 characters");
          SetTextProperty(*o, item.key(), AsString(item.value(), Member(Member(ow, "properties"), item.key())));
        }
      }
      if (const Json* op = Opt(desc, "consoleOperator")) o->consoleOperator = AsBool(*op, Member(ow, "consoleOperator"));
      if (const Json* m = Opt(desc, "manager")) o->manager = AsBool(*m, Member(ow, "manager"));
      if (o->type == OT_USER && o->name == "SUPERVISOR") o->consoleOperator = o->manager = true;
      if (Opt(desc, "jobs") && o->type != OT_PRINT_QUEUE) Fail(ow, "only a print queue holds jobs");
      explicitLater.emplace_back(o.get(), i);
      s.AddObject(std::move(o));
    }
    for (auto& [o, i] : explicitLater) {
      if (o->id == 0) o->id = GeneratedBinderyId(s, o->name + "/" + std::to_string(o->type));
      const Json& desc = (*list)[i];
      const std::string ow = Index(w, i);
      if (o->type == OT_PRINT_QUEUE) {
        s.queueJobs[o->id];
        if (const Json* jobs = Opt(desc, "jobs")) pendingJobs_.push_back({jobs, Member(ow, "jobs"), o->id, &s, nullptr});
      }
      if (const Json* members = Opt(desc, "members")) {
        if (o->type != OT_USER_GROUP) Fail(ow, "only a group has members");
        AsArray(*members, Member(ow, "members"));
        for (std::size_t k = 0; k < members->size(); ++k) {
          const std::string mw = Index(Member(ow, "members"), k);
          const std::string& mname = AsString((*members)[k], mw);
          BinderyObject* m = s.FindObject(mname, OT_USER);
          if (m == nullptr) m = s.FindObject(mname, OT_WILD);
          if (m == nullptr) Fail(mw, "no bindery object " + Quote(mname) + " on " + s.name);
          pendingMembers_.push_back({&s, o, m});
        }
      }
    }
  }

  struct PendingMember {
    Server* server;
    BinderyObject* group;
    BinderyObject* member;
  };
  std::vector<PendingMember> pendingMembers_;

  // Objects every server knows from the network's advertisements: the file
  // servers and the directory trees.
  void AddAdvertisedObjects() {
    for (auto& s : net_.servers) {
      for (auto& other : net_.servers) {
        if (s->FindObject(other->name, OT_FILE_SERVER)) continue;
        auto o = std::make_unique<BinderyObject>();
        o->name = other->name;
        o->type = OT_FILE_SERVER;
        o->id = other->id;
        o->flags = other.get() == s.get() ? 0 : 0x01;
        o->security = 0x40;
        s->AddObject(std::move(o));
      }
      for (auto& ds : net_.servers) {
        if (!ds->directoryServer) continue;
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08X", DisplayId(ds->id));
        std::string adName = ds->tree;
        adName.resize(32, '_');
        adName += suffix;
        if (s->FindObject(adName, OT_TREE_NAME)) continue;
        auto o = std::make_unique<BinderyObject>();
        o->name = adName;
        o->type = OT_TREE_NAME;
        o->flags = 0x01;
        o->security = 0x40;
        o->id = GeneratedBinderyId(*s, adName);
        s->AddObject(std::move(o));
      }
    }
  }

  // The bindery emulation of a directory server: the users, groups, queues
  // and print servers of its bindery contexts, named by their common names.
  void EmulateBindery(Server& s) {
    for (const DirEntry* ctx : s.binderyContexts) {
      for (const auto& child : ctx->children) {
        std::uint16_t type = 0;
        if (child->baseClass == "User") type = OT_USER;
        else if (child->baseClass == "Group") type = OT_USER_GROUP;
        else if (child->baseClass == "Queue") type = OT_PRINT_QUEUE;
        else if (child->baseClass == "Print Server") type = OT_PRINT_SERVER;
        else continue;
        const std::string name = UpperAscii(child->rdn.value);
        if (name.size() >= NW_MAX_BINDERY_NAME || s.FindObject(name, type)) continue;
        auto o = std::make_unique<BinderyObject>();
        o->name = name;
        o->type = type;
        o->id = child->id;
        o->entry = child.get();
        if (const Attribute* fn = child->FindAttribute("Full Name")) SetTextProperty(*o, "IDENTIFICATION", *fn->values[0].Text());
        s.AddObject(std::move(o));
      }
    }
    for (const auto& o : s.bindery) {
      if (o->type != OT_USER_GROUP || o->entry == nullptr) continue;
      const Attribute* members = o->entry->FindAttribute("Member");
      if (members == nullptr) continue;
      for (const Value& v : members->values) {
        const DirEntry* m = net_.tree->Find(ParseCanonical(*v.Text()));
        if (m == nullptr) continue;
        if (BinderyObject* bm = s.FindObject(m->id)) pendingMembers_.push_back({&s, o.get(), bm});
      }
    }
  }

  BinderyObject* FindBinderyOrEmulated(Server& s, const std::string& name, const std::string& where) {
    if (name.find('=') != std::string::npos) {
      DirEntry* e = ResolveDn(name, where);
      BinderyObject* o = s.FindObject(e->id);
      if (o == nullptr) Fail(where, e->Canonical() + " is not in the bindery context of " + s.name);
      return o;
    }
    BinderyObject* o = s.FindObject(name, OT_USER);
    if (o == nullptr) o = s.FindObject(name, OT_USER_GROUP);
    if (o == nullptr) o = s.FindObject(name, OT_WILD);
    if (o == nullptr) Fail(where, "no bindery object " + Quote(name) + " on " + s.name);
    return o;
  }

  void AssignRights(PendingServer& ps) {
    Server& s = *ps.server;
    for (const char* key : {"operators", "managers"}) {
      const Json* list = Opt(*ps.desc, key);
      if (list == nullptr) continue;
      const std::string w = Member(ps.where, key);
      AsArray(*list, w);
      for (std::size_t i = 0; i < list->size(); ++i) {
        BinderyObject* o = FindBinderyOrEmulated(s, AsString((*list)[i], Index(w, i)), Index(w, i));
        (std::strcmp(key, "operators") == 0 ? o->consoleOperator : o->manager) = true;
      }
    }
  }

  static void AppendId(BinderyObject& o, const std::string& prop, std::uint32_t id) {
    BinderyProperty* p = o.FindProperty(prop);
    if (p == nullptr) {
      o.properties.push_back({prop, 0x02, 0x31, Bytes(128, 0)});
      p = &o.properties.back();
    }
    // Set properties hold IDs as the client gets them, 32 to a segment.
    std::size_t count = 0;
    for (std::size_t i = 0; i + 4 <= p->data.size(); i += 4) {
      std::uint32_t v = 0;
      std::memcpy(&v, &p->data[i], 4);
      if (v == id) return;
      if (v != 0) ++count;
    }
    std::size_t at = count * 4;
    if (at + 4 > p->data.size()) p->data.resize(p->data.size() + 128, 0);
    std::memcpy(&p->data[at], &id, 4);
  }

  void BuildGroupProperties(Server& s) {
    for (const PendingMember& m : pendingMembers_) {
      if (m.server != &s) continue;
      AppendId(*m.group, "GROUP_MEMBERS", m.member->id);
      AppendId(*m.member, "GROUPS_I'M_IN", m.group->id);
    }
  }

  // ---- print queue jobs ----

  std::uint32_t ObjectIdOn(Server& s, const std::string& name, const std::string& where) {
    if (name.find('=') != std::string::npos) return ResolveDn(name, where)->id;
    return FindBinderyOrEmulated(s, name, where)->id;
  }

  void LoadJobs() {
    // Every directory queue exists on its host server, jobs or none.
    for (const PendingEntry& p : entries_) {
      if (p.entry->baseClass != "Queue") continue;
      const Attribute* host = p.entry->FindAttribute("Host Server");
      if (Server* s = host ? ServerOfEntry(*host->values[0].Text()) : nullptr) s->queueJobs[p.entry->id];
    }
    for (PendingJobs& pj : pendingJobs_) {
      if (pj.queueEntry != nullptr) {
        const Attribute* host = pj.queueEntry->FindAttribute("Host Server");
        Server* s = host ? ServerOfEntry(*host->values[0].Text()) : nullptr;
        if (s == nullptr) Fail(pj.where, "a Queue with jobs needs a 'Host Server' that is a described server");
        pj.server = s;
        pj.queueId = pj.queueEntry->id;
        s->queueJobs[pj.queueId];
      }
      AsArray(*pj.jobs, pj.where);
      for (std::size_t i = 0; i < pj.jobs->size(); ++i) {
        const Json& item = (*pj.jobs)[i];
        const std::string w = Index(pj.where, i);
        if (item.is_object() && item.contains("generate")) {
          CheckKeys(item, w, {"generate"});
          const Json& gen = item["generate"];
          const std::string gw = Member(w, "generate");
          CheckKeys(gen, gw, {"count", "start", "owner", "station", "flags", "servicedBy", "description", "fileName", "type"});
          const auto count = AsInt(Req(gen, "count", gw), Member(gw, "count"), 0, 10000);
          const auto start = Opt(gen, "start") ? AsInt(gen["start"], Member(gw, "start"), 0, 1000000000) : 1;
          for (std::int64_t k = 0; k < count; ++k) AddJob(pj, gen, gw, static_cast<long>(start + k));
        } else {
          CheckKeys(item, w, {"number", "owner", "station", "flags", "servicedBy", "description", "fileName", "type"});
          AddJob(pj, item, w, -1);
        }
      }
      auto& jobs = pj.server->queueJobs[pj.queueId];
      const std::size_t n = jobs.size();
      for (std::size_t i = 0; i < n; ++i) {
        if (jobs[i].entryTime == 0) jobs[i].entryTime = now_ - static_cast<std::time_t>((n - i) * 60);
      }
    }
  }

  void AddJob(PendingJobs& pj, const Json& desc, const std::string& w, long index) {
    Server& s = *pj.server;
    auto& jobs = s.queueJobs[pj.queueId];
    QueueJob job;
    if (const Json* n = Opt(desc, "number")) {
      job.number = static_cast<std::uint32_t>(AsInt(*n, Member(w, "number"), 1, 0xFFFFFFFE));
    } else {
      std::uint32_t highest = 0;
      for (const QueueJob& j : jobs) highest = std::max(highest, j.number);
      job.number = highest + 1;
    }
    for (const QueueJob& j : jobs) {
      if (j.number == job.number) Fail(w, "duplicate job number " + std::to_string(job.number));
    }
    const std::string owner = Expand(AsString(Req(desc, "owner", w), Member(w, "owner")), index, w);
    job.clientId = ObjectIdOn(s, owner, Member(w, "owner"));
    if (const Json* st = Opt(desc, "station")) {
      job.clientStation = static_cast<std::uint32_t>(AsInt(*st, Member(w, "station"), 1, s.maxConnections));
    } else {
      auto held = s.ConnectionsOf(job.clientId);
      job.clientStation = held.empty() ? 1 : held.front();
    }
    if (const Json* f = Opt(desc, "flags")) {
      if (f->is_array()) {
        static const std::pair<std::string_view, std::uint16_t> words[] = {
            {"auto start", QF_AUTO_START}, {"entry restart", QF_ENTRY_RESTART}, {"entry open", QF_ENTRY_OPEN},
            {"user hold", QF_USER_HOLD},   {"operator hold", QF_OPERATOR_HOLD}};
        for (std::size_t k = 0; k < f->size(); ++k) {
          const std::string& word = AsString((*f)[k], Index(Member(w, "flags"), k));
          auto it = std::find_if(std::begin(words), std::end(words), [&](auto& p) { return EqualNoCase(p.first, word); });
          if (it == std::end(words)) Fail(Member(w, "flags"), "unknown job flag " + Quote(word));
          job.controlFlags |= it->second;
        }
      } else {
        job.controlFlags = static_cast<std::uint16_t>(AsInt(*f, Member(w, "flags"), 0, 255));
      }
    }
    if (const Json* by = Opt(desc, "servicedBy")) {
      job.servicingServerId = ObjectIdOn(s, AsString(*by, Member(w, "servicedBy")), Member(w, "servicedBy"));
      job.servicingStation = 1;
    }
    if (const Json* d = Opt(desc, "description")) {
      job.description = Expand(AsString(*d, Member(w, "description")), index, w);
      if (job.description.size() >= 50) Fail(Member(w, "description"), "a job description is at most 49 characters");
    }
    if (const Json* fnm = Opt(desc, "fileName")) {
      job.fileName = Expand(AsString(*fnm, Member(w, "fileName")), index, w);
      if (job.fileName.size() >= 14) Fail(Member(w, "fileName"), "a job file name is at most 13 characters");
    } else {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%08X.Q", static_cast<unsigned>(job.number & 0x0FFFFFFF));
      job.fileName = buf;
    }
    if (const Json* t = Opt(desc, "type")) job.jobType = static_cast<std::uint16_t>(AsInt(*t, Member(w, "type"), 0, 0xFFFF));
    jobs.push_back(std::move(job));
  }

  // ---- connections ----

  std::time_t ParseTime(const std::string& text, const std::string& where) {
    std::tm tm{};
    char extra = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%c", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                    &tm.tm_min, &tm.tm_sec, &extra) != 6 ||
        tm.tm_year < 1980 || tm.tm_year > 2079 || tm.tm_mon < 1 || tm.tm_mon > 12 || tm.tm_mday < 1 ||
        tm.tm_mday > 31 || tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59 || tm.tm_hour < 0 ||
        tm.tm_min < 0 || tm.tm_sec < 0) {
      Fail(where, "a time reads like \"1998-09-15 08:30:00\", not " + Quote(text));
    }
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
  }

  // Fills a slot with the object a description names: a directory name
  // (with '=') or a bindery name on that server.
  void FillSlot(Server& s, Slot& slot, const std::string& who, const std::string& where) {
    slot.inUse = true;
    if (who.find('=') != std::string::npos) {
      DirEntry* e = ResolveDn(who, where);
      if (e->baseClass != "User") Fail(where, e->Canonical() + " is not a User");
      slot.identity = e;
      if (BinderyObject* o = s.FindObject(e->id)) {
        slot.objectName = o->name;
      } else {
        slot.objectName = FormatName(e->Name(), true);
      }
      slot.objectType = OT_USER;
      slot.objectId = e->id;
    } else {
      BinderyObject* o = s.FindObject(who, OT_USER);
      if (o == nullptr) Fail(where, "no bindery user " + Quote(who) + " on " + s.name);
      slot.objectName = o->name;
      slot.objectType = o->type;
      slot.objectId = o->id;
      slot.identity = o->entry;
    }
  }

  void LoadServerConnections(PendingServer& ps) {
    const Json* list = Opt(*ps.desc, "connections");
    if (list == nullptr) return;
    Server& s = *ps.server;
    const std::string w = Member(ps.where, "connections");
    AsArray(*list, w);
    for (std::size_t i = 0; i < list->size(); ++i) {
      const std::string cw = Index(w, i);
      const Json& desc = (*list)[i];
      CheckKeys(desc, cw, {"slot", "user", "loginTime", "broadcast"});
      auto number = static_cast<std::uint16_t>(AsInt(Req(desc, "slot", cw), Member(cw, "slot"), 1, s.maxConnections));
      Slot& slot = s.slots[number - 1];
      if (slot.inUse) Fail(cw, "slot " + std::to_string(number) + " is taken twice");
      slot.inUse = true;
      if (const Json* who = Opt(desc, "user")) FillSlot(s, slot, AsString(*who, Member(cw, "user")), Member(cw, "user"));
      if (const Json* b = Opt(desc, "broadcast")) slot.broadcastMode = static_cast<std::uint16_t>(AsInt(*b, Member(cw, "broadcast"), 0, 3));
      slot.loginTime = Opt(desc, "loginTime") ? ParseTime(AsString(desc["loginTime"], Member(cw, "loginTime")), Member(cw, "loginTime"))
                                              : now_ - static_cast<std::time_t>(number) * 300;
    }
  }

  void LoadWorkstation(const Json& desc) {
    const std::string w = "workstation";
    CheckKeys(desc, w, {"country", "codePage", "nameContext", "identity", "firstDrive", "preferredServer", "preferredTree", "connections"});
    Workstation& ws = net_.workstation;
    if (const Json* c = Opt(desc, "country")) {
      ws.countryId = static_cast<std::int32_t>(AsInt(*c, Member(w, "country"), 1, 999));
      if (FindLocale(ws.countryId) == nullptr) Fail(Member(w, "country"), "the client has no conventions for country " + std::to_string(ws.countryId));
    }
    if (const Json* cp = Opt(desc, "codePage")) {
      ws.codePage = static_cast<std::int32_t>(AsInt(*cp, Member(w, "codePage"), 1, 65535));
      if (!IsKnownCodePage(ws.codePage)) Fail(Member(w, "codePage"), "the client has no tables for code page " + std::to_string(ws.codePage));
    }
    if (const Json* fd = Opt(desc, "firstDrive")) ws.firstDrive = static_cast<std::uint16_t>(AsInt(*fd, Member(w, "firstDrive"), 1, 26));
    if (const Json* nc = Opt(desc, "nameContext")) {
      const std::string& text = AsString(*nc, Member(w, "nameContext"));
      if (text.size() >= NW_MAX_CONTEXT_NAME) Fail(Member(w, "nameContext"), "a name context is at most 127 characters");
      if (!EqualNoCase(text, kRootName)) ws.nameContext = Container(text, Member(w, "nameContext"))->Name();
    }
    if (const Json* id = Opt(desc, "identity")) {
      DirEntry* e = ResolveDn(AsString(*id, Member(w, "identity")), Member(w, "identity"));
      if (e->IsContainer() || e->IsAlias()) Fail(Member(w, "identity"), e->Canonical() + " cannot log in");
      ws.identity = e->Name();
    }
    if (const Json* list = Opt(desc, "connections")) {
      const std::string lw = Member(w, "connections");
      AsArray(*list, lw);
      bool primarySet = false;
      for (std::size_t i = 0; i < list->size(); ++i) {
        const std::string cw = Index(lw, i);
        const Json& c = (*list)[i];
        CheckKeys(c, cw, {"server", "slot", "user", "authenticated", "primary", "broadcast"});
        const std::string& sname = AsString(Req(c, "server", cw), Member(cw, "server"));
        Server* s = net_.FindServer(sname);
        if (s == nullptr) Fail(Member(cw, "server"), "no server " + Quote(sname));
        if (ws.FindConnectionTo(*s)) Fail(cw, "a second connection to " + s->name);
        std::uint16_t number = 0;
        if (const Json* sl = Opt(c, "slot")) {
          number = static_cast<std::uint16_t>(AsInt(*sl, Member(cw, "slot"), 1, s->maxConnections));
          if (s->slots[number - 1].inUse) Fail(cw, "slot " + std::to_string(number) + " of " + s->name + " is taken");
        } else {
          auto it = std::find_if(s->slots.begin(), s->slots.end(), [](const Slot& x) { return !x.inUse; });
          if (it == s->slots.end()) Fail(cw, s->name + " has no free slot");
          number = static_cast<std::uint16_t>(it - s->slots.begin() + 1);
        }
        auto conn = std::make_unique<Connection>();
        conn->server = s;
        conn->number = number;
        conn->handle = net_.NewHandle();
        conn->ref = net_.NewHandle();
        Slot& slot = s->slots[number - 1];
        slot.inUse = true;
        slot.loginTime = now_ - 3600;
        bool loggedIn = false;
        if (const Json* who = Opt(c, "user")) {
          FillSlot(*s, slot, AsString(*who, Member(cw, "user")), Member(cw, "user"));
          loggedIn = true;
        }
        conn->authenticated = Opt(c, "authenticated") ? AsBool(c["authenticated"], Member(cw, "authenticated")) : loggedIn;
        if (const Json* b = Opt(c, "broadcast")) slot.broadcastMode = static_cast<std::uint16_t>(AsInt(*b, Member(cw, "broadcast"), 0, 3));
        if (Opt(c, "primary") && AsBool(c["primary"], Member(cw, "primary"))) {
          if (primarySet) Fail(cw, "only one connection is primary");
          primarySet = true;
          ws.primary = conn->handle;
        }
        ws.connections.push_back(std::move(conn));
      }
      if (!primarySet && !ws.connections.empty()) ws.primary = ws.connections.front()->handle;
    }
    if (const Json* ps = Opt(desc, "preferredServer")) {
      const std::string& name = AsString(*ps, Member(w, "preferredServer"));
      if (net_.FindServer(name) == nullptr) Fail(Member(w, "preferredServer"), "no server " + Quote(name));
      ws.preferredServer = UpperAscii(name);
    } else if (Connection* p = ws.Primary()) {
      ws.preferredServer = p->server->name;
    }
    if (const Json* pt = Opt(desc, "preferredTree")) {
      const std::string& name = AsString(*pt, Member(w, "preferredTree"));
      if (name.size() > 32) Fail(Member(w, "preferredTree"), "a tree name is at most 32 characters");
      ws.preferredTree = UpperAscii(name);
    } else if (net_.tree) {
      ws.preferredTree = net_.tree->name;
    }
  }
};

// A JSON syntax fault: where it is and what was expected. The parser's own
// message ends with the text it read last, which may be a password, so only
// its fixed parts are kept:
//   "[json.exception.parse_error.101] parse error at line 3, column 5: syntax
//    error while parsing object key - invalid literal; last read: '<text>';
//    expected string literal"
std::string JsonFault(const Json::parse_error& e, std::string_view json) {
  const std::string_view what = e.what();
  // The place: from the message's head, else from the byte offset.
  std::string place;
  const std::size_t at = what.find(" at line ");
  const std::size_t colon = what.find(": ");
  if (at != std::string_view::npos && colon != std::string_view::npos && at < colon) {
    place = std::string(what.substr(at + 4, colon - at - 4));
  } else {
    const std::size_t byte = std::min<std::size_t>(e.byte == 0 ? 0 : e.byte - 1, json.size());
    const std::string_view before = json.substr(0, byte);
    const std::size_t lastBreak = before.rfind('\n');
    place = "line " + std::to_string(std::count(before.begin(), before.end(), '\n') + 1) + ", column " +
            std::to_string(lastBreak == std::string_view::npos ? byte + 1 : byte - lastBreak);
  }
  std::string fault = "malformed JSON";
  const std::size_t parsing = what.find("while parsing ");
  const std::size_t dash = what.find(" - ", colon == std::string_view::npos ? 0 : colon);
  if (dash != std::string_view::npos) {
    if (parsing != std::string_view::npos && parsing < dash) {
      fault += " while parsing " + std::string(what.substr(parsing + 14, dash - parsing - 14));
    }
    // The lexer's own words come before "; last read", and are fixed texts.
    std::string_view detail = what.substr(dash + 3);
    const std::size_t read = detail.find("; last read: '");
    if (read != std::string_view::npos) {
      fault += ": " + std::string(detail.substr(0, read));
    } else {
      const std::size_t expected = detail.find("; expected ");
      fault += ": " + std::string(detail.substr(0, expected));
    }
  }
  // What the parser expected instead: one of its token names, at the end.
  static const std::string_view kTokens[] = {"true literal", "false literal", "null literal", "string literal",
                                             "number literal", "'['", "'{'", "']'", "'}'", "':'", "','",
                                             "end of input", "'[', '{', or a literal"};
  for (std::string_view token : kTokens) {
    const std::string tail = "; expected " + std::string(token);
    if (what.size() >= tail.size() && what.substr(what.size() - tail.size()) == tail) {
      fault += "; expected " + std::string(token);
      break;
    }
  }
  return place + ": " + Printable(fault);
}

}  // namespace

std::unique_ptr<Network> ParseNetwork(std::string_view json, const fs::path& baseDir, std::string_view label,
                                      std::string* error) {
  const std::string prefix = std::string(label) + ": ";
  try {
    Json doc = Json::parse(json.begin(), json.end());
    // Clear passwords in the document are wiped before it is freed, also
    // when the load fails.
    struct Wiper {
      Json& doc;
      ~Wiper() { Wipe(doc); }
      static void Wipe(Json& j) {
        if (j.is_object()) {
          for (auto& item : j.items()) {
            if (item.key() == "password" && item.value().is_string()) WipeString(item.value().get_ref<std::string&>());
            Wipe(item.value());
          }
        } else if (j.is_array()) {
          for (auto& v : j) Wipe(v);
        }
      }
    } wiper{doc};
    auto net = std::make_unique<Network>();
    net->source = std::string(label);
    Loader loader(baseDir, *net);
    loader.Load(doc);
    if (loader.Ldap()) {
      net->SetStore(MakeLdapStore(*loader.Ldap(), *net));
    } else if (net->tree) {
      net->SetStore(MakeBuiltinStore(*net));
    }
    return net;
  } catch (const Json::parse_error& e) {
    if (error) *error = prefix + JsonFault(e, json);
  } catch (const LoadError& e) {
    if (error) *error = prefix + e.what();
  } catch (const std::exception& e) {
    if (error) *error = prefix + e.what();
  } catch (...) {
    if (error) *error = prefix + "unreadable description";
  }
  // Field names and texts of the description stand in the message: it stays
  // one line whatever they hold.
  if (error) *error = Printable(*error);
  return nullptr;
}

}  // namespace nwc
