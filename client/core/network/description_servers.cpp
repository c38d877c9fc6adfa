// The network description's servers: file servers and their volumes, the
// directory servers' links, and each server's bindery and its rights.
#include <algorithm>
#include <climits>
#include <cstring>

#include "common/nwtext.h"
#include "description_loader.h"
#include "directory.h"
#include "locale_info.h"
#include "schema.h"

namespace nwc::desc {

namespace {

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

}  // namespace

void Loader::LoadServer(const Json& desc, const std::string& where) {
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

DirEntry* Loader::Container(const std::string& text, const std::string& where) {
  DirEntry* e = ResolveDn(text, where);
  if (!e->IsContainer()) Fail(where, e->Canonical() + " is not a container");
  return e;
}

void Loader::LinkDirectoryServer(Server& s, const Json& desc, const std::string& w) {
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

std::uint32_t Loader::GeneratedBinderyId(const Server& s, std::string_view seed) {
  std::uint32_t low = Fnv(UpperAscii(s.name) + "/" + std::string(seed)) & 0x00FFFFFF;
  for (;;) {
    std::uint32_t id = IdFromDisplay(0x02000000 | low);
    low = (low + 1) & 0x00FFFFFF;
    if (!IdTaken(s, id)) return id;
  }
}

bool Loader::IdTaken(const Server& s, std::uint32_t id) {
  if (net_.tree && net_.tree->byId.count(id) != 0) return true;
  for (const auto& o : s.bindery) {
    if (o->id == id) return true;
  }
  for (const auto& other : net_.servers) {
    if (other->id == id && other.get() != &s) return true;
  }
  return false;
}

std::uint16_t Loader::TypeOf(const Json& j, const std::string& where) {
  if (j.is_string()) {
    for (const TypeName& t : kTypeNames) {
      if (EqualNoCase(t.name, j.get<std::string>())) return TypeWord(t.number);
    }
    Fail(where, "unknown bindery type " + Quote(j.get<std::string>()));
  }
  return TypeWord(static_cast<std::uint16_t>(AsInt(j, where, 1, 0xFFFE)));
}

void Loader::SetProperty(BinderyObject& o, const std::string& name, Bytes data, std::uint8_t flags) {
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

void Loader::SetTextProperty(BinderyObject& o, const std::string& name, const std::string& text) {
  Bytes data(text.begin(), text.end());
  data.push_back(0);
  SetProperty(o, name, std::move(data), 0);
}

void Loader::LoadBindery(PendingServer& ps) {
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

// Objects every server knows from the network's advertisements: the file
// servers and the directory trees.
void Loader::AddAdvertisedObjects() {
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
void Loader::EmulateBindery(Server& s) {
  for (const DirEntry* ctx : s.binderyContexts) {
    for (const auto& child : ctx->Children()) {
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

BinderyObject* Loader::FindBinderyOrEmulated(Server& s, const std::string& name, const std::string& where) {
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

void Loader::AssignRights(PendingServer& ps) {
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

void Loader::AppendId(BinderyObject& o, const std::string& prop, std::uint32_t id) {
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

void Loader::BuildGroupProperties(Server& s) {
  for (const PendingMember& m : pendingMembers_) {
    if (m.server != &s) continue;
    AppendId(*m.group, "GROUP_MEMBERS", m.member->id);
    AppendId(*m.member, "GROUPS_I'M_IN", m.group->id);
  }
}

}  // namespace nwc::desc
