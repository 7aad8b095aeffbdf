// Against a real FTP server: Debian's pyftpdlib, started on 127.0.0.1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LineReader.h"
#include "Reply.h"
#include "Socket.h"
#include "TestPeers.h"

namespace {

class PyFtpdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_python = peers::FindPython({"pyftpdlib"});
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
  peers::PyFtpd m_server;
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
