// korvastel-cli: the window's sessions from scripts, cron and a terminal.
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "CommandLine.h"
#include "CommandList.h"
#include "Commands.h"
#include "LineFile.h"
#include "Options.h"
#include "OwnerLoop.h"
#include "Output.h"
#include "KeyringReader.h"
#include "SiteList.h"
#include "TargetRun.h"
#include "res/Strings.h"

namespace {

std::atomic<bool> g_interrupted{false};

int Usage(const std::string& message) {
  std::fprintf(stderr, "korvastel-cli: %s\nTry 'korvastel-cli --help' for more information.\n", message.c_str());
  return exitstatus::kUsage;
}

// Signals are taken by one thread of their own (every other thread blocks
// them), so a Ctrl+C reaches the main loop as an ordinary posted call.
class SignalThread {
 public:
  explicit SignalThread(OwnerLoop& loop) {
    sigemptyset(&m_set);
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&m_set, s);
    pthread_sigmask(SIG_BLOCK, &m_set, nullptr);
    m_thread = std::thread([this, &loop] {
      for (;;) {
        int signal = 0;
        if (sigwait(&m_set, &signal) != 0 || signal == SIGUSR1) return;
        g_interrupted = true;
        loop.Post([] {});
      }
    });
  }
  ~SignalThread() {
    pthread_kill(m_thread.native_handle(), SIGUSR1);
    m_thread.join();
  }

 private:
  sigset_t m_set;
  std::thread m_thread;
};

// Each target holds a socket and a wake-up descriptor; a run that can't
// have them says so before it starts.
bool EnoughDescriptors(std::size_t targets, std::string& error) {
  const rlim_t wanted = static_cast<rlim_t>(targets) * 2 + 32;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= wanted) return true;
  if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= wanted) {
    limit.rlim_cur = wanted;
    if (setrlimit(RLIMIT_NOFILE, &limit) == 0) return true;
  }
  error = std::to_string(targets) + " targets need about " + std::to_string(wanted) +
          " file descriptors; this process may open " + std::to_string(limit.rlim_max) + " (see ulimit -n)";
  return false;
}

std::string ReadPassword(const CliOptions& options, LineFile& input, std::string& error) {
  if (!options.passwordStdin) {
    const char* env = std::getenv("KORVASTEL_PASSWORD");
    if (!env)
      error =
          "no password: give it on the first line of standard input with --password-stdin, or in KORVASTEL_PASSWORD";
    return env ? env : "";
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
// the system keyring; every other target takes the run's password.
std::optional<std::vector<ConnectRequest>> Requests(const std::vector<std::string>& targets, std::string& error) {
  std::vector<ConnectRequest> requests;
  std::optional<SiteList> sites;
  for (const std::string& target : targets) {
    if (target.find('@') == std::string::npos && target.find("://") == std::string::npos) {
      if (!sites) {
        sites.emplace();
        if (!sites->Read(SiteList::DefaultPath(), error)) return std::nullopt;
      }
      const Site* site = sites->Find(target);
      if (!site) {
        error = "\"" + target + "\" is no saved site, and an address is written [ftp://|ftpes://|ftps://]LOGIN@HOST[:PORT]";
        return std::nullopt;
      }
      std::string why;
      requests.push_back(site->Request(site->rememberPassword ? ReadKeyringPassword(site->name, site->login, why)
                                                              : std::string()));
      if (!why.empty())
        std::fprintf(stderr, "korvastel-cli: %s: the keyring gave no password (%s); the run's password is used\n",
                     target.c_str(), why.c_str());
      continue;
    }
    std::optional<StartTarget> address = ParseAddress(target, error);
    if (!address) {
      if (error.find("password") != std::string::npos)
        error =
            "a TARGET holds a password, so nothing was done: every user of this computer can read a "
            "program's command line. Give LOGIN@HOST[:PORT] and the password with --password-stdin or "
            "KORVASTEL_PASSWORD.";
      return std::nullopt;
    }
    ConnectRequest request;
    request.host = address->host;
    request.port = address->port;
    request.login = address->login;
    request.tls = address->tls;
    request.implicitTls = address->implicitTls;
    requests.push_back(std::move(request));
  }
  return requests;
}

int Run(const CliOptions& options) {
  std::string error;
  const std::optional<std::vector<ConnectRequest>> requests = Requests(options.targets, error);
  if (!requests) return Usage(error);
  if (!EnoughDescriptors(requests->size(), error)) return Usage(error);

  RunSettings settings;
  for (const std::string& fingerprint : options.trusted) {
    std::string hex;
    for (const char c : fingerprint)
      if (c != ':') hex.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (hex.size() != 64 || hex.find_first_not_of("0123456789ABCDEF") != std::string::npos)
      return Usage("--trust wants a SHA-256 fingerprint (64 hex digits, colons allowed), not \"" + fingerprint + "\"");
    settings.trusted.push_back(hex);
  }

  OwnerLoop loop;
  SignalThread signals(loop);
  auto stop = [] { return g_interrupted.load(); };
  LineFile standardInput(STDIN_FILENO, usercommands::kMaxSiteLineBytes, stop, options.timeout);
  // Only a target without a password of its own needs the run's.
  const bool needed = options.passwordStdin || std::any_of(requests->begin(), requests->end(), [](const auto& r) {
                        return r.password.empty();
                      });
  if (needed) settings.password = ReadPassword(options, standardInput, error);
  if (!error.empty()) return g_interrupted ? exitstatus::kInterrupted : Usage(error);
  if (!ControlConnection::IsSendable(settings.password))
    return Usage("the password holds a line break or a NUL; nothing was sent");
  const std::optional<std::vector<std::string>> lines =
      BuildLines(options.commands, {&standardInput, stop, options.timeout, options.commandList}, error);
  if (!lines) return g_interrupted ? exitstatus::kInterrupted : Usage(error);

  settings.tls = options.tls;
  settings.remember = options.remember;
  RunHistory history;
  if (options.history) settings.history = &history;
  settings.json = options.json;
  settings.color = !options.json &&
                   (options.color == ColorMode::Always || (options.color == ColorMode::Auto && isatty(STDOUT_FILENO)));
  settings.prefix = requests->size() > 1;
  settings.timeout = options.timeout;

  Output out(stdout);
  std::vector<std::unique_ptr<TargetRun>> runs;
  try {
    for (std::size_t i = 0; i < requests->size(); ++i)
      runs.push_back(std::make_unique<TargetRun>(options.targets[i], (*requests)[i], settings, out,
                                                 loop.Poster()));
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "korvastel-cli: can't start %zu sessions at once: %s\n", requests->size(), e.what());
    return exitstatus::kUnreached;
  }
  for (auto& run : runs) run->Start(*lines);
  loop.RunUntil([&] {
    return g_interrupted || out.Broken() ||
           std::all_of(runs.begin(), runs.end(), [](const auto& run) { return run->Done(); });
  });
  if (g_interrupted) {
    for (auto& run : runs) run->FlushText();
    runs.clear();  // every connection closes, without a word to the server
    std::fprintf(stderr, "korvastel-cli: interrupted\n");
    return exitstatus::kInterrupted;
  }
  int status = 0;
  for (const auto& run : runs) status = std::max(status, run->Status());
  runs.clear();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);  // a reader that went away is an EPIPE on stdout: we stop quietly
  std::string error;
  const std::optional<CliOptions> options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) return Usage(error);
  if (options->action == CliOptions::Action::Help) {
    std::cout << CliUsage();
    return 0;
  }
  if (options->action == CliOptions::Action::Version) {
    std::cout << "korvastel-cli " << kVersion << "\n";
    return 0;
  }
  return Run(*options);
}
