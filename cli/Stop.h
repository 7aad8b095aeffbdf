// How a run stops when asked: the stop signals, taken on a thread of their
// own, and the terminal's echo while a password is typed, put back on every
// path.
#pragma once

#include <signal.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "OwnerLoop.h"
#include "Output.h"

// Signals are taken by one thread of their own (every other thread blocks
// them), so a Ctrl+C reaches the main loop as an ordinary posted call, and a
// write waiting on a reader that doesn't read is cancelled. The same thread
// keeps the --max-time, which the main thread can't while it waits in a
// write. The main thread then cancels every session and ends. Should it
// still not be done after kLastResortMs (a terminal stuck inside a write, a
// session's worker that doesn't reach its cancel while a server floods it),
// this thread ends the process itself: a stop must hold whatever the main
// thread waits on, and the kernel closes every connection anyway, without a
// word to the server.
class StopSignals {
 public:
  static constexpr long kLastResortMs = 600;

  // Blocks SIGINT, SIGTERM and SIGHUP in this thread and every thread
  // started after it. maxTime counts from here; zero: no limit.
  StopSignals(OwnerLoop& loop, Output& out, std::chrono::milliseconds maxTime);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // The stop signal taken; 0 none yet.
  static int Taken();
  // The --max-time has passed.
  static bool TimeUp();
  // The run ends while sessions may still work: unless they are gone within
  // kLastResortMs, the process ends with status after writing message.
  void EndWithin(int status, std::string message);

 private:
  sigset_t m_set;
  std::string m_endMessage;
  std::atomic<int> m_endStatus{0};
  std::thread m_thread;
};

// Echo off on standard input (a terminal) for as long as it lives.
class EchoOff {
 public:
  EchoOff();
  ~EchoOff();
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;
};
