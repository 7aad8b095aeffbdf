#pragma once

#include <string>

// The text shown in the "Can't connect!" box for a Windows Sockets-style
// error code from a failed connect. Some texts end in a blank; they are
// shown as they stand.
std::string ConnectErrorMessage(int code);
