// The TLS layer of explicit FTPS: wraps the open plain transport of the
// control connection after the server agreed to "AUTH TLS".
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "TlsInfo.h"
#include "Transport.h"

class TlsTransport final : public Transport {
 public:
  enum class Handshake { Done, Failed, Abandoned };

  explicit TlsTransport(std::unique_ptr<Transport> plain);
  ~TlsTransport() override;
  TlsTransport(const TlsTransport&) = delete;
  TlsTransport& operator=(const TlsTransport&) = delete;

  // The client handshake, TLS 1.2 (ECDHE with AES-GCM or ChaCha20 only) or
  // newer, over the wrapped transport, every wait through its wait hook. No
  // renegotiation afterwards: the certificate judged here stays the one. host (a name, or an address literal with or
  // without brackets) goes out as SNI when it is a name and is checked
  // against the certificate; the chain is checked against the system's trust
  // store (SSL_CERT_FILE and SSL_CERT_DIR may point elsewhere). A certificate
  // that fails a check does not fail the handshake: Info() says why, and the
  // caller decides. On Failed, ErrorText() has the library's words.
  Handshake Start(const std::string& host);
  const TlsInfo& Info() const { return m_info; }

  bool Send(std::string_view bytes) override;
  // Application data only: without wait, kNothingYet also when what arrived
  // was a protocol message (a session ticket) and no data.
  long Receive(char* buf, std::size_t size, bool wait = true) override;
  int Descriptor() const override;
  bool HasPending() const override;
  // Drops the session and the connection; no close_notify is sent.
  void Close() override;
  std::string ErrorText() const override { return m_error; }

  // The TLS engine's link to the wrapped transport needs to see it.
  struct Impl;

 private:
  // Sets the error from what the wrapped transport said, if it said
  // anything; false when the fault lies with TLS itself.
  bool FailWithIo(const char* what);
  void FailWithLibraryError(const char* what);

  std::unique_ptr<Transport> m_plain;
  std::unique_ptr<Impl> d;
  TlsInfo m_info;
  std::string m_error;
};

namespace platform {

// TlsOptions::start for the control connection: wraps transport in a
// TlsTransport and runs the handshake. On failure transport still holds the
// connection, for the caller to release.
TlsStart StartTls(std::unique_ptr<Transport>& transport, const std::string& host, TlsInfo& info, std::string& error);

}  // namespace platform
