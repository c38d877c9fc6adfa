// Directory services: the directory half of the NetWare client (NETWIN32 and
// LOCWIN32), the current directory context, the attribute and class
// catalogues, names and identity, credentials, and the read side.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "netware/nwlibrary.h"
#include "netware/nwnds_catalog.h"
#include "netware/nwtypes.h"
#include "nwclient.h"

// ---- module-wide state ------------------------------------------------------
extern nwlib::LibHandle DirLibrary;     // NETWIN32; never unloaded
extern nwlib::LibHandle LocaleLibrary;  // LOCWIN32; never unloaded
extern NWDSContextHandle DSContext;     // the current context; 0 = none
extern int32_t DSLastResult;            // code of the last recorded client call
extern int32_t DSLastError;             // last failure; 65535 when a library failed to load

// The directory services object: its construction binds the client and makes
// the "[Root]" context, its destruction releases the context.
class TNWNDS {
 public:
  TNWNDS();
  ~TNWNDS();
  TNWNDS(const TNWNDS &) = delete;
  TNWNDS &operator=(const TNWNDS &) = delete;
  std::string LastErrorText() const;
};

// ---- client start-up and the current context --------------------------------
bool InitDirectoryClient();
bool DoneDirectoryClient();
std::string CurrentContextName();
bool SetContextName(const std::string &name);
bool SelectContext(NWDSContextHandle &context, const std::string &name);
NWDSContextHandle CopyCurrentContext();
bool ReleaseContext(NWDSContextHandle context);
void ResetContext();
bool AddContextFlags(uint32_t flags);
uint32_t GetContextFlags();
// Writes the current context's complete flag set (no combining with the old
// flags); false when the client refuses it or cannot be called.
bool SetContextFlags(uint32_t flags);
// Whether the current context's flags can be read and written at all.
bool ContextFlagsAvailable();

// ---- names and identity -------------------------------------------------------
std::string DSCanonicalName(const std::string &name);
std::string DSWhoAmI();
std::string DSObjectIDText(NWCONN_HANDLE conn, const std::string &name);
uint32_t DSObjectIDByName(NWCONN_HANDLE &conn, const std::string &name);
std::string DSObjectNameByID(NWCONN_HANDLE conn, uint32_t id);
bool IsDirectoryServer(NWCONN_HANDLE conn);
std::string ServerTreeName(NWCONN_HANDLE conn);
NWCONN_HANDLE PreferredDSServer();
bool SetPreferredTree(const std::string &treeName);

// ---- credentials ------------------------------------------------------------
bool ChangePassword(const std::string &contextName, const std::string &objectName,
                    const std::string &newPassword, const std::string &oldPassword);
NWCONN_HANDLE ResolveAndAuthenticate(const std::string &contextName, const std::string &objectName);

// ---- the read side ------------------------------------------------------------

// One value of a path-syntax attribute.
struct TNWDSPathInfo {
  int32_t NameSpaceType = 0;
  std::string VolumeName;
  std::string Path;
};

// One raw attribute value in the client's representation for its syntax.
// Text syntaxes (distinguished names, telephone numbers, ...) are the
// zero-terminated text itself; structured syntaxes begin with the client's
// record. Blocks are released with the list that holds them.
struct TNWValueBlock {
  std::unique_ptr<uint8_t[]> data;
  std::size_t size = 0;
  const char *Text() const { return reinterpret_cast<const char *>(data.get()); }
};
using TNWValueList = std::vector<TNWValueBlock>;

// A read-only stream over a file handle from the client. Freeing the stream
// does not close the handle: the receiver closes it.
class THandleStream {
 public:
  explicit THandleStream(int handle) : handle_(handle) {}
  int Handle() const { return handle_; }
  std::string ReadAll();

 private:
  int handle_;
};

TNWObjList ListSubordinates(const std::string &contextName, const std::string &containerName);
TNWObjList ListTreeNames();
TNWObjList ListGroupMembers(const std::string &contextName, const std::string &groupName);
TNWDSObjKind ReadObjectKind(const std::string &contextName, const std::string &objectName);
bool ReadFirstValue(NWDSContextHandle context, const std::string &objectName, TNWDSAttrType attr,
                    void *valueArea, std::size_t areaSize);
bool TakeFirstValue(NWDSContextHandle context, pBuf_T reply, const std::string &attrName,
                    void *valueArea, std::size_t areaSize);
bool ReadAttrString(const std::string &contextName, const std::string &objectName, TNWDSAttrType attr,
                    std::string &text);
bool ReadAttrPath(const std::string &contextName, const std::string &objectName, TNWDSAttrType attr,
                  TNWDSPathInfo &path);
bool ReadAttrBoolean(const std::string &contextName, const std::string &objectName, TNWDSAttrType attr,
                     bool &value);
bool ReadAttrValue(const std::string &contextName, const std::string &objectName, TNWDSAttrType attr,
                   int32_t &value);
bool ReadAttrValues(const std::string &contextName, const std::string &objectName, TNWDSAttrType attr,
                    TNWValueList &values);
bool OpenAttrStream(const std::string &contextName, const std::string &objectName, TNWDSAttrType attr,
                    std::unique_ptr<THandleStream> &stream);
void RemoveNameTypes(const std::string &name, std::string &result);
