// The login script editor: the object's script from the directory, the
// scripts in server files under a drive letter mapped for one read, and when
// it loads.
#include <QCoreApplication>
#include <QEvent>

#include <memory>

#include "controls/nwlogmem.h"
#include "controls_support.h"
#include "netware/nwnds.h"
#include "netware/tessel.h"

namespace {

using namespace controls_test;

// The script as the editor shows it: one line per line of the file.
QString Lines(const char *script) {
  QString text = QString::fromLatin1(script);
  text.replace("\r\n", "\n");
  if (text.endsWith('\n')) text.chop(1);
  return text;
}

template <typename Network>
class MemoOn : public Network {
 protected:
  void SetUp() override {
    Network::SetUp();
    if (::testing::Test::HasFatalFailure()) return;
    base = std::make_unique<TNWBase>(&form);
    memo = new TNWLoginScriptMemo(&form);
    freeLetter = NextFreeDriveLetter();
    ASSERT_NE(freeLetter, 0);
  }
  void TearDown() override {
    base.reset();
    Network::TearDown();
  }

  QWidget form;  // owns the editor
  std::unique_ptr<TNWBase> base;
  TNWLoginScriptMemo *memo = nullptr;
  char freeLetter = 0;
};

using MemoOnDirectory = MemoOn<TestNetwork>;
using MemoOnBindery = MemoOn<BinderyNetwork>;

TEST(MemoUnbound, StaysEmpty) {
  TNWLoginScriptMemo memo;
  EXPECT_FALSE(memo.SystemLogin());
  memo.setPlainText("typed");
  memo.SetSystemLogin(true);
  EXPECT_EQ(memo.toPlainText(), "");
  memo.setPlainText("typed");
  memo.LoadScript();
  EXPECT_EQ(memo.toPlainText(), "");
}

TEST_F(MemoOnDirectory, ShowsTheObjectsLoginScriptAndFollowsTheCurrentObject) {
  ASSERT_TRUE(base->NDSAvailable());
  base->SetLoginID("CN=JDOE.OU=SALES.O=ACME");
  memo->SetNWBase(base.get());
  EXPECT_EQ(memo->toPlainText(), "MAP F:=FS1/SYS:\nWRITE \"Hello\"");

  // An object without a script: empty, and the directory's code is kept.
  base->SetLoginID("CN=NOINFO.OU=SALES.O=ACME");
  EXPECT_EQ(memo->toPlainText(), "");
  EXPECT_EQ(DSLastResult, ERR_NO_SUCH_ATTRIBUTE);

  // Either notification loads again; typed text is dropped.
  base->SetLoginID("CN=JDOE.OU=SALES.O=ACME");
  memo->setPlainText("typed");
  QEvent serverChange(NWM_SERVERCHANGE);
  QCoreApplication::sendEvent(memo, &serverChange);
  EXPECT_EQ(memo->toPlainText(), "MAP F:=FS1/SYS:\nWRITE \"Hello\"");
  EXPECT_EQ(NextFreeDriveLetter(), freeLetter);  // no drive is needed for it
}

TEST_F(MemoOnDirectory, ShowsTheSystemScriptAndRemovesTheDriveAgain) {
  memo->SetNWBase(base.get());
  memo->SetSystemLogin(true);
  EXPECT_EQ(memo->toPlainText(), Lines(kSystemScript));
  EXPECT_EQ(NextFreeDriveLetter(), freeLetter);

  // Setting the same value loads again.
  memo->setPlainText("typed");
  memo->SetSystemLogin(true);
  EXPECT_EQ(memo->toPlainText(), Lines(kSystemScript));
  EXPECT_EQ(NextFreeDriveLetter(), freeLetter);
}

TEST_F(MemoOnDirectory, RemovesTheDriveAlsoWhenTheSystemScriptCannotBeRead) {
  dir.MakeUnreadable(kSystemScriptFile);
  memo->SetNWBase(base.get());
  memo->SetSystemLogin(true);
  EXPECT_EQ(memo->toPlainText(), "");
  EXPECT_EQ(NextFreeDriveLetter(), freeLetter);
}

TEST_F(MemoOnDirectory, LoadsOnlyOnceLoadedFromAForm) {
  int posts = 0;
  memo->SetLoading(true);
  memo->SetOnBeforePost([&](QObject *) { ++posts; });
  memo->SetOnAfterPost([&](QObject *) { ++posts; });
  EXPECT_TRUE(memo->setProperty("NWBase", QVariant::fromValue(base.get())));
  EXPECT_TRUE(memo->setProperty("SystemLogin", true));
  base->SetLoginID("");
  EXPECT_EQ(memo->toPlainText(), "");
  memo->Loaded();
  EXPECT_FALSE(memo->Loading());
  EXPECT_EQ(memo->toPlainText(), Lines(kSystemScript));
  EXPECT_EQ(posts, 0);  // the post events are never raised
}

TEST_F(MemoOnDirectory, LetsGoOfADestroyedBaseComponent) {
  memo->SetNWBase(base.get());
  memo->SetSystemLogin(true);
  ASSERT_FALSE(memo->toPlainText().isEmpty());
  base.reset();
  EXPECT_EQ(memo->NWBase(), nullptr);
  EXPECT_EQ(memo->toPlainText(), "");
}

TEST_F(MemoOnBindery, ShowsTheScriptInTheObjectsMailDirectory) {
  ASSERT_FALSE(base->NDSAvailable());
  ASSERT_EQ(base->LoginID(), "GUEST");
  ASSERT_EQ(base->ObjectID(), "1A2B3C");
  memo->SetNWBase(base.get());
  EXPECT_EQ(memo->toPlainText(), Lines(kGuestScript));
  EXPECT_EQ(NextFreeDriveLetter(), freeLetter);

  memo->SetSystemLogin(true);
  EXPECT_EQ(memo->toPlainText(), Lines(kBinderySystemScript));
  EXPECT_EQ(NextFreeDriveLetter(), freeLetter);
}

TEST_F(MemoOnBindery, RemovesTheDriveAlsoWhenTheScriptCannotBeRead) {
  dir.MakeUnreadable(kGuestMailFile);
  memo->SetNWBase(base.get());
  EXPECT_EQ(memo->toPlainText(), "");
  EXPECT_EQ(NextFreeDriveLetter(), freeLetter);
}

TEST_F(MemoOnBindery, StaysEmptyWhenNoDriveCanBeMapped) {
  // No free letter: character 0 goes to the mapping, which refuses it.
  client.Replace("NWGetDriveStatus",
                 static_cast<PFN_NWGetDriveStatus>([](nuint16, nuint16, nuint16 *status, NWCONN_HANDLE *, char *,
                                                      char *, char *) -> NWCCODE {
                   *status = NW_NETWARE_DRIVE;
                   return 0;
                 }));
  nwlib::ForgetAllEntries();
  ASSERT_EQ(NextFreeDriveLetter(), 0);
  memo->SetNWBase(base.get());
  EXPECT_EQ(memo->toPlainText(), "");
}

}  // namespace
