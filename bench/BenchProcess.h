// What several benchmarks share: the process's own memory figures, and the
// demo site in a child process so its threads and buffers don't count.
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DemoSite.h"

namespace bench {

// A field of /proc/self/status in kB ("VmRSS", "VmHWM", ...).
inline long StatusKb(const std::string& field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field + ":", 0) == 0) return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
  return -1;
}

inline void PrintMemory(const char* what) {
  std::printf("%-12s VmRSS %6ld kB  RssAnon %6ld kB  VmHWM %6ld kB  VmSize %8ld kB  threads %ld\n", what,
              StatusKb("VmRSS"), StatusKb("RssAnon"), StatusKb("VmHWM"), StatusKb("VmSize"), StatusKb("Threads"));
}

// The demo site (user admin, password korvastel) in a child process; its
// port, or 0. It serves 16 clients at most. The child ends with this process.
inline unsigned StartSiteProcess(pid_t& child) {
  int toParent[2];
  int hold[2];
  if (::pipe(toParent) != 0 || ::pipe(hold) != 0) return 0;
  child = ::fork();
  if (child == 0) {
    ::close(toParent[0]);
    ::close(hold[1]);
    siteserver::DemoOptions options;
    options.port = 0;
    options.idleTimeoutSeconds = 3600;
    siteserver::DemoServer site(options);
    std::string error;
    unsigned port = site.Start(error) ? site.Port() : 0;
    (void)!::write(toParent[1], &port, sizeof port);
    char c;
    (void)!::read(hold[0], &c, 1);
    site.Stop();
    ::_exit(0);
  }
  ::close(toParent[1]);
  ::close(hold[0]);
  unsigned port = 0;
  if (::read(toParent[0], &port, sizeof port) != sizeof port) port = 0;
  ::close(toParent[0]);
  // hold[1] stays open for the life of this process.
  return port;
}

// Enough demo sites for `clients` connections, each in a child process; all
// end with this object.
class SiteProcesses {
 public:
  static constexpr int kClientsPerSite = 16;
  SiteProcesses() = default;
  SiteProcesses(const SiteProcesses&) = delete;
  SiteProcesses& operator=(const SiteProcesses&) = delete;
  ~SiteProcesses() {
    for (const pid_t child : m_children) {
      ::kill(child, SIGTERM);
      ::waitpid(child, nullptr, 0);
    }
  }
  bool Start(int clients) {
    for (int i = 0; i < (clients + kClientsPerSite - 1) / kClientsPerSite; ++i) {
      pid_t child = -1;
      const unsigned port = StartSiteProcess(child);
      if (port == 0) return std::fprintf(stderr, "demo site did not start\n"), false;
      m_children.push_back(child);
      m_ports.push_back(port);
    }
    return true;
  }
  // The port of the site that serves the client numbered `client`.
  unsigned PortFor(int client) const { return m_ports[static_cast<std::size_t>(client / kClientsPerSite)]; }

 private:
  std::vector<pid_t> m_children;
  std::vector<unsigned> m_ports;
};

// A throwaway HOME (and config folder) for this process, removed with the object.
class PrivateHome {
 public:
  explicit PrivateHome(const std::string& name)
      : m_path(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(m_path);
    ::setenv("HOME", m_path.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", m_path.c_str(), 1);
  }
  PrivateHome(const PrivateHome&) = delete;
  PrivateHome& operator=(const PrivateHome&) = delete;
  ~PrivateHome() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }

 private:
  std::filesystem::path m_path;
};

}  // namespace bench
