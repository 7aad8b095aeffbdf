// Main of the GUI tests: an offscreen application, and a throwaway HOME so the
// tests never touch the user's real history.
#include <gtest/gtest.h>

#include <QApplication>

#include "TempFiles.h"

int main(int argc, char** argv) {
  const TempDir home("korvastel-gui-");
  std::filesystem::create_directories(home / "config");
  const ScopedEnv homeVar("HOME", home.Path().string()), config("XDG_CONFIG_HOME", (home / "config").string());
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
