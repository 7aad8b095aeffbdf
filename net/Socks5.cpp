#include "Socks5.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstring>
#include <utility>

#include "Socket.h"

namespace {

using Kind = ConnectError::Kind;

constexpr char kVersion = 5;
constexpr char kLoginVersion = 1;  // RFC 1929's own version byte
constexpr unsigned char kNoAuth = 0, kUserPassword = 2, kNoneAcceptable = 0xFF;
constexpr unsigned char kIPv4 = 1, kName = 3, kIPv6 = 4;

std::string StripBrackets(const std::string& host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
  return host;
}

// HOST:PORT as messages show it, an IPv6 address in brackets.
std::string Place(const std::string& host, unsigned port) {
  const std::string bare = StripBrackets(host);
  return (bare.find(':') != std::string::npos ? "[" + bare + "]" : bare) + ":" + std::to_string(port);
}

ConnectError Failure(Kind kind, std::string text, std::string place = {}) {
  ConnectError e;
  e.kind = kind;
  e.text = std::move(text);
  e.place = std::move(place);
  return e;
}

// The handshake over the proxy's socket; every read takes no more than the
// step needs, so the site's first bytes stay in the socket for the layer above.
class Handshake {
 public:
  explicit Handshake(TcpSocket& socket) : m_socket(socket) {}

  bool Send(const std::string& bytes) { return m_socket.Send(bytes) || Broke("the proxy closed the connection"); }

  bool Read(std::size_t size) {
    m_got.assign(size, '\0');
    for (std::size_t done = 0; done < size;) {
      const long n = m_socket.Receive(m_got.data() + done, size - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      return Broke(n == Transport::kClosed ? "the proxy closed the connection midway" : m_socket.ErrorText());
    }
    return true;
  }
  unsigned char At(std::size_t i) const { return static_cast<unsigned char>(m_got[i]); }

  bool Fail(ConnectError error) {
    m_error = std::move(error);
    return false;
  }
  bool NotSocks5(const std::string& why) { return Fail(Failure(Kind::ProxyNotSocks5, why)); }
  const ConnectError& Error() const { return m_error; }

 private:
  bool Broke(const std::string& why) {
    if (m_socket.LastFailure() == TcpSocket::Failure::Abandoned) return Fail(Failure(Kind::Abandoned, "the wait was abandoned"));
    return NotSocks5(why);
  }

  TcpSocket& m_socket;
  std::string m_got;
  ConnectError m_error;
};

// The CONNECT request for host:port, or false when the host can't be named in one.
bool ConnectRequest(const std::string& host, unsigned port, std::string& request) {
  request = {kVersion, 1, 0};
  in_addr v4{};
  in6_addr v6{};
  if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) {
    request += static_cast<char>(kIPv4);
    request.append(reinterpret_cast<const char*>(&v4), sizeof v4);
  } else if (::inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
    request += static_cast<char>(kIPv6);
    request.append(reinterpret_cast<const char*>(&v6), sizeof v6);
  } else if (host.empty() || host.size() > kSocks5MaxField || port == 0 || port > 65535) {
    return false;
  } else {
    request += static_cast<char>(kName);
    request += static_cast<char>(host.size());
    request += host;
  }
  request += static_cast<char>(port >> 8);
  request += static_cast<char>(port & 0xFF);
  return port > 0 && port <= 65535;
}

bool Negotiate(Handshake& h, const Socks5Proxy& proxy, const std::string& site, unsigned port,
               const std::string& request) {
  const bool login = !proxy.user.empty();
  const std::string hello =
      login ? std::string{kVersion, 2, kNoAuth, static_cast<char>(kUserPassword)} : std::string{kVersion, 1, kNoAuth};
  if (!h.Send(hello) || !h.Read(2)) return false;
  if (h.At(0) != kVersion) return h.NotSocks5("a greeting of version " + std::to_string(h.At(0)));
  if (h.At(1) == kNoneAcceptable) return h.Fail(Failure(Kind::ProxyLoginRefused, "no offered method was accepted"));
  if (h.At(1) == kUserPassword && login) {
    std::string auth{kLoginVersion, static_cast<char>(proxy.user.size())};
    auth += proxy.user;
    auth += static_cast<char>(proxy.password.size());
    auth += proxy.password;
    if (!h.Send(auth) || !h.Read(2)) return false;
    // Some proxies answer with the SOCKS version in place of RFC 1929's.
    if (h.At(0) != kLoginVersion && h.At(0) != kVersion) return h.NotSocks5("a login answer of version " + std::to_string(h.At(0)));
    if (h.At(1) != 0) return h.Fail(Failure(Kind::ProxyLoginRefused, "status " + std::to_string(h.At(1))));
  } else if (h.At(1) != kNoAuth) {
    return h.NotSocks5("method " + std::to_string(h.At(1)) + ", which was not offered");
  }
  if (!h.Send(request) || !h.Read(4)) return false;
  if (h.At(0) != kVersion) return h.NotSocks5("a reply of version " + std::to_string(h.At(0)));
  if (h.At(1) != 0) return h.Fail(Failure(Kind::ProxyCannotReach, Socks5ReplyText(h.At(1)), Place(site, port)));
  std::size_t rest = 0;
  switch (h.At(3)) {
    case kIPv4:
      rest = 4;
      break;
    case kIPv6:
      rest = 16;
      break;
    case kName:
      if (!h.Read(1)) return false;
      if (h.At(0) == 0) return h.NotSocks5("an empty bound name");
      rest = h.At(0);  // at most 255 by its one byte: read whole, then the site speaks
      break;
    default:
      return h.NotSocks5("address type " + std::to_string(h.At(3)));
  }
  return h.Read(rest + 2);
}

}  // namespace

std::string Socks5ReplyText(unsigned code) {
  static const char* const kTexts[] = {"succeeded",
                                       "general SOCKS server failure",
                                       "connection not allowed by ruleset",
                                       "network unreachable",
                                       "host unreachable",
                                       "connection refused",
                                       "TTL expired",
                                       "command not supported",
                                       "address type not supported"};
  if (code < std::size(kTexts)) return kTexts[code];
  return "reply code " + std::to_string(code);
}

std::unique_ptr<Transport> ConnectSocks5(const Socks5Proxy& proxy, const std::string& host, unsigned port,
                                         ConnectError& error) {
  error = {};
  if (proxy.user.size() > kSocks5MaxField || proxy.password.size() > kSocks5MaxField) {
    error = Failure(Kind::ProxyLoginTooLong, "RFC 1929 carries at most 255 bytes");
    return nullptr;
  }
  const std::string site = StripBrackets(host);
  std::string request;
  if (!ConnectRequest(site, port, request)) {
    error = Failure(Kind::BadAddress, "a host name of 1 to 255 bytes and a port from 1 to 65535");
    return nullptr;
  }
  auto socket = std::make_unique<TcpSocket>();
  if (!socket->Connect(proxy.host, proxy.port)) {
    error = socket->LastConnectError();
    if (error.kind != Kind::Abandoned) {
      error.kind = Kind::ProxyUnreachable;
      error.place = Place(proxy.host, proxy.port);
    }
    return nullptr;
  }
  Handshake handshake(*socket);
  if (!Negotiate(handshake, proxy, site, port, request)) {
    error = handshake.Error();
    return nullptr;
  }
  // The site speaks first, but its greeting leaves the proxy only once we
  // have acknowledged the proxy's reply (the proxy's Nagle): a delayed
  // acknowledgement would hold it back some 40 ms.
  const int on = 1;
  ::setsockopt(socket->Descriptor(), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
  return socket;
}
