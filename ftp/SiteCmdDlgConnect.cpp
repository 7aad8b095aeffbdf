// The Connect/Disconnect button: field checks, connect, greeting, login.
#include <string>

#include "ConnectErrors.h"
#include "LineReader.h"
#include "Reply.h"
#include "SiteCmdDlg.h"
#include "Socket.h"
#include "res/resource.h"

namespace {
const char kLoginMissingHeader[] =
    "Can't connect to host because of\ninsufficient or wrong information.\n\nPlease enter the following:\n\n";
const char kPasswordEcho[] = ">PASS **********\n";  // ten stars, whatever the password's length
}  // namespace

void CSiteCmdDlg::OnConnect() {
  const int before = m_richOutput.GetLineCount();
  if (m_nConnState == Disconnected) {
    std::string items;
    if (m_strHost.empty()) items += "- the adress or IP of the server\n  you want to connect to\n";
    if (m_strLogin.empty()) items += "- your login name\n";
    if (m_strPassword.empty()) items += "- your password (which will not be stored)\n";
    if (m_nPort == 0 || m_nPort > 65535) items += "- the correct port number ( 0 < n < 65535 )\n";
    if (!items.empty())
      MessageBox(kLoginMissingHeader + items, "Can't connect!", MB_ICONERROR);
    else
      ConnectAndLogin();
  } else {
    Disconnect();
  }
  m_richOutput.ScrollToNewLines(before);
}

ReplyStatus CSiteCmdDlg::ReadReply(CString& line) {
  return ReadReplyLines(
      *m_pLineReader, [this](const std::string& l) { m_richOutput.AppendText(l + "\n"); }, line);
}

void CSiteCmdDlg::ConnectAndLogin() {
  RecordHistoryEntry();  // before anything can fail, so every attempt is remembered

  m_richOutput.BeginColoredAppend(logLoginColor);
  int lines = m_richOutput.GetLineCount();
  m_richOutput.AppendText("\n\n>connecting to " + m_strHost + "\n");

  m_pSocket = new CSocket();
  m_pSocket->Create();
  if (!m_pSocket->Connect(m_strHost, m_nPort)) {
    const int code = m_pSocket->GetLastError();
    if (code != CSocket::kErrorAbandoned) MessageBox(ConnectErrorMessage(code), "Can't connect!", MB_ICONERROR);
    ReleaseConnection();
    return;
  }
  CSocket* socket = m_pSocket;
  m_pLineReader = new LineReader([socket](char* buf, std::size_t size) { return socket->Receive(buf, size); });

  CHARFORMAT loginColor;
  loginColor.dwMask = CFM_COLOR;
  loginColor.crTextColor = logLoginColor;
  CString line;
  // A connection that breaks anywhere in the login is dropped, with what arrived left in the pane.
  auto step = [&](const std::string* send, const char* echoPrefix, const std::string& echoText) {
    if (send) {
      if (!m_pSocket->Send(*send)) return false;
      m_richOutput.SetSelectionCharFormat(loginColor);
      m_richOutput.AppendText(echoPrefix + echoText);
    }
    const ReplyStatus status = ReadReply(line);
    m_richOutput.ScrollToNewLines(lines);
    lines = m_richOutput.GetLineCount();
    return status == ReplyStatus::Complete;
  };
  const std::string user = "USER " + m_strLogin + "\r\n";
  const std::string pass = "PASS " + m_strPassword + "\r\n";
  if (!step(nullptr, "", "") || !step(&user, ">USER ", m_strLogin + "\n") || !step(&pass, kPasswordEcho, "")) {
    Disconnect();
    return;
  }

  if (line.find("230 ") != std::string::npos) {
    m_nConnState = Connected;
    m_btnConnect.SetWindowText("Disconnect");
  } else {
    ReleaseConnection();  // refused: the server's reply is already in the pane
  }
}

void CSiteCmdDlg::ReleaseConnection() {
  delete m_pLineReader;
  m_pLineReader = nullptr;
  delete m_pSocket;  // closes the connection; nothing is sent first
  m_pSocket = nullptr;
}

void CSiteCmdDlg::Disconnect() {
  const long end = m_richOutput.GetWindowTextLength();
  m_richOutput.SetSel(end, end);
  ReleaseConnection();
  m_richOutput.AppendColored("\n>Disconnected.\n", logDisconnectColor);
  m_nConnState = Disconnected;
  m_btnConnect.SetWindowText("Connect");
}
