// Explicit FTPS as the control connection sees it: a way to put TLS on the
// open transport, and someone who decides whether a certificate may be
// trusted. The platform provides the first, the window the second; the
// connection knows neither the TLS library nor message boxes.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "TlsInfo.h"
#include "Transport.h"

struct TlsOptions {
  // Replaces transport with one that wraps it and runs the handshake for
  // host (SNI and the name check).
  std::function<TlsStart(std::unique_ptr<Transport>& transport, const std::string& host, TlsInfo& info,
                         std::string& error)>
      start;
  // Whether to go on with this certificate, for host and port as typed.
  // Asked before anything else is sent.
  std::function<bool(const std::string& host, unsigned port, const TlsInfo& info)> trust;
  // TLS from the first byte (the server's port 990 way), without AUTH TLS.
  bool implicit = false;
};
