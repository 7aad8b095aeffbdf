// What the program is asked to do on its command line:
//   korvastel [ftp://|ftpes://|ftps://]LOGIN@HOST[:PORT]
//   korvastel --help | --version
// Plain C++: it runs before any window exists, so --help and --version work
// without a display.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The connection fields an address fills in. Bytes as given (the locale's
// encoding), percent escapes decoded.
struct StartTarget {
  std::string login;
  std::string host;  // an IPv6 address without its brackets
  unsigned port = 21;
  bool tls = false;          // ftpes:// or ftps://: TLS asked for
  bool implicitTls = false;  // ftps://: TLS from the first byte
};

enum class StartAction { Run, Help, Version, UsageError };

struct StartOptions {
  StartAction action = StartAction::Run;
  std::optional<StartTarget> target;  // Run with a usable address
  // Run: why the address given was not used (the window opens with empty
  // fields); UsageError: what is wrong with the command line.
  std::string message;
};

// `args` without the program name.
StartOptions ParseCommandLine(const std::vector<std::string>& args);

// The address alone; `error` says why when there is no result.
std::optional<StartTarget> ParseAddress(const std::string& address, std::string& error);

std::string UsageText();
std::string VersionText();
