// (b) SITE USERS through ControlConnection::Exchange (socket, line reader,
// reply rule, transcript calls) with the transcript discarded, against (c) a
// bare recv loop reading the same bytes, both from the in-process demo site
// on 127.0.0.1. Prints the medians, b/c (target at most 1.5) and the peak RSS.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "ControlConnection.h"
#include "DemoSiteBench.h"
#include "LineReader.h"
#include "Reply.h"
#include "Socket.h"

namespace {

constexpr std::size_t kLines = 100000;
constexpr std::size_t kReplyBytes = kLines * 60;

siteserver::DemoServer* g_server = nullptr;

void LogIn(const std::function<bool(const std::string&)>& send, LineReader& reader) {
  std::string last;
  const auto ignore = [](std::string_view) {};
  ReadReplyLines(reader, ignore, last);
  send("USER admin\r\n");
  ReadReplyLines(reader, ignore, last);
  send("PASS korvastel\r\n");
  ReadReplyLines(reader, ignore, last);
}

void BM_Exchange(benchmark::State& state) {
  bench::DiscardingSink sink;
  ControlConnection connection(sink, &platform::ConnectTcp);
  ConnectError error;
  if (connection.Open("127.0.0.1", g_server->Port(), "admin", "korvastel", error) !=
      ControlConnection::Login::LoggedIn) {
    state.SkipWithError("cannot log in");
    return;
  }
  for (auto _ : state) {
    sink.bytes = 0;
    // The pane shows each line with LF where the wire had CR LF.
    if (connection.Exchange("SITE USERS") != ControlConnection::Result::Done || sink.bytes != kReplyBytes - kLines) {
      state.SkipWithError("short reply");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kReplyBytes));
}

void BM_PlainRecv(benchmark::State& state) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(g_server->Port()));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    state.SkipWithError("cannot connect");
    ::close(fd);
    return;
  }
  // The login goes through the reader; the timed part is raw.
  LineReader reader([fd](char* b, std::size_t n, bool) { return static_cast<long>(::recv(fd, b, n, 0)); });
  const auto send = [fd](const std::string& s) { return ::send(fd, s.data(), s.size(), MSG_NOSIGNAL) > 0; };
  LogIn(send, reader);
  std::string buf(64 * 1024, '\0');
  for (auto _ : state) {
    send("SITE USERS\r\n");
    std::size_t total = 0;
    while (total < kReplyBytes) {
      const ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
      if (n <= 0) {
        state.SkipWithError("connection lost");
        ::close(fd);
        return;
      }
      total += static_cast<std::size_t>(n);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kReplyBytes));
  ::close(fd);
}

BENCHMARK(BM_Exchange)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9);
BENCHMARK(BM_PlainRecv)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const auto server = bench::StartDemoSite(kLines);
  if (!server) return 1;
  g_server = server.get();
  bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  server->Stop();

  const double b = reporter.medians["BM_Exchange"], c = reporter.medians["BM_PlainRecv"];
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("\nSITE USERS, %zu lines, %zu bytes over 127.0.0.1\n", kLines, kReplyBytes);
  std::printf("  (b) ControlConnection::Exchange, transcript discarded  median %.2f ms\n", b);
  std::printf("  (c) plain recv loop                                   median %.2f ms\n", c);
  if (b > 0 && c > 0) std::printf("  b/c = %.2f (target <= 1.50): %s\n", b / c, b / c <= 1.5 ? "met" : "NOT met");
  std::printf("  peak RSS %.1f MiB (server and client in one process)\n",
              static_cast<double>(usage.ru_maxrss) / 1024.0);
  return 0;
}
