// Main of the GUI tests: an offscreen application, and a throwaway HOME so the
// tests never touch the user's real history.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const fs::path home = fs::temp_directory_path() / ("korvastel-gui-" + std::to_string(::getpid()));
  fs::create_directories(home / "config");
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  std::error_code ec;
  fs::remove_all(home, ec);
  return rc;
}
