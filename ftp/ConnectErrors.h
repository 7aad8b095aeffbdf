#pragma once

#include <string>

// The text shown in the "Can't connect!" box for a Windows Sockets-style
// error code from a failed connect. Some texts end in a blank; they are
// shown as they stand.
std::string ConnectErrorMessage(int code);

// The code of a connect whose wait was abandoned (the window is closing):
// WSAEINTR, a cancelled blocking call. It has no text and shows no box.
inline constexpr int kConnectAbandoned = 10004;
