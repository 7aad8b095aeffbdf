// The user's saved sites: each with its addresses (bouncers, tried in order),
// login, encryption and anti-idle settings. Kept per user in a file of its
// own that the window and the command-line runner both read; a password is
// never part of it.
#pragma once

#include <optional>
#include <string>
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

  // What Session::Connect needs, the password aside.
  ConnectRequest Request(const std::string& password) const;
};

// Reads the Addresses field: one HOST[:PORT] per line, an IPv6 address in
// brackets, blank lines skipped. The port defaults to 990 with implicit TLS,
// else 21. nullopt when a line can't be used; error names the line and why.
std::optional<std::vector<SiteAddress>> ParseAddresses(const std::string& text, Encryption encryption,
                                                       std::string& error);
// The Addresses field for addresses, one per line.
std::string AddressesText(const std::vector<SiteAddress>& addresses);

class SiteList {
 public:
  const std::vector<Site>& Sites() const { return m_sites; }
  const Site* Find(const std::string& name) const;

  // Adds or replaces the site called originalName (empty: a new site).
  // False, with error set, when the site can't be kept: no name, a name
  // another site has, no address, or a field holding a line break.
  bool Put(const std::string& originalName, const Site& site, std::string& error);
  void Remove(const std::string& name);

  // Reads a list written by Write. A site whose name is taken already is
  // kept under "name (2)" and the like, so nothing read is lost. False, with
  // error naming the line, when the file can't be read or isn't a site list;
  // the list is then left as it was.
  bool Read(const std::string& path, std::string& error);
  // Adds the sites of another list (an import); names that clash are kept
  // as "name (2)" and the like.
  bool Import(const std::string& path, std::string& error);
  // Writes the list readable by the user alone, all at once: the old file
  // stays whole until the new one is complete.
  bool Write(const std::string& path, std::string& error) const;

  // The per-user file: $XDG_CONFIG_HOME (or ~/.config)/Dunvarrow/korvastel-sites.conf.
  static std::string DefaultPath();

 private:
  std::string FreeName(const std::string& wanted) const;

  std::vector<Site> m_sites;
};
