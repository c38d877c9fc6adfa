// Credentials: changing an object's password, and authenticating the
// connection to the server that holds an object.
#include <string.h>

#include "common/nwtext.h"
#include "netware/nwnds.h"
#include "netware/nwnds_work.h"

namespace nwds {
#define NWDS_LAZY(name) nwlib::Entry<PFN_##name> name{#name, DirLibrary};
NWDS_LAZY(NWDSChangeObjectPassword)
NWDS_LAZY(NWDSResolveName)
NWDS_LAZY(NWDSAuthenticateConn)  // looked up on every call
NWDS_LAZY(NWDSAuthenticate)      // looked up on every call
#undef NWDS_LAZY
}  // namespace nwds

using namespace nwds;

namespace {
// A password as the directory takes it: upper-cased (a to z only) in an area
// of its own, wiped when the area goes out of scope.
class PasswordArea {
 public:
  PasswordArea() = default;
  PasswordArea(const PasswordArea &) = delete;
  PasswordArea &operator=(const PasswordArea &) = delete;
  ~PasswordArea() { explicit_bzero(area_, sizeof area_); }

  // False, the area left empty, when the password does not fit whole.
  bool Take(const std::string &password) {
    if (!nwlib::CopyToArea(password, area_)) return false;
    nwtext::UpperInPlace(area_);
    return true;
  }
  operator const char *() const { return area_; }

 private:
  char area_[NW_MAX_PASSWORD] = {};
};
}  // namespace

bool ChangePassword(const std::string &contextName, const std::string &objectName,
                    const std::string &newPassword, const std::string &oldPassword) {
  if (!NWDSChangeObjectPassword.Bind()) return false;
  // Without the old password the object gets a new key pair instead.
  const bool keyPair = oldPassword.empty();
  if (keyPair && !NWDSGenerateObjectKeyPair.Bound()) return false;
  char object[MAX_DN_BYTES];
  PasswordArea newArea;
  PasswordArea oldArea;
  if (!nwlib::CopyToArea(objectName, object) || !newArea.Take(newPassword) || !oldArea.Take(oldPassword)) {
    return false;
  }
  WorkingContext context(contextName);
  if (!context) return false;
  return DSRecord(keyPair ? NWDSGenerateObjectKeyPair(context, object, newArea, 0)
                          : NWDSChangeObjectPassword(context, 0, object, oldArea, newArea));
}

NWCONN_HANDLE ResolveAndAuthenticate(const std::string &contextName, const std::string &objectName) {
  if (!NWDSResolveName.Bind()) return 0;
  char object[MAX_DN_BYTES];
  if (!nwlib::CopyToArea(objectName, object)) return 0;
  WorkingContext context(contextName);
  if (!context) return 0;
  NWCONN_HANDLE conn = 0;
  nuint32 entryID = 0;
  if (!DSRecord(NWDSResolveName(context, object, &conn, &entryID))) return 0;
  NWDSCCODE code;
  if (auto authenticateConn = NWDSAuthenticateConn.Lookup()) {
    code = authenticateConn(context, conn);
  } else if (auto authenticate = NWDSAuthenticate.Lookup()) {
    code = authenticate(conn, 0, nullptr);
  } else {
    return 0;
  }
  return DSRecord(code) ? conn : 0;
}
