// Sending one command and reading its reply; the site actions, the raw
// command and the anti-idle timer that feed it.
#include <iterator>

#include "AntiIdle.h"
#include "CommandText.h"
#include "LineReader.h"
#include "Reply.h"
#include "SiteCmdDlg.h"
#include "Socket.h"
#include "res/resource.h"

namespace {
const char* const kSiteActions[] = {
    "SITE ALUP",  "SITE ALDN",   "SITE WKUP", "SITE WKDN",   "SITE DAYUP",  "SITE DAYDN",
    "SITE NEW",   "SITE WHO",    "SITE SWHO", "SITE LASTON", "SITE LOGINS", "SITE TRAFFIC",
    "SITE USERS", "SITE GROUPS", "SITE STAT", "SITE STATS",  "SITE VERS",   "SITE IDLE",
};
static_assert(std::size(kSiteActions) == IDC_SITE_LAST - IDC_SITE_FIRST + 1);
}  // namespace

void CSiteCmdDlg::SendCommand(CString command) {
  if (command.empty()) return;
  command = StripCommandEnd(std::move(command));
  if (command.empty()) return;
  const long end = m_richOutput.GetWindowTextLength();
  m_richOutput.SetSel(end, end);
  if (m_nConnState != Connected) return;

  m_richOutput.BeginColoredAppend(logCommandColor);
  const int lines = m_richOutput.GetLineCount();
  m_richOutput.AppendText("\n>" + command + "\n");
  if (!m_pSocket->Send(command + "\r\n")) {
    Disconnect();
    return;
  }
  CString line;
  const ReplyStatus status = ReadReply(line);
  m_richOutput.ScrollToNewLines(lines);
  if (status != ReplyStatus::Complete || line.find("421 Timeout") != std::string::npos) Disconnect();
}

void CSiteCmdDlg::OnSiteAction(int id) { SendCommand(kSiteActions[id - IDC_SITE_FIRST]); }

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
