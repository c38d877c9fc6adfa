// The controls' tests run inside a widget application on the offscreen
// platform, with a drive folder of their own unless the runner gives one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir drives;
  if (qEnvironmentVariableIsEmpty("NWCLIENT_DRIVES")) qputenv("NWCLIENT_DRIVES", drives.path().toLocal8Bit());
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
