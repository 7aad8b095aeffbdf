// The connection history: every attempt is remembered as "login@host:port"
// (never the password), with whether it used TLS; an attempt already listed,
// ignoring letter case, is not listed twice.
#pragma once

#include <string>
#include <vector>

// Where the history is kept (the per-user store).
class HistoryStore {
 public:
  virtual ~HistoryStore() = default;
  virtual std::vector<std::string> Load() = 0;
  // False when the entry could not be written; error then says why.
  virtual bool Save(const std::string& entry, std::string& error) = 0;
  virtual bool LoadTls(const std::string& entry) = 0;
  virtual void SaveTls(const std::string& entry, bool tls) = 0;
};

class ConnectionHistory {
 public:
  explicit ConnectionHistory(HistoryStore& store) : m_store(store) {}

  // The stored entries; they are known from now on.
  std::vector<std::string> Load();

  struct Recorded {
    std::string entry;    // as listed: the earlier entry equal to it ignoring case, or the new one
    bool added = false;   // a new entry
    std::string failure;  // why it could not be saved; given once per run, since later attempts fail alike
  };
  // Records an attempt before anything can fail, so every attempt is remembered.
  Recorded Record(const std::string& login, const std::string& host, unsigned port, bool tls);

  bool UsedTls(const std::string& entry) { return m_store.LoadTls(entry); }

 private:
  HistoryStore& m_store;
  std::vector<std::string> m_known;
  bool m_failureReported = false;
};
