#include "Process.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace proc {

namespace {

[[noreturn]] void Exec(const Child& child) {
  if (child.setup) child.setup();
  std::vector<std::string> args = child.args;
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  ::execvp(argv[0], argv.data());
  ::_exit(127);
}

}  // namespace

pid_t Spawn(const Child& child) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int null = ::open("/dev/null", O_RDWR);
  ::dup2(child.in < 0 ? null : child.in, 0);
  ::dup2(child.out < 0 ? null : child.out, 1);
  ::dup2(child.err < 0 ? null : child.err, 2);
  Exec(child);
}

pid_t SpawnOnTerminal(const Child& child, int& master) {
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) Exec(child);
  return pid;
}

int Wait(pid_t pid, std::chrono::milliseconds timeout) {
  if (pid <= 0) return -1;
  int status = 0;
  const auto due = std::chrono::steady_clock::now() + timeout;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= due) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Stop(pid_t& pid, int signal) {
  if (pid <= 0) return;
  if (signal) ::kill(pid, signal);
  Wait(pid, std::chrono::seconds(5));
  pid = -1;
}

}  // namespace proc
