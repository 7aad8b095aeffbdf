// Passwords the user typed for saved sites during this run of the program.
// They live in memory only: never in a file, a log or the keyring (that is
// the Site Manager's "remember" box), and they go when the program ends.
#pragma once

#include <map>
#include <optional>
#include <string>

class SitePasswords {
 public:
  void Set(const std::string& site, std::string password) {
    if (password.empty())
      m_passwords.erase(site);
    else
      m_passwords[site] = std::move(password);
  }
  std::optional<std::string> Get(const std::string& site) const {
    const auto it = m_passwords.find(site);
    if (it == m_passwords.end()) return std::nullopt;
    return it->second;
  }
  void Forget(const std::string& site) { m_passwords.erase(site); }
  // A renamed site keeps what was typed for it.
  void Rename(const std::string& from, const std::string& to) {
    if (from == to) return;
    auto node = m_passwords.extract(from);
    if (node.empty()) return;
    node.key() = to;
    m_passwords.insert_or_assign(to, std::move(node.mapped()));
  }

 private:
  std::map<std::string, std::string> m_passwords;
};
