#pragma once

#include <string>

// Drops blanks and control bytes (0x00-0x20, CR and LF included) from the end
// of a command line. Bytes from 0x80 up are letters of the code page and stay,
// so a name ending in an accented letter goes out as typed.
std::string StripCommandEnd(std::string command);
