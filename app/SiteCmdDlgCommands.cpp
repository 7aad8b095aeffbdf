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

void CSiteCmdDlg::SendCommand(std::string command) { SendCommands({std::move(command)}); }

void CSiteCmdDlg::SendCommands(std::vector<std::string> commands) {
  std::vector<std::string> lines;
  for (std::string& command : commands) {
    command = StripCommandEnd(std::move(command));
    if (!command.empty()) lines.push_back(std::move(command));
  }
  if (lines.empty()) return;
  const long end = m_transcript.GetWindowTextLength();
  m_transcript.SetSel(end, end);
  if (!IsConnected() || IsWorking()) return;  // one exchange at a time: a second click is not queued
  for (const std::string& line : lines)
    if (!ControlConnection::IsSendable(line)) {
      MessageBox(kLineBreakInCommand, "Can't send!", MB_ICONERROR);
      return;
    }
  m_blockStart = -1;
  m_session->Run(std::move(lines));
}

void CSiteCmdDlg::OnRunDone(ControlConnection::Result) {
  m_blockStart = -1;
  if (m_antiIdleDue) {  // the tick that fell due meanwhile, once
    m_antiIdleDue = false;
    OnAntiIdleTimer();
  } else if (m_antiIdleSent) {
    RestartAntiIdle();
  }
}

void CSiteCmdDlg::OnSiteAction(int id) {
  for (const SiteAction& action : kSiteActions)
    if (action.id == id) SendCommand(action.command);
}

void CSiteCmdDlg::OnExecuteRaw() {
  if (m_autoSite)
    SendCommand("SITE " + m_rawCommand);
  else
    SendCommand(m_rawCommand);
}

void CSiteCmdDlg::OnAutoSiteCheck() { ReadFields(); }

void CSiteCmdDlg::OnAntiIdleCheck() {
  ReadFields();
  m_antiIdleDue = m_antiIdleSent = false;
  if (m_antiIdle)
    SetTimer(TIMER_ANTI_IDLE, AntiIdlePeriodMs(m_antiIdleInterval));
  else
    KillTimer(TIMER_ANTI_IDLE);
}

// The next tick a full period after the anti-idle exchange has ended.
void CSiteCmdDlg::OnAntiIdleTimer() {
  KillTimer(TIMER_ANTI_IDLE);
  if (IsWorking()) {  // ticks do not pile up: one runs after the exchange
    m_antiIdleDue = true;
    return;
  }
  SendCommand(m_antiIdleCommand);  // no "SITE " prefix, whatever the raw command's box says
  m_antiIdleSent = IsWorking();
  if (!m_antiIdleSent) RestartAntiIdle();
}

void CSiteCmdDlg::RestartAntiIdle() {
  m_antiIdleSent = false;
  if (m_antiIdle) SetTimer(TIMER_ANTI_IDLE, AntiIdlePeriodMs(m_antiIdleInterval));
}
