// A directory store over a live LDAP server (OpenLDAP's slapd, eDirectory):
// the client's directory entry points answer from the server instead of the
// built-in tree. Chosen in the network description:
//
//   "directory": { "ldap": { "uri": "ldap://127.0.0.1:3890", "base": "o=ACME", ... } }
//
// and the built-in store loaded from an LDIF file instead of the description's
// objects:
//
//   "directory": { "ldif": "export.ldif" }
//
// See client/NETWORK.md for every setting.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "directory.h"
#include "ldap_names.h"

namespace nwc {

struct LdapSettings {
  std::string uri;                     // ldap://, ldaps:// or ldapi://: the first of `uris`
  std::vector<std::string> uris;       // servers of the same data, tried in order; empty: `uri`
  std::vector<std::string> bases;      // naming contexts; empty: the server's namingContexts
  std::string bindDn;                  // empty: anonymous
  std::filesystem::path passwordFile;  // the bind password: a file's first line ...
  std::string passwordEnv;             // ... or an environment variable
  std::filesystem::path caFile;        // CA certificates (PEM) for TLS
  bool startTls = false;
  bool verifyCertificate = true;
  int timeoutSeconds = 3;              // connecting, and each operation
  int pageSize = 1000;                 // entries per page of a listing
  int listTimeLimitSeconds = 120;      // the longest a listing may take, all its pages
  int cacheSeconds = 5;                // how long entries, names and listings read are reused
  bool upperCasePasswords = true;      // as NetWare clients send them
  std::string treeName;                // empty: the description's tree name, else "LDAP"
  std::vector<std::string> servers;    // empty: the description's directory servers
  std::map<std::string, std::string> attributeMap;  // directory name -> LDAP name
  std::map<std::string, std::string> classMap;
};

// Reads the "ldap" object of a description's "directory". Relative files
// start at `baseDir`. Throws std::runtime_error("<where>.<field>: <fault>").
LdapSettings ParseLdapSettings(const nlohmann::ordered_json& desc, const std::filesystem::path& baseDir,
                               const std::string& where);

// The name table of a description's "attributeMap" and "classMap" objects
// (either may be null). Throws std::runtime_error as above.
ldap::NameMap ParseNameMap(const nlohmann::ordered_json* attributeMap, const nlohmann::ordered_json* classMap,
                           const std::string& where);

class LdapStore final : public DirectoryStore {
 public:
  explicit LdapStore(LdapSettings settings);
  ~LdapStore() override;
  LdapStore(const LdapStore&) = delete;
  LdapStore& operator=(const LdapStore&) = delete;

  std::string TreeName() const override;
  std::vector<std::string> ReplicaServers() const override;
  std::string ChildType(const DName& parent, std::string_view value) const override;
  int Resolve(const DName& name, bool derefAliases, EntryInfo* out) const override;
  int EntryById(std::uint32_t id, EntryInfo* out) const override;
  int ResolveLight(const DName& name, bool derefAliases, EntryInfo* out) const override;
  int ListSubordinates(std::uint32_t parentId, std::size_t start, std::size_t maxCount,
                       std::vector<EntryInfo>* page, std::size_t* total) const override;
  int ReadAttribute(std::uint32_t id, std::string_view attrName, AttributeValues* out) const override;
  int ReadAttributes(std::uint32_t id, std::vector<AttributeValues>* out) const override;
  int WhoAmI(EntryInfo* out) const override;
  int SetPassword(std::uint32_t id, std::string_view newPassword) override;
  int ChangePassword(std::uint32_t id, std::string_view oldPassword, std::string_view newPassword) override;
  int VerifyPassword(std::uint32_t id, std::string_view password) const override;
  int ReadStream(std::uint32_t id, std::string_view attrName, Bytes* out) const override;

  // Drops the connection and everything read; the next call connects anew.
  void Disconnect();
  // The URI of the server the connection is on; empty when there is none.
  std::string ServerUri() const;
  // Called after each page of a listing with the number of pages so far
  // (tests use it to break the connection half-way).
  void SetPageObserver(std::function<void(std::size_t)> observer);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// An LDAP store for a loaded network: settings left empty take the
// network's tree name and directory servers.
std::unique_ptr<DirectoryStore> MakeLdapStore(LdapSettings settings, const Network& network);

// Fills `tree` (which has its root) from an LDIF file of entries, naming
// attributes and classes by `map`. Entries with an entryUUID or GUID get the
// ID the LDAP store would give them (else 0, to be assigned by the caller).
// userPassword values in clear text are hashed; hashed ones ({SSHA}, ...)
// cannot be checked here, so no password matches them. Throws
// std::runtime_error("<file>:<line>: <fault>").
void LoadLdifTree(const std::filesystem::path& file, const ldap::NameMap& map, DirectoryTree* tree);

// The "ldif" value of a description's "directory": a file name, or
// {"file": ..., "attributeMap": {...}, "classMap": {...}}; fills `tree` as
// LoadLdifTree does. Throws std::runtime_error("<where>...: <fault>").
void LoadLdifDirectory(const nlohmann::ordered_json& desc, const std::filesystem::path& baseDir,
                       const std::string& where, DirectoryTree* tree);

}  // namespace nwc
