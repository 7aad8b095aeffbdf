// What a TLS handshake learned about the session and the server's
// certificate, in words the user can read. No TLS library type shows here.
#pragma once

#include <string>

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
