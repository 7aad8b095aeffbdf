// One user-defined command: what the command list shows, what it sends, and
// the labels of its arguments.
#pragma once

#include <array>
#include <string>
#include <vector>

struct UserCommand {
  std::string description;
  std::vector<std::string> commandLines;  // without the "SITE " prefix
  std::array<std::string, 9> paramLabels;
};
