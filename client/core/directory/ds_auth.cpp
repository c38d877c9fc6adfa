// Credentials and changes: passwords, the server that holds an object,
// authenticating a connection with the workstation's directory login, and
// the entry points that would change the directory, which this client
// refuses. Passwords are handed to the store as they are and kept nowhere.
#include "ds_support.h"
#include "entries.h"

using namespace nwc;
using namespace nwc::ds;

namespace {

constexpr nuint32 kDsvAddEntry = 7;
constexpr nuint32 kDsvModifyEntry = 9;

int Password(const char* text, std::string_view* out) {
  return InputText(text, NW_MAX_PASSWORD, ERR_INVALID_PASSWORD_CHARS, out);
}

// The object a credential call names, with the store that holds it.
// Callers hold NetworkLock().
int Target(NWDSContextHandle context, const char* objectName, DirectoryStore** store, EntryInfo* entry) {
  ContextState ctx;
  DName name;
  if (int rc = ContextAndName(context, objectName, &ctx, &name); rc != 0) return rc;
  *store = CurrentDirectoryStore();
  if (*store == nullptr) return ERR_NO_CONNECTION;
  return (*store)->Resolve(name, ctx.DerefAliases(), entry);
}

// Logs the connection's slot in as the workstation's directory identity.
int AuthenticateConnection(NWCONN_HANDLE handle) {
  auto lock = NetworkLock();
  Network* net = CurrentNetwork();
  DirectoryStore* store = CurrentDirectoryStore();
  if (net == nullptr || store == nullptr) return ERR_NO_CONNECTION;
  Connection* conn = FindConnection(*net, handle);
  if (conn == nullptr) return ERR_INVALID_CONN_HANDLE;
  // A server without the directory cannot check a directory login.
  if (!HoldsTree(*conn, *store)) return ERR_FAILED_SERVER_AUTHENT;
  EntryInfo me;
  if (int rc = store->WhoAmI(&me); rc != 0) return rc;
  Slot* slot = conn->server->FindSlot(conn->number);
  if (slot == nullptr) return ERR_INVALID_CONN_HANDLE;
  const bool already = conn->authenticated && slot->LoggedIn() && slot->objectId == me.id;
  if (!already) {
    slot->inUse = true;
    slot->objectName = FormatName(me.name, true);
    slot->objectType = OT_USER;
    slot->objectId = me.id;
    slot->loginTime = conn->server->Now();
    slot->identity = net->tree ? net->tree->FindById(me.id) : nullptr;
  }
  conn->authenticated = true;
  conn->licensed = true;
  return 0;
}

}  // namespace

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSChangeObjectPassword(NWDSContextHandle context, nflag32 optionsFlag,
                                                                   const char* objectName, const char* oldPassword,
                                                                   const char* newPassword) {
  if (optionsFlag != 0) return ERR_INVALID_REQUEST;
  std::string_view oldText;
  std::string_view newText;
  if (int rc = Password(oldPassword, &oldText); rc != 0) return rc;
  if (int rc = Password(newPassword, &newText); rc != 0) return rc;
  auto lock = NetworkLock();
  DirectoryStore* store = nullptr;
  EntryInfo entry;
  if (int rc = Target(context, objectName, &store, &entry); rc != 0) return rc;
  return store->ChangePassword(entry.id, oldText, newText);
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSGenerateObjectKeyPair(NWDSContextHandle context, const char* objectName,
                                                                    const char* objectPassword, nflag32 optionsFlag) {
  if (optionsFlag != 0) return ERR_INVALID_REQUEST;
  std::string_view password;
  if (int rc = Password(objectPassword, &password); rc != 0) return rc;
  auto lock = NetworkLock();
  DirectoryStore* store = nullptr;
  EntryInfo entry;
  if (int rc = Target(context, objectName, &store, &entry); rc != 0) return rc;
  return store->SetPassword(entry.id, password);
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSResolveName(NWDSContextHandle context, const char* objectName,
                                                          NWCONN_HANDLE* conn, nuint32* objectID) {
  if (conn == nullptr || objectID == nullptr) return ERR_NULL_POINTER;
  auto lock = NetworkLock();
  DirectoryStore* store = nullptr;
  EntryInfo entry;
  if (int rc = Target(context, objectName, &store, &entry); rc != 0) return rc;
  Network* net = CurrentNetwork();
  if (net == nullptr) return ERR_NO_CONNECTION;
  Connection* holder = nullptr;
  if (int rc = ReplicaConnection(*net, *store, entry, &holder); rc != 0) return rc;
  *conn = holder->handle;
  *objectID = entry.id;
  return 0;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSAuthenticateConn(NWDSContextHandle context, NWCONN_HANDLE conn) {
  if (!GetContextState(context, nullptr)) return ERR_BAD_CONTEXT;
  return AuthenticateConnection(conn);
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSAuthenticate(NWCONN_HANDLE conn, nflag32 optionsFlag, nptr sessionKey) {
  (void)optionsFlag;
  (void)sessionKey;  // no session key is handed out
  return AuthenticateConnection(conn);
}

// ---- changes: the directory of this client is read-only but for passwords ----

namespace {

int ChangeRequest(pBuf_T buf, nuint32 operation) {
  if (int rc = CheckBuffer(buf); rc != 0) return rc;
  if (buf->kind != Buf_T::kRequest || buf->operation != operation) return ERR_BAD_VERB;
  return 0;
}

}  // namespace

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSModifyObject(NWDSContextHandle context, const char* objectName,
                                                           nint32* iterationHandle, nuint8 more, pBuf_T changes) {
  (void)iterationHandle;
  (void)more;
  if (int rc = ChangeRequest(changes, kDsvModifyEntry); rc != 0) return rc;
  auto lock = NetworkLock();
  DirectoryStore* store = nullptr;
  EntryInfo entry;
  if (int rc = Target(context, objectName, &store, &entry); rc != 0) return rc;
  return ERR_NO_ACCESS;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSAddObject(NWDSContextHandle context, const char* objectName,
                                                        nint32* iterationHandle, nuint8 more, pBuf_T objectInfo) {
  (void)iterationHandle;
  (void)more;
  if (int rc = ChangeRequest(objectInfo, kDsvAddEntry); rc != 0) return rc;
  ContextState ctx;
  DName name;
  if (int rc = ContextAndName(context, objectName, &ctx, &name); rc != 0) return rc;
  if (name.IsRoot()) return ERR_INVALID_DS_NAME;
  auto lock = NetworkLock();
  DirectoryStore* store = CurrentDirectoryStore();
  if (store == nullptr) return ERR_NO_CONNECTION;
  EntryInfo parent;
  if (store->Resolve(name.Parent(), false, &parent) != 0) return ERR_NO_SUCH_PARENT;
  return ERR_NO_ACCESS;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSRemoveObject(NWDSContextHandle context, const char* object) {
  auto lock = NetworkLock();
  DirectoryStore* store = nullptr;
  EntryInfo entry;
  ContextState ctx;
  DName name;
  if (int rc = ContextAndName(context, object, &ctx, &name); rc != 0) return rc;
  store = CurrentDirectoryStore();
  if (store == nullptr) return ERR_NO_CONNECTION;
  // The object itself, never what an alias names.
  if (int rc = store->Resolve(name, false, &entry); rc != 0) return rc;
  return ERR_NO_ACCESS;
}
