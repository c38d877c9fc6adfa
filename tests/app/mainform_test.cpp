// Start-up of the main window: the components its description builds, what it
// shows on the demo network and without the client, its layout, and the
// program itself.
#include <QApplication>
#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>

#include <memory>

#include "app_support.h"
#include "netware/nwnds.h"

namespace {

// The viewer on the demo network.
class ViewerOnDemoNetwork : public app_test::DemoNetwork {};
using app_test::NodeTexts;

const QStringList kConstructionOrder = {
    "SuperPanel1", "SuperPanel2", "dataPanel",   "SuperPanel4",        "Label3",     "Label2",
    "label1",      "NWNDSAttrEdit2", "objNameEdit", "NWNDSAttrEdit1",  "GroupBox1",  "phoneMemo",
    "GroupBox2",   "NWLoginScriptMemo1", "listPanel", "ndsTreeView",   "ToolBar1",   "ToolButton2",
    "passBtn",     "lineMsgBtn",  "ToolButton6", "ToolButton4",        "NWBase1",    "ImageList1",
    "ImageList2"};

QStringList ComponentNames(const TCustomForm &form) {
  QStringList names;
  for (QObject *component : form.Components()) names << component->objectName();
  return names;
}

// Counts the directory listings that start (a listing may take several calls).
PFN_NWDSList realList = nullptr;
int listingsStarted = 0;

NWDSCCODE NWAPI CountingList(NWDSContextHandle context, const char *object, nint32 *iteration, pBuf_T reply) {
  if (iteration == nullptr || *iteration == NO_MORE_ITERATIONS) ++listingsStarted;
  return realList(context, object, iteration, reply);
}

void CountListings(FakeClient &client) {
  nwlib::Loader &system = nwlib::SystemLoader();
  nwlib::LibHandle library = system.Open(nwlib::PlatformLibraryName("NETWIN32.DLL"));
  ASSERT_NE(library, nullptr);
  realList = reinterpret_cast<PFN_NWDSList>(system.Symbol(library, "NWDSList"));
  ASSERT_NE(realList, nullptr);
  listingsStarted = 0;
  client.Replace("NWDSList", &CountingList);
}

// The four client libraries are missing.
struct NoClient {
  NoClient() {
    for (const char *dll : {"NETWIN32.DLL", "LOCWIN32.DLL", "CALWIN32.DLL", "CLXWIN32.DLL"}) client.WithoutLibrary(dll);
  }
  FakeClient client;
};

TEST_F(ViewerOnDemoNetwork, StartUpBuildsTheWindowAndShowsTheLoggedInIdentity) {
  CountListings(client);
  TForm1 form;

  EXPECT_EQ(ComponentNames(form), kConstructionOrder);
  EXPECT_FALSE(form.Loading());
  EXPECT_EQ(form.windowTitle(), "Directory Services Viewer");
  EXPECT_EQ(form.size(), QSize(532, 450));
  ASSERT_TRUE(form.NWBase1->NDSAvailable());

  // The tree was filled once, after loading, with the objects below [Root],
  // named without types; no node has children or is selected, and the
  // design-time sample node is gone.
  TNWTreeView &tree = *form.ndsTreeView;
  EXPECT_EQ(listingsStarted, 1);
  EXPECT_EQ(tree.NWBase(), form.NWBase1);
  EXPECT_EQ(tree.ShowObjType(), nwlNDSObjList);
  EXPECT_EQ(QString::fromStdString(CurrentContextName()), "[Root]");
  EXPECT_NE(GetContextFlags() & DCV_TYPELESS_NAMES, 0u);
  const TNWObjList roots = ListSubordinates(std::string(), std::string());
  ASSERT_FALSE(roots.empty());
  QStringList expected;
  for (const TNWObjItem &item : roots) expected << NWToQString(item.text);
  EXPECT_EQ(NodeTexts(tree, nullptr), expected);
  for (int i = 0; i < tree.topLevelItemCount(); ++i) {
    const QTreeWidgetItem *node = tree.topLevelItem(i);
    EXPECT_FALSE(node->text(0).contains('=')) << node->text(0).toStdString();
    EXPECT_EQ(node->childCount(), 0);
    EXPECT_EQ(TNWTreeView::NodeValue(node), roots[static_cast<std::size_t>(i)].value);
  }
  EXPECT_FALSE(NodeTexts(tree, nullptr).contains("ndsTreeView"));
  EXPECT_EQ(tree.currentItem(), nullptr);
  EXPECT_TRUE(tree.Text().isEmpty());

  // The two fields show the logged-in identity's common name and full name.
  const QString identity = form.NWBase1->LoginID();
  const QString commonName = identity.section('.', 0, 0).section('=', -1);
  ASSERT_FALSE(commonName.isEmpty()) << identity.toStdString();
  EXPECT_EQ(form.NWNDSAttrEdit1->text().compare(commonName, Qt::CaseInsensitive), 0)
      << form.NWNDSAttrEdit1->text().toStdString() << " for " << identity.toStdString();
  EXPECT_FALSE(form.NWBase1->LoginFullName().isEmpty());
  EXPECT_EQ(form.NWNDSAttrEdit2->text(), form.NWBase1->LoginFullName());

  // The login script editor shows that identity's script.
  std::unique_ptr<THandleStream> stream;
  ASSERT_TRUE(OpenAttrStream(std::string(), QToNWString(identity), dsaLoginScript, stream));
  const QString script = NWToQString(stream->ReadAll());
  const QString shown = form.NWLoginScriptMemo1->toPlainText();
  EXPECT_FALSE(shown.isEmpty());
  EXPECT_EQ(shown.split('\n', Qt::SkipEmptyParts), QString(script).replace("\r\n", "\n").split('\n', Qt::SkipEmptyParts))
      << shown.toStdString();

  // Nothing is chosen yet.
  EXPECT_FALSE(form.passBtn->isEnabled());
  EXPECT_FALSE(form.lineMsgBtn->isEnabled());
  EXPECT_TRUE(form.ToolButton4->isEnabled());
  EXPECT_TRUE(form.objNameEdit->text().isEmpty());
  EXPECT_TRUE(form.phoneMemo->toPlainText().isEmpty());
}

TEST(MainWindow, WithoutTheClientLibrariesTheWindowShowsAnEmptyTree) {
  NoClient none;
  TForm1 form;
  EXPECT_EQ(form.windowTitle(), "Directory Services Viewer");
  EXPECT_FALSE(form.NWBase1->NetAvailable());
  EXPECT_EQ(form.ndsTreeView->topLevelItemCount(), 0);
  EXPECT_TRUE(form.NWNDSAttrEdit1->text().isEmpty());
  EXPECT_TRUE(form.NWNDSAttrEdit2->text().isEmpty());
  EXPECT_TRUE(form.NWLoginScriptMemo1->toPlainText().isEmpty());
  EXPECT_TRUE(form.objNameEdit->text().isEmpty());
  EXPECT_FALSE(form.passBtn->isEnabled());
  EXPECT_FALSE(form.lineMsgBtn->isEnabled());
  form.show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
}

// The late references and the enumerators of the description reached their
// components; the glyphs exist; the identity fields take no input.
TEST(MainWindow, TheDescriptionBindsEveryComponent) {
  NoClient none;
  TForm1 form;
  for (TNWNDSAttrEdit *edit : {form.NWNDSAttrEdit1, form.NWNDSAttrEdit2}) EXPECT_EQ(edit->NWBase(), form.NWBase1);
  EXPECT_EQ(form.NWNDSAttrEdit1->NDSAttribute(), dsaCommonName);
  EXPECT_EQ(form.NWNDSAttrEdit2->NDSAttribute(), dsaFullName);
  EXPECT_EQ(form.NWLoginScriptMemo1->NWBase(), form.NWBase1);
  EXPECT_EQ(form.ndsTreeView->NWBase(), form.NWBase1);
  EXPECT_EQ(form.ndsTreeView->ShowObjType(), nwlNDSObjList);
  EXPECT_TRUE(form.ndsTreeView->OnExpandUser());
  EXPECT_FALSE(form.ndsTreeView->OnExpandOrg());
  EXPECT_TRUE(form.NWBase1->NDSContextFlags()->TypelessNames());
  EXPECT_EQ(form.ToolBar1->Images(), form.ImageList1);
  EXPECT_EQ(form.ToolBar1->DisabledImages(), form.ImageList2);

  for (TImageList *images : {form.ImageList1, form.ImageList2}) {
    ASSERT_EQ(images->Count(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(images->Pixmap(i).isNull()) << images->objectName().toStdString() << i;
  }
  for (TToolButton *button : {form.passBtn, form.lineMsgBtn, form.ToolButton4}) {
    EXPECT_FALSE(button->icon().isNull()) << button->objectName().toStdString();
    EXPECT_TRUE(button->OnClick()) << button->objectName().toStdString();
  }
  EXPECT_EQ(form.passBtn->toolTip(), "Change Password");
  EXPECT_EQ(form.lineMsgBtn->toolTip(), "Send Line Message");

  EXPECT_FALSE(form.NWNDSAttrEdit1->isEnabled());
  EXPECT_FALSE(form.objNameEdit->isEnabled());
  EXPECT_TRUE(form.phoneMemo->isEnabled());
  EXPECT_TRUE(form.NWLoginScriptMemo1->isEnabled());
}

TEST(MainWindow, TheLayoutFollowsTheDescription) {
  NoClient none;
  TForm1 form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

  EXPECT_EQ(form.ToolBar1->geometry(), QRect(0, 0, 532, 33));
  EXPECT_EQ(form.ToolButton2->geometry(), QRect(0, 2, 8, 27));
  EXPECT_EQ(form.passBtn->geometry(), QRect(8, 2, 28, 27));
  EXPECT_EQ(form.lineMsgBtn->geometry(), QRect(36, 2, 28, 27));
  EXPECT_EQ(form.ToolButton6->geometry(), QRect(64, 2, 153, 27));
  EXPECT_EQ(form.ToolButton4->geometry(), QRect(217, 2, 28, 27));

  EXPECT_EQ(form.SuperPanel1->geometry(), QRect(0, 33, 532, 417));
  EXPECT_EQ(form.SuperPanel2->geometry(), QRect(10, 10, 512, 397));
  // Inside the single-line border and the border width of 5.
  const int inset = form.SuperPanel2->frameWidth() + 5;
  const int innerHeight = 397 - 2 * inset;
  EXPECT_EQ(form.dataPanel->geometry(), QRect(512 - inset - 277, inset, 277, innerHeight));
  EXPECT_EQ(form.listPanel->geometry(), QRect(inset, inset, 512 - 2 * inset - 277, innerHeight));
  EXPECT_EQ(form.ndsTreeView->geometry(), QRect(1, 1, form.listPanel->width() - 2, innerHeight - 2));

  EXPECT_EQ(form.SuperPanel4->geometry(), QRect(2, 2, 273, 102));
  EXPECT_EQ(form.GroupBox1->geometry(), QRect(2, 104, 273, 105));
  EXPECT_EQ(form.GroupBox2->geometry(), QRect(2, 209, 273, innerHeight - 2 - 209));
  EXPECT_TRUE(form.GroupBox1->contentsRect().contains(form.phoneMemo->geometry()));
  EXPECT_TRUE(form.GroupBox2->contentsRect().contains(form.NWLoginScriptMemo1->geometry()));
  EXPECT_GT(form.NWLoginScriptMemo1->height(), form.phoneMemo->height());

  EXPECT_EQ(form.label1->geometry(), QRect(5, 4, 122, 16));
  EXPECT_EQ(form.Label2->geometry(), QRect(10, 36, 117, 16));
  EXPECT_EQ(form.Label3->geometry(), QRect(10, 68, 117, 16));
  EXPECT_EQ(form.NWNDSAttrEdit1->geometry(), QRect(129, 1, 140, 24));
  EXPECT_EQ(form.objNameEdit->geometry(), QRect(129, 33, 140, 24));
  EXPECT_EQ(form.NWNDSAttrEdit2->geometry(), QRect(129, 65, 140, 24));

  // Centred on the screen, whatever the stored position said.
  const QPoint centre = form.screen()->availableGeometry().center();
  EXPECT_LE((form.frameGeometry().center() - centre).manhattanLength(), 4)
      << form.frameGeometry().center().x() << "," << form.frameGeometry().center().y();
}

// The program itself starts on the offscreen platform and keeps running
// until it is stopped.
TEST(MainWindow, TheProgramStartsAndRuns) {
  const QString program = QCoreApplication::applicationDirPath() + "/dsviewer";
  ASSERT_TRUE(QFile::exists(program)) << program.toStdString();
  QProcess viewer;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  viewer.setProcessEnvironment(environment);
  viewer.start(program, QStringList());
  ASSERT_TRUE(viewer.waitForStarted(10000));
  EXPECT_FALSE(viewer.waitForFinished(4000)) << "ended with " << viewer.exitCode() << ": "
                                             << viewer.readAllStandardError().toStdString();
  EXPECT_EQ(viewer.state(), QProcess::Running);
  viewer.terminate();
  if (!viewer.waitForFinished(10000)) {
    viewer.kill();
    viewer.waitForFinished(5000);
  }
}

// The program's loop: the window is shown until its close button ends the
// loop with exit code 0.
TEST_F(ViewerOnDemoNetwork, TheCloseButtonEndsTheProgramWithCodeZero) {
  QString title;
  bool shown = false;
  QTimer::singleShot(0, [&] {
    for (QWidget *window : QApplication::topLevelWidgets()) {
      auto *form = qobject_cast<TForm1 *>(window);
      if (form == nullptr) continue;
      title = form->windowTitle();
      shown = form->isVisible();
      QTest::mouseClick(form->ToolButton4, Qt::LeftButton);
    }
  });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  guard.start(30000);
  EXPECT_EQ(RunMainWindow(), 0);
  EXPECT_EQ(title, "Directory Services Viewer");
  EXPECT_TRUE(shown);
}

}  // namespace
