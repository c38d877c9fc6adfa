// The base component without a client, on a scripted network, and as a
// published component that a form loader sets by name.
#include <QMetaEnum>
#include <QMetaProperty>
#include <QPointer>

#include <memory>
#include <set>

#include "base_support.h"
#include "netware/nwprint.h"
#include "netware/nwserver.h"
#include "netware/tessel.h"
#include "util/nwtools.h"

namespace {

using scripted::Net;

// ---- without the client ----------------------------------------------------------------------

TEST(BaseWithoutClient, EveryPropertyGivesItsDefaultAndNothingRaises) {
  NoClient none;
  ServerLastError = 0;  // codes are sticky across the whole test program
  PrintLastError = 0;
  QWidget form;
  TNWBase base(&form);
  EXPECT_FALSE(base.NetAvailable());
  EXPECT_FALSE(base.NDSAvailable());
  EXPECT_EQ(base.LoginID(), "");
  EXPECT_EQ(base.ServerName(), "LOCAL");
  EXPECT_EQ(base.DefaultServer(), "LOCAL");
  EXPECT_EQ(base.ServerVersion(), "0.0");
  EXPECT_EQ(base.Version(), "1.45 / 4.50 - 15 Sept 1998");
  EXPECT_EQ(base.NDSContextName(), "");
  EXPECT_EQ(base.NDSPreferredTree(), "");
  EXPECT_EQ(base.ServerHandle(), 0u);
  EXPECT_EQ(base.ObjectType(), nwObjTypeUser);
  EXPECT_EQ(base.NWObjectType(), 0);
  EXPECT_EQ(base.ObjectID(), "0");
  EXPECT_EQ(base.ConnectionID(), 0);
  EXPECT_EQ(base.MaxServerConns(), 0);
  EXPECT_FALSE(base.ConsoleOperator());
  EXPECT_FALSE(base.Manager());
  EXPECT_EQ(base.FirstNetworkDrive(), QChar(0));
  EXPECT_EQ(base.NextNetworkDrive(), QChar(0));
  EXPECT_EQ(base.BroadcastMode(), nwBroadcastOn);
  EXPECT_TRUE(base.ServerDate().isValid());
  for (int kind = 0; kind <= 255; ++kind) {
    EXPECT_TRUE(base.GetObjectList(static_cast<TNWObjListType>(kind)).empty()) << kind;
  }

  // The server name was asked for without any entry point: the connection
  // services show -1; the directory library never loaded.
  TNWLastError *error = base.LastError();
  EXPECT_EQ(error->Tessel(), "FFFFFFFF");
  EXPECT_EQ(error->NWNDS(), "FFFF");
  EXPECT_EQ(error->NWServer(), "0000");
  EXPECT_EQ(error->NWProp(), "0000");
  EXPECT_EQ(error->NWPrint(), "0000");

  // Every published property read and written by name, silently.
  const QMetaObject *meta = base.metaObject();
  for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
    QMetaProperty property = meta->property(i);
    QVariant value;
    EXPECT_NO_THROW(value = property.read(&base)) << property.name();
    if (property.isWritable()) {
      EXPECT_NO_THROW(property.write(&base, value)) << property.name();
    }
  }
  EXPECT_NO_THROW(base.SetServerName("NOWHERE"));
  EXPECT_NO_THROW(base.SetNDSContextName("O=ACME"));
  EXPECT_EQ(base.NDSContextName(), "");  // no directory: the name stays
}

TEST(BaseWithoutClient, LoudModeRaisesAndSendsNothing) {
  NoClient none;
  Log log;
  QWidget form;
  new Recorder("edit", &form, log);
  TNWBase base(&form);
  int serverEvents = 0;
  base.SetOnServerChange([&](QObject *) { ++serverEvents; });
  ASSERT_EQ(base.ServerName(), "LOCAL");

  base.SetSilentExceptions(false);
  try {
    base.SetServerName("nowhere");
    ADD_FAILURE() << "no exception";
  } catch (const TNWObjError &error) {
    EXPECT_STREQ(error.what(), "Invalid Server Handle");
    EXPECT_EQ(error.Message(), "Invalid Server Handle");
  }
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(serverEvents, 0);
  EXPECT_EQ(base.ServerName(), "LOCAL");
  EXPECT_EQ(base.ServerHandle(), 0u);

  try {
    base.ObjectType();
    ADD_FAILURE() << "no exception";
  } catch (const TNWObjError &error) {
    EXPECT_STREQ(error.what(), "Invalid Netware Object Type");
  }
  EXPECT_THROW(base.RaiseNWError("x"), TNWObjError);

  // A designer never sees the exception.
  base.SetDesigning(true);
  EXPECT_NO_THROW(base.ObjectType());
  EXPECT_NO_THROW(base.SetServerName("nowhere"));
}

TEST(BaseWithoutClient, ServerNameWritesNotifyAndRaiseTheEvent) {
  NoClient none;
  Log log;
  QWidget form;
  new Recorder("memo", &form, log);
  TNWBase base(&form);
  QObject *sender = nullptr;
  base.SetOnServerChange([&](QObject *from) {
    sender = from;
    log.push_back("OnServerChange");
  });

  // Silent: a server that cannot be reached keeps the old name, and the
  // controls still hear of it.
  base.SetServerName("nowhere");
  EXPECT_EQ(base.ServerName(), "LOCAL");
  EXPECT_EQ(log, (Log{"memo:server", "OnServerChange"}));
  EXPECT_EQ(sender, &base);

  log.clear();
  base.SetServerName("");
  EXPECT_EQ(base.ServerName(), "LOCAL");
  EXPECT_EQ(log, (Log{"memo:server", "OnServerChange"}));
}

// ---- notifications -------------------------------------------------------------------------

TEST(BaseNotifications, ReachEveryWidgetOfTheFormInOrderBeforeTheEvent) {
  NoClient none;
  Log log;
  QWidget form;
  QWidget other;  // another window's control hears nothing
  new Recorder("elsewhere", &other, log);
  auto *panel = new QWidget(&form);
  TNWBase *base = nullptr;
  QString seen;
  new Recorder("first", panel, log, [&](Recorder &) { seen = base->LoginID(); });
  new Recorder("second", panel, log);
  new QObject(&form);  // not a widget
  new Recorder("third", &form, log);
  base = new TNWBase(&form);
  new Recorder("late", &form, log);  // created after the component: still the form's
  QObject *sender = nullptr;
  base->SetOnUserChange([&](QObject *from) {
    sender = from;
    log.push_back("OnUserChange");
  });

  base->SetLoginID("jsmith.sales.acme");
  EXPECT_EQ(base->LoginID(), "JSMITH.SALES.ACME");
  EXPECT_EQ(seen, "JSMITH.SALES.ACME");  // the receiver ran inside the setter
  EXPECT_EQ(log, (Log{"first:user", "second:user", "third:user", "late:user", "OnUserChange"}));
  EXPECT_EQ(sender, base);

  // Only the letters a to z are folded.
  base->SetLoginID(QString::fromUtf8("m\u00fcller"));
  EXPECT_EQ(base->LoginID(), QString::fromUtf8("M\u00fcLLER"));

  // An empty identity restores the logged-in one (none without a client)
  // and is announced like any other.
  log.clear();
  base->SetLoginID("");
  EXPECT_EQ(base->LoginID(), "");
  EXPECT_EQ(log, (Log{"first:user", "second:user", "third:user", "late:user", "OnUserChange"}));
}

TEST(BaseNotifications, NothingWhileLoadingOrWithoutAForm) {
  NoClient none;
  Log log;
  QWidget form;
  auto *panel = new QWidget(&form);
  new Recorder("edit", panel, log);
  int events = 0;

  TNWBase base(&form);
  base.SetOnUserChange([&](QObject *) { ++events; });
  base.SetLoading(true);
  base.SetLoginID("a");
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(events, 1);  // the event itself is not held back
  base.Loaded();
  EXPECT_FALSE(base.Loading());
  base.SetLoginID("b");
  EXPECT_EQ(log, (Log{"edit:user"}));

  // Owned by a panel, by a plain object, or by nobody: no form, no messages.
  log.clear();
  QObject plain;
  TNWBase onPanel(panel);
  TNWBase onObject(&plain);
  TNWBase alone;
  for (TNWBase *other : {&onPanel, &onObject, &alone}) {
    other->SetLoginID("c");
    other->SetServerName("");
  }
  EXPECT_TRUE(log.empty());
}

TEST(BaseNotifications, AReceiverMayDeleteWidgetsAndTheComponent) {
  NoClient none;
  Log log;
  auto form = std::make_unique<QWidget>();
  QPointer<QWidget> victim;
  new Recorder("killer", form.get(), log, [&](Recorder &) { delete victim.data(); });
  victim = new Recorder("victim", form.get(), log);
  new Recorder("survivor", form.get(), log);
  auto *base = new TNWBase(form.get());
  base->SetLoginID("x");
  EXPECT_EQ(log, (Log{"killer:user", "survivor:user"}));

  // A receiver that removes the component ends the notification there.
  log.clear();
  QPointer<TNWBase> watched(base);
  int events = 0;
  base->SetOnUserChange([&](QObject *) { ++events; });
  new Recorder("remover", form.get(), log, [&](Recorder &) { delete watched.data(); });
  new Recorder("after", form.get(), log);
  base->SetLoginID("y");
  EXPECT_TRUE(watched.isNull());
  EXPECT_EQ(log, (Log{"killer:user", "survivor:user", "remover:user"}));
  EXPECT_EQ(events, 0);
}

// ---- published properties ---------------------------------------------------------------------

TEST(BasePublished, PropertiesInDeclaredOrderAndStoredAsDescribed) {
  NoClient none;
  TNWBase base;
  const QMetaObject *meta = base.metaObject();
  const std::vector<std::pair<const char *, bool>> expected = {
      {"OnServerChange", true},     {"OnUserChange", true},   {"ServerVersion", false},
      {"NetAvailable", false},      {"NDSContextName", true}, {"NDSContextFlags", true},
      {"NDSAvailable", false},      {"NDSPreferredTree", false}, {"DefaultServer", false},
      {"LastError", false},         {"SilentExceptions", true}, {"Version", false},
      {"LoginID", false},           {"ServerName", false},    {"ServerDate", false},
      {"ShellErrorMode", false},    {"BroadcastMode", false}, {"ServerHandle", false},
      {"LoginFullName", false},     {"ObjectID", false},      {"ConnectionID", false},
      {"ObjectType", false},        {"NWObjectType", false},  {"MaxServerConns", false},
      {"ConsoleOperator", false},   {"Manager", false},       {"FirstNetworkDrive", false},
      {"NextNetworkDrive", false}};
  ASSERT_EQ(meta->propertyCount() - meta->propertyOffset(), static_cast<int>(expected.size()));
  const std::set<std::string> readOnly = {"ServerVersion", "NetAvailable", "NDSAvailable", "ServerHandle",
                                          "LoginFullName", "ObjectID", "ConnectionID", "ObjectType",
                                          "NWObjectType", "MaxServerConns", "ConsoleOperator", "Manager",
                                          "FirstNetworkDrive", "NextNetworkDrive"};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    QMetaProperty property = meta->property(meta->propertyOffset() + static_cast<int>(i));
    EXPECT_STREQ(property.name(), expected[i].first);
    EXPECT_EQ(property.isStored(), expected[i].second) << expected[i].first;
    EXPECT_EQ(property.isWritable(), !readOnly.count(expected[i].first)) << expected[i].first;
  }

  const std::vector<const char *> errorOrder = {"Tessel", "NWServer", "NWProp", "NWNDS", "NWPrint"};
  const QMetaObject *errorMeta = &TNWLastError::staticMetaObject;
  ASSERT_EQ(errorMeta->propertyCount() - errorMeta->propertyOffset(), 5);
  for (int i = 0; i < 5; ++i) {
    QMetaProperty property = errorMeta->property(errorMeta->propertyOffset() + i);
    EXPECT_STREQ(property.name(), errorOrder[i]);
    EXPECT_FALSE(property.isStored());
    EXPECT_TRUE(property.isWritable());
  }
}

TEST(BasePublished, AFormDescriptionSetsEnumerationsAndFlagsByName) {
  NoClient none;
  QWidget form;
  QObject *made = TNWBase::staticMetaObject.newInstance(Q_ARG(QObject *, &form));
  ASSERT_NE(qobject_cast<TNWBase *>(made), nullptr);
  EXPECT_EQ(made->parent(), &form);
  TNWBase &base = *qobject_cast<TNWBase *>(made);
  EXPECT_TRUE(base.setProperty("SilentExceptions", false));
  EXPECT_FALSE(base.SilentExceptions());
  EXPECT_TRUE(base.setProperty("ShellErrorMode", "nwErrDOS"));
  EXPECT_EQ(base.ShellErrorMode(), nwErrDOS);
  EXPECT_FALSE(base.setProperty("ShellErrorMode", "nwErrBogus"));
  EXPECT_EQ(base.ShellErrorMode(), nwErrDOS);
  EXPECT_EQ(base.property("ShellErrorMode").toString(), "nwErrDOS");

  // The enumerations carry their names for every class that publishes them.
  const std::vector<std::pair<const char *, std::vector<const char *>>> enums = {
      {"TNWObjListType", {"nwlNone", "nwlUserList", "nwlUser", "nwlGroup", "nwlPrintQ", "nwlConnectedFileServer",
                          "nwlFileServer", "nwlPrintServer", "nwlArchiveServer", "nwlJobQueue", "nwlAdministration",
                          "nwlNASSNAServer", "nwlRemoteBridge", "nwlTCPIPGateway", "nwlNDSTree", "nwlNDSObjList"}},
      {"TNWShellErrorMode", {"nwErrInteractive", "nwErrNetware", "nwErrDOS"}},
      {"TNWBroadcastMode", {"nwBroadcastOn", "nwBroadcastServerOnly", "nwBroadcastOff", "nwBroadcastStored"}},
  };
  for (const auto &[name, keys] : enums) {
    QMetaEnum metaEnum = NWEnums::staticMetaObject.enumerator(NWEnums::staticMetaObject.indexOfEnumerator(name));
    ASSERT_TRUE(metaEnum.isValid()) << name;
    ASSERT_EQ(metaEnum.keyCount(), static_cast<int>(keys.size())) << name;
    for (int i = 0; i < metaEnum.keyCount(); ++i) {
      EXPECT_STREQ(metaEnum.key(i), keys[i]);
      EXPECT_EQ(metaEnum.value(i), i);
    }
  }
  QMetaEnum objTypes = QMetaEnum::fromType<TNWObjType>();
  EXPECT_EQ(objTypes.keyCount(), 17);
  EXPECT_EQ(objTypes.keyToValue("nwObjTypeTCPIPGateway"), 14);
  EXPECT_EQ(objTypes.keyToValue("nwObjTypeConnectedServer"), 16);

  // NDSContextFlags.TypelessNames, as the loader walks the dotted name.
  auto *flags = base.property("NDSContextFlags").value<QObject *>();
  ASSERT_EQ(flags, base.NDSContextFlags());
  EXPECT_TRUE(flags->setProperty("TypelessNames", true));
  EXPECT_TRUE(base.NDSContextFlags()->TypelessNames());
  EXPECT_EQ(base.NDSContextFlags()->Bits(), TNWDSContextFlags::kDefaultBits | DCV_TYPELESS_NAMES);

  // Writing the sub-objects takes over their values; the owned objects stay.
  TNWDSContextFlags other;
  other.SetCanonicalizeNames(false);
  base.SetNDSContextFlags(&other);
  EXPECT_EQ(base.NDSContextFlags()->Bits(), DCV_DEREF_ALIASES | DCV_XLATE_STRINGS);
  EXPECT_NE(base.NDSContextFlags(), &other);
  base.SetNDSContextFlags(nullptr);
  EXPECT_EQ(base.NDSContextFlags()->Bits(), DCV_DEREF_ALIASES | DCV_XLATE_STRINGS);
}

TEST(BasePublished, VersionWritesShowTheBoxOnlyToADesigner) {
  NoClient none;
  std::vector<std::string> boxes;
  SetMessageBoxHook([&](bool isError, const std::string &text) {
    EXPECT_FALSE(isError);
    boxes.push_back(text);
  });
  TNWBase base;
  base.SetVersion("9.99");
  EXPECT_TRUE(boxes.empty());
  base.SetDesigning(true);
  base.SetLoading(true);
  base.setProperty("Version", "9.99");
  EXPECT_TRUE(boxes.empty());
  base.SetLoading(false);
  base.setProperty("Version", "9.99");
  SetMessageBoxHook({});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Tessel Version: 4.50 - 15 Sept 1998\n\nComponent Version: 1.45\n\n", 0), 0u)
      << boxes[0];
  EXPECT_EQ(base.Version(), "1.45 / 4.50 - 15 Sept 1998");
}

// ---- a scripted network ------------------------------------------------------------------------

TEST_F(BaseOnScriptedNetwork, ClientModesAreHandedToTheClient) {
  TNWBase base;
  ASSERT_TRUE(base.NetAvailable());
  EXPECT_FALSE(base.NDSAvailable());
  base.SetBroadcastMode(nwBroadcastStored);
  EXPECT_EQ(Net.lastBroadcastMode, 3);
  base.SetShellErrorMode(nwErrNetware);
  base.SetShellErrorMode(nwErrNetware);  // the same mode is applied again
  EXPECT_EQ(Net.errorModeCalls, 2);
  EXPECT_EQ(Net.lastErrorMode, 1);
  EXPECT_EQ(base.ShellErrorMode(), nwErrNetware);
}

TEST_F(BaseOnScriptedNetwork, ObjectTypeMapsEveryBinderyTypeWordBack) {
  TNWBase base;
  base.SetLoginID("bridge");
  const std::vector<std::pair<uint16_t, TNWObjType>> known = {
      {0x0100, nwObjTypeUser},          {0x0200, nwObjTypeGroup},        {0x0300, nwObjTypePrintQ},
      {0x0400, nwObjTypeFileServer},    {0x0500, nwObjTypeJobServer},    {0x0600, nwObjTypeGateway},
      {0x0700, nwObjTypePrintServer},   {0x0800, nwObjTypeArchiveQueue}, {0x0900, nwObjTypeArchiveServer},
      {0x0A00, nwObjTypeJobQueue},      {0x0B00, nwObjTypeAdministration}, {0x2100, nwObjTypeNASSNAServer},
      {0x2600, nwObjTypeRemoteBridge},  {0x2700, nwObjTypeTCPIPGateway}};
  for (const auto &[word, type] : known) {
    Net.objectIdType = word;
    EXPECT_EQ(base.NWObjectType(), word);
    EXPECT_EQ(base.ObjectType(), type) << std::hex << word;
    EXPECT_EQ(TNWBase::ObjTypeToBinderyType(type), word);
  }
  // The bindery ID of the identity, as hexadecimal without leading zeros.
  Net.objectIdType = 0x0100;
  EXPECT_EQ(base.ObjectID(), "76543210");

  for (TNWObjType none : {nwObjTypeNone, nwObjTypeNDSTree, nwObjTypeConnectedServer, static_cast<TNWObjType>(99)}) {
    EXPECT_EQ(TNWBase::ObjTypeToBinderyType(none), 0) << int(none);
  }
  Net.objectIdType = 0x7777;  // a type the server does not know
  EXPECT_EQ(base.NWObjectType(), 0);
  EXPECT_EQ(base.ObjectType(), nwObjTypeUser);
}

TEST_F(BaseOnScriptedNetwork, ObjectListsScanTheirTypeWordsAndKeepTheRows) {
  TNWBase base;
  const std::vector<std::pair<TNWObjListType, uint16_t>> bindery = {
      {nwlUser, 0x0100},        {nwlGroup, 0x0200},          {nwlPrintQ, 0x0300},
      {nwlFileServer, 0x0400},  {nwlPrintServer, 0x0700},    {nwlArchiveServer, 0x0900},
      {nwlJobQueue, 0x0500},    {nwlAdministration, 0x0B00}, {nwlNASSNAServer, 0x2100},
      {nwlRemoteBridge, 0x2600}, {nwlTCPIPGateway, 0x2700}};
  for (const auto &[kind, word] : bindery) {
    Net.scannedTypes.clear();
    const TNWObjList list = base.GetObjectList(kind);
    EXPECT_EQ(Net.scannedTypes, std::vector<nuint16>{word}) << int(kind);
    char first[32], second[32];
    std::snprintf(first, sizeof first, "OBJ%04X-1", word);
    std::snprintf(second, sizeof second, "OBJ%04X-2", word);
    EXPECT_EQ(list, (TNWObjList{{first, 1}, {second, 2}})) << int(kind);
  }

  // The network is there but the directory is not.
  Net.scannedTypes.clear();
  EXPECT_TRUE(base.GetObjectList(nwlNDSObjList).empty());
  EXPECT_TRUE(base.GetObjectList(nwlNDSTree).empty());
  EXPECT_TRUE(base.GetObjectList(nwlNone).empty());
  EXPECT_TRUE(base.GetObjectList(static_cast<TNWObjListType>(16)).empty());
  EXPECT_TRUE(Net.scannedTypes.empty());
}

TEST_F(BaseOnScriptedNetwork, FlagWritesSetOrClearOneBitOfTheContext) {
  TNWBase base;
  TNWDSContextFlags *flags = base.NDSContextFlags();
  Net.flags = DCV_DEFAULT_FLAGS | 0x20;  // a bit without a property is kept too
  flags->SetTypelessNames(true);
  EXPECT_EQ(Net.flags, DCV_DEFAULT_FLAGS | 0x20 | DCV_TYPELESS_NAMES);
  flags->SetTypelessNames(false);
  EXPECT_EQ(Net.flags, DCV_DEFAULT_FLAGS | 0x20);
  flags->SetAsyncMode(false);
  EXPECT_EQ(Net.flags, DCV_DEFAULT_FLAGS | 0x20);
  flags->SetDereferenceAliases(false);
  flags->SetDisallowReferrals(true);
  EXPECT_EQ(Net.flags, DCV_XLATE_STRINGS | DCV_CANONICALIZE_NAMES | 0x20 | DCV_DISALLOW_REFERRALS);

  // Loading does not hold flag writes back.
  base.SetLoading(true);
  flags->SetDereferenceBaseClass(true);
  EXPECT_TRUE(Net.flags & DCV_DEREF_BASE_CLASS);

  // Flags that cannot be read are not overwritten with a guess.
  const int writes = Net.flagWrites;
  Net.getContextCode = ERR_INVALID_REQUEST;
  flags->SetTranslateStrings(false);
  EXPECT_EQ(Net.flagWrites, writes);
  EXPECT_FALSE(flags->TranslateStrings());  // the property keeps what it was given
}

int unicodeFrees = 0;
int clientStarts = 0;

TEST_F(BaseOnScriptedNetwork, ASecondComponentSharesTheServices) {
  unicodeFrees = clientStarts = 0;
  FAKE(NWFreeUnicodeTables, []() -> nint {
    ++unicodeFrees;
    return 0;
  });
  FAKE(NWCallsInit, [](nptr, nptr) -> NWCCODE {
    ++clientStarts;
    return 0;
  });
  FAKE(NWInitUnicodeTables, [](nint, nint) -> nint { return 0; });
  auto first = std::make_unique<TNWBase>();
  EXPECT_EQ(clientStarts, 1);
  auto second = std::make_unique<TNWBase>();
  EXPECT_EQ(clientStarts, 1);  // the services were not made again
  first.reset();
  EXPECT_EQ(unicodeFrees, 0);
  EXPECT_EQ(second->ServerHandle(), scripted::kPrimary);
  EXPECT_EQ(second->LastError()->NWProp(), "0000");
  second.reset();
  EXPECT_EQ(unicodeFrees, 1);  // the last one stops the directory client
  TNWBase third;
  EXPECT_EQ(clientStarts, 2);
}

}  // namespace
