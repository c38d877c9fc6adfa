// The directory as the directory entry points see it. The built-in store
// answers from the simulated network's tree; another store (a live LDAP
// server, say) can take its place through SetDirectoryStore.
//
// Every operation returns 0 or a directory completion code (ERR_*), and takes
// absolute names (DName, typed). Entry IDs are in the client's byte order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "names.h"
#include "network.h"

namespace nwc {

// Object flags of a listed entry.
inline constexpr std::uint32_t kEntryAlias = 0x01;
inline constexpr std::uint32_t kEntryPartitionRoot = 0x02;
inline constexpr std::uint32_t kEntryContainer = 0x04;
inline constexpr std::uint32_t kEntryContainerAlias = 0x08;

struct EntryInfo {
  std::uint32_t id = 0;
  DName name;                  // typed, as the tree spells it
  std::string baseClass;
  std::uint32_t flags = 0;     // kEntry*
  std::uint32_t subordinateCount = 0;
  std::uint32_t modificationTime = 0;
  std::uint32_t aliasTarget = 0;  // entry ID an alias points at, else 0
};

struct AttributeValues {
  std::string name;
  std::uint32_t syntax = SYN_UNKNOWN;
  std::vector<Value> values;
};

class DirectoryStore {
 public:
  virtual ~DirectoryStore() = default;

  virtual std::string TreeName() const = 0;
  // Names of the servers that hold the tree, the first one preferred.
  virtual std::vector<std::string> ReplicaServers() const = 0;

  // Naming type of the object called `value` directly below `parent`; empty
  // when there is none. Feeds InferTypes.
  virtual std::string ChildType(const DName& parent, std::string_view value) const = 0;
  TypeOracle Oracle() const;

  // An entry by name. With `derefAliases` an alias yields the object it
  // names. ERR_NO_SUCH_ENTRY when absent.
  virtual int Resolve(const DName& name, bool derefAliases, EntryInfo* out) const = 0;
  virtual int EntryById(std::uint32_t id, EntryInfo* out) const = 0;
  // As Resolve, for a caller that needs only the entry's ID and class (the
  // container of a listing): a store may leave the subordinate count alone.
  virtual int ResolveLight(const DName& name, bool derefAliases, EntryInfo* out) const {
    return Resolve(name, derefAliases, out);
  }

  // Up to `maxCount` subordinates of a container from position `start`, in
  // the tree's order; `total` gets the number of all subordinates.
  virtual int ListSubordinates(std::uint32_t parentId, std::size_t start, std::size_t maxCount,
                               std::vector<EntryInfo>* page, std::size_t* total) const = 0;

  // One attribute's values (ERR_NO_SUCH_ATTRIBUTE when the entry has none),
  // or all attributes of an entry in the tree's order.
  virtual int ReadAttribute(std::uint32_t id, std::string_view attrName,
                            AttributeValues* out) const = 0;
  virtual int ReadAttributes(std::uint32_t id, std::vector<AttributeValues>* out) const = 0;

  // The object the workstation is logged in as (ERR_NOT_LOGGED_IN).
  virtual int WhoAmI(EntryInfo* out) const = 0;

  // Gives an object a new password without the old one: the login needs the
  // right to set passwords below one of the object's containers
  // (ERR_NO_ACCESS otherwise).
  virtual int SetPassword(std::uint32_t id, std::string_view newPassword) = 0;
  // Changes a password knowing the old one: allowed for the login's own
  // object and where it may set passwords. ERR_FAILED_AUTHENTICATION when the
  // old one is wrong.
  virtual int ChangePassword(std::uint32_t id, std::string_view oldPassword,
                             std::string_view newPassword) = 0;
  // 0 when `password` is the object's password (an object without one takes
  // the empty password), ERR_FAILED_AUTHENTICATION otherwise.
  virtual int VerifyPassword(std::uint32_t id, std::string_view password) const = 0;

  // The bytes of a stream attribute such as "Login Script".
  virtual int ReadStream(std::uint32_t id, std::string_view attrName, Bytes* out) const = 0;
};

// A store over a network's tree. The network must outlive it.
std::unique_ptr<DirectoryStore> MakeBuiltinStore(Network& network);

// The store the directory entry points use: the one set with
// SetDirectoryStore, else the current network's built-in store; nullptr when
// there is no directory. Callers hold NetworkLock().
DirectoryStore* CurrentDirectoryStore();
// Puts another store in place of the built-in one; nullptr restores it.
void SetDirectoryStore(std::shared_ptr<DirectoryStore> store);

}  // namespace nwc
