// The transcript under load, through the real dialog offscreen:
//  - Pane: 100,000 reply lines of 60 bytes, one AppendText per line, a
//    ScrollToNewLines after each 1,000 (target <= 0.4 s, peak RSS <= 200 MB).
//  - SiteUsersExchange: click on "USERS" until the last line of a 100,000-line
//    reply from a scripted server on loopback is in the pane (target <= 0.5 s).
// Run one benchmark per process (--benchmark_filter) to read its own peak RSS.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QAbstractButton>
#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "MessageBox.h"
#include "ScriptedServer.h"
#include "SiteCmdDlg.h"
#include "res/resource.h"

namespace {

constexpr int kLines = 100000;

double PeakRssMb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

std::string ReplyLine(int i, bool last) {
  std::string line = std::string(last ? "200 " : "200-") + "user" + std::to_string(i);
  line.resize(58, '.');
  return line;
}

std::unique_ptr<CSiteCmdDlg> NewDialog() {
  auto dlg = std::make_unique<CSiteCmdDlg>();
  dlg->Start();
  QApplication::processEvents();
  return dlg;
}

void Pane(benchmark::State& state) {
  std::vector<std::string> lines;
  for (int i = 0; i < kLines; ++i) lines.push_back(ReplyLine(i, i + 1 == kLines) + "\n");
  for (auto _ : state) {
    state.PauseTiming();
    auto dlg = NewDialog();
    OutputLog& log = dlg->m_richOutput;
    state.ResumeTiming();
    log.BeginColoredAppend(logCommandColor);
    int before = log.GetLineCount();
    for (int i = 0; i < kLines; ++i) {
      log.AppendText(lines[static_cast<std::size_t>(i)]);
      if ((i + 1) % 1000 == 0) {
        log.ScrollToNewLines(before);
        before = log.GetLineCount();
      }
    }
    log.ScrollToNewLines(before);
    benchmark::DoNotOptimize(log.GetFirstVisibleLine());  // the text and the scroll reach the widget
    state.PauseTiming();
    dlg.reset();
    state.ResumeTiming();
  }
  state.counters["peak_rss_MB"] = PeakRssMb();
}
BENCHMARK(Pane)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);

void SiteUsersExchange(benchmark::State& state) {
  std::string reply;
  for (int i = 0; i < kLines; ++i) reply += ReplyLine(i, i + 1 == kLines) + "\r\n";
  using namespace siteserver;
  Script script{Send("220 bench site\r\n"), ExpectLine(), Send("331 password please\r\n"), ExpectLine(),
                Send("230 logged in\r\n")};
  script.push_back(ExpectLine());
  script.push_back(Send(reply));
  std::vector<Script> scripts(12, script);  // one connection per repetition
  ScriptedServer server(scripts);
  if (!server.Start()) {
    state.SkipWithError(server.Error().c_str());
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto dlg = NewDialog();
    dlg->m_host = "127.0.0.1";
    dlg->m_port = server.Port();
    dlg->m_login = "bench";
    dlg->m_password = "bench";
    dlg->UpdateData(FALSE);
    dlg->OnConnect();
    auto* users = reinterpret_cast<QAbstractButton*>(dlg->GetDlgItem(IDC_SITE_FIRST + 12)->GetSafeHwnd());
    state.ResumeTiming();
    users->click();  // the whole exchange runs inside the click
    const std::string text = dlg->m_richOutput.GetText();
    state.PauseTiming();
    if (text.find(ReplyLine(kLines - 1, true)) == std::string::npos) state.SkipWithError("reply not shown whole");
    dlg.reset();
    state.ResumeTiming();
  }
  state.counters["peak_rss_MB"] = PeakRssMb();
}
BENCHMARK(SiteUsersExchange)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const fs::path home = fs::temp_directory_path() / ("korvastel-bench-" + std::to_string(::getpid()));
  fs::create_directories(home);
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  fs::current_path(home);  // no command list here: the start-up's box is answered below
  QApplication app(argc, argv);
  platform::SetMessageBoxPresenter([](const platform::MessageBoxCall&) { return IDOK; });
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(home, ec);
  return 0;
}
