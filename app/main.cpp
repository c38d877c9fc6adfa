// Directory Services Viewer: starts the application, shows the main window
// and runs until it is closed.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/main.h"

int main(int argc, char **argv) {
  QApplication application(argc, argv);
  // Ties the window to the menu entry dsviewer.desktop.
  QGuiApplication::setDesktopFileName(QStringLiteral("dsviewer"));
  // The texts in the user's language where a translation is installed: the
  // toolkit's own (dialog buttons) and the viewer's.
  QTranslator toolkitTexts;
  if (toolkitTexts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(&toolkitTexts);
  }
  QTranslator viewerTexts;
  if (viewerTexts.load(QLocale(), QStringLiteral("dsviewer"), QStringLiteral("_"),
                       QCoreApplication::applicationDirPath() + QStringLiteral("/" NW_TRANSLATIONS_FROM_BIN))) {
    QCoreApplication::installTranslator(&viewerTexts);
  }
  return RunMainWindow();
}
