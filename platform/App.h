// Application start: the event loop's owner and the few start-up services.
#pragma once

#include <string>

#include "Types.h"
#include "Window.h"

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  virtual bool InitInstance() { return false; }
  // Creates the GUI application and runs InitInstance; returns the exit code.
  int Run(int argc, char** argv);

  std::string m_pszAppName;  // program file's base name; caption of framework boxes
  CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
// Socket layer start: never fails on POSIX beyond what the system reports.
bool AfxSocketInit();
void AfxEnableControlContainer();
// Text of the command line or the environment (the locale's encoding) as
// Windows-1252 bytes; false when a character has no Windows-1252 byte.
bool AfxLocalToAnsi(const std::string& local, std::string& ansi);
// Box with a string-table text, the application title as caption, an OK button and an exclamation icon.
int AfxMessageBox(const std::string& text);
