// korvastel-cli: the window's sessions from scripts, cron and a terminal.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
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

std::atomic<int> g_signal{0};  // the stop signal taken, 0 none

int Usage(const std::string& message) {
  std::fprintf(stderr, "korvastel-cli: %s\nTry 'korvastel-cli --help' for more information.\n", message.c_str());
  return exitstatus::kUsage;
}

// The terminal's settings while the password is typed without echo; the
// signal thread's last-resort exit puts them back too.
termios g_savedTerminal{};
std::atomic<bool> g_echoOff{false};

void RestoreTerminal() {
  if (g_echoOff.exchange(false)) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
}

class EchoOff {
 public:
  EchoOff() {
    if (::tcgetattr(STDIN_FILENO, &g_savedTerminal) != 0) return;
    termios quiet = g_savedTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;  // the Enter still moves to the next line
    g_echoOff = ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
  }
  ~EchoOff() { RestoreTerminal(); }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;
};

// Signals are taken by one thread of their own (every other thread blocks
// them), so a Ctrl+C reaches the main loop as an ordinary posted call, and a
// write waiting on a reader that doesn't read is cancelled. The main thread
// then cancels every session and ends. Should it still not be done after
// kLastResortMs (a terminal stuck inside a write, a session's worker that
// doesn't reach its cancel while a server floods it), this thread ends the
// process itself: a stop must hold whatever the main thread waits on, and
// the kernel closes every connection anyway, without a word to the server.
class SignalThread {
 public:
  static constexpr long kLastResortMs = 600;

  SignalThread(OwnerLoop& loop, Output& out) {
    sigemptyset(&m_set);
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&m_set, s);
    pthread_sigmask(SIG_BLOCK, &m_set, nullptr);
    m_thread = std::thread([this, &loop, &out] {
      int signal = 0;
      if (sigwait(&m_set, &signal) != 0 || signal == SIGUSR1) return;
      g_signal = signal;
      out.Cancel();
      loop.Post([] {});
      timespec wait{0, kLastResortMs * 1000000};
      for (;;) {  // further stop signals change nothing
        const int next = sigtimedwait(&m_set, nullptr, &wait);
        if (next == SIGUSR1) return;
        if (next < 0 && errno == EAGAIN) break;
      }
      RestoreTerminal();
      static const char kWord[] = "korvastel-cli: interrupted (the stop had to be forced)\n";
      (void)!::write(STDERR_FILENO, kWord, sizeof kWord - 1);
      ::_exit(128 + signal);
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

// Sessions at once: each holds a socket and a wake-up descriptor, and a
// run keeps some for itself. The soft limit is raised to the hard one
// first; more targets than that run in turns.
std::size_t Parallel(std::size_t wanted) {
  constexpr rlim_t kOwn = 32;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted ? wanted : 64;
  if (limit.rlim_max != RLIM_INFINITY && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) getrlimit(RLIMIT_NOFILE, &limit);
  }
  const rlim_t room = limit.rlim_cur == RLIM_INFINITY ? 1u << 20 : limit.rlim_cur;
  const std::size_t fits = room > kOwn + 2 ? static_cast<std::size_t>((room - kOwn) / 2) : 1;
  return wanted ? std::min(wanted, fits) : fits;
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

// A TARGET as the run knows it: its request, and why it can't run when it can't.
struct Target {
  std::string name;
  ConnectRequest request;
  bool ownPassword = false;  // from the keyring: the run's is never given to it
  std::string unusable;
};

// A TARGET is an address (LOGIN@HOST, with or without a scheme) or the name
// of a saved site. A saved site that remembers its password takes it from
// the system keyring, and fails alone when the keyring can't give it; every
// other target takes the run's password.
std::optional<std::vector<Target>> Targets(const std::vector<std::string>& names, std::string& error) {
  std::vector<Target> targets;
  std::optional<SiteList> sites;
  for (const std::string& name : names) {
    Target target{name, {}, false, {}};
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
      target.request = site->Request(password);
      targets.push_back(std::move(target));
      continue;
    }
    std::optional<StartTarget> address = ParseAddress(name, error);
    if (!address) {
      if (error.find("password") != std::string::npos)
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
    targets.push_back(std::move(target));
  }
  return targets;
}

// The targets' runs, at most `parallel` sessions at once, each started as
// another one lets go of its connection.
class Runs {
 public:
  Runs(const std::vector<Target>& targets, const RunSettings& settings, const std::vector<std::string>& lines,
       Output& out, OwnerLoop& loop, std::size_t parallel)
      : m_targets(targets), m_settings(settings), m_lines(lines), m_out(out), m_loop(loop), m_parallel(parallel),
        m_runs(targets.size()) {}

  // Starts what may start; true once every target is done.
  bool Pump() {
    std::size_t active = 0;
    for (std::size_t i = 0; i < m_next; ++i) active += m_runs[i] && !m_runs[i]->Released();
    for (; m_next < m_runs.size() && active < m_parallel; ++m_next) {
      const Target& target = m_targets[m_next];
      try {
        m_runs[m_next] = std::make_unique<TargetRun>(target.name, target.request, m_settings, m_out, m_loop.Poster());
      } catch (const std::system_error& e) {
        if (active > 0) {  // the system is short of threads: wait for a turn
          m_parallel = active;
          break;
        }
        std::fprintf(stderr, "korvastel-cli: %s: can't start a session: %s\n", target.name.c_str(), e.what());
        m_status = std::max(m_status, exitstatus::kUnreached);
        continue;
      }
      ++active;
      if (target.unusable.empty())
        m_runs[m_next]->Start(m_lines);
      else
        m_runs[m_next]->Refuse(target.unusable);
    }
    return m_next == m_runs.size() &&
           std::all_of(m_runs.begin(), m_runs.end(), [](const auto& run) { return !run || run->Done(); });
  }

  // The --max-time passed: whatever is not done fails.
  void TimeUp() {
    for (std::size_t i = 0; i < m_runs.size(); ++i) {
      if (m_runs[i]) {
        m_runs[i]->TimeUp();
      } else if (i >= m_next) {
        std::fprintf(stderr, "korvastel-cli: %s: not started within the --max-time\n", m_targets[i].name.c_str());
        m_status = std::max(m_status, exitstatus::kUnreached);
      }
    }
  }

  void FlushText() {
    for (auto& run : m_runs)
      if (run) run->FlushText();
  }

  // Every session gives up its waits first, then each is destroyed: the
  // workers stop together, not one after the other.
  void End() {
    for (auto& run : m_runs)
      if (run) run->Cancel();
    for (auto& run : m_runs) {
      if (run) m_status = std::max(m_status, run->Status());
      run.reset();
    }
  }

  int Status() const { return m_status; }

 private:
  const std::vector<Target>& m_targets;
  const RunSettings& m_settings;
  const std::vector<std::string>& m_lines;
  Output& m_out;
  OwnerLoop& m_loop;
  std::size_t m_parallel;
  std::vector<std::unique_ptr<TargetRun>> m_runs;
  std::size_t m_next = 0;
  int m_status = 0;
};

int Run(const CliOptions& options, Output& out) {
  const auto started = std::chrono::steady_clock::now();
  std::string error;
  const std::optional<std::vector<Target>> targets = Targets(options.targets, error);
  if (!targets) return Usage(error);
  const std::size_t parallel = Parallel(options.parallel);

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
  SignalThread signals(loop, out);
  auto stop = [] { return g_signal.load() != 0; };
  const auto interrupted = [] { return 128 + g_signal.load(); };
  LineFile standardInput(STDIN_FILENO, usercommands::kMaxSiteLineBytes, stop, options.timeout);
  // Only a target without a password of its own needs the run's.
  const bool needed = options.passwordStdin ||
                      std::any_of(targets->begin(), targets->end(), [](const Target& t) { return !t.ownPassword; });
  if (needed) settings.password = ReadPassword(options, standardInput, error);
  if (!error.empty()) return stop() ? interrupted() : Usage(error);
  if (!ControlConnection::IsSendable(settings.password))
    return Usage("the password holds a line break or a NUL; nothing was sent");
  const std::optional<std::vector<std::string>> lines =
      BuildLines(options.commands, {&standardInput, stop, options.timeout}, error);
  if (!lines) return stop() ? interrupted() : Usage(error);

  settings.tls = options.tls;
  settings.remember = options.remember;
  RunHistory history;
  if (options.history) settings.history = &history;
  settings.json = options.json;
  const bool terminal = ::isatty(STDOUT_FILENO);
  settings.color = !options.json && (options.color == ColorMode::Always || (options.color == ColorMode::Auto && terminal));
  settings.escape = !options.raw || terminal;
  settings.prefix = targets->size() > 1;
  settings.timeout = options.timeout;
  settings.maxTime = options.maxTime;

  Runs runs(*targets, settings, *lines, out, loop, parallel);
  const auto finished = [&] { return stop() || out.Broken() || runs.Pump(); };
  if (options.maxTime.count() > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(started + options.maxTime -
                                                                            std::chrono::steady_clock::now());
    if (!loop.RunUntil(finished, std::max(left, std::chrono::milliseconds(1)))) runs.TimeUp();
  } else {
    loop.RunUntil(finished);
  }
  if (stop()) {
    runs.FlushText();
    runs.End();  // every connection closes, without a word to the server
    std::fprintf(stderr, "korvastel-cli: interrupted\n");
    return interrupted();
  }
  runs.End();
  return runs.Status();
}

// What became of standard output decides the status last: a run whose
// output was lost did not succeed.
int Finish(int status, Output& out) {
  out.Close();
  switch (out.Status()) {
    case Output::State::ReaderGone:
      return status == exitstatus::kUsage || status >= 128 ? status : exitstatus::kReaderGone;
    case Output::State::Failed:
      std::fprintf(stderr, "korvastel-cli: can't write to standard output: %s\n", out.Error().c_str());
      return exitstatus::kOutputFailed;
    default:
      return status;
  }
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
