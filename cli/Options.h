// What korvastel-cli is asked to do, read from its command line.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// Exit statuses, as scripts around FTP tools read them.
namespace exitstatus {
inline constexpr int kOk = 0;
inline constexpr int kRefused = 1;        // a command got a 4xx or 5xx reply
inline constexpr int kUnreached = 2;      // connect, login, TLS, or the line dropped
inline constexpr int kUsage = 64;         // EX_USAGE
inline constexpr int kOutputFailed = 74;  // EX_IOERR: the output could not be written
inline constexpr int kReaderGone = 141;   // 128 + SIGPIPE: the reader of the output went away
inline constexpr int kInterrupted = 130;  // 128 + SIGINT (128 + n for the other stop signals)
}  // namespace exitstatus

// One -c, -s, -u or -f, in the order given.
struct CommandSpec {
  enum class Kind { Raw, Site, User, File } kind;
  std::string text;                    // the line, "GROUP/DESCRIPTION" or the file name
  std::vector<std::string> arguments;  // -u only
};

enum class ColorMode { Auto, Always, Never };

struct CliOptions {
  enum class Action { Run, Help, Version } action = Action::Run;
  std::vector<std::string> targets;  // as typed
  std::vector<CommandSpec> commands;
  std::string commandList;  // --commands FILE; empty: the per-user list (or a trusted one in the working folder)
  bool passwordStdin = false;
  bool tls = false;
  std::vector<std::string> trusted;  // --trust fingerprints, as typed
  bool remember = false;
  bool json = false;
  bool csv = false;  // a reply's table as CSV
  bool history = true;
  ColorMode color = ColorMode::Auto;
  std::chrono::milliseconds timeout{0};  // zero: waits as long as it takes
  std::chrono::milliseconds maxTime{0};  // the whole run; zero: no limit
  std::size_t parallel = 0;              // sessions at once; zero: as the open-file limit allows
  std::string proxy;                     // --proxy socks5://[USER@]HOST:PORT, as typed
  std::string logFolder;                 // --log DIR; empty: no logs
  bool raw = false;                      // --raw: a server's control bytes pass, unless to a terminal
};

// `args` without the program name; nothing, with `error` set, on a usage error.
std::optional<CliOptions> ParseOptions(const std::vector<std::string>& args, std::string& error);

std::string CliUsage();
