#include "ConnectionHistory.h"

#include "HistoryEntry.h"

std::vector<std::string> ConnectionHistory::Load() {
  std::vector<std::string> entries = m_store.Load();
  m_known.insert(m_known.end(), entries.begin(), entries.end());
  return entries;
}

ConnectionHistory::Recorded ConnectionHistory::Record(const std::string& login, const std::string& host,
                                                      unsigned port, bool tls) {
  const std::string entry = MakeHistoryEntry(login, host, port);
  // Known only when the same text is listed; a longer entry that merely starts with it is another one.
  for (const std::string& known : m_known)
    if (SameHistoryEntry(known, entry)) {
      m_store.SaveTls(known, tls);
      return {known, false, {}};
    }
  m_known.push_back(entry);
  Recorded recorded{entry, true, {}};
  std::string error;
  // The entry stays listed for this run even when the store refuses it.
  if (!m_store.Save(entry, error) && !m_failureReported) {
    m_failureReported = true;
    recorded.failure = error;
  }
  m_store.SaveTls(entry, tls);
  return recorded;
}
