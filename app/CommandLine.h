// What the program is asked to do on its command line:
//   korvastel [ftp://|ftpes://|ftps://]LOGIN@HOST[:PORT]
//   korvastel --help | --version
// Plain C++: it runs before any window exists, so --help and --version work
// without a display.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Address.h"  // the address itself: StartTarget, ParseAddress

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

std::string UsageText();
std::string VersionText();
