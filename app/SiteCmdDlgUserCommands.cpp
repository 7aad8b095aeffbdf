// The command list and the "user actions" panel: groups and commands read
// from commandList.ini, the argument rows, and executing a command.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "CommandList.h"
#include "IniStorage.h"
#include "SiteCmdDlg.h"
#include "res/resource.h"

void CSiteCmdDlg::FillGroupList() {
  if (m_iniStorage)
    for (const CString& group : usercommands::GroupList(*m_iniStorage)) m_cbGroup.InsertString(-1, group);
  m_cbGroup.SetCurSel(0);  // selects nothing when there are no groups
  UpdateData(FALSE);
}

CString CSiteCmdDlg::ReadCommandKey(int blockIndex, CString keyName) {
  if (!m_iniStorage) return {};
  return usercommands::ReadCommandValue(*m_iniStorage, blockIndex, keyName);
}

void CSiteCmdDlg::LoadGroupCommands(CString groupName) {
  m_nCommandCount = 0;  // later entries keep what they held; only the count says what is in use
  while (m_cbCommand.GetCount() > 0) {
    m_cbCommand.DeleteString(0);
    UpdateData(FALSE);
  }

  const int blocks = m_iniStorage ? m_iniStorage->GetBlockCount() : 0;
  for (int i = 0; i < blocks; ++i) {
    if (!usercommands::SameGroup(ReadCommandKey(i, "group"), groupName)) continue;
    std::vector<CString> lines = usercommands::ReadCommandLines(*m_iniStorage, i);
    UserCommand::Texts labels;
    for (int n = usercommands::kArgumentCount; n >= 1; --n)
      labels[n - 1] = ReadCommandKey(i, "param" + std::to_string(n));
    CString description = ReadCommandKey(i, "cmdDsc");
    StoreCommand(std::move(description), std::move(lines), std::move(labels));
  }

  UpdateData(FALSE);
  OnCommandSelChange();  // nothing is selected now, so every row is disabled
}

void CSiteCmdDlg::StoreCommand(CString description, std::vector<CString> commandLines, UserCommand::Texts labels) {
  // A group may hold more commands than the table's first size: grow it
  // rather than drop any of them.
  if (static_cast<std::size_t>(m_nCommandCount) >= m_commands.size()) m_commands.resize(m_nCommandCount + 1);
  UserCommand& entry = m_commands[m_nCommandCount];
  entry.description = description;
  entry.commandLines = std::move(commandLines);
  entry.paramLabels = std::move(labels);
  m_cbCommand.InsertString(-1, description);
  ++m_nCommandCount;
  UpdateData(FALSE);
}

void CSiteCmdDlg::OnGroupSelChange() {
  const int sel = m_cbGroup.GetCurSel();
  LoadGroupCommands(sel == CB_ERR ? CString() : m_cbGroup.GetLBText(sel));
  OnCommandSelChange();
}

void CSiteCmdDlg::OnCommandSelChange() {
  if (m_bResetOnChange) {
    m_params.fill(CString());
    UpdateData(FALSE);
  }
  if (m_cbCommand.GetCount() == 0 || m_cbCommand.GetCurSel() == CB_ERR) {
    UpdateParamFields(-1);
    return;
  }

  // Of several commands with this description the last one is chosen. Only
  // that one is shown: the rows it sets replace whatever earlier ones set.
  const CString text = m_cbCommand.GetLBText(m_cbCommand.GetCurSel());
  int chosen = -1;
  for (int i = 0; i < m_nCommandCount; ++i)
    if (m_commands[i].description == text) chosen = i;
  if (chosen < 0) return;  // no such command: rows and choice stay as they were
  UpdateParamFields(chosen);
  m_nCurCommand = chosen;
}

void CSiteCmdDlg::UpdateParamFields(int commandIndex) {
  const UserCommand* command = commandIndex >= 0 && static_cast<std::size_t>(commandIndex) < m_commands.size()
                                   ? &m_commands[commandIndex]
                                   : nullptr;
  for (int n = 1; n <= usercommands::kArgumentCount; ++n) {
    const bool used = command && usercommands::UsesArgument(command->commandLines, n);
    if (CWnd* field = GetDlgItem(IDC_PARAM_FIRST + n - 1)) field->EnableWindow(used ? TRUE : FALSE);
    if (CWnd* label = GetDlgItem(IDC_PARAM_LABEL_FIRST + n - 1))
      label->SetWindowText(used ? command->paramLabels[n - 1] : CString());
  }
  UpdateData(TRUE);  // the label members follow the rows, so later writes show the same labels
}

void CSiteCmdDlg::OnExecuteUser() {
  UpdateData(TRUE);
  // With no command chosen in the combo (at start, after a group change) the
  // rows are disabled; the entry m_nCurCommand names may be another group's.
  if (m_cbCommand.GetCurSel() == CB_ERR) return;
  if (m_nCurCommand < 0 || m_nCurCommand >= m_nCommandCount) return;

  // Every line is built and checked before the first is sent: a line that
  // would swell past all reason, or that an argument would break in two,
  // stops the whole command, and the user is told why.
  const UserCommand& command = m_commands[m_nCurCommand];
  const usercommands::BuiltCommand built = usercommands::BuildCommand(command.commandLines, m_params);
  if (built.problem != usercommands::BuildProblem::None) {
    MessageBox(usercommands::NotSentMessage(command, m_params, built), usercommands::kNotSentCaption, MB_ICONHAND);
    return;
  }
  SendCommands(built.siteLines);
}

void CSiteCmdDlg::OnResetParams() {
  m_params.fill(CString());
  UpdateData(FALSE);
}

void CSiteCmdDlg::OnResetOnChangeCheck() { UpdateData(TRUE); }
