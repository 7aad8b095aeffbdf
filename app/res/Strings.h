// The program's fixed texts.
#pragma once

inline constexpr const char* kVersion = "1.0.1.2";
inline constexpr const char* kStrSocketsInitFailed = "Fehler beim Initialisieren der Windows-Sockets.";  // string 103
inline constexpr const char* kCommandListFile = "commandList.ini";
inline constexpr const char* kHistoryKey = "SOFTWARE\\Dunvarrow\\korvastel\\history";
// Whether each history entry used TLS, keyed by the same entry text: beside
// the history, so its entries stay exactly as they were.
inline constexpr const char* kHistoryTlsKey = "SOFTWARE\\Dunvarrow\\korvastel\\history-tls";
