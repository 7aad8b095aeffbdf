// The main dialog: members, data exchange, the message map, start-up, timers,
// key and close handling.
#include "SiteCmdDlg.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "CommandListLocation.h"
#include "IniFile.h"
#include "IniStorage.h"
#include "MainThread.h"
#include "Socket.h"
#include "TlsTransport.h"
#include "TrustedCertificates.h"
#include "res/MainDialog.h"
#include "res/Strings.h"
#include "res/resource.h"

// The fingerprints the user trusted, in the per-user store.
class CSiteCmdDlg::CertificateStore : public TrustStore {
 public:
  std::string Remembered(const std::string& host, unsigned port) override {
    return platform::TrustedFingerprint(host, port);
  }
  void Remember(const std::string& host, unsigned port, const std::string& fingerprint) override {
    platform::TrustFingerprint(host, port, fingerprint);
  }
};

CSiteCmdDlg::CSiteCmdDlg()
    : CDialog(MainDialogTemplate()),
      m_bAutoSite(TRUE),
      m_bAntiIdle(FALSE),
      m_bPassive(FALSE),
      m_bResetOnChange(FALSE),
      m_nAntiIdleInterval(360),
      m_port(21),
      m_nCommandCount(0),
      m_nCurCommand(0),
      m_commands(kInitialCommandSlots),
      m_certificates(std::make_unique<CertificateStore>()) {
  Session::Services services;
  services.post = &platform::PostToMainThread;
  services.connect = &platform::ConnectTcp;
  services.startTls = &platform::StartTls;
  services.trustStore = m_certificates.get();
  services.asker = this;
  m_session = std::make_unique<Session>(static_cast<SessionObserver&>(*this), std::move(services));
}

// Closing the window releases the storage; the connection goes with the
// dialog, dropped at once without a word to the server.
CSiteCmdDlg::~CSiteCmdDlg() { m_session.reset(); }

void CSiteCmdDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_GROUP, m_cbGroup);
  DDX_Control(pDX, IDC_CONNECT, m_btnConnect);
  DDX_Control(pDX, IDC_HISTORY, m_cbHistory);
  DDX_Control(pDX, IDC_COMMAND, m_cbCommand);
  DDX_Check(pDX, IDC_AUTO_SITE, m_bAutoSite);
  DDX_Check(pDX, IDC_ANTI_IDLE, m_bAntiIdle);
  DDX_Check(pDX, IDC_PASSIVE, m_bPassive);
  DDX_Check(pDX, IDC_RESET_ON_CHANGE, m_bResetOnChange);
  DDX_Text(pDX, IDC_ANTI_IDLE_COMMAND, m_strAntiIdleCommand);
  DDX_Text(pDX, IDC_ANTI_IDLE_INTERVAL, m_nAntiIdleInterval);
  DDX_Text(pDX, IDC_LOGIN, m_login);
  DDX_Text(pDX, IDC_PASSWORD, m_password);
  DDX_Text(pDX, IDC_PORT, m_port);
  DDX_Text(pDX, IDC_RAW_COMMAND, m_strRawCommand);
  DDX_Text(pDX, IDC_HOST, m_host);
  DDX_Check(pDX, IDC_TLS, m_tls);
  for (std::size_t n = 0; n < m_params.size(); ++n) DDX_Text(pDX, IDC_PARAM_FIRST + static_cast<int>(n), m_params[n]);
  for (std::size_t n = 0; n < m_paramLabels.size(); ++n)
    DDX_Text(pDX, IDC_PARAM_LABEL_FIRST + static_cast<int>(n), m_paramLabels[n]);
  DDX_Control(pDX, IDC_OUTPUT, m_richOutput);
}

namespace {

struct MessageMapEntry {
  int id;
  int notification;
  void (CSiteCmdDlg::*handler)();
};

// Every control notification the dialog handles, in one place.
const MessageMapEntry kMessageMap[] = {
    {IDC_CONNECT, BN_CLICKED, &CSiteCmdDlg::OnConnect},
    {IDC_PASSIVE, BN_CLICKED, &CSiteCmdDlg::OnPassiveCheck},
    {IDC_TLS, BN_CLICKED, &CSiteCmdDlg::OnTlsCheck},
    {IDC_HISTORY, CBN_SELCHANGE, &CSiteCmdDlg::OnHistorySelChange},
    {IDC_ANTI_IDLE, BN_CLICKED, &CSiteCmdDlg::OnAntiIdleCheck},
    {IDC_AUTO_SITE, BN_CLICKED, &CSiteCmdDlg::OnAutoSiteCheck},
    {IDC_EXECUTE_RAW, BN_CLICKED, &CSiteCmdDlg::OnExecuteRaw},
    {IDC_GROUP, CBN_SELCHANGE, &CSiteCmdDlg::OnGroupSelChange},
    {IDC_COMMAND, CBN_SELCHANGE, &CSiteCmdDlg::OnCommandSelChange},
    {IDC_EXECUTE_USER, BN_CLICKED, &CSiteCmdDlg::OnExecuteUser},
    {IDC_RESET_PARAMS, BN_CLICKED, &CSiteCmdDlg::OnResetParams},
    {IDC_RESET_ON_CHANGE, BN_CLICKED, &CSiteCmdDlg::OnResetOnChangeCheck},
    {IDC_HOST, EN_KILLFOCUS, &CSiteCmdDlg::OnEditKillFocus},
    {IDC_LOGIN, EN_KILLFOCUS, &CSiteCmdDlg::OnEditKillFocus},
    {IDC_PASSWORD, EN_KILLFOCUS, &CSiteCmdDlg::OnEditKillFocus},
    {IDC_PORT, EN_KILLFOCUS, &CSiteCmdDlg::OnEditKillFocus},
    {IDC_ANTI_IDLE_COMMAND, EN_KILLFOCUS, &CSiteCmdDlg::OnEditKillFocus},
    {IDC_ANTI_IDLE_INTERVAL, EN_KILLFOCUS, &CSiteCmdDlg::OnEditKillFocus},
    {IDC_RAW_COMMAND, EN_KILLFOCUS, &CSiteCmdDlg::OnEditKillFocus},
    {IDC_PARAM_FIRST + 0, EN_KILLFOCUS, &CSiteCmdDlg::OnEditKillFocus},
    {IDC_PARAM_FIRST + 1, EN_KILLFOCUS, &CSiteCmdDlg::OnEditKillFocus},
    {IDC_PARAM_FIRST + 2, EN_KILLFOCUS, &CSiteCmdDlg::OnEditKillFocus},
    {IDC_PARAM_FIRST + 3, EN_KILLFOCUS, &CSiteCmdDlg::OnEditKillFocus},
};

}  // namespace

void CSiteCmdDlg::OnCommand(int id, int notification) {
  if (id >= IDC_SITE_FIRST && id <= IDC_SITE_LAST && notification == BN_CLICKED) {
    OnSiteAction(id);
    return;
  }
  for (const MessageMapEntry& e : kMessageMap)
    if (e.id == id && e.notification == notification) {
      (this->*e.handler)();
      return;
    }
}

BOOL CSiteCmdDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // With server and login given at start, only the password is left to type.
  const bool startFilled = !m_host.empty() && !m_login.empty();
  if (CWnd* first = GetDlgItem(startFilled ? IDC_PASSWORD : IDC_HOST)) first->SetFocus();
  m_richOutput.FormatAtStartUp();
  WriteBanner();

  m_iniStorage = std::make_unique<IniStorage>();
  IniFile reader;
  try {
    reader.Read(CommandListPath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")), m_iniStorage.get(),
                IniFile::ReplaceKeys);
  } catch (const std::exception& e) {
    MessageBox(std::string("Can't read file commandList.ini!\nProgram will not be able to display any user "
                           "commands!\n\nError Message:\n") +
                   e.what(),
               "Error reading command list file.", MB_ICONHAND);
  }
  SetTimer(TIMER_STARTUP, 50);
  return FALSE;  // the focus is set
}

void CSiteCmdDlg::WriteBanner() {
  std::string banner;
  banner += "-= Korvastel version ";
  banner += kVersion;
  banner += " BETA =- This is a test release: please report what you find to support@korvastel.example\n";
  banner += std::string(85, '~') + "\n\n";
  banner += "https://korvastel.example/\n\n";
  banner += "Korvastel sends the SITE commands of your FTP server with one click.\n";
  banner += "Log in above, then use the standard actions, your own commands or a raw command.\n\n";
  banner += "Every command and reply is shown here, coloured by the kind of exchange.\n";
  banner += "This version allows you to add or modify your custom commands in an ini file.\n";
  banner += "You can also use multiple commands now that use up to 9 different parameters.\n";
  banner += "Please send any bugs to the address given above. \n\n\n";
  const int before = m_richOutput.GetLineCount();
  m_richOutput.AppendText(banner);
  m_richOutput.ScrollToNewLines(before);
}

void CSiteCmdDlg::OnTimer(UINT nIDEvent) {
  if (nIDEvent == TIMER_STARTUP) {
    KillTimer(TIMER_STARTUP);
    SetWindowText(std::string("-= Korvastel ") + kVersion + " =-");
    LoadHistory();
    FillGroupList();
    if (m_cbGroup.GetCurSel() != CB_ERR) LoadGroupCommands(m_cbGroup.GetLBText(m_cbGroup.GetCurSel()));
  } else if (nIDEvent == TIMER_ANTI_IDLE) {
    OnAntiIdleTimer();
  }
}

void CSiteCmdDlg::OnEditKillFocus() { UpdateData(TRUE); }
void CSiteCmdDlg::OnPassiveCheck() { UpdateData(TRUE); }

void CSiteCmdDlg::OnTlsCheck() { UpdateData(TRUE); }

void CSiteCmdDlg::OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) {
  char text[160];
  std::snprintf(text, sizeof text,
                "gedr\xFC"
                "ckt wurde Taste Nummer: %d \nRepCount: %d \n Flags: %d",
                static_cast<int>(nChar), static_cast<int>(nRepCnt), static_cast<int>(nFlags));
  MessageBox(text, "Debug", MB_OK);
}

void CSiteCmdDlg::OnChar(UINT nChar, UINT nRepCnt, UINT nFlags) {
  char text[160];
  std::snprintf(text, sizeof text,
                "gedr\xFC"
                "ckt wurde Taste Nummer: %d \nRepCount: %d \n Flags: %d",
                static_cast<int>(nChar), static_cast<int>(nRepCnt), static_cast<int>(nFlags));
  MessageBox(text, "Debug", MB_OK);
}

void CSiteCmdDlg::OnClose() {
  m_session.reset();  // the connection goes at once, whatever it waits for
  m_iniStorage.reset();
  CDialog::OnClose();
}
