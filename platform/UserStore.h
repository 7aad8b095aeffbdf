// The per-user store: one settings file (organisation "Dunvarrow",
// application "korvastel") for the connection history (groups "history" and
// "history-tls"), trusted certificates ("certificates") and the pane's
// settings ("pane"). Private from its first byte (folder 0700, file 0600)
// and written atomically, so the window and korvastel-cli may share it.
// Entry names are any bytes and come back exactly as written.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ConnectionHistory.h"

namespace platform {

class UserStore final : public HistoryStore {
 public:
  UserStore();
  ~UserStore() override;
  UserStore(const UserStore&) = delete;
  UserStore& operator=(const UserStore&) = delete;

  // The names in group, in the store's order; names this program did not
  // write are passed over.
  std::vector<std::string> Names(const std::string& group) const;
  std::optional<std::string> Value(const std::string& group, const std::string& name) const;
  // false, with "<path>: <reason>" (Windows-1252) in error, when the store can't be written.
  bool Set(const std::string& group, const std::string& name, const std::string& value, std::string& error);
  // The store's file (Windows-1252), for texts that tell the user where to look.
  std::string FileName() const;

  // The connection history.
  std::vector<std::string> Load() override;
  bool Save(const std::string& entry, std::string& error) override;
  bool LoadTls(const std::string& entry) override;
  void SaveTls(const std::string& entry, bool tls) override;
};

}  // namespace platform
