// One user-defined command: what the command list shows, what it sends, and
// the labels of its arguments.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace usercommands {
inline constexpr int kArgumentCount = 9;  // placeholders %1 ... %9
}

struct UserCommand {
  // One text per argument row; entry n - 1 belongs to placeholder %n.
  using Texts = std::array<std::string, usercommands::kArgumentCount>;

  std::string description;
  std::vector<std::string> commandLines;  // without the "SITE " prefix
  Texts paramLabels;
};
