// A SOCKS5 client (RFC 1928, with the username/password login of RFC 1929)
// as a layer under the control connection: it connects to the proxy, asks
// it for the site, and hands back the proxied stream as a plain transport,
// so TLS and the protocol above run over it unchanged.
#pragma once

#include <memory>
#include <string>

#include "ConnectError.h"
#include "Transport.h"

struct Socks5Proxy {
  std::string host;  // a name or an IPv4/IPv6 address (IPv6 with or without brackets)
  unsigned port = 1080;
  std::string user;      // empty: no login is offered
  std::string password;  // sent only with a user
};

// What RFC 1929 can carry in one field.
inline constexpr std::size_t kSocks5MaxField = 255;

// The site host:port through proxy, or null with error saying why. The
// site's host goes to the proxy as a name (the proxy resolves it; no DNS
// query for it leaves this machine), a literal address as an address. Every
// wait is the socket's, with the thread's wait hook: a cancel or the wait
// limit ends it as Kind::Abandoned.
std::unique_ptr<Transport> ConnectSocks5(const Socks5Proxy& proxy, const std::string& host, unsigned port,
                                         ConnectError& error);

// The words of a SOCKS5 reply code (RFC 1928, section 6).
std::string Socks5ReplyText(unsigned code);
