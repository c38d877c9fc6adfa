// The tree control: node paths, filling the top level, and what a click on
// a node fetches and raises.
#include <QImage>
#include <QTest>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "controls/nwtreefetch.h"
#include "controls/nwtreevw.h"
#include "controls_support.h"
#include "netware/nwnds_catalog.h"

namespace {

using namespace controls_test;

QTreeWidgetItem *NewNode(const QString &text, uint32_t value) {
  auto *node = new QTreeWidgetItem(QStringList(text));
  node->setData(0, Qt::UserRole, value);
  return node;
}

QStringList TopTexts(const QTreeWidget &tree) {
  QStringList texts;
  for (int i = 0; i < tree.topLevelItemCount(); ++i) texts << tree.topLevelItem(i)->text(0);
  return texts;
}

QStringList ChildTexts(const QTreeWidgetItem *node) {
  QStringList texts;
  for (int i = 0; i < node->childCount(); ++i) texts << node->child(i)->text(0);
  return texts;
}

QTreeWidgetItem *Find(const QTreeWidget &tree, const QString &text) {
  for (int i = 0; i < tree.topLevelItemCount(); ++i) {
    if (tree.topLevelItem(i)->text(0).compare(text, Qt::CaseInsensitive) == 0) return tree.topLevelItem(i);
  }
  return nullptr;
}

QTreeWidgetItem *Find(const QTreeWidgetItem *parent, const QString &text) {
  if (parent == nullptr) return nullptr;
  for (int i = 0; i < parent->childCount(); ++i) {
    if (parent->child(i)->text(0).compare(text, Qt::CaseInsensitive) == 0) return parent->child(i);
  }
  return nullptr;
}

// Notes the name of every OnExpand... event raised, and its sender.
struct EventLog {
  std::vector<std::string> names;
  std::vector<QObject *> senders;

  void Attach(TNWTreeView &tree) {
    auto note = [this](const char *name) {
      return [this, name](QObject *sender) {
        names.emplace_back(name);
        senders.push_back(sender);
      };
    };
    tree.SetOnExpandTree(note("Tree"));
    tree.SetOnExpandOthers(note("Others"));
    tree.SetOnExpandMembers(note("Members"));
    tree.SetOnExpandDirectory(note("Directory"));
    tree.SetOnExpandFile(note("File"));
    tree.SetOnExpandUser(note("User"));
    tree.SetOnExpandGroup(note("Group"));
    tree.SetOnExpandPrintServer(note("PrintServer"));
    tree.SetOnExpandPrinter(note("Printer"));
    tree.SetOnExpandPrintQueue(note("PrintQueue"));
    tree.SetOnExpandPrintQueueJob(note("PrintQueueJob"));
    tree.SetOnExpandServer(note("Server"));
    tree.SetOnExpandVolume(note("Volume"));
    tree.SetOnExpandOrg(note("Org"));
    tree.SetOnExpandOrgUnit(note("OrgUnit"));
  }
};

using Names = std::vector<std::string>;

// A left click on the node's label, as the user makes it.
void Click(TNWTreeView &tree, QTreeWidgetItem *node) {
  ASSERT_NE(node, nullptr);
  tree.scrollToItem(node);
  const QRect rect = tree.visualItemRect(node);
  ASSERT_TRUE(rect.isValid());
  QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

// A tree on the test network's directory, as the main window sets it up.
class TreeOnNetwork : public TestNetwork {
 protected:
  void SetUp() override {
    TestNetwork::SetUp();
    base = std::make_unique<TNWBase>(&form);
    ASSERT_TRUE(base->NDSAvailable());
    base->NDSContextFlags()->SetTypelessNames(true);
    tree = new TNWTreeView(&form);
    tree->SetNWBase(base.get());
    tree->SetShowObjType(nwlNDSObjList);
    log.Attach(*tree);
    form.resize(400, 700);
    tree->resize(400, 700);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  }
  void TearDown() override {
    delete tree;
    base.reset();
    TestNetwork::TearDown();
  }

  // Clicks a node, then opens it so that its children can be clicked.
  QTreeWidgetItem *Open(QTreeWidgetItem *node) {
    Click(*tree, node);
    if (node != nullptr) node->setExpanded(true);
    return node;
  }

  QWidget form;
  std::unique_ptr<TNWBase> base;
  TNWTreeView *tree = nullptr;
  EventLog log;
};

TEST(TreePaths, JoinsTheNodeTextsLeafFirst) {
  TNWTreeView tree;
  QTreeWidgetItem *top = NewNode("C", dokOrganization);
  tree.addTopLevelItem(top);
  QTreeWidgetItem *middle = NewNode("B", dokOrganizationalUnit);
  top->addChild(middle);
  QTreeWidgetItem *leaf = NewNode("A", dokUser);
  middle->addChild(leaf);
  QTreeWidgetItem *dotted = NewNode("x.y", dokUser);
  middle->addChild(dotted);

  EXPECT_EQ(TNWTreeView::GetNodePath(leaf), "A.B.C");
  EXPECT_EQ(TNWTreeView::GetNodePath(middle), "B.C");
  EXPECT_EQ(TNWTreeView::GetNodePath(top), "C");
  EXPECT_EQ(TNWTreeView::GetNodePath(nullptr), "");
  // A "." inside a text is not told apart from a separator.
  EXPECT_EQ(TNWTreeView::GetNodePath(dotted), "x.y.B.C");

  // A group's members, a printer's queues and a print server's device are
  // full names already: their paths do not repeat the node above them.
  QTreeWidgetItem *group = NewNode("TEAM", dokGroup);
  middle->addChild(group);
  QTreeWidgetItem *member = NewNode("JSMITH.SALES.ACME", dokUser);
  group->addChild(member);
  QTreeWidgetItem *printer = NewNode("P1", dokPrinter);
  middle->addChild(printer);
  QTreeWidgetItem *queue = NewNode("Q1.SALES.ACME", dokQueue);
  printer->addChild(queue);
  EXPECT_EQ(TNWTreeView::GetNodePath(group), "TEAM.B.C");
  EXPECT_EQ(TNWTreeView::GetNodePath(member), "JSMITH.SALES.ACME");
  EXPECT_EQ(TNWTreeView::GetNodePath(queue), "Q1.SALES.ACME");

  EXPECT_EQ(tree.Text(), "");
  tree.setCurrentItem(leaf);
  EXPECT_EQ(tree.Text(), "A.B.C");
  EXPECT_EQ(tree.property("Text").toString(), "A.B.C");
  tree.clearSelection();
  EXPECT_EQ(tree.Text(), "");
}

TEST(TreeWithoutBase, OnlyTheEmptyListKindClearsTheNodes) {
  TNWTreeView tree;
  tree.addTopLevelItem(NewNode("design", 0));
  tree.SetShowObjType(nwlNDSObjList);
  EXPECT_EQ(TopTexts(tree), QStringList{"design"});
  tree.SetShowObjType(nwlNone);
  EXPECT_EQ(tree.topLevelItemCount(), 0);

  // The published properties by name, as a form loader sets them.
  EXPECT_TRUE(tree.setProperty("ShowObjType", QVariant::fromValue(nwlUser)));
  EXPECT_EQ(tree.ShowObjType(), nwlUser);
  EXPECT_TRUE(tree.setProperty("ShowObjType", QStringLiteral("nwlNDSTree")));
  EXPECT_EQ(tree.ShowObjType(), nwlNDSTree);
  EXPECT_EQ(tree.property("NWBase").value<TNWBase *>(), nullptr);
}

TEST_F(TreeOnNetwork, FillsTheTopLevelWithTheObjectsBelowTheContext) {
  const QStringList expected{"US", "ACME"};
  EXPECT_EQ(TopTexts(*tree), expected);
  QTreeWidgetItem *acme = Find(*tree, "ACME");
  ASSERT_NE(acme, nullptr);
  EXPECT_EQ(TNWTreeView::NodeValue(acme), uint32_t{dokOrganization});
  EXPECT_EQ(acme->data(0, TNWTreeView::ImageIndexRole).toUInt(), uint32_t{dokOrganization});
  // The control owns no images: without an image list no node shows one.
  EXPECT_TRUE(acme->icon(0).isNull());
  EXPECT_EQ(TNWTreeView::NodeValue(Find(*tree, "US")), uint32_t{dokCountry});
  EXPECT_EQ(acme->childCount(), 0);  // children come with the first click
}

TEST_F(TreeOnNetwork, RefillsOnEveryBaseWriteButNotOnTheSameListKind) {
  tree->addTopLevelItem(NewNode("marker", 0));
  tree->SetShowObjType(nwlNDSObjList);
  EXPECT_TRUE(TopTexts(*tree).contains("marker"));
  tree->SetNWBase(base.get());
  EXPECT_EQ(TopTexts(*tree), (QStringList{"US", "ACME"}));

  // Children fetched earlier go with a refill.
  Click(*tree, Find(*tree, "ACME"));
  ASSERT_GT(Find(*tree, "ACME")->childCount(), 0);
  tree->SetShowObjType(nwlNone);
  EXPECT_EQ(tree->topLevelItemCount(), 0);
  tree->SetShowObjType(nwlNDSObjList);
  EXPECT_EQ(TopTexts(*tree), (QStringList{"US", "ACME"}));
  EXPECT_EQ(Find(*tree, "ACME")->childCount(), 0);
}

TEST_F(TreeOnNetwork, FillsOnceWhenLoadedFromAForm) {
  TNWTreeView loading(&form);
  loading.SetLoading(true);
  loading.addTopLevelItem(NewNode("design", 0));
  EXPECT_TRUE(loading.setProperty("NWBase", QVariant::fromValue(base.get())));
  EXPECT_TRUE(loading.setProperty("ShowObjType", QVariant::fromValue(nwlNDSObjList)));
  EXPECT_EQ(TopTexts(loading), QStringList{"design"});
  loading.Loaded();
  EXPECT_FALSE(loading.Loading());
  EXPECT_EQ(TopTexts(loading), (QStringList{"US", "ACME"}));
}

TEST_F(TreeOnNetwork, KeepsItsNodesWhenTheBaseComponentGoes) {
  base.reset();
  EXPECT_EQ(tree->NWBase(), nullptr);
  EXPECT_EQ(TopTexts(*tree), (QStringList{"US", "ACME"}));
}

TEST_F(TreeOnNetwork, AClickOnAUserListsItsDetailsAndRaisesOnExpandUser) {
  QTreeWidgetItem *acme = Open(Find(*tree, "ACME"));
  EXPECT_EQ(log.names, Names{"Org"});
  QTreeWidgetItem *sales = Open(Find(acme, "SALES"));
  ASSERT_NE(sales, nullptr);
  EXPECT_EQ(TNWTreeView::NodeValue(sales), uint32_t{dokOrganizationalUnit});
  EXPECT_EQ(log.names, (Names{"Org", "OrgUnit"}));

  QTreeWidgetItem *user = Find(sales, "JDOE");
  ASSERT_NE(user, nullptr);
  Click(*tree, user);
  const QStringList details{"Full Name: John Doe", "E-Mail: jdoe@acme.test", "Telephone: 555-0100",
                            "Telephone: 555-0199"};
  EXPECT_EQ(ChildTexts(user), details);
  for (int i = 0; i < user->childCount(); ++i) EXPECT_EQ(TNWTreeView::NodeValue(user->child(i)), 0u);
  EXPECT_EQ(log.names, (Names{"Org", "OrgUnit", "User"}));
  EXPECT_EQ(log.senders.back(), tree);
  EXPECT_EQ(tree->Text(), "JDOE.SALES.ACME");
  EXPECT_FALSE(user->isExpanded());  // the click fetches, the user opens

  // The same collapsed node again: fetched anew, not duplicated.
  Click(*tree, user);
  EXPECT_EQ(ChildTexts(user), details);
  EXPECT_EQ(log.names.size(), 4u);

  // An expanded node is never refreshed.
  user->setExpanded(true);
  Click(*tree, user);
  EXPECT_EQ(log.names.size(), 4u);

  // A user whose attributes cannot be read: no children, the event all the same.
  Click(*tree, Find(sales, "NOINFO"));
  EXPECT_EQ(Find(sales, "NOINFO")->childCount(), 0);
  EXPECT_EQ(log.names.back(), "User");
}

TEST_F(TreeOnNetwork, ADoubleClickFetchesOnTheFirstPressAndOpensTheNode) {
  QTreeWidgetItem *acme = Find(*tree, "ACME");
  ASSERT_NE(acme, nullptr);
  // The first press and release, then the double click itself.
  Click(*tree, acme);
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualItemRect(acme).center());
  EXPECT_TRUE(acme->isExpanded());
  EXPECT_NE(Find(acme, "SALES"), nullptr);
  EXPECT_EQ(log.names, Names{"Org"});
}

TEST_F(TreeOnNetwork, EachKindFetchesItsOwnChildren) {
  QTreeWidgetItem *acme = Open(Find(*tree, "ACME"));
  ASSERT_NE(acme, nullptr);

  // A group: its members, sorted, each a user.
  QTreeWidgetItem *group = Find(acme, "STAFF");
  Click(*tree, group);
  ASSERT_EQ(group->childCount(), 2);
  EXPECT_TRUE(group->child(0)->text(0).startsWith("ADMIN", Qt::CaseInsensitive)) << group->child(0)->text(0).toStdString();
  EXPECT_TRUE(group->child(1)->text(0).startsWith("JDOE", Qt::CaseInsensitive)) << group->child(1)->text(0).toStdString();
  EXPECT_EQ(TNWTreeView::NodeValue(group->child(0)), uint32_t{dokUser});
  EXPECT_EQ(log.names.back(), "Group");

  // A printer: the queues it serves.
  QTreeWidgetItem *printer = Find(acme, "P1");
  Click(*tree, printer);
  ASSERT_EQ(printer->childCount(), 1);
  EXPECT_TRUE(printer->child(0)->text(0).contains("Q1", Qt::CaseInsensitive));
  EXPECT_EQ(TNWTreeView::NodeValue(printer->child(0)), uint32_t{dokQueue});
  EXPECT_EQ(log.names.back(), "Printer");

  // A server: its version.
  QTreeWidgetItem *server = Find(acme, "FS1");
  Click(*tree, server);
  EXPECT_EQ(ChildTexts(server), QStringList{"Netware Version: 4.11"});
  EXPECT_EQ(log.names.back(), "Server");

  // A volume: its directories first, then its files.
  QTreeWidgetItem *volume = Find(acme, "FS1_SYS");
  Click(*tree, volume);
  EXPECT_EQ(log.names.back(), "Volume");
  ASSERT_NE(Find(volume, "HOME"), nullptr);
  ASSERT_NE(Find(volume, "README.TXT"), nullptr);
  EXPECT_EQ(TNWTreeView::NodeValue(Find(volume, "HOME")), uint32_t{dokDirectory});
  EXPECT_EQ(TNWTreeView::NodeValue(Find(volume, "README.TXT")), uint32_t{dokFile});
  EXPECT_LT(volume->indexOfChild(Find(volume, "PUBLIC")), volume->indexOfChild(Find(volume, "README.TXT")));
  volume->setExpanded(true);
  Click(*tree, Find(volume, "HOME"));
  EXPECT_EQ(log.names.back(), "Directory");
  Click(*tree, Find(volume, "README.TXT"));
  EXPECT_EQ(log.names.back(), "File");

  // A queue: its job lines, tabs shown as three spaces.
  QTreeWidgetItem *queue = Find(acme, "Q1");
  Click(*tree, queue);
  EXPECT_EQ(log.names.back(), "PrintQueue");
  ASSERT_EQ(queue->childCount(), 1);
  const QString line = queue->child(0)->text(0);
  EXPECT_FALSE(line.contains('\t'));
  EXPECT_TRUE(line.contains("   ")) << line.toStdString();
  EXPECT_TRUE(line.endsWith("Quarterly report")) << line.toStdString();
  EXPECT_EQ(TNWTreeView::NodeValue(queue->child(0)), uint32_t{dokQueueJob});
  queue->setExpanded(true);
  Click(*tree, queue->child(0));
  EXPECT_EQ(log.names.back(), "PrintQueueJob");
  EXPECT_EQ(queue->child(0)->childCount(), 0);

  // A country never gets children and raises nothing.
  const std::size_t raised = log.names.size();
  Click(*tree, Find(*tree, "US"));
  EXPECT_EQ(Find(*tree, "US")->childCount(), 0);
  EXPECT_EQ(log.names.size(), raised);
}

TEST_F(TreeOnNetwork, AServerThatCannotBeReachedShowsNoVersion) {
  // Connection 0 would be the primary connection: its version must not show
  // under another server's name.
  QTreeWidgetItem *unknown = NewNode("NOSUCHSERVER", dokNCPServer);
  tree->addTopLevelItem(unknown);
  Click(*tree, unknown);
  EXPECT_EQ(unknown->childCount(), 0);
  EXPECT_EQ(log.names, Names{"Server"});
}

TEST_F(TreeOnNetwork, KeyboardNavigationFetchesAndRaisesNothing) {
  tree->setFocus();
  tree->setCurrentItem(tree->topLevelItem(0));
  for (int key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_Down, Qt::Key_Right, Qt::Key_Plus, Qt::Key_Space}) {
    QTest::keyClick(tree, static_cast<Qt::Key>(key));
  }
  EXPECT_EQ(tree->currentItem(), Find(*tree, "ACME"));
  EXPECT_TRUE(log.names.empty());
  for (int i = 0; i < tree->topLevelItemCount(); ++i) EXPECT_EQ(tree->topLevelItem(i)->childCount(), 0);
}

TEST_F(TreeOnNetwork, ABinderyListNeverFetchesChildren) {
  tree->SetShowObjType(nwlUser);
  ASSERT_GT(tree->topLevelItemCount(), 0);
  QTreeWidgetItem *first = tree->topLevelItem(0);
  Click(*tree, first);
  EXPECT_EQ(tree->currentItem(), first);
  EXPECT_EQ(first->childCount(), 0);
  EXPECT_TRUE(log.names.empty());
}

TEST_F(DemoNetwork, AClickOnTheAdministratorShowsItsDetails) {
  QWidget form;
  TNWBase base(&form);
  ASSERT_TRUE(base.NDSAvailable());
  base.NDSContextFlags()->SetTypelessNames(true);
  TNWTreeView *tree = new TNWTreeView(&form);
  tree->resize(400, 700);
  tree->SetNWBase(&base);
  tree->SetShowObjType(nwlNDSObjList);
  EventLog log;
  log.Attach(*tree);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

  QTreeWidgetItem *acme = Find(*tree, "ACME");
  Click(*tree, acme);
  acme->setExpanded(true);
  QTreeWidgetItem *admin = Find(acme, "ADMIN");
  Click(*tree, admin);
  EXPECT_EQ(ChildTexts(admin), (QStringList{"Full Name: Network Administrator", "E-Mail: admin@acme.com",
                                            "Telephone: (312) 555-0101", "Telephone: (312) 555-0199"}));
  EXPECT_EQ(log.names, (Names{"Org", "User"}));
  EXPECT_EQ(tree->Text(), "ADMIN.ACME");
  delete tree;
}


// An image list with a glyph for every object kind.
TImageList *KindImages(QObject *owner) {
  auto *images = new TImageList(owner);
  QStringList glyphs;
  for (int kind = 0; kind <= dokQueueJob; ++kind) glyphs << (kind % 2 == 0 ? "|SP_DirIcon" : "|SP_FileIcon");
  images->SetGlyphs(glyphs);
  return images;
}

TEST_F(TreeOnNetwork, NodesShowTheOwnersImagesByIndexEachMadeOnce) {
  TImageList *images = KindImages(&form);
  tree->SetImages(images);
  EXPECT_TRUE(tree->setProperty("Images", QVariant::fromValue(images)));
  QTreeWidgetItem *acme = Find(*tree, "ACME");
  ASSERT_NE(acme, nullptr);
  const QIcon icon = acme->icon(0);
  ASSERT_FALSE(icon.isNull());
  // One icon per index, shared by every node that shows it.
  EXPECT_EQ(acme->icon(0).cacheKey(), icon.cacheKey());
  EXPECT_EQ(tree->ImageIcon(dokOrganization).cacheKey(), icon.cacheKey());
  EXPECT_TRUE(tree->ImageIcon(dokQueueJob + 1).isNull());

  // Children carry no image index and show no picture.
  Click(*tree, acme);
  QTreeWidgetItem *sales = Find(acme, "SALES");
  ASSERT_NE(sales, nullptr);
  EXPECT_FALSE(sales->data(0, TNWTreeView::ImageIndexRole).isValid());
  EXPECT_TRUE(sales->icon(0).isNull());

  // Without the list (taken away or destroyed) the pictures go.
  tree->SetImages(nullptr);
  EXPECT_TRUE(acme->icon(0).isNull());
  tree->SetImages(images);
  EXPECT_FALSE(acme->icon(0).isNull());
  delete images;
  EXPECT_EQ(tree->Images(), nullptr);
  EXPECT_TRUE(acme->icon(0).isNull());
}

TEST_F(TreeOnNetwork, OnlyTheLeftButtonSelects) {
  QTreeWidgetItem *acme = Find(*tree, "ACME");
  QTreeWidgetItem *us = Find(*tree, "US");
  Click(*tree, acme);
  ASSERT_EQ(tree->currentItem(), acme);
  const Names before = log.names;
  for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
    const QPoint at = tree->visualItemRect(us).center();
    QTest::mousePress(tree->viewport(), button, Qt::NoModifier, at);
    QTest::mouseRelease(tree->viewport(), button, Qt::NoModifier, at);
    QTest::mouseDClick(tree->viewport(), button, Qt::NoModifier, at);
    EXPECT_EQ(tree->currentItem(), acme) << button;
    EXPECT_EQ(tree->selectedItems(), QList<QTreeWidgetItem *>{acme}) << button;
    EXPECT_EQ(tree->Text(), "ACME");
  }
  EXPECT_EQ(log.names, before);
  EXPECT_EQ(us->childCount(), 0);
}

// Bulk: a container of 20,000 generated users, shown as a node's children and
// as the top level with pictures. Growth of the heap in use stays far below
// what a picture made per node costs (tens of kilobytes each).
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NW_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(NW_TEST_ASAN)
#define NW_TEST_ASAN 1
#endif
}  // namespace
#ifdef NW_TEST_ASAN
// The sanitizer runtime's count of bytes in use (freed ones not counted,
// even while quarantined).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
static std::size_t HeapInUse() { return __sanitizer_get_current_allocated_bytes(); }
#else
#include <malloc.h>
static std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}
#endif
namespace {

class TreeOnABigContainer : public ::testing::Test {
 protected:
  static constexpr int kUsers = 20000;
  void SetUp() override {
    unsetenv("NWCLIENT_NETWORK");
    const std::string json = R"({"tree": {"name": "BIG_TREE", "objects": [
      {"name": "O=ACME", "class": "Organization", "objects": [
        {"name": "CN=ADMIN", "class": "User"},
        {"name": "OU=BIG", "class": "Organizational Unit", "objects": [
          {"generate": {"count": )" + std::to_string(kUsers) + R"(, "class": "User", "name": "USER%05d"}}]}]}]},
      "servers": [{"name": "FS1", "version": "4.11", "tree": "BIG_TREE", "context": "O=ACME"}],
      "workstation": {"identity": "CN=ADMIN.O=ACME",
        "connections": [{"server": "FS1", "user": "CN=ADMIN.O=ACME", "primary": true}]}})";
    const std::size_t before = HeapInUse();
    ASSERT_TRUE(nwc::LoadNetworkFromString(json, dir.path(), "big.json"));
    const std::size_t after = HeapInUse();
    loadGrowth = after > before ? after - before : 0;
  }
  void TearDown() override { nwc::ResetNetwork(); }
  TempDir dir;
  FakeClient client;
  std::size_t loadGrowth = 0;  // what the simulated network holds of the container
};

TEST_F(TreeOnABigContainer, ThousandsOfNodesCostNoPicturePerNode) {
  QWidget form;
  TNWBase base(&form);
  ASSERT_TRUE(base.NDSAvailable());
  base.NDSContextFlags()->SetTypelessNames(true);
  auto *tree = new TNWTreeView(&form);
  tree->resize(300, 400);
  tree->SetImages(KindImages(&form));
  tree->SetNWBase(&base);
  tree->SetShowObjType(nwlNDSObjList);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QTreeWidgetItem *acme = Find(*tree, "ACME");
  Click(*tree, acme);
  acme->setExpanded(true);
  QTreeWidgetItem *big = Find(acme, "BIG");
  ASSERT_NE(big, nullptr);
  (void)tree->grab();
  // The network in the viewer's process stands in for a server elsewhere, and
  // it is what the viewer's peak memory counts beside the tree: a few hundred
  // bytes per object, not a copy of its class chain and naming value for each.
  RecordProperty("NetworkLoadKiB", std::to_string(loadGrowth / 1024));
  EXPECT_LT(loadGrowth, std::size_t{kUsers} * 500) << loadGrowth / 1024 << " KiB for " << kUsers << " generated users";

  const std::size_t before = HeapInUse();
  Click(*tree, big);
  ASSERT_EQ(big->childCount(), kUsers);
  big->setExpanded(true);
  tree->scrollToItem(big->child(kUsers - 1));
  (void)tree->grab();
  // The same users as the top level, each with its kind's picture.
  base.SetNDSContextName("OU=BIG.O=ACME");
  tree->LoadItems();
  ASSERT_EQ(tree->topLevelItemCount(), kUsers);
  EXPECT_FALSE(tree->topLevelItem(kUsers - 1)->icon(0).isNull());
  tree->scrollToItem(tree->topLevelItem(kUsers / 2));
  (void)tree->grab();
  const std::size_t after = HeapInUse();
  const std::size_t grown = after > before ? after - before : 0;
  RecordProperty("HeapGrowthKiB", std::to_string(grown / 1024));
  EXPECT_LT(grown, std::size_t{60} << 20) << grown / 1024 << " KiB for " << kUsers << " nodes";
  delete tree;
}

// What the click on a node of each kind adds, without a window: the plain
// function under the tree.
TEST_F(TestNetwork, TheKindTableChoosesCallTextsKindsAndEvent) {
  TNWBase base;
  ASSERT_TRUE(base.NDSAvailable());
  base.NDSContextFlags()->SetTypelessNames(true);
  using E = TNWExpandEvent;
  struct Row {
    uint32_t value;
    const char *path, *text;
    E event;
    std::size_t count;      // children
    const char *firstText;  // the first child's text starts with this
    uint32_t firstValue;
  };
  const Row rows[] = {
      {dokQueue, "Q1.ACME", "Q1", E::PrintQueue, 1, "", dokQueueJob},
      {dokBinderyQueue, "Q1.ACME", "Q1", E::PrintQueue, 1, "", dokQueueJob},
      {dokGroup, "STAFF.ACME", "STAFF", E::Group, 2, "ADMIN", dokUser},
      {dokNCPServer, "FS1.ACME", "FS1", E::Server, 1, "Netware Version: 4.11", 0},
      {dokServer, "whatever", "FS1", E::Server, 1, "Netware Version: 4.11", 0},
      {dokOrganization, "ACME", "ACME", E::Org, 7, "", 0},
      {dokOrganizationalUnit, "SALES.ACME", "SALES", E::OrgUnit, 2, "JDOE", dokUser},
      {dokPrinter, "P1.ACME", "P1", E::Printer, 1, "Q1", dokQueue},
      {dokPrintServer, "NOSUCH.ACME", "NOSUCH", E::PrintServer, 0, "", 0},
      {dokUser, "JDOE.SALES.ACME", "JDOE", E::User, 4, "Full Name: John Doe", 0},
      {dokVolume, "FS1_SYS.ACME", "FS1_SYS", E::Volume, 3, "", dokDirectory},
      {dokTree, "", "NO_SUCH_TREE", E::Tree, 0, "", 0},
      {dokFile, "README.TXT.FS1_SYS.ACME", "README.TXT", E::File, 0, "", 0},
      {dokDirectory, "HOME.FS1_SYS.ACME", "HOME", E::Directory, 0, "", 0},
      {dokQueueJob, "x.Q1.ACME", "x", E::PrintQueueJob, 0, "", 0},
      {dokCountry, "US", "US", E::None, 0, "", 0},
      {dokUnknown, "ACME", "ACME", E::None, 0, "", 0},
      {0x100u | dokUser, "JDOE.SALES.ACME", "JDOE", E::User, 4, "Full Name: ", 0},  // the low byte is the kind
      {0xFFu, "ACME", "ACME", E::None, 0, "", 0},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(std::string(row.path) + " kind " + std::to_string(row.value));
    const TNWExpansion got = ExpandNodeChildren(row.value, row.path, row.text);
    EXPECT_EQ(got.event, row.event);
    ASSERT_EQ(got.children.size(), row.count);
    if (row.count == 0) continue;
    EXPECT_EQ(got.children[0].text.rfind(row.firstText, 0), 0u) << got.children[0].text;
    if (row.value != dokOrganization) {
      EXPECT_EQ(got.children[0].value, row.firstValue);
    }
    for (const TNWObjItem &child : got.children) EXPECT_EQ(child.text.find('\t'), std::string::npos);
  }
  // The leading texts are the caller's (the tree hands in its translations).
  TNWExpandTexts texts;
  texts.fullName = "Nom : ";
  texts.telephone = "Tel. ";
  const TNWExpansion user = ExpandNodeChildren(dokUser, "JDOE.SALES.ACME", "JDOE", texts);
  ASSERT_EQ(user.children.size(), 4u);
  EXPECT_EQ(user.children[0].text, "Nom : John Doe");
  EXPECT_EQ(user.children[1].text, "E-Mail: jdoe@acme.test");
  EXPECT_EQ(user.children[3].text, "Tel. 555-0199");
}

// The empty tree says why it is empty when the client or the network is missing.
TEST_F(TestNetwork, TheEmptyTreeNamesWhatIsMissing) {
  struct Case {
    bool withClient;
    const char *connections;
    QString expected;
  };
  const Case cases[] = {{false, "", "No NetWare client found"}, {true, "[]", "Not connected to a network"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.expected.toStdString());
    nwc::ResetNetwork();
    auto missing = std::make_unique<FakeClient>();
    if (!c.withClient) {
      for (const char *dll : {"NETWIN32.DLL", "LOCWIN32.DLL", "CALWIN32.DLL", "CLXWIN32.DLL"}) missing->WithoutLibrary(dll);
    } else {
      ASSERT_TRUE(nwc::LoadNetworkFromString(R"({"servers": [{"name": "FS1"}], "workstation": {"connections": []}})",
                                             dir.path(), "none.json"));
    }
    QWidget form;
    TNWBase base(&form);
    ASSERT_FALSE(base.NetAvailable());
    auto *tree = new TNWTreeView(&form);
    tree->resize(300, 200);
    tree->SetNWBase(&base);
    tree->SetShowObjType(nwlNDSObjList);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(tree->topLevelItemCount(), 0);
    EXPECT_EQ(tree->PlaceholderText(), c.expected);
    const QImage withText = tree->viewport()->grab().toImage();
    // A node (the owner's own) replaces the text; so does the empty list kind.
    tree->addTopLevelItem(new QTreeWidgetItem(QStringList("own")));
    EXPECT_EQ(tree->PlaceholderText(), "");
    tree->SetShowObjType(nwlNone);
    EXPECT_EQ(tree->PlaceholderText(), "");
    EXPECT_NE(tree->viewport()->grab().toImage(), withText);
    delete tree;
  }
}

}  // namespace
