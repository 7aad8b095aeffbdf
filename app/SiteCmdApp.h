#pragma once

#include "App.h"

class CSiteCmdApp : public CWinApp {
 public:
  BOOL InitInstance() override;
};
