// The whole viewer on the built-in demo network, used as the operator uses it:
// clicks on the tree's nodes, the children and the data panel they bring, and
// the two actions answered at their dialogs, checked against what the client
// itself then holds.
#include <stdlib.h>

#include <optional>
#include <string>

#include "app_support.h"

namespace {

using app_test::ClickNode;
using app_test::FindNode;
using app_test::NodeTexts;
using app_test::Operator;
using app_test::PasswordIs;
using app_test::SlotMessages;

// The demo network as at program start, with a drive folder of the test's
// own for the drives the login script editor maps.
class DemoWithOwnDrives : public app_test::DemoNetwork {
 protected:
  void SetUp() override {
    if (const char *previous = getenv("NWCLIENT_DRIVES")) savedDrives_ = previous;
    setenv("NWCLIENT_DRIVES", (drives_.path() / "dosdevices").c_str(), 1);
    DemoNetwork::SetUp();
  }
  void TearDown() override {
    DemoNetwork::TearDown();
    if (savedDrives_) {
      setenv("NWCLIENT_DRIVES", savedDrives_->c_str(), 1);
    } else {
      unsetenv("NWCLIENT_DRIVES");
    }
  }

 private:
  app_test::TempDir drives_;
  std::optional<std::string> savedDrives_;
};

// Replaces every `from` in `text`; the number of replacements.
int ReplaceAll(std::string &text, const std::string &from, const std::string &to) {
  int count = 0;
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
    ++count;
  }
  return count;
}

// The demo network with the workstation logged in as MJONES, who may set no
// one's password, instead of the administrator.
class DemoAsMjones : public DemoWithOwnDrives {
 protected:
  void SetUp() override {
    DemoWithOwnDrives::SetUp();
    std::string json(nwc::DemoNetworkJson());
    ASSERT_EQ(ReplaceAll(json, R"("identity": "CN=ADMIN.O=ACME")", R"("identity": "CN=MJONES.OU=SALES.O=ACME")"), 1);
    ASSERT_GE(ReplaceAll(json, R"("user": "CN=ADMIN.O=ACME")", R"("user": "CN=MJONES.OU=SALES.O=ACME")"), 1);
    ASSERT_TRUE(nwc::LoadNetworkFromString(json, nwc::DemoNetworkRoot(), "demo network as MJONES"));
  }
};

using OnDemo = app_test::WindowOn<DemoWithOwnDrives>;
using OnDemoAsMjones = app_test::WindowOn<DemoAsMjones>;

constexpr char kJsmith[] = "CN=JSMITH.OU=SALES.O=ACME";

// The children as the operator reads them, each with the kind its node
// carries: "JSMITH (24)".
QStringList KindedChildren(QTreeWidgetItem *node) {
  QStringList lines;
  for (int i = 0; i < node->childCount(); ++i) {
    lines << QStringLiteral("%1 (%2)").arg(node->child(i)->text(0)).arg(TNWTreeView::NodeValue(node->child(i)) & 0xFF);
  }
  return lines;
}

// The Object ID the panel should show for the object: its directory ID as
// the client holds it, bytes reversed, in hexadecimal without leading zeros.
QString ShownObjectId(const char *name) {
  auto lock = nwc::NetworkLock();
  nwc::DirectoryStore *store = nwc::CurrentDirectoryStore();
  nwc::DName dn;
  nwc::EntryInfo entry;
  if (store == nullptr || nwc::CanonicalizeName(name, nwc::DName{}, {}, &dn) != 0) return {};
  if (store->Resolve(dn, false, &entry) != 0) return {};
  const uint32_t id = entry.id;
  const uint32_t swapped = (id >> 24) | ((id >> 8) & 0xFF00u) | ((id << 8) & 0xFF0000u) | (id << 24);
  return QString::number(swapped, 16).toUpper();
}

QStringList ScriptLines(const TNWLoginScriptMemo &memo) { return memo.toPlainText().split('\n', Qt::SkipEmptyParts); }

TEST_F(OnDemo, AClickOnAUserListsItsDetailsAndFillsTheDataPanel) {
  QTreeWidgetItem *jsmith = Open({"ACME", "SALES", "JSMITH"});
  ASSERT_NE(jsmith, nullptr);
  // Full name, both e-mail addresses (one stored with its type, one bare),
  // then the three telephone numbers; information lines carry no kind.
  EXPECT_EQ(KindedChildren(jsmith),
            (QStringList{"Full Name: John Smith (0)", "E-Mail: jsmith@acme.com (0)", "E-Mail: john.smith@acme.com (0)",
                         "Telephone: (312) 555-0201 (0)", "Telephone: (312) 555-0202 (0)", "Telephone: (312) 555-0299 (0)"}));
  EXPECT_EQ(tree->Text(), "JSMITH.SALES.ACME");
  EXPECT_TRUE(form->passBtn->isEnabled());
  EXPECT_TRUE(form->lineMsgBtn->isEnabled());

  EXPECT_EQ(form->NWNDSAttrEdit1->text(), "JSMITH");
  EXPECT_EQ(form->NWNDSAttrEdit2->text(), "John Smith");
  EXPECT_EQ(PhoneLines(), (QStringList{"(312) 555-0201", "(312) 555-0202", "(312) 555-0299"}));
  const QString id = form->objNameEdit->text();
  EXPECT_FALSE(id.isEmpty());
  EXPECT_EQ(id, ShownObjectId(kJsmith));
  EXPECT_EQ(ScriptLines(*form->NWLoginScriptMemo1),
            (QStringList{"MAP G:=ACME-FS1_DATA:SHARED", "WRITE \"Sales figures are in G:\""}));

  // A user without a full name: no "Full Name: " line and an empty field;
  // the rest of the panel follows the new user.
  QTreeWidgetItem *temp = FindNode(*tree, jsmith->parent(), "TEMP");
  ClickNode(*tree, temp);
  EXPECT_EQ(NodeTexts(*tree, temp),
            (QStringList{"E-Mail: temp@acme.com", "Telephone: (312) 555-0250", "Telephone: (312) 555-0251"}));
  EXPECT_EQ(form->NWNDSAttrEdit1->text(), "TEMP");
  EXPECT_TRUE(form->NWNDSAttrEdit2->text().isEmpty());
  EXPECT_EQ(PhoneLines(), (QStringList{"(312) 555-0250", "(312) 555-0251"}));
  EXPECT_EQ(form->objNameEdit->text(), ShownObjectId("CN=TEMP.OU=SALES.O=ACME"));
  EXPECT_NE(form->objNameEdit->text(), id);
  EXPECT_TRUE(form->NWLoginScriptMemo1->toPlainText().isEmpty());
}

TEST_F(OnDemo, ContainersListTheirSubordinatesWithTheirKinds) {
  // The organization: what the description puts below it, then the
  // servers and volumes that hold it.
  QTreeWidgetItem *acme = Open({"ACME"});
  ASSERT_NE(acme, nullptr);
  EXPECT_EQ(KindedChildren(acme), (QStringList{"ADMIN (24)", "PS-ACME (18)", "EVERYONE (8)", "SALES (16)",
                                               "ENGINEERING (16)", "IS (16)", "STAFF (16)", "ACME-FS1 (13)",
                                               "ACME-FS1_SYS (25)", "ACME-FS1_DATA (25)", "ACME-FS2 (13)",
                                               "ACME-FS2_SYS (25)"}));

  // A unit with an alias and a unit of its own, which lists in turn.
  QTreeWidgetItem *engineering = FindNode(*tree, acme, "ENGINEERING");
  ClickNode(*tree, engineering);
  EXPECT_EQ(KindedChildren(engineering), (QStringList{"AKUMAR (24)", "LCHEN (24)", "ENGINEERS (8)", "JOHN (1)",
                                                      "Q-ENG (20)", "P-ENG (17)", "QA (16)"}));
  QTreeWidgetItem *qa = FindNode(*tree, engineering, "QA");
  ClickNode(*tree, qa);
  EXPECT_EQ(KindedChildren(qa), QStringList{"TESTER (24)"});
  EXPECT_EQ(tree->Text(), "QA.ENGINEERING.ACME");
  // An alias gets no children and changes nothing in the panel.
  ClickNode(*tree, FindNode(*tree, engineering, "JOHN"));
  EXPECT_EQ(FindNode(*tree, engineering, "JOHN")->childCount(), 0);
  EXPECT_TRUE(form->objNameEdit->text().isEmpty());
  EXPECT_FALSE(form->passBtn->isEnabled());

  // The same collapsed unit clicked twice: its children are fetched afresh,
  // not added a second time, and what was below them is gone.
  QTreeWidgetItem *sales = FindNode(*tree, acme, "SALES");
  ClickNode(*tree, sales);
  const QStringList salesChildren = KindedChildren(sales);
  EXPECT_EQ(salesChildren, (QStringList{"JSMITH (24)", "MJONES (24)", "BWILSON (24)", "TEMP (24)",
                                        "SALES-TEAM (8)", "Q-SALES (20)", "P-SALES (17)"}));
  ClickNode(*tree, FindNode(*tree, sales, "JSMITH"));
  ASSERT_GT(FindNode(*tree, sales, "JSMITH")->childCount(), 0);
  sales->setExpanded(false);
  ClickNode(*tree, sales);
  EXPECT_EQ(KindedChildren(sales), salesChildren);
  EXPECT_EQ(FindNode(*tree, sales, "JSMITH")->childCount(), 0);
  EXPECT_EQ(tree->Text(), "SALES.ACME");

  // The country at the top never gets children.
  QTreeWidgetItem *us = FindNode(*tree, nullptr, "US");
  ClickNode(*tree, us);
  EXPECT_EQ(us->childCount(), 0);
}

TEST_F(OnDemo, GroupsPrintersAndPrintServersListWhatTheyRefer) {
  QTreeWidgetItem *acme = Open({"ACME"});
  ASSERT_NE(acme, nullptr);
  QTreeWidgetItem *sales = FindNode(*tree, acme, "SALES");
  QTreeWidgetItem *engineering = FindNode(*tree, acme, "ENGINEERING");
  ClickNode(*tree, sales);
  ClickNode(*tree, engineering);

  // The members come sorted, whatever order the group stores them in.
  QTreeWidgetItem *team = FindNode(*tree, sales, "SALES-TEAM");
  ClickNode(*tree, team);
  EXPECT_EQ(KindedChildren(team),
            (QStringList{"BWILSON.SALES.ACME (24)", "JSMITH.SALES.ACME (24)", "MJONES.SALES.ACME (24)"}));
  QTreeWidgetItem *everyone = FindNode(*tree, acme, "EVERYONE");
  ClickNode(*tree, everyone);
  EXPECT_EQ(NodeTexts(*tree, everyone),
            (QStringList{"ADMIN.ACME", "AKUMAR.ENGINEERING.ACME", "HELPDESK.IS.ACME", "JSMITH.SALES.ACME",
                         "LCHEN.ENGINEERING.ACME", "MJONES.SALES.ACME"}));

  // A printer lists the queues it serves, in its own order.
  QTreeWidgetItem *printer = FindNode(*tree, engineering, "P-ENG");
  ClickNode(*tree, printer);
  EXPECT_EQ(KindedChildren(printer), (QStringList{"Q-ENG.ENGINEERING.ACME (20)", "Q-SALES.SALES.ACME (20)"}));
  QTreeWidgetItem *salesPrinter = FindNode(*tree, sales, "P-SALES");
  ClickNode(*tree, salesPrinter);
  EXPECT_EQ(KindedChildren(salesPrinter), QStringList{"Q-SALES.SALES.ACME (20)"});

  // A print server shows the server it runs on, as a server.
  QTreeWidgetItem *printServer = FindNode(*tree, acme, "PS-ACME");
  ClickNode(*tree, printServer);
  EXPECT_EQ(KindedChildren(printServer), QStringList{"ACME-FS1.ACME (13)"});

  // None of these is a user: the panel stays empty.
  EXPECT_TRUE(form->objNameEdit->text().isEmpty());
  EXPECT_FALSE(form->lineMsgBtn->isEnabled());

  // A member, a printer's queue and a print server's host are objects in
  // their own right: clicking one works on the object it names.
  QTreeWidgetItem *member = FindNode(*tree, team, "JSMITH.SALES.ACME");
  ClickNode(*tree, member);
  EXPECT_EQ(tree->Text(), "JSMITH.SALES.ACME");
  EXPECT_EQ(form->NWNDSAttrEdit1->text(), "JSMITH");
  EXPECT_EQ(form->objNameEdit->text(), ShownObjectId(kJsmith));
  QTreeWidgetItem *queue = FindNode(*tree, salesPrinter, "Q-SALES.SALES.ACME");
  ClickNode(*tree, queue);
  EXPECT_EQ(queue->childCount(), 130);
}

TEST_F(OnDemo, ServersVolumesAndQueuesListTheirContents) {
  QTreeWidgetItem *acme = Open({"ACME"});
  ASSERT_NE(acme, nullptr);

  // Each server answers with its own version, the primary one and the other.
  QTreeWidgetItem *fs1 = FindNode(*tree, acme, "ACME-FS1");
  ClickNode(*tree, fs1);
  EXPECT_EQ(KindedChildren(fs1), QStringList{"Netware Version: 4.11 (0)"});
  QTreeWidgetItem *fs2 = FindNode(*tree, acme, "ACME-FS2");
  ClickNode(*tree, fs2);
  EXPECT_EQ(KindedChildren(fs2), QStringList{"Netware Version: 5.0 (0)"});

  // A volume: its directories, then its files.
  QTreeWidgetItem *data = FindNode(*tree, acme, "ACME-FS1_DATA");
  ClickNode(*tree, data);
  EXPECT_EQ(KindedChildren(data), (QStringList{"HOME (28)", "SHARED (28)", "README.TXT (27)"}));
  // A volume of the other server is read on that server.
  QTreeWidgetItem *fs2sys = FindNode(*tree, acme, "ACME-FS2_SYS");
  ClickNode(*tree, fs2sys);
  const QStringList fs2Folders = NodeTexts(*tree, fs2sys);
  EXPECT_TRUE(fs2Folders.contains("PROJECTS")) << fs2Folders.join(", ").toStdString();
  EXPECT_TRUE(fs2Folders.contains("PUBLIC")) << fs2Folders.join(", ").toStdString();
  for (int i = 0; i < fs2sys->childCount(); ++i) EXPECT_EQ(TNWTreeView::NodeValue(fs2sys->child(i)), uint32_t{dokDirectory});

  // A queue: one line per job, owner[station], status and description with
  // the tabs shown as three spaces; every job of a queue longer than one
  // reply of the client.
  QTreeWidgetItem *sales = FindNode(*tree, acme, "SALES");
  ClickNode(*tree, sales);
  QTreeWidgetItem *queue = FindNode(*tree, sales, "Q-SALES");
  ClickNode(*tree, queue);
  QStringList jobs{"MJONES[4]   Active   Customer letters", "JSMITH[3]   Paused   Price list draft"};
  for (int part = 1; part <= 128; ++part) jobs << QStringLiteral("JSMITH[7]   Waiting   Quarterly report part %1").arg(part);
  EXPECT_EQ(NodeTexts(*tree, queue), jobs);
  for (int i = 0; i < queue->childCount(); ++i) EXPECT_EQ(TNWTreeView::NodeValue(queue->child(i)), uint32_t{dokQueueJob});

  // Every status word, on a queue hosted by the other server.
  QTreeWidgetItem *engineering = FindNode(*tree, acme, "ENGINEERING");
  ClickNode(*tree, engineering);
  QTreeWidgetItem *engQueue = FindNode(*tree, engineering, "Q-ENG");
  ClickNode(*tree, engQueue);
  EXPECT_EQ(NodeTexts(*tree, engQueue),
            (QStringList{"AKUMAR[2]   Active   Circuit diagram", "AKUMAR[2]   Paused   Held by both",
                         "LCHEN[8]   Adding   Still spooling", "LCHEN[8]   Operator   Held by the operator",
                         "LCHEN[8]   Waiting   Test page"}));

  // A job line and a file are ends: no children.
  ClickNode(*tree, engQueue->child(0));
  EXPECT_EQ(engQueue->child(0)->childCount(), 0);
  ClickNode(*tree, FindNode(*tree, data, "README.TXT"));
  EXPECT_EQ(FindNode(*tree, data, "README.TXT")->childCount(), 0);
}

TEST_F(OnDemo, TheAdministratorSetsAUsersPassword) {
  Open({"ACME", "SALES", "JSMITH"});
  ASSERT_TRUE(PasswordIs(kJsmith, "SALES1"));
  Operator op;

  // Cancel: no box, the password stays.
  op.Cancels();
  Click(form->passBtn);
  EXPECT_EQ(op.queries, QStringList{"Change User Password / Type New Password / "});
  EXPECT_TRUE(op.boxes.isEmpty());
  EXPECT_TRUE(PasswordIs(kJsmith, "SALES1"));

  op.Types("Winter-98");
  Click(form->passBtn);
  EXPECT_EQ(op.boxes, QStringList{"info: Password Changed Successfully!"});
  EXPECT_TRUE(PasswordIs(kJsmith, "Winter-98"));
  EXPECT_FALSE(PasswordIs(kJsmith, "SALES1"));
  // Only the selected user's.
  EXPECT_TRUE(PasswordIs("CN=MJONES.OU=SALES.O=ACME", ""));
  EXPECT_FALSE(PasswordIs("CN=MJONES.OU=SALES.O=ACME", "Winter-98"));
}

TEST_F(OnDemoAsMjones, AUserWithoutRightsCannotSetAnotherUsersPassword) {
  // The window starts as MJONES.
  EXPECT_EQ(form->NWNDSAttrEdit1->text(), "MJONES");
  EXPECT_EQ(form->NWNDSAttrEdit2->text(), "Mary Jones");

  QTreeWidgetItem *jsmith = Open({"ACME", "SALES", "JSMITH"});
  ASSERT_NE(jsmith, nullptr);
  const QStringList lines = NodeTexts(*tree, jsmith);
  const QString id = form->objNameEdit->text();
  Operator op;
  op.Types("Taken-Over");
  Click(form->passBtn);
  EXPECT_EQ(op.boxes, QStringList{"error: Error Changing Password!"});
  EXPECT_TRUE(PasswordIs(kJsmith, "SALES1"));
  EXPECT_FALSE(PasswordIs(kJsmith, "Taken-Over"));
  // Nothing else moved either.
  EXPECT_EQ(NodeTexts(*tree, jsmith), lines);
  EXPECT_EQ(form->objNameEdit->text(), id);
  EXPECT_EQ(form->NWNDSAttrEdit1->text(), "JSMITH");

  // Cancel says nothing.
  op.boxes.clear();
  op.Cancels();
  Click(form->passBtn);
  EXPECT_TRUE(op.boxes.isEmpty());
  EXPECT_TRUE(PasswordIs(kJsmith, "SALES1"));
}

TEST_F(OnDemo, ALineMessageReachesEveryConnectionOfTheUserAndNoOther) {
  // JSMITH is logged in three times on ACME-FS1; the others are someone else.
  const std::vector<uint16_t> jsmithSlots{3, 7, 12};
  const std::vector<std::pair<const char *, uint16_t>> otherSlots{
      {"ACME-FS1", 1}, {"ACME-FS1", 4}, {"ACME-FS1", 14}, {"ACME-FS2", 2}, {"ACME-FS2", 8}};
  Open({"ACME", "SALES", "JSMITH"});
  Operator op;

  // Cancel sends nothing.
  op.Cancels();
  Click(form->lineMsgBtn);
  EXPECT_EQ(op.queries, QStringList{"Send Line Message / Type Message / "});
  EXPECT_TRUE(op.boxes.isEmpty());
  for (uint16_t slot : jsmithSlots) EXPECT_TRUE(SlotMessages("ACME-FS1", slot).empty()) << slot;

  op.Types("Price list is out");
  Click(form->lineMsgBtn);
  EXPECT_EQ(op.boxes, QStringList{"info: Message Sent Successfully"});
  for (uint16_t slot : jsmithSlots) {
    const std::vector<std::string> received = SlotMessages("ACME-FS1", slot);
    ASSERT_EQ(received.size(), 1u) << "slot " << slot;
    EXPECT_NE(received.front().find("Price list is out"), std::string::npos) << received.front();
  }
  for (const auto &[server, slot] : otherSlots) EXPECT_TRUE(SlotMessages(server, slot).empty()) << server << " " << slot;

  // A user who is not logged in anywhere cannot be reached.
  op.boxes.clear();
  Open({"ACME", "SALES", "BWILSON"});
  op.Types("Anyone there?");
  Click(form->lineMsgBtn);
  EXPECT_EQ(op.boxes, QStringList{"error: Unable to Send Message"});
  for (uint16_t slot : jsmithSlots) EXPECT_EQ(SlotMessages("ACME-FS1", slot).size(), 1u) << slot;
}

}  // namespace
