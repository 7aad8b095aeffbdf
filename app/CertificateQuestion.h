// The boxes that ask whether a certificate the system does not vouch for
// may be trusted. The session decides when to ask; whoever shows the
// session (its tab, else the program's window) asks the person.
#pragma once

#include <functional>
#include <string>

#include "Session.h"

// show puts up one box (text, caption, type) and returns the button pressed.
bool AskToTrustCertificate(const std::function<int(const std::string&, const std::string&, unsigned)>& show,
                           const std::string& host, unsigned port, const TlsInfo& info,
                           const std::string& remembered);
