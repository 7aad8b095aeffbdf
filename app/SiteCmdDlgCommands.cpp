// Sending the lines of one action; the site actions, the raw command and the
// anti-idle command that feed it. The session keeps the send rules.
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
  if (m_session) ShowSendResult(m_session->Send(std::move(commands)));
}

void CSiteCmdDlg::ShowSendResult(Session::SendResult result) {
  // A queued action shows itself when it runs.
  if (result == Session::SendResult::Empty || result == Session::SendResult::Queued) return;
  const long end = m_transcript.GetWindowTextLength();
  m_transcript.SetSel(end, end);
  if (result == Session::SendResult::Unsendable) Box(kLineBreakInCommand, "Can't send!", platform::kBoxError);
}

void CSiteCmdDlg::OnRunDone(ControlConnection::Result) {}

void CSiteCmdDlg::OnSiteAction(std::size_t index) {
  if (index < kSiteActions.size()) SendCommand(kSiteActions[index].command);
}

void CSiteCmdDlg::OnExecuteRaw() { SendCommand(Session::RawCommand(m_form.rawCommand, m_form.autoSite)); }

void CSiteCmdDlg::OnAutoSiteCheck() { ReadFields(); }

void CSiteCmdDlg::OnAntiIdleCheck() {
  ReadFields();
  if (!m_session) return;
  m_session->SetAntiIdle(m_form.antiIdle,
                         [this] { return AntiIdleSettings{m_form.antiIdleCommand, m_form.antiIdleInterval}; });
}
