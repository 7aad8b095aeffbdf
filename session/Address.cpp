#include "Address.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%40" becomes "@", so a login may hold any byte the URL can't carry plainly.
bool PercentDecode(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

// A CR, LF or other control byte in a login or host would end up on the wire.
bool HoldsControlByte(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

// Where "scheme://" ends its name, or npos; a "scheme" of other bytes than
// letters, digits, "+", "-" and "." is part of the login or host.
std::size_t SchemeEnd(std::string_view address) {
  const std::size_t end = address.find("://");
  if (end == std::string_view::npos || end == 0) return std::string_view::npos;
  for (const char c : address.substr(0, end))
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return std::string_view::npos;
  return end;
}

// The address as messages show it: everything before the last "@" may hold a
// password (also percent-encoded), so it is never repeated.
std::string ShownAddress(std::string_view address) {
  std::string shown;
  if (const std::size_t scheme = SchemeEnd(address); scheme != std::string_view::npos) {
    shown = address.substr(0, scheme + 3);
    address.remove_prefix(scheme + 3);
  }
  const std::size_t at = address.rfind('@');
  return shown + (at == std::string_view::npos ? "..." : "...@" + std::string(address.substr(at + 1)));
}

// A password before the last "@", or one whose "@" came percent-encoded.
bool HoldsPassword(std::string_view rest) {
  if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos)
    return rest.substr(0, at).find(':') != std::string_view::npos;
  std::string decoded;
  if (!PercentDecode(rest, decoded)) return false;
  const std::size_t at = decoded.rfind('@');
  return at != std::string::npos && decoded.substr(0, at).find(':') != std::string::npos;
}

}  // namespace

HostPort ParseHostPort(std::string_view text, unsigned defaultPort) {
  HostPort result;
  result.port = defaultPort;
  std::string_view host = text, port;
  bool colon = false;
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos || close == 1 || (close + 1 < text.size() && text[close + 1] != ':')) {
      result.problem = HostPortProblem::Brackets;
      return result;
    }
    host = text.substr(1, close - 1);
    colon = close + 1 < text.size();
    if (colon) port = text.substr(close + 2);
  } else if (const std::size_t at = text.find(':'); at != std::string_view::npos) {
    if (text.find(':', at + 1) != std::string_view::npos) {
      result.problem = HostPortProblem::Colons;
      return result;
    }
    colon = true;
    host = text.substr(0, at);
    port = text.substr(at + 1);
  }
  if (colon && port.empty()) {
    result.problem = HostPortProblem::EmptyPort;
    return result;
  }
  result.host = host;
  if (host.empty()) {
    result.problem = HostPortProblem::NoHost;
  } else if (colon) {
    // Digits only; the value is capped as it grows, so no length overflows it.
    unsigned value = 0;
    bool digits = true;
    for (const char c : port) {
      digits = digits && c >= '0' && c <= '9';
      if (digits) value = std::min(value * 10 + static_cast<unsigned>(c - '0'), 65536u);
    }
    if (!digits || value == 0 || value > 65535)
      result.problem = HostPortProblem::Port;
    else
      result.port = value;
  }
  return result;
}

std::optional<StartTarget> ParseAddress(const std::string& address, std::string& error, bool* heldPassword) {
  StartTarget target;
  if (heldPassword) *heldPassword = false;
  std::string_view rest = address;
  const std::size_t scheme = SchemeEnd(rest);
  // The password test comes first, before anything quotes the address, and
  // looks at everything before the last "@", so a password holding "/" or "@"
  // is refused all the same.
  if (HoldsPassword(scheme == std::string_view::npos ? rest : rest.substr(scheme + 3))) {
    if (heldPassword) *heldPassword = true;
    error =
        "The address on the command line holds a password, so it was not used: every user of this computer can "
        "read a program's command line (in the process list, with ps for instance). Give LOGIN@HOST[:PORT] "
        "alone and type the password into the window.";
    return std::nullopt;
  }
  const std::string quoted = "\"" + ShownAddress(address) + "\"";
  if (scheme != std::string_view::npos) {
    const std::string name = Lower(rest.substr(0, scheme));
    if (name == "ftpes") {
      target.tls = true;
    } else if (name == "ftps") {
      // TLS from the first byte, on the port kept for it unless one is given.
      target.tls = true;
      target.implicitTls = true;
      target.port = 990;
    } else if (name != "ftp") {
      error = "The address " + quoted + " starts with \"" + std::string(rest.substr(0, scheme)) +
              "://\"; Korvastel speaks ftp://, ftpes:// (FTP with explicit TLS) and ftps:// (TLS from the " +
              "first byte) only.";
      return std::nullopt;
    }
    rest.remove_prefix(scheme + 3);
  }
  const std::size_t at = rest.rfind('@');
  const std::string shape = "Write it as [ftp://|ftpes://|ftps://]LOGIN@HOST[:PORT].";
  if (at == std::string_view::npos || at == 0) {
    error = "The address " + quoted + " names no login. " + shape;
    return std::nullopt;
  }
  if (!PercentDecode(rest.substr(0, at), target.login) || target.login.empty() || HoldsControlByte(target.login)) {
    error = "The login in the address " + quoted + " can't be used: a \"%\" must be followed by two hex " +
            "digits, and a login holds no control characters.";
    return std::nullopt;
  }

  std::string_view hostPort = rest.substr(at + 1);
  if (hostPort.ends_with('/')) hostPort.remove_suffix(1);  // "ftp://admin@host/" names the same server
  if (hostPort.find_first_of("/?#") != std::string_view::npos) {
    error = "The address " + quoted + " holds a path; Korvastel needs only the server. " + shape;
    return std::nullopt;
  }
  const HostPort parsed = ParseHostPort(hostPort, target.port);
  switch (parsed.problem) {
    case HostPortProblem::Brackets:
      error = "The address " + quoted + " has an unclosed or empty \"[\" (an IPv6 address is written as " +
              "[2001:db8::5]). " + shape;
      return std::nullopt;
    case HostPortProblem::Colons:
      error = "The address " + quoted + " holds more than one \":\"; write an IPv6 address in brackets, " +
              "as in LOGIN@[2001:db8::5]:21.";
      return std::nullopt;
    case HostPortProblem::EmptyPort:
      error = "The address " + quoted + " ends in \":\" without a port. " + shape;
      return std::nullopt;
    default:
      break;
  }
  // A server the URL names badly is told before a bad port.
  if (!PercentDecode(parsed.host, target.host) || target.host.empty() || HoldsControlByte(target.host) ||
      target.host.find_first_of(" @[]") != std::string::npos) {
    error = "The address " + quoted + " names no usable server. " + shape;
    return std::nullopt;
  }
  if (parsed.problem == HostPortProblem::Port) {
    error = "The port in the address " + quoted + " must be a number from 1 to 65535.";
    return std::nullopt;
  }
  target.port = parsed.port;
  return target;
}

std::optional<Socks5Proxy> ParseProxy(const std::string& text, std::string& error, bool* heldPassword) {
  const std::string shape = " Write it as socks5://[USER@]HOST:PORT (an IPv6 address in brackets).";
  std::string_view rest = text;
  const std::size_t scheme = SchemeEnd(rest);
  if (scheme == std::string_view::npos || Lower(rest.substr(0, scheme)) != "socks5") {
    error = "The proxy address does not start with \"socks5://\"." + shape;
    return std::nullopt;
  }
  rest.remove_prefix(scheme + 3);
  if (heldPassword) *heldPassword = HoldsPassword(rest);
  if (HoldsPassword(rest)) {
    error = "The proxy address holds a password, so it was not used: every user of this computer can read a "
            "program's command line. Give the proxy's password in KORVASTEL_PROXY_PASSWORD.";
    return std::nullopt;
  }
  const std::string quoted = "\"" + ShownAddress(text) + "\"";
  Socks5Proxy proxy;
  if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
    if (!PercentDecode(rest.substr(0, at), proxy.user) || proxy.user.empty() || HoldsControlByte(proxy.user) ||
        proxy.user.size() > kSocks5MaxField) {
      error = "The user in the proxy address " + quoted + " can't be used: it holds 1 to 255 bytes, no control " +
              "characters, and a \"%\" is followed by two hex digits.";
      return std::nullopt;
    }
    rest.remove_prefix(at + 1);
  }
  if (rest.ends_with('/')) rest.remove_suffix(1);
  const HostPort parsed = ParseHostPort(rest, 1080);
  if (parsed.problem != HostPortProblem::None || rest.find_first_of("/?#@ ") != std::string_view::npos ||
      HoldsControlByte(parsed.host)) {
    error = "The proxy address " + quoted + " names no usable proxy." + shape;
    return std::nullopt;
  }
  proxy.host = parsed.host;
  proxy.port = parsed.port;
  return proxy;
}
