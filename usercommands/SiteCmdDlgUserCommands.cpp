// Placeholder until the user-command panel lands.
#include "SiteCmdDlg.h"
void CSiteCmdDlg::FillGroupList() {}
CString CSiteCmdDlg::ReadCommandKey(int, CString) { return {}; }
void CSiteCmdDlg::LoadGroupCommands(CString) {}
void CSiteCmdDlg::StoreCommand(CString, std::vector<CString>, CString, CString, CString, CString, CString, CString,
                               CString, CString, CString) {}
void CSiteCmdDlg::OnGroupSelChange() {}
void CSiteCmdDlg::OnCommandSelChange() {}
void CSiteCmdDlg::UpdateParamFields(int) {}
void CSiteCmdDlg::OnExecuteUser() {}
void CSiteCmdDlg::OnResetParams() {}
void CSiteCmdDlg::OnResetOnChangeCheck() {}
