// Start-up time: from the start of a fresh process to the end of the first
// tick of the start-up timer, offscreen, with an empty history and no command
// list. The parent starts the program's window in a child process 10 times
// and prints the median (target <= 300 ms); with --sites N it does the same
// with a saved site list of N sites, the runs interleaved, and prints the
// ratio (target <= 1.5).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <QEventLoop>
#include <QTimer>

#include "MainWindow.h"
#include "MessageBox.h"
#include "SiteList.h"

namespace {

// The real window, which tells the parent when its first start-up tick has
// run: the tick names the window first, and is over by the next turn of the loop.
int Child(int argc, char** argv, int fd) {
  QApplication app(argc, argv);
  platform::SetMessageBoxPresenter([](const platform::MessageBoxCall&) { return platform::kAnswerOk; });
  MainWindow window;
  QObject::connect(&window, &QWidget::windowTitleChanged, [fd](const QString& title) {
    if (!title.startsWith(QLatin1String("-= Korvastel"))) return;
    QTimer::singleShot(0, [fd] {
      const char done = 1;
      if (::write(fd, &done, 1) != 1) std::_Exit(3);
      std::_Exit(0);
    });
  });
  window.NewTab();
  QEventLoop().exec();
  return 2;
}

void WriteSiteList(const std::filesystem::path& config, int count) {
  SiteList list;
  std::string error;
  for (int i = 0; i < count; ++i) {
    Site site;
    site.name = "site " + std::to_string(i);
    site.login = "admin";
    site.addresses = {{"bnc" + std::to_string(i) + ".example.org", 21000u + static_cast<unsigned>(i % 500)},
                      {"10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250), 21}};
    site.encryption = Encryption::Explicit;
    list.Put("", site, error);
  }
  std::filesystem::create_directories(config / "Dunvarrow");
  if (!list.Write((config / "Dunvarrow" / "korvastel-sites.conf").string(), error))
    std::fprintf(stderr, "site list not written: %s\n", error.c_str());
}

double Median(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (argc > 2 && std::strcmp(argv[1], "--child") == 0) return Child(argc, argv, std::atoi(argv[2]));

  int sites = 0;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--sites") == 0) sites = std::atoi(argv[i + 1]);
  const fs::path root = fs::temp_directory_path() / ("korvastel-startup-" + std::to_string(::getpid()));
  const fs::path plain = root / "none", listed = root / "sites";
  fs::create_directories(plain);
  fs::create_directories(listed);
  if (sites > 0) WriteSiteList(listed, sites);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string self = fs::canonical("/proc/self/exe").string();

  std::vector<double> ms, msSites;
  for (int run = 0; run < 11 * (sites > 0 ? 2 : 1); ++run) {
    const bool withSites = sites > 0 && run % 2 == 1;
    const fs::path& home = withSites ? listed : plain;
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    int fds[2];
    if (::pipe(fds) != 0) return 1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(fds[0]);
      if (::chdir(home.c_str()) != 0) std::_Exit(4);
      const std::string fd = std::to_string(fds[1]);
      ::execl(self.c_str(), self.c_str(), "--child", fd.c_str(), static_cast<char*>(nullptr));
      std::_Exit(5);
    }
    ::close(fds[1]);
    char done = 0;
    const bool ok = ::read(fds[0], &done, 1) == 1;
    const auto end = std::chrono::steady_clock::now();
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!ok) {
      std::fprintf(stderr, "run %d: the child ended before its start-up tick\n", run);
      return 1;
    }
    const double took = std::chrono::duration<double, std::milli>(end - start).count();
    if (run >= (sites > 0 ? 2 : 1)) (withSites ? msSites : ms).push_back(took);  // the first runs warm caches
  }
  std::sort(ms.begin(), ms.end());
  std::printf("start-up to end of first timer-1 tick: median %.1f ms, min %.1f ms, max %.1f ms over %zu runs\n",
              Median(ms), ms.front(), ms.back(), ms.size());
  if (sites > 0)
    std::printf("with %d saved sites: median %.1f ms over %zu runs; ratio %.2f\n", sites, Median(msSites),
                msSites.size(), Median(msSites) / Median(ms));
  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
