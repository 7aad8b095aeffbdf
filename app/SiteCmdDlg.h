// The one window of the program. All state lives in its members; the member
// functions are defined in the folders of the subsystems they belong to.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ControlConnection.h"
#include "Dialog.h"
#include "OutputLog.h"
#include "UserCommand.h"
#include "Window.h"

class IniStorage;

using CString = std::string;

// The window is the connection's transcript: it gives each kind of line its colour.
class CSiteCmdDlg : public CDialog, private TranscriptSink {
 public:
  enum { IDD = 131 };
  static constexpr int kInitialCommandSlots = 50;

  CSiteCmdDlg();
  ~CSiteCmdDlg() override;

  // Bound members, in declaration order.
  CComboBox m_cbGroup;
  CButton m_btnConnect;
  CComboBox m_cbHistory;
  CComboBox m_cbCommand;
  BOOL m_bAutoSite;
  BOOL m_bAntiIdle;
  BOOL m_bPassive;
  BOOL m_bResetOnChange;
  CString m_strAntiIdleCommand;
  UINT m_nAntiIdleInterval;  // seconds
  CString m_login;
  CString m_password;
  UINT m_port;
  CString m_strRawCommand;
  CString m_host;
  bool m_tls = false;  // check box "TLS": explicit FTPS for the next connect
  UserCommand::Texts m_params;       // the arguments, edits 1200 ... 1208
  UserCommand::Texts m_paramLabels;  // their labels, static texts 1100 ... 1108
  std::unique_ptr<IniStorage> m_iniStorage;  // the parsed command list, until the window closes
  ControlConnection m_connection;
  int m_nCommandCount;
  int m_nCurCommand;
  std::vector<UserCommand> m_commands;  // at least 50 entries; grows for larger groups
  OutputLog m_richOutput;
  bool m_historyWriteReported = false;  // a history that can't be written is reported once per run

  // Start-up and main window.
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;
  void OnCommand(int id, int notification) override;
  void OnTimer(UINT nIDEvent) override;
  void OnClose() override;
  void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags) override;
  void OnChar(UINT nChar, UINT nRepCnt, UINT nFlags) override;
  void OnEditKillFocus();
  void OnPassiveCheck();
  void OnTlsCheck();
  void WriteBanner();

  // Control connection and login.
  void OnConnect();
  void ConnectAndLogin();
  void Disconnect();
  bool IsConnected() const { return m_connection.IsConnected(); }
  // Whether to go on with a certificate: trusted by the system, remembered,
  // or accepted by the user in a box now.
  bool TrustCertificate(const std::string& host, unsigned port, const TlsInfo& info);

  // Command exchange and site actions.
  void SendCommand(CString command);
  void OnSiteAction(int id);
  void OnExecuteRaw();
  void OnAutoSiteCheck();
  void OnAntiIdleCheck();
  void OnAntiIdleTimer();

  // Connection history.
  void LoadHistory();
  void RecordHistoryEntry();
  void SaveHistoryEntry(const CString& entry);
  void SaveHistoryTls(const CString& entry, bool tls);
  bool LoadHistoryTls(const CString& entry);
  void OnHistorySelChange();

  // User commands.
  void FillGroupList();
  CString ReadCommandKey(int blockIndex, CString keyName);
  void LoadGroupCommands(CString groupName);
  void StoreCommand(CString description, std::vector<CString> commandLines, UserCommand::Texts labels);
  void OnGroupSelChange();
  void OnCommandSelChange();
  void UpdateParamFields(int commandIndex);
  void OnExecuteUser();
  void OnResetParams();
  void OnResetOnChangeCheck();

 private:
  void Show(TranscriptKind kind, std::string_view text) override;
  void BlockDone() override;

  TlsOptions m_tlsOptions;
  int m_blockStart = -1;  // the pane's line count when the shown block began; -1 between blocks
};
