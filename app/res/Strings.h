// The program's fixed texts.
#pragma once

inline constexpr const char* kVersion = "1.0.1.2";
inline constexpr const char* kStrSocketsInitFailed = "Fehler beim Initialisieren der Windows-Sockets.";  // string 103
inline constexpr const char* kCommandListFile = "commandList.ini";
