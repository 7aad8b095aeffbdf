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

#include "ControlConnection.h"
#include "Socket.h"
#include "TranscriptRecorder.h"

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

  ControlConnection::Login Open(const std::string& password, int idleSeconds = 60) {
    if (m_port == 0) m_port = m_server.Start(m_python, idleSeconds);
    EXPECT_NE(m_port, 0u) << "pyftpdlib did not start";
    int error = 0;
    return m_connection.Open("127.0.0.1", m_port, "tester", password, error);
  }

  std::string m_python;
  PyFtpd m_server;
  unsigned m_port = 0;
  TranscriptRecorder m_transcript;
  ControlConnection m_connection{m_transcript, &platform::ConnectTcp};
};

TEST_F(PyFtpdTest, LoginSiteHelpIsOneReplyAndUnknownSiteIsRefused) {
  EXPECT_EQ(Open("wrong"), ControlConnection::Login::Refused);
  EXPECT_NE(m_transcript.Text().find(">USER tester\n331 "), std::string::npos) << m_transcript.Text();
  EXPECT_NE(m_transcript.Text().find(">PASS **********\n530 "), std::string::npos) << m_transcript.Text();
  EXPECT_FALSE(m_connection.IsConnected());

  m_transcript.Clear();
  ASSERT_EQ(Open("t3st-only"), ControlConnection::Login::LoggedIn) << m_transcript.Text();
  EXPECT_EQ(m_transcript.Text().find("t3st-only"), std::string::npos);
  m_transcript.Clear();
  ASSERT_EQ(m_connection.Exchange("SITE HELP"), ControlConnection::Result::Done);
  const std::string help = m_transcript.Of(TranscriptKind::Reply);
  EXPECT_EQ(help.substr(0, 4), "214-");
  EXPECT_NE(help.find("\n "), std::string::npos) << "the command list is indented";
  EXPECT_NE(help.find("\n214 "), std::string::npos);
  EXPECT_EQ(m_transcript.Of(TranscriptKind::Notice), "") << "the whole reply belongs to the command";

  m_transcript.Clear();
  ASSERT_EQ(m_connection.Exchange("SITE FROBNICATE"), ControlConnection::Result::Done);
  EXPECT_EQ(m_transcript.Of(TranscriptKind::Reply)[0], '5') << m_transcript.Text();
  EXPECT_TRUE(m_connection.IsConnected());
}

TEST_F(PyFtpdTest, IdleTimeoutIsSeenWithoutACommand) {
  ASSERT_EQ(Open("t3st-only", 1), ControlConnection::Login::LoggedIn);
  m_transcript.Clear();
  // What the idle watch does when the line has something to read.
  for (int i = 0; i < 300 && m_connection.IsConnected(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    m_connection.CheckLine();
  }
  EXPECT_FALSE(m_connection.IsConnected());
  EXPECT_EQ(m_transcript.Of(TranscriptKind::Notice).substr(0, 4), "421 ") << m_transcript.Text();
  EXPECT_EQ(m_transcript.Of(TranscriptKind::Disconnect), "\n>Disconnected.\n");
}

}  // namespace
