#pragma once

#include "App.h"
#include "CommandLine.h"

class CSiteCmdApp : public CWinApp {
 public:
  explicit CSiteCmdApp(StartOptions start = {}) : m_start(std::move(start)) {}
  BOOL InitInstance() override;

 private:
  StartOptions m_start;  // the address to fill in, or why the one given is not used
};
