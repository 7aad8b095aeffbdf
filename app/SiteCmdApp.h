#pragma once

#include "App.h"
#include "CommandLine.h"

class CSiteCmdDlg;

// Puts a start-up address into the dialog's connection members before it is
// shown; false, with the reason in `message`, when it can't be shown there.
bool FillConnectionFields(const StartTarget& target, CSiteCmdDlg& dlg, std::string& message);

class CSiteCmdApp : public CWinApp {
 public:
  explicit CSiteCmdApp(StartOptions start = {}) : m_start(std::move(start)) {}
  bool InitInstance() override;

 private:
  StartOptions m_start;  // the address to fill in, or why the one given is not used
};
