// Against a real FTP server: Debian's pyftpdlib, started on 127.0.0.1.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "LineReader.h"
#include "Reply.h"
#include "Socket.h"

namespace {

// The Debian interpreter first: a python3 earlier on PATH may lack the package.
std::string FindPython() {
  std::vector<std::string> candidates;
  if (const char* env = std::getenv("KORVASTEL_PYTHON")) candidates.push_back(env);
  candidates.insert(candidates.end(), {"/usr/bin/python3", "python3"});
  for (const std::string& py : candidates) {
    const std::string probe = "'" + py + "' -c 'import pyftpdlib' >/dev/null 2>&1";
    if (std::system(probe.c_str()) == 0) return py;
  }
  return {};
}

class PyFtpd {
 public:
  ~PyFtpd() { Stop(); }

  // The port, or 0 when the server did not come up.
  unsigned Start(const std::string& python, int idleSeconds) {
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return 0;
    const std::string idle = std::to_string(idleSeconds);
    m_pid = ::fork();
    if (m_pid == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::close(in[1]);
      ::close(out[0]);
      ::execlp(python.c_str(), python.c_str(), KORVASTEL_PYFTPD_SERVER, "--user", "tester", "--password", "t3st-only",
               "--idle-timeout", idle.c_str(), "--max-lifetime", "60", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    m_stdin = in[1];
    std::string text;
    pollfd p{out[0], POLLIN, 0};
    char c;
    while (text.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0 && ::read(out[0], &c, 1) == 1)
      text.push_back(c);
    ::close(out[0]);
    return static_cast<unsigned>(std::atoi(text.c_str()));
  }

  void Stop() {
    if (m_stdin >= 0) ::close(m_stdin);  // the server ends when its stdin closes
    m_stdin = -1;
    if (m_pid <= 0) return;
    for (int i = 0; i < 100 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (::waitpid(m_pid, nullptr, WNOHANG) == 0 && ::kill(m_pid, SIGKILL) == 0) ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

 private:
  pid_t m_pid = -1;
  int m_stdin = -1;
};

class PyFtpdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_python = FindPython();
    if (m_python.empty()) GTEST_SKIP() << "pyftpdlib is not installed (apt-get install python3-pyftpdlib)";
  }

  void Connect(int idleSeconds = 60) {
    const unsigned port = m_server.Start(m_python, idleSeconds);
    ASSERT_NE(port, 0u) << "pyftpdlib did not start";
    ASSERT_TRUE(m_socket.Create());
    ASSERT_TRUE(m_socket.Connect("127.0.0.1", port)) << m_socket.GetLastError();
    ASSERT_EQ(Exchange(""), ReplyStatus::Complete);
    EXPECT_EQ(m_last.substr(0, 4), "220 ");
  }

  ReplyStatus Exchange(const std::string& command) {
    m_lines.clear();
    if (!command.empty() && !m_socket.Send(command + "\r\n")) return ReplyStatus::Failed;
    return ReadReplyLines(
        m_reader, [this](const std::string& l) { m_lines.push_back(l); }, m_last);
  }

  void LogIn() {
    Exchange("USER tester");
    ASSERT_EQ(Exchange("PASS t3st-only"), ReplyStatus::Complete);
    ASSERT_NE(m_last.find("230 "), std::string::npos) << m_last;
  }

  std::string m_python;
  PyFtpd m_server;
  CSocket m_socket;
  LineReader m_reader{[this](char* b, std::size_t n) { return m_socket.Receive(b, n); }};
  std::vector<std::string> m_lines;
  std::string m_last;
};

TEST_F(PyFtpdTest, LoginSiteHelpIsOneReplyAndUnknownSiteIsRefused) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_EQ(Exchange("USER tester"), ReplyStatus::Complete);
  EXPECT_EQ(m_last.substr(0, 4), "331 ");
  ASSERT_EQ(Exchange("PASS wrong"), ReplyStatus::Complete);
  EXPECT_EQ(m_last.substr(0, 4), "530 ");
  ASSERT_NO_FATAL_FAILURE(LogIn());
  ASSERT_EQ(Exchange("SITE HELP"), ReplyStatus::Complete);
  ASSERT_GE(m_lines.size(), 3u);
  EXPECT_EQ(m_lines.front().substr(0, 4), "214-");
  EXPECT_EQ(m_lines[1][0], ' ') << "the command list is indented";
  EXPECT_EQ(m_last.substr(0, 4), "214 ");

  ASSERT_EQ(Exchange("SITE FROBNICATE"), ReplyStatus::Complete);
  EXPECT_EQ(m_last[0], '5') << m_last;
}

TEST_F(PyFtpdTest, IdleTimeoutEndsTheConnection) {
  ASSERT_NO_FATAL_FAILURE(Connect(1));
  ASSERT_NO_FATAL_FAILURE(LogIn());
  ASSERT_EQ(Exchange(""), ReplyStatus::Complete);  // nothing sent: just wait for the server
  EXPECT_EQ(m_last.substr(0, 4), "421 ") << m_last;
  EXPECT_EQ(Exchange(""), ReplyStatus::Closed);
}

}  // namespace
