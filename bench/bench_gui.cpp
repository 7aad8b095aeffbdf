// The transcript under load, through the real dialog offscreen:
//  - Pane: 100,000 reply lines of 60 bytes, one AppendText per line, a
//    ScrollToNewLines after each 1,000 (target <= 0.4 s, peak RSS <= 200 MB).
//  - SiteUsersExchange: click on "USERS" until the last line of a 100,000-line
//    reply from a scripted server on loopback is in the pane (target <= 0.5 s).
//  - OneLongLine: a reply of one 10 MB line, click to the line shown
//    (target <= 0.3 s).
//  - PaneAtMillionLines: with 1,000,000 lines of 60 bytes in the pane, one
//    page down, select all, copy, and a find that hits the last line (each
//    target <= 100 ms; the counters are milliseconds).
// Run one benchmark per process (--benchmark_filter) to read its own peak RSS.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "MessageBox.h"
#include "ScriptedServer.h"
#include "SettleDialog.h"
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
    OutputLog& log = dlg->m_transcript;
    state.ResumeTiming();
    log.BeginAppend(TranscriptKind::Command);
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

// A server's part of a login, then one reply to the first command.
siteserver::Script LoginThenReply(std::string reply) {
  using namespace siteserver;
  return {Send("220 bench site\r\n"), ExpectLine(), Send("331 password please\r\n"), ExpectLine(),
          Send("230 logged in\r\n"), ExpectLine(), Send(std::move(reply))};
}

// A dialog logged in to the scripted server on port, as the user's click on Connect leaves it.
std::unique_ptr<CSiteCmdDlg> LoggedInDialog(unsigned port) {
  auto dlg = NewDialog();
  dlg->m_form.host = "127.0.0.1";
  dlg->m_form.port = port;
  dlg->m_form.login = "bench";
  dlg->m_form.password = "bench";
  dlg->WriteFields();
  dlg->OnConnect();
  SettleDialog(*dlg);
  return dlg;
}

void SiteUsersExchange(benchmark::State& state) {
  std::string reply;
  for (int i = 0; i < kLines; ++i) reply += ReplyLine(i, i + 1 == kLines) + "\r\n";
  // One connection per repetition.
  siteserver::ScriptedServer server(std::vector<siteserver::Script>(12, LoginThenReply(reply)));
  if (!server.Start()) {
    state.SkipWithError(server.Error().c_str());
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto dlg = LoggedInDialog(server.Port());
    auto* users = qobject_cast<QAbstractButton*>(dlg->Control(IDC_SITE_FIRST + 12));
    state.ResumeTiming();
    users->click();
    SettleDialog(*dlg);  // the exchange runs on the session's worker; its lines arrive through the event loop
    const std::string text = dlg->m_transcript.GetText();
    state.PauseTiming();
    if (text.find(ReplyLine(kLines - 1, true)) == std::string::npos) state.SkipWithError("reply not shown whole");
    dlg.reset();
    state.ResumeTiming();
  }
  state.counters["peak_rss_MB"] = PeakRssMb();
}
BENCHMARK(SiteUsersExchange)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(10)->ReportAggregatesOnly(true);

void OneLongLine(benchmark::State& state) {
  std::string line = "200 ";
  line.resize(10 * 1024 * 1024, 'x');
  siteserver::ScriptedServer server(std::vector<siteserver::Script>(6, LoginThenReply(line + "\r\n")));
  if (!server.Start()) {
    state.SkipWithError(server.Error().c_str());
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto dlg = LoggedInDialog(server.Port());
    auto* users = qobject_cast<QAbstractButton*>(dlg->Control(IDC_SITE_FIRST + 12));
    auto* pane = dlg->m_transcript.ScrollArea();
    state.ResumeTiming();
    users->click();
    SettleDialog(*dlg);
    benchmark::DoNotOptimize(dlg->m_transcript.GetFirstVisibleLine());
    pane->viewport()->repaint();
    state.PauseTiming();
    if (!dlg->m_transcript.EndsWith("xxxx\n")) state.SkipWithError("line not shown");
    dlg.reset();
    state.ResumeTiming();
  }
  state.counters["peak_rss_MB"] = PeakRssMb();
}
BENCHMARK(OneLongLine)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);

double Ms(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void PaneAtMillionLines(benchmark::State& state) {
  constexpr int kMillion = 1000000;
  auto dlg = NewDialog();
  OutputLog& log = dlg->m_transcript;
  auto* pane = log.ScrollArea();
  log.BeginAppend(TranscriptKind::Command);
  const int before = log.GetLineCount();
  for (int i = 0; i < kMillion; ++i) log.AppendText(ReplyLine(i, i + 1 == kMillion) + "\n");
  log.ScrollToNewLines(before);
  log.GetFirstVisibleLine();
  pane->resize(800, 400);
  pane->show();
  QApplication::processEvents();
  const auto key = [&](int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, k, m);
    QApplication::sendEvent(pane, &press);
    pane->viewport()->repaint();
  };
  key(Qt::Key_Home, Qt::ControlModifier);
  double page = 0, selectAll = 0, copy = 0, find = 0;
  for (auto _ : state) {
    page = Ms([&] { key(Qt::Key_PageDown); });
    selectAll = Ms([&] { key(Qt::Key_A, Qt::ControlModifier); });
    copy = Ms([&] { key(Qt::Key_C, Qt::ControlModifier); });
    if (QApplication::clipboard()->text().size() != log.GetWindowTextLength()) state.SkipWithError("copy incomplete");
    key(Qt::Key_Home, Qt::ControlModifier);
    key(Qt::Key_F, Qt::ControlModifier);
    auto* field = pane->findChild<QLineEdit*>();
    field->setText(QString::fromStdString(ReplyLine(kMillion - 1, true).substr(0, 12)));
    find = Ms([&] {
      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QApplication::sendEvent(field, &enter);
      pane->viewport()->repaint();
    });
    if (log.GetFirstVisibleLine() + log.GetVisibleLineCount() < log.GetLineCount() - 1)
      state.SkipWithError("find did not reach the last line");
  }
  state.counters["page_ms"] = page;
  state.counters["select_all_ms"] = selectAll;
  state.counters["copy_ms"] = copy;
  state.counters["find_last_ms"] = find;
  state.counters["peak_rss_MB"] = PeakRssMb();
}
BENCHMARK(PaneAtMillionLines)->Unit(benchmark::kMillisecond)->Iterations(1);

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
  platform::SetMessageBoxPresenter([](const platform::MessageBoxCall&) { return platform::kAnswerOk; });
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(home, ec);
  return 0;
}
