// The connection history in the per-user store: group "history", one key per
// entry, and group "history-tls" beside it.
#pragma once

#include "ConnectionHistory.h"

inline constexpr const char* kHistoryKey = "SOFTWARE\\Dunvarrow\\korvastel\\history";
// Whether each history entry used TLS, keyed by the same entry text: beside
// the history, so its entries stay exactly as they were.
inline constexpr const char* kHistoryTlsKey = "SOFTWARE\\Dunvarrow\\korvastel\\history-tls";

namespace platform {

class PerUserHistory : public HistoryStore {
 public:
  std::vector<std::string> Load() override;
  bool Save(const std::string& entry, std::string& error) override;
  bool LoadTls(const std::string& entry) override;
  void SaveTls(const std::string& entry, bool tls) override;
};

}  // namespace platform
