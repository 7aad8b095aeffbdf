// The connection history: the list of earlier attempts and its per-user store.
#include "HistoryEntry.h"
#include "Registry.h"
#include "SiteCmdDlg.h"
#include "res/Strings.h"

void CSiteCmdDlg::LoadHistory() {
  CRegKey key;
  if (!key.Create(kHistoryKey)) return;
  std::string name;
  for (int index = 0; key.EnumValue(index, name); ++index) m_cbHistory.AddString(name);
  key.Close();
}

void CSiteCmdDlg::RecordHistoryEntry() {
  const CString entry = MakeHistoryEntry(m_login, m_host, m_port);
  // Known only when the same text is listed; a longer entry that merely starts with it is another one.
  for (int i = 0; i < m_cbHistory.GetCount(); ++i)
    if (SameHistoryEntry(m_cbHistory.GetLBText(i), entry)) {
      m_cbHistory.SetCurSel(i);
      return;
    }
  m_cbHistory.SetCurSel(m_cbHistory.AddString(entry));
  SaveHistoryEntry(entry);
}

void CSiteCmdDlg::SaveHistoryEntry(const CString& entry) {
  CRegKey key;
  if (!key.Create(kHistoryKey)) return;
  key.SetValue(entry);
  key.Close();
}

void CSiteCmdDlg::OnHistorySelChange() {
  const int sel = m_cbHistory.GetCurSel();
  if (sel == CB_ERR) return;
  const HistoryFields fields = ParseHistoryEntry(m_cbHistory.GetLBText(sel));
  m_login = fields.login;
  m_host = fields.host;
  m_password.clear();
  m_port = fields.port;
  UpdateData(FALSE);
}
