// Against a real FTP server: Debian's pyftpdlib, started on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "ControlConnection.h"
#include "Socket.h"
#include "TestPeers.h"
#include "TranscriptRecorder.h"

namespace {

class PyFtpdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_python = peers::FindPython({"pyftpdlib"});
    if (m_python.empty()) GTEST_SKIP() << "pyftpdlib is not installed (apt-get install python3-pyftpdlib)";
  }

  // A server's idle timeout is seen as the scripted one's: ftp_connection_test.
  ControlConnection::Login Open(const std::string& password) {
    if (m_port == 0) m_port = m_server.Start(m_python, 60);
    EXPECT_NE(m_port, 0u) << "pyftpdlib did not start";
    int error = 0;
    return m_connection.Open("127.0.0.1", m_port, "tester", password, error);
  }

  std::string m_python;
  peers::PyFtpd m_server;
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

}  // namespace
