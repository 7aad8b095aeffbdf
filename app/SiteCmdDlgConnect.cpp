// The Connect/Disconnect button: field checks, then the session does the
// rest; the window shows its transcript, its state on the button, and boxes
// for a failed attempt.
#include <string>

#include "ConnectErrors.h"
#include "SiteCmdDlg.h"
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
  if (!ControlConnection::IsSendable(m_login) || !ControlConnection::IsSendable(m_password)) {
    MessageBox(kLineBreakInLogin, "Can't connect!", MB_ICONERROR);
    return;
  }
  RecordHistoryEntry();  // before anything can fail, so every attempt is remembered
  ConnectRequest request;
  request.host = m_host;
  request.port = m_port;
  request.login = m_login;
  request.password = m_password;
  request.tls = m_tls;
  m_session->Connect(request);
}

void CSiteCmdDlg::OnLoginDone(ControlConnection::Login result, int connectError, const std::string& failure) {
  switch (result) {
    case ControlConnection::Login::ConnectFailed:
      MessageBox(ConnectErrorMessage(connectError), "Can't connect!", MB_ICONERROR);
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

void CSiteCmdDlg::Disconnect() { m_session->Disconnect(); }

void CSiteCmdDlg::OnState(SessionState state) {
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
