// The attribute edit field: what it shows for each syntax, and when it
// reads again.
#include <QCoreApplication>
#include <QEvent>

#include <memory>

#include "controls/nwatedit.h"
#include "controls_support.h"

namespace {

using namespace controls_test;

constexpr char kJohn[] = "CN=JDOE.OU=SALES.O=ACME";

class AttrEditOnNetwork : public TestNetwork {
 protected:
  void SetUp() override {
    TestNetwork::SetUp();
    base = std::make_unique<TNWBase>(&form);
    ASSERT_TRUE(base->NDSAvailable());
    base->SetLoginID(kJohn);
    edit = new TNWNDSAttrEdit(&form);
  }
  void TearDown() override {
    base.reset();
    TestNetwork::TearDown();
  }

  QString Shown(TNWDSAttrType attribute) {
    edit->SetNDSAttribute(attribute);
    return edit->text();
  }

  QWidget form;  // owns the edit field
  std::unique_ptr<TNWBase> base;
  TNWNDSAttrEdit *edit = nullptr;
};

TEST(AttrEditUnbound, ShowsNothing) {
  TNWNDSAttrEdit edit;
  EXPECT_EQ(edit.text(), "");
  EXPECT_EQ(edit.NDSAttribute(), dsaAccountBalance);
  edit.setText("typed");
  edit.SetNDSAttribute(dsaFullName);
  EXPECT_EQ(edit.text(), "");
}

TEST(AttrEditProperties, TakesTheAttributeByEnumeratorName) {
  TNWNDSAttrEdit edit;
  EXPECT_TRUE(edit.setProperty("NDSAttribute", QStringLiteral("dsaFullName")));
  EXPECT_EQ(edit.NDSAttribute(), dsaFullName);
  EXPECT_TRUE(edit.setProperty("NDSAttribute", QStringLiteral("DSACOMMONNAME")));
  EXPECT_EQ(edit.NDSAttribute(), dsaCommonName);
  // An unknown name changes nothing.
  EXPECT_FALSE(edit.setProperty("NDSAttribute", QStringLiteral("dsaNoSuchThing")));
  EXPECT_EQ(edit.NDSAttribute(), dsaCommonName);
  // Written back by name, as a form writer stores it.
  EXPECT_EQ(edit.property("NDSAttribute").toString(), "dsaCommonName");
}

TEST_F(AttrEditOnNetwork, ShowsTheFirstValueBySyntax) {
  edit->SetNWBase(base.get());
  EXPECT_EQ(Shown(dsaFullName), "John Doe");  // case-ignore string
  EXPECT_EQ(Shown(dsaCommonName), "JDOE");
  EXPECT_EQ(Shown(dsaLoginDisabled), "True");       // Boolean
  EXPECT_EQ(Shown(dsaLoginGraceLimit), "6");        // integer
  const QString home = Shown(dsaHomeDirectory);     // path: volume, "\", path
  EXPECT_TRUE(home.contains("FS1_SYS", Qt::CaseInsensitive)) << home.toStdString();
  EXPECT_TRUE(home.endsWith("\\HOME\\JDOE")) << home.toStdString();
  // A telephone number is there, but its syntax is not shown.
  EXPECT_EQ(Shown(dsaTelephoneNumber), "");
  EXPECT_EQ(Shown(dsaLoginScript), "");
}

TEST_F(AttrEditOnNetwork, FollowsTheCurrentObject) {
  edit->SetNWBase(base.get());
  edit->SetNDSAttribute(dsaFullName);
  EXPECT_EQ(edit->text(), "John Doe");

  // Typed text is replaced at the next notification.
  edit->setText("typed");
  base->SetLoginID("CN=ADMIN.O=ACME");
  EXPECT_EQ(edit->text(), "Admin Person");

  // A failed read after a good one leaves the field empty.
  base->SetLoginID("CN=NOINFO.OU=SALES.O=ACME");
  EXPECT_EQ(edit->text(), "");

  // The server notification is not for this field.
  edit->setText("typed");
  QEvent serverChange(NWM_SERVERCHANGE);
  QCoreApplication::sendEvent(edit, &serverChange);
  EXPECT_EQ(edit->text(), "typed");
}

TEST_F(AttrEditOnNetwork, ReadsOnEveryAssignmentAlsoWhileLoading) {
  edit->SetLoading(true);
  EXPECT_TRUE(edit->setProperty("NWBase", QVariant::fromValue(base.get())));
  EXPECT_TRUE(edit->setProperty("NDSAttribute", QStringLiteral("dsaFullName")));
  EXPECT_EQ(edit->text(), "John Doe");
  edit->setText("typed");
  edit->SetNDSAttribute(dsaFullName);  // the same attribute reads again
  EXPECT_EQ(edit->text(), "John Doe");
  edit->setText("typed");
  edit->Loaded();
  EXPECT_FALSE(edit->Loading());
  EXPECT_EQ(edit->text(), "John Doe");
}

TEST_F(AttrEditOnNetwork, LetsGoOfADestroyedBaseComponent) {
  edit->SetNWBase(base.get());
  edit->SetNDSAttribute(dsaFullName);
  ASSERT_EQ(edit->text(), "John Doe");
  base.reset();
  EXPECT_EQ(edit->NWBase(), nullptr);
  EXPECT_EQ(edit->text(), "");
}

}  // namespace
