// TNWBase: lifetime, the shared service objects, the published properties and
// the notifications to the controls of the owning form.
#include "base/nwbase.h"

#include <QCoreApplication>
#include <QDate>
#include <QList>
#include <QPointer>
#include <QTime>
#include <QWidget>

#include <memory>

#include "common/nwtext.h"
#include "netware/nwnds.h"
#include "netware/nwprint.h"
#include "netware/nwprop.h"
#include "netware/nwserver.h"
#include "netware/tessel.h"
#include "util/nwtools.h"

namespace {

constexpr char kComponentVersion[] = "1.45";

// The process-wide service objects, shared by every TNWBase alive (normally
// exactly one).
struct SharedServices {
  int users = 0;
  bool directoryClientStarted = false;  // InitDirectoryClient succeeded
  std::unique_ptr<TTessel> tessel;
  std::unique_ptr<TNWNDS> nds;
  std::unique_ptr<TNWServer> server;
  std::unique_ptr<TNWPrint> print;
  std::unique_ptr<TNWProp> prop;
};

SharedServices &Services() {
  static SharedServices services;
  return services;
}

// Adds the bits of the flags that are True to the current directory context,
// one by one. Typeless names replaces dereference aliases.
void ApplyContextFlags(const TNWDSContextFlags &flags) {
  if (flags.TypelessNames()) {
    AddContextFlags(DCV_TYPELESS_NAMES);
  } else if (flags.DereferenceAliases()) {
    AddContextFlags(DCV_DEREF_ALIASES);
  }
  if (flags.TranslateStrings()) AddContextFlags(DCV_XLATE_STRINGS);
  if (flags.AsyncMode()) AddContextFlags(DCV_ASYNC_MODE);
  if (flags.CanonicalizeNames()) AddContextFlags(DCV_CANONICALIZE_NAMES);
  if (flags.DereferenceBaseClass()) AddContextFlags(DCV_DEREF_BASE_CLASS);
  if (flags.DisallowReferrals()) AddContextFlags(DCV_DISALLOW_REFERRALS);
}

QChar DriveChar(char letter) { return QChar::fromLatin1(letter); }

}  // namespace

// ---- lifetime ------------------------------------------------------------------------

TNWBase::TNWBase(QObject *owner) : QObject(owner) {
  SharedServices &services = Services();
  if (services.users == 0) {
    // The connection services first: the directory unit relies on them.
    services.tessel = std::make_unique<TTessel>();
    services.nds = std::make_unique<TNWNDS>();
    services.server = std::make_unique<TNWServer>();
    services.print = std::make_unique<TNWPrint>();
    services.prop = std::make_unique<TNWProp>();
  }
  ++services.users;

  lastError_ = new TNWLastError(this);
  contextFlags_ = new TNWDSContextFlags(this);

  netAvailable_ = CallsAvailable();
  if (netAvailable_) {
    if (!services.directoryClientStarted) services.directoryClientStarted = InitDirectoryClient();
    if (services.directoryClientStarted) {
      SetDirectoryFallback(true);
      directoryServer_ = IsDirectoryServer(ServerHandle());
      SetNDSContextName(QString());  // resets the context to "[Root]" and notifies
      ApplyContextFlags(*contextFlags_);
    }
  }
  loginID_ = directoryServer_ ? DSCanonicalName(DSWhoAmI()) : ConnectionLoginName(ServerHandle());
}

TNWBase::~TNWBase() {
  SharedServices &services = Services();
  if (--services.users > 0) return;
  // The last component stops the directory client it started, whatever kind
  // of server it ended up on, and releases the context with the services.
  if (services.directoryClientStarted) {
    DoneDirectoryClient();
    services.directoryClientStarted = false;
  }
  services.nds.reset();
  services.tessel.reset();
  services.server.reset();
  services.print.reset();
  services.prop.reset();
  // The error record and the flag set go with the QObject children.
}

// ---- notifications -------------------------------------------------------------------

void TNWBase::NotifyControls(QEvent::Type message) {
  if (loading_) return;
  auto *form = qobject_cast<QWidget *>(parent());
  if (form == nullptr || !form->isWindow()) return;
  // The form's widgets in creation order (depth first, as a form description
  // nests them). A receiver may delete widgets or change the base component
  // while it handles the message, so the list is taken first and every entry
  // is checked before it is used.
  const QList<QWidget *> widgets = form->findChildren<QWidget *>();
  QList<QPointer<QWidget>> receivers;
  receivers.reserve(widgets.size());
  for (QWidget *widget : widgets) receivers.append(widget);
  const QPointer<TNWBase> self(this);
  for (const QPointer<QWidget> &receiver : receivers) {
    if (receiver.isNull()) continue;
    QEvent event(message);
    QCoreApplication::sendEvent(receiver.data(), &event);
    if (self.isNull()) return;
  }
}

// ---- server and connection -------------------------------------------------------------

NWCONN_HANDLE TNWBase::ServerHandle() {
  if (serverHandle_ == 0) serverHandle_ = PrimaryConnection();
  return serverHandle_;
}

bool TNWBase::NDSAvailable() { return directoryServer_ && IsDirectoryServer(ServerHandle()); }

QString TNWBase::ServerName() {
  if (serverName_.empty()) serverName_ = ConnectionServerName(ServerHandle());
  return NWToQString(serverName_);
}

void TNWBase::SetServerName(const QString &name) {
  const std::string value = nwtext::UpperAscii(QToNWString(name));
  if (value.empty()) {
    serverHandle_ = PrimaryConnection();
    serverName_ = ConnectionServerName(serverHandle_);
  } else if (NWCONN_HANDLE handle = ConnectionByServerName(value); handle != 0) {
    serverHandle_ = handle;
    serverName_ = value;
  } else {
    RaiseNWError(QToNWString(tr("Invalid Server Handle")));
  }
  const QPointer<TNWBase> self(this);
  NotifyControls(NWM_SERVERCHANGE);
  if (self.isNull()) return;
  if (onServerChange_) onServerChange_(this);
}

QString TNWBase::DefaultServer() { return NWToQString(ConnectionServerName(PrimaryConnection())); }

void TNWBase::SetDefaultServer(const QString &serverName) {
  const std::string value = QToNWString(serverName);
  if (value == defaultServer_) return;
  NWCONN_HANDLE connection = 0;
  if (SetPreferredServer(value, connection)) defaultServer_ = value;
}

QString TNWBase::ServerVersion() {
  TNWServerInfo info;
  if (!GetServerInfo(ServerHandle(), info)) return QStringLiteral("0.0");
  return NWToQString(info.Version);
}

QDateTime TNWBase::ServerDate() {
  const NWCONN_HANDLE handle = ServerHandle();
  const TNWDate day = ReadServerDate(handle);
  const TNWTime time = ReadServerTime(handle);
  // Bytes from the server that make no date or time count like a failed read.
  QDate date(day.year, day.month, day.day);
  if (!date.isValid()) date = QDate::currentDate();
  QTime clock(time.hour, time.minute, time.second, time.millisecond);
  if (!clock.isValid()) clock = QTime::currentTime();
  return QDateTime(date, clock);
}

void TNWBase::SetServerDate(const QDateTime &moment) {
  if (!moment.isValid()) return;  // nothing sensible to send
  const QDate date = moment.date();
  const QTime clock = moment.time();
  TNWDateTime value;
  value.year = date.year();
  value.month = date.month();
  value.day = date.day();
  value.hour = clock.hour();
  value.minute = clock.minute();
  value.second = clock.second();
  value.millisecond = clock.msec();
  SetServerDateTime(ServerHandle(), value);
}

quint16 TNWBase::ConnectionID() { return ConnectionNumber(ServerHandle()); }

quint16 TNWBase::MaxServerConns() { return MaxConnections(); }

bool TNWBase::ConsoleOperator() { return IsConsoleOperator(ServerHandle()); }

bool TNWBase::Manager() { return IsManager(ServerHandle()); }

QChar TNWBase::FirstNetworkDrive() { return DriveChar(FirstDriveLetter()); }

QChar TNWBase::NextNetworkDrive() { return DriveChar(NextFreeDriveLetter()); }

// ---- directory context ----------------------------------------------------------------

void TNWBase::SetNDSContextName(const QString &name) {
  if (loading_ || !NDSAvailable()) return;
  std::string value = nwtext::UpperAscii(QToNWString(name));
  if (!value.empty() && value != "[ROOT]") {
    SetContextName(value);
  } else {
    ResetContext();
    value = CurrentContextName();
  }
  contextName_ = value;
  NotifyControls(NWM_SERVERCHANGE);
}

void TNWBase::SetNDSContextFlags(TNWDSContextFlags *flags) {
  if (flags != nullptr && flags != contextFlags_) contextFlags_->Assign(*flags);
}

QString TNWBase::NDSPreferredTree() {
  if (!NDSAvailable()) return {};
  return NWToQString(ServerTreeName(PreferredDSServer()));
}

void TNWBase::SetNDSPreferredTree(const QString &treeName) {
  if (NDSAvailable()) SetPreferredTree(QToNWString(treeName));
}

// ---- identity --------------------------------------------------------------------------

std::string TNWBase::LoggedInIdentity() {
  return NDSAvailable() ? DSWhoAmI() : ConnectionLoginName(ServerHandle());
}

QString TNWBase::LoginID() {
  if (loginID_.empty()) loginID_ = LoggedInIdentity();
  return NWToQString(loginID_);
}

void TNWBase::SetLoginID(const QString &name) {
  const std::string value = QToNWString(name);
  loginID_ = value.empty() ? LoggedInIdentity() : nwtext::UpperAscii(value);
  const QPointer<TNWBase> self(this);
  NotifyControls(NWM_USERCHANGE);
  if (self.isNull()) return;
  if (onUserChange_) onUserChange_(this);
}

QString TNWBase::LoginFullName() {
  std::string text;
  ObjectFullName(ServerHandle(), loginID_, text);
  return NWToQString(text);
}

QString TNWBase::ObjectID() {
  const std::string identity = QToNWString(LoginID());
  if (NDSAvailable()) return NWToQString(DSObjectIDText(ServerHandle(), identity));
  const uint16_t typeWord = ObjTypeToBinderyType(ObjectType());
  return NWToQString(ObjectIDText(ServerHandle(), identity, typeWord));
}

quint16 TNWBase::NWObjectType() { return BinderyTypeOf(ServerHandle(), loginID_); }

// ---- version and error record -------------------------------------------------------------

QString TNWBase::Version() const {
  return NWToQString(std::string(kComponentVersion) + " / " + LibraryVersion());
}

void TNWBase::SetVersion(const QString &) {
  // The written text is never kept; a designer gets the version box.
  if (!designing_ || loading_) return;
  ShowInfo(QToNWString(tr("Tessel Version: %1;;Component Version: %2;;NetWare components for Qt %3;"
                          "Directory Services Viewer")
                           .arg(NWToQString(LibraryVersion()), QString::fromLatin1(kComponentVersion),
                                QString::fromLatin1(qVersion()))));
}

TNWLastError *TNWBase::LastError() {
  const SharedServices &services = Services();
  if (services.tessel) lastError_->SetTessel(NWToQString(services.tessel->LastErrorText()));
  if (services.server) lastError_->SetNWServer(NWToQString(services.server->LastErrorText()));
  if (services.prop) lastError_->SetNWProp(NWToQString(services.prop->LastErrorText()));
  if (services.nds) lastError_->SetNWNDS(NWToQString(services.nds->LastErrorText()));
  if (services.print) lastError_->SetNWPrint(NWToQString(services.print->LastErrorText()));
  return lastError_;
}

void TNWBase::SetLastError(TNWLastError *record) {
  if (record != nullptr && record != lastError_) lastError_->Assign(*record);
}
