// The main dialog: start-up, timers, key and close handling.
#include "SiteCmdDlg.h"

#include <cstdio>
#include <utility>

#include "CommandListLocation.h"
#include "IniStorage.h"
#include "MainThread.h"
#include "PerUserHistory.h"
#include "Socket.h"
#include "TlsTransport.h"
#include "TrustedCertificates.h"
#include "Version.h"
#include "res/MainDialog.h"
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

// The anti-idle period on the dialog's timer 2.
class CSiteCmdDlg::AntiIdleTimer : public Timer {
 public:
  explicit AntiIdleTimer(CSiteCmdDlg& dialog) : m_dialog(dialog) {}
  void Start(unsigned milliseconds, std::function<void()> tick) override {
    m_tick = std::move(tick);
    m_dialog.SetTimer(TIMER_ANTI_IDLE, milliseconds);
  }
  void Stop() override { m_dialog.KillTimer(TIMER_ANTI_IDLE); }
  void Fire() {
    if (m_tick) m_tick();
  }

 private:
  CSiteCmdDlg& m_dialog;
  std::function<void()> m_tick;
};

// The template's rows point at members and handlers of this very window; they
// are only used once the window is built, after construction.
CSiteCmdDlg::CSiteCmdDlg()
    : CDialog(MainDialogTemplate(*this)),
      m_commands(kInitialCommandSlots),
      m_certificates(std::make_unique<CertificateStore>()),
      m_historyStore(std::make_unique<platform::PerUserHistory>()),
      m_history(*m_historyStore),
      m_antiIdleTimer(std::make_unique<AntiIdleTimer>(*this)) {
  Session::Services services;
  services.post = &platform::PostToMainThread;
  services.connect = &platform::ConnectTcp;
  services.startTls = &platform::StartTls;
  services.trustStore = m_certificates.get();
  services.asker = this;
  services.antiIdleTimer = m_antiIdleTimer.get();
  m_session = std::make_unique<Session>(static_cast<SessionObserver&>(*this), std::move(services));
}

// Closing the window releases the storage; the connection goes with the
// dialog, dropped at once without a word to the server.
CSiteCmdDlg::~CSiteCmdDlg() { m_session.reset(); }

bool CSiteCmdDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // With server and login given at start, only the password is left to type.
  const bool startFilled = !m_host.empty() && !m_login.empty();
  if (CWnd* first = GetDlgItem(startFilled ? IDC_PASSWORD : IDC_HOST)) first->SetFocus();
  m_transcript.ShowTranscript(&m_session->Log());
  m_transcript.FormatAtStartUp();
  WriteBanner();

  usercommands::LoadedCommandList commandList = usercommands::LoadCommandList();
  if (!commandList.skipped.empty()) m_transcript.AppendKind(">" + commandList.skipped + "\n", TranscriptKind::Hint);
  m_iniStorage = std::make_unique<IniStorage>(std::move(commandList.storage));
  if (!commandList.error.empty() && !m_quietCommandList)
    MessageBox(std::string("Can't read file commandList.ini!\nProgram will not be able to display any user "
                           "commands!\n\nError Message:\n") +
                   commandList.error,
               "Error reading command list file.", MB_ICONHAND);
  SetTimer(TIMER_STARTUP, 50);
  return false;  // the focus is set
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
  m_transcript.AppendKind(banner, TranscriptKind::Text);
}

void CSiteCmdDlg::OnTimer(unsigned id) {
  if (id == TIMER_STARTUP) {
    KillTimer(TIMER_STARTUP);
    SetWindowText(std::string("-= Korvastel ") + kVersion + " =-");
    LoadHistory();
    FillGroupList();
    if (m_groupList.GetCurSel() != CB_ERR) LoadGroupCommands(m_groupList.GetLBText(m_groupList.GetCurSel()));
  } else if (id == TIMER_ANTI_IDLE) {
    m_antiIdleTimer->Fire();
  }
}

void CSiteCmdDlg::OnEditKillFocus() { ReadFields(); }
void CSiteCmdDlg::OnPassiveCheck() { ReadFields(); }

void CSiteCmdDlg::OnTlsCheck() { ReadFields(); }

void CSiteCmdDlg::OnKeyDown(unsigned key, unsigned repeat, unsigned flags) {
  char text[160];
  std::snprintf(text, sizeof text,
                "gedr\xFC"
                "ckt wurde Taste Nummer: %d \nRepCount: %d \n Flags: %d",
                static_cast<int>(key), static_cast<int>(repeat), static_cast<int>(flags));
  MessageBox(text, "Debug", MB_OK);
}

void CSiteCmdDlg::OnChar(unsigned key, unsigned repeat, unsigned flags) {
  char text[160];
  std::snprintf(text, sizeof text,
                "gedr\xFC"
                "ckt wurde Taste Nummer: %d \nRepCount: %d \n Flags: %d",
                static_cast<int>(key), static_cast<int>(repeat), static_cast<int>(flags));
  MessageBox(text, "Debug", MB_OK);
}

void CSiteCmdDlg::OnClose() {
  m_session.reset();  // the connection goes at once, whatever it waits for
  m_iniStorage.reset();
  CDialog::OnClose();
}
