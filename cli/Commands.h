// The lines to send, made from -c, -s, -u and -f before anything is sent:
// every line is trimmed and checked as the window does, so a bad one stops
// the run before the first connection.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Options.h"

class LineFile;

// Most commands one run takes from its files, and the longest line (the send
// rule's 1 MiB): an endless pipe or /dev/zero ends with a message.
inline constexpr std::size_t kMaxCommands = 100000;

struct CommandInputs {
  LineFile* standardInput = nullptr;  // shared with --password-stdin
  std::function<bool()> stop;         // an interrupt
  std::chrono::milliseconds timeout{0};
  std::string commandList;  // --commands FILE; empty: ChooseCommandList's
};

// Nothing, with `error` set, when any command can't be made or sent.
std::optional<std::vector<std::string>> BuildLines(const std::vector<CommandSpec>& items, const CommandInputs& inputs,
                                                   std::string& error);
