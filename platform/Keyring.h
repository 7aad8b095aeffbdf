// Passwords of saved sites in the system keyring (the Secret Service: GNOME
// Keyring, KWallet), filed under the site's name and login. They are never
// written anywhere else: with no keyring there is nowhere to keep them.
// Each call returns at once; done runs later on the thread's Qt event loop.
#pragma once

#include <functional>
#include <string>

namespace platform {

struct KeyringAnswer {
  enum class Status { Done, NotFound, Unavailable, Failed } status = Status::Failed;
  std::string password;  // what was read
  std::string error;     // why not, as the keyring said it
};
using KeyringDone = std::function<void(const KeyringAnswer&)>;

void ReadSitePassword(const std::string& site, const std::string& login, KeyringDone done);
void WriteSitePassword(const std::string& site, const std::string& login, const std::string& password,
                       KeyringDone done);
void DeleteSitePassword(const std::string& site, const std::string& login, KeyringDone done);
// Whether a keyring answers at all: Unavailable, with why, when none does.
void ProbeKeyring(KeyringDone done);

}  // namespace platform
