// The user's saved sites: each with its addresses (bouncers, tried in order),
// login, encryption and anti-idle settings. Kept per user in a file of its
// own that the window and the command-line runner both read; a password is
// never part of it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Session.h"

enum class Encryption { None, Explicit, Implicit };

struct Site {
  std::string name;
  std::vector<SiteAddress> addresses;
  std::string login;
  Encryption encryption = Encryption::None;
  std::string antiIdleCommand = "NOOP";
  unsigned antiIdleSeconds = 360;
  bool rememberPassword = false;  // the password itself lives in the system keyring
  bool keepLog = false;           // its sessions keep a log on disk (SessionLog.h)
  // socks5://[USER@]HOST:PORT as ParseProxy reads it; empty: direct. The
  // proxy's password lives where the site's does, never here.
  std::string proxy;

  // What Session::Connect needs, the passwords aside.
  ConnectRequest Request(const std::string& password, const std::string& proxyPassword = {}) const;
  // The user of the proxy, empty when there is none or it takes no login.
  std::string ProxyUser() const;
};

// Field by field, addresses in order.
bool SameSite(const Site& a, const Site& b);

// Why name can't be a site's name (none, a line break, "]" or "@"), or empty
// when it can. The list checks every name it reads or keeps with it, and the
// keyring every name it files a password under.
std::string SiteNameProblem(std::string_view name);
// Text for a message that quotes a name or a line: control characters
// written as \x1b and the like, so a box never passes them on.
std::string Shown(std::string_view text);

// Reads the Addresses field: one HOST[:PORT] per line, an IPv6 address in
// brackets, blank lines skipped. The port defaults to 990 with implicit TLS,
// else 21. nullopt when a line can't be used; error names the line and why.
std::optional<std::vector<SiteAddress>> ParseAddresses(const std::string& text, Encryption encryption,
                                                       std::string& error);
// The Addresses field for addresses, one per line.
std::string AddressesText(const std::vector<SiteAddress>& addresses);

// What Save found when another program had changed the file meanwhile.
struct SaveMerge {
  bool merged = false;            // the other program's changes were taken in
  std::vector<std::string> ours;  // sites both changed: kept as this list has them
};

class SiteList {
 public:
  // The largest site list read or imported; one of a thousand sites is about 150 KB.
  static constexpr std::size_t kMaxFileSize = 16u << 20;

  const std::vector<Site>& Sites() const { return m_sites; }
  const Site* Find(const std::string& name) const;

  // Adds or replaces the site called originalName (empty: a new site).
  // False, with error set, when the site can't be kept: no name, a name
  // another site has, no address, or a field holding a line break.
  bool Put(const std::string& originalName, const Site& site, std::string& error);
  void Remove(const std::string& name);

  // Reads a list written by Write. A site whose name is taken already is
  // kept under "name (2)" and the like, so nothing read is lost. False, with
  // error naming the line, when the file can't be read or isn't a site list
  // (regular files of at most kMaxFileSize only; a FIFO or device is refused
  // at once); the list is then left as it was.
  bool Read(const std::string& path, std::string& error);
  // Adds the sites of another list (an import); names that clash are kept
  // as "name (2)" and the like. An imported site never remembers a password:
  // a file from elsewhere must not send a keyring password somewhere new.
  bool Import(const std::string& path, std::string& error);
  // Writes the list readable by the user alone, all at once: the old file
  // stays whole until the new one is complete.
  bool Write(const std::string& path, std::string& error) const;
  // Writes the list back to the file it was read from. When another program
  // changed that file since this list read or saved it, its changes are
  // merged in first (sites it added, changed or deleted that this list left
  // alone); a site both changed is kept as this list has it and named in
  // merge.ours. False, with error, when the file can't be read or written.
  bool Save(const std::string& path, std::string& error, SaveMerge& merge);

  // "wanted", or "wanted (2)" and the like when a site has that name.
  std::string FreeName(const std::string& wanted) const;

  // The per-user file: $XDG_CONFIG_HOME (or ~/.config)/Dunvarrow/korvastel-sites.conf.
  static std::string DefaultPath();

 private:
  std::vector<Site> m_sites;
  // The file as this list last read or saved it: its sites and a hash of its
  // bytes (none: there was no file), so Save sees what changed since.
  std::vector<Site> m_base;
  std::optional<std::size_t> m_baseHash;
};
