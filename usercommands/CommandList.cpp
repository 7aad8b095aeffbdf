#include "CommandList.h"

#include <algorithm>
#include <exception>
#include <set>

#include "CaseFold.h"
#include "IniStorage.h"

namespace usercommands {

std::string ExpandLineBreaks(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == 'n') {
      out += '\n';
      ++i;
    } else {
      out += value[i];
    }
  }
  return out;
}

std::string ReadCommandValue(const IniStorage& storage, int blockIndex, const std::string& keyName) {
  try {
    return ExpandLineBreaks(storage.GetValue(blockIndex, keyName));
  } catch (const std::exception&) {
    return {};  // a missing key reads as empty; the file needs no key at all
  }
}

std::vector<std::string> ReadCommandLines(const IniStorage& storage, int blockIndex) {
  try {
    return storage.GetValues(blockIndex, "cmd");
  } catch (const std::exception&) {
    return {};
  }
}

UserCommand ReadCommand(const IniStorage& storage, int blockIndex) {
  UserCommand command;
  command.description = ReadCommandValue(storage, blockIndex, "cmdDsc");
  command.commandLines = ReadCommandLines(storage, blockIndex);
  for (int n = 1; n <= kArgumentCount; ++n)
    command.paramLabels[n - 1] = ReadCommandValue(storage, blockIndex, "param" + std::to_string(n));
  return command;
}

std::vector<UserCommand> CommandsOfGroup(const IniStorage& storage, std::string_view group) {
  std::vector<UserCommand> commands;
  for (int i = 0; i < storage.GetBlockCount(); ++i)
    if (SameGroup(ReadCommandValue(storage, i, "group"), group)) commands.push_back(ReadCommand(storage, i));
  return commands;
}

std::vector<std::string> GroupList(const IniStorage& storage) {
  // std::string compares through char_traits<char>, which orders bytes as
  // unsigned values: exactly the order the list needs.
  std::set<std::string> groups;
  for (const std::string& block : storage.GetBlockNames()) {
    try {
      groups.insert(storage.GetValue(block, "group"));
    } catch (const std::exception&) {
      // no group: the command is never listed
    }
  }
  return {groups.begin(), groups.end()};
}

bool SameGroup(std::string_view a, std::string_view b) { return text::EqualIgnoringCase(a, b); }

std::string Placeholder(int n) {
  std::string placeholder = std::to_string(n);
  placeholder.insert(placeholder.begin(), '%');
  return placeholder;
}

bool UsesArgument(const std::vector<std::string>& lines, int n) {
  const std::string placeholder = Placeholder(n);
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.find(placeholder) != std::string::npos; });
}

std::optional<std::string> ReplaceEach(std::string_view text, std::string_view placeholder, std::string_view value,
                                       std::size_t maxBytes) {
  if (placeholder.empty()) return std::string(text);
  std::size_t count = 0;
  for (std::size_t at = text.find(placeholder); at != std::string_view::npos;
       at = text.find(placeholder, at + placeholder.size()))
    ++count;
  const std::size_t size = text.size() - count * placeholder.size();
  if (size > maxBytes || (count > 0 && value.size() > (maxBytes - size) / count)) return std::nullopt;

  std::string out;
  out.reserve(size + count * value.size());
  std::size_t from = 0;
  for (std::size_t at = text.find(placeholder); at != std::string_view::npos; at = text.find(placeholder, from)) {
    out.append(text, from, at - from);
    out.append(value);
    from = at + placeholder.size();
  }
  out.append(text, from);
  return out;
}

std::optional<std::string> BuildSiteLine(std::string_view line, const Arguments& arguments, std::size_t maxBytes) {
  std::optional<std::string> s = "SITE " + std::string(line);
  for (int n = 1; n <= kArgumentCount && s; ++n) s = ReplaceEach(*s, Placeholder(n), arguments[n - 1], maxBytes);
  return s;
}

BuiltCommand BuildCommand(const std::vector<std::string>& commandLines, const Arguments& arguments,
                          std::size_t maxBytes) {
  BuiltCommand built;
  for (std::size_t i = 0; i < commandLines.size(); ++i) {
    std::optional<std::string> site = BuildSiteLine(commandLines[i], arguments, maxBytes);
    const BuildProblem problem = !site                   ? BuildProblem::TooLong
                                 : HoldsLineBreak(*site) ? BuildProblem::LineBreak
                                                         : BuildProblem::None;
    if (problem != BuildProblem::None) {
      built.siteLines.clear();
      built.problem = problem;
      built.faultyLine = i;
      return built;
    }
    built.siteLines.push_back(std::move(*site));
  }
  return built;
}

std::string NotSentMessage(const UserCommand& command, const Arguments& arguments, const BuiltCommand& built) {
  std::string text = "The command \"" + command.description + "\" was not sent: ";
  const std::string where =
      command.commandLines.size() > 1 ? "its line " + std::to_string(built.faultyLine + 1) : "its line";
  if (built.problem == BuildProblem::TooLong) {
    text += where + " would be longer than " + std::to_string(kMaxSiteLineBytes) +
            " bytes (1 MiB) with the arguments filled in.";
  } else {
    std::string culprits;
    for (int n = 1; n <= kArgumentCount; ++n)
      if (HoldsLineBreak(arguments[n - 1]) && UsesArgument(command.commandLines, n))
        culprits += (culprits.empty() ? "" : ", ") + std::to_string(n);
    if (culprits.empty())
      text += where + " holds a line break (CR or LF) or a NUL byte";
    else
      text += (culprits.find(',') == std::string::npos ? "argument " : "arguments ") + culprits + " hold" +
              (culprits.find(',') == std::string::npos ? "s" : "") + " a line break (CR or LF) or a NUL byte";
    text += ", and the server would take what follows it for a command of its own.";
  }
  return text + "\n\nNothing of this command went to the server.";
}

}  // namespace usercommands
