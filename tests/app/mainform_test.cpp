// Start-up of the main window: the components its description builds, what it
// shows on the demo network and without the client, its layout, the names
// screen readers give its controls, and the program itself, as built and as
// installed.
#include <link.h>

#include <QAccessible>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>

#include <memory>
#include <string>
#include <utility>

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
    // The stored form gives the tree no image list: no node shows a picture.
    EXPECT_TRUE(node->icon(0).isNull()) << node->text(0).toStdString();
  }
  EXPECT_EQ(tree.Images(), nullptr);
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
  EXPECT_EQ(form.ndsTreeView->PlaceholderText(), "No NetWare client found");
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

// Read through Qt's accessibility interfaces, as a screen reader reads them.
TEST(MainWindow, ScreenReadersGetANameForEveryControl) {
  NoClient none;
  TForm1 form;
  const auto accessible = [](QObject *object) {
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(object);
    EXPECT_NE(face, nullptr) << object->objectName().toStdString();
    return face;
  };
  const std::pair<QObject *, QString> named[] = {
      {form.passBtn, "Change Password"},          {form.lineMsgBtn, "Send Line Message"},
      {form.ToolButton4, "Close"},                {form.NWNDSAttrEdit1, "Common Name"},
      {form.objNameEdit, "Object ID"},            {form.NWNDSAttrEdit2, "Full Name"},
      {form.phoneMemo, "Telephone"},              {form.NWLoginScriptMemo1, "Login Script"}};
  for (const auto &[control, name] : named) {
    if (QAccessibleInterface *face = accessible(control)) {
      EXPECT_EQ(face->text(QAccessible::Name), name) << control->objectName().toStdString();
    }
  }
  for (TToolButton *button : {form.passBtn, form.lineMsgBtn, form.ToolButton4}) {
    if (QAccessibleInterface *face = accessible(button)) {
      EXPECT_EQ(face->role(), QAccessible::Button) << button->objectName().toStdString();
    }
  }
  // The separators are no unnamed buttons.
  for (TToolButton *separator : {form.ToolButton2, form.ToolButton6}) {
    if (QAccessibleInterface *face = accessible(separator)) {
      EXPECT_EQ(face->role(), QAccessible::Separator) << separator->objectName().toStdString();
    }
  }
  // The labels lead to their fields.
  EXPECT_EQ(form.label1->buddy(), form.NWNDSAttrEdit1);
  EXPECT_EQ(form.Label2->buddy(), form.objNameEdit);
  EXPECT_EQ(form.Label3->buddy(), form.NWNDSAttrEdit2);
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

#ifdef NW_VIEWER_PROBE
// What the real program showed, as the preloaded probe reports it.
struct ProgramRun {
  int exitCode = -1;
  QString title;
  bool icon = false;
  QStringList nodes;
  QStringList libraries;  // the client's, with the folders they came from
  std::string errors;
};

// The objects below [Root] of the demo network, as the tree shows them.
const QStringList kDemoTopLevel = {"US", "ACME"};

// The file of a library this test program has loaded whose name starts with `stem`.
QString LoadedLibrary(const char *stem) {
  struct Search {
    const char *stem;
    QString found;
  } search{stem, {}};
  dl_iterate_phdr(
      [](dl_phdr_info *info, size_t, void *data) {
        auto *s = static_cast<Search *>(data);
        const QString path = QString::fromLocal8Bit(info->dlpi_name);
        if (QFileInfo(path).fileName().startsWith(QLatin1String(s->stem))) s->found = path;
        return 0;
      },
      &search);
  return search.found;
}

// Runs the program offscreen in `folder` with the probe preloaded, with
// neither LD_LIBRARY_PATH nor a network of the caller's choice (only
// `network` when given) and no build folder on the search path, until the
// probe closes its window.
ProgramRun RunWithProbe(const QString &program, const QString &folder, const QString &network = QString()) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("LD_LIBRARY_PATH");
  environment.remove("NWCLIENT_NETWORK");
  if (!network.isEmpty()) environment.insert("NWCLIENT_NETWORK", network);
  environment.insert("PATH", "/usr/bin:/bin");
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  // A program built with the sanitizers needs their run-time library first.
  QStringList preload = {QStringLiteral(NW_VIEWER_PROBE)};
  if (const QString sanitizer = LoadedLibrary("libasan.so"); !sanitizer.isEmpty()) preload.prepend(sanitizer);
  environment.insert("LD_PRELOAD", preload.join(' '));

  QProcess viewer;
  viewer.setProcessEnvironment(environment);
  viewer.setWorkingDirectory(folder);
  viewer.start(program, QStringList());
  ProgramRun run;
  if (!viewer.waitForFinished(60000)) {
    viewer.kill();
    viewer.waitForFinished(5000);
  }
  if (viewer.exitStatus() == QProcess::NormalExit) run.exitCode = viewer.exitCode();
  run.errors = viewer.readAllStandardError().toStdString();
  for (const QString &line : QString::fromLocal8Bit(viewer.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
    const QString value = line.section(' ', 1);
    if (line.startsWith("window ")) run.title = value;
    if (line.startsWith("icon ")) run.icon = value == "1";
    if (line.startsWith("node ")) run.nodes << value;
    if (line.startsWith("library ")) run.libraries << value;
  }
  return run;
}

// The program shows the demo tree with the client from `folder` and from
// nowhere else: its four libraries and their core, and the LDAP library only
// when the network asks for it.
void ExpectDemoTreeWithClientFrom(const ProgramRun &run, const QString &folder, int libraries = 5) {
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_EQ(run.title, "Directory Services Viewer");
  EXPECT_TRUE(run.icon);
  EXPECT_EQ(run.nodes, kDemoTopLevel) << run.errors;
  EXPECT_EQ(run.libraries.size(), libraries) << run.libraries.join(' ').toStdString();
  const QString wanted = QFileInfo(folder).canonicalFilePath();
  for (const QString &library : run.libraries) EXPECT_EQ(QFileInfo(library).canonicalPath(), wanted) << library.toStdString();
}

// The built program finds its client through its run path alone, also when
// built with the sanitizers, whose dlopen sees no RUNPATH.
TEST(Program, TheBuiltProgramFindsItsClientThroughItsRunPath) {
  app_test::TempDir folder;
  const ProgramRun run = RunWithProbe(QCoreApplication::applicationDirPath() + "/dsviewer", QString::fromStdString(folder.path()));
  ExpectDemoTreeWithClientFrom(run, QStringLiteral(NW_LIB_DIR));
}

// Installed into a staging folder, the program runs from there: it finds the
// client and the demo network relative to itself, and its menu entry is valid.
TEST(Program, TheInstalledProgramRunsFromItsStagingFolder) {
  app_test::TempDir stage;
  const QString root = QString::fromStdString(stage.path()) + "/usr";
  QProcess install;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("DESTDIR", QString::fromStdString(stage.path()));
  install.setProcessEnvironment(environment);
  install.start(NW_CMAKE_COMMAND, {"--install", NW_BUILD_DIR, "--prefix", "/usr"});
  ASSERT_TRUE(install.waitForFinished(120000));
  ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();

  const QString viewer = root + "/" NW_INSTALL_BINDIR "/dsviewer";
  ExpectDemoTreeWithClientFrom(RunWithProbe(viewer, QString::fromStdString(stage.path())), root + "/" NW_INSTALL_LIBDIR);
  // The demo with its tree read from the installed LDIF file: the client
  // loads its LDAP library, installed beside the others.
  const QString data = root + "/" NW_INSTALL_DATADIR "/dsviewer";
  QFile demoFile(data + "/demo/network.json");
  ASSERT_TRUE(demoFile.open(QIODevice::ReadOnly));
  QJsonObject description = QJsonDocument::fromJson(demoFile.readAll()).object();
  description["tree"] = QJsonObject{{"name", "ACMECORP"}};
  description["directory"] = QJsonObject{{"ldif", data + "/ldap/demo.ldif"}};
  QFile ldifDemo(data + "/demo/ldif-network.json");
  ASSERT_TRUE(ldifDemo.open(QIODevice::WriteOnly));
  ldifDemo.write(QJsonDocument(description).toJson());
  ldifDemo.close();
  ExpectDemoTreeWithClientFrom(RunWithProbe(viewer, QString::fromStdString(stage.path()), ldifDemo.fileName()),
                               root + "/" NW_INSTALL_LIBDIR, 6);
  // The demo's volumes are the installed ones: without them there is no network.
  const QString demo = root + "/" NW_INSTALL_DATADIR "/dsviewer/demo";
  ASSERT_TRUE(QDir().rename(demo, demo + ".moved"));
  const ProgramRun withoutDemo = RunWithProbe(viewer, QString::fromStdString(stage.path()));
  EXPECT_EQ(withoutDemo.exitCode, 0) << withoutDemo.errors;
  EXPECT_TRUE(withoutDemo.nodes.isEmpty());
  EXPECT_NE(withoutDemo.errors.find("nwclient: cannot load the network"), std::string::npos) << withoutDemo.errors;

  const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
  ASSERT_FALSE(validator.isEmpty()) << "desktop-file-validate (desktop-file-utils) is missing";
  QProcess validate;
  validate.setProcessChannelMode(QProcess::MergedChannels);
  validate.start(validator, {root + "/" NW_INSTALL_DATADIR "/applications/dsviewer.desktop"});
  ASSERT_TRUE(validate.waitForFinished(30000));
  EXPECT_EQ(validate.exitCode(), 0);
  EXPECT_EQ(validate.readAll().toStdString(), "");
}
#endif

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
