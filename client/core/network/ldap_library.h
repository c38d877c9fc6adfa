// The LDAP half of the client lives in a library of its own (libnwclientldap),
// loaded from the core's folder the first time a description names an LDAP
// server or an LDIF file. A network without either never loads libldap and
// the TLS stack under it, which would cost every start of the viewer.
#pragma once

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "ldap_store.h"

namespace nwc {

// What the LDAP library hands the core: its three entry points for loading
// a description. Looked up by the name below, with C linkage.
struct LdapLibraryEntries {
  LdapSettings (*parseSettings)(const nlohmann::ordered_json& desc, const std::filesystem::path& baseDir,
                                const std::string& where);
  std::unique_ptr<DirectoryStore> (*makeStore)(LdapSettings settings, const Network& network);
  void (*loadLdif)(const nlohmann::ordered_json& desc, const std::filesystem::path& baseDir,
                   const std::string& where, DirectoryTree* tree);
};

inline constexpr const char* kLdapLibraryFile = "libnwclientldap.so";
inline constexpr const char* kLdapLibraryEntries = "nwclient_ldap_entries";

namespace ldaplib {

// The same as ParseLdapSettings, MakeLdapStore and LoadLdifDirectory, reached
// through the library; each throws std::runtime_error("<where>: ...") when the
// library cannot be loaded.
LdapSettings ParseSettings(const nlohmann::ordered_json& desc, const std::filesystem::path& baseDir,
                           const std::string& where);
std::unique_ptr<DirectoryStore> MakeStore(LdapSettings settings, const Network& network);
void LoadLdif(const nlohmann::ordered_json& desc, const std::filesystem::path& baseDir, const std::string& where,
              DirectoryTree* tree);

}  // namespace ldaplib
}  // namespace nwc
