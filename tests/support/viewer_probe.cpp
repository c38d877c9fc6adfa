// Preloaded (LD_PRELOAD) into the real viewer by the program tests: once the
// viewer's loop runs, prints what its window shows and where the client came
// from, then ends the program as its close button would (exit code 3 when
// no window is shown).
//   window <title>            the shown main window
//   icon <0|1>                whether the window carries an icon
//   node <text>               each top-level node of the directory tree
//   library <path>            each client library the program loaded
#include <link.h>

#include <QApplication>
#include <QFileInfo>
#include <QMetaObject>
#include <QTreeWidget>
#include <QWidget>

#include <cstdio>

namespace {

int PrintClientLibrary(dl_phdr_info *info, size_t, void *) {
  const QString name = QFileInfo(QString::fromLocal8Bit(info->dlpi_name)).fileName();
  for (const char *library : {"libnetwin32.so", "liblocwin32.so", "libcalwin32.so", "libclxwin32.so", "libnwclientcore.so",
                              "libnwclientldap.so"}) {
    if (name == QLatin1String(library)) std::printf("library %s\n", info->dlpi_name);
  }
  return 0;
}

void Report() {
  bool shown = false;
  for (QWidget *window : QApplication::topLevelWidgets()) {
    if (!window->isVisible()) continue;
    shown = true;
    std::printf("window %s\n", qPrintable(window->windowTitle()));
    std::printf("icon %d\n", window->windowIcon().isNull() ? 0 : 1);
    if (auto *tree = window->findChild<QTreeWidget *>(QStringLiteral("ndsTreeView"))) {
      for (int i = 0; i < tree->topLevelItemCount(); ++i) std::printf("node %s\n", qPrintable(tree->topLevelItem(i)->text(0)));
    }
    window->close();
  }
  dl_iterate_phdr(&PrintClientLibrary, nullptr);
  std::fflush(stdout);
  if (!shown) QCoreApplication::exit(3);
}

void Start() { QMetaObject::invokeMethod(QCoreApplication::instance(), &Report, Qt::QueuedConnection); }

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)
