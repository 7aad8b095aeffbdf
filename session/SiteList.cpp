#include "SiteList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

constexpr char kHeader[] = "# Korvastel site list. No password is ever written here.\n";

std::string Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

bool HoldsLineBreak(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) != text.npos; }

std::optional<unsigned> Number(std::string_view text, unsigned long long max) {
  unsigned long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
  return static_cast<unsigned>(value);
}

// One address line; the empty string on success, else why not.
std::string ParseAddress(std::string_view line, unsigned defaultPort, SiteAddress& address) {
  if (line.find("://") != line.npos)
    return "give the address as HOST or HOST:PORT, without \"ftp://\" or the like; the Encryption field says how "
           "to connect.";
  if (line.find_first_of(" \t") != line.npos) return "an address holds no blanks.";
  std::string_view host = line, port;
  if (line.starts_with('[')) {
    const std::size_t close = line.find(']');
    if (close == line.npos || close == 1 || (close + 1 < line.size() && line[close + 1] != ':'))
      return "an IPv6 address goes in brackets, as in [2001:db8::5]:21.";
    host = line.substr(1, close - 1);
    if (close + 1 < line.size()) port = line.substr(close + 2);
  } else if (const std::size_t colon = line.find(':'); colon != line.npos) {
    if (line.find(':', colon + 1) != line.npos) return "write an IPv6 address in brackets, as in [2001:db8::5]:21.";
    host = line.substr(0, colon);
    port = line.substr(colon + 1);
    if (port.empty()) return "a \":\" must be followed by the port.";
  }
  if (host.empty()) return "the server's name is missing.";
  address.host = std::string(host);
  address.port = defaultPort;
  if (!port.empty()) {
    const auto number = Number(port, 65535);
    if (!number || *number == 0) return "the port must be a number from 1 to 65535.";
    address.port = *number;
  }
  return {};
}

const char* EncryptionName(Encryption e) {
  switch (e) {
    case Encryption::Explicit:
      return "explicit";
    case Encryption::Implicit:
      return "implicit";
    default:
      return "none";
  }
}

// Reads a list file into sites; error names the line at fault.
bool ParseFile(const std::string& path, std::vector<Site>& sites, std::string& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    error = path + " is a folder, not a site list.";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "Can't read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<std::pair<Site, std::vector<std::string>>> read;  // each site with its address lines
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string at = path + ", line " + std::to_string(number) + ": ";
    const std::string text = Trimmed(line);
    if (text.empty() || text.starts_with('#')) continue;
    if (text.starts_with('[')) {
      const std::size_t close = text.rfind(']');
      if (close == std::string::npos || close == 1) {
        error = at + "a site's name goes between \"[\" and \"]\".";
        return false;
      }
      read.emplace_back();
      read.back().first.name = text.substr(1, close - 1);
      continue;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || read.empty()) {
      error = at + "expected \"[name]\" or \"key=value\".";
      return false;
    }
    Site& site = read.back().first;
    const std::string key = Trimmed(std::string_view(text).substr(0, equals));
    const std::string value = Trimmed(std::string_view(text).substr(equals + 1));
    if (key == "address") {
      read.back().second.push_back(value);
    } else if (key == "login") {
      site.login = value;
    } else if (key == "encryption") {
      if (value == "none") site.encryption = Encryption::None;
      else if (value == "explicit") site.encryption = Encryption::Explicit;
      else if (value == "implicit") site.encryption = Encryption::Implicit;
      else {
        error = at + "encryption is none, explicit or implicit.";
        return false;
      }
    } else if (key == "antiidle") {
      site.antiIdleCommand = value;
    } else if (key == "interval") {
      const auto seconds = Number(value, 0xFFFFFFFFu);
      if (!seconds) {
        error = at + "interval is a number of seconds.";
        return false;
      }
      site.antiIdleSeconds = *seconds;
    } else if (key == "remember") {
      site.rememberPassword = value == "yes";
    }  // other keys belong to later versions: kept out, not refused
  }
  if (in.bad()) {
    error = "Can't read " + path + ": " + std::strerror(errno);
    return false;
  }
  for (auto& [site, lines] : read) {
    std::string lineText;
    for (const std::string& l : lines) lineText += l + "\n";
    std::string why;
    const auto addresses = ParseAddresses(lineText, site.encryption, why);
    if (!addresses) {
      error = path + ", site \"" + site.name + "\": " + why;
      return false;
    }
    site.addresses = *addresses;
    sites.push_back(std::move(site));
  }
  return true;
}

}  // namespace

ConnectRequest Site::Request(const std::string& password) const {
  ConnectRequest request;
  if (!addresses.empty()) {
    request.host = addresses.front().host;
    request.port = addresses.front().port;
    request.more.assign(addresses.begin() + 1, addresses.end());
  }
  request.login = login;
  request.password = password;
  request.tls = encryption != Encryption::None;
  request.implicitTls = encryption == Encryption::Implicit;
  return request;
}

std::optional<std::vector<SiteAddress>> ParseAddresses(const std::string& text, Encryption encryption,
                                                       std::string& error) {
  std::vector<SiteAddress> addresses;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::string address = Trimmed(line);
    if (address.empty()) continue;
    SiteAddress parsed;
    const std::string why = ParseAddress(address, encryption == Encryption::Implicit ? 990 : 21, parsed);
    if (!why.empty()) {
      error = "Address line " + std::to_string(number) + " (\"" + address + "\"): " + why;
      return std::nullopt;
    }
    addresses.push_back(std::move(parsed));
  }
  if (addresses.empty()) {
    error = "A site needs at least one address.";
    return std::nullopt;
  }
  return addresses;
}

std::string AddressesText(const std::vector<SiteAddress>& addresses) {
  std::string text;
  for (const SiteAddress& a : addresses) {
    if (!text.empty()) text += '\n';
    text += (a.host.find(':') != std::string::npos ? "[" + a.host + "]" : a.host) + ":" + std::to_string(a.port);
  }
  return text;
}

const Site* SiteList::Find(const std::string& name) const {
  const auto it = std::find_if(m_sites.begin(), m_sites.end(), [&](const Site& s) { return s.name == name; });
  return it == m_sites.end() ? nullptr : &*it;
}

bool SiteList::Put(const std::string& originalName, const Site& site, std::string& error) {
  if (Trimmed(site.name).empty()) {
    error = "A site needs a name.";
  } else if (site.name != originalName && Find(site.name)) {
    error = "There is a site called \"" + site.name + "\" already; choose another name.";
  } else if (site.addresses.empty()) {
    error = "A site needs at least one address.";
  } else if (HoldsLineBreak(site.name) || HoldsLineBreak(site.login) || HoldsLineBreak(site.antiIdleCommand) ||
             site.name.find_first_of("]@") != std::string::npos) {
    // An "@" would make the name read as an address where the command-line runner takes a TARGET.
    error = "The name, login and anti-idle command hold no line breaks, and the name no \"]\" or \"@\".";
  } else {
    const auto it = std::find_if(m_sites.begin(), m_sites.end(), [&](const Site& s) { return s.name == originalName; });
    if (it != m_sites.end() && !originalName.empty())
      *it = site;
    else
      m_sites.push_back(site);
    return true;
  }
  return false;
}

void SiteList::Remove(const std::string& name) {
  std::erase_if(m_sites, [&](const Site& s) { return s.name == name; });
}

std::string SiteList::FreeName(const std::string& wanted) const {
  std::string name = wanted;
  for (int n = 2; Find(name); ++n) name = wanted + " (" + std::to_string(n) + ")";
  return name;
}

bool SiteList::Read(const std::string& path, std::string& error) {
  if (::access(path.c_str(), F_OK) != 0 && errno == ENOENT) {  // none yet: an empty list
    m_sites.clear();
    return true;
  }
  std::vector<Site> sites;
  if (!ParseFile(path, sites, error)) return false;
  m_sites.clear();
  for (Site& site : sites) {
    site.name = FreeName(site.name);
    m_sites.push_back(std::move(site));
  }
  return true;
}

bool SiteList::Import(const std::string& path, std::string& error) {
  std::vector<Site> sites;
  if (!ParseFile(path, sites, error)) return false;
  for (Site& site : sites) {
    site.name = FreeName(site.name);
    m_sites.push_back(std::move(site));
  }
  return true;
}

bool SiteList::Write(const std::string& path, std::string& error) const {
  std::string text = kHeader;
  for (const Site& s : m_sites) {
    text += "\n[" + s.name + "]\n";
    for (const SiteAddress& a : s.addresses) text += "address=" + AddressesText({a}) + "\n";
    text += "login=" + s.login + "\nencryption=" + EncryptionName(s.encryption) + "\nantiidle=" + s.antiIdleCommand +
            "\ninterval=" + std::to_string(s.antiIdleSeconds) + "\nremember=" + (s.rememberPassword ? "yes" : "no") +
            "\n";
  }
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    const std::string folder = path.substr(0, slash);
    for (std::size_t i = 1; i <= folder.size(); ++i)
      if (i == folder.size() || folder[i] == '/') ::mkdir(folder.substr(0, i).c_str(), 0700);
  }
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());  // made readable by the user alone
  bool ok = fd >= 0;
  for (std::size_t done = 0; ok && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  const int saved = errno;
  if (fd >= 0) ::close(fd);
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
  error = "Can't write " + path + ": " + std::strerror(ok ? errno : saved) + ". The site list there is as it was.";
  if (fd >= 0) ::unlink(temp.c_str());
  return false;
}

std::string SiteList::DefaultPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const std::string base = config && *config ? config : std::string(home ? home : ".") + "/.config";
  return base + "/Dunvarrow/korvastel-sites.conf";
}
