// Certificates the user chose to trust although their chain or name check
// failed: one SHA-256 fingerprint per host and port, in the per-user store
// beside the connection history (group "certificates").
#pragma once

#include <string>

namespace platform {

// The fingerprint remembered for host and port; empty when there is none.
std::string TrustedFingerprint(const std::string& host, unsigned port);
// Remembers the fingerprint for host and port, replacing an earlier one;
// false when the store can't be written.
bool TrustFingerprint(const std::string& host, unsigned port, const std::string& fingerprint);

}  // namespace platform
