#include "network.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "common/nwtext.h"
#include "directory.h"
#include "schema.h"

namespace nwc {

extern const unsigned char kDemoNetwork[];
extern const std::size_t kDemoNetworkSize;

namespace fs = std::filesystem;

// ---- model ----------------------------------------------------------------

bool DirEntry::IsContainer() const {
  if (IsRoot()) return true;
  return baseClass == "Country" || baseClass == "Locality" || baseClass == "Organization" ||
         baseClass == "Organizational Unit";
}

DName DirEntry::Name() const {
  DName name;
  for (const DirEntry* e = this; e != nullptr && !e->IsRoot(); e = e->parent) {
    name.parts.push_back(e->rdn);
  }
  return name;
}

namespace {

// The class chain of every entry of a base class: the class itself, then its
// superclasses nearest first. Made once per class and kept for the process.
const Attribute& ClassChain(const std::string& baseClass) {
  static std::mutex lock;
  static std::unordered_map<std::string, Attribute> chains;  // its elements never move
  std::lock_guard<std::mutex> hold(lock);
  auto it = chains.find(baseClass);
  if (it == chains.end()) {
    Attribute a{"Object Class", SYN_CLASS_NAME, {}};
    a.values.push_back({SYN_CLASS_NAME, baseClass});
    if (const ClassDef* cls = FindClass(baseClass)) {
      for (std::string_view super : cls->superclasses) a.values.push_back({SYN_CLASS_NAME, std::string(super)});
    }
    it = chains.emplace(baseClass, std::move(a)).first;
  }
  return it->second;
}

}  // namespace

const Attribute* DirEntry::FindAttribute(std::string_view name) const {
  for (const Attribute& a : attributes) {
    if (EqualNoCase(a.name, name)) return &a;
  }
  if (impliedAttributes && EqualNoCase(name, "Object Class")) return &ClassChain(baseClass);
  return nullptr;
}

Attribute* DirEntry::FindAttribute(std::string_view name) {
  for (Attribute& a : attributes) {
    if (EqualNoCase(a.name, name)) return &a;
  }
  return nullptr;
}

std::optional<Attribute> DirEntry::ImpliedNaming() const {
  if (!impliedAttributes || IsRoot()) return std::nullopt;
  const AttributeDef* naming = nwc::FindAttribute(rdn.type);
  if (naming == nullptr) return std::nullopt;
  return Attribute{std::string(naming->name), naming->syntax, {{naming->syntax, rdn.value}}};
}

std::optional<Attribute> DirEntry::ReadAttribute(std::string_view name) const {
  if (const Attribute* a = FindAttribute(name)) return *a;
  if (auto naming = ImpliedNaming(); naming && EqualNoCase(naming->name, name)) return naming;
  return std::nullopt;
}

void DirEntry::ForEachAttribute(const std::function<void(const Attribute&)>& fn) const {
  if (impliedAttributes) {
    fn(ClassChain(baseClass));
    if (auto naming = ImpliedNaming()) fn(*naming);
  }
  for (const Attribute& a : attributes) fn(a);
}

bool DirEntry::IsWithin(const DirEntry& other) const {
  for (const DirEntry* e = this; e != nullptr; e = e->parent) {
    if (e == &other) return true;
  }
  return false;
}

DirEntry* DirEntry::AddChild(std::unique_ptr<DirEntry> child) {
  DirEntry* e = child.get();
  e->parent = this;
  if (!below_) below_ = std::make_unique<Below>();
  below_->children.push_back(std::move(child));
  below_->index.Insert(e);
  return e;
}

const std::vector<std::unique_ptr<DirEntry>>& DirEntry::Children() const {
  static const std::vector<std::unique_ptr<DirEntry>> kNone;
  return below_ ? below_->children : kNone;
}

ChildKey::Key ChildKey::KeyOf(const DirEntry& e) { return e.rdn.value; }
bool ChildKey::Matches(const DirEntry& e, Key value) { return EqualNoCase(e.rdn.value, value); }

std::size_t ChildKey::Hash(Key value) {
  const std::uint64_t h = nwtext::FoldedHash(value);
  return static_cast<std::size_t>(h ^ (h >> 32));
}

IdKey::Key IdKey::KeyOf(const DirEntry& e) { return e.id; }
bool IdKey::Matches(const DirEntry& e, Key id) { return e.id == id; }

std::pair<std::uint32_t, DirEntry*> IdTable::const_iterator::operator*() const {
  return {(*at_)->id, const_cast<DirEntry*>(*at_)};
}

DirEntry* DirectoryTree::Find(const DName& name) const {
  DirEntry* e = root.get();
  for (std::size_t i = name.parts.size(); e != nullptr && i-- > 0;) {
    const Rdn& part = name.parts[i];
    DirEntry* next = FindChild(*e, part.value);
    e = next != nullptr && (part.type.empty() || EqualNoCase(next->rdn.type, part.type)) ? next : nullptr;
  }
  return e;
}

DirEntry* DirectoryTree::FindById(std::uint32_t id) const { return byId.Find(id); }

std::string DirectoryTree::ChildType(const DName& parent, std::string_view value) const {
  const DirEntry* p = Find(parent);
  if (p == nullptr) return {};
  const DirEntry* child = FindChild(*p, value);
  return child ? child->rdn.type : std::string();
}

TypeOracle DirectoryTree::Oracle() const {
  return [this](const DName& parent, const std::string& value) { return ChildType(parent, value); };
}

std::optional<fs::path> Volume::HostPath(std::string_view path, bool mustExist) const {
  std::vector<std::string> parts;
  std::string piece;
  auto flush = [&]() -> bool {
    if (piece.empty() || piece == ".") {
    } else if (piece == "..") {
      if (parts.empty()) return false;
      parts.pop_back();
    } else {
      parts.push_back(piece);
    }
    piece.clear();
    return true;
  };
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!flush()) return std::nullopt;
    } else {
      piece.push_back(c);
    }
  }
  if (!flush()) return std::nullopt;

  std::error_code ec;
  fs::path current = root;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    fs::path exact = current / parts[i];
    if (fs::exists(exact, ec)) {
      current = exact;
      continue;
    }
    std::optional<fs::path> match;
    if (fs::is_directory(current, ec)) {
      for (const auto& item : fs::directory_iterator(current, ec)) {
        if (EqualNoCase(item.path().filename().string(), parts[i])) {
          match = item.path();
          break;
        }
      }
    }
    if (match) {
      current = *match;
    } else if (!mustExist && i + 1 == parts.size()) {
      current = exact;
    } else {
      return std::nullopt;
    }
  }
  // A link inside the volume must not lead out of it.
  fs::path base = fs::weakly_canonical(root, ec);
  fs::path real = fs::weakly_canonical(current, ec);
  if (ec) return std::nullopt;
  if (!nwtext::PathWithin(real, base)) return std::nullopt;
  return current;
}

const BinderyProperty* BinderyObject::FindProperty(std::string_view name) const {
  for (const BinderyProperty& p : properties) {
    if (EqualNoCase(p.name, name)) return &p;
  }
  return nullptr;
}

BinderyProperty* BinderyObject::FindProperty(std::string_view name) {
  for (BinderyProperty& p : properties) {
    if (EqualNoCase(p.name, name)) return &p;
  }
  return nullptr;
}

std::string BinderyObject::FullName() const {
  const BinderyProperty* p = FindProperty("IDENTIFICATION");
  if (p == nullptr) return {};
  std::size_t len = 0;
  while (len < p->data.size() && len < 128 && p->data[len] != 0) ++len;
  return std::string(p->data.begin(), p->data.begin() + static_cast<std::ptrdiff_t>(len));
}

Slot* Server::FindSlot(std::uint16_t number) {
  if (number == 0 || number > slots.size()) return nullptr;
  return &slots[number - 1];
}

std::uint16_t Server::ConnectionsInUse() const {
  return static_cast<std::uint16_t>(
      std::count_if(slots.begin(), slots.end(), [](const Slot& s) { return s.inUse; }));
}

std::uint16_t Server::AllocateSlot() {
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (!slots[i].inUse) {
      slots[i] = Slot{};
      slots[i].inUse = true;
      peakConnections = std::max(peakConnections, ConnectionsInUse());
      return static_cast<std::uint16_t>(i + 1);
    }
  }
  return 0;
}

void Server::ReleaseSlot(std::uint16_t number) {
  if (Slot* s = FindSlot(number)) *s = Slot{};
}

std::vector<std::uint16_t> Server::ConnectionsOf(std::uint32_t objectId) const {
  std::vector<std::uint16_t> out;
  if (objectId == 0) return out;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (slots[i].inUse && slots[i].objectId == objectId) {
      out.push_back(static_cast<std::uint16_t>(i + 1));
    }
  }
  return out;
}

BinderyObject* Server::AddObject(std::unique_ptr<BinderyObject> object) {
  BinderyObject* o = object.get();
  bindery.push_back(std::move(object));
  binderyByName[UpperAscii(o->name)].push_back(o);
  return o;
}

BinderyObject* Server::FindObject(std::string_view name, std::uint16_t type) {
  auto it = binderyByName.find(UpperAscii(name));
  if (it == binderyByName.end()) return nullptr;
  for (BinderyObject* o : it->second) {
    if (type == OT_WILD || o->type == type) return o;
  }
  return nullptr;
}

BinderyObject* Server::FindObject(std::uint32_t objectId) {
  for (const auto& o : bindery) {
    if (o->id == objectId) return o.get();
  }
  return nullptr;
}

const Volume* Server::FindVolume(std::string_view volumeName) const {
  for (const Volume& v : volumes) {
    if (EqualNoCase(v.name, volumeName)) return &v;
  }
  return nullptr;
}

const Volume* Server::FindVolume(std::uint16_t number) const {
  for (const Volume& v : volumes) {
    if (v.number == number) return &v;
  }
  return nullptr;
}

std::vector<QueueJob>* Server::Jobs(std::uint32_t queueId) {
  auto it = queueJobs.find(queueId);
  return it == queueJobs.end() ? nullptr : &it->second;
}

std::time_t Server::Now() const { return std::time(nullptr) + static_cast<std::time_t>(clockOffset); }

void Server::SetClock(std::time_t when) { clockOffset = static_cast<std::int64_t>(when - std::time(nullptr)); }

const Slot* Connection::ServerSlot() const { return server ? server->FindSlot(number) : nullptr; }

Connection* Workstation::FindConnection(NWCONN_HANDLE handle) const {
  if (handle == 0) return nullptr;
  for (const auto& c : connections) {
    if (c->handle == handle) return c.get();
  }
  return nullptr;
}

Connection* Workstation::FindConnectionByRef(NWCCConnRef ref) const {
  if (ref == 0) return nullptr;
  for (const auto& c : connections) {
    if (c->ref == ref) return c.get();
  }
  return nullptr;
}

Connection* Workstation::FindConnectionTo(const Server& server) const {
  for (const auto& c : connections) {
    if (c->server == &server) return c.get();
  }
  return nullptr;
}

Connection* Workstation::Primary() const { return FindConnection(primary); }

Network::Network() : handleSeed_(0x4E57434C49454E54ULL) {}
Network::~Network() = default;

Server* Network::FindServer(std::string_view name) const {
  for (const auto& s : servers) {
    if (EqualNoCase(s->name, name)) return s.get();
  }
  return nullptr;
}

Server* Network::FindServerById(std::uint32_t id) const {
  for (const auto& s : servers) {
    if (s->id == id) return s.get();
  }
  return nullptr;
}

std::vector<Server*> Network::DirectoryServers() const {
  std::vector<Server*> out;
  for (const auto& s : servers) {
    if (s->directoryServer) out.push_back(s.get());
  }
  return out;
}

std::uint32_t Network::NewHandle() {
  for (;;) {
    // splitmix64: random-looking, reproducible from run to run.
    std::uint64_t z = (handleSeed_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    auto h = static_cast<std::uint32_t>(z);
    // Never a connection number, never 0 or -1, never in use.
    if (h <= 0xFFFF || h == 0xFFFFFFFF) continue;
    bool taken = false;
    for (const auto& c : workstation.connections) taken = taken || c->handle == h || c->ref == h;
    if (!taken) return h;
  }
}

Connection* Network::OpenConnection(Server& server) {
  std::uint16_t number = server.AllocateSlot();
  if (number == 0) return nullptr;
  auto conn = std::make_unique<Connection>();
  conn->server = &server;
  conn->number = number;
  conn->handle = NewHandle();
  conn->ref = NewHandle();
  conn->licensed = false;
  workstation.connections.push_back(std::move(conn));
  return workstation.connections.back().get();
}

void Network::LoginConnection(Connection& conn, const BinderyObject* object, const DirEntry* identity) {
  Slot* slot = conn.server ? conn.server->FindSlot(conn.number) : nullptr;
  if (slot == nullptr) return;
  slot->inUse = true;
  slot->loginTime = conn.server->Now();
  slot->identity = identity;
  if (object != nullptr) {
    slot->objectName = object->name;
    slot->objectType = object->type;
    slot->objectId = object->id;
  } else if (identity != nullptr) {
    slot->objectName = FormatName(identity->Name(), true);
    slot->objectType = OT_USER;
    slot->objectId = identity->id;
  }
  conn.licensed = true;
  conn.authenticated = identity != nullptr || object != nullptr;
}

bool Network::CloseConnection(NWCONN_HANDLE handle) {
  auto& list = workstation.connections;
  for (auto it = list.begin(); it != list.end(); ++it) {
    if ((*it)->handle == handle) {
      if ((*it)->server) (*it)->server->ReleaseSlot((*it)->number);
      if (workstation.primary == handle) workstation.primary = 0;
      list.erase(it);
      return true;
    }
  }
  return false;
}

void Network::SetStore(std::unique_ptr<DirectoryStore> store) { store_ = std::move(store); }

// ---- loading ----------------------------------------------------------------

std::string_view DemoNetworkJson() {
  return std::string_view(reinterpret_cast<const char*>(kDemoNetwork), kDemoNetworkSize);
}

fs::path CoreFolder() {
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&CoreFolder), &self) == 0 || self.dli_fname == nullptr) {
    return fs::current_path();
  }
  std::error_code ec;
  return fs::absolute(self.dli_fname, ec).parent_path();
}

fs::path DemoNetworkRoot() {
  // Relative to the core's folder, so that the same library serves the demo
  // from its build folder and from an installation.
  return (CoreFolder() / NWC_DEMO_FROM_CORE).lexically_normal();
}

namespace {

struct GlobalState {
  bool attempted = false;
  std::unique_ptr<Network> network;
};

std::recursive_mutex& Mutex() {
  static std::recursive_mutex m;
  return m;
}

GlobalState& State() {
  static GlobalState state;
  return state;
}

void Report(const std::string& message) {
  std::fprintf(stderr, "nwclient: cannot load the network: %s\n", message.c_str());
  std::fflush(stderr);
}

bool Install(std::unique_ptr<Network> net, const std::string& error) {
  GlobalState& st = State();
  st.attempted = true;
  st.network = std::move(net);
  if (!st.network) {
    Report(error);
    return false;
  }
  return true;
}

std::unique_ptr<Network> ReadFileDescription(const fs::path& file, std::string* error) {
  const std::string label = file.string();
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    *error = label + ": cannot open the file";
    return nullptr;
  }
  std::error_code ec;
  auto size = fs::file_size(file, ec);
  constexpr std::uintmax_t kMaxDescription = 64u << 20;
  if (ec || size > kMaxDescription) {
    *error = label + (ec ? ": cannot read the file" : ": the file is larger than 64 MB");
    return nullptr;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = label + ": cannot read the file";
    return nullptr;
  }
  fs::path base = file.parent_path();
  if (base.empty()) base = ".";
  auto net = ParseNetwork(text, base, label, error);
  // The description may hold clear passwords.
  WipeString(text);
  return net;
}

}  // namespace

std::unique_lock<std::recursive_mutex> NetworkLock() { return std::unique_lock(Mutex()); }

Network* CurrentNetwork() {
  auto lock = NetworkLock();
  GlobalState& st = State();
  if (!st.attempted) {
    st.attempted = true;
    std::string error;
    const char* path = std::getenv("NWCLIENT_NETWORK");
    std::unique_ptr<Network> net;
    if (path != nullptr && *path != '\0') {
      net = ReadFileDescription(fs::path(path), &error);
    } else {
      net = ParseNetwork(DemoNetworkJson(), DemoNetworkRoot(), "(demo network)", &error);
    }
    Install(std::move(net), error);
  }
  return st.network.get();
}

bool LoadNetworkFromString(std::string_view json, const fs::path& baseDir, std::string_view label) {
  auto lock = NetworkLock();
  std::string error;
  auto net = ParseNetwork(json, baseDir, label, &error);
  return Install(std::move(net), error);
}

bool LoadNetworkFromFile(const fs::path& file) {
  auto lock = NetworkLock();
  std::string error;
  auto net = ReadFileDescription(file, &error);
  return Install(std::move(net), error);
}

void ResetNetwork() {
  auto lock = NetworkLock();
  State().network.reset();
  State().attempted = false;
}

}  // namespace nwc
