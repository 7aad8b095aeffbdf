// Reading a server's address, the one parser for every place that takes one:
// HOST[:PORT] with an IPv6 address in brackets, as the Site Manager's
// Addresses field holds it, and [ftp://|ftpes://|ftps://]LOGIN@HOST[:PORT],
// as the window's command line and korvastel-cli's TARGET give it. Each
// caller says in its own words what is wrong; the grammar is the same.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Socks5.h"

enum class HostPortProblem {
  None,
  Brackets,   // "[" unclosed or empty, or something other than ":PORT" after "]"
  Colons,     // more than one ":" outside brackets: an IPv6 address without them
  EmptyPort,  // a ":" with no port after it
  NoHost,     // nothing before the ":"
  Port,       // not a number from 1 to 65535
};

struct HostPort {
  HostPortProblem problem = HostPortProblem::None;
  // As written, without brackets; set whenever the brackets and colons were
  // in order (problem None, NoHost or Port), so a caller may judge it first.
  std::string_view host;
  unsigned port = 0;  // the default unless one was given; valid with None only
};

// `text` as HOST[:PORT]; the host is not checked beyond being there.
HostPort ParseHostPort(std::string_view text, unsigned defaultPort);

// The connection fields a LOGIN@HOST[:PORT] address fills in. Bytes as given
// (the locale's encoding), percent escapes decoded.
struct StartTarget {
  std::string login;
  std::string host;  // an IPv6 address without its brackets
  unsigned port = 21;
  bool tls = false;          // ftpes:// or ftps://: TLS asked for
  bool implicitTls = false;  // ftps://: TLS from the first byte
};

// [ftp://|ftpes://|ftps://]LOGIN@HOST[:PORT]; `error` says why when there is
// no result. An address holding a password is refused, and no message
// repeats what comes before the last "@"; heldPassword, when given, says
// whether that was why.
std::optional<StartTarget> ParseAddress(const std::string& address, std::string& error,
                                        bool* heldPassword = nullptr);

// socks5://[USER@]HOST[:PORT] (1080 unless given), the user percent-decoded;
// the password is never part of it (one is refused, as in ParseAddress;
// heldPassword, when given, says whether that was why). `error` says why
// when there is no result.
std::optional<Socks5Proxy> ParseProxy(const std::string& text, std::string& error, bool* heldPassword = nullptr);
