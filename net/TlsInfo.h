// What a TLS handshake learned about the session and the server's
// certificate, in words the user can read. No TLS library type shows here.
#pragma once

#include <cstddef>
#include <string>

enum class TlsStart {
  Secured,    // transport now speaks TLS; info describes the session
  Failed,     // error holds the TLS library's words
  Abandoned,  // the wait was given up (the window is closing)
};

struct TlsInfo {
  std::string protocol;     // "TLSv1.3"
  std::string cipher;       // "TLS_AES_256_GCM_SHA384"
  std::string fingerprint;  // SHA-256 of the certificate, "AB:CD:..."
  std::string subject;      // "CN=ftp.example.org, O=Example"
  std::string issuer;
  std::string validFrom;  // "2026-12-07 01:00:00 UTC"
  std::string validUntil;
  // The chain reached a trusted root and the certificate names the host.
  bool trusted = false;
  // Why not, in the TLS library's words ("self-signed certificate"); several
  // reasons are joined with "; ". Empty when trusted.
  std::string reason;
};

// A certificate digest as users compare it: colon-separated upper-case hex
// pairs ("AB:CD:...").
inline std::string FingerprintText(const unsigned char* bytes, std::size_t size) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    if (i > 0) out.push_back(':');
    out.push_back(kHex[bytes[i] >> 4]);
    out.push_back(kHex[bytes[i] & 15]);
  }
  return out;
}
