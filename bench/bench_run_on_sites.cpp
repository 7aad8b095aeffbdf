// Run on Sites at scale: SITE WHO on N saved sites (N scripted servers, each
// answering 200 ms after the command) from the real window's Run on Sites,
// every site connecting and logging in first, beside the same run on one
// site. Prints both times from the Run click to the last row done, their
// ratio (target <= 2), the memory the run's sessions took above the idle
// window, and the longest the window's event loop went without turning
// meanwhile (target <= 50 ms).
//
// With --silent K, one more run adds K sites that never greet: the others'
// rows end all the same, and the window then closes at once.
//
//   bench_run_on_sites [--sites 20] [--silent 25]
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchProcess.h"
#include "MainWindow.h"
#include "MessageBox.h"
#include "RunOnSites.h"
#include "ScriptedServer.h"

namespace {

using namespace siteserver;

template <class T>
T* Named(QWidget* parent, const char* name) {
  for (T* w : parent->findChildren<T*>())
    if (w->accessibleName() == QLatin1String(name)) return w;
  return nullptr;
}

struct Timing {
  double ms = 0;
  double longestGapMs = 0;
  bool allDone = false;
  double closeMs = 0;
  double aboveIdleMb = 0;
};

// One run on the first `count` sites of the list, none connected yet, their
// passwords typed in this run of the program. The first `answering` sites
// answer; the others never greet, and the window closes with them still
// connecting.
Timing RunOn(int count, const std::vector<Site>& sites, int answering = -1) {
  if (answering < 0) answering = count;
  MainWindow window;
  window.NewTab();
  for (int i = 0; i < count; ++i) window.Passwords().Set(sites[static_cast<std::size_t>(i)].name, "p");
  window.OpenRunOnSites();
  RunOnSitesDlg& dialog = *window.RunOnSites();
  for (int i = 0; i < count; ++i)
    Named<QCheckBox>(&dialog, sites[static_cast<std::size_t>(i)].name.c_str())->setChecked(true);
  Named<QLineEdit>(&dialog, "Command")->setText(QStringLiteral("WHO"));
  {  // the window's own start-up is over before the run
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500) QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  const long idleKb = bench::StatusKb("VmRSS");

  // The loop's turns, seen by a timer due every millisecond.
  QElapsedTimer sinceTurn;
  double longest = 0;
  QTimer ticker;
  ticker.setInterval(1);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    longest = std::max(longest, static_cast<double>(sinceTurn.nsecsElapsed()) / 1e6);
    sinceTurn.restart();
  });

  Timing timing;
  QElapsedTimer clock;
  clock.start();
  sinceTurn.start();
  ticker.start();
  dialog.Run();
  const auto done = [&] {
    const auto& rows = dialog.Results().Rows();
    return static_cast<int>(rows.size()) == count &&
           std::all_of(rows.begin(), rows.begin() + answering, [](const SiteRunRow& r) { return r.Ended(); });
  };
  while (!done() && clock.elapsed() < 20000) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  timing.ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  ticker.stop();
  timing.longestGapMs = longest;
  timing.allDone = done();
  timing.aboveIdleMb = static_cast<double>(bench::StatusKb("VmRSS") - idleKb) / 1024.0;
  if (window.TabCount() != 1) {
    std::fprintf(stderr, "the run opened %d tabs\n", window.TabCount() - 1);
    timing.allDone = false;
  }
  const auto& rows = dialog.Results().Rows();
  for (std::size_t i = 0; i < rows.size(); ++i)
    if ((rows[i].state == SiteRunState::Done) != (static_cast<int>(i) < answering)) {
      std::fprintf(stderr, "%s: %s %s\n", rows[i].site.c_str(), SiteRunStateText(rows[i].state), rows[i].reply.c_str());
      timing.allDone = false;
    }
  // Closing the window drops every connection at once, those still waiting for a greeting too.
  QElapsedTimer closing;
  closing.start();
  window.close();
  while (window.TabCount() > 0 && closing.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 10);
  timing.closeMs = static_cast<double>(closing.nsecsElapsed()) / 1e6;
  if (window.TabCount() > 0) timing.allDone = false;
  return timing;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 20, silent = 0;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--sites") count = std::max(1, std::atoi(argv[i + 1]));
    if (std::string(argv[i]) == "--silent") silent = std::max(0, std::atoi(argv[i + 1]));
  }
  const bench::PrivateHome home("korvastel-bench-run");
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  platform::SetMessageBoxPresenter([](const platform::MessageBoxCall&) { return platform::kAnswerOk; });

  // Each server serves the single run and then the N-site runs.
  const Script script{Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Send("230 in\r\n"),
                      ExpectLine(), Pause(200),
                      Send("200-Up  User      Group   Action\r\n200-  1 siteop    admins  IDLE\r\n200 done\r\n"),
                      Hold()};
  std::vector<std::unique_ptr<ScriptedServer>> servers;
  SiteList list;
  std::vector<Site> sites;
  for (int i = 0; i < count; ++i) {
    servers.push_back(std::make_unique<ScriptedServer>(std::vector<Script>{script, script, script, script}));
    if (!servers.back()->Start()) return std::fprintf(stderr, "server %d: %s\n", i, servers.back()->Error().c_str()), 1;
    Site site;
    site.name = "site " + std::to_string(i + 1);
    site.login = "u";
    site.addresses = {{"127.0.0.1", servers.back()->Port()}};
    std::string error;
    list.Put("", site, error);
    sites.push_back(site);
  }
  for (int i = 0; i < silent; ++i) {  // they take the connection and never say a word
    servers.push_back(std::make_unique<ScriptedServer>(std::vector<Script>{{Hold()}}));
    if (!servers.back()->Start()) return std::fprintf(stderr, "silent server: %s\n", servers.back()->Error().c_str()), 1;
    Site site;
    site.name = "silent " + std::to_string(i + 1);
    site.login = "u";
    site.addresses = {{"127.0.0.1", servers.back()->Port()}};
    std::string error;
    list.Put("", site, error);
    sites.push_back(site);
  }
  std::string error;
  std::filesystem::create_directories(std::filesystem::path(SiteList::DefaultPath()).parent_path());
  if (!list.Write(SiteList::DefaultPath(), error)) return std::fprintf(stderr, "%s\n", error.c_str()), 1;

  const Timing one = RunOn(1, sites);
  const Timing all = RunOn(count, sites);
  const Timing mixed = silent > 0 ? RunOn(count + silent, sites, count) : Timing{0, 0, true, 0, 0};
  const auto show = [&](const char* what, const Timing& t) {
    std::printf("%-32s %7.1f ms, ratio %.2f, %5.1f MB above idle, longest loop gap %5.1f ms, window closed in %.1f ms%s\n",
                what, t.ms, t.ms / one.ms, t.aboveIdleMb, t.longestGapMs, t.closeMs,
                t.allDone ? "" : " (NOT as expected)");
  };
  show("one site", one);
  show((std::to_string(count) + " sites").c_str(), all);
  if (silent > 0)
    show((std::to_string(count) + " sites + " + std::to_string(silent) + " that never greet").c_str(), mixed);
  std::printf("targets: ratio <= 2, longest gap <= 50 ms\n");
  return one.allDone && all.allDone && mixed.allDone ? 0 : 1;
}
