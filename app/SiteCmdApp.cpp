#include "SiteCmdApp.h"

#include "SiteCmdDlg.h"
#include "res/Strings.h"

BOOL CSiteCmdApp::InitInstance() {
  if (!AfxSocketInit()) {
    AfxMessageBox(kStrSocketsInitFailed);
    return FALSE;
  }
  AfxEnableControlContainer();
  {
    CSiteCmdDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
  }
  // The framework runs no message loop of its own after the dialog.
  return FALSE;
}
