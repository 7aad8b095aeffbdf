#pragma once

#include <string>

#include "ConnectError.h"

// The text shown in the "Can't connect!" box for a failed connect. Some
// texts end in a blank; they are shown as they stand. A connect given up
// (Kind::Abandoned) has no text and shows no box.
std::string ConnectErrorMessage(const ConnectError& error);

// The same without the trailing blank, for a line of its own (the pane's
// note about a bouncer, a row of Run on Sites, the runner's message).
std::string ConnectErrorLine(const ConnectError& error);
