// TNWBase: the non-visual component every NetWare control binds to. It owns
// the service objects, holds the directory context, the current object
// (LoginID) and the server handle, tells the controls of its form about
// changes, and builds the object lists the tree shows.
//
// Form descriptions set the published properties by name; enumerations are
// set by enumerator name ("nwlNDSObjList", "nwErrDOS") and the two sub-objects
// through their own properties (NDSContextFlags.TypelessNames). A class that
// publishes one of the enumerations declares the property with its qualified
// type (Q_PROPERTY(NWEnums::TNWObjListType ShowObjType ...)) so that its meta
// object knows the enumerator names.
#pragma once

#include <QChar>
#include <QDateTime>
#include <QEvent>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "netware/nwtypes.h"
#include "nwclient.h"

// ---- enumerations ---------------------------------------------------------------
namespace NWEnums {
Q_NAMESPACE

// Bindery object types; ObjTypeToBinderyType gives the 16-bit type word of each.
enum TNWObjType : uint8_t {
  nwObjTypeNone,
  nwObjTypeUser,
  nwObjTypeGroup,
  nwObjTypePrintQ,
  nwObjTypeFileServer,
  nwObjTypeJobServer,
  nwObjTypeGateway,
  nwObjTypePrintServer,
  nwObjTypeArchiveQueue,
  nwObjTypeArchiveServer,
  nwObjTypeJobQueue,
  nwObjTypeAdministration,
  nwObjTypeNASSNAServer,
  nwObjTypeRemoteBridge,
  nwObjTypeTCPIPGateway,
  nwObjTypeNDSTree,
  nwObjTypeConnectedServer,
};
Q_ENUM_NS(TNWObjType)

// The kinds of object list that GetObjectList builds.
enum TNWObjListType : uint8_t {
  nwlNone,
  nwlUserList,
  nwlUser,
  nwlGroup,
  nwlPrintQ,
  nwlConnectedFileServer,
  nwlFileServer,
  nwlPrintServer,
  nwlArchiveServer,
  nwlJobQueue,
  nwlAdministration,
  nwlNASSNAServer,
  nwlRemoteBridge,
  nwlTCPIPGateway,
  nwlNDSTree,
  nwlNDSObjList,
};
Q_ENUM_NS(TNWObjListType)

// The client's error modes, by their numbers.
enum TNWShellErrorMode : uint8_t {
  nwErrInteractive,
  nwErrNetware,
  nwErrDOS,
};
Q_ENUM_NS(TNWShellErrorMode)

// The client's broadcast modes, by their numbers.
enum TNWBroadcastMode : uint8_t {
  nwBroadcastOn,
  nwBroadcastServerOnly,
  nwBroadcastOff,
  nwBroadcastStored,
};
Q_ENUM_NS(TNWBroadcastMode)
}  // namespace NWEnums

using NWEnums::TNWBroadcastMode;
using NWEnums::TNWObjListType;
using NWEnums::TNWObjType;
using NWEnums::TNWShellErrorMode;
using enum NWEnums::TNWObjType;
using enum NWEnums::TNWObjListType;
using enum NWEnums::TNWShellErrorMode;
using enum NWEnums::TNWBroadcastMode;

// ---- notifications ----------------------------------------------------------------
// Sent synchronously to every widget of the owning form. Controls pick them up
// in customEvent() (or event()).
inline constexpr QEvent::Type NWM_SERVERCHANGE = static_cast<QEvent::Type>(0xB841);
inline constexpr QEvent::Type NWM_USERCHANGE = static_cast<QEvent::Type>(0xB842);

// An event handler; the sender is the component that raises the event.
using TNotifyEvent = std::function<void(QObject *sender)>;

// Text between the 8-bit strings of the service units (workstation code page)
// and Qt.
inline QString NWToQString(const std::string &text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string QToNWString(const QString &text) { return text.toLocal8Bit().toStdString(); }

// ---- error state -------------------------------------------------------------------

// The exception the base component raises (only when SilentExceptions is False).
class TNWObjError : public std::runtime_error {
 public:
  explicit TNWObjError(const std::string &message) : std::runtime_error(message) {}
  QString Message() const { return NWToQString(what()); }
};

// The last failure code of each service unit, as upper-case hexadecimal of at
// least four digits. TNWBase::LastError refreshes it on every read.
class TNWLastError : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString Tessel READ Tessel WRITE SetTessel STORED false)
  Q_PROPERTY(QString NWServer READ NWServer WRITE SetNWServer STORED false)
  Q_PROPERTY(QString NWProp READ NWProp WRITE SetNWProp STORED false)
  Q_PROPERTY(QString NWNDS READ NWNDS WRITE SetNWNDS STORED false)
  Q_PROPERTY(QString NWPrint READ NWPrint WRITE SetNWPrint STORED false)

 public:
  explicit TNWLastError(QObject *parent = nullptr) : QObject(parent) {}
  void Assign(const TNWLastError &source);

  QString Tessel() const { return tessel_; }
  QString NWServer() const { return server_; }
  QString NWProp() const { return prop_; }
  QString NWPrint() const { return print_; }
  QString NWNDS() const { return nds_; }
  void SetTessel(const QString &text) { tessel_ = text; }
  void SetNWServer(const QString &text) { server_ = text; }
  void SetNWProp(const QString &text) { prop_ = text; }
  void SetNWPrint(const QString &text) { print_ = text; }
  void SetNWNDS(const QString &text) { nds_ = text; }

 private:
  QString tessel_;
  QString server_;
  QString prop_;
  QString print_;
  QString nds_;
};

// The directory context flags. Every write goes straight to the current
// directory context (also while a form loads): the flag's bit is set or
// cleared and the other bits are kept. A form writer stores only the flags
// whose bit differs from kDefaultBits.
class TNWDSContextFlags : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool DereferenceAliases READ DereferenceAliases WRITE SetDereferenceAliases STORED true)
  Q_PROPERTY(bool TranslateStrings READ TranslateStrings WRITE SetTranslateStrings STORED true)
  Q_PROPERTY(bool TypelessNames READ TypelessNames WRITE SetTypelessNames STORED true)
  Q_PROPERTY(bool AsyncMode READ AsyncMode WRITE SetAsyncMode STORED true)
  Q_PROPERTY(bool CanonicalizeNames READ CanonicalizeNames WRITE SetCanonicalizeNames STORED true)
  Q_PROPERTY(bool DereferenceBaseClass READ DereferenceBaseClass WRITE SetDereferenceBaseClass STORED true)
  Q_PROPERTY(bool DisallowReferrals READ DisallowReferrals WRITE SetDisallowReferrals STORED true)

 public:
  // The flags of a new directory context, and the defaults of the properties.
  static constexpr uint32_t kDefaultBits = DCV_DEFAULT_FLAGS;

  explicit TNWDSContextFlags(QObject *parent = nullptr) : QObject(parent) {}
  // Takes over the seven values, each through its setter.
  void Assign(const TNWDSContextFlags &source);
  // The bits of the flags that are True.
  uint32_t Bits() const;

  bool DereferenceAliases() const { return dereferenceAliases_; }
  bool TranslateStrings() const { return translateStrings_; }
  bool TypelessNames() const { return typelessNames_; }
  bool AsyncMode() const { return asyncMode_; }
  bool CanonicalizeNames() const { return canonicalizeNames_; }
  bool DereferenceBaseClass() const { return dereferenceBaseClass_; }
  bool DisallowReferrals() const { return disallowReferrals_; }
  void SetDereferenceAliases(bool value) { Write(dereferenceAliases_, value, DCV_DEREF_ALIASES); }
  void SetTranslateStrings(bool value) { Write(translateStrings_, value, DCV_XLATE_STRINGS); }
  void SetTypelessNames(bool value) { Write(typelessNames_, value, DCV_TYPELESS_NAMES); }
  void SetAsyncMode(bool value) { Write(asyncMode_, value, DCV_ASYNC_MODE); }
  void SetCanonicalizeNames(bool value) { Write(canonicalizeNames_, value, DCV_CANONICALIZE_NAMES); }
  void SetDereferenceBaseClass(bool value) { Write(dereferenceBaseClass_, value, DCV_DEREF_BASE_CLASS); }
  void SetDisallowReferrals(bool value) { Write(disallowReferrals_, value, DCV_DISALLOW_REFERRALS); }

 private:
  void Write(bool &field, bool value, uint32_t bit);

  bool dereferenceAliases_ = true;
  bool translateStrings_ = true;
  bool typelessNames_ = false;
  bool asyncMode_ = false;
  bool canonicalizeNames_ = true;
  bool dereferenceBaseClass_ = false;
  bool disallowReferrals_ = false;
};

// ---- the base component --------------------------------------------------------------

// One base component per program. The service objects (TTessel, TNWNDS,
// TNWServer, TNWPrint, TNWProp) stand for process-wide units, so they are
// shared: the first TNWBase creates them and starts the directory client, a
// second one created meanwhile uses the same objects, and only the last one
// destroyed stops the directory client and frees them. Since the directory
// context is process-wide too, every new TNWBase resets it to "[Root]" and
// applies its own flags, exactly as the first one did.
class TNWBase : public QObject {
  Q_OBJECT
  Q_PROPERTY(TNotifyEvent OnServerChange READ OnServerChange WRITE SetOnServerChange STORED true)
  Q_PROPERTY(TNotifyEvent OnUserChange READ OnUserChange WRITE SetOnUserChange STORED true)
  Q_PROPERTY(QString ServerVersion READ ServerVersion STORED false)
  Q_PROPERTY(bool NetAvailable READ NetAvailable STORED false)
  Q_PROPERTY(QString NDSContextName READ NDSContextName WRITE SetNDSContextName STORED true)
  Q_PROPERTY(TNWDSContextFlags *NDSContextFlags READ NDSContextFlags WRITE SetNDSContextFlags STORED true)
  Q_PROPERTY(bool NDSAvailable READ NDSAvailable STORED false)
  Q_PROPERTY(QString NDSPreferredTree READ NDSPreferredTree WRITE SetNDSPreferredTree STORED false)
  Q_PROPERTY(QString DefaultServer READ DefaultServer WRITE SetDefaultServer STORED false)
  Q_PROPERTY(TNWLastError *LastError READ LastError WRITE SetLastError STORED false)
  Q_PROPERTY(bool SilentExceptions READ SilentExceptions WRITE SetSilentExceptions STORED true)
  Q_PROPERTY(QString Version READ Version WRITE SetVersion STORED false)
  Q_PROPERTY(QString LoginID READ LoginID WRITE SetLoginID STORED false)
  Q_PROPERTY(QString ServerName READ ServerName WRITE SetServerName STORED false)
  Q_PROPERTY(QDateTime ServerDate READ ServerDate WRITE SetServerDate STORED false)
  Q_PROPERTY(NWEnums::TNWShellErrorMode ShellErrorMode READ ShellErrorMode WRITE SetShellErrorMode STORED false)
  Q_PROPERTY(NWEnums::TNWBroadcastMode BroadcastMode READ BroadcastMode WRITE SetBroadcastMode STORED false)
  Q_PROPERTY(uint ServerHandle READ ServerHandle STORED false)
  Q_PROPERTY(QString LoginFullName READ LoginFullName STORED false)
  Q_PROPERTY(QString ObjectID READ ObjectID STORED false)
  Q_PROPERTY(quint16 ConnectionID READ ConnectionID STORED false)
  Q_PROPERTY(NWEnums::TNWObjType ObjectType READ ObjectType STORED false)
  Q_PROPERTY(quint16 NWObjectType READ NWObjectType STORED false)
  Q_PROPERTY(quint16 MaxServerConns READ MaxServerConns STORED false)
  Q_PROPERTY(bool ConsoleOperator READ ConsoleOperator STORED false)
  Q_PROPERTY(bool Manager READ Manager STORED false)
  Q_PROPERTY(QChar FirstNetworkDrive READ FirstNetworkDrive STORED false)
  Q_PROPERTY(QChar NextNetworkDrive READ NextNetworkDrive STORED false)

 public:
  // The owner is the form (a top-level QWidget) that holds the controls.
  Q_INVOKABLE explicit TNWBase(QObject *owner = nullptr);
  ~TNWBase() override;
  TNWBase(const TNWBase &) = delete;
  TNWBase &operator=(const TNWBase &) = delete;

  // Component state, set by whoever reads a form description.
  bool Loading() const { return loading_; }
  void SetLoading(bool loading) { loading_ = loading; }
  bool Designing() const { return designing_; }
  void SetDesigning(bool designing) { designing_ = designing; }
  // Called by the form loader once every component of the form has been read.
  virtual void Loaded() { loading_ = false; }

  // Published properties.
  TNotifyEvent OnServerChange() const { return onServerChange_; }
  void SetOnServerChange(const TNotifyEvent &handler) { onServerChange_ = handler; }
  TNotifyEvent OnUserChange() const { return onUserChange_; }
  void SetOnUserChange(const TNotifyEvent &handler) { onUserChange_ = handler; }
  QString ServerVersion();
  bool NetAvailable() const { return netAvailable_; }
  QString NDSContextName() const { return NWToQString(contextName_); }
  void SetNDSContextName(const QString &name);
  TNWDSContextFlags *NDSContextFlags() const { return contextFlags_; }
  void SetNDSContextFlags(TNWDSContextFlags *flags);
  bool NDSAvailable();
  QString NDSPreferredTree();
  void SetNDSPreferredTree(const QString &treeName);
  QString DefaultServer();
  void SetDefaultServer(const QString &serverName);
  TNWLastError *LastError();
  void SetLastError(TNWLastError *record);
  bool SilentExceptions() const { return silentExceptions_; }
  void SetSilentExceptions(bool silent) { silentExceptions_ = silent; }
  QString Version() const;
  void SetVersion(const QString &ignored);
  QString LoginID();
  void SetLoginID(const QString &name);
  QString ServerName();
  void SetServerName(const QString &name);
  QDateTime ServerDate();
  void SetServerDate(const QDateTime &moment);
  TNWShellErrorMode ShellErrorMode() const { return shellErrorMode_; }
  void SetShellErrorMode(TNWShellErrorMode mode);
  TNWBroadcastMode BroadcastMode();
  void SetBroadcastMode(TNWBroadcastMode mode);
  NWCONN_HANDLE ServerHandle();
  QString LoginFullName();
  QString ObjectID();
  quint16 ConnectionID();
  TNWObjType ObjectType();
  quint16 NWObjectType();
  quint16 MaxServerConns();
  bool ConsoleOperator();
  bool Manager();
  QChar FirstNetworkDrive();
  QChar NextNetworkDrive();

  // A new list of the objects of one kind (nwlNone and unknown kinds: empty).
  TNWObjList GetObjectList(TNWObjListType listType);
  // The 16-bit bindery type word of a bindery object type; 0 for the types
  // that have none (nwObjTypeNone, nwObjTypeNDSTree, nwObjTypeConnectedServer).
  static uint16_t ObjTypeToBinderyType(TNWObjType objType);
  // Throws TNWObjError(message) unless SilentExceptions is True or the
  // component is being designed.
  void RaiseNWError(const std::string &message);
  // Sends the notification to every widget of the owning form, in the form's
  // order, and returns once all have handled it. Nothing while loading or
  // when the owner is not a form.
  void NotifyControls(QEvent::Type message);

 private:
  std::string LoggedInIdentity();

  bool loading_ = false;
  bool designing_ = false;

  std::string loginID_;
  std::string serverName_;
  std::string defaultServer_;
  std::string contextName_;
  bool netAvailable_ = false;
  bool directoryServer_ = false;
  bool silentExceptions_ = true;
  TNWShellErrorMode shellErrorMode_ = nwErrInteractive;
  NWCONN_HANDLE serverHandle_ = 0;
  TNWLastError *lastError_ = nullptr;
  TNWDSContextFlags *contextFlags_ = nullptr;
  TNotifyEvent onServerChange_;
  TNotifyEvent onUserChange_;
};
