// What a tab costs: the real window offscreen with one tab logged in to the
// demo site, then N (each site process serves 16 clients, so every 16 tabs
// get one of their own), all idle. Prints the resident memory with one tab
// and with N, and the increment per tab above one (target <= 2 MB).
//
//   bench_tabs [--tabs 20]
#include <signal.h>
#include <sys/wait.h>

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "MainWindow.h"
#include "MessageBox.h"
#include "SiteCmdDlg.h"

namespace {

bool RunUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

}  // namespace

int main(int argc, char** argv) {
  int count = 20;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--tabs") count = std::atoi(argv[i + 1]);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  bench::SiteProcesses sites;
  if (!sites.Start(count)) return 1;
  const bench::PrivateHome home("korvastel-bench-tabs");
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  platform::SetMessageBoxPresenter([](const platform::MessageBoxCall&) { return platform::kAnswerOk; });
  MainWindow window;
  const auto open = [&](int index) {
    CSiteCmdDlg& tab = window.NewTab();
    Site site;
    site.name = "site " + std::to_string(index);
    site.login = "admin";
    site.addresses = {{"127.0.0.1", sites.PortFor(index)}};
    tab.ConnectSite(site, "korvastel");
    return RunUntil([&] { return tab.IsConnected() && !tab.IsWorking(); }, 10000);
  };
  const auto settle = [] { RunUntil([] { return false; }, 500); };

  if (!open(0)) return std::fprintf(stderr, "could not log in\n"), 1;
  settle();
  bench::PrintMemory("1 tab");
  const long rss1 = bench::StatusKb("VmRSS"), anon1 = bench::StatusKb("RssAnon");
  for (int i = 1; i < count; ++i)
    if (!open(i)) return std::fprintf(stderr, "tab %d could not log in\n", i + 1), 1;
  settle();
  bench::PrintMemory((std::to_string(count) + " tabs").c_str());
  const long rssN = bench::StatusKb("VmRSS"), anonN = bench::StatusKb("RssAnon");
  std::printf("per_tab_rss_kB %.1f\n", static_cast<double>(rssN - rss1) / (count - 1));
  std::printf("per_tab_anon_kB %.1f\n", static_cast<double>(anonN - anon1) / (count - 1));

  window.close();
  RunUntil([&] { return window.TabCount() == 0; }, 5000);
  return 0;
}
