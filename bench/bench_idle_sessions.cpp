// What idle sessions cost: N Sessions (no window) logged in to the demo site,
// which runs in child processes so its own threads and buffers do not count
// (one site serves 16 clients at most, so every 16 sessions get a site of
// their own).
// Prints the resident memory with one session and with N (and the increment
// per session above one), then the CPU time the process spent while the N
// sessions sat idle for a few seconds.
//
//   bench_idle_sessions [--sessions 20] [--idle 3]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchProcess.h"
#include "OwnerLoop.h"
#include "Session.h"
#include "Socket.h"

namespace {

// The owner's event loop: posted calls run on this thread, in order.
using Loop = OwnerLoop;
using bench::PrintMemory;
using bench::StatusKb;

struct Counter : SessionObserver {
  std::size_t bytes = 0;
  bool loggedIn = false;
  bool done = false;
  void OnLine(TranscriptKind, std::string_view t) override { bytes += t.size(); }
  void OnBlockDone(Transcript::Pos) override {}
  void OnState(SessionState) override {}
  void OnLoginDone(const LoginReport& report) override {
    const ControlConnection::Login result = report.result;
    loggedIn = result == ControlConnection::Login::LoggedIn;
    done = true;
  }
  void OnRunDone(ControlConnection::Result) override {}
};

double CpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Time on a CPU (ns, from schedstat) and context switches (each wake-up is
// one) of every thread but this one: the sessions' workers.
struct WorkerUse {
  long long cpuNs = 0;
  long long switches = 0;
};
WorkerUse WorkersUse() {
  WorkerUse use;
  const std::string self = std::to_string(::gettid());
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    if (task.path().filename() == self) continue;
    std::ifstream sched(task.path() / "schedstat");
    long long ns = 0;
    if (sched >> ns) use.cpuNs += ns;
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line))
      if (line.find("ctxt_switches:") != std::string::npos)
        use.switches += std::strtoll(line.c_str() + line.find(':') + 1, nullptr, 10);
  }
  return use;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 20;
  int idleSeconds = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i];
    if (k == "--sessions") count = std::atoi(argv[i + 1]);
    if (k == "--idle") idleSeconds = std::atoi(argv[i + 1]);
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  bench::SiteProcesses sites;
  if (!sites.Start(count)) return 1;

  Loop loop;
  std::vector<std::unique_ptr<Counter>> observers;
  std::vector<std::unique_ptr<Session>> sessions;
  const auto open = [&]() {
    observers.push_back(std::make_unique<Counter>());
    Session::Services services;
    services.post = loop.Poster();
    services.connect = &platform::ConnectTcp;
    sessions.push_back(std::make_unique<Session>(*observers.back(), std::move(services)));
    Counter& c = *observers.back();
    const unsigned port = sites.PortFor(static_cast<int>(sessions.size() - 1));
    ConnectRequest request;
    request.host = "127.0.0.1";
    request.port = port;
    request.login = "admin";
    request.password = "korvastel";
    if (!sessions.back()->Connect(request)) return false;
    return loop.RunUntil([&c] { return c.done; }, std::chrono::seconds(10)) && c.loggedIn;
  };
  const auto settle = [&] { loop.RunUntil([] { return false; }, std::chrono::milliseconds(300)); };

  settle();
  PrintMemory("0 sessions");
  if (!open()) {
    std::fprintf(stderr, "could not log in\n");
    return 1;
  }
  settle();
  PrintMemory("1 session");
  const long rss1 = StatusKb("VmRSS");
  const long anon1 = StatusKb("RssAnon");
  for (int i = 1; i < count; ++i) {
    if (!open()) {
      std::fprintf(stderr, "session %d could not log in\n", i + 1);
      return 1;
    }
  }
  settle();
  const std::string label = std::to_string(count) + " sessions";
  PrintMemory(label.c_str());
  const long rssN = StatusKb("VmRSS");
  const long anonN = StatusKb("RssAnon");
  std::printf("per_session_rss_kB %.1f\n", static_cast<double>(rssN - rss1) / (count - 1));
  std::printf("per_session_anon_kB %.1f\n", static_cast<double>(anonN - anon1) / (count - 1));

  const WorkerUse workers0 = WorkersUse();
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
  const double cpu1 = CpuSeconds();
  const WorkerUse workers1 = WorkersUse();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("idle_wall_s %.3f\n", wall);
  std::printf("idle_cpu_s %.6f (%zu calls posted meanwhile)\n", cpu1 - cpu0, loop.Pending());
  std::printf("idle_cpu_percent %.4f\n", 100.0 * (cpu1 - cpu0) / wall);
  std::printf("idle_workers_cpu_ns %lld\n", workers1.cpuNs - workers0.cpuNs);
  std::printf("idle_workers_wakeups %lld\n", workers1.switches - workers0.switches);

  sessions.clear();
  observers.clear();
  return 0;
}
