// The connection history: the list of earlier attempts and its per-user store.
#include "HistoryEntry.h"
#include "Registry.h"
#include "SiteCmdDlg.h"
#include "res/Strings.h"
#include "res/resource.h"

void CSiteCmdDlg::LoadHistory() {
  CRegKey key;
  if (!key.Create(kHistoryKey)) return;
  std::string name;
  for (int index = 0; key.EnumValue(index, name); ++index) m_historyList.AddString(name);
  key.Close();
}

void CSiteCmdDlg::RecordHistoryEntry() {
  const std::string entry = MakeHistoryEntry(m_login, m_host, m_port);
  // Known only when the same text is listed; a longer entry that merely starts with it is another one.
  for (int i = 0; i < m_historyList.GetCount(); ++i)
    if (SameHistoryEntry(m_historyList.GetLBText(i), entry)) {
      m_historyList.SetCurSel(i);
      SaveHistoryTls(m_historyList.GetLBText(i), m_tls);
      return;
    }
  m_historyList.SetCurSel(m_historyList.AddString(entry));
  SaveHistoryEntry(entry);
  SaveHistoryTls(entry, m_tls);
}

void CSiteCmdDlg::SaveHistoryTls(const std::string& entry, bool tls) {
  CRegKey key;
  if (!key.Create(kHistoryTlsKey)) return;
  std::string stored;
  // Only a change is written: most attempts repeat the entry's last choice.
  if (!key.QueryValue(entry, stored) || stored != (tls ? "1" : "0")) key.SetValue(entry, tls ? "1" : "0");
  key.Close();
}

bool CSiteCmdDlg::LoadHistoryTls(const std::string& entry) {
  CRegKey key;
  std::string stored;
  return key.Create(kHistoryTlsKey) && key.QueryValue(entry, stored) && stored == "1";
}

void CSiteCmdDlg::SaveHistoryEntry(const std::string& entry) {
  CRegKey key;
  if (key.Create(kHistoryKey) && key.SetValue(entry)) return;
  // The entry stays in the list for this run. Saying so once is enough: the
  // next attempts would fail the same way.
  if (m_historyWriteReported) return;
  m_historyWriteReported = true;
  m_transcript.AppendColored("\n>The connection history could not be saved: " + key.GetLastError() + "\n",
                             logDisconnectColor);
}

void CSiteCmdDlg::OnHistorySelChange() {
  const int sel = m_historyList.GetCurSel();
  if (sel == CB_ERR) return;
  const HistoryFields fields = ParseHistoryEntry(m_historyList.GetLBText(sel));
  m_login = fields.login;
  m_host = fields.host;
  m_password.clear();
  // A port that does not fit 32 bits is no number at all; Connect refuses 0 and anything past 65535.
  const bool digits = !fields.port.empty() && fields.port.size() <= 10 &&
                      fields.port.find_first_not_of("0123456789") == std::string::npos;
  const unsigned long long value = digits ? std::stoull(fields.port) : 0;
  m_port = value <= 0xFFFFFFFFull ? static_cast<unsigned>(value) : 0;
  m_tls = LoadHistoryTls(m_historyList.GetLBText(sel));
  WriteFields();
  // The port goes in as text: one out of range stays as written, so Connect
  // refuses it as it refuses such a typed port.
  if (CWnd* port = GetDlgItem(IDC_PORT)) port->SetWindowText(fields.port);
}
