// The 100,000-line SITE USERS reply through TLS against the same exchange in
// plain, both from the in-process demo site on 127.0.0.1 (which offers AUTH
// TLS with a certificate made at start); and connect + login, with and
// without AUTH TLS and its handshake, as medians of 20. Prints the figures
// and TLS/plain for the reply (target at most 1.3).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "DemoSite.h"
#include "LineReader.h"
#include "Reply.h"
#include "Socket.h"
#include "TlsTransport.h"

namespace {

constexpr std::size_t kLines = 100000;
constexpr std::size_t kReplyBytes = kLines * 60;

siteserver::DemoServer* g_server = nullptr;

// A logged-in control connection, plain or through TLS.
class Connection {
 public:
  bool Open(bool tls) {
    auto socket = std::make_unique<CSocket>();
    if (!socket->Create() || !socket->Connect("127.0.0.1", g_server->Port())) return false;
    m_transport = std::move(socket);
    if (Reply().substr(0, 4) != "220 ") return false;
    if (tls) {
      if (Exchange("AUTH TLS").substr(0, 4) != "234 ") return false;
      auto secure = std::make_unique<TlsTransport>(std::move(m_transport));
      const bool done = secure->Start("127.0.0.1") == TlsTransport::Handshake::Done;
      m_transport = std::move(secure);
      if (!done) return false;
    }
    return Exchange("USER admin").substr(0, 4) == "331 " && Exchange("PASS korvastel").substr(0, 4) == "230 ";
  }
  std::string Exchange(const std::string& command, const std::function<void(std::string_view)>& onLine = {}) {
    if (!m_transport->Send(command + "\r\n")) return {};
    return Reply(onLine);
  }

 private:
  std::string Reply(const std::function<void(std::string_view)>& onLine = {}) {
    std::string last;
    if (ReadReplyLines(
            m_reader, onLine ? onLine : [](std::string_view) {}, last) != ReplyStatus::Complete)
      return {};
    return last;
  }

  std::unique_ptr<Transport> m_transport;
  LineReader m_reader{[this](char* b, std::size_t n, bool wait) { return m_transport->Receive(b, n, wait); }};
};

void Reply(benchmark::State& state, bool tls) {
  Connection c;
  if (!c.Open(tls)) {
    state.SkipWithError("cannot log in");
    return;
  }
  std::size_t bytes = 0;
  const auto onLine = [&bytes](std::string_view line) { bytes += line.size() + 2; };
  for (auto _ : state) {
    bytes = 0;
    if (c.Exchange("SITE USERS", onLine).empty() || bytes != kReplyBytes) {
      state.SkipWithError("short reply");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kReplyBytes));
}

void ConnectAndLogIn(benchmark::State& state, bool tls) {
  for (auto _ : state) {
    Connection c;
    if (!c.Open(tls)) {
      state.SkipWithError("cannot log in");
      return;
    }
  }
}

void BM_ReplyPlain(benchmark::State& state) { Reply(state, false); }
void BM_ReplyTls(benchmark::State& state) { Reply(state, true); }
void BM_LoginPlain(benchmark::State& state) { ConnectAndLogIn(state, false); }
void BM_LoginTls(benchmark::State& state) { ConnectAndLogIn(state, true); }

BENCHMARK(BM_ReplyPlain)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9);
BENCHMARK(BM_ReplyTls)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(9);
BENCHMARK(BM_LoginPlain)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(20);
BENCHMARK(BM_LoginTls)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(20);

class MedianReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> medians;     // ms, wall clock
  std::map<std::string, double> cpuMedians;  // ms, the client's thread only

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        medians[r.run_name.function_name] = r.GetAdjustedRealTime();
        cpuMedians[r.run_name.function_name] = r.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  siteserver::DemoOptions options;
  options.port = 0;
  options.replyLines = kLines;
  siteserver::DemoServer server(options);
  std::string error;
  if (!server.Start(error)) {
    std::fprintf(stderr, "demo site: %s\n", error.c_str());
    return 1;
  }
  g_server = &server;
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  server.Stop();

  auto& m = reporter.medians;
  const double plain = m["BM_ReplyPlain"], tls = m["BM_ReplyTls"];
  std::printf("\nSITE USERS, %zu lines, %zu bytes over 127.0.0.1\n", kLines, kReplyBytes);
  std::printf("  plain  median %.2f ms\n  TLS    median %.2f ms\n", plain, tls);
  if (plain > 0 && tls > 0)
    std::printf("  TLS/plain = %.2f (target <= 1.30): %s\n", tls / plain, tls / plain <= 1.3 ? "met" : "NOT met");
  // The server shares the machine's cores; the client's own CPU time is the
  // figure that load from elsewhere does not move.
  const double plainCpu = reporter.cpuMedians["BM_ReplyPlain"], tlsCpu = reporter.cpuMedians["BM_ReplyTls"];
  std::printf("  client CPU: plain %.2f ms, TLS %.2f ms, TLS/plain = %.2f\n", plainCpu, tlsCpu,
              plainCpu > 0 ? tlsCpu / plainCpu : 0.0);
  std::printf("Connect and log in, median of 20\n  plain %.2f ms\n  TLS (AUTH TLS + handshake) %.2f ms\n",
              m["BM_LoginPlain"], m["BM_LoginTls"]);
  return 0;
}
