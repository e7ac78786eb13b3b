// SPDX-License-Identifier: GPL-2.0-or-later
// GoogleTest with one QApplication for the whole program, on the offscreen platform unless
// the environment names another.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The desktop program's preference goes to a folder of this process, never to the
  // person's own configuration.
  const QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
