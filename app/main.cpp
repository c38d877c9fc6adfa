// Directory Services Viewer: starts the application, shows the main window
// and runs until it is closed.
#include <QApplication>

#include "app/main.h"

int main(int argc, char **argv) {
  QApplication application(argc, argv);
  return RunMainWindow();
}
