#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "client_test_util.h"
#include "directory.h"
#include "network.h"
#include "nwclient.h"

using namespace nwc;
using nwctest::CountLines;
using nwctest::DemoNetworkTest;
using nwctest::TempDir;

namespace {

DName Name(std::string_view text) {
  DName n;
  EXPECT_EQ(CanonicalizeName(text, DName{}, {}, &n), 0) << text;
  return n;
}

const DirEntry* Entry(Network& net, std::string_view text) { return net.tree->Find(Name(text)); }

std::string HexId(std::uint32_t shown) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%X", shown);
  return buf;
}

// Loads a description expected to fail; returns what went to stderr.
std::string FailingLoad(const std::string& json, const std::filesystem::path& base = ".") {
  testing::internal::CaptureStderr();
  bool ok = LoadNetworkFromString(json, base, "broken.json");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(ok) << json;
  EXPECT_EQ(CurrentNetwork(), nullptr);
  return err;
}

constexpr const char* kMinimal = R"({"servers": [{"name": "SRV", "volumes": [{"name": "SYS", "path": "."}]}]})";

}  // namespace

using DemoNetwork = DemoNetworkTest;

TEST_F(DemoNetwork, LoadsLazilyWithItsTreeServersAndWorkstation) {
  Network* net = CurrentNetwork();
  ASSERT_NE(net, nullptr);
  EXPECT_EQ(CurrentNetwork(), net);  // loaded once
  ASSERT_TRUE(net->tree);
  EXPECT_EQ(net->tree->name, "ACMECORP");
  ASSERT_NE(net->Store(), nullptr);

  Server* fs1 = net->FindServer("acme-fs1");
  Server* fs2 = net->FindServer("ACME-FS2");
  Server* nw3 = net->FindServer("ACME-NW3");
  ASSERT_TRUE(fs1 && fs2 && nw3);
  EXPECT_EQ(fs1->majorVersion, 4);
  EXPECT_EQ(fs1->minorVersion, 11);
  EXPECT_EQ(fs2->majorVersion, 5);
  EXPECT_EQ(nw3->majorVersion, 3);
  EXPECT_EQ(nw3->minorVersion, 12);
  EXPECT_TRUE(fs1->directoryServer && fs2->directoryServer);
  EXPECT_FALSE(nw3->directoryServer);
  EXPECT_EQ(net->DirectoryServers().size(), 2u);

  // The workstation: logged in to the directory as ADMIN, three connections.
  const Workstation& ws = net->workstation;
  ASSERT_TRUE(ws.identity);
  EXPECT_EQ(FormatName(*ws.identity, false), "CN=ADMIN.O=ACME");
  EXPECT_EQ(FormatName(ws.nameContext, false), "O=ACME");
  EXPECT_EQ(ws.firstDrive, 6);
  ASSERT_EQ(ws.connections.size(), 3u);
  ASSERT_NE(ws.Primary(), nullptr);
  EXPECT_EQ(ws.Primary()->server, fs1);
  std::set<std::uint32_t> handles;
  for (const auto& c : ws.connections) {
    EXPECT_GT(c->handle, 0xFFFFu) << "a handle must never look like a connection number";
    EXPECT_NE(c->handle, c->number);
    handles.insert(c->handle);
    handles.insert(c->ref);
    const Slot* slot = c->ServerSlot();
    ASSERT_NE(slot, nullptr);
    EXPECT_TRUE(slot->LoggedIn());
  }
  EXPECT_EQ(handles.size(), 6u);

  // JSMITH holds three connections on ACME-FS1.
  const DirEntry* jsmith = Entry(*net, "CN=JSMITH.OU=SALES.O=ACME");
  ASSERT_NE(jsmith, nullptr);
  EXPECT_EQ(fs1->ConnectionsOf(jsmith->id), (std::vector<std::uint16_t>{3, 7, 12}));
  EXPECT_GE(fs1->peakConnections, fs1->ConnectionsInUse());
  const Slot* notLoggedIn = fs1->FindSlot(9);
  ASSERT_NE(notLoggedIn, nullptr);
  EXPECT_TRUE(notLoggedIn->inUse);
  EXPECT_FALSE(notLoggedIn->LoggedIn());
}

TEST_F(DemoNetwork, DirectoryHoldsWhatTheViewerReads) {
  Network* net = CurrentNetwork();
  ASSERT_NE(net, nullptr);
  const DirEntry* jsmith = Entry(*net, "CN=JSMITH.OU=SALES.O=ACME");
  ASSERT_NE(jsmith, nullptr);
  EXPECT_EQ(jsmith->baseClass, "User");
  const Attribute* cls = jsmith->FindAttribute("object class");
  ASSERT_NE(cls, nullptr);
  EXPECT_EQ(*cls->values.front().Text(), "User");  // base class first
  EXPECT_EQ(jsmith->FindAttribute("Telephone Number")->values.size(), 3u);
  EXPECT_EQ(jsmith->FindAttribute("Telephone Number")->syntax, static_cast<std::uint32_t>(SYN_TEL_NUMBER));
  const Attribute* mail = jsmith->FindAttribute("EMail Address");
  ASSERT_NE(mail, nullptr);
  ASSERT_EQ(mail->values.size(), 2u);
  EXPECT_EQ(mail->values[1].Email()->address, "john.smith@acme.com");
  EXPECT_EQ(*jsmith->ReadAttribute("CN")->values[0].Text(), "JSMITH");
  const PathValue* home = jsmith->FindAttribute("Home Directory")->values[0].Path();
  ASSERT_NE(home, nullptr);
  EXPECT_EQ(home->volume, "CN=ACME-FS1_DATA.O=ACME");

  // Groups list members by full typed name; members learn their groups.
  const Attribute* members = Entry(*net, "CN=SALES-TEAM.OU=SALES.O=ACME")->FindAttribute("Member");
  ASSERT_NE(members, nullptr);
  EXPECT_EQ(*members->values[0].Text(), "CN=MJONES.OU=SALES.O=ACME");
  EXPECT_NE(jsmith->FindAttribute("Group Membership"), nullptr);

  // Printers name their queues; the print server its host device; volumes their host.
  const Attribute* queues = Entry(*net, "CN=P-ENG.OU=ENGINEERING.O=ACME")->FindAttribute("Queue");
  ASSERT_NE(queues, nullptr);
  EXPECT_EQ(queues->values.size(), 2u);
  EXPECT_EQ(queues->values[0].TypedName()->name, "CN=Q-ENG.OU=ENGINEERING.O=ACME");
  EXPECT_EQ(*Entry(*net, "CN=PS-ACME.O=ACME")->FindAttribute("Host Device")->values[0].Text(), "CN=ACME-FS1.O=ACME");
  const DirEntry* vol = Entry(*net, "CN=ACME-FS1_SYS.O=ACME");
  ASSERT_NE(vol, nullptr);
  EXPECT_EQ(vol->baseClass, "Volume");
  EXPECT_EQ(*vol->FindAttribute("Host Resource Name")->values[0].Text(), "SYS");
  EXPECT_EQ(Entry(*net, "CN=ACME-FS2.O=ACME")->baseClass, "NCP Server");

  // Country, locality, alias; a user without a full name.
  EXPECT_EQ(Entry(*net, "L=CHICAGO.C=US")->baseClass, "Locality");
  const DirEntry* alias = Entry(*net, "CN=JOHN.OU=ENGINEERING.O=ACME");
  ASSERT_NE(alias, nullptr);
  EXPECT_EQ(alias->aliasTarget, jsmith);
  EXPECT_EQ(Entry(*net, "CN=TEMP.OU=SALES.O=ACME")->FindAttribute("Full Name"), nullptr);

  // Login scripts are streams, lines ending in CR LF.
  const Bytes* script = jsmith->FindAttribute("Login Script")->values[0].Octets();
  ASSERT_NE(script, nullptr);
  EXPECT_EQ(std::string(script->begin(), script->end()),
            "MAP G:=ACME-FS1_DATA:SHARED\r\nWRITE \"Sales figures are in G:\"\r\n");

  // Entry IDs are unique and findable.
  std::set<std::uint32_t> ids;
  for (const auto& [id, e] : net->tree->byId) {
    EXPECT_EQ(e->id, id);
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), net->tree->Size());
  EXPECT_EQ(net->tree->FindById(jsmith->id), jsmith);
}

TEST_F(DemoNetwork, BigContainerAndQueueNeedSeveralReplies) {
  Network* net = CurrentNetwork();
  ASSERT_NE(net, nullptr);
  DirectoryStore* store = CurrentDirectoryStore();
  ASSERT_NE(store, nullptr);
  EntryInfo staff;
  ASSERT_EQ(store->Resolve(Name("OU=STAFF.O=ACME"), false, &staff), 0);
  EXPECT_EQ(staff.subordinateCount, 120u);
  // Read in pages, the listing comes out whole and in order.
  std::vector<std::string> names;
  std::size_t total = 0;
  for (std::size_t start = 0;; start += 50) {
    std::vector<EntryInfo> page;
    ASSERT_EQ(store->ListSubordinates(staff.id, start, 50, &page, &total), 0);
    for (const EntryInfo& e : page) names.push_back(e.name.parts[0].value);
    if (page.size() < 50) break;
  }
  ASSERT_EQ(names.size(), 120u);
  EXPECT_EQ(total, 120u);
  EXPECT_EQ(names.front(), "STAFF001");
  EXPECT_EQ(names.back(), "STAFF120");
  AttributeValues full;
  ASSERT_EQ(store->ReadAttribute(Entry(*net, "CN=STAFF042.OU=STAFF.O=ACME")->id, "Full Name", &full), 0);
  EXPECT_EQ(*full.values[0].Text(), "Staff Member 42");

  // The sales queue holds 130 jobs on its host server, by the queue's ID.
  Server* fs1 = net->FindServer("ACME-FS1");
  const DirEntry* queue = Entry(*net, "CN=Q-SALES.OU=SALES.O=ACME");
  ASSERT_NE(queue, nullptr);
  std::vector<QueueJob>* jobs = fs1->Jobs(queue->id);
  ASSERT_NE(jobs, nullptr);
  ASSERT_EQ(jobs->size(), 130u);
  std::set<std::uint32_t> numbers;
  for (const QueueJob& j : *jobs) numbers.insert(j.number);
  EXPECT_EQ(numbers.size(), 130u);
  EXPECT_NE((*jobs)[0].servicingServerId, 0u);
  EXPECT_EQ((*jobs)[1].controlFlags, QF_USER_HOLD);
  EXPECT_EQ((*jobs)[2].description, "Quarterly report part 1");
  EXPECT_EQ(fs1->Jobs(0x12345678), nullptr);
  // A queue without jobs still exists on its host server.
  Server* nw3 = net->FindServer("ACME-NW3");
  BinderyObject* empty = nw3->FindObject("PRINTQ_1", OT_PRINT_QUEUE);
  ASSERT_NE(empty, nullptr);
  ASSERT_NE(nw3->Jobs(empty->id), nullptr);
  EXPECT_TRUE(nw3->Jobs(empty->id)->empty());
}

TEST_F(DemoNetwork, BinderiesShowEmulatedAndOwnObjects) {
  Network* net = CurrentNetwork();
  ASSERT_NE(net, nullptr);
  Server* fs1 = net->FindServer("ACME-FS1");
  Server* fs2 = net->FindServer("ACME-FS2");
  Server* nw3 = net->FindServer("ACME-NW3");
  const DirEntry* jsmith = Entry(*net, "CN=JSMITH.OU=SALES.O=ACME");
  BinderyObject* o = fs1->FindObject("jsmith", OT_USER);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->id, jsmith->id);
  EXPECT_EQ(o->FullName(), "John Smith");
  EXPECT_EQ(fs1->FindObject(jsmith->id), o);
  EXPECT_EQ(fs2->FindObject("JSMITH", OT_USER), nullptr);  // not in its bindery context
  EXPECT_NE(fs2->FindObject("AKUMAR", OT_USER), nullptr);
  BinderyObject* admin = fs1->FindObject("ADMIN", OT_USER);
  ASSERT_NE(admin, nullptr);
  EXPECT_TRUE(admin->consoleOperator && admin->manager);
  EXPECT_FALSE(o->consoleOperator || o->manager);

  // The bindery-only server: its own users, groups, queue jobs.
  BinderyObject* sup = nw3->FindObject("SUPERVISOR", OT_USER);
  ASSERT_NE(sup, nullptr);
  EXPECT_EQ(DisplayId(sup->id), 1u);
  EXPECT_EQ(sup->id, 0x01000000u);  // high byte first
  EXPECT_TRUE(sup->consoleOperator && sup->manager);
  BinderyObject* group = nw3->FindObject("ACCOUNTING", OT_USER_GROUP);
  ASSERT_NE(group, nullptr);
  const BinderyProperty* members = group->FindProperty("GROUP_MEMBERS");
  ASSERT_NE(members, nullptr);
  EXPECT_TRUE(members->IsSet());
  std::uint32_t first = 0;
  std::memcpy(&first, members->data.data(), 4);
  EXPECT_EQ(first, nw3->FindObject("BOB", OT_USER)->id);
  BinderyObject* queue = nw3->FindObject("PRINTQ_0", OT_PRINT_QUEUE);
  ASSERT_NE(queue, nullptr);
  ASSERT_NE(nw3->Jobs(queue->id), nullptr);
  EXPECT_EQ(nw3->Jobs(queue->id)->size(), 3u);

  // Every server knows every file server and both advertisements of the tree.
  for (Server* s : {fs1, fs2, nw3}) {
    for (Server* other : {fs1, fs2, nw3}) {
      BinderyObject* fsObj = s->FindObject(other->name, OT_FILE_SERVER);
      ASSERT_NE(fsObj, nullptr);
      EXPECT_EQ(fsObj->id, other->id);
    }
    int adverts = 0;
    for (const auto& obj : s->bindery) {
      if (obj->type == OT_TREE_NAME) {
        ++adverts;
        EXPECT_EQ(obj->name.rfind("ACMECORP___", 0), 0u) << obj->name;
        EXPECT_LT(obj->name.size(), static_cast<std::size_t>(NW_MAX_BINDERY_NAME));
      }
    }
    EXPECT_EQ(adverts, 2);
  }
}

TEST_F(DemoNetwork, VolumesAreRealFoldersWithLoginScriptsAndMail) {
  Network* net = CurrentNetwork();
  ASSERT_NE(net, nullptr);
  for (const auto& s : net->servers) {
    const Volume* sys = s->FindVolume("sys");
    ASSERT_NE(sys, nullptr) << s->name;
    EXPECT_TRUE(sys->HostPath("PUBLIC\\net$log.dat")) << s->name;
    EXPECT_TRUE(sys->HostPath("login")) << s->name;
    EXPECT_TRUE(sys->HostPath("/SYSTEM/")) << s->name;
    // One mail folder per bindery user, named by its ID in hexadecimal.
    for (const auto& o : s->bindery) {
      if (o->type != OT_USER) continue;
      EXPECT_TRUE(sys->HostPath("mail\\" + HexId(DisplayId(o->id)) + "\\login"))
          << s->name << " " << o->name << " " << HexId(DisplayId(o->id));
    }
  }
  const Volume* data = net->FindServer("ACME-FS1")->FindVolume("DATA");
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(data->HostPath("home/jsmith/notes.txt"));
  EXPECT_FALSE(data->HostPath("home/nobody"));
  EXPECT_TRUE(data->HostPath("home/nobody", false));  // may be created
  EXPECT_FALSE(data->HostPath("..\\..\\SYS"));        // never outside the volume
  EXPECT_FALSE(data->HostPath("HOME/../../x", false));
}

TEST_F(DemoNetwork, PasswordsAreHashedAndRightsChecked) {
  Network* net = CurrentNetwork();
  ASSERT_NE(net, nullptr);
  DirectoryStore* store = net->Store();
  const DirEntry* jsmith = Entry(*net, "CN=JSMITH.OU=SALES.O=ACME");
  const DirEntry* admin = Entry(*net, "CN=ADMIN.O=ACME");
  ASSERT_TRUE(jsmith->password);
  EXPECT_EQ(jsmith->password->Encoded().find("SALES1"), std::string::npos);
  EXPECT_EQ(store->VerifyPassword(jsmith->id, "sales1"), 0);  // clients upper-case passwords
  EXPECT_EQ(store->VerifyPassword(jsmith->id, "SALES2"), ERR_FAILED_AUTHENTICATION);
  EXPECT_EQ(store->VerifyPassword(admin->id, "NOVELL"), 0);

  // ADMIN may set passwords below O=ACME without the old one.
  EXPECT_EQ(store->SetPassword(jsmith->id, "NEWPASS"), 0);
  EXPECT_EQ(store->VerifyPassword(jsmith->id, "NEWPASS"), 0);
  EXPECT_EQ(store->VerifyPassword(jsmith->id, "SALES1"), ERR_FAILED_AUTHENTICATION);
  EXPECT_EQ(store->SetPassword(Entry(*net, "OU=SALES.O=ACME")->id, "X"), ERR_ILLEGAL_ATTRIBUTE);
  EXPECT_EQ(store->SetPassword(0x7FFFFFFF, "X"), ERR_NO_SUCH_ENTRY);
  EXPECT_EQ(store->ChangePassword(admin->id, "WRONG", "X"), ERR_FAILED_AUTHENTICATION);
  EXPECT_EQ(store->ChangePassword(admin->id, "novell", "ACME2"), 0);
  EXPECT_EQ(store->VerifyPassword(admin->id, "ACME2"), 0);

  EntryInfo me;
  ASSERT_EQ(store->WhoAmI(&me), 0);
  EXPECT_EQ(me.id, admin->id);
}

TEST(NetworkRights, UserWithoutRightsChangesOnlyItsOwnPassword) {
  TempDir dir;
  const std::string json = R"({
    "tree": {"name": "T", "objects": [{"name": "O=ORG", "class": "Organization", "objects": [
      {"name": "CN=BOSS", "class": "User", "passwordRights": ["O=ORG"]},
      {"name": "OU=A", "class": "Organizational Unit", "objects": [
        {"name": "CN=ME", "class": "User", "password": "mine"},
        {"name": "CN=PEER", "class": "User", "password": "theirs"}]}]}]},
    "servers": [{"name": "SRV", "tree": "T", "context": "O=ORG", "volumes": [{"name": "SYS", "path": "."}]}],
    "workstation": {"identity": "CN=ME.OU=A.O=ORG"}})";
  ASSERT_TRUE(LoadNetworkFromString(json, dir.path()));
  Network* net = CurrentNetwork();
  ASSERT_NE(net, nullptr);
  DirectoryStore* store = net->Store();
  const DirEntry* me = Entry(*net, "CN=ME.OU=A.O=ORG");
  const DirEntry* peer = Entry(*net, "CN=PEER.OU=A.O=ORG");
  const DirEntry* boss = Entry(*net, "CN=BOSS.O=ORG");
  EXPECT_EQ(store->SetPassword(peer->id, "X"), ERR_NO_ACCESS);
  EXPECT_EQ(store->SetPassword(me->id, "X"), ERR_NO_ACCESS);  // not without the old one
  EXPECT_EQ(store->ChangePassword(peer->id, "THEIRS", "X"), ERR_NO_ACCESS);
  EXPECT_EQ(store->ChangePassword(me->id, "MINE", "NEW"), 0);
  EXPECT_EQ(store->VerifyPassword(me->id, "new"), 0);
  EXPECT_EQ(store->VerifyPassword(peer->id, "THEIRS"), 0);
  // An object without a password takes the empty one.
  EXPECT_EQ(store->VerifyPassword(boss->id, ""), 0);
  EXPECT_EQ(store->VerifyPassword(boss->id, "X"), ERR_FAILED_AUTHENTICATION);
  ResetNetwork();
}

TEST(PasswordHash, SaltedNeverClearAndParsedBack) {
  PasswordHash a = PasswordHash::Create("Secret", 1000);
  PasswordHash b = PasswordHash::Create("SECRET", 1000);
  EXPECT_NE(a.Encoded(), b.Encoded());  // fresh salt each time
  EXPECT_EQ(a.Encoded().find("ECRET"), std::string::npos);
  EXPECT_EQ(a.Encoded().find("ecret"), std::string::npos);
  EXPECT_TRUE(a.Matches("SECRET"));
  EXPECT_TRUE(b.Matches("secret"));
  EXPECT_FALSE(a.Matches("SECRET "));
  EXPECT_FALSE(a.Matches(""));
  auto back = PasswordHash::Parse(a.Encoded());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Encoded(), a.Encoded());
  EXPECT_TRUE(back->Matches("Secret"));
  EXPECT_FALSE(PasswordHash::Parse("pbkdf2-sha256$1000$00$11"));
  EXPECT_FALSE(PasswordHash::Parse("md5$1$" + std::string(32, '0') + "$" + std::string(64, '0')));
  EXPECT_FALSE(PasswordHash::Parse("pbkdf2-sha256$0$" + std::string(32, '0') + "$" + std::string(64, '0')));
  EXPECT_FALSE(PasswordHash::Parse("pbkdf2-sha256$10$" + std::string(32, 'g') + "$" + std::string(64, '0')));
}

TEST(NetworkDescription, GeneratesObjectsInBulk) {
  TempDir dir;
  const std::string json = R"({
    "tree": {"name": "BULK", "objects": [{"name": "O=ORG", "class": "Organization", "objects": [
      {"name": "OU=MANY", "class": "Organizational Unit", "objects": [
        {"name": "CN=FIRST", "class": "User"},
        {"generate": {"count": 500, "start": 7, "class": "User", "name": "U%04d",
                      "attributes": {"Full Name": "User %d of 100%%", "Telephone Number": ["555-%d", "556-%03d"]}}},
        {"generate": {"count": 3, "class": "Group", "name": "G%d"}},
        {"generate": {"count": 300, "class": "User", "name": "P%d", "password": "same"}}]}]}]},
    "servers": [{"name": "SRV", "volumes": [{"name": "SYS", "path": "."}]}]})";
  ASSERT_TRUE(LoadNetworkFromString(json, dir.path()));
  Network* net = CurrentNetwork();
  ASSERT_NE(net, nullptr);
  const DirEntry* many = Entry(*net, "OU=MANY.O=ORG");
  ASSERT_NE(many, nullptr);
  ASSERT_EQ(many->Children().size(), 804u);
  EXPECT_EQ(many->Children()[1]->rdn.value, "U0007");
  EXPECT_EQ(many->Children()[500]->rdn.value, "U0506");
  EXPECT_EQ(many->Children()[503]->baseClass, "Group");
  const DirEntry* u = Entry(*net, "CN=U0042.OU=MANY.O=ORG");
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(*u->FindAttribute("Full Name")->values[0].Text(), "User 42 of 100%");
  EXPECT_EQ(*u->FindAttribute("Telephone Number")->values[1].Text(), "556-042");
  const DirEntry* p = Entry(*net, "CN=P300.OU=MANY.O=ORG");
  ASSERT_NE(p, nullptr);
  ASSERT_TRUE(p->password);
  EXPECT_TRUE(p->password->Matches("SAME"));
  EXPECT_FALSE(Entry(*net, "CN=U0042.OU=MANY.O=ORG")->password);
  // No directory server: the tree exists, no server holds it.
  EXPECT_TRUE(net->DirectoryServers().empty());
  ResetNetwork();
}

TEST(NetworkDescription, MalformedDescriptionsLeaveNoNetworkAndOneLine) {
  TempDir dir;
  struct Case {
    std::string json;
    std::string fault;
  } cases[] = {
      {"{ \"servers\": [ ", "malformed JSON"},
      {"[]", "must be an object"},
      {"{}", "'servers' is missing"},
      {R"({"servers": [{"name": "SRV", "maxConnections": "ten"}]})", "servers[0] (SRV).maxConnections: must be a whole number"},
      {R"({"servers": [{"name": "SRV"}, {"name": "srv"}]})", "duplicate server name"},
      {R"({"servers": [{"name": "SRV", "volumes": [{"name": "SYS", "path": "no-such-folder"}]}]})", "does not exist"},
      {R"({"servers": [], "tree": {"name": "T", "objects": [{"name": "O=A", "class": "Organisation"}]}})", "unknown class 'Organisation'"},
      {R"({"servers": [], "tree": {"name": "T", "objects": [{"name": "O=A", "class": "Organization"}, {"name": "a", "class": "Organization"}]}})", "duplicate name"},
      {R"({"servers": [], "tree": {"name": "T", "objects": [{"name": "CN=U", "class": "User"}]}})", "cannot stand below [Root]"},
      {R"({"servers": [], "tree": {"name": "T", "objects": [{"name": "O=A", "class": "Organization", "attributes": {"Fax": "1"}}]}})", "unknown attribute 'Fax'"},
      {R"({"servers": [], "tree": {"name": "T", "objects": [{"name": "O=A", "class": "Organization", "objects": [{"name": "CN=G", "class": "Group", "attributes": {"Member": "CN=NOBODY.O=A"}}]}]}})", "no object 'CN=NOBODY.O=A'"},
      {R"({"servers": [], "tree": {"name": "T", "objects": [{"name": "O=A", "class": "Organization", "objects": [{"name": "CN=U", "class": "User", "passwordHash": "plain"}]}]}})", "passwordHash"},
      {R"({"servers": [], "tree": {"name": "T", "objects": [{"name": "O=A", "class": "Organization", "objects": [{"generate": {"count": 2, "class": "User", "name": "U%s"}}]}]}})", "only %d"},
      {R"({"servers": [], "workstation": {"country": 999}})", "no conventions for country 999"},
      // A generated object keeps no message text of its own: the message is
      // made from its generator's place and its name.
      {R"({"servers": [], "tree": {"name": "T", "objects": [{"name": "O=A", "class": "Organization", "objects": [{"generate": {"count": 2, "class": "User", "name": "U%d", "attributes": {"Fax": "1"}}}]}]}})", "objects[0].generate (CN=U1.O=A).attributes.Fax: unknown attribute 'Fax'"},
      {R"({"servers": [{"name": "SRV"}], "workstation": {"connections": [{"server": "OTHER"}]}})", "no server 'OTHER'"},
      {R"({"servers": [], "extra": 1})", "unknown field 'extra'"},
      // Found by fuzzing: a field name with a line break broke the message in two.
      {R"({"servers": [], "directory": {"ldif": {"file": "x.ldif", "o\nwordMap": {}}}})", "unknown field 'o\\x0AwordMap'"},
      // [Root] names the tree's root, never an object.
      {R"({"servers": [], "tree": {"name": "T", "objects": [{"name": "O=A", "class": "Organization", "objects": [{"name": "CN=[Root]", "class": "User"}]}]}})", "[Root] is the tree's root"},
      {R"({"servers": [], "tree": {"name": "T", "objects": [{"name": "\\[root]", "class": "Organization"}]}})", "[Root] is the tree's root"},
      // A NUL would cut the name short: A and A<NUL>B would both list as A.
      {R"({"servers": [], "tree": {"name": "T", "objects": [{"name": "O=A", "class": "Organization", "objects": [{"name": "A", "class": "User"}, {"name": "A\u0000B", "class": "User"}]}]}})", "objects[1]: the name 'A\\x00B' holds a control character"},
      {R"({"servers": [], "tree": {"name": "T", "objects": [{"name": "O=A\tB", "class": "Organization"}]}})", "holds a control character"},
      // A hash of one round is no protection; the message names the object.
      {R"({"servers": [], "tree": {"name": "T", "objects": [{"name": "O=A", "class": "Organization", "objects": [{"name": "CN=U", "class": "User", "passwordHash": "pbkdf2-sha256$9999$00000000000000000000000000000000$0000000000000000000000000000000000000000000000000000000000000000"}]}]}})", "(CN=U.O=A).passwordHash: a hash of 9999 iterations is too weak"},
  };
  for (const Case& c : cases) {
    std::string err = FailingLoad(c.json, dir.path());
    EXPECT_EQ(CountLines(err), 1) << err;
    EXPECT_NE(err.find("broken.json"), std::string::npos) << err;
    EXPECT_NE(err.find(c.fault), std::string::npos) << "expected '" << c.fault << "' in: " << err;
  }
  // A syntax fault names its place and what was expected, never the text
  // read, which can be a password.
  for (const std::string& json : {std::string(R"({"servers": [], "tree": {"name": "T", "objects": [{"name": "O=A", "class": "Organization",
                                                   "password": "Sup3r)") + "\n" + R"(Secret"}]}})",
                                  std::string(R"({"servers": [], "x": {"password": "Sup3rSecret" "y": 1}})"),
                                  std::string(R"({"servers": [], "x": {"password": Sup3rSecret}})")}) {
    std::string err = FailingLoad(json, dir.path());
    EXPECT_EQ(CountLines(err), 1) << err;
    EXPECT_NE(err.find("broken.json: line "), std::string::npos) << err;
    EXPECT_NE(err.find(", column "), std::string::npos) << err;
    EXPECT_EQ(err.find("Sup3r"), std::string::npos) << err;
    EXPECT_EQ(err.find("up3"), std::string::npos) << err;
  }
  EXPECT_NE(FailingLoad(R"({"servers": [], "x": {"password": "Sup3rSecret" "y": 1}})").find("line 1, column 51: malformed JSON while parsing object: unexpected string literal; expected '}'"),
            std::string::npos);

  // A good description afterwards brings the network back.
  ASSERT_TRUE(LoadNetworkFromString(kMinimal, dir.path()));
  EXPECT_NE(CurrentNetwork(), nullptr);
  ResetNetwork();
}

TEST(NetworkDescription, EnvironmentNamesTheFileAndRelativeFoldersFollowIt) {
  TempDir dir;
  dir.Write("vols/SYS/PUBLIC/NET$LOG.DAT", "WRITE \"hi\"\r\n");
  const auto good = dir.Write("conf/net.json",
                              R"({"servers": [{"name": "SRV", "volumes": [{"name": "SYS", "path": "../vols/SYS"}]}],
                                  "workstation": {"connections": [{"server": "SRV", "user": null}]}})");
  // "user": null is not a text: the whole description is refused, naming the file.
  setenv("NWCLIENT_NETWORK", good.c_str(), 1);
  ResetNetwork();
  testing::internal::CaptureStderr();
  EXPECT_EQ(CurrentNetwork(), nullptr);
  EXPECT_EQ(CurrentNetwork(), nullptr);  // tried once, reported once
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(CountLines(err), 1) << err;
  EXPECT_NE(err.find(good.string()), std::string::npos) << err;
  EXPECT_NE(err.find("user: must be a text"), std::string::npos) << err;

  dir.Write("conf/net.json", R"({"servers": [{"name": "SRV", "volumes": [{"name": "SYS", "path": "../vols/SYS"}]}],
                                 "workstation": {"connections": [{"server": "SRV"}]}})");
  ResetNetwork();
  Network* net = CurrentNetwork();
  ASSERT_NE(net, nullptr);
  EXPECT_EQ(net->source, good.string());
  EXPECT_TRUE(net->FindServer("SRV")->FindVolume("SYS")->HostPath("public/net$log.dat"));
  EXPECT_FALSE(net->tree);
  EXPECT_EQ(CurrentDirectoryStore(), nullptr);
  // A connection without a user holds a slot that is in use but not logged in.
  Connection* conn = net->workstation.Primary();
  ASSERT_NE(conn, nullptr);
  EXPECT_TRUE(conn->ServerSlot()->inUse);
  EXPECT_FALSE(conn->ServerSlot()->LoggedIn());

  setenv("NWCLIENT_NETWORK", (dir.path() / "missing.json").c_str(), 1);
  ResetNetwork();
  testing::internal::CaptureStderr();
  EXPECT_EQ(CurrentNetwork(), nullptr);
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(CountLines(err), 1) << err;
  EXPECT_NE(err.find("missing.json"), std::string::npos) << err;
  unsetenv("NWCLIENT_NETWORK");
  ResetNetwork();
}

TEST(NetworkModel, ConnectionsOpenAndCloseSlots) {
  TempDir dir;
  ASSERT_TRUE(LoadNetworkFromString(
      R"({"servers": [{"name": "SRV", "maxConnections": 3, "volumes": [{"name": "SYS", "path": "."}],
                      "bindery": [{"name": "BOB", "type": "user"}],
                      "connections": [{"slot": 3, "user": "BOB", "broadcast": 2}]}]})",
      dir.path()));
  Network* net = CurrentNetwork();
  ASSERT_NE(net, nullptr);
  Server* srv = net->FindServer("SRV");
  Connection* a = net->OpenConnection(*srv);
  Connection* b = net->OpenConnection(*srv);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(net->OpenConnection(*srv), nullptr);  // full
  EXPECT_EQ(srv->FindSlot(3)->broadcastMode, NWCC_BCAST_PERMIT_NONE);
  EXPECT_EQ(srv->FindSlot(4), nullptr);
  EXPECT_EQ(a->number, 1);
  EXPECT_EQ(b->number, 2);
  EXPECT_NE(a->handle, b->handle);
  EXPECT_FALSE(a->ServerSlot()->LoggedIn());
  BinderyObject* bob = srv->FindObject("BOB", OT_USER);
  net->LoginConnection(*a, bob, nullptr);
  EXPECT_EQ(a->ServerSlot()->objectName, "BOB");
  EXPECT_EQ(srv->ConnectionsOf(bob->id), (std::vector<std::uint16_t>{1, 3}));
  const NWCONN_HANDLE closed = a->handle;
  EXPECT_TRUE(net->CloseConnection(closed));
  EXPECT_FALSE(net->CloseConnection(closed));
  EXPECT_EQ(net->workstation.FindConnection(closed), nullptr);
  EXPECT_EQ(srv->ConnectionsInUse(), 2);
  EXPECT_EQ(srv->peakConnections, 3);
  // The server's clock can be set; it keeps running from there.
  srv->SetClock(std::time(nullptr) - 3600);
  EXPECT_NEAR(static_cast<double>(srv->Now()), static_cast<double>(std::time(nullptr) - 3600), 2.0);
  ResetNetwork();
}
