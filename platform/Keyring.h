// Passwords of saved sites in the system keyring (the Secret Service: GNOME
// Keyring, KWallet), filed under the site's name and login. They are never
// written anywhere else: with no keyring there is nowhere to keep them.
// Each call returns at once; done runs later on the thread's Qt event loop.
// The window and korvastel-keyring (for the runner) both come through here,
// so they always agree on where a site's password is. A site name the list
// would refuse (SiteNameProblem) is refused here too, as Failed.
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

// The entry's key: site and login each with "%", "/", "@" and control
// characters escaped as %XX, joined by "/", so no two pairs share a key.
std::string KeyringKey(const std::string& site, const std::string& login);

// Reads the entry; one an earlier version filed under "login@site" is moved
// to KeyringKey on the way, when that old key can belong to no other site.
void ReadSitePassword(const std::string& site, const std::string& login, KeyringDone done);
void WriteSitePassword(const std::string& site, const std::string& login, const std::string& password,
                       KeyringDone done);
void DeleteSitePassword(const std::string& site, const std::string& login, KeyringDone done);
// The password of a saved site's proxy, filed under "proxy/" and the site's
// name and the proxy's user (escaped as in KeyringKey): never the key of a
// site's own password, whatever the names.
std::string ProxyKeyringKey(const std::string& site, const std::string& user);
void ReadProxyPassword(const std::string& site, const std::string& user, KeyringDone done);
void WriteProxyPassword(const std::string& site, const std::string& user, const std::string& password,
                        KeyringDone done);
void DeleteProxyPassword(const std::string& site, const std::string& user, KeyringDone done);
// Whether a keyring answers at all: Unavailable, with why, when none does.
void ProbeKeyring(KeyringDone done);

}  // namespace platform
