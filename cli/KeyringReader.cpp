#include "KeyringReader.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

extern char** environ;

namespace {

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace

std::string ReadKeyringPassword(const std::string& site, const std::string& login, std::string& why, bool proxy) {
  std::error_code ec;
  const std::string program =
      (std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "korvastel-keyring").string();
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return why = "no pipe for the keyring reader", std::string();
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]), ::close(out[1]);
    return why = "no pipe for the keyring reader", std::string();
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<std::string> args{program, proxy ? "read-proxy" : "read", site, login};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t child = -1;
  const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  // The password may be long; read both pipes fully before waiting, the short one last.
  std::string password = spawned == 0 ? ReadAll(out[0]) : std::string();
  std::string message = spawned == 0 ? ReadAll(err[0]) : std::string();
  ::close(out[0]);
  ::close(err[0]);
  int status = -1;
  if (spawned == 0)
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  if (spawned != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    const std::string prefix = "korvastel-keyring: ";
    if (message.starts_with(prefix)) message.erase(0, prefix.size());
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
    why = spawned != 0 ? "can't start " + program : message.empty() ? "the keyring reader failed" : message;
    return {};
  }
  if (!password.empty() && password.back() == '\n') password.pop_back();
  return password;
}
