#include "Stop.h"

#include <pthread.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace {

std::atomic<int> g_taken{0};
std::atomic<bool> g_timeUp{false};

timespec ToTimespec(std::chrono::steady_clock::duration d) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
  return {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

// The terminal's settings while the password is typed without echo; the
// signal thread's last-resort exit puts them back too.
termios g_savedTerminal{};
std::atomic<bool> g_echoOff{false};

void RestoreTerminal() {
  if (g_echoOff.exchange(false)) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
}

}  // namespace

EchoOff::EchoOff() {
  if (::tcgetattr(STDIN_FILENO, &g_savedTerminal) != 0) return;
  termios quiet = g_savedTerminal;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  quiet.c_lflag |= ECHONL;  // the Enter still moves to the next line
  g_echoOff = ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
}

EchoOff::~EchoOff() { RestoreTerminal(); }

int StopSignals::Taken() { return g_taken.load(); }

bool StopSignals::TimeUp() { return g_timeUp.load(); }

StopSignals::StopSignals(OwnerLoop& loop, Output& out, std::chrono::milliseconds maxTime) {
  sigemptyset(&m_set);
  for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) sigaddset(&m_set, s);
  pthread_sigmask(SIG_BLOCK, &m_set, nullptr);
  const auto deadline = std::chrono::steady_clock::now() + maxTime;
  m_thread = std::thread([this, &loop, &out, maxTime, deadline] {
    int status = 0;
    std::string word;
    for (;;) {
      int signal = 0;
      if (maxTime.count() > 0) {
        const auto left = std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration());
        const timespec wait = ToTimespec(left);
        signal = sigtimedwait(&m_set, nullptr, &wait);
        if (signal < 0 && errno == EAGAIN) {
          g_timeUp = true;
          out.Cancel();
          loop.Post([] {});
          status = 2;
          break;
        }
        if (signal < 0) continue;
      } else if (sigwait(&m_set, &signal) != 0) {
        return;
      }
      if (signal == SIGUSR1) return;
      if (signal == SIGUSR2) {
        status = m_endStatus.load();
        word = m_endMessage;
        break;
      }
      g_taken = signal;
      out.Cancel();
      loop.Post([] {});
      status = 128 + signal;
      word = "korvastel-cli: interrupted (the stop had to be forced)\n";
      break;
    }
    const timespec wait = ToTimespec(std::chrono::milliseconds(kLastResortMs));
    for (;;) {  // further signals change nothing now
      const int next = sigtimedwait(&m_set, nullptr, &wait);
      if (next == SIGUSR1) return;
      if (next < 0 && errno == EAGAIN) break;
    }
    RestoreTerminal();
    (void)!::write(STDERR_FILENO, word.data(), word.size());
    ::_exit(status);
  });
}

void StopSignals::EndWithin(int status, std::string message) {
  m_endMessage = std::move(message);
  m_endStatus = status;  // published with the message
  pthread_kill(m_thread.native_handle(), SIGUSR2);
}

StopSignals::~StopSignals() {
  pthread_kill(m_thread.native_handle(), SIGUSR1);
  m_thread.join();
}
