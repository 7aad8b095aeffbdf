// The Connect/Disconnect button: field checks, then the connection does the
// rest; the window shows its transcript and the button's caption.
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
  const int before = m_richOutput.GetLineCount();
  if (!IsConnected()) {
    std::string items;
    if (m_host.empty()) items += "- the adress or IP of the server\n  you want to connect to\n";
    if (m_login.empty()) items += "- your login name\n";
    if (m_password.empty()) items += "- your password (which will not be stored)\n";
    if (m_port == 0 || m_port > 65535) items += "- the correct port number ( 0 < n < 65535 )\n";
    if (!items.empty())
      MessageBox(kLoginMissingHeader + items, "Can't connect!", MB_ICONERROR);
    else
      ConnectAndLogin();
  } else {
    Disconnect();
  }
  m_richOutput.ScrollToNewLines(before);
}

void CSiteCmdDlg::ConnectAndLogin() {
  if (!ControlConnection::IsSendable(m_login) || !ControlConnection::IsSendable(m_password)) {
    MessageBox(kLineBreakInLogin, "Can't connect!", MB_ICONERROR);
    return;
  }
  RecordHistoryEntry();  // before anything can fail, so every attempt is remembered

  int error = 0;
  const ControlConnection::Login result =
      m_connection.Open(m_host, m_port, m_login, m_password, error, m_tls ? &m_tlsOptions : nullptr);
  m_blockStart = -1;
  switch (result) {
    case ControlConnection::Login::ConnectFailed:
      MessageBox(ConnectErrorMessage(error), "Can't connect!", MB_ICONERROR);
      break;
    case ControlConnection::Login::LoggedIn:
      m_btnConnect.SetWindowText("Disconnect");
      break;
    case ControlConnection::Login::TlsRefused:
      MessageBox("The server refused to encrypt the connection. To AUTH TLS it answered:\n\n" +
                     m_connection.FailureText() + kPasswordNotSent,
                 "Can't connect securely!", MB_ICONERROR);
      break;
    case ControlConnection::Login::TlsFailed:
      MessageBox("The TLS handshake with the server failed:\n\n" + m_connection.FailureText() + kPasswordNotSent,
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
  m_connection.Close();
  m_blockStart = -1;
}

void CSiteCmdDlg::Show(TranscriptKind kind, std::string_view text) {
  switch (kind) {
    case TranscriptKind::Login:
    case TranscriptKind::Command:
    case TranscriptKind::Notice:
      if (kind != TranscriptKind::Notice || m_blockStart < 0)
        m_richOutput.BeginColoredAppend(kind == TranscriptKind::Login ? logLoginColor : logCommandColor);
      break;
    case TranscriptKind::Reply:  // behind its echo, in the colour of its exchange
      break;
    case TranscriptKind::Hint:
      m_richOutput.BeginColoredAppend(logDisconnectColor);
      break;
    case TranscriptKind::Disconnect: {
      const long end = m_richOutput.GetWindowTextLength();
      m_richOutput.SetSel(end, end);
      m_richOutput.AppendColored(std::string(text), logDisconnectColor);
      m_blockStart = -1;
      m_btnConnect.SetWindowText("Connect");
      return;
    }
  }
  if (m_blockStart < 0) m_blockStart = m_richOutput.GetLineCount();
  m_richOutput.AppendText(std::string(text));
}

void CSiteCmdDlg::BlockDone() {
  if (m_blockStart >= 0) m_richOutput.ScrollToNewLines(m_blockStart);
  m_blockStart = -1;
}
