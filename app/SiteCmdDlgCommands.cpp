// Sending one command and showing its reply; the site actions, the raw
// command and the anti-idle timer that feed it.
#include "AntiIdle.h"
#include "CommandText.h"
#include "SiteCmdDlg.h"
#include "res/SiteActions.h"
#include "res/resource.h"

namespace {
const char kLineBreakInCommand[] =
    "The command holds a line break or a NUL character.\n\n"
    "The server would take each line as a command of its own, so nothing was sent.";
}  // namespace

void CSiteCmdDlg::SendCommand(CString command) {
  if (command.empty()) return;
  command = StripCommandEnd(std::move(command));
  if (command.empty()) return;
  const long end = m_richOutput.GetWindowTextLength();
  m_richOutput.SetSel(end, end);
  if (!IsConnected()) return;

  const ControlConnection::Result result = m_connection.Exchange(command);
  m_blockStart = -1;
  if (result == ControlConnection::Result::Unsendable) MessageBox(kLineBreakInCommand, "Can't send!", MB_ICONERROR);
}

void CSiteCmdDlg::OnSiteAction(int id) {
  for (const SiteAction& action : kSiteActions)
    if (action.id == id) SendCommand(action.command);
}

void CSiteCmdDlg::OnExecuteRaw() {
  if (m_bAutoSite)
    SendCommand("SITE " + m_strRawCommand);
  else
    SendCommand(m_strRawCommand);
}

void CSiteCmdDlg::OnAutoSiteCheck() { UpdateData(TRUE); }

void CSiteCmdDlg::OnAntiIdleCheck() {
  UpdateData(TRUE);
  if (m_bAntiIdle)
    SetTimer(TIMER_ANTI_IDLE, AntiIdlePeriodMs(m_nAntiIdleInterval));
  else
    KillTimer(TIMER_ANTI_IDLE);
}

void CSiteCmdDlg::OnAntiIdleTimer() {
  SendCommand(m_strAntiIdleCommand);  // no "SITE " prefix, whatever the raw command's box says
  KillTimer(TIMER_ANTI_IDLE);
  SetTimer(TIMER_ANTI_IDLE, AntiIdlePeriodMs(m_nAntiIdleInterval));
}
