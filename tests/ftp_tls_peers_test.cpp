// The TLS layer against real servers that require TLS (pyftpdlib with its
// TLS handler, ProFTPD with mod_tls), with certificates made at test time.
#include <gtest/gtest.h>

#include <cstdlib>

#include "TestPeers.h"
#include "TlsSession.h"

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
    ASSERT_TRUE(s.Connect(host, port));
    ASSERT_EQ(s.Reply().substr(0, 4), "220 ");
    ASSERT_EQ(s.Exchange("AUTH TLS").substr(0, 4), "234 ");
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
    EXPECT_EQ(info.fingerprint.size(), 32u * 3 - 1);
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

TEST_F(TlsPeers, ProFtpdRefusesPlainLoginAndAcceptsOneThroughTls) {
  const std::string missing = peers::ProFtpd::Missing();
  if (!missing.empty()) GTEST_SKIP() << missing;
  peers::ProFtpd server;
  std::string error;
  const unsigned port = server.Start(m_certs.caSignedCert, m_certs.caSignedKey, error);
  ASSERT_NE(port, 0u) << error;

  Session plain;
  ASSERT_TRUE(plain.Connect("127.0.0.1", port));
  ASSERT_EQ(plain.Reply().substr(0, 4), "220 ");
  EXPECT_EQ(plain.Exchange("USER tester"), "550 SSL/TLS required on the control channel");

  Session s;
  ASSERT_NO_FATAL_FAILURE(SecureLogin(s, "127.0.0.1", port));
  EXPECT_TRUE(s.tls_->Info().trusted) << s.tls_->Info().reason;
  EXPECT_EQ(s.Exchange("NOOP").substr(0, 4), "200 ");
}

}  // namespace
