// The TLS layer against a real server that requires TLS (pyftpdlib with its
// TLS handler), a peer that renegotiates, and openssl s_server for the cipher
// policy; certificates made at test time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "ControlConnection.h"
#include "Socket.h"
#include "TestPeers.h"
#include "TlsSession.h"
#include "TranscriptRecorder.h"

namespace {

class TlsPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    if (!m_certs.Make(error)) GTEST_SKIP() << error;
    m_certs.TrustCa();
  }
  void TearDown() override { peers::Certificates::ForgetCa(); }

  // Greeting, AUTH TLS, handshake; the login then goes through TLS.
  void SecureLogin(Session& s, const std::string& host, unsigned port) {
    ASSERT_TRUE(s.AskForTls(host, port)) << (s.lines.empty() ? "no reply" : s.lines.back());
    ASSERT_EQ(s.Secure(host), TlsTransport::Handshake::Done) << s.tls_->ErrorText();
    const TlsInfo& info = s.tls_->Info();
    EXPECT_TRUE(info.protocol == "TLSv1.2" || info.protocol == "TLSv1.3") << info.protocol;
    EXPECT_FALSE(info.cipher.empty());
    EXPECT_EQ(s.Exchange("USER tester").substr(0, 4), "331 ");
    EXPECT_EQ(s.Exchange("PASS t3st-only").substr(0, 4), "230 ");
  }

  peers::Certificates m_certs;
};

TEST_F(TlsPeers, PyFtpdCertificatesAreJudgedAndTheLoginGoesThroughTls) {
  const std::string python = peers::FindPython({"pyftpdlib", "OpenSSL"});
  if (python.empty())
    GTEST_SKIP() << "pyftpdlib with TLS is missing (apt-get install python3-pyftpdlib python3-openssl)";
  struct Case {
    std::filesystem::path cert, key;
    std::string host;
    bool trusted;
    std::string reason;
  };
  const Case cases[] = {
      {m_certs.caSignedCert, m_certs.caSignedKey, "127.0.0.1", true, ""},
      {m_certs.caSignedCert, m_certs.caSignedKey, "localhost", true, ""},
      {m_certs.selfSignedCert, m_certs.selfSignedKey, "127.0.0.1", false, "self-signed certificate"},
      {m_certs.otherNameCert, m_certs.otherNameKey, "127.0.0.1", false, "IP address mismatch"},
      {m_certs.otherNameCert, m_certs.otherNameKey, "localhost", false, "hostname mismatch"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cert.filename().string() + " as " + c.host);
    peers::PyFtpd server;
    const unsigned port = server.Start(python, 60, c.cert, c.key);
    ASSERT_NE(port, 0u) << "pyftpdlib did not start";
    Session s;
    ASSERT_NO_FATAL_FAILURE(SecureLogin(s, c.host, port));
    const TlsInfo& info = s.tls_->Info();
    EXPECT_EQ(info.trusted, c.trusted) << info.reason;
    if (c.trusted) {
      EXPECT_EQ(info.reason, "");
    } else {
      EXPECT_NE(info.reason.find(c.reason), std::string::npos) << info.reason;
    }
    EXPECT_EQ(info.fingerprint, peers::OpensslFingerprint(c.cert));
    EXPECT_NE(info.subject.find(c.cert == m_certs.selfSignedCert ? "CN=korvastel-self-signed" : "CN="),
              std::string::npos)
        << info.subject;
    if (c.cert != m_certs.selfSignedCert) {
      EXPECT_EQ(info.issuer, "CN=Korvastel Test CA");
    }
    EXPECT_EQ(info.validFrom.size(), 23u) << info.validFrom;  // "2026-12-07 01:00:00 UTC"
    EXPECT_LT(info.validFrom, info.validUntil);
  }
}

// Renegotiation is off: the request is refused, so no command ever travels
// under a certificate nobody judged. The server may take the refusal
// (OpenSSL's ends the connection); either way the client says what happened.
TEST_F(TlsPeers, ARenegotiationAfterTheLoginNeverPassesAnUncheckedCertificate) {
  const std::string python = peers::FindPython({"OpenSSL"});
  if (python.empty()) GTEST_SKIP() << "python3-openssl is missing (apt-get install python3-openssl)";
  for (const bool swap : {false, true}) {
    SCOPED_TRACE(swap ? "offering a self-signed certificate in the new handshake" : "the same certificate");
    peers::RenegotiatingPeer server;
    const unsigned port = server.Start(python, m_certs.caSignedCert, m_certs.caSignedKey,
                                       swap ? m_certs.selfSignedCert : std::filesystem::path(),
                                       swap ? m_certs.selfSignedKey : std::filesystem::path());
    ASSERT_NE(port, 0u) << "the renegotiating peer did not start";
    TranscriptRecorder transcript;
    ControlConnection connection(transcript, &platform::ConnectTcp);
    int judged = 0;
    TlsOptions tls{&platform::StartTls, [&judged](const std::string&, unsigned, const TlsInfo& info) {
                     ++judged;
                     return info.trusted;
                   }};
    ConnectError error;
    ASSERT_EQ(connection.Open("127.0.0.1", port, "tester", "t3st-only", error, &tls),
              ControlConnection::Login::LoggedIn)
        << transcript.Text();
    // The request arrives while idle; the idle check reads it without waiting.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    connection.CheckLine();
    for (int i = 0; i < 3 && connection.IsConnected(); ++i) {
      transcript.Clear();
      const ControlConnection::Result result = connection.Exchange("NOOP");
      if (result == ControlConnection::Result::Done && connection.IsConnected()) {
        EXPECT_EQ(transcript.Of(TranscriptKind::Reply), "200 ok\n");
      } else {
        // Ended as a drop that says why, not as a write that could not
        // wait for the server's part.
        EXPECT_FALSE(connection.IsConnected());
        EXPECT_NE(transcript.Of(TranscriptKind::Hint), "") << transcript.Text();
        EXPECT_NE(transcript.Of(TranscriptKind::Hint), "TLS write failed\n");
        EXPECT_EQ(transcript.Of(TranscriptKind::Disconnect), "\n>Disconnected.\n");
      }
    }
    if (!connection.IsConnected()) {
      // Nothing of it made the connection look alive.
      EXPECT_EQ(connection.Exchange("NOOP"), ControlConnection::Result::NotConnected);
    }
    if (connection.IsConnected()) connection.Close();
    const std::string report = server.Report();
    EXPECT_EQ(report.find("after renegotiation"), std::string::npos) << report;
    EXPECT_EQ(judged, 1);
  }
}

// TLS 1.2 offers only ECDHE key exchange with AEAD ciphers: a server that
// knows only static RSA with CBC-SHA1 gets no connection.
TEST_F(TlsPeers, Tls12NeedsForwardSecrecyAndAnAeadCipher) {
  struct Case {
    const char* options;
    bool secured;
  };
  for (const Case& c :
       {Case{"-tls1_2 -cipher AES128-SHA", false}, Case{"-tls1_2 -cipher ECDHE-RSA-AES128-GCM-SHA256", true},
        Case{"-tls1_2 -cipher ECDHE-RSA-AES128-SHA256:AES256-GCM-SHA384", false}}) {
    SCOPED_TRACE(c.options);
    peers::OpensslServer server;
    const unsigned port = server.Start(m_certs.rsaCert, m_certs.rsaKey, c.options);
    ASSERT_NE(port, 0u) << "openssl s_server did not start";
    ConnectError connectError;
    std::unique_ptr<Transport> transport = platform::ConnectTcp("127.0.0.1", port, connectError);
    ASSERT_TRUE(transport) << connectError.text;
    TlsInfo info;
    std::string error;
    const TlsStart started = platform::StartTls(transport, "127.0.0.1", info, error);
    if (c.secured) {
      EXPECT_EQ(started, TlsStart::Secured) << error;
      EXPECT_EQ(info.protocol, "TLSv1.2");
      EXPECT_EQ(info.cipher, "ECDHE-RSA-AES128-GCM-SHA256");
    } else {
      EXPECT_EQ(started, TlsStart::Failed);  // the connection's TlsFailed
      EXPECT_NE(error.find("TLS handshake failed"), std::string::npos) << error;
    }
  }
}

}  // namespace
