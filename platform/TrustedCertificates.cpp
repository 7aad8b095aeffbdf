#include "TrustedCertificates.h"

#include "Registry.h"

namespace {

constexpr const char* kKeyPath = "SOFTWARE\\Dunvarrow\\korvastel\\certificates";

// Host names do not care about letter case; the same server typed as
// "FTP.Example.org" and "ftp.example.org" shares one entry.
std::string KeyName(const std::string& host, unsigned port) {
  std::string key;
  for (const char c : host) key.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c);
  return key + ":" + std::to_string(port);
}

}  // namespace

std::string platform::TrustedFingerprint(const std::string& host, unsigned port) {
  CRegKey key;
  std::string fingerprint;
  if (!key.Create(kKeyPath) || !key.QueryValue(KeyName(host, port), fingerprint)) return {};
  return fingerprint;
}

bool platform::TrustFingerprint(const std::string& host, unsigned port, const std::string& fingerprint) {
  CRegKey key;
  return key.Create(kKeyPath) && key.SetValue(KeyName(host, port), fingerprint);
}
