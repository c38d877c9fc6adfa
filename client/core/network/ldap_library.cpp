// Loading the client's LDAP library on first use.
#include "ldap_library.h"

#include <dlfcn.h>

#include <mutex>
#include <stdexcept>

namespace nwc {
namespace {

// The library's entries, loaded once and kept for the life of the process
// (stores made by it may live as long). Throws with the loader's reason.
const LdapLibraryEntries& Entries(const std::string& where) {
  static std::mutex mutex;
  static const LdapLibraryEntries* entries = nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  if (entries != nullptr) return *entries;
  // Installed (and built) beside the core.
  const std::filesystem::path file = CoreFolder() / kLdapLibraryFile;
  void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    throw std::runtime_error(where + ": the client's LDAP library cannot be loaded (" +
                             (reason != nullptr ? reason : file.string()) + ")");
  }
  using EntriesFunction = const LdapLibraryEntries* (*)();
  auto function = reinterpret_cast<EntriesFunction>(dlsym(library, kLdapLibraryEntries));
  if (function == nullptr || function() == nullptr) {
    throw std::runtime_error(where + ": " + file.string() + " is not the client's LDAP library");
  }
  entries = function();
  return *entries;
}

}  // namespace

namespace ldaplib {

LdapSettings ParseSettings(const nlohmann::ordered_json& desc, const std::filesystem::path& baseDir,
                           const std::string& where) {
  return Entries(where).parseSettings(desc, baseDir, where);
}

std::unique_ptr<DirectoryStore> MakeStore(LdapSettings settings, const Network& network) {
  return Entries("directory.ldap").makeStore(std::move(settings), network);
}

void LoadLdif(const nlohmann::ordered_json& desc, const std::filesystem::path& baseDir, const std::string& where,
              DirectoryTree* tree) {
  Entries(where).loadLdif(desc, baseDir, where, tree);
}

}  // namespace ldaplib
}  // namespace nwc
