// Helpers of the application shell's tests: the stand-in client on its demo
// network or on a small office network made for these tests, a recorder of
// the dialogs the window shows, and clicks on tree nodes.
#pragma once

#include "support/demo_network.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/main.h"
#include "netware/fakeclient.h"
#include "util/nwdialogs.h"
#include "util/nwtools.h"
// The client's model names a member "slots", which Qt takes for a keyword.
#pragma push_macro("slots")
#undef slots
#include "directory.h"
#include "network.h"
#pragma pop_macro("slots")

// Readable failure messages for Qt texts.
inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList &list, std::ostream *out) {
  *out << '{';
  for (const QString &text : list) *out << '"' << text.toStdString() << "\" ";
  *out << '}';
}

namespace app_test {

// A scratch folder removed at the end of the test.
using TempDir = testsupport::TempDir;

// The office network: tree OFFICE with O=ACME holding ADMIN (who may set
// passwords below O=ACME) and OU=SALES with JDOE (two telephone numbers, a
// login script, logged in at slot 3 of FS1) and NOPHONE (nothing but a full
// name, never logged in). The workstation is logged in as `identity`.
inline std::string OfficeNetworkJson(const std::string &identity) {
  return R"({
    "tree": {"name": "OFFICE", "objects": [
      {"name": "O=ACME", "class": "Organization", "objects": [
        {"name": "CN=ADMIN", "class": "User", "password": "ADMINPW", "passwordRights": ["O=ACME"],
         "attributes": {"Full Name": "Admin Person", "Login Script": ["WRITE \"Admin\""]}},
        {"name": "OU=SALES", "class": "Organizational Unit", "objects": [
          {"name": "CN=JDOE", "class": "User", "password": "JDOEPW", "attributes": {
            "Full Name": "John Doe",
            "Telephone Number": ["555-0100", "555-0199"],
            "Login Script": ["MAP F:=FS1/SYS:", "WRITE \"Hello\""]}},
          {"name": "CN=NOPHONE", "class": "User", "attributes": {"Full Name": "No Phone"}}]}]}]},
    "servers": [
      {"name": "FS1", "version": "4.11", "tree": "OFFICE", "context": "O=ACME",
       "volumes": [{"name": "SYS", "path": "fs1sys"}],
       "connections": [{"slot": 3, "user": "CN=JDOE.OU=SALES.O=ACME"}]}],
    "workstation": {"identity": ")" +
         identity + R"(", "connections": [{"server": "FS1", "user": ")" + identity +
         R"(", "primary": true}]}
  })";
}

// The broadcast messages that slot `number` of `server` received.
inline std::vector<std::string> SlotMessages(const char *server, uint16_t number) {
  auto lock = nwc::NetworkLock();
  nwc::Network *net = nwc::CurrentNetwork();
  nwc::Server *found = net != nullptr ? net->FindServer(server) : nullptr;
  nwc::Slot *slot = found != nullptr ? found->FindSlot(number) : nullptr;
  return slot != nullptr ? slot->messages : std::vector<std::string>{};
}

// Whether the client now accepts this password for the object (typed full
// name), as it would at a login.
inline bool PasswordIs(const char *name, const std::string &clear) {
  auto lock = nwc::NetworkLock();
  nwc::DirectoryStore *store = nwc::CurrentDirectoryStore();
  nwc::DName dn;
  nwc::EntryInfo entry;
  if (store == nullptr || nwc::CanonicalizeName(name, nwc::DName{}, {}, &dn) != 0) return false;
  if (store->Resolve(dn, false, &entry) != 0) return false;
  return store->VerifyPassword(entry.id, clear) == 0;
}

// The built-in demo network, as at program start, with the real client
// libraries bound afresh.
class DemoNetwork : public testsupport::DemoNetworkTest {
 protected:
  FakeClient client;
};

// The office network with the workstation logged in as ADMIN.
class OfficeNetwork : public ::testing::Test {
 protected:
  void SetUp() override { Load("CN=ADMIN.O=ACME"); }
  void TearDown() override {
    unsetenv("NWCLIENT_NETWORK");
    nwc::ResetNetwork();
  }
  void Load(const std::string &identity) {
    unsetenv("NWCLIENT_NETWORK");
    std::filesystem::create_directories(dir.path() / "fs1sys" / "PUBLIC");
    ASSERT_TRUE(nwc::LoadNetworkFromString(OfficeNetworkJson(identity), dir.path(), "app-test.json"));
  }
  // The broadcast messages that slot `number` of FS1 received.
  static std::vector<std::string> MessagesOfSlot(uint16_t number) { return SlotMessages("FS1", number); }

  TempDir dir;
  FakeClient client;
};

// The office network with the workstation logged in as JDOE, who may not set
// other objects' passwords.
class OfficeNetworkAsUser : public OfficeNetwork {
 protected:
  void SetUp() override { Load("CN=JDOE.OU=SALES.O=ACME"); }
};

// Stands in for the operator at the dialogs: answers every input query with
// the next prepared answer (or Cancel when none is left) and notes every
// query and message box.
class Operator {
 public:
  struct Answer {
    bool ok;
    QString text;
  };
  Operator() {
    SetInputQueryHook([this](const QString &caption, const QString &prompt, QString &value) {
      queries.push_back(caption + " / " + prompt + " / " + value);
      if (answers.empty()) return false;
      const Answer answer = answers.front();
      answers.erase(answers.begin());
      if (answer.ok) value = answer.text;
      return answer.ok;
    });
    SetMessageBoxHook([this](bool isError, const std::string &text) {
      boxes.push_back(QString::fromStdString((isError ? "error: " : "info: ") + text));
    });
  }
  ~Operator() {
    SetInputQueryHook({});
    SetMessageBoxHook({});
  }
  Operator(const Operator &) = delete;
  Operator &operator=(const Operator &) = delete;

  void Types(const QString &text) { answers.push_back({true, text}); }
  void Cancels() { answers.push_back({false, QString()}); }

  std::vector<Answer> answers;
  QStringList queries;
  QStringList boxes;
};

// The node of `parent` (the top level when null) whose text is `text`.
inline QTreeWidgetItem *FindNode(QTreeWidget &tree, QTreeWidgetItem *parent, const QString &text) {
  const int count = parent != nullptr ? parent->childCount() : tree.topLevelItemCount();
  for (int i = 0; i < count; ++i) {
    QTreeWidgetItem *item = parent != nullptr ? parent->child(i) : tree.topLevelItem(i);
    if (item->text(0).compare(text, Qt::CaseInsensitive) == 0) return item;
  }
  return nullptr;
}

inline QStringList NodeTexts(QTreeWidget &tree, QTreeWidgetItem *parent) {
  QStringList texts;
  const int count = parent != nullptr ? parent->childCount() : tree.topLevelItemCount();
  for (int i = 0; i < count; ++i) texts << (parent != nullptr ? parent->child(i) : tree.topLevelItem(i))->text(0);
  return texts;
}

// A left click on the node's label, as the operator would make it.
inline void ClickNode(QTreeWidget &tree, QTreeWidgetItem *item) {
  ASSERT_NE(item, nullptr);
  for (QTreeWidgetItem *up = item->parent(); up != nullptr; up = up->parent()) up->setExpanded(true);
  tree.scrollToItem(item);
  const QRect rect = tree.visualItemRect(item);
  ASSERT_TRUE(rect.isValid());
  QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(rect.left() + 4, rect.center().y()));
}

// The main window on one of the test networks, shown.
template <class Network>
class WindowOn : public Network {
 protected:
  void SetUp() override {
    Network::SetUp();
    form = std::make_unique<TForm1>();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    tree = form->ndsTreeView;
  }
  void TearDown() override {
    form.reset();
    Network::TearDown();
  }

  // Clicks the node at the dotted path below the top level ("ACME", then
  // "SALES", then "JDOE"), clicking each container on the way.
  QTreeWidgetItem *Open(const QStringList &path) {
    QTreeWidgetItem *node = nullptr;
    for (const QString &name : path) {
      QTreeWidgetItem *next = FindNode(*tree, node, name);
      EXPECT_NE(next, nullptr) << "no node " << name.toStdString();
      if (next == nullptr) return nullptr;
      // A container's children come with the click on its collapsed node.
      if (next->isExpanded()) next->setExpanded(false);
      ClickNode(*tree, next);
      node = next;
    }
    return node;
  }
  QStringList PhoneLines() const { return form->phoneMemo->toPlainText().split('\n', Qt::SkipEmptyParts); }
  void Click(TToolButton *button) { QTest::mouseClick(button, Qt::LeftButton); }

  std::unique_ptr<TForm1> form;
  TNWTreeView *tree = nullptr;
};

}  // namespace app_test
