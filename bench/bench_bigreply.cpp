// Korvastel's side of bench/compare-bigreply: the real dialog, offscreen,
// logs in to a running site server, and each run times one click on "USERS"
// until the reply's last line is shown (the view settled on it and painted).
// Prints one line per run, then the median and the process's peak memory.
//
//   bench_bigreply --port N --lines N [--runs 3] [--user admin] [--pass korvastel]
#include <sys/resource.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "MessageBox.h"
#include "SettleDialog.h"
#include "SiteCmdDlg.h"
#include "res/resource.h"

namespace {

double PeakRssMb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  long lines = 0;
  int runs = 3;
  std::string user = "admin";
  std::string pass = "korvastel";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i];
    if (k == "--port") port = std::atoi(argv[i + 1]);
    if (k == "--lines") lines = std::atol(argv[i + 1]);
    if (k == "--runs") runs = std::atoi(argv[i + 1]);
    if (k == "--user") user = argv[i + 1];
    if (k == "--pass") pass = argv[i + 1];
  }
  if (port <= 0 || lines <= 0) {
    std::fprintf(stderr, "usage: bench_bigreply --port N --lines N [--runs 3] [--user U] [--pass P]\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path home = fs::temp_directory_path() / ("korvastel-bigreply-" + std::to_string(::getpid()));
  fs::create_directories(home);
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  fs::current_path(home);
  QApplication app(argc, argv);
  platform::SetMessageBoxPresenter([](const platform::MessageBoxCall& c) {
    if (c.caption != "Error reading command list file.") std::fprintf(stderr, "box: %s\n", c.text.c_str());
    return IDOK;
  });

  std::vector<double> seconds;
  int rc = 0;
  for (int run = 0; run < runs; ++run) {
    auto dlg = std::make_unique<CSiteCmdDlg>();
    dlg->Start();
    QApplication::processEvents();
    dlg->m_host = "127.0.0.1";
    dlg->m_port = static_cast<UINT>(port);
    dlg->m_login = user;
    dlg->m_password = pass;
    dlg->WriteFields();
    dlg->OnConnect();
    SettleDialog(*dlg);
    if (!dlg->IsConnected()) {
      std::fprintf(stderr, "could not log in\n");
      rc = 1;
      break;
    }
    auto* users = reinterpret_cast<QAbstractButton*>(dlg->GetDlgItem(IDC_SITE_FIRST + 12)->GetSafeHwnd());
    auto* pane = reinterpret_cast<QAbstractScrollArea*>(dlg->m_transcript.GetSafeHwnd());
    const int before = dlg->m_transcript.GetLineCount();

    const auto t0 = std::chrono::steady_clock::now();
    users->click();
    SettleDialog(*dlg);                                         // the reply arrives through the event loop
    const int first = dlg->m_transcript.GetFirstVisibleLine();  // the view settles on the new lines
    pane->viewport()->repaint();                                // and is painted
    const auto t1 = std::chrono::steady_clock::now();

    const int count = dlg->m_transcript.GetLineCount();
    const int lastTextLine = count - 2;  // the line before the empty one behind the last line end
    if (count - before < lines || first + dlg->m_transcript.GetVisibleLineCount() <= lastTextLine) {
      std::fprintf(stderr, "reply not shown whole: %d new lines, view from line %d of %d\n", count - before, first,
                   count);
      rc = 1;
      break;
    }
    const double s = std::chrono::duration<double>(t1 - t0).count();
    seconds.push_back(s);
    std::printf("run %d: %.3f s\n", run + 1, s);
  }
  if (!seconds.empty()) {
    std::sort(seconds.begin(), seconds.end());
    std::printf("korvastel_median_s %.3f\n", seconds[seconds.size() / 2]);
    std::printf("korvastel_peak_rss_MB %.1f\n", PeakRssMb());
  }
  std::error_code ec;
  fs::current_path(fs::temp_directory_path(), ec);
  fs::remove_all(home, ec);
  return rc;
}
