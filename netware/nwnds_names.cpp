// Names and identity: canonical names, the logged-in identity, object IDs,
// directory servers, and the preferred server and tree.
#include <algorithm>
#include <cstdio>

#include "netware/nwnds.h"
#include "netware/nwnds_work.h"
#include "netware/tessel.h"

namespace nwds {
#define NWDS_LAZY(name) nwlib::Entry<PFN_##name> name{#name, DirLibrary};
NWDS_LAZY(NWDSCanonicalizeName)
NWDS_LAZY(NWDSWhoAmI)
NWDS_LAZY(NWDSMapNameToID)
NWDS_LAZY(NWDSAuditGetObjectID)
NWDS_LAZY(NWIsDSServer)
NWDS_LAZY(NWGetPreferredDSServer)  // looked up on every call
NWDS_LAZY(NWSetPreferredDSTree)
NWDS_LAZY(NWDSMapIDToName)
#undef NWDS_LAZY
}  // namespace nwds

using namespace nwds;

namespace {
// Names the client returns are received in areas of its full name size, so
// that no name it hands back can run past the area.
using NameArea = char[MAX_DN_BYTES];

NWCONN_HANDLE ConnectionOrPrimary(NWCONN_HANDLE conn) { return conn != 0 ? conn : PrimaryConnection(); }
}  // namespace

std::string DSCanonicalName(const std::string &name) {
  if (!NWDSCanonicalizeName.Bind() || !AllBound(NWDSGetContext, NWDSSetContext)) return {};
  NameArea input;
  if (!nwlib::CopyToArea(name, input)) return {};
  nuint32 saved = 0;
  if (!DSRecord(NWDSGetContext(DSContext, DCK_FLAGS, &saved))) return {};
  // Canonical names come back typed and in full whatever the context asks.
  nuint32 canonical = DCV_DEREF_ALIASES | DCV_XLATE_STRINGS | DCV_CANONICALIZE_NAMES;
  NWDSSetContext(DSContext, DCK_FLAGS, &canonical);
  NameArea output = {};
  const bool ok = DSRecord(NWDSCanonicalizeName(DSContext, input, output));
  NWDSSetContext(DSContext, DCK_FLAGS, &saved);
  return ok ? nwlib::TextOfArea(output) : std::string();
}

std::string DSWhoAmI() {
  if (!NWDSWhoAmI.Bind()) return {};
  NameArea name = {};
  // A failure shows only as an empty name: the code is not recorded.
  if (NWDSWhoAmI(DSContext, name) != 0) return {};
  return nwlib::TextOfArea(name);
}

std::string DSObjectIDText(NWCONN_HANDLE conn, const std::string &name) {
  if (!NWDSMapNameToID.Bind()) return {};
  conn = ConnectionOrPrimary(conn);
  NameArea object;
  if (!nwlib::CopyToArea(name, object)) return {};
  nuint32 id = 0;
  if (!DSRecord(NWDSMapNameToID(DSContext, conn, object, &id))) return {};
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(SwapLong(id)));
  std::string text = hex;
  text.erase(0, std::min(text.find_first_not_of('0'), text.size() - 1));
  return text;
}

uint32_t DSObjectIDByName(NWCONN_HANDLE &conn, const std::string &name) {
  conn = 0;
  if (!NWDSAuditGetObjectID.Bind()) return 0;
  NameArea object;
  if (!nwlib::CopyToArea(name, object)) return 0;
  nuint32 id = 0;
  if (!DSRecord(NWDSAuditGetObjectID(DSContext, object, &conn, &id))) return 0;
  return id;
}

std::string DSObjectNameByID(NWCONN_HANDLE conn, uint32_t id) {
  if (!NWDSMapIDToName.Bind()) return {};
  conn = ConnectionOrPrimary(conn);
  NameArea name = {};
  if (!DSRecord(NWDSMapIDToName(DSContext, conn, id, name))) return {};
  return nwlib::TextOfArea(name);
}

bool IsDirectoryServer(NWCONN_HANDLE conn) {
  if (!NWIsDSServer.Bind()) return false;
  conn = ConnectionOrPrimary(conn);
  NameArea tree = {};
  // Nonzero means yes for this entry point.
  DSLastResult = NWIsDSServer(conn, tree);
  if (DSLastResult == 0) {
    DSLastError = -1;
    return false;
  }
  return tree[0] != '\0';
}

std::string ServerTreeName(NWCONN_HANDLE conn) {
  if (!NWIsDSServer.Bind()) return {};
  conn = ConnectionOrPrimary(conn);
  NameArea tree = {};
  DSLastResult = NWIsDSServer(conn, tree);
  if (DSLastResult == 0) {
    DSLastError = 0;
    return {};
  }
  // The client pads tree names with underscores.
  std::string name = nwlib::TextOfArea(tree, sizeof tree - 1);
  return name.substr(0, name.find('_'));
}

NWCONN_HANDLE PreferredDSServer() {
  auto preferredServer = NWGetPreferredDSServer.Lookup();
  if (preferredServer == nullptr) return 0;
  NWCONN_HANDLE conn = 0;
  if (!DSRecord(preferredServer(&conn))) return 0;
  return conn;
}

bool SetPreferredTree(const std::string &treeName) {
  if (!NWSetPreferredDSTree.Bind()) return false;
  NameArea tree;
  if (!nwlib::CopyToArea(treeName, tree)) return false;
  return DSRecord(NWSetPreferredDSTree(static_cast<nuint16>(treeName.size()), tree));
}
