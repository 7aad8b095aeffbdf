// What the benchmarks of a SITE USERS reply from the in-process demo site
// share: a sink that counts what the pane would show, the medians for the
// summary lines, and the site itself.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ControlConnection.h"
#include "DemoSite.h"

namespace bench {

// Counts what the pane would have shown, and shows nothing.
struct DiscardingSink : TranscriptSink {
  std::size_t bytes = 0;  // of reply text
  std::string session;    // the login-colour line on protocol, cipher and certificate
  void Show(TranscriptKind kind, std::string_view text) override {
    if (kind == TranscriptKind::Reply) bytes += text.size();
    if (kind == TranscriptKind::Login && text.rfind(">TLS", 0) == 0) session.assign(text);
  }
  void BlockDone() override {}
  void ExchangeStarted(const Exchange&) override {}
  void ExchangeEnded(const Exchange&) override {}
};

// Keeps the medians of each benchmark for the summary lines, in ms.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> medians;     // wall clock
  std::map<std::string, double> cpuMedians;  // the benchmark's own thread

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

// The demo site on a free port of 127.0.0.1, SITE USERS answering with
// `lines` lines of 60 bytes; null (and a message) when it cannot start.
inline std::unique_ptr<siteserver::DemoServer> StartDemoSite(std::size_t lines) {
  siteserver::DemoOptions options;
  options.port = 0;
  options.replyLines = lines;
  auto server = std::make_unique<siteserver::DemoServer>(options);
  std::string error;
  if (!server->Start(error)) {
    std::fprintf(stderr, "demo site: %s\n", error.c_str());
    return nullptr;
  }
  return server;
}

}  // namespace bench
