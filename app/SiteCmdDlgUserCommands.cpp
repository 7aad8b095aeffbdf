// The command list and the "user actions" panel: groups and commands read
// from commandList.ini, the argument rows, and executing a command.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include <QLabel>

#include "CommandList.h"
#include "Controls.h"
#include "IniStorage.h"
#include "SiteCmdDlg.h"
#include "Text.h"
#include "res/resource.h"

void CSiteCmdDlg::FillGroupList() {
  if (m_iniStorage)
    for (const std::string& group : usercommands::GroupList(*m_iniStorage)) m_groupList->Append(group);
  m_groupList->Select(0);  // selects nothing when there are no groups
  WriteFields();
}

void CSiteCmdDlg::LoadGroupCommands(std::string groupName) {
  m_commandCount = 0;  // later entries keep what they held; only the count says what is in use
  while (m_commandList->count() > 0) m_commandList->RemoveAt(0);

  if (m_iniStorage)
    for (UserCommand& command : usercommands::CommandsOfGroup(*m_iniStorage, groupName))
      StoreCommand(std::move(command));

  // Fields left unread (one that could not be read) show the form again.
  WriteFields();
  OnCommandSelChange();  // nothing is selected now, so every row is disabled
}

void CSiteCmdDlg::StoreCommand(UserCommand command) {
  // A group may hold more commands than the table's first size: grow it
  // rather than drop any of them.
  if (static_cast<std::size_t>(m_commandCount) >= m_commands.size()) m_commands.resize(m_commandCount + 1);
  m_commands[m_commandCount] = std::move(command);
  m_commandList->Append(m_commands[m_commandCount].description);
  ++m_commandCount;
}

void CSiteCmdDlg::OnGroupSelChange() {
  const int sel = m_groupList->currentIndex();
  LoadGroupCommands(sel == -1 ? std::string() : m_groupList->Entry(sel));
  OnCommandSelChange();
}

void CSiteCmdDlg::OnCommandSelChange() {
  if (m_form.resetOnChange) {
    m_form.params.fill(std::string());
    WriteFields();
  }
  if (m_commandList->count() == 0 || m_commandList->currentIndex() == -1) {
    UpdateParamFields(-1);
    return;
  }

  // Of several commands with this description the last one is chosen. Only
  // that one is shown: the rows it sets replace whatever earlier ones set.
  const std::string text = m_commandList->Entry(m_commandList->currentIndex());
  int chosen = -1;
  for (int i = 0; i < m_commandCount; ++i)
    if (m_commands[i].description == text) chosen = i;
  if (chosen < 0) return;  // no such command: rows and choice stay as they were
  UpdateParamFields(chosen);
  m_currentCommand = chosen;
}

void CSiteCmdDlg::UpdateParamFields(int commandIndex) {
  const UserCommand* command = commandIndex >= 0 && static_cast<std::size_t>(commandIndex) < m_commands.size()
                                   ? &m_commands[commandIndex]
                                   : nullptr;
  for (int n = 1; n <= usercommands::kArgumentCount; ++n) {
    const bool used = command && usercommands::UsesArgument(command->commandLines, n);
    Control(IDC_PARAM_FIRST + n - 1)->setEnabled(used);
    static_cast<QLabel*>(Control(IDC_PARAM_LABEL_FIRST + n - 1))
        ->setText(platform::FromCp1252(used ? command->paramLabels[n - 1] : std::string()));
  }
  ReadFields();
}

void CSiteCmdDlg::OnExecuteUser() {
  ReadFields();
  // With no command chosen in the combo (at start, after a group change) the
  // rows are disabled; the entry m_currentCommand names may be another group's.
  if (m_commandList->currentIndex() == -1) return;
  if (m_currentCommand < 0 || m_currentCommand >= m_commandCount) return;

  if (!m_session) return;
  std::string whyNot;
  const Session::SendResult result = m_session->SendUserCommand(m_commands[m_currentCommand], m_form.params, whyNot);
  if (result == Session::SendResult::NotBuilt)
    Box(whyNot, usercommands::kNotSentCaption, platform::kBoxError);
  else
    ShowSendResult(result);
}

void CSiteCmdDlg::OnResetParams() {
  m_form.params.fill(std::string());
  WriteFields();
}

void CSiteCmdDlg::OnResetOnChangeCheck() { ReadFields(); }
