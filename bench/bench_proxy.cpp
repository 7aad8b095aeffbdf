// Connect + login to the in-process demo site on 127.0.0.1 through a real
// SOCKS5 proxy (Debian's microsocks, with a username/password login) beside
// the same connect + login direct, in one run: medians of 50 each, and the
// ratio. What the proxy adds is its handshake (two round trips more) and the
// proxy's own connect to the site. Skipped, with a message, when microsocks
// is not installed.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "ControlConnection.h"
#include "DemoSiteBench.h"
#include "Socket.h"
#include "Socks5.h"

extern char** environ;

namespace {

constexpr char kMicrosocks[] = "/usr/bin/microsocks";

siteserver::DemoServer* g_server = nullptr;
Socks5Proxy g_proxy{"127.0.0.1", 0, "gate", "k3y"};

void ConnectAndLogIn(benchmark::State& state, bool proxied) {
  for (auto _ : state) {
    bench::DiscardingSink sink;
    ControlConnection::Connector connect = &platform::ConnectTcp;
    if (proxied)
      connect = [](const std::string& host, unsigned port, ConnectError& error) {
        return ConnectSocks5(g_proxy, host, port, error);
      };
    ControlConnection connection(sink, connect);
    ConnectError error;
    if (connection.Open("127.0.0.1", g_server->Port(), "admin", "korvastel", error) !=
        ControlConnection::Login::LoggedIn) {
      state.SkipWithError(("cannot log in: " + error.text).c_str());
      return;
    }
  }
}

void BM_LoginDirect(benchmark::State& state) { ConnectAndLogIn(state, false); }
void BM_LoginThroughProxy(benchmark::State& state) { ConnectAndLogIn(state, true); }

BENCHMARK(BM_LoginDirect)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(50);
BENCHMARK(BM_LoginThroughProxy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(50);

// microsocks on a free port of 127.0.0.1 with a login; its pid, or -1.
pid_t StartProxy() {
  for (unsigned port = 20000 + static_cast<unsigned>(::getpid() % 20000); port < 65000; port += 7) {
    ConnectError busy;
    if (platform::ConnectTcp("127.0.0.1", port, busy)) continue;  // someone listens there
    const std::string portText = std::to_string(port);
    const char* argv[] = {kMicrosocks, "-i", "127.0.0.1", "-p", portText.c_str(), "-u", "gate", "-P", "k3y", nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, kMicrosocks, nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return -1;
    for (int i = 0; i < 100; ++i) {
      ConnectError error;
      if (platform::ConnectTcp("127.0.0.1", port, error)) {
        g_proxy.port = port;
        return pid;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (::access(kMicrosocks, X_OK) != 0) {
    std::printf("skipped: microsocks is not installed (apt-get install microsocks)\n");
    return 0;
  }
  const auto server = bench::StartDemoSite(1);
  if (!server) return 1;
  g_server = server.get();
  const pid_t proxy = StartProxy();
  if (proxy < 0) {
    std::fprintf(stderr, "microsocks did not start\n");
    return 1;
  }
  bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  ::kill(proxy, SIGTERM);
  ::waitpid(proxy, nullptr, 0);
  server->Stop();

  auto& m = reporter.medians;
  const double direct = m["BM_LoginDirect"], proxied = m["BM_LoginThroughProxy"];
  std::printf("\nConnect and log in over 127.0.0.1, median of 50\n  direct  %.3f ms\n  through microsocks (SOCKS5 "
              "with a login)  %.3f ms\n",
              direct, proxied);
  if (direct > 0) std::printf("  proxied/direct = %.2f\n", proxied / direct);
  return 0;
}
