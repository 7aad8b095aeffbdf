// The window's peak memory under a reply that never ends: the real dialog
// (offscreen unless QT_QPA_PLATFORM says otherwise) logs in to a server in a
// child process that answers any command with 60-byte "200-" lines and never
// a last one, clicks "USERS" and lets the lines come for a while, with
// maxMegabytes under [pane] in the throwaway home's korvastel.conf. Prints
// the peak (VmHWM), what arrived, what the pane holds, and its top line.
//
//   bench_flood [--seconds 10] [--megabytes 64]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "BenchProcess.h"
#include "MessageBox.h"
#include "SettleDialog.h"
#include "SiteCmdDlg.h"
#include "res/resource.h"

namespace {

// Greets, takes any USER and PASS, then answers the next command with lines
// until the client goes. Runs in the child; never returns.
[[noreturn]] void Flood(int listener) {
  const int fd = ::accept(listener, nullptr, nullptr);
  std::string block;
  for (int i = 0; i < 1000; ++i) {
    std::string line = "200-user" + std::to_string(i);
    line.resize(58, '.');
    block += line + "\r\n";
  }
  const auto say = [fd](const char* text) { return ::send(fd, text, std::strlen(text), MSG_NOSIGNAL) > 0; };
  say("220 flood\r\n");
  std::string got;
  int lines = 0;
  char buffer[512];
  while (lines < 3) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) ::_exit(0);
    for (ssize_t i = 0; i < n; ++i) {
      if (buffer[i] != '\n') continue;
      ++lines;
      if (lines == 1) say("331 password please\r\n");
      if (lines == 2) say("230 logged in\r\n");
    }
  }
  while (::send(fd, block.data(), block.size(), MSG_NOSIGNAL) > 0) {
  }
  ::_exit(0);
}

// The flooding server on a free port of 127.0.0.1, in a child process.
unsigned StartFlood(pid_t& child) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener, 1) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    return 0;
  child = ::fork();
  if (child == 0) Flood(listener);
  ::close(listener);
  return ntohs(addr.sin_port);
}

long Arg(int argc, char** argv, const char* name, long fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::strtol(argv[i + 1], nullptr, 10);
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const long seconds = Arg(argc, argv, "--seconds", 10);
  const long megabytes = Arg(argc, argv, "--megabytes", 64);
  pid_t child = -1;
  const unsigned port = StartFlood(child);  // before any thread starts
  if (port == 0) return std::fprintf(stderr, "the flooding server did not start\n"), 1;

  bench::PrivateHome home("korvastel-bench-flood");
  const std::filesystem::path config = std::filesystem::path(std::getenv("HOME")) / "Dunvarrow";
  std::filesystem::create_directories(config);
  std::ofstream(config / "korvastel.conf") << "[pane]\nmaxMegabytes=" << megabytes << "\n";
  std::filesystem::current_path(std::getenv("HOME"));  // no command list here: its box is answered below
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  platform::SetMessageBoxPresenter([](const platform::MessageBoxCall&) { return platform::kAnswerOk; });
  bench::PrintMemory("start");

  auto dlg = std::make_unique<CSiteCmdDlg>();
  dlg->Start();
  dlg->m_form.host = "127.0.0.1";
  dlg->m_form.port = port;
  dlg->m_form.login = "bench";
  dlg->m_form.password = "bench";
  dlg->WriteFields();
  dlg->OnConnect();
  SettleDialog(*dlg);
  auto* users = qobject_cast<QAbstractButton*>(dlg->Control(IDC_SITE_FIRST + 12));
  bench::PrintMemory("logged in");

  OutputLog& log = dlg->m_transcript;
  const int firstLine = log.GetLineCount();
  bool done = false;
  QTimer::singleShot(static_cast<int>(seconds * 1000), [&done] { done = true; });
  users->click();
  while (!done) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const long peakKb = bench::StatusKb("VmHWM");  // before the copy of the text below
  bench::PrintMemory("flooded");
  const int lines = log.GetLineCount() - firstLine;  // line numbers go on across drops
  std::printf("%ld s of the flood: %d lines (%.0f MB) arrived; the pane holds %.1f MB\n", seconds, lines,
              lines * 60.0 / (1 << 20), static_cast<double>(log.GetWindowTextLength()) / (1 << 20));
  const std::string text = log.GetText();
  std::printf("top line: %s", text.substr(0, text.find('\n') + 1).c_str());
  std::printf("peak (VmHWM) %.0f MB with maxMegabytes=%ld (bound %ld MB)\n", static_cast<double>(peakKb) / 1024.0,
              megabytes, megabytes + 150);
  dlg.reset();
  ::kill(child, SIGTERM);
  ::waitpid(child, nullptr, 0);
  return 0;
}
