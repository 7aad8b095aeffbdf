// The connection history: the list of earlier attempts and its per-user store.
#include "Controls.h"
#include "HistoryEntry.h"
#include "SiteCmdDlg.h"
#include "res/resource.h"

void CSiteCmdDlg::LoadHistory() {
  for (const std::string& entry : m_history.Load()) m_historyList->Add(entry);
}

void CSiteCmdDlg::RecordHistoryEntry() {
  const ConnectionHistory::Recorded recorded = m_history.Record(m_form.login, m_form.host, m_form.port, m_form.tls);
  if (recorded.added) {
    m_historyList->Select(m_historyList->Add(recorded.entry));
  } else {
    for (int i = 0; i < m_historyList->count(); ++i)
      if (m_historyList->Entry(i) == recorded.entry) m_historyList->Select(i);
  }
  if (!recorded.failure.empty())
    m_transcript.AppendKind("\n>The connection history could not be saved: " + recorded.failure + "\n",
                            TranscriptKind::Hint);
}

void CSiteCmdDlg::OnHistorySelChange() {
  const int sel = m_historyList->currentIndex();
  if (sel == -1) return;
  const HistoryFields fields = ParseHistoryEntry(m_historyList->Entry(sel));
  m_form.login = fields.login;
  m_form.host = fields.host;
  m_form.password.clear();
  // A port that does not fit 32 bits is no number at all; Connect refuses 0 and anything past 65535.
  const bool digits = !fields.port.empty() && fields.port.size() <= 10 &&
                      fields.port.find_first_not_of("0123456789") == std::string::npos;
  const unsigned long long value = digits ? std::stoull(fields.port) : 0;
  m_form.port = value <= 0xFFFFFFFFull ? static_cast<unsigned>(value) : 0;
  m_form.tls = m_history.UsedTls(m_historyList->Entry(sel));
  m_implicitTls = false;  // the history keeps whether TLS was asked for, not how
  WriteFields();
  // The port goes in as text: one out of range stays as written, so Connect
  // refuses it as it refuses such a typed port.
  SetText(IDC_PORT, fields.port);
}
