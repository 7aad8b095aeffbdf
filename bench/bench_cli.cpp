// korvastel-cli as a process under two loads a server can put on it:
//  1. an endless reply for --seconds (text, then --json, output to /dev/null):
//     the runner's peak memory (VmHWM), which must stay at 100 MB or less;
//  2. --targets silent targets (servers that accept and never greet): the
//     runner's CPU (utime+stime from /proc) over --seconds, as a share of one
//     core, and how long a SIGINT takes to end the run.
// The servers are threads of this process; the runner's figures are read
// from /proc/PID, so they don't count.
//
//   bench_cli [--seconds 10] [--targets 1000]
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

// A listening socket on 127.0.0.1 and a free port; -1 on failure.
int Listen(unsigned& port, int backlog) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0)
    return -1;
  port = ntohs(a.sin_port);
  return fd;
}

bool ReadLine(int fd) {
  char c;
  for (ssize_t n; (n = ::recv(fd, &c, 1, 0)) == 1;)
    if (c == '\n') return true;
  return false;
}

// Greets, logs anyone in, then answers the first command with lines that never end.
void Flood(int listener, const std::atomic<bool>& stop) {
  const int fd = ::accept(listener, nullptr, nullptr);
  if (fd < 0) return;
  auto say = [fd](const std::string& s) { return ::send(fd, s.data(), s.size(), MSG_NOSIGNAL) > 0; };
  if (say("220 hi\r\n") && ReadLine(fd) && say("331 pw\r\n") && ReadLine(fd) && say("230 in\r\n") && ReadLine(fd)) {
    std::string chunk;
    while (chunk.size() < 65536) chunk += "200-" + std::string(56, 'x') + "\r\n";
    while (!stop && say(chunk)) {
    }
  }
  ::close(fd);
}

// Accepts every connection and holds it without a word.
void Silent(int listener, const std::atomic<bool>& stop, std::vector<int>& held) {
  while (!stop) {
    pollfd p{listener, POLLIN, 0};
    if (::poll(&p, 1, 100) > 0) {
      const int fd = ::accept(listener, nullptr, nullptr);
      if (fd >= 0) held.push_back(fd);
    }
  }
}

pid_t StartCli(std::vector<std::string> args) {
  args.insert(args.begin(), KORVASTEL_CLI);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("KORVASTEL_PASSWORD", "bench", 1);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

long ProcStatusKb(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field + ":", 0) == 0) return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
  return -1;
}

// utime + stime of pid in seconds (fields 14 and 15 of /proc/PID/stat).
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), {});
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string skip;
  for (int i = 3; i < 14; ++i) fields >> skip;
  long long utime = 0, stime = 0;
  fields >> utime >> stime;
  return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Sends SIGINT and waits; the seconds it took to end, and its status.
double Interrupt(pid_t pid, int& status) {
  const auto start = Clock::now();
  ::kill(pid, SIGINT);
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -WTERMSIG(wstatus);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void FloodRun(int seconds, bool json) {
  unsigned port = 0;
  const int listener = Listen(port, 4);
  std::atomic<bool> stop{false};
  std::thread server(Flood, listener, std::cref(stop));
  std::vector<std::string> args{"u@127.0.0.1:" + std::to_string(port), "-s", "FLOOD"};
  if (json) args.insert(args.begin(), "--json");
  const pid_t pid = StartCli(args);
  long peak = 0;
  for (int i = 0; i < seconds * 10; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    peak = std::max(peak, ProcStatusKb(pid, "VmHWM"));
  }
  const double cpu = CpuSeconds(pid);
  int status = 0;
  const double stopped = Interrupt(pid, status);
  stop = true;
  ::shutdown(listener, SHUT_RDWR);
  server.join();
  ::close(listener);
  std::printf("endless reply, %-5s %2d s: VmHWM %6.1f MB (limit 100)  CPU %.2f s  SIGINT to exit %.3f s, status %d\n",
              json ? "json" : "text", seconds, static_cast<double>(peak) / 1024, cpu, stopped, status);
}

void SilentRun(int seconds, int targets) {
  unsigned port = 0;
  const int listener = Listen(port, targets + 16);
  std::atomic<bool> stop{false};
  std::vector<int> held;
  std::thread server(Silent, listener, std::cref(stop), std::ref(held));
  std::vector<std::string> args{"-s", "WHO"};
  for (int i = 0; i < targets; ++i) args.push_back("u@127.0.0.1:" + std::to_string(port));
  const pid_t pid = StartCli(args);
  std::this_thread::sleep_for(std::chrono::seconds(2));  // every session connects and waits
  const double before = CpuSeconds(pid);
  const auto from = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double cpu = CpuSeconds(pid) - before;
  const double wall = std::chrono::duration<double>(Clock::now() - from).count();
  const long threads = ProcStatusKb(pid, "Threads");
  int status = 0;
  const double stopped = Interrupt(pid, status);
  stop = true;
  server.join();
  for (const int fd : held) ::close(fd);
  ::close(listener);
  std::printf("%d silent targets, %d s: CPU %.2f s = %.1f %% of a core (target < 5)  threads %ld  "
              "SIGINT to exit %.3f s (limit 1), status %d\n",
              targets, seconds, cpu, 100 * cpu / wall, threads, stopped, status);
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 10, targets = 1000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--targets") == 0) targets = std::atoi(argv[i + 1]);
  }
  ::signal(SIGPIPE, SIG_IGN);
  rlimit limit{};  // the silent server holds a connection per target
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  bench::PrivateHome home("bench-cli");  // the runner records its logins in the history
  FloodRun(seconds, false);
  FloodRun(seconds, true);
  SilentRun(seconds, targets);
  return 0;
}
