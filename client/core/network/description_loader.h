// The network description's loader, shared by the files that implement it:
// - description.cpp: the JSON helpers, the order of the load and ParseNetwork;
// - description_tree.cpp: the directory tree, its objects and their values;
// - description_servers.cpp: servers, their volumes and binderies;
// - description_workstation.cpp: print jobs, connections and the workstation.
// Any fault ends the load with one message naming where it is; nothing
// throws out of ParseNetwork.
#pragma once

#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ldap_library.h"
#include "network.h"
#include "password.h"
#include "schema.h"

namespace nwc::desc {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

struct LoadError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Ends the load: "<where>: <what>".
[[noreturn]] void Fail(const std::string& where, const std::string& what);

// "an object", "a text", ...: what a JSON value is, for messages.
const char* KindOf(const Json& j);

// Texts of the description quoted in a message. Only names, numbers and
// words are ever quoted, never a password or an attribute's value.
std::string Quote(std::string_view s);

// "where.key" and "where[i]": the place of a field in a message.
std::string Member(const std::string& where, std::string_view key);
std::string Index(const std::string& where, std::size_t i);

// The fields of a JSON value, checked as they are read; each fails with the
// place and what was expected.
void CheckKeys(const Json& obj, const std::string& where, std::initializer_list<std::string_view> keys);
const Json* Opt(const Json& obj, std::string_view key);
const Json& Req(const Json& obj, std::string_view key, const std::string& where);
const std::string& AsString(const Json& j, const std::string& where);
std::int64_t AsInt(const Json& j, const std::string& where, std::int64_t lo, std::int64_t hi);
bool AsBool(const Json& j, const std::string& where);
const Json& AsArray(const Json& j, const std::string& where);

// A hexadecimal ID as NetWare shows it ("1", "1A00003C").
std::uint32_t AsShownId(const Json& j, const std::string& where);

// Replaces %d, %Nd and %0Nd by `n`, %% by %. Only generated objects expand.
std::string Expand(const std::string& pattern, long n, const std::string& where);

// A 32-bit FNV-1a hash.
std::uint32_t Fnv(std::string_view text);

bool ValidServerName(std::string_view name);
bool ValidBinderyName(std::string_view name);

class Loader {
 public:
  Loader(const fs::path& base, Network& net) : base_(base), net_(net), now_(std::time(nullptr)) {}

  void Load(const Json& doc) {
    CheckKeys(doc, "", {"tree", "directory", "servers", "workstation"});
    if (const Json* t = Opt(doc, "tree")) LoadTree(*t);
    if (const Json* d = Opt(doc, "directory")) LoadDirectory(*d);
    if (ldap_ && net_.tree) MakeStandIns(doc);
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
    std::string where;  // empty for a generated object: see Where()
    const std::string* generator = nullptr;  // generated objects: where their generator stands
  };
  // Where an object stands in the description, for messages. Generated
  // objects keep no text of their own (there may be 100,000 of them): theirs
  // is made from the generator's when a message needs it.
  static std::string Where(const PendingEntry& p) {
    return p.generator == nullptr ? p.where : *p.generator + " (" + p.entry->Canonical() + ")";
  }
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
  std::map<const Json*, std::shared_ptr<const PasswordHash>> generatedHashes_;
  std::deque<std::string> generatorWheres_;  // stable: generated PendingEntry points into it
  std::optional<LdapSettings> ldap_;

  DirectoryTree& Tree(const std::string& where) {
    if (!net_.tree) Fail(where, "the description has no directory tree");
    return *net_.tree;
  }

  // ---- the tree ----

  void LoadTree(const Json& t);

  // "directory": a live LDAP server, or the tree's objects from an LDIF file.
  void LoadDirectory(const Json& d);

  void LoadObjects(DirEntry* parent, const Json& list, const std::string& where);

  void LoadGenerated(DirEntry* parent, const Json& gen, const std::string& where);

  void LoadObject(DirEntry* parent, const Json& desc, const std::string& where, long index,
                  const std::string* generator = nullptr);

  DirEntry* AddEntry(DirEntry* parent, const std::string& nameText, const std::string& className,
                     const std::string& where);

  void ForEachEntry(DirEntry* e, const std::function<void(DirEntry*)>& fn);

  void AssignEntryIds();

  static std::string Hex(std::uint32_t v);

  // A distinguished name in a description: absolute, typed or typeless.
  DirEntry* ResolveDn(const std::string& text, const std::string& where);

  // With the directory on an LDAP server the description's own tree holds
  // only what the servers and the workstation name (a server's context, the
  // users of connections, the workstation's identity): those missing from
  // it stand in it as empty objects, the server's entries being the real
  // ones. A name the server does not hold fails when it is first used.
  void MakeStandIns(const Json& doc);
  void StandIn(const std::string& text, bool container, const std::string& where);

  Value ConvertValue(const Json& j, const AttributeDef& def, long index, const std::string& where);

  static Bytes StreamBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

  void AddValue(DirEntry* e, std::string_view attrName, Value v);

  void ResolveAttributes();

  static std::string TwoDigits(int v);

  void CheckClassRules();

  static DName ParseCanonical(const std::string& typed);

  Server* ServerOfEntry(const std::string& canonical);

  void ResolvePasswordRights();

  // ---- servers ----

  void LoadServer(const Json& desc, const std::string& where);

  DirEntry* Container(const std::string& text, const std::string& where);

  void LinkDirectoryServer(Server& s, const Json& desc, const std::string& w);

  std::uint32_t GeneratedBinderyId(const Server& s, std::string_view seed);

  bool IdTaken(const Server& s, std::uint32_t id);

  std::uint16_t TypeOf(const Json& j, const std::string& where);

  static void SetProperty(BinderyObject& o, const std::string& name, Bytes data, std::uint8_t flags);

  static void SetTextProperty(BinderyObject& o, const std::string& name, const std::string& text);

  void LoadBindery(PendingServer& ps);

  struct PendingMember {
    Server* server;
    BinderyObject* group;
    BinderyObject* member;
  };
  std::vector<PendingMember> pendingMembers_;

  // Objects every server knows from the network's advertisements: the file
  // servers and the directory trees.
  void AddAdvertisedObjects();

  // The bindery emulation of a directory server: the users, groups, queues
  // and print servers of its bindery contexts, named by their common names.
  void EmulateBindery(Server& s);

  BinderyObject* FindBinderyOrEmulated(Server& s, const std::string& name, const std::string& where);

  void AssignRights(PendingServer& ps);

  static void AppendId(BinderyObject& o, const std::string& prop, std::uint32_t id);

  void BuildGroupProperties(Server& s);

  // ---- print queue jobs ----

  std::uint32_t ObjectIdOn(Server& s, const std::string& name, const std::string& where);

  void LoadJobs();

  void AddJob(PendingJobs& pj, const Json& desc, const std::string& w, long index);

  // ---- connections ----

  std::time_t ParseTime(const std::string& text, const std::string& where);

  // Fills a slot with the object a description names: a directory name
  // (with '=') or a bindery name on that server.
  void FillSlot(Server& s, Slot& slot, const std::string& who, const std::string& where);

  void LoadServerConnections(PendingServer& ps);

  void LoadWorkstation(const Json& desc);
};

}  // namespace nwc::desc
