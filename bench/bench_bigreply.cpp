// Korvastel's side of bench/compare-bigreply: the real dialog, offscreen,
// logs in to a running site server, and each run times one click on "USERS"
// until the reply's last line is shown (the view settled on it and painted).
// Prints one line per run, then the median, the process's peak memory and
// its memory just before the first click (the idle window). First it times
// the same reply read by a bare recv loop (login untimed; the reply is
// `lines` lines of 60 bytes), the floor any client stands on.
//
//   bench_bigreply --port N --lines N [--runs 3] [--user admin] [--pass korvastel]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
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

double RssMb() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  long pages = 0, resident = 0;
  if (f) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Reads until the last line received is a reply's last line ("NNN ...").
bool ReadReply(int fd) {
  std::string got;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return false;
    got.append(buf, static_cast<std::size_t>(n));
    if (got.size() < 2 || got.compare(got.size() - 2, 2, "\r\n") != 0) continue;
    const std::size_t start = got.rfind('\n', got.size() - 3);
    const std::string_view last = std::string_view(got).substr(start == std::string::npos ? 0 : start + 1);
    if (last.size() >= 4 && last[3] == ' ') return true;
  }
}

// The reply read by nothing but recv into one reused buffer, median of
// `runs`; -1 when the server cannot be reached.
double BareRecvSeconds(int port, long lines, int runs, const std::string& user, const std::string& pass) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  const auto send = [fd](const std::string& s) { return ::send(fd, s.data(), s.size(), MSG_NOSIGNAL) > 0; };
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || !ReadReply(fd) ||
      !send("USER " + user + "\r\n") || !ReadReply(fd) || !send("PASS " + pass + "\r\n") || !ReadReply(fd)) {
    ::close(fd);
    return -1;
  }
  const std::size_t bytes = static_cast<std::size_t>(lines) * 60;
  std::vector<char> buf(64 * 1024);
  std::vector<double> seconds;
  for (int run = 0; run < runs; ++run) {
    const auto t0 = std::chrono::steady_clock::now();
    send("SITE USERS\r\n");
    for (std::size_t total = 0; total < bytes;) {
      const ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
      if (n <= 0) {
        ::close(fd);
        return -1;
      }
      total += static_cast<std::size_t>(n);
    }
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  ::close(fd);
  return Median(seconds);
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
  const double bare = BareRecvSeconds(port, lines, runs, user, pass);
  if (bare < 0) {
    std::fprintf(stderr, "bare recv loop: no reply from port %d\n", port);
    return 1;
  }
  std::printf("bare_recv_median_s %.4f\n", bare);

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
    return platform::kAnswerOk;
  });

  std::vector<double> seconds;
  double idleMb = 0;
  int rc = 0;
  for (int run = 0; run < runs; ++run) {
    auto dlg = std::make_unique<CSiteCmdDlg>();
    dlg->Start();
    QApplication::processEvents();
    dlg->m_form.host = "127.0.0.1";
    dlg->m_form.port = static_cast<unsigned>(port);
    dlg->m_form.login = user;
    dlg->m_form.password = pass;
    dlg->WriteFields();
    dlg->OnConnect();
    SettleDialog(*dlg);
    if (!dlg->IsConnected()) {
      std::fprintf(stderr, "could not log in\n");
      rc = 1;
      break;
    }
    auto* users = qobject_cast<QAbstractButton*>(dlg->Control(IDC_SITE_FIRST + 12));
    auto* pane = dlg->m_transcript.ScrollArea();
    const int before = dlg->m_transcript.GetLineCount();
    if (run == 0) idleMb = RssMb();

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
    std::printf("korvastel_median_s %.3f\n", Median(seconds));
    std::printf("korvastel_peak_rss_MB %.1f\n", PeakRssMb());
    std::printf("korvastel_idle_rss_MB %.1f\n", idleMb);
  }
  std::error_code ec;
  fs::current_path(fs::temp_directory_path(), ec);
  fs::remove_all(home, ec);
  return rc;
}
