// The main window's actions on the office network: a click on a user fills
// the data panel, "Change Password" and "Send Line Message" act on the
// selected node and report in message boxes, the close button closes.
#include <QApplication>
#include <QInputDialog>
#include <QRegularExpression>
#include <QTimer>

#include <memory>

#include "app_support.h"
#include "netware/nwnds.h"

namespace {

using app_test::ClickNode;
using app_test::FindNode;
using app_test::Operator;
using app_test::PasswordIs;
using app_test::WindowOn;

using OnOffice = WindowOn<app_test::OfficeNetwork>;
using OnOfficeAsUser = WindowOn<app_test::OfficeNetworkAsUser>;

const QStringList kJdoe = {"ACME", "SALES", "JDOE"};
const QStringList kNophone = {"ACME", "SALES", "NOPHONE"};
const QStringList kAdmin = {"ACME", "ADMIN"};

// What the input dialog showed.
struct Seen {
  QString title;
  QString label;
  QLineEdit::EchoMode echo = QLineEdit::Normal;
};

// Waits for the input dialog to come up, notes it and cancels it.
void CancelTheDialog(Seen &seen, int triesLeft = 250) {
  QTimer::singleShot(triesLeft == 250 ? 0 : 20, [&seen, triesLeft] {
    if (auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) {
      seen = {dialog->windowTitle(), dialog->labelText(), dialog->textEchoMode()};
      dialog->reject();
    } else if (triesLeft > 0) {
      CancelTheDialog(seen, triesLeft - 1);
    }
  });
}

bool IsObjectIdText(const QString &text) {
  return QRegularExpression("^[1-9A-F][0-9A-F]{0,7}$").match(text).hasMatch();
}

TEST_F(OnOffice, AClickOnAUserFillsTheDataPanel) {
  EXPECT_FALSE(form->passBtn->isEnabled());
  Open(kJdoe);
  EXPECT_EQ(tree->Text(), "JDOE.SALES.ACME");
  EXPECT_TRUE(form->passBtn->isEnabled());
  EXPECT_TRUE(form->lineMsgBtn->isEnabled());
  EXPECT_EQ(form->NWBase1->LoginID(), "JDOE.SALES.ACME");
  EXPECT_EQ(form->NWNDSAttrEdit1->text(), "JDOE");
  EXPECT_EQ(form->NWNDSAttrEdit2->text(), "John Doe");
  EXPECT_EQ(PhoneLines(), (QStringList{"555-0100", "555-0199"}));
  const QString jdoeId = form->objNameEdit->text();
  EXPECT_TRUE(IsObjectIdText(jdoeId)) << jdoeId.toStdString();
  EXPECT_EQ(jdoeId, NWToQString(DSObjectIDText(0, "JDOE.SALES.ACME")));
  EXPECT_EQ(form->NWLoginScriptMemo1->toPlainText().split('\n', Qt::SkipEmptyParts),
            (QStringList{"MAP F:=FS1/SYS:", "WRITE \"Hello\""}));

  // The same user again: the same values, not twice.
  Open({"ACME", "SALES", "JDOE"});
  EXPECT_EQ(PhoneLines(), (QStringList{"555-0100", "555-0199"}));
  EXPECT_EQ(form->objNameEdit->text(), jdoeId);

  // Another user: everything follows, an empty telephone memo included.
  Open(kNophone);
  EXPECT_EQ(form->NWBase1->LoginID(), "NOPHONE.SALES.ACME");
  EXPECT_EQ(form->NWNDSAttrEdit1->text(), "NOPHONE");
  EXPECT_EQ(form->NWNDSAttrEdit2->text(), "No Phone");
  EXPECT_TRUE(PhoneLines().isEmpty());
  EXPECT_TRUE(form->NWLoginScriptMemo1->toPlainText().isEmpty());
  const QString nophoneId = form->objNameEdit->text();
  EXPECT_TRUE(IsObjectIdText(nophoneId)) << nophoneId.toStdString();
  EXPECT_NE(nophoneId, jdoeId);

  // A container changes the selection, not the panel or the buttons.
  QTreeWidgetItem *acme = FindNode(*tree, nullptr, "ACME");
  ASSERT_NE(acme, nullptr);
  acme->setExpanded(false);
  ClickNode(*tree, acme);
  EXPECT_EQ(tree->Text(), "ACME");
  EXPECT_TRUE(form->passBtn->isEnabled());
  EXPECT_TRUE(form->lineMsgBtn->isEnabled());
  EXPECT_EQ(form->objNameEdit->text(), nophoneId);
  EXPECT_EQ(form->NWBase1->LoginID(), "NOPHONE.SALES.ACME");
}

TEST_F(OnOffice, TheAdministratorChangesAPassword) {
  Open(kJdoe);
  Operator op;
  op.Types("Secret-1");
  Click(form->passBtn);
  EXPECT_EQ(op.queries, (QStringList{"Change User Password / Type New Password / "}));
  EXPECT_EQ(op.boxes, (QStringList{"info: Password Changed Successfully!"}));
  EXPECT_TRUE(PasswordIs("CN=JDOE.OU=SALES.O=ACME", "Secret-1"));
  EXPECT_FALSE(PasswordIs("CN=JDOE.OU=SALES.O=ACME", "JDOEPW"));

  // An empty password is a password too.
  op.Types("");
  Click(form->passBtn);
  EXPECT_EQ(op.boxes.back(), "info: Password Changed Successfully!");
  EXPECT_TRUE(PasswordIs("CN=JDOE.OU=SALES.O=ACME", ""));

  // Cancel changes nothing and says nothing.
  op.boxes.clear();
  op.Cancels();
  Click(form->passBtn);
  EXPECT_TRUE(op.boxes.isEmpty());
  EXPECT_TRUE(PasswordIs("CN=JDOE.OU=SALES.O=ACME", ""));
}

TEST_F(OnOffice, APasswordTooLongForTheClientIsRefusedNotCut) {
  Open(kJdoe);
  Operator op;
  op.Types(QString(200, 'x'));
  Click(form->passBtn);
  EXPECT_EQ(op.boxes, (QStringList{"error: Error Changing Password!"}));
  EXPECT_TRUE(PasswordIs("CN=JDOE.OU=SALES.O=ACME", "JDOEPW"));
}

TEST_F(OnOffice, ThePasswordActsOnTheLastClickedNode) {
  Open(kJdoe);
  QTreeWidgetItem *acme = FindNode(*tree, nullptr, "ACME");
  ASSERT_NE(acme, nullptr);
  acme->setExpanded(false);
  ClickNode(*tree, acme);
  Operator op;
  op.Types("Secret-2");
  Click(form->passBtn);
  // An organization has no password.
  EXPECT_EQ(op.boxes, (QStringList{"error: Error Changing Password!"}));
  EXPECT_TRUE(PasswordIs("CN=JDOE.OU=SALES.O=ACME", "JDOEPW"));
}

TEST_F(OnOfficeAsUser, AUserWithoutRightsCannotSetAnotherPassword) {
  Open(kAdmin);
  EXPECT_TRUE(form->passBtn->isEnabled());
  const QString id = form->objNameEdit->text();
  const QStringList nodes = app_test::NodeTexts(*tree, FindNode(*tree, nullptr, "ACME"));
  Operator op;
  op.Types("Taken-Over");
  Click(form->passBtn);
  EXPECT_EQ(op.boxes, (QStringList{"error: Error Changing Password!"}));
  EXPECT_TRUE(PasswordIs("CN=ADMIN.O=ACME", "ADMINPW"));
  // Nothing else moved.
  EXPECT_EQ(form->objNameEdit->text(), id);
  EXPECT_EQ(form->NWNDSAttrEdit1->text(), "ADMIN");
  EXPECT_EQ(app_test::NodeTexts(*tree, FindNode(*tree, nullptr, "ACME")), nodes);
}

TEST_F(OnOffice, ALineMessageReachesEveryConnectionOfTheUser) {
  Open(kJdoe);
  Operator op;
  op.Types("Lunch at noon");
  Click(form->lineMsgBtn);
  EXPECT_EQ(op.queries, (QStringList{"Send Line Message / Type Message / "}));
  EXPECT_EQ(op.boxes, (QStringList{"info: Message Sent Successfully"}));
  const std::vector<std::string> received = MessagesOfSlot(3);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_NE(received.front().find("Lunch at noon"), std::string::npos) << received.front();

  // Cancel sends nothing.
  op.boxes.clear();
  op.Cancels();
  Click(form->lineMsgBtn);
  EXPECT_TRUE(op.boxes.isEmpty());
  EXPECT_EQ(MessagesOfSlot(3).size(), 1u);

  // A user without a connection cannot be reached.
  Open(kNophone);
  op.Types("Anyone there?");
  Click(form->lineMsgBtn);
  EXPECT_EQ(op.boxes, (QStringList{"error: Unable to Send Message"}));
}

// The real dialogs: the password query hides what is typed, the message
// query shows it.
TEST_F(OnOffice, ThePasswordQueryMasksTheTypedText) {
  Open(kJdoe);
  QStringList boxes;
  SetMessageBoxHook([&](bool, const std::string &text) { boxes << QString::fromStdString(text); });
  Seen password;
  CancelTheDialog(password);
  Click(form->passBtn);
  EXPECT_EQ(password.title, "Change User Password");
  EXPECT_EQ(password.label, "Type New Password");
  EXPECT_EQ(password.echo, QLineEdit::Password);

  Seen message;
  CancelTheDialog(message);
  Click(form->lineMsgBtn);
  EXPECT_EQ(message.title, "Send Line Message");
  EXPECT_EQ(message.echo, QLineEdit::Normal);
  SetMessageBoxHook({});
  EXPECT_TRUE(boxes.isEmpty());
  EXPECT_TRUE(PasswordIs("CN=JDOE.OU=SALES.O=ACME", "JDOEPW"));
}

TEST_F(OnOffice, TheCloseButtonClosesTheWindow) {
  ASSERT_TRUE(form->isVisible());
  Click(form->ToolButton4);
  EXPECT_FALSE(form->isVisible());
}

}  // namespace
