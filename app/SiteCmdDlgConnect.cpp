// The Connect/Disconnect button: field checks, then the session does the
// rest; the window shows its transcript, its state on the button, and boxes
// for a failed attempt.
#include <QPushButton>
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
    if (m_form.host.empty()) items += "- the adress or IP of the server\n  you want to connect to\n";
    if (m_form.login.empty()) items += "- your login name\n";
    if (m_form.password.empty()) items += "- your password (which will not be stored)\n";
    if (m_form.port == 0 || m_form.port > 65535) items += "- the correct port number ( 0 < n < 65535 )\n";
    if (!items.empty())
      Box(kLoginMissingHeader + items, "Can't connect!", platform::kBoxError);
    else
      ConnectAndLogin();
  }
  m_transcript.ScrollToNewLines(before);
}

void CSiteCmdDlg::ConnectAndLogin() {
  if (!m_session) return;  // the tab is closing: its session has gone
  if (!ControlConnection::IsSendable(m_form.login) || !ControlConnection::IsSendable(m_form.password)) {
    Box(kLineBreakInLogin, "Can't connect!", platform::kBoxError);
    return;
  }
  RecordHistoryEntry();  // before anything can fail, so every attempt is remembered
  ConnectRequest request;
  const bool site = m_site && !m_site->addresses.empty() && m_site->addresses.front().host == m_form.host &&
                    m_site->addresses.front().port == m_form.port && m_site->login == m_form.login;
  if (site) {
    // Run on Sites may use it for this site too, in this run of the program only.
    m_owner->Passwords().Set(m_site->name, m_form.password);
    request = m_site->Request(m_form.password, m_owner->ProxyPasswords().Get(m_site->name).value_or(std::string()));
    request.tls = m_form.tls;
    request.implicitTls = m_form.tls && m_site->encryption == Encryption::Implicit;
  } else {
    request.host = m_form.host;
    request.port = m_form.port;
    request.login = m_form.login;
    request.password = m_form.password;
    request.tls = m_form.tls;
    request.implicitTls = m_form.tls && m_implicitTls;
  }
  LogOnConnect(*m_owner, m_sessionId, SavedSite(), TabTitle());
  m_attemptMine = m_session->Connect(request);
}

void CSiteCmdDlg::ShowSite(const Site& site) {
  m_site = site;
  if (m_session) m_owner->SetSite(m_sessionId, site.name);
  if (!site.addresses.empty()) {
    m_form.host = site.addresses.front().host;
    m_form.port = site.addresses.front().port;
  }
  m_form.login = site.login;
  m_form.tls = site.encryption != Encryption::None;
  m_implicitTls = site.encryption == Encryption::Implicit;
  m_form.antiIdleCommand = site.antiIdleCommand;
  m_form.antiIdleInterval = site.antiIdleSeconds;
  WriteFields();
}

void CSiteCmdDlg::ConnectSite(const Site& site, const std::string& password) {
  if (IsConnected() || IsWorking()) return;
  ShowSite(site);
  m_form.password = password;
  WriteFields();
  // Without a password the field waits for it, as it does for a quick connect.
  if (m_form.password.empty()) {
    Control(IDC_PASSWORD)->setFocus(Qt::OtherFocusReason);
    return;
  }
  const int before = m_transcript.GetLineCount();
  ConnectAndLogin();
  m_transcript.ScrollToNewLines(before);
}

std::string CSiteCmdDlg::TabTitle() const {
  if (m_site) return m_site->name;
  if (m_form.login.empty() || m_form.host.empty()) return {};
  return m_form.login + "@" + m_form.host;
}

void CSiteCmdDlg::OnLoginDone(const LoginReport& report) {
  // An attempt someone else started (a run) reports its own failure.
  if (!std::exchange(m_attemptMine, false)) return;
  const std::string& failure = report.failure;
  switch (report.result) {
    case ControlConnection::Login::ConnectFailed:
      Box(ConnectErrorMessage(report.connectError), "Can't connect!", platform::kBoxError);
      break;
    case ControlConnection::Login::TlsRefused:
      Box("The server refused to encrypt the connection. To AUTH TLS it answered:\n\n" + failure +
                     kPasswordNotSent,
                 "Can't connect securely!", platform::kBoxError);
      break;
    case ControlConnection::Login::TlsFailed:
      Box("The TLS handshake with the server failed:\n\n" + failure + kPasswordNotSent,
                 "Can't connect securely!", platform::kBoxError);
      break;
    case ControlConnection::Login::CertificateRefused:
      Box(std::string("The server's certificate was not accepted.") + kPasswordNotSent,
                 "Can't connect securely!", platform::kBoxError);
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
      m_connectButton->setText(QStringLiteral("Cancel"));
      break;
    case SessionState::LoggedIn:
    case SessionState::Busy:
      m_connectButton->setText(QStringLiteral("Disconnect"));
      break;
    case SessionState::NotConnected:
    case SessionState::Disconnected:
      m_connectButton->setText(QStringLiteral("Connect"));
      break;
  }
}

// The session has put the line into its log, which the pane shows.
void CSiteCmdDlg::OnLine(TranscriptKind, std::string_view) {}

void CSiteCmdDlg::OnBlockDone(Transcript::Pos linesBefore) {
  if (linesBefore >= 0) m_transcript.ScrollToNewLines(static_cast<int>(linesBefore));
}
