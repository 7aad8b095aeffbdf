// Child processes of the tests: the program under test, run as scripts run
// it, and the real peers it talks to.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace proc {

struct Child {
  std::vector<std::string> args;    // args[0] is looked up on PATH
  int in = -1, out = -1, err = -1;  // the child's descriptors 0, 1 and 2; -1: /dev/null
  std::function<void()> setup;      // runs in the child just before exec: environment, folder, limits
};

// The child's pid, or -1. A child whose exec fails ends with status 127.
pid_t Spawn(const Child& child);
// As Spawn, with a new terminal as descriptors 0, 1 and 2; its master end goes to master.
pid_t SpawnOnTerminal(const Child& child, int& master);
// Waits up to timeout for the child, then kills it: its exit status, or -1 when a signal ended it.
int Wait(pid_t pid, std::chrono::milliseconds timeout);
// Sends signal (0: none), then waits as Wait does for five seconds; pid becomes -1.
void Stop(pid_t& pid, int signal = 0);

}  // namespace proc
