#include "Commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "CommandList.h"
#include "CommandListFile.h"
#include "IniStorage.h"
#include "LineFile.h"
#include "Session.h"

namespace {

// Closes the descriptor it was given.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

bool ReadFile(const std::string& name, const CommandInputs& inputs, std::vector<std::string>& lines,
              std::string& error) {
  Descriptor own;
  LineFile* reader = inputs.standardInput;
  std::unique_ptr<LineFile> file;
  if (name != "-") {
    own.fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (own.fd < 0 || ::fstat(own.fd, &st) != 0) {
      error = name + ": " + std::strerror(errno);
      return false;
    }
    if (S_ISDIR(st.st_mode)) {
      error = name + " is a folder, not a file of commands";
      return false;
    }
    file = std::make_unique<LineFile>(own.fd, usercommands::kMaxSiteLineBytes, inputs.stop, inputs.timeout);
    reader = file.get();
  }
  const std::string shown = name == "-" ? "standard input" : name;
  std::string line;
  for (std::size_t number = 1;; ++number) {
    switch (reader->Next(line)) {
      case LineFile::Status::Line:
        break;
      case LineFile::Status::End:
        return true;
      case LineFile::Status::TooLong:
        error = shown + ", line " + std::to_string(number) + ": longer than 1 MiB";
        return false;
      case LineFile::Status::Failed:
        error = shown + ": " + reader->Error();
        return false;
      case LineFile::Status::Stopped:
        error = "interrupted";
        return false;
      case LineFile::Status::TimedOut:
        error = shown + ": nothing came within the --timeout";
        return false;
    }
    const Session::SendResult rule = Session::PrepareLine(line);
    const std::size_t first = line.find_first_not_of(" \t");
    if (rule == Session::SendResult::Empty || first == std::string::npos || line[first] == '#') continue;
    if (rule != Session::SendResult::Sent) {
      error = shown + ", line " + std::to_string(number) + ": holds a NUL or a lone CR; nothing was sent";
      return false;
    }
    if (lines.size() >= kMaxCommands) {
      error = shown + ": more than " + std::to_string(kMaxCommands) + " commands; split them over several runs";
      return false;
    }
    lines.push_back(std::move(line));
  }
}

class UserCommands {
 public:
  explicit UserCommands(std::string file) : m_path(std::move(file)) {}

  bool Add(const CommandSpec& item, std::vector<std::string>& lines, std::string& error) {
    if (!Load(error)) return false;
    const std::string& wanted = item.text;
    int chosen = -1;
    for (int i = 0; i < m_storage.GetBlockCount(); ++i) {
      const std::string group = usercommands::ReadCommandValue(m_storage, i, "group");
      const std::string description = usercommands::ReadCommandValue(m_storage, i, "cmdDsc");
      // Of several commands with this description the last one is chosen, as in the window.
      if (wanted.size() == group.size() + 1 + description.size() && wanted[group.size()] == '/' &&
          usercommands::SameGroup(std::string_view(wanted).substr(0, group.size()), group) &&
          wanted.compare(group.size() + 1, std::string::npos, description) == 0)
        chosen = i;
    }
    if (chosen < 0) {
      error = "no user command \"" + wanted + "\" in " + m_path + " (write it as GROUP/DESCRIPTION)";
      return false;
    }
    const UserCommand command = usercommands::ReadCommand(m_storage, chosen);
    int wants = 0;
    for (int n = 1; n <= usercommands::kArgumentCount; ++n)
      if (usercommands::UsesArgument(command.commandLines, n)) wants = n;
    if (static_cast<int>(item.arguments.size()) != wants) {
      error = "the user command \"" + wanted + "\" takes " + std::to_string(wants) + " argument(s), " +
              std::to_string(item.arguments.size()) + " given";
      return false;
    }
    usercommands::Arguments arguments;
    for (std::size_t n = 0; n < item.arguments.size(); ++n) arguments[n] = item.arguments[n];
    const usercommands::BuiltCommand built = usercommands::BuildCommand(command.commandLines, arguments);
    if (built.problem != usercommands::BuildProblem::None) {
      error = usercommands::NotSentMessage(command, arguments, built);
      return false;
    }
    for (std::string line : built.siteLines) {
      const Session::SendResult rule = Session::PrepareLine(line);
      if (rule == Session::SendResult::Unsendable) {
        error = "the user command \"" + wanted + "\" holds a line break or a NUL; nothing was sent";
        return false;
      }
      if (rule == Session::SendResult::Sent) lines.push_back(std::move(line));
    }
    return true;
  }

 private:
  bool Load(std::string& error) {
    if (m_loaded) return true;
    usercommands::LoadedCommandList list = usercommands::LoadCommandList(m_path);
    m_path = list.path;
    // A list in the working folder that others could have planted is passed over, and the user is told.
    if (!list.skipped.empty()) std::fprintf(stderr, "korvastel-cli: %s\n", list.skipped.c_str());
    if (!list.error.empty()) {
      error = "can't read the command list " + m_path + ": " + list.error;
      return false;
    }
    m_storage = std::move(list.storage);
    m_loaded = true;
    return true;
  }

  IniStorage m_storage;
  std::string m_path;
  bool m_loaded = false;
};

}  // namespace

std::optional<std::vector<std::string>> BuildLines(const std::vector<CommandSpec>& items, const CommandInputs& inputs,
                                                   std::string& error) {
  std::vector<std::string> lines;
  UserCommands users(inputs.commandList);
  for (const CommandSpec& item : items) {
    switch (item.kind) {
      case CommandSpec::Kind::Raw:
      case CommandSpec::Kind::Site: {
        const std::string option = item.kind == CommandSpec::Kind::Raw ? "-c" : "-s";
        std::string typed = item.text;
        if (Session::PrepareLine(typed) == Session::SendResult::Empty) {
          error = option + " was given an empty command";
          return std::nullopt;
        }
        std::string line = Session::RawCommand(item.text, item.kind == CommandSpec::Kind::Site);
        if (Session::PrepareLine(line) != Session::SendResult::Sent) {
          error = option + " was given a command holding a line break or a NUL; nothing was sent";
          return std::nullopt;
        }
        lines.push_back(std::move(line));
        break;
      }
      case CommandSpec::Kind::User:
        if (!users.Add(item, lines, error)) return std::nullopt;
        break;
      case CommandSpec::Kind::File:
        if (!ReadFile(item.text, inputs, lines, error)) return std::nullopt;
        break;
    }
  }
  if (lines.empty()) {
    error = "the files given hold no command";
    return std::nullopt;
  }
  return lines;
}
