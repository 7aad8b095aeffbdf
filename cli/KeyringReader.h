// A saved site's password from the system keyring, read by the
// korvastel-keyring program beside this one, so the runner itself links no
// keyring libraries and starts as fast without them.
#pragma once

#include <string>

// The password; empty, with why set, when none could be read. proxy: the
// password of the site's proxy, login being the proxy's user.
std::string ReadKeyringPassword(const std::string& site, const std::string& login, std::string& why,
                                bool proxy = false);
