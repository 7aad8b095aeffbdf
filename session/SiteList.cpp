#include "SiteList.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "Address.h"
#include "LineBreak.h"

namespace {

constexpr char kHeader[] = "# Korvastel site list. No password is ever written here.\n";

std::string Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::optional<unsigned> Number(std::string_view text, unsigned long long max) {
  unsigned long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
  return static_cast<unsigned>(value);
}

// One address line; the empty string on success, else why not.
std::string ParseAddressLine(std::string_view line, unsigned defaultPort, SiteAddress& address) {
  if (line.find("://") != line.npos)
    return "give the address as HOST or HOST:PORT, without \"ftp://\" or the like; the Encryption field says how "
           "to connect.";
  if (line.find_first_of(" \t") != line.npos) return "an address holds no blanks.";
  const HostPort parsed = ParseHostPort(line, defaultPort);
  switch (parsed.problem) {
    case HostPortProblem::Brackets:
      return "an IPv6 address goes in brackets, as in [2001:db8::5]:21.";
    case HostPortProblem::Colons:
      return "write an IPv6 address in brackets, as in [2001:db8::5]:21.";
    case HostPortProblem::EmptyPort:
      return "a \":\" must be followed by the port.";
    case HostPortProblem::NoHost:
      return "the server's name is missing.";
    case HostPortProblem::Port:
      return "the port must be a number from 1 to 65535.";
    case HostPortProblem::None:
      break;
  }
  address.host = std::string(parsed.host);
  address.port = parsed.port;
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

std::size_t Hash(std::string_view text) { return std::hash<std::string_view>{}(text); }

// The whole file, if it is a regular file (or a link to one) of at most
// kMaxFileSize. Anything else is refused before a byte is read: a FIFO would
// wait for a writer, a device never ends.
bool ReadFileText(const std::string& path, std::string& text, std::string& error) {
  const auto refuse = [&](const struct stat& st) {
    if (S_ISDIR(st.st_mode))
      error = Shown(path) + " is a folder, not a site list.";
    else if (!S_ISREG(st.st_mode))
      error = Shown(path) + " is not a regular file (a FIFO, device or socket), so not a site list.";
    else if (static_cast<std::size_t>(st.st_size) > SiteList::kMaxFileSize)
      error = Shown(path) + " is larger than 16 MiB, too large for a site list.";
    else
      return false;
    return true;
  };
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && refuse(st)) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = "Can't read " + Shown(path) + ": " + std::strerror(errno);
    return false;
  }
  bool ok = ::fstat(fd, &st) == 0 && !refuse(st);  // what was opened may not be what was looked at
  text.clear();
  if (ok) text.resize(static_cast<std::size_t>(st.st_size) + 1);
  std::size_t done = 0;
  while (ok) {
    if (done == text.size()) {  // grown since: read on, up to the limit
      if (text.size() > SiteList::kMaxFileSize) break;
      text.resize(std::min(text.size() * 2 + 4096, SiteList::kMaxFileSize + 1));
    }
    const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      if (!ok) error = "Can't read " + Shown(path) + ": " + std::strerror(errno);
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (!ok) return false;
  if (done > SiteList::kMaxFileSize) {
    error = Shown(path) + " is larger than 16 MiB, too large for a site list.";
    return false;
  }
  text.resize(done);
  return true;
}

// Hands out names no site has yet: "name", else "name (2)", "name (3)"...
// Each name remembers the number it got to, so n sites of one name cost n
// lookups, not n squared.
class FreeNames {
 public:
  explicit FreeNames(const std::vector<Site>& sites) {
    for (const Site& s : sites) m_taken.insert(s.name);
  }
  std::string Take(const std::string& wanted) {
    std::string name = wanted;
    if (m_taken.contains(name)) {
      unsigned& n = m_next.try_emplace(wanted, 2u).first->second;
      do name = wanted + " (" + std::to_string(n++) + ")";
      while (m_taken.contains(name));
    }
    m_taken.insert(name);
    return name;
  }

 private:
  std::unordered_set<std::string> m_taken;
  std::unordered_map<std::string, unsigned> m_next;
};

// Reads the text of a list file into sites, each name made free by names;
// error names the line at fault.
bool ParseText(const std::string& path, std::string_view file, FreeNames& names, std::vector<Site>& sites,
               std::string& error) {
  std::vector<std::pair<Site, std::vector<std::string>>> read;  // each site with its address lines
  int number = 0;
  for (std::size_t start = 0; start < file.size();) {
    const std::size_t end = std::min(file.find('\n', start), file.size());
    const std::string_view line = file.substr(start, end - start);
    start = end + 1;
    const std::string at = Shown(path) + ", line " + std::to_string(++number) + ": ";
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
      if (const std::string why = SiteNameProblem(read.back().first.name); !why.empty()) {
        error = at + "the name \"" + Shown(read.back().first.name) + "\" can't be used. " + why;
        return false;
      }
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
    } else if (key == "log") {
      site.keepLog = value == "yes";
    } else if (key == "proxy") {
      std::string why;
      if (!value.empty() && !ParseProxy(value, why)) {
        error = at + why;
        return false;
      }
      site.proxy = value;
    }  // other keys belong to later versions: kept out, not refused
  }
  for (auto& [site, lines] : read) {
    std::string lineText;
    for (const std::string& l : lines) lineText += l + "\n";
    std::string why;
    const auto addresses = ParseAddresses(lineText, site.encryption, why);
    if (!addresses) {
      error = Shown(path) + ", site \"" + Shown(site.name) + "\": " + why;
      return false;
    }
    site.addresses = *addresses;
    site.name = names.Take(site.name);
    sites.push_back(std::move(site));
  }
  return true;
}

std::string ListText(const std::vector<Site>& sites) {
  std::string text = kHeader;
  for (const Site& s : sites) {
    text += "\n[" + s.name + "]\n";
    for (const SiteAddress& a : s.addresses) text += "address=" + AddressesText({a}) + "\n";
    text += "login=" + s.login + "\nencryption=" + EncryptionName(s.encryption) + "\nantiidle=" + s.antiIdleCommand +
            "\ninterval=" + std::to_string(s.antiIdleSeconds) + "\nremember=" + (s.rememberPassword ? "yes" : "no") +
            "\n";
    if (s.keepLog) text += "log=yes\n";  // written only when on: older lists stay as they were
    if (!s.proxy.empty()) text += "proxy=" + s.proxy + "\n";
  }
  return text;
}

std::string Folder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

void MakeFolder(const std::string& folder) {
  for (std::size_t i = 1; i <= folder.size(); ++i)
    if (i == folder.size() || folder[i] == '/') ::mkdir(folder.substr(0, i).c_str(), 0700);
}

bool WriteAtomically(const std::string& path, const std::string& text, std::string& error) {
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
  error =
      "Can't write " + Shown(path) + ": " + std::strerror(ok ? errno : saved) + ". The site list there is as it was.";
  if (fd >= 0) ::unlink(temp.c_str());
  return false;
}

// Two windows saving at once take turns: each reads, merges and writes the
// file while it holds the lock on the file's folder.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder) : m_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    while (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FolderLock() {
    if (m_fd >= 0) ::close(m_fd);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int m_fd;
};

const Site* Named(const std::vector<Site>& sites, const std::string& name) {
  const auto it = std::find_if(sites.begin(), sites.end(), [&](const Site& s) { return s.name == name; });
  return it == sites.end() ? nullptr : &*it;
}

bool Same(const Site* a, const Site* b) { return a && b ? SameSite(*a, *b) : a == b; }

}  // namespace

ConnectRequest Site::Request(const std::string& password, const std::string& proxyPassword) const {
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
  if (!proxy.empty()) {
    std::string error;
    // The list keeps only proxies it can read; one that slipped past still never means "direct".
    request.proxy = ParseProxy(proxy, error);
    if (!request.proxy) request.proxy = Socks5Proxy{proxy, 0, {}, {}};
    if (!request.proxy->user.empty()) request.proxy->password = proxyPassword;
  }
  return request;
}

std::string Site::ProxyUser() const {
  std::string error;
  const auto parsed = proxy.empty() ? std::nullopt : ParseProxy(proxy, error);
  return parsed ? parsed->user : std::string();
}

bool SameSite(const Site& a, const Site& b) {
  const auto sameAddress = [](const SiteAddress& x, const SiteAddress& y) {
    return x.host == y.host && x.port == y.port;
  };
  return a.name == b.name && a.login == b.login && a.encryption == b.encryption &&
         a.antiIdleCommand == b.antiIdleCommand && a.antiIdleSeconds == b.antiIdleSeconds &&
         a.rememberPassword == b.rememberPassword && a.keepLog == b.keepLog && a.proxy == b.proxy &&
         std::equal(a.addresses.begin(), a.addresses.end(), b.addresses.begin(), b.addresses.end(), sameAddress);
}

std::string SiteNameProblem(std::string_view name) {
  if (Trimmed(name).empty()) return "A site needs a name.";
  if (HoldsLineBreak(name)) return "A site's name holds no line break.";
  // An "@" would make the name read as an address where the command-line runner takes a TARGET.
  if (name.find_first_of("]@") != name.npos) return "A site's name holds no \"]\" or \"@\".";
  return {};
}

std::string Shown(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      shown += c;
      continue;
    }
    constexpr char kHex[] = "0123456789abcdef";
    shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
  }
  return shown;
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
    const std::string why = ParseAddressLine(address, encryption == Encryption::Implicit ? 990 : 21, parsed);
    if (!why.empty()) {
      error = "Address line " + std::to_string(number) + " (\"" + Shown(address) + "\"): " + why;
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

const Site* SiteList::Find(const std::string& name) const { return Named(m_sites, name); }

bool SiteList::Put(const std::string& originalName, const Site& site, std::string& error) {
  const std::string nameProblem = SiteNameProblem(site.name);
  if (Trimmed(site.name).empty()) {
    error = nameProblem;
  } else if (site.name != originalName && Find(site.name)) {
    error = "There is a site called \"" + Shown(site.name) + "\" already; choose another name.";
  } else if (site.addresses.empty()) {
    error = "A site needs at least one address.";
  } else if (!site.proxy.empty() && !ParseProxy(site.proxy, error)) {
    // error says why
  } else if (!nameProblem.empty() || HoldsLineBreak(site.login) || HoldsLineBreak(site.antiIdleCommand)) {
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

std::string SiteList::FreeName(const std::string& wanted) const { return FreeNames(m_sites).Take(wanted); }

bool SiteList::Read(const std::string& path, std::string& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {  // none yet: an empty list
    m_sites.clear();
    m_base.clear();
    m_baseHash.reset();
    return true;
  }
  std::string text;
  std::vector<Site> sites;
  FreeNames names({});
  if (!ReadFileText(path, text, error) || !ParseText(path, text, names, sites, error)) return false;
  m_sites = sites;
  m_base = std::move(sites);
  m_baseHash = Hash(text);
  return true;
}

bool SiteList::Import(const std::string& path, std::string& error) {
  std::string text;
  std::vector<Site> sites;
  FreeNames names(m_sites);
  if (!ReadFileText(path, text, error) || !ParseText(path, text, names, sites, error)) return false;
  for (Site& site : sites) {
    site.rememberPassword = false;
    m_sites.push_back(std::move(site));
  }
  return true;
}

bool SiteList::Write(const std::string& path, std::string& error) const {
  MakeFolder(Folder(path));
  return WriteAtomically(path, ListText(m_sites), error);
}

bool SiteList::Save(const std::string& path, std::string& error, SaveMerge& merge) {
  merge = {};
  const std::string folder = Folder(path);
  MakeFolder(folder);
  const FolderLock lock(folder);
  struct stat st {};
  // Gone: nothing to merge, and nothing of ours goes with it.
  if (::stat(path.c_str(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR)) {
    std::string text;
    std::vector<Site> theirs;
    if (!ReadFileText(path, text, error)) return false;
    if (!m_baseHash || Hash(text) != *m_baseHash) {
      FreeNames names({});
      if (!ParseText(path, text, names, theirs, error)) {
        error = "The site list was changed by another program and can't be read now. " + error +
                " Nothing was written; fix or move that file first.";
        return false;
      }
      // Three ways, site by site: the file as last seen here (base), as it is now (theirs), this list (ours).
      merge.merged = true;
      std::vector<Site> result;
      result.reserve(m_sites.size() + theirs.size());
      for (const Site& ours : m_sites) {
        const Site* base = Named(m_base, ours.name);
        const Site* their = Named(theirs, ours.name);
        if (!Same(their, base) && Same(&ours, base)) {
          if (their) result.push_back(*their);  // else deleted there
          continue;
        }
        if (!Same(their, base) && !Same(&ours, their)) merge.ours.push_back(ours.name);
        result.push_back(ours);
      }
      for (const Site& their : theirs) {
        if (Find(their.name)) continue;
        const Site* base = Named(m_base, their.name);
        if (!base)
          result.push_back(their);  // added there
        else if (!SameSite(their, *base))
          merge.ours.push_back(their.name);  // changed there, deleted here
      }
      m_sites = std::move(result);
    }
  }
  const std::string text = ListText(m_sites);
  if (!WriteAtomically(path, text, error)) return false;
  m_base = m_sites;
  m_baseHash = Hash(text);
  return true;
}

std::string SiteList::DefaultPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const std::string base = config && *config ? config : std::string(home ? home : ".") + "/.config";
  return base + "/Dunvarrow/korvastel-sites.conf";
}
