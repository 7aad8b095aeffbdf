// The main dialog: start-up, timers, key and close handling.
#include "SiteCmdDlg.h"

#include <QPushButton>
#include <cstdio>
#include <utility>

#include "CommandListFile.h"
#include "IniStorage.h"
#include "UserStore.h"
#include "Controls.h"
#include "ProgramSessions.h"
#include "ShowAsTable.h"
#include "TabLog.h"
#include "Text.h"
#include "UserStore.h"
#include "Version.h"
#include "res/MainDialog.h"
#include "res/resource.h"

CSiteCmdDlg::CSiteCmdDlg(SessionOwner* owner, SessionId session)
    : Dialog("Korvastel"),
      m_commands(kInitialCommandSlots),
      m_historyStore(std::make_unique<platform::UserStore>()),
      m_history(*m_historyStore) {
  BuildMainDialog(*this);
  if (!owner) {
    m_ownSessions = std::make_unique<ProgramSessions>();
    owner = &m_ownSessions->Owner();
  }
  m_owner = owner;
  if (session != 0 && owner->Find(session)) {
    owner->Hold(session);
    m_sessionId = session;
  } else {
    m_sessionId = owner->Open();
  }
  m_session = owner->Find(m_sessionId);
  m_session->AddObserver(*this);
  owner->SetAsker(m_sessionId, this);  // a person sees this session now
}

// The connection goes with the window unless a run still uses it.
CSiteCmdDlg::~CSiteCmdDlg() {
  Shut();  // no handler runs while the members and controls go
  ReleaseSession();
}

void CSiteCmdDlg::ReleaseSession() {
  if (!m_session) return;
  Session& session = *std::exchange(m_session, nullptr);
  // The pane lets go of the log too: the session may live on, shown by another tab later.
  m_transcript.ShowTranscript(nullptr);
  session.RemoveObserver(*this);
  session.SetAntiIdle(false);  // its settings are this window's fields
  m_owner->SetAsker(m_sessionId, nullptr);
  m_owner->Release(m_sessionId);
}

bool CSiteCmdDlg::OnInitDialog() {
  Dialog::OnInitDialog();
  // With server and login given at start, only the password is left to type.
  const bool startFilled = !m_form.host.empty() && !m_form.login.empty();
  Control(startFilled ? IDC_PASSWORD : IDC_HOST)->setFocus(Qt::OtherFocusReason);
  m_transcript.ShowTranscript(&m_session->Log());
  m_transcript.FormatAtStartUp();
  AddShowAsTable(*this);
  m_transcript.AddMenuExtension(TabLogMenu(*this, *m_owner));
  // A tab on a session that already ran (for Run on Sites) shows what it said; a new one greets.
  if (m_session->Log().Length() == 0 && m_session->Log().DroppedBytes() == 0) WriteBanner();
  OnState(m_session->State());

  usercommands::LoadedCommandList commandList = usercommands::LoadCommandList();
  if (!commandList.skipped.empty()) m_transcript.AppendKind(">" + commandList.skipped + "\n", TranscriptKind::Hint);
  m_iniStorage = std::make_unique<IniStorage>(std::move(commandList.storage));
  if (!commandList.error.empty() && !m_quietCommandList)
    Box(std::string("Can't read file commandList.ini!\nProgram will not be able to display any user "
                           "commands!\n\nError Message:\n") +
                   commandList.error,
               "Error reading command list file.", platform::kBoxError);
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
    setWindowTitle(platform::FromCp1252(std::string("-= Korvastel ") + kVersion + " =-"));
    LoadHistory();
    FillGroupList();
    if (m_groupList->currentIndex() != -1) LoadGroupCommands(m_groupList->Entry(m_groupList->currentIndex()));
  }
}

void CSiteCmdDlg::OnEditKillFocus() { ReadFields(); }
void CSiteCmdDlg::OnPassiveCheck() { ReadFields(); }

void CSiteCmdDlg::OnTlsCheck() { ReadFields(); }

void CSiteCmdDlg::OnKeyDown(unsigned key, unsigned repeat, unsigned flags) { ShowKeyBox(key, repeat, flags); }
void CSiteCmdDlg::OnChar(unsigned key, unsigned repeat, unsigned flags) { ShowKeyBox(key, repeat, flags); }

void CSiteCmdDlg::ShowKeyBox(unsigned key, unsigned repeat, unsigned flags) {
  char text[160];
  std::snprintf(text, sizeof text,
                "gedr\xFC"
                "ckt wurde Taste Nummer: %d \nRepCount: %d \n Flags: %d",
                static_cast<int>(key), static_cast<int>(repeat), static_cast<int>(flags));
  Box(text, "Debug", platform::kBoxOk);
}

void CSiteCmdDlg::OnClose() {
  ReleaseSession();  // the connection goes at once, whatever it waits for, unless a run still uses it
  m_iniStorage.reset();
  Dialog::OnClose();
}
