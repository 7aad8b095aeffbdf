// The tabbed main window offscreen, in a working folder of its own (and, when
// asked, with $XDG_CONFIG_HOME there too), its message boxes recorded and
// answered.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MainWindow.h"
#include "MessageBox.h"
#include "TempFiles.h"

class WindowHarness {
  // First, so the folder is there before the window and outlives it.
  TempDir m_temp{"korvastel-window-"};
  ScopedCwd m_cwd{m_temp.Path()};
  std::optional<ScopedEnv> m_config;

 public:
  // commandList, when given, is written to the working folder first.
  explicit WindowHarness(const std::optional<std::string>& commandList = std::nullopt, bool ownConfig = false);
  // Closes the window as the program ends (each tab closes before it goes), unless a test has reset it.
  ~WindowHarness();

  // Runs the event loop until done holds or the time is up; returns done().
  static bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);
  // Types u and `password` for 127.0.0.1:port into the tab and clicks Connect; true once logged in and idle.
  static bool ConnectTab(CSiteCmdDlg& tab, unsigned port, const std::string& password = "p");

  std::vector<platform::MessageBoxCall> boxes;
  int answer = platform::kAnswerOk;
  std::filesystem::path folder;
  std::unique_ptr<MainWindow> window;
};
