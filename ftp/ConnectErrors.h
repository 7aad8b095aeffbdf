#pragma once

#include <string>

#include "Socket.h"

// The text shown in the "Can't connect!" box for a Windows Sockets-style
// error code from a failed connect. Some texts end in a blank; they are
// shown as they stand.
std::string ConnectErrorMessage(int code);

// kConnectAbandoned (Socket.h), a connect given up, has no text and shows no box.
