#include "CommandLine.h"

#include <cctype>
#include <string_view>

#include "res/Strings.h"

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
std::string Shown(std::string_view address) {
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

std::optional<StartTarget> ParseAddress(const std::string& address, std::string& error) {
  StartTarget target;
  std::string_view rest = address;
  const std::size_t scheme = SchemeEnd(rest);
  // The password test comes first, before anything quotes the address, and
  // looks at everything before the last "@", so a password holding "/" or "@"
  // is refused all the same.
  if (HoldsPassword(scheme == std::string_view::npos ? rest : rest.substr(scheme + 3))) {
    error =
        "The address on the command line holds a password, so it was not used: every user of this computer can "
        "read a program's command line (in the process list, with ps for instance). Give LOGIN@HOST[:PORT] "
        "alone and type the password into the window.";
    return std::nullopt;
  }
  const std::string quoted = "\"" + Shown(address) + "\"";
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
  std::string_view host = hostPort, port;
  if (hostPort.starts_with('[')) {
    const std::size_t close = hostPort.find(']');
    if (close == std::string_view::npos || close == 1 || (close + 1 < hostPort.size() && hostPort[close + 1] != ':')) {
      error = "The address " + quoted + " has an unclosed or empty \"[\" (an IPv6 address is written as " +
              "[2001:db8::5]). " + shape;
      return std::nullopt;
    }
    host = hostPort.substr(1, close - 1);
    if (close + 1 < hostPort.size()) port = hostPort.substr(close + 1);
  } else if (const std::size_t colon = hostPort.find(':'); colon != std::string_view::npos) {
    if (hostPort.find(':', colon + 1) != std::string_view::npos) {
      error = "The address " + quoted + " holds more than one \":\"; write an IPv6 address in brackets, " +
              "as in LOGIN@[2001:db8::5]:21.";
      return std::nullopt;
    }
    host = hostPort.substr(0, colon);
    port = hostPort.substr(colon);
  }
  // `port` is empty or ":" followed by what was written.
  if (port == ":") {
    error = "The address " + quoted + " ends in \":\" without a port. " + shape;
    return std::nullopt;
  }
  if (!port.empty()) port.remove_prefix(1);
  if (!PercentDecode(host, target.host) || target.host.empty() || HoldsControlByte(target.host) ||
      target.host.find_first_of(" @[]") != std::string::npos) {
    error = "The address " + quoted + " names no usable server. " + shape;
    return std::nullopt;
  }
  if (!port.empty()) {
    unsigned value = 0;
    bool digits = port.size() <= 5;
    for (const char c : port) {
      digits = digits && c >= '0' && c <= '9';
      if (digits) value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (!digits || value == 0 || value > 65535) {
      error = "The port in the address " + quoted + " must be a number from 1 to 65535.";
      return std::nullopt;
    }
    target.port = value;
  }
  return target;
}

StartOptions ParseCommandLine(const std::vector<std::string>& args) {
  StartOptions options;
  std::vector<std::string> addresses;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (!optionsEnded && (arg == "--help" || arg == "-h")) return {StartAction::Help, std::nullopt, {}};
    if (!optionsEnded && arg == "--version") return {StartAction::Version, std::nullopt, {}};
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      options.action = StartAction::UsageError;
      options.message = "Unknown option \"" + arg + "\".";
    } else {
      addresses.push_back(arg);
    }
  }
  if (options.action == StartAction::UsageError) return options;
  if (addresses.size() > 1) return {StartAction::UsageError, std::nullopt, "Give one address at most."};
  if (addresses.size() == 1) options.target = ParseAddress(addresses[0], options.message);
  return options;
}

std::string UsageText() {
  return "Usage: korvastel [ftp://|ftpes://|ftps://]LOGIN@HOST[:PORT]\n"
         "       korvastel --help | --version\n"
         "\n"
         "Opens Korvastel, the SITE command tool for the administrator of an FTP server.\n"
         "An address fills in the server, port and login fields; type the password into\n"
         "the window. An address that holds a password is refused, since every user of\n"
         "the computer can read a program's command line. The port is 21 unless given;\n"
         "an IPv6 address goes in brackets (admin@[::1]:2121); ftpes:// asks for FTP with\n"
         "explicit TLS, ftps:// for TLS from the first byte (port 990 unless given).\n"
         "\n"
         "  -h, --help     show this help and exit\n"
         "      --version  show the version and exit\n"
         "\n"
         "User commands are read from commandList.ini in the working folder when it is a\n"
         "file of yours that no one else may write or replace, else from\n"
         "$XDG_CONFIG_HOME/korvastel/commandList.ini (by default\n"
         "~/.config/korvastel/commandList.ini).\n";
}

std::string VersionText() { return std::string("korvastel ") + kVersion + "\n"; }
