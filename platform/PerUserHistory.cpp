#include "PerUserHistory.h"

#include "Registry.h"

namespace platform {

std::vector<std::string> PerUserHistory::Load() {
  std::vector<std::string> entries;
  CRegKey key;
  if (!key.Create(kHistoryKey)) return entries;
  std::string name;
  for (int index = 0; key.EnumValue(index, name); ++index) entries.push_back(name);
  return entries;
}

bool PerUserHistory::Save(const std::string& entry, std::string& error) {
  CRegKey key;
  if (key.Create(kHistoryKey) && key.SetValue(entry)) return true;
  error = key.GetLastError();
  return false;
}

bool PerUserHistory::LoadTls(const std::string& entry) {
  CRegKey key;
  std::string stored;
  return key.Create(kHistoryTlsKey) && key.QueryValue(entry, stored) && stored == "1";
}

void PerUserHistory::SaveTls(const std::string& entry, bool tls) {
  CRegKey key;
  if (!key.Create(kHistoryTlsKey)) return;
  std::string stored;
  // Only a change is written: most attempts repeat the entry's last choice.
  if (!key.QueryValue(entry, stored) || stored != (tls ? "1" : "0")) key.SetValue(entry, tls ? "1" : "0");
}

}  // namespace platform
