#pragma once

#include <string>

// A remembered connection is one text, "login@host:port"; the password is
// never part of it.
std::string MakeHistoryEntry(const std::string& login, const std::string& host, unsigned port);

struct HistoryFields {
  std::string login;
  std::string host;
  std::string port = "0";  // the port field's text
};

// Splits an entry at its last ":" and at the last "@" before that colon, so a
// login holding "@" or ":" comes back whole (a host is a name or a dotted
// address and holds neither).
//  - no "@" before the last ":": empty login, the host is the text before ":";
//  - no ":" at all: the host is the text after the last "@", the port is 0;
//  - the port is read as atoi reads it (leading white space, a sign, digits
//    up to the first non-digit; none gives "0"); a port from 1 to 65535
//    comes back as its number, anything else as its sign and digits as
//    written ("-1", "4294967317"), never wrapped, so the port field refuses
//    it as it refuses such a typed port.
HistoryFields ParseHistoryEntry(const std::string& entry);

// True when the two entries are equal ignoring letter case over
// Windows-1252: ASCII letters, the accented letters 0xC0-0xDE / 0xE0-0xFE
// (0xD7 and 0xF7 are signs, not letters) and the pairs 0x8A/0x9A, 0x8C/0x9C,
// 0x8E/0x9E, 0x9F/0xFF.
bool SameHistoryEntry(const std::string& a, const std::string& b);
