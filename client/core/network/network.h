// The simulated network behind the stand-in client: the workstation with its
// connections, the servers with their connection slots, volumes, binderies
// and print queues, and the directory tree.
//
// One network exists per process. It is loaded on first use from the
// description named by NWCLIENT_NETWORK, or from the built-in demo network
// when that variable is not set. A description that cannot be loaded leaves
// the process without a network (CurrentNetwork() returns nullptr); one line
// on stderr names the file and the fault.
//
// Every entry point takes NetworkLock() for as long as it uses the model.
//
// Object IDs. Bindery object IDs and directory entry IDs are kept exactly as
// the client's calls return them: high byte first, so on this workstation the
// 32-bit value is the byte-swapped number that NetWare shows (SUPERVISOR,
// shown as 1, is kept as 0x01000000). DisplayId() gives the shown number. A
// directory object that the bindery emulation of a server shows has the same
// ID in both.
#pragma once

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "names.h"
#include "nwclient.h"
#include "password.h"

namespace nwc {

class DirectoryStore;

using Bytes = std::vector<std::uint8_t>;

inline std::uint32_t DisplayId(std::uint32_t id) { return __builtin_bswap32(id); }
inline std::uint32_t IdFromDisplay(std::uint32_t shown) { return __builtin_bswap32(shown); }
// Type words are passed high byte first as well: type 1 (user) is 0x0100.
inline std::uint16_t TypeWord(std::uint16_t typeNumber) { return __builtin_bswap16(typeNumber); }

// ---- directory values ---------------------------------------------------

struct PathValue {
  std::uint32_t nameSpace = 0;
  std::string volume;  // typed canonical name of the volume object
  std::string path;
};

struct TypedNameValue {
  std::string name;  // typed canonical name
  std::uint32_t level = 0;
  std::uint32_t interval = 0;
};

struct EmailValue {
  std::uint32_t type = 0;
  std::string address;
};

// One attribute value in a neutral form, tagged with its syntax (SYN_*).
// Strings carry the string syntaxes, distinguished names (typed canonical),
// class names, telephone and fax numbers; int32 the integer, counter,
// interval and time syntaxes; Bytes the octet string and stream syntaxes.
struct Value {
  std::uint32_t syntax = SYN_UNKNOWN;
  std::variant<std::string, std::int32_t, bool, PathValue, TypedNameValue, EmailValue, Bytes> data;

  const std::string* Text() const { return std::get_if<std::string>(&data); }
  const std::int32_t* Integer() const { return std::get_if<std::int32_t>(&data); }
  const bool* Boolean() const { return std::get_if<bool>(&data); }
  const PathValue* Path() const { return std::get_if<PathValue>(&data); }
  const TypedNameValue* TypedName() const { return std::get_if<TypedNameValue>(&data); }
  const EmailValue* Email() const { return std::get_if<EmailValue>(&data); }
  const Bytes* Octets() const { return std::get_if<Bytes>(&data); }
};

struct Attribute {
  std::string name;  // as the schema spells it
  std::uint32_t syntax = SYN_UNKNOWN;
  std::vector<Value> values;
};

// ---- directory tree -----------------------------------------------------

struct DirEntry;

// Entries in one array of pointers (open addressing, linear probing, at most
// half full), found by a key each entry carries: a table of many entries
// costs a few bytes for each and no allocation per entry. Traits give the
// key's type, the key of an entry, its hash and whether an entry has a key.
template <class Traits>
class EntryTable {
 public:
  using Key = typename Traits::Key;

  DirEntry* Find(Key key) const {
    if (slots_.empty()) return nullptr;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = Traits::Hash(key) & mask;; i = (i + 1) & mask) {
      DirEntry* e = slots_[i];
      if (e == nullptr || Traits::Matches(*e, key)) return e;
    }
  }
  // An entry whose key is not in the table yet.
  void Insert(DirEntry* e) {
    if ((count_ + 1) * 2 > slots_.size()) {
      std::vector<DirEntry*> old(std::max<std::size_t>(8, slots_.size() * 2), nullptr);
      old.swap(slots_);
      for (DirEntry* o : old) {
        if (o != nullptr) Place(o);
      }
    }
    Place(e);
    ++count_;
  }
  std::size_t size() const { return count_; }
  const std::vector<DirEntry*>& Slots() const { return slots_; }  // nullptr where free

 private:
  void Place(DirEntry* e) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = Traits::Hash(Traits::KeyOf(*e)) & mask;
    while (slots_[i] != nullptr) i = (i + 1) & mask;
    slots_[i] = e;
  }
  std::vector<DirEntry*> slots_;  // a power of two in size
  std::size_t count_ = 0;
};

// The children of one entry by their value, without regard to case.
struct ChildKey {
  using Key = std::string_view;
  static Key KeyOf(const DirEntry& e);
  static std::size_t Hash(Key value);
  static bool Matches(const DirEntry& e, Key value);
};
using ChildTable = EntryTable<ChildKey>;

// The entries of a tree by their IDs.
struct IdKey {
  using Key = std::uint32_t;
  static Key KeyOf(const DirEntry& e);
  static std::size_t Hash(Key id) { return static_cast<std::size_t>((id * 0x9E3779B97F4A7C15ull) >> 32); }
  static bool Matches(const DirEntry& e, Key id);
};

class IdTable : public EntryTable<IdKey> {
 public:
  std::size_t count(std::uint32_t id) const { return Find(id) != nullptr ? 1 : 0; }
  // Walks (ID, entry) pairs.
  class const_iterator {
   public:
    const_iterator(const DirEntry* const* at, const DirEntry* const* end) : at_(at), end_(end) { Skip(); }
    std::pair<std::uint32_t, DirEntry*> operator*() const;
    const_iterator& operator++() {
      ++at_;
      Skip();
      return *this;
    }
    bool operator!=(const const_iterator& other) const { return at_ != other.at_; }

   private:
    void Skip() {
      while (at_ != end_ && *at_ == nullptr) ++at_;
    }
    const DirEntry* const* at_;
    const DirEntry* const* end_;
  };
  const_iterator begin() const { return {Slots().data(), Slots().data() + Slots().size()}; }
  const_iterator end() const { return {Slots().data() + Slots().size(), Slots().data() + Slots().size()}; }
};

struct DirEntry {
  Rdn rdn;                    // naming type and value; the root has none
  std::string baseClass;      // "User", "Organizational Unit", ...; "Top" for the root
  std::uint32_t id = 0;       // entry ID, client byte order
  std::uint32_t modificationTime = 0;
  // The class chain ("Object Class") and the naming value follow from
  // baseClass and rdn. An entry loaded from a description does not hold
  // them, so a container of many objects does not repeat them for each:
  // they are derived as they are read. An entry read from LDIF holds the
  // ones its file gave.
  bool impliedAttributes = false;
  DirEntry* parent = nullptr;
  std::vector<Attribute> attributes;                // held ones, in the order the tree reads them
  // None: the object has no password. Objects generated alike share one.
  std::shared_ptr<const PasswordHash> password;
  std::vector<const DirEntry*> passwordRights;      // may set passwords of everything below these
  const DirEntry* aliasTarget = nullptr;            // for aliases

  bool IsRoot() const { return parent == nullptr; }
  bool IsContainer() const;
  bool IsAlias() const { return aliasTarget != nullptr; }
  DName Name() const;
  std::string Canonical() const { return FormatName(Name(), false); }
  // A held attribute, or the class chain (one per class, shared).
  const Attribute* FindAttribute(std::string_view name) const;
  Attribute* FindAttribute(std::string_view name);  // held ones only
  // Any attribute, the implied naming value included, as a copy.
  std::optional<Attribute> ReadAttribute(std::string_view name) const;
  // Every attribute in the order the tree reads them: the class chain, the
  // naming value, then the rest.
  void ForEachAttribute(const std::function<void(const Attribute&)>& fn) const;
  // Whether this entry is `other` or lies below it.
  bool IsWithin(const DirEntry& other) const;
  // Appends a child (its value not yet taken among the children) and sets
  // its parent.
  DirEntry* AddChild(std::unique_ptr<DirEntry> child);
  // The children in the order the tree lists them.
  const std::vector<std::unique_ptr<DirEntry>>& Children() const;
  // The child with this value, whatever its naming type; nullptr when none.
  DirEntry* FindChild(std::string_view value) const { return below_ ? below_->index.Find(value) : nullptr; }

 private:
  struct Below {
    std::vector<std::unique_ptr<DirEntry>> children;
    ChildTable index;
  };
  std::optional<Attribute> ImpliedNaming() const;
  std::unique_ptr<Below> below_;  // made with the first child: most objects hold none
};

struct DirectoryTree {
  std::string name;                 // "ACME_TREE"
  std::unique_ptr<DirEntry> root;   // "[Root]"

  DirEntry* Find(const DName& name) const;    // case-insensitive; nullptr when absent
  DirEntry* FindById(std::uint32_t id) const;
  DirEntry* FindChild(const DirEntry& parent, std::string_view value) const { return parent.FindChild(value); }
  std::string ChildType(const DName& parent, std::string_view value) const;
  TypeOracle Oracle() const;
  std::size_t Size() const { return byId.size(); }

  IdTable byId;
};

// ---- servers ------------------------------------------------------------

struct Slot {
  bool inUse = false;
  std::string objectName;       // as the server reports the logged-in object
  std::uint16_t objectType = 0; // type word
  std::uint32_t objectId = 0;   // 0: in use but not logged in
  std::time_t loginTime = 0;
  const DirEntry* identity = nullptr;  // the directory object logged in, if any
  std::uint16_t broadcastMode = NWCC_BCAST_PERMIT_ALL;  // what the station accepts
  std::vector<std::string> messages;   // broadcast messages delivered to the station

  bool LoggedIn() const { return inUse && objectId != 0; }
};

struct Volume {
  std::string name;  // upper case, "SYS"
  std::uint16_t number = 0;
  std::filesystem::path root;  // host folder

  // The host path of a path on this volume ("PUBLIC\NET$LOG.DAT", "/mail/1"),
  // matched without regard to case, component by component. Nothing when a
  // component does not exist, or when the path would leave the volume.
  // `mustExist` false lets the last component be missing.
  std::optional<std::filesystem::path> HostPath(std::string_view path, bool mustExist = true) const;
};

struct BinderyProperty {
  std::string name;           // upper case
  std::uint8_t flags = 0;     // 0x01 dynamic, 0x02 set
  std::uint8_t security = 0x31;
  Bytes data;                 // all segments, 128 bytes each

  bool IsSet() const { return (flags & 0x02) != 0; }
  std::size_t Segments() const { return (data.size() + 127) / 128; }
};

struct BinderyObject {
  std::string name;           // upper case
  std::uint16_t type = 0;     // type word, high byte first (OT_USER = 0x0100)
  std::uint32_t id = 0;       // client byte order
  std::uint8_t flags = 0;     // 0x01 dynamic
  std::uint8_t security = 0x31;
  std::vector<BinderyProperty> properties;
  bool consoleOperator = false;
  bool manager = false;
  const DirEntry* entry = nullptr;  // the directory object it emulates

  const BinderyProperty* FindProperty(std::string_view name) const;
  BinderyProperty* FindProperty(std::string_view name);
  std::string FullName() const;  // IDENTIFICATION's text, empty when none
};

struct QueueJob {
  std::uint32_t number = 0;
  std::uint32_t clientStation = 0;
  std::uint32_t clientTask = 0;
  std::uint32_t clientId = 0;          // owner, client byte order
  std::uint32_t targetServerId = 0xFFFFFFFF;
  std::time_t entryTime = 0;
  std::time_t targetExecTime = 0;      // 0: as soon as possible
  std::uint16_t jobType = 0;
  std::uint16_t controlFlags = 0;      // QF_*
  std::string fileName;
  std::uint32_t servicingServerId = 0; // nonzero while a server processes the job
  std::uint32_t servicingStation = 0;
  std::string description;
};

struct Server {
  std::string name;  // upper case
  std::uint8_t majorVersion = 3;
  std::uint8_t minorVersion = 12;
  std::uint8_t revision = 0;
  std::uint16_t maxConnections = 250;
  std::uint16_t peakConnections = 0;
  std::uint8_t sftLevel = 2;
  std::uint8_t ttsLevel = 1;
  std::int64_t clockOffset = 0;  // seconds ahead of the host clock
  std::uint32_t id = 0;          // its own bindery object's ID
  bool directoryServer = false;
  std::string tree;              // tree name when a directory server
  const DirEntry* entry = nullptr;           // its NCP Server object
  std::vector<const DirEntry*> binderyContexts;

  std::vector<Slot> slots;  // slots[n - 1] is connection number n
  std::vector<Volume> volumes;
  std::vector<std::unique_ptr<BinderyObject>> bindery;        // in scan order
  // The bindery objects by upper-cased name, each list in scan order;
  // AddObject keeps it in step with `bindery`.
  std::unordered_map<std::string, std::vector<BinderyObject*>> binderyByName;
  std::map<std::uint32_t, std::vector<QueueJob>> queueJobs;   // by queue ID, in queue order

  Slot* FindSlot(std::uint16_t number);
  std::uint16_t ConnectionsInUse() const;
  // Takes the lowest free slot; 0 when the server is full.
  std::uint16_t AllocateSlot();
  void ReleaseSlot(std::uint16_t number);
  // Connection numbers held by a bindery object, ascending.
  std::vector<std::uint16_t> ConnectionsOf(std::uint32_t objectId) const;

  // Appends a bindery object (named in upper case) in scan order.
  BinderyObject* AddObject(std::unique_ptr<BinderyObject> object);
  // `type` OT_WILD matches any type.
  BinderyObject* FindObject(std::string_view name, std::uint16_t type);
  BinderyObject* FindObject(std::uint32_t id);
  const Volume* FindVolume(std::string_view name) const;
  const Volume* FindVolume(std::uint16_t number) const;
  // Jobs of a print queue; nullptr when `queueId` is not a queue here.
  std::vector<QueueJob>* Jobs(std::uint32_t queueId);

  std::time_t Now() const;
  void SetClock(std::time_t when);
};

// ---- workstation --------------------------------------------------------

// A directory handle of a connection: a directory on one of the server's
// volumes. Temporary handles are reclaimed, oldest first, when all are taken.
struct DirHandle {
  std::uint16_t volume = 0;   // Volume::number
  std::string path;           // within the volume, components joined by '\\'
  bool temporary = true;
  std::uint64_t serial = 0;   // allocation order
};

struct Connection {
  NWCONN_HANDLE handle = 0;  // opaque, never a connection number
  NWCCConnRef ref = 0;       // connection reference, opaque too
  Server* server = nullptr;
  std::uint16_t number = 0;  // slot on the server; its broadcast mode is the slot's
  bool authenticated = false;
  bool licensed = true;
  std::map<NWDIR_HANDLE, DirHandle> dirHandles;  // 1 to 255

  const Slot* ServerSlot() const;
};

struct Workstation {
  std::int32_t countryId = 1;
  std::int32_t codePage = 437;
  DName nameContext;                // default name context of new contexts
  std::optional<DName> identity;    // directory login; none when not logged in
  std::vector<std::unique_ptr<Connection>> connections;
  NWCONN_HANDLE primary = 0;
  std::string preferredServer;
  std::string preferredTree;
  std::uint16_t firstDrive = 6;     // F

  Connection* FindConnection(NWCONN_HANDLE handle) const;
  Connection* FindConnectionByRef(NWCCConnRef ref) const;
  Connection* FindConnectionTo(const Server& server) const;
  Connection* Primary() const;
};

// ---- the network --------------------------------------------------------

class Network {
 public:
  Network();
  ~Network();
  Network(const Network&) = delete;
  Network& operator=(const Network&) = delete;

  Workstation workstation;
  std::vector<std::unique_ptr<Server>> servers;
  std::unique_ptr<DirectoryTree> tree;  // none: a network of bindery servers only
  std::string source;                   // the description's file name, or "(demo)"

  Server* FindServer(std::string_view name) const;
  Server* FindServerById(std::uint32_t id) const;
  // Directory servers of the tree (the servers that hold its replicas).
  std::vector<Server*> DirectoryServers() const;

  // Opens a new connection to a server: takes a slot (in use, not logged in)
  // and gives it a fresh handle. nullptr when the server is full.
  Connection* OpenConnection(Server& server);
  // Logs a connection's slot in as a bindery object (and directory object).
  void LoginConnection(Connection& conn, const BinderyObject* object, const DirEntry* identity);
  // Closes a connection and frees its slot; false when the handle is unknown.
  bool CloseConnection(NWCONN_HANDLE handle);

  // The directory store over this network's tree; nullptr without a tree.
  DirectoryStore* Store() const { return store_.get(); }
  void SetStore(std::unique_ptr<DirectoryStore> store);

  // Fresh opaque 32-bit values for handles and references.
  std::uint32_t NewHandle();

 private:
  std::unique_ptr<DirectoryStore> store_;
  std::uint64_t handleSeed_;
};

// The process's network, loaded on first use; nullptr when none could be
// loaded. Callers hold NetworkLock() while they use it.
Network* CurrentNetwork();
std::unique_lock<std::recursive_mutex> NetworkLock();

// Parses a description without touching the process's network. `baseDir`
// resolves relative volume folders; `label` names the source in messages.
// On failure returns nullptr and sets `error` to "<label>: <fault>".
std::unique_ptr<Network> ParseNetwork(std::string_view json, const std::filesystem::path& baseDir,
                                      std::string_view label, std::string* error);

// Replace the process's network (for tests and tools). On failure the process
// is left without a network, and the one-line message goes to stderr.
bool LoadNetworkFromString(std::string_view json, const std::filesystem::path& baseDir,
                           std::string_view label = "(string)");
bool LoadNetworkFromFile(const std::filesystem::path& file);
// Forgets the network; the next CurrentNetwork() loads it again as at start.
void ResetNetwork();

// The built-in demo network's description and folder.
std::string_view DemoNetworkJson();
std::filesystem::path DemoNetworkRoot();
// The folder the core library was loaded from (the current folder when that
// cannot be told): the demo and the client's LDAP library are found from it.
std::filesystem::path CoreFolder();

}  // namespace nwc
