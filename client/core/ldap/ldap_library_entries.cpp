// The entries the client's core looks up when it loads this library.
#include "ldap_library.h"

extern "C" __attribute__((visibility("default"))) const nwc::LdapLibraryEntries* nwclient_ldap_entries() {
  static const nwc::LdapLibraryEntries entries{&nwc::ParseLdapSettings, &nwc::MakeLdapStore,
                                               &nwc::LoadLdifDirectory};
  return &entries;
}
