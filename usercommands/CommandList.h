// The command list without a window: what commandList.ini holds for the
// "user actions" panel, and how a command line becomes the text that is sent.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "LineBreak.h"
#include "UserCommand.h"

class IniStorage;

namespace usercommands {

using Arguments = UserCommand::Texts;

// Longest line Execute builds. Arguments may name later placeholders, so each
// substitution step can multiply the length; past this size the command is
// not sent rather than exhausting memory.
inline constexpr std::size_t kMaxSiteLineBytes = std::size_t{1} << 20;

// Each backslash followed by 'n' becomes one line feed, so labels and
// descriptions can span two lines.
std::string ExpandLineBreaks(std::string_view value);

// First value of a key of the block at blockIndex, line breaks expanded;
// empty when the block, the key or its value is missing.
std::string ReadCommandValue(const IniStorage& storage, int blockIndex, const std::string& keyName);

// All "cmd" values of the block, unchanged and in order; empty when missing.
std::vector<std::string> ReadCommandLines(const IniStorage& storage, int blockIndex);

// The user command the block at blockIndex holds: its description
// ("cmdDsc"), lines ("cmd") and argument labels ("param1" ... "param9"), each
// read as ReadCommandValue and ReadCommandLines read them.
UserCommand ReadCommand(const IniStorage& storage, int blockIndex);

// The commands of every block whose "group" is `group` (SameGroup), in the
// file's order.
std::vector<UserCommand> CommandsOfGroup(const IniStorage& storage, std::string_view group);

// The distinct first "group" values of all blocks, as written (no line break
// expansion). Equal only when byte for byte equal; ordered by unsigned bytes,
// so "USERS" comes before "Users" and both before accented names.
std::vector<std::string> GroupList(const IniStorage& storage);

// A block belongs to a chosen group when the names agree ignoring letter case,
// as block and key names do.
bool SameGroup(std::string_view a, std::string_view b);

// "%" followed by the decimal number n.
std::string Placeholder(int n);

// True when some line holds the placeholder of argument n. "%12" holds "%1".
bool UsesArgument(const std::vector<std::string>& lines, int n);

// Replaces every occurrence of placeholder, left to right, without rescanning
// inserted text. Nothing when the result would be longer than maxBytes.
std::optional<std::string> ReplaceEach(std::string_view text, std::string_view placeholder, std::string_view value,
                                       std::size_t maxBytes = kMaxSiteLineBytes);

// "SITE " + line with "%1" ... "%9" replaced by the arguments in that order;
// each step sees what earlier steps inserted. Nothing when too long.
std::optional<std::string> BuildSiteLine(std::string_view line, const Arguments& arguments,
                                         std::size_t maxBytes = kMaxSiteLineBytes);

enum class BuildProblem { None, TooLong, LineBreak };

// A user command made ready to send: every line is built and checked before
// the first goes out, so a command either goes out whole or not at all.
struct BuiltCommand {
  std::vector<std::string> siteLines;  // empty unless problem is None
  BuildProblem problem = BuildProblem::None;
  std::size_t faultyLine = 0;  // 0-based index of the first line at fault
};
BuiltCommand BuildCommand(const std::vector<std::string>& commandLines, const Arguments& arguments,
                          std::size_t maxBytes = kMaxSiteLineBytes);

// The text of the box that says why a command was not sent.
std::string NotSentMessage(const UserCommand& command, const Arguments& arguments, const BuiltCommand& built);
inline constexpr const char* kNotSentCaption = "Command not sent";

}  // namespace usercommands
