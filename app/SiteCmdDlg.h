// The one window of the program. All state lives in its members; the member
// functions are defined in the folders of the subsystems they belong to.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ConnectionHistory.h"
#include "Dialog.h"
#include "MainForm.h"
#include "OutputLog.h"
#include "Session.h"
#include "SessionOwner.h"
#include "SiteList.h"
#include "UserCommand.h"

class IniStorage;
class ProgramSessions;
class QPushButton;
namespace platform {
class ListCombo;
}

// The window shows one session: its transcript in the pane (which colours
// each kind of line), its state on the Connect button, and its questions in boxes.
class CSiteCmdDlg : public platform::Dialog, private SessionObserver, private TrustAsker {
 public:
  static constexpr int kInitialCommandSlots = 50;

  // A tab on a session of owner: the one given (held once more), else a
  // new one. Without an owner the window has sessions of its own.
  explicit CSiteCmdDlg(SessionOwner* owner = nullptr, SessionId session = 0);
  ~CSiteCmdDlg() override;

  // What the fields hold; the builder (res/MainDialog.cpp) binds each field to its member.
  MainForm m_form;
  // With m_form.tls: TLS from the first byte (an ftps:// address); picking a history entry ends it.
  bool m_implicitTls = false;
  // Controls the handlers change (the dialog owns them).
  platform::ListCombo* m_groupList = nullptr;
  QPushButton* m_connectButton = nullptr;
  platform::ListCombo* m_historyList = nullptr;
  platform::ListCombo* m_commandList = nullptr;
  std::unique_ptr<IniStorage> m_iniStorage;  // the parsed command list, until the window closes
  bool m_quietCommandList = false;  // another tab has said already why the command list can't be read
  int m_commandCount = 0;
  int m_currentCommand = 0;
  std::vector<UserCommand> m_commands;  // at least 50 entries; grows for larger groups
  OutputLog m_transcript;

  // Start-up and main window.
  bool OnInitDialog() override;
  void OnTimer(unsigned id) override;
  void OnClose() override;
  void OnKeyDown(unsigned key, unsigned repeat, unsigned flags) override;
  void OnChar(unsigned key, unsigned repeat, unsigned flags) override;
  // The key-handler debug box, with the Windows key numbers the design shows.
  void ShowKeyBox(unsigned key, unsigned repeat, unsigned flags);
  void OnEditKillFocus();
  void OnPassiveCheck();
  void OnTlsCheck();
  void WriteBanner();

  // Control connection and login.
  void OnConnect();
  void ConnectAndLogin();
  void Disconnect();
  bool IsConnected() const { return m_session && m_session->IsConnected(); }
  // Connecting or exchanging: the window starts nothing else on the line meanwhile.
  bool IsWorking() const { return m_session && m_session->IsWorking(); }
  // A saved site: its first address, login and anti-idle command go into the
  // fields, and Connect tries its addresses in order with this password.
  // The site's first address, login, encryption and anti-idle command into
  // the fields (the members alone until the window is built).
  void ShowSite(const Site& site);
  void ConnectSite(const Site& site, const std::string& password);
  // What a tab is called: the saved site's name, else LOGIN@HOST, else empty.
  std::string TabTitle() const;
  // The saved site this window was opened for, if any.
  const Site* SavedSite() const { return m_site ? &*m_site : nullptr; }

  // The session the window shows; none once the window is closed (the
  // session itself may live on while a run still uses it).
  Session* GetSession() { return m_session; }
  SessionId GetSessionId() const { return m_session ? m_sessionId : 0; }
  // Called whenever the session's state changes (the tab bar's titles follow it).
  std::function<void()> onStateChanged;

  // Command exchange and site actions.
  void SendCommand(std::string command);
  // The lines of one action, one exchange each, in order.
  void SendCommands(std::vector<std::string> commands);
  void ShowSendResult(Session::SendResult result);
  // The action at index of the table (res/SiteActions.h).
  void OnSiteAction(std::size_t index);
  void OnExecuteRaw();
  void OnAutoSiteCheck();
  void OnAntiIdleCheck();

  // Connection history.
  void LoadHistory();
  void RecordHistoryEntry();
  void OnHistorySelChange();

  // User commands.
  void FillGroupList();
  void LoadGroupCommands(std::string groupName);
  void StoreCommand(UserCommand command);
  void OnGroupSelChange();
  void OnCommandSelChange();
  void UpdateParamFields(int commandIndex);
  void OnExecuteUser();
  void OnResetParams();
  void OnResetOnChangeCheck();

 private:
  void OnLine(TranscriptKind kind, std::string_view text) override;
  void OnBlockDone(Transcript::Pos linesBefore) override;
  void OnState(SessionState state) override;
  void OnLoginDone(const LoginReport& report) override;
  void OnRunDone(ControlConnection::Result result) override;
  bool AskTrust(const std::string& host, unsigned port, const TlsInfo& info, const std::string& remembered) override;

  // Lets go of the session: it goes unless a run still holds it.
  void ReleaseSession();

  std::unique_ptr<HistoryStore> m_historyStore;
  ConnectionHistory m_history;
  // The saved site this window was opened for: Connect tries all its
  // addresses while the fields still show its first one and its login.
  std::optional<Site> m_site;
  bool m_attemptMine = false;  // the running attempt is this window's: its failure shows a box
  std::unique_ptr<ProgramSessions> m_ownSessions;  // without an owner given
  SessionOwner* m_owner = nullptr;
  SessionId m_sessionId = 0;
  Session* m_session = nullptr;  // the owner's; null once the window is closed
};
