#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/Application.h"
#include "settings/Settings.h"

// The tests run inside the program's own application object, so that its
// error report is the one under test. Every window they create writes its
// settings into a folder of their own, never the user's.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  TApplication app(argc, argv);
  QTemporaryDir settingsFolder;
  if (!settingsFolder.isValid()) return 2;
  SetSetupFolderOverride(settingsFolder.path());
  return RUN_ALL_TESTS();
}
