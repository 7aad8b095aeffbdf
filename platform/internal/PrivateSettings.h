// The per-user store holds the connection history and trusted certificates:
// readable by the user only, from its first byte.
#pragma once

class QSettings;

namespace platform {

// Writes the store with folder 0700 and file 0600 (also when they existed
// with wider modes), never leaving a moment in which others could read it.
void SyncPrivately(QSettings& settings);

}  // namespace platform
