// Names and identity: canonical and typeless names, who the workstation is
// logged in as, entry IDs both ways, the server that holds an object, and
// the preferred directory server and tree.
#include <algorithm>

#include "ds_support.h"
#include "entries.h"

namespace nwc::ds {

Connection* FindConnection(Network& net, NWCONN_HANDLE handle) {
  if (handle == 0) return nullptr;
  Connection* c = net.workstation.FindConnection(handle);
  return (c != nullptr && c->server != nullptr) ? c : nullptr;
}

bool HoldsTree(const Connection& conn, const DirectoryStore& store) {
  const std::vector<std::string> replicas = store.ReplicaServers();
  return std::any_of(replicas.begin(), replicas.end(),
                     [&](const std::string& name) { return EqualNoCase(name, conn.server->name); });
}

namespace {

// The name of the server an entry lives on, when the directory tells.
std::string HostServerOf(const DirectoryStore& store, const EntryInfo& entry) {
  if (entry.baseClass == "NCP Server" && !entry.name.parts.empty()) return entry.name.parts.front().value;
  AttributeValues host;
  if (store.ReadAttribute(entry.id, "Host Server", &host) != 0 || host.values.empty()) return {};
  const std::string* text = host.values.front().Text();
  DName server;
  if (text == nullptr || CanonicalizeName(*text, DName{}, TypeOracle{}, &server) != 0 || server.IsRoot()) return {};
  return server.parts.front().value;
}

}  // namespace

int ReplicaConnection(Network& net, const DirectoryStore& store, const EntryInfo& entry, Connection** out) {
  std::vector<Server*> servers;
  for (const std::string& name : store.ReplicaServers()) {
    if (Server* s = net.FindServer(name)) servers.push_back(s);
  }
  if (servers.empty()) return ERR_NO_SERVER_FOUND;
  const std::string host = HostServerOf(store, entry);
  auto own = std::find_if(servers.begin(), servers.end(), [&](const Server* s) { return EqualNoCase(s->name, host); });
  if (own != servers.end()) {
    // The entry's own server, even when a connection to it must be opened.
    Connection* c = net.workstation.FindConnectionTo(**own);
    if (c == nullptr) c = net.OpenConnection(**own);
    if (c != nullptr) {
      *out = c;
      return 0;
    }
  }
  for (Server* s : servers) {
    if (Connection* c = net.workstation.FindConnectionTo(*s)) {
      *out = c;
      return 0;
    }
  }
  for (Server* s : servers) {
    if (Connection* c = net.OpenConnection(*s)) {
      *out = c;
      return 0;
    }
  }
  return ERR_NO_CONNECTION;
}

}  // namespace nwc::ds

using namespace nwc;
using namespace nwc::ds;

namespace {

// The connection a directory request goes over: a known handle to a server
// that holds the tree.
int DirectoryConnection(NWCONN_HANDLE handle, Network** net, DirectoryStore** store) {
  *net = CurrentNetwork();
  *store = CurrentDirectoryStore();
  if (*net == nullptr || *store == nullptr) return ERR_NO_CONNECTION;
  Connection* c = FindConnection(**net, handle);
  if (c == nullptr) return ERR_INVALID_CONN_HANDLE;
  // A server without the directory does not understand the request.
  if (!HoldsTree(*c, **store)) return ERR_INVALID_REQUEST;
  return 0;
}

constexpr std::size_t kTreeChars = NW_MAX_TREE_NAME_LEN - 1;

}  // namespace

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSCanonicalizeName(NWDSContextHandle context, const char* objectName,
                                                               char* canonName) {
  ContextState ctx;
  DName name;
  if (int rc = ContextAndName(context, objectName, &ctx, &name); rc != 0) return rc;
  return PutName(FormatName(name, ctx.Typeless()), canonName, MAX_DN_BYTES);
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSRemoveAllTypes(NWDSContextHandle context, const char* name,
                                                             char* strippedName) {
  if (!GetContextState(context, nullptr)) return ERR_BAD_CONTEXT;
  std::string_view text;
  if (int rc = InputText(name, MAX_DN_BYTES, ERR_DN_TOO_LONG, &text); rc != 0) return rc;
  ParsedName parsed;
  if (int rc = ParseName(text, &parsed); rc != 0) return rc;
  // The name keeps its form (leading and trailing dots), only the types go.
  std::string out;
  if (parsed.parts.empty() && parsed.absolute) {
    out = kRootName;
  } else {
    if (parsed.absolute) out.push_back('.');
    for (std::size_t i = 0; i < parsed.parts.size(); ++i) {
      if (i > 0) out.push_back('.');
      out += EscapeValue(parsed.parts[i].value);
    }
    out.append(static_cast<std::size_t>(parsed.trailingDots), '.');
  }
  return PutName(out, strippedName, MAX_DN_BYTES);
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSWhoAmI(NWDSContextHandle context, char* objectName) {
  ContextState ctx;
  if (!GetContextState(context, &ctx)) return ERR_BAD_CONTEXT;
  if (objectName == nullptr) return ERR_NULL_POINTER;
  EntryInfo me;
  {
    auto lock = NetworkLock();
    DirectoryStore* store = CurrentDirectoryStore();
    if (store == nullptr) return ERR_NOT_LOGGED_IN;
    if (int rc = store->WhoAmI(&me); rc != 0) return rc;
  }
  return PutName(ContextFormat(ctx, me.name), objectName, MAX_DN_BYTES);
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSMapNameToID(NWDSContextHandle context, NWCONN_HANDLE conn,
                                                          const char* objectName, nuint32* objectID) {
  ContextState ctx;
  DName name;
  if (int rc = ContextAndName(context, objectName, &ctx, &name); rc != 0) return rc;
  if (objectID == nullptr) return ERR_NULL_POINTER;
  auto lock = NetworkLock();
  Network* net = nullptr;
  DirectoryStore* store = nullptr;
  if (int rc = DirectoryConnection(conn, &net, &store); rc != 0) return rc;
  EntryInfo entry;
  if (int rc = store->Resolve(name, ctx.DerefAliases(), &entry); rc != 0) return rc;
  *objectID = entry.id;
  return 0;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSMapIDToName(NWDSContextHandle context, NWCONN_HANDLE conn,
                                                          nuint32 objectID, char* objectName) {
  ContextState ctx;
  if (!GetContextState(context, &ctx)) return ERR_BAD_CONTEXT;
  if (objectName == nullptr) return ERR_NULL_POINTER;
  EntryInfo entry;
  {
    auto lock = NetworkLock();
    Network* net = nullptr;
    DirectoryStore* store = nullptr;
    if (int rc = DirectoryConnection(conn, &net, &store); rc != 0) return rc;
    if (int rc = store->EntryById(objectID, &entry); rc != 0) return rc;
  }
  return PutName(ContextFormat(ctx, entry.name), objectName, MAX_DN_BYTES);
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSAuditGetObjectID(NWDSContextHandle context, const char* objectName,
                                                               NWCONN_HANDLE* conn, nuint32* objectID) {
  ContextState ctx;
  DName name;
  if (int rc = ContextAndName(context, objectName, &ctx, &name); rc != 0) return rc;
  if (conn == nullptr || objectID == nullptr) return ERR_NULL_POINTER;
  auto lock = NetworkLock();
  Network* net = CurrentNetwork();
  DirectoryStore* store = CurrentDirectoryStore();
  if (net == nullptr || store == nullptr) return ERR_NO_CONNECTION;
  EntryInfo entry;
  if (int rc = store->Resolve(name, ctx.DerefAliases(), &entry); rc != 0) return rc;
  Connection* holder = nullptr;
  if (int rc = ReplicaConnection(*net, *store, entry, &holder); rc != 0) return rc;
  *conn = holder->handle;
  *objectID = entry.id;
  return 0;
}

extern "C" NWEXPORT nuint16 NWAPI nwcore_NWIsDSServer(NWCONN_HANDLE conn, char* treeName) {
  auto lock = NetworkLock();
  Network* net = CurrentNetwork();
  Connection* c = net ? FindConnection(*net, conn) : nullptr;
  if (c == nullptr || !c->server->directoryServer) {
    if (treeName != nullptr) treeName[0] = '\0';
    return 0;
  }
  if (treeName != nullptr) {
    // The tree name as servers advertise it: padded with underscores to its
    // full length.
    std::string padded = c->server->tree.substr(0, kTreeChars);
    padded.resize(kTreeChars, '_');
    std::memcpy(treeName, padded.c_str(), padded.size() + 1);
  }
  return 1;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWGetPreferredDSServer(NWCONN_HANDLE* conn) {
  if (conn == nullptr) return ERR_NULL_POINTER;
  auto lock = NetworkLock();
  Network* net = CurrentNetwork();
  if (net == nullptr) return ERR_NO_CONNECTION;
  const Workstation& ws = net->workstation;
  std::string tree = ws.preferredTree;
  if (tree.empty() && net->tree) tree = net->tree->name;
  auto serves = [&](const Connection* c) {
    return c != nullptr && c->server != nullptr && c->server->directoryServer && EqualNoCase(c->server->tree, tree);
  };
  // The preferred server first, then the primary connection's, then any.
  const Connection* best = nullptr;
  if (const Server* s = net->FindServer(ws.preferredServer)) best = ws.FindConnectionTo(*s);
  if (!serves(best)) best = ws.Primary();
  if (!serves(best)) {
    best = nullptr;
    for (const auto& c : ws.connections) {
      if (serves(c.get())) {
        best = c.get();
        break;
      }
    }
  }
  if (best == nullptr) return ERR_NO_CONNECTION;
  *conn = best->handle;
  return 0;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWSetPreferredDSTree(nuint16 length, const char* treeName) {
  if (treeName == nullptr) return ERR_NULL_POINTER;
  // Exactly `length` characters are read, never past a terminator.
  const std::size_t len = strnlen(treeName, length);
  if (len == 0 || len > kTreeChars) return INVALID_PARAMETER;
  auto lock = NetworkLock();
  Network* net = CurrentNetwork();
  if (net == nullptr) return ERR_NO_CONNECTION;
  net->workstation.preferredTree.assign(treeName, len);
  return 0;
}
