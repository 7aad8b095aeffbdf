#include "WindowHarness.h"

#include <QTest>

WindowHarness::WindowHarness(const std::optional<std::string>& commandList, bool ownConfig) : folder(m_temp.Path()) {
  if (commandList) WriteFile(folder / "commandList.ini", *commandList);
  if (ownConfig) m_config.emplace("XDG_CONFIG_HOME", folder.string());
  platform::SetMessageBoxPresenter([this](const platform::MessageBoxCall& call) {
    boxes.push_back(call);
    return answer;
  });
  window = std::make_unique<MainWindow>();
}

WindowHarness::~WindowHarness() {
  if (window) window->close();
  window.reset();
  platform::SetMessageBoxPresenter({});
}

bool WindowHarness::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  return QTest::qWaitFor(done, timeoutMs);
}
