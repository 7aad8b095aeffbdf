// The Connect/Disconnect button: field checks, then the session does the
// rest; the window shows its transcript, its state on the button, and boxes
// for a failed attempt.
#include <string>
#include <utility>
#include <vector>

#include "ConnectErrors.h"
#include "SiteCmdDlg.h"
#include "TabLog.h"
#include "res/resource.h"

namespace {
const char kLoginMissingHeader[] =
    "Can't connect to host because of\ninsufficient or wrong information.\n\nPlease enter the following:\n\n";
const char kLineBreakInLogin[] =
    "The login or the password holds a line break or a NUL character.\n\n"
    "It would reach the server as a command of its own, so nothing was sent.";
const char kPasswordNotSent[] = "\n\nThe connection was closed; your login and password were not sent.";
}  // namespace

void CSiteCmdDlg::OnConnect() {
  const int before = m_transcript.GetLineCount();
  if (IsConnected() || IsWorking()) {
    Disconnect();  // also while connecting or waiting for a reply: the button reads "Cancel" or "Disconnect"
  } else {
    std::string items;
    if (m_host.empty()) items += "- the adress or IP of the server\n  you want to connect to\n";
    if (m_login.empty()) items += "- your login name\n";
    if (m_password.empty()) items += "- your password (which will not be stored)\n";
    if (m_port == 0 || m_port > 65535) items += "- the correct port number ( 0 < n < 65535 )\n";
    if (!items.empty())
      MessageBox(kLoginMissingHeader + items, "Can't connect!", MB_ICONERROR);
    else
      ConnectAndLogin();
  }
  m_transcript.ScrollToNewLines(before);
}

void CSiteCmdDlg::ConnectAndLogin() {
  if (!m_session) return;  // the tab is closing: its session has gone
  if (!ControlConnection::IsSendable(m_login) || !ControlConnection::IsSendable(m_password)) {
    MessageBox(kLineBreakInLogin, "Can't connect!", MB_ICONERROR);
    return;
  }
  RecordHistoryEntry();  // before anything can fail, so every attempt is remembered
  ConnectRequest request;
  const bool site = m_site && !m_site->addresses.empty() && m_site->addresses.front().host == m_host &&
                    m_site->addresses.front().port == m_port && m_site->login == m_login;
  if (site) {
    // Run on Sites may use it for this site too, in this run of the program only.
    m_owner->Passwords().Set(m_site->name, m_password);
    request = m_site->Request(m_password, m_owner->ProxyPasswords().Get(m_site->name).value_or(std::string()));
    request.tls = m_tls;
    request.implicitTls = m_tls && m_site->encryption == Encryption::Implicit;
  } else {
    request.host = m_host;
    request.port = m_port;
    request.login = m_login;
    request.password = m_password;
    request.tls = m_tls;
    request.implicitTls = m_tls && m_implicitTls;
  }
  LogOnConnect(*m_owner, m_sessionId, SavedSite(), TabTitle());
  m_attemptMine = m_session->Connect(request);
}

void CSiteCmdDlg::ShowSite(const Site& site) {
  m_site = site;
  if (m_session) m_owner->SetSite(m_sessionId, site.name);
  if (!site.addresses.empty()) {
    m_host = site.addresses.front().host;
    m_port = site.addresses.front().port;
  }
  m_login = site.login;
  m_tls = site.encryption != Encryption::None;
  m_implicitTls = site.encryption == Encryption::Implicit;
  m_antiIdleCommand = site.antiIdleCommand;
  m_antiIdleInterval = site.antiIdleSeconds;
  if (GetSafeHwnd()) WriteFields();
}

void CSiteCmdDlg::ConnectSite(const Site& site, const std::string& password) {
  if (IsConnected() || IsWorking()) return;
  ShowSite(site);
  m_password = password;
  if (GetSafeHwnd()) WriteFields();
  // Without a password the field waits for it, as it does for a quick connect.
  if (m_password.empty()) {
    if (CWnd* field = GetDlgItem(IDC_PASSWORD)) field->SetFocus();
    return;
  }
  const int before = m_transcript.GetLineCount();
  ConnectAndLogin();
  m_transcript.ScrollToNewLines(before);
}

std::string CSiteCmdDlg::TabTitle() const {
  if (m_site) return m_site->name;
  if (m_login.empty() || m_host.empty()) return {};
  return m_login + "@" + m_host;
}

void CSiteCmdDlg::OnLoginDone(const LoginReport& report) {
  // An attempt someone else started (a run) reports its own failure.
  if (!std::exchange(m_attemptMine, false)) return;
  const std::string& failure = report.failure;
  switch (report.result) {
    case ControlConnection::Login::ConnectFailed:
      MessageBox(ConnectErrorMessage(report.connectError), "Can't connect!", MB_ICONERROR);
      break;
    case ControlConnection::Login::TlsRefused:
      MessageBox("The server refused to encrypt the connection. To AUTH TLS it answered:\n\n" + failure +
                     kPasswordNotSent,
                 "Can't connect securely!", MB_ICONERROR);
      break;
    case ControlConnection::Login::TlsFailed:
      MessageBox("The TLS handshake with the server failed:\n\n" + failure + kPasswordNotSent,
                 "Can't connect securely!", MB_ICONERROR);
      break;
    case ControlConnection::Login::CertificateRefused:
      MessageBox(std::string("The server's certificate was not accepted.") + kPasswordNotSent,
                 "Can't connect securely!", MB_ICONERROR);
      break;
    default:
      break;
  }
}

void CSiteCmdDlg::Disconnect() {
  if (m_session) m_session->Disconnect();
}

void CSiteCmdDlg::OnState(SessionState state) {
  if (onStateChanged) onStateChanged();
  switch (state) {
    case SessionState::Connecting:
      m_connectButton.SetWindowText("Cancel");
      break;
    case SessionState::LoggedIn:
    case SessionState::Busy:
      m_connectButton.SetWindowText("Disconnect");
      break;
    case SessionState::NotConnected:
    case SessionState::Disconnected:
      m_connectButton.SetWindowText("Connect");
      break;
  }
}

// The session has put the line into its log, which the pane shows.
void CSiteCmdDlg::OnLine(TranscriptKind, std::string_view) {}

void CSiteCmdDlg::OnBlockDone(Transcript::Pos linesBefore) {
  if (linesBefore >= 0) m_transcript.ScrollToNewLines(static_cast<int>(linesBefore));
}
