// What several benchmarks share: the process's own memory figures, and the
// demo site in a child process so its threads and buffers don't count.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

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

}  // namespace bench
