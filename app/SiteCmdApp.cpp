#include "SiteCmdApp.h"

#include <QEventLoop>

#include "MainWindow.h"
#include "SiteCmdDlg.h"
#include "res/Strings.h"

bool FillConnectionFields(const StartTarget& target, CSiteCmdDlg& dlg, std::string& message) {
  std::string login, host;
  if (!AfxLocalToAnsi(target.login, login) || !AfxLocalToAnsi(target.host, host)) {
    message =
        "The address on the command line holds characters that the connection fields can't show; it was "
        "not used.";
    return false;
  }
  dlg.m_login = login;
  dlg.m_host = host;
  dlg.m_port = target.port;
  dlg.m_tls = target.tls;  // ftpes:// and ftps:// ask for FTPS
  dlg.m_implicitTls = target.implicitTls;
  return true;
}

bool CSiteCmdApp::InitInstance() {
  if (!AfxSocketInit()) {
    AfxMessageBox(kStrSocketsInitFailed);
    return false;
  }
  AfxEnableControlContainer();
  {
    std::string message = m_start.message;
    MainWindow window;
    QEventLoop loop;
    window.onAllClosed = [&loop] { loop.quit(); };
    window.NewTab([&](CSiteCmdDlg& first) {
      if (m_start.target) FillConnectionFields(*m_start.target, first, message);
      // The fields stay empty; the user learns why before the window opens.
      if (!message.empty()) AfxMessageBox(message);
    });
    loop.exec();
  }
  // The framework runs no message loop of its own after the dialog.
  return false;
}
