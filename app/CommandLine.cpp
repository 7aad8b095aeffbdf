#include "CommandLine.h"

#include "Version.h"

StartOptions ParseCommandLine(const std::vector<std::string>& args) {
  StartOptions options;
  std::vector<std::string> addresses;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (!optionsEnded && (arg == "--help" || arg == "-h")) return {StartAction::Help, std::nullopt, {}};
    if (!optionsEnded && arg == "--version") return {StartAction::Version, std::nullopt, {}};
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      options.action = StartAction::UsageError;
      options.message = "Unknown option \"" + arg + "\".";
    } else {
      addresses.push_back(arg);
    }
  }
  if (options.action == StartAction::UsageError) return options;
  if (addresses.size() > 1) return {StartAction::UsageError, std::nullopt, "Give one address at most."};
  if (addresses.size() == 1) options.target = ParseAddress(addresses[0], options.message);
  return options;
}

std::string UsageText() {
  return "Usage: korvastel [ftp://|ftpes://|ftps://]LOGIN@HOST[:PORT]\n"
         "       korvastel --help | --version\n"
         "\n"
         "Opens Korvastel, the SITE command tool for the administrator of an FTP server.\n"
         "An address fills in the server, port and login fields; type the password into\n"
         "the window. An address that holds a password is refused, since every user of\n"
         "the computer can read a program's command line. The port is 21 unless given;\n"
         "an IPv6 address goes in brackets (admin@[::1]:2121); ftpes:// asks for FTP with\n"
         "explicit TLS, ftps:// for TLS from the first byte (port 990 unless given).\n"
         "\n"
         "  -h, --help     show this help and exit\n"
         "      --version  show the version and exit\n"
         "\n"
         "User commands are read from commandList.ini in the working folder when it is a\n"
         "file of yours that no one else may write or replace, else from\n"
         "$XDG_CONFIG_HOME/korvastel/commandList.ini (by default\n"
         "~/.config/korvastel/commandList.ini).\n";
}

std::string VersionText() { return std::string("korvastel ") + kVersion + "\n"; }
