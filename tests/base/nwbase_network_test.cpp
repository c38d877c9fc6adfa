// The base component on the stand-in client's demo network: the workstation
// is logged in to the directory and attached to its server.
#include <QRegularExpression>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>
#include <vector>

#include "base_support.h"
#include "netware/nwnds.h"
#include "netware/tessel.h"

namespace {

// The real client, every entry point looked up afresh.
class BaseOnDemoNetwork : public ::testing::Test {
 protected:
  FakeClient client;
};

bool Matches(const QString &text, const char *pattern) {
  return QRegularExpression(QRegularExpression::anchoredPattern(QString::fromLatin1(pattern))).match(text).hasMatch();
}

TEST_F(BaseOnDemoNetwork, StartsOnTheDirectoryAtRootAsTheLoggedInUser) {
  Log log;
  QWidget form;
  new Recorder("memo", &form, log);
  TNWBase base(&form);
  ASSERT_TRUE(base.NDSAvailable());
  ASSERT_TRUE(base.NetAvailable());
  // The context was reset, and the controls the form already had were told.
  EXPECT_EQ(log, (Log{"memo:server"}));
  EXPECT_EQ(base.NDSContextName(), "[Root]");
  EXPECT_EQ(GetContextFlags(), TNWDSContextFlags::kDefaultBits);

  // Who-am-I in its canonical, typed form.
  EXPECT_EQ(base.LoginID(), "CN=ADMIN.O=ACME");
  EXPECT_EQ(base.LoginFullName(), "Network Administrator");
  const QString id = base.ObjectID();
  EXPECT_TRUE(Matches(id, "[1-9A-F][0-9A-F]{0,7}")) << id.toStdString();
  EXPECT_EQ(QToNWString(id), DSObjectIDText(0, "CN=ADMIN.O=ACME"));
  EXPECT_EQ(base.ObjectType(), nwObjTypeUser);
  EXPECT_EQ(base.NWObjectType(), 0x0100);

  EXPECT_EQ(base.ServerName(), "ACME-FS1");
  EXPECT_EQ(base.DefaultServer(), "ACME-FS1");
  EXPECT_NE(base.ServerHandle(), 0u);
  EXPECT_EQ(base.ServerVersion(), "4.11");
  EXPECT_EQ(base.ConnectionID(), 5);
  EXPECT_TRUE(base.ConsoleOperator());
  EXPECT_TRUE(base.Manager());
  EXPECT_GT(base.MaxServerConns(), 0);
  EXPECT_EQ(base.NDSPreferredTree(), "ACMECORP");
  EXPECT_EQ(base.Version(), "1.45 / 4.50 - 15 Sept 1998");
  const QDateTime serverTime = base.ServerDate();
  EXPECT_LT(std::abs(serverTime.secsTo(QDateTime::currentDateTime())), 600) << serverTime.toString().toStdString();

  EXPECT_EQ(base.FirstNetworkDrive(), QChar('F'));
  const QChar next = base.NextNetworkDrive();
  EXPECT_TRUE(next >= QChar('F') && next <= QChar('Z')) << int(next.unicode());

  TNWLastError *error = base.LastError();
  for (const QString &code : {error->Tessel(), error->NWServer(), error->NWNDS(), error->NWPrint()}) {
    EXPECT_TRUE(Matches(code, "[0-9A-F]{4}|[0-9A-F]{8}")) << code.toStdString();
  }
  EXPECT_EQ(error->NWProp(), "0000");
}

TEST_F(BaseOnDemoNetwork, LoginIDRetargetsAndRestoresTheIdentity) {
  Log log;
  QWidget form;
  new Recorder("edit", &form, log);
  TNWBase base(&form);
  ASSERT_TRUE(base.NDSAvailable());
  int events = 0;
  base.SetOnUserChange([&](QObject *) { ++events; });
  log.clear();

  base.SetLoginID("someone.else");
  EXPECT_EQ(base.LoginID(), "SOMEONE.ELSE");  // stored without a look-up
  base.SetLoginID("");
  EXPECT_EQ(QToNWString(base.LoginID()), DSWhoAmI());
  EXPECT_FALSE(base.LoginID().isEmpty());
  EXPECT_EQ(log, (Log{"edit:user", "edit:user"}));
  EXPECT_EQ(events, 2);
}

TEST_F(BaseOnDemoNetwork, ContextNamesAndTheRootInAnyCase) {
  Log log;
  QWidget form;
  new Recorder("memo", &form, log);
  TNWBase base(&form);
  ASSERT_TRUE(base.NDSAvailable());
  const TNWObjList top = base.GetObjectList(nwlNDSObjList);
  ASSERT_FALSE(top.empty());
  auto container = std::find_if(top.begin(), top.end(), [](const TNWObjItem &item) {
    return item.value == dokOrganization || item.value == dokCountry;
  });
  ASSERT_NE(container, top.end());
  log.clear();

  base.SetNDSContextName(NWToQString(container->text).toLower());
  EXPECT_EQ(QToNWString(base.NDSContextName()), QToNWString(NWToQString(container->text).toUpper()));
  EXPECT_EQ(QString::fromStdString(CurrentContextName()).compare(NWToQString(container->text), Qt::CaseInsensitive),
            0);
  const TNWObjList below = base.GetObjectList(nwlNDSObjList);
  EXPECT_FALSE(below.empty());
  EXPECT_NE(below, top);

  // While loading, the name is not taken.
  base.SetLoading(true);
  base.SetNDSContextName("[Root]");
  EXPECT_NE(base.NDSContextName(), "[Root]");
  base.Loaded();

  // The root in any case: the context is made anew, the name read back.
  base.NDSContextFlags()->SetTypelessNames(true);
  base.SetNDSContextName("[rOOt]");
  EXPECT_EQ(base.NDSContextName(), "[Root]");
  EXPECT_EQ(CurrentContextName(), "[Root]");
  EXPECT_EQ(GetContextFlags(), TNWDSContextFlags::kDefaultBits);  // the new context's own flags
  EXPECT_EQ(base.GetObjectList(nwlNDSObjList), top);
  base.SetNDSContextName("");
  EXPECT_EQ(base.NDSContextName(), "[Root]");
  EXPECT_EQ(log, (Log{"memo:server", "memo:server", "memo:server"}));
}

TEST_F(BaseOnDemoNetwork, ContextFlagsRoundTrip) {
  TNWBase base;
  ASSERT_TRUE(base.NDSAvailable());
  TNWDSContextFlags *flags = base.NDSContextFlags();
  const std::vector<std::pair<const char *, uint32_t>> bits = {
      {"DereferenceAliases", DCV_DEREF_ALIASES}, {"TranslateStrings", DCV_XLATE_STRINGS},
      {"TypelessNames", DCV_TYPELESS_NAMES},     {"AsyncMode", DCV_ASYNC_MODE},
      {"CanonicalizeNames", DCV_CANONICALIZE_NAMES}, {"DereferenceBaseClass", DCV_DEREF_BASE_CLASS},
      {"DisallowReferrals", DCV_DISALLOW_REFERRALS}};
  for (const auto &[name, bit] : bits) {
    const uint32_t before = GetContextFlags();
    const bool was = flags->property(name).toBool();
    ASSERT_EQ((before & bit) != 0, was) << name;
    EXPECT_TRUE(flags->setProperty(name, !was));
    EXPECT_EQ(GetContextFlags(), before ^ bit) << name;
    EXPECT_EQ(flags->property(name).toBool(), !was);
    flags->setProperty(name, was);
    EXPECT_EQ(GetContextFlags(), before) << name;
  }
  // Typeless names on: who-am-I comes back without naming types.
  flags->SetTypelessNames(true);
  EXPECT_FALSE(NWToQString(DSWhoAmI()).contains("CN=", Qt::CaseInsensitive));
  flags->SetTypelessNames(false);
}

std::vector<uint32_t> Values(const TNWObjList &list) {
  std::vector<uint32_t> values;
  for (const TNWObjItem &item : list) values.push_back(item.value);
  return values;
}

std::set<std::string> Texts(const TNWObjList &list) {
  std::set<std::string> texts;
  for (const TNWObjItem &item : list) texts.insert(item.text);
  return texts;
}

TEST_F(BaseOnDemoNetwork, ObjectListsOfTheDirectoryServer) {
  TNWBase base;
  ASSERT_TRUE(base.NDSAvailable());
  // The objects below [Root], each with its kind.
  const TNWObjList objects = base.GetObjectList(nwlNDSObjList);
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_TRUE(QString::fromStdString(objects[0].text).endsWith("US", Qt::CaseInsensitive)) << objects[0].text;
  EXPECT_EQ(objects[0].value, static_cast<uint32_t>(dokCountry));
  EXPECT_TRUE(QString::fromStdString(objects[1].text).endsWith("ACME", Qt::CaseInsensitive)) << objects[1].text;
  EXPECT_EQ(objects[1].value, static_cast<uint32_t>(dokOrganization));

  const TNWObjList trees = base.GetObjectList(nwlNDSTree);
  ASSERT_EQ(trees.size(), 1u);
  EXPECT_EQ(trees[0].text, "ACMECORP");
  EXPECT_NE(trees[0].value, 0u);

  // Logged-in connections of ACME-FS1 by slot; slot 9 has nobody logged in.
  const TNWObjList users = base.GetObjectList(nwlUserList);
  EXPECT_EQ(Values(users), (std::vector<uint32_t>{1, 3, 4, 5, 7, 12, 14}));
  for (const TNWObjItem &item : users) EXPECT_FALSE(item.text.empty());

  const TNWObjList servers = base.GetObjectList(nwlConnectedFileServer);
  EXPECT_EQ(Texts(servers), (std::set<std::string>{"ACME-FS1", "ACME-FS2", "ACME-NW3"}));
  for (const TNWObjItem &item : servers) EXPECT_NE(item.value, 0u) << item.text;

  // The bindery of a directory server: its SUPERVISOR (ID 1, high byte first).
  const TNWObjList binderyUsers = base.GetObjectList(nwlUser);
  EXPECT_TRUE(std::find(binderyUsers.begin(), binderyUsers.end(), TNWObjItem{"SUPERVISOR", 0x01000000}) !=
              binderyUsers.end());
  EXPECT_TRUE(base.GetObjectList(nwlNone).empty());
}

TEST_F(BaseOnDemoNetwork, ABinderyServerByName) {
  Log log;
  QWidget form;
  new Recorder("memo", &form, log);
  TNWBase base(&form);
  ASSERT_TRUE(base.NDSAvailable());
  const TNWObjList rootObjects = base.GetObjectList(nwlNDSObjList);
  int serverEvents = 0;
  base.SetOnServerChange([&](QObject *) { ++serverEvents; });
  log.clear();

  base.SetServerName("acme-nw3");
  EXPECT_EQ(base.ServerName(), "ACME-NW3");
  EXPECT_EQ(base.ServerVersion(), "3.12");
  EXPECT_EQ(base.ConnectionID(), 4);
  EXPECT_EQ(base.DefaultServer(), "ACME-FS1");  // the primary connection is not changed
  EXPECT_EQ(log, (Log{"memo:server"}));
  EXPECT_EQ(serverEvents, 1);

  // No directory on this server: the directory lists are empty although the
  // network is there, and the context name is not taken.
  EXPECT_FALSE(base.NDSAvailable());
  EXPECT_TRUE(base.GetObjectList(nwlNDSObjList).empty());
  EXPECT_TRUE(base.GetObjectList(nwlNDSTree).empty());
  base.SetNDSContextName("O=ACME");
  EXPECT_EQ(base.NDSContextName(), "[Root]");

  EXPECT_EQ(Texts(base.GetObjectList(nwlUser)),
            (std::set<std::string>{"SUPERVISOR", "GUEST", "BOB", "ALICE", "CAROL"}));
  EXPECT_TRUE(base.GetObjectList(nwlUser).size() == 5);
  const TNWObjList groups = base.GetObjectList(nwlGroup);
  EXPECT_EQ(Texts(groups), (std::set<std::string>{"EVERYONE", "ACCOUNTING"}));
  EXPECT_TRUE(std::find(groups.begin(), groups.end(), TNWObjItem{"EVERYONE", 0x02000002}) != groups.end());
  EXPECT_EQ(Texts(base.GetObjectList(nwlPrintQ)), (std::set<std::string>{"PRINTQ_0", "PRINTQ_1"}));
  EXPECT_EQ(base.GetObjectList(nwlPrintServer), (TNWObjList{{"PSERVER", 0x09000002}}));
  for (TNWObjListType kind : {nwlJobQueue, nwlArchiveServer, nwlAdministration, nwlNASSNAServer, nwlRemoteBridge,
                              nwlTCPIPGateway}) {
    EXPECT_TRUE(base.GetObjectList(kind).empty()) << int(kind);
  }
  const TNWObjList users = base.GetObjectList(nwlUserList);
  EXPECT_EQ(Values(users), (std::vector<uint32_t>{2, 3, 4}));  // slot 6 is not logged in
  EXPECT_EQ(Texts(users), (std::set<std::string>{"BOB", "ALICE", "SUPERVISOR"}));

  // Without the directory the identity comes from the connection.
  base.SetLoginID("");
  EXPECT_EQ(base.LoginID(), "SUPERVISOR");
  EXPECT_EQ(base.LoginFullName(), "Supervisor");
  EXPECT_EQ(base.ObjectType(), nwObjTypeUser);

  // An empty name goes back to the primary connection and its directory.
  base.SetServerName("");
  EXPECT_EQ(base.ServerName(), "ACME-FS1");
  EXPECT_TRUE(base.NDSAvailable());
  EXPECT_EQ(base.GetObjectList(nwlNDSObjList), rootObjects);
  EXPECT_EQ(serverEvents, 2);
}

TEST_F(BaseOnDemoNetwork, ServerNamesAndTheDefaultServer) {
  Log log;
  QWidget form;
  new Recorder("memo", &form, log);
  TNWBase base(&form);
  ASSERT_TRUE(base.NDSAvailable());
  log.clear();

  base.SetSilentExceptions(false);
  const NWCONN_HANDLE handle = base.ServerHandle();
  try {
    base.SetServerName("NO-SUCH-SERVER");
    ADD_FAILURE() << "no exception";
  } catch (const TNWObjError &error) {
    EXPECT_STREQ(error.what(), "Invalid Server Handle");
  }
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(base.ServerHandle(), handle);
  EXPECT_EQ(base.ServerName(), "ACME-FS1");

  base.SetServerName("Acme-FS2");
  EXPECT_EQ(base.ServerName(), "ACME-FS2");
  EXPECT_NE(base.ServerHandle(), handle);
  EXPECT_EQ(base.ServerVersion(), "5.0");
  EXPECT_EQ(log, (Log{"memo:server"}));

  // The preferred server is set once for the same text; the handle stays.
  static PFN_NWCCSetPrefServerName real = nullptr;
  static int calls = 0;
  calls = 0;
  real = reinterpret_cast<PFN_NWCCSetPrefServerName>(nwlib::SystemLoader().Symbol(
      nwlib::SystemLoader().Open(nwlib::PlatformLibraryName("CLXWIN32.DLL")), "NWCCSetPrefServerName"));
  ASSERT_NE(real, nullptr);
  FAKE(NWCCSetPrefServerName, [](const char *name) -> NWCCODE {
    ++calls;
    return real(name);
  });
  base.SetDefaultServer("ACME-FS1");
  base.SetDefaultServer("ACME-FS1");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(base.DefaultServer(), "ACME-FS1");
  EXPECT_EQ(base.ServerName(), "ACME-FS2");
}

TEST_F(BaseOnDemoNetwork, BroadcastModeIsKeptByTheConnection) {
  TNWBase base;
  ASSERT_TRUE(base.NDSAvailable());
  const TNWBroadcastMode before = base.BroadcastMode();
  base.SetBroadcastMode(nwBroadcastServerOnly);
  EXPECT_EQ(base.BroadcastMode(), nwBroadcastServerOnly);
  base.setProperty("BroadcastMode", "nwBroadcastOff");
  EXPECT_EQ(base.BroadcastMode(), nwBroadcastOff);
  base.SetBroadcastMode(before);
  EXPECT_EQ(base.BroadcastMode(), before);
}

}  // namespace
