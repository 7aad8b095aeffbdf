#include "SiteCmdApp.h"

#include <QApplication>
#include <QEventLoop>
#include <csignal>

#include "MainWindow.h"
#include "MessageBox.h"
#include "SiteCmdDlg.h"
#include "Text.h"
#include "res/Strings.h"

namespace {

// Text of the command line (the locale's encoding) as Windows-1252 bytes;
// false when a character has no Windows-1252 byte.
bool LocalToCp1252(const std::string& local, std::string& bytes) {
  const QString text = QString::fromLocal8Bit(local.data(), static_cast<qsizetype>(local.size()));
  bytes = platform::ToCp1252(text);
  return platform::FromCp1252(bytes) == text;
}

// A box with an OK button and an exclamation icon, and no caption (the window
// system shows the program's name), as the program's own boxes always had.
void ProgramBox(const std::string& text) {
  platform::ShowMessageBox(nullptr, {text, "", platform::kBoxOk | platform::kBoxWarning});
}

}  // namespace

bool FillConnectionFields(const StartTarget& target, CSiteCmdDlg& dlg, std::string& message) {
  std::string login, host;
  if (!LocalToCp1252(target.login, login) || !LocalToCp1252(target.host, host)) {
    message =
        "The address on the command line holds characters that the connection fields can't show; it was "
        "not used.";
    return false;
  }
  dlg.m_form.login = login;
  dlg.m_form.host = host;
  dlg.m_form.port = target.port;
  dlg.m_form.tls = target.tls;  // ftpes:// and ftps:// ask for FTPS
  dlg.m_implicitTls = target.implicitTls;
  return true;
}

int RunProgram(int argc, char** argv, const StartOptions& start) {
  QApplication app(argc, argv);
  // A peer that closes while we write must be a failed send, not the end of the process.
  if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
    ProgramBox(kStrSocketsInitFailed);
    return 0;
  }
  std::string message = start.message;
  MainWindow window;
  QEventLoop loop;
  window.onAllClosed = [&loop] { loop.quit(); };
  window.NewTab([&](CSiteCmdDlg& first) {
    if (start.target) FillConnectionFields(*start.target, first, message);
    // The fields stay empty; the user learns why before the window opens.
    if (!message.empty()) ProgramBox(message);
  });
  loop.exec();
  return 0;
}
