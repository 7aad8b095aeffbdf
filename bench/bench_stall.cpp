// How long the GUI thread is away while a big SITE USERS reply arrives: the
// real dialog (offscreen unless QT_QPA_PLATFORM says otherwise) logs in to the
// demo site, and a 10 ms timer on the GUI thread notes the gap between its
// ticks from the click on "USERS" until the last line is painted. The time
// from the last tick to the end counts as a gap too. First the same timer
// with nothing arriving, for the floor this machine gives.
// Prints each run's largest and median gap, then over all runs.
//
//   bench_stall [--lines 1000000] [--runs 5] [--port N] [--show 1]
// No port: the demo site in this process. --show 1 lists each gap over 50 ms
// with the time it ended, from the click, and the GUI thread's CPU time in it.
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QTimer>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DemoSite.h"
#include "MessageBox.h"
#include "SettleDialog.h"
#include "SiteCmdDlg.h"
#include "res/resource.h"

namespace {

using Clock = std::chrono::steady_clock;

// CPU time of the calling thread, in ms.
double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The gaps between the ticks of a 10 ms timer on this thread, in ms.
class TickGaps {
 public:
  TickGaps() {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      const auto now = Clock::now();
      m_gaps.push_back(std::chrono::duration<double, std::milli>(now - m_last).count());
      m_ends.push_back(std::chrono::duration<double, std::milli>(now - m_start).count());
      const double cpu = ThreadCpuMs();
      m_cpu.push_back(cpu - m_lastCpu);
      m_lastCpu = cpu;
      m_last = now;
    });
  }
  void Start() {
    m_gaps.clear();
    m_ends.clear();
    m_cpu.clear();
    m_lastCpu = ThreadCpuMs();
    m_start = m_last = Clock::now();
    m_timer.start();
  }
  std::vector<double> Stop() {
    m_timer.stop();
    const auto now = Clock::now();
    m_gaps.push_back(std::chrono::duration<double, std::milli>(now - m_last).count());
    m_ends.push_back(std::chrono::duration<double, std::milli>(now - m_start).count());
    m_cpu.push_back(ThreadCpuMs() - m_lastCpu);
    return m_gaps;
  }
  // When each gap ended, in ms from Start.
  const std::vector<double>& Ends() const { return m_ends; }
  // The GUI thread's own CPU time within each gap, in ms.
  const std::vector<double>& Cpu() const { return m_cpu; }

 private:
  QTimer m_timer;
  Clock::time_point m_start;
  Clock::time_point m_last;
  std::vector<double> m_gaps;
  std::vector<double> m_ends;
  std::vector<double> m_cpu;
  double m_lastCpu = 0;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double Largest(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

long Over(const std::vector<double>& v, double ms) {
  return std::count_if(v.begin(), v.end(), [ms](double g) { return g > ms; });
}

void Print(const char* what, const std::vector<double>& gaps, double seconds) {
  std::printf("%-10s %6.3f s  ticks %5zu  median gap %6.2f ms  largest %7.2f ms  over 50 ms: %ld\n", what, seconds,
              gaps.size(), Median(gaps), Largest(gaps), Over(gaps, 50));
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t lines = 1000000;
  int runs = 5;
  int port = 0;
  bool show = false;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i];
    if (k == "--lines") lines = std::strtoul(argv[i + 1], nullptr, 10);
    if (k == "--runs") runs = std::atoi(argv[i + 1]);
    if (k == "--port") port = std::atoi(argv[i + 1]);
    if (k == "--show") show = std::atoi(argv[i + 1]) != 0;
  }
  std::unique_ptr<siteserver::DemoServer> site;
  if (port <= 0) {
    siteserver::DemoOptions options;
    options.port = 0;
    options.replyLines = lines;
    site = std::make_unique<siteserver::DemoServer>(options);
    std::string error;
    if (!site->Start(error)) {
      std::fprintf(stderr, "demo site: %s\n", error.c_str());
      return 1;
    }
    port = static_cast<int>(site->Port());
  }

  namespace fs = std::filesystem;
  const fs::path home = fs::temp_directory_path() / ("korvastel-stall-" + std::to_string(::getpid()));
  fs::create_directories(home);
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  fs::current_path(home);  // no command list here: the start-up's box is answered below
  QApplication app(argc, argv);
  platform::SetMessageBoxPresenter([](const platform::MessageBoxCall& c) {
    if (c.caption != "Error reading command list file.") std::fprintf(stderr, "box: %s\n", c.text.c_str());
    return platform::kAnswerOk;
  });
  std::printf("platform %s, %zu lines\n", QApplication::platformName().toUtf8().constData(), lines);

  TickGaps ticks;
  std::vector<double> all;
  std::vector<double> largest;
  int rc = 0;
  for (int run = 0; run <= runs && rc == 0; ++run) {
    auto dlg = std::make_unique<CSiteCmdDlg>();
    dlg->Start();
    QApplication::processEvents();
    dlg->m_form.host = "127.0.0.1";
    dlg->m_form.port = static_cast<unsigned>(port);
    dlg->m_form.login = "admin";
    dlg->m_form.password = "korvastel";
    dlg->WriteFields();
    dlg->OnConnect();
    SettleDialog(*dlg);
    if (!dlg->IsConnected()) {
      std::fprintf(stderr, "could not log in\n");
      rc = 1;
      break;
    }
    if (run == 0) {  // the floor: the same loop, the same window, nothing arriving
      ticks.Start();
      const auto end = Clock::now() + std::chrono::seconds(1);
      while (Clock::now() < end) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
      Print("idle", ticks.Stop(), 1.0);
      // The site builds its reply once; the first fetch is not counted.
    }
    auto* users = qobject_cast<QAbstractButton*>(dlg->Control(IDC_SITE_FIRST + 12));
    auto* pane = dlg->m_transcript.ScrollArea();
    const int before = dlg->m_transcript.GetLineCount();

    const auto t0 = Clock::now();
    ticks.Start();
    users->click();
    SettleDialog(*dlg);
    dlg->m_transcript.GetFirstVisibleLine();
    pane->viewport()->repaint();
    const std::vector<double> gaps = ticks.Stop();
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();

    if (dlg->m_transcript.GetLineCount() - before < static_cast<long>(lines)) {
      std::fprintf(stderr, "reply not shown whole\n");
      rc = 1;
      break;
    }
    if (run == 0) continue;
    Print(("run " + std::to_string(run)).c_str(), gaps, s);
    if (show)
      for (std::size_t i = 0; i < gaps.size(); ++i)
        if (gaps[i] > 50)
          std::printf("    %7.2f ms gap ending at %7.1f ms, GUI thread on a CPU %6.2f ms of it\n", gaps[i],
                      ticks.Ends()[i], ticks.Cpu()[i]);
    all.insert(all.end(), gaps.begin(), gaps.end());
    largest.push_back(Largest(gaps));
  }
  if (!all.empty()) {
    std::printf("stall_largest_ms %.2f\n", Largest(all));
    std::printf("stall_median_of_run_largest_ms %.2f\n", Median(largest));
    std::printf("tick_gap_median_ms %.2f\n", Median(all));
  }
  std::error_code ec;
  fs::current_path(fs::temp_directory_path(), ec);
  fs::remove_all(home, ec);
  return rc;
}
