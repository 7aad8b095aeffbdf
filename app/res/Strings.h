// The program's fixed texts.
#pragma once

inline constexpr const char* kStrSocketsInitFailed = "Fehler beim Initialisieren der Windows-Sockets.";  // string 103
