#include "App.h"

#include <QApplication>
#include <QFileInfo>
#include <csignal>

#include "MessageBox.h"
#include "internal/Cp1252.h"

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp() { g_app = this; }
CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() {
  static CWinApp fallback;  // tests that build a dialog without an application object
  return g_app ? g_app : &fallback;
}

int CWinApp::Run(int argc, char** argv) {
  QApplication app(argc, argv);
  m_pszAppName = argc > 0 ? QFileInfo(QString::fromLocal8Bit(argv[0])).completeBaseName().toStdString() : "korvastel";
  InitInstance();
  return 0;
}

bool AfxSocketInit() {
  // A peer that closes while we write must be a failed send, not the end of the process.
  return std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
}

void AfxEnableControlContainer() {}

int AfxMessageBox(const std::string& text) {
  return platform::ShowMessageBox(nullptr, {text, AfxGetApp()->m_pszAppName, MB_OK | MB_ICONEXCLAMATION});
}

bool AfxLocalToAnsi(const std::string& local, std::string& ansi) {
  const QString text = QString::fromLocal8Bit(local.data(), static_cast<qsizetype>(local.size()));
  ansi = platform::ToCp1252(text);
  return platform::FromCp1252(ansi) == text;
}
