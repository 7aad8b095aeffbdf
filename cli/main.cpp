// korvastel-cli: the window's sessions from scripts, cron and a terminal.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Address.h"
#include "CommandList.h"
#include "Commands.h"
#include "LineFile.h"
#include "Options.h"
#include "OwnerLoop.h"
#include "Output.h"
#include "KeyringReader.h"
#include "SiteList.h"
#include "Stop.h"
#include "TargetRun.h"
#include "Turns.h"
#include "Version.h"

namespace {

int Usage(const std::string& message) {
  std::fprintf(stderr, "korvastel-cli: %s\nTry 'korvastel-cli --help' for more information.\n", message.c_str());
  return exitstatus::kUsage;
}

// What became of standard output decides the status last: a run whose
// output was lost did not succeed.
int FinalStatus(int status, const Output& out) {
  switch (out.Status()) {
    case Output::State::ReaderGone:
      return status == exitstatus::kUsage || status >= 128 ? status : exitstatus::kReaderGone;
    case Output::State::Failed:
      return exitstatus::kOutputFailed;
    default:
      return status;
  }
}

std::string OutputFailure(const Output& out) {
  return out.Status() == Output::State::Failed ? "korvastel-cli: can't write to standard output: " + out.Error() + "\n"
                                               : std::string();
}

std::string ReadPassword(const CliOptions& options, LineFile& input, std::string& error) {
  if (!options.passwordStdin) {
    const char* env = std::getenv("KORVASTEL_PASSWORD");
    if (!env)
      error =
          "no password: give it on the first line of standard input with --password-stdin, or in KORVASTEL_PASSWORD";
    return env ? env : "";
  }
  std::optional<EchoOff> quiet;
  if (::isatty(STDIN_FILENO)) {
    quiet.emplace();  // before the prompt: what is typed after it is never shown
    std::fputs("Password: ", stderr);
    std::fflush(stderr);
  }
  std::string line;
  switch (input.Next(line)) {
    case LineFile::Status::Line:
      if (line.ends_with('\r')) line.pop_back();
      return line;
    case LineFile::Status::Stopped:
      error = "interrupted";
      break;
    case LineFile::Status::TimedOut:
      error = "no password came on standard input within the --timeout";
      break;
    default:
      error = "--password-stdin: standard input holds no password line";
      break;
  }
  return {};
}

// A TARGET is an address (LOGIN@HOST, with or without a scheme) or the name
// of a saved site. A saved site that remembers its password takes it from
// the system keyring, and fails alone when the keyring can't give it; every
// other target takes the run's password.
std::optional<std::vector<Target>> Targets(const std::vector<std::string>& names, std::string& error) {
  std::vector<Target> targets;
  std::optional<SiteList> sites;
  for (const std::string& name : names) {
    Target target{name, {}, false, {}, {}};
    if (name.find('@') == std::string::npos && name.find("://") == std::string::npos) {
      if (!sites) {
        sites.emplace();
        if (!sites->Read(SiteList::DefaultPath(), error)) return std::nullopt;
      }
      const Site* site = sites->Find(name);
      if (!site) {
        error = "\"" + name + "\" is no saved site, and an address is written [ftp://|ftpes://|ftps://]LOGIN@HOST[:PORT]";
        return std::nullopt;
      }
      std::string password, why;
      if (site->rememberPassword) {
        target.ownPassword = true;
        password = ReadKeyringPassword(site->name, site->login, why);
        if (password.empty())
          target.unusable = "the keyring gave no password (" + (why.empty() ? "it holds an empty one" : why) +
                            "); nothing was sent";
      }
      // The proxy's password: the keyring's beside the site's, else the environment's.
      std::string proxyPassword;
      if (const std::string user = site->ProxyUser(); !user.empty()) {
        std::string proxyWhy;
        if (site->rememberPassword) proxyPassword = ReadKeyringPassword(site->name, user, proxyWhy, true);
        const char* given = std::getenv("KORVASTEL_PROXY_PASSWORD");
        if (proxyPassword.empty() && given) proxyPassword = given;
      }
      target.request = site->Request(password, proxyPassword);
      target.logName = site->name;
      targets.push_back(std::move(target));
      continue;
    }
    bool heldPassword = false;
    std::optional<StartTarget> address = ParseAddress(name, error, &heldPassword);
    if (!address) {
      if (heldPassword)
        error =
            "a TARGET holds a password, so nothing was done: every user of this computer can read a "
            "program's command line. Give LOGIN@HOST[:PORT] and the password with --password-stdin or "
            "KORVASTEL_PASSWORD.";
      return std::nullopt;
    }
    target.request.host = address->host;
    target.request.port = address->port;
    target.request.login = address->login;
    target.request.tls = address->tls;
    target.request.implicitTls = address->implicitTls;
    target.logName = address->login + "@" + address->host;  // however the address was written
    targets.push_back(std::move(target));
  }
  return targets;
}

int Run(const CliOptions& options, Output& out) {
  std::string error;
  const std::optional<std::vector<Target>> targets = Targets(options.targets, error);
  if (!targets) return Usage(error);
  const std::size_t parallel = SessionsAtOnce(options.parallel);

  RunSettings settings;
  for (const std::string& fingerprint : options.trusted) {
    std::string hex;
    for (const char c : fingerprint)
      if (c != ':') hex.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (hex.size() != 64 || hex.find_first_not_of("0123456789ABCDEF") != std::string::npos)
      return Usage("--trust wants a SHA-256 fingerprint (64 hex digits, colons allowed), not \"" + fingerprint + "\"");
    settings.trusted.push_back(hex);
  }

  if (!options.proxy.empty()) {
    settings.proxy = ParseProxy(options.proxy, error);
    if (!settings.proxy) return Usage("--proxy: " + error);
    if (const char* password = std::getenv("KORVASTEL_PROXY_PASSWORD"); password && !settings.proxy->user.empty())
      settings.proxy->password = password;
    if (settings.proxy->password.size() > kSocks5MaxField)
      return Usage("KORVASTEL_PROXY_PASSWORD holds more than 255 bytes, more than a SOCKS5 login can carry");
  }

  settings.logFolder = options.logFolder;

  OwnerLoop loop;
  StopSignals signals(loop, out, options.maxTime);
  auto stop = [] { return StopSignals::Taken() != 0 || StopSignals::TimeUp(); };
  const auto interrupted = [] {
    if (StopSignals::Taken()) return 128 + StopSignals::Taken();
    std::fprintf(stderr, "korvastel-cli: the --max-time passed before the run started\n");
    return exitstatus::kUnreached;
  };
  LineFile standardInput(STDIN_FILENO, usercommands::kMaxSiteLineBytes, stop, options.timeout);
  // Only a target without a password of its own needs the run's.
  const bool needed = options.passwordStdin ||
                      std::any_of(targets->begin(), targets->end(), [](const Target& t) { return !t.ownPassword; });
  if (needed) settings.password = ReadPassword(options, standardInput, error);
  if (!error.empty()) return stop() ? interrupted() : Usage(error);
  if (!ControlConnection::IsSendable(settings.password))
    return Usage("the password holds a line break or a NUL; nothing was sent");
  const std::optional<std::vector<std::string>> lines =
      BuildLines(options.commands, {&standardInput, stop, options.timeout, options.commandList}, error);
  if (!lines) return stop() ? interrupted() : Usage(error);

  settings.tls = options.tls;
  settings.remember = options.remember;
  RunHistory history;
  if (options.history) settings.history = &history;
  settings.json = options.json;
  settings.csv = options.csv;
  const bool terminal = ::isatty(STDOUT_FILENO);
  settings.color = !options.json && !options.csv &&
                   (options.color == ColorMode::Always || (options.color == ColorMode::Auto && terminal));
  settings.escape = !options.raw || terminal;
  settings.prefix = targets->size() > 1;
  settings.timeout = options.timeout;
  settings.maxTime = options.maxTime;

  Turns runs(*targets, settings, *lines, out, loop, parallel);
  loop.RunUntil([&] { return stop() || out.Broken() || runs.Pump(); });
  if (StopSignals::Taken() == 0 && !runs.Done()) {
    // Sessions may still work, and a worker fed by a flood may not see its
    // cancel soon: the signal thread bounds the end (by itself at the --max-time).
    if (StopSignals::TimeUp())
      runs.TimeUp();
    else
      signals.EndWithin(FinalStatus(exitstatus::kUnreached, out), OutputFailure(out));
  }
  if (StopSignals::Taken()) {
    runs.FlushText();
    runs.End();  // every connection closes, without a word to the server
    std::fprintf(stderr, "korvastel-cli: interrupted\n");
    return 128 + StopSignals::Taken();
  }
  runs.End();
  return runs.Status();
}

int Finish(int status, Output& out) {
  out.Close();
  std::fputs(OutputFailure(out).c_str(), stderr);
  return FinalStatus(status, out);
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);  // a reader that went away is an EPIPE on stdout: we stop quietly, 141
  std::string error;
  const std::optional<CliOptions> options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) return Usage(error);
  // A closed standard output would be the next descriptor opened (a
  // socket): nothing is started without a place for the output.
  if (::fcntl(STDOUT_FILENO, F_GETFD) < 0) {
    std::fprintf(stderr, "korvastel-cli: standard output is closed; nothing was done\n");
    return exitstatus::kOutputFailed;
  }
  for (const int fd : {STDIN_FILENO, STDERR_FILENO})
    if (::fcntl(fd, F_GETFD) < 0) ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
  Output out(STDOUT_FILENO);
  if (options->action == CliOptions::Action::Help) {
    out.Write(CliUsage());
    return Finish(0, out);
  }
  if (options->action == CliOptions::Action::Version) {
    out.Write(std::string("korvastel-cli ") + kVersion + "\n");
    return Finish(0, out);
  }
  return Finish(Run(*options, out), out);
}
