#include "Stop.h"

#include <pthread.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<int> g_taken{0};

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

StopSignals::StopSignals(OwnerLoop& loop, Output& out) {
  sigemptyset(&m_set);
  for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&m_set, s);
  pthread_sigmask(SIG_BLOCK, &m_set, nullptr);
  m_thread = std::thread([this, &loop, &out] {
    int signal = 0;
    if (sigwait(&m_set, &signal) != 0 || signal == SIGUSR1) return;
    g_taken = signal;
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

StopSignals::~StopSignals() {
  pthread_kill(m_thread.native_handle(), SIGUSR1);
  m_thread.join();
}
