#include "WindowHarness.h"

#include <QAbstractButton>
#include <QTest>

#include "SiteCmdDlg.h"
#include "res/resource.h"

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

bool WindowHarness::ConnectTab(CSiteCmdDlg& tab, unsigned port, const std::string& password) {
  tab.m_form.host = "127.0.0.1";
  tab.m_form.port = port;
  tab.m_form.login = "u";
  tab.m_form.password = password;
  tab.WriteFields();
  qobject_cast<QAbstractButton*>(tab.Control(IDC_CONNECT))->click();
  return WaitUntil([&] { return tab.IsConnected() && !tab.IsWorking(); });
}
