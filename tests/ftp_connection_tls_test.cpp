// The control connection's explicit FTPS steps without a TLS library: a
// stand-in TLS start that leaves the line plain, so the scripted server can
// show on the wire what would have been sent; and the hint for servers that
// want encryption.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ControlConnection.h"
#include "ScriptedConnection.h"
#include "ScriptedServer.h"
#include "Socket.h"

using namespace siteserver;
using Login = ControlConnection::Login;
using Kind = TranscriptKind;

namespace {

const char kHint[] = "The server asks for an encrypted connection: tick TLS and connect again.\n";

struct Fixture : ScriptedConnection {
  explicit Fixture(std::vector<Script> scripts) : ScriptedConnection(std::move(scripts)) {
    tls.start = [this](std::unique_ptr<Transport>& transport, const std::string& host, TlsInfo& info,
                       std::string& error) {
      ++starts;
      EXPECT_TRUE(transport);
      EXPECT_EQ(host, "127.0.0.1");
      info.protocol = "TLSv1.3";
      info.cipher = "TEST_CIPHER";
      info.fingerprint = "AB:CD";
      error = "no shared cipher";
      return startResult;
    };
    tls.trust = [this](const std::string&, unsigned port, const TlsInfo& info) {
      EXPECT_EQ(port, server.Port());
      EXPECT_EQ(info.fingerprint, "AB:CD");
      return trusted;
    };
  }
  Login Open(bool withTls = true) {
    ConnectError error;
    return connection.Open("127.0.0.1", server.Port(), "u", "p", error, withTls ? &tls : nullptr);
  }

  TlsOptions tls;
  TlsStart startResult = TlsStart::Secured;
  bool trusted = true;
  int starts = 0;
};

Script Greeting(std::vector<Step> then) {
  Script s{Send("220 hi\r\n"), ExpectLine()};
  s.insert(s.end(), then.begin(), then.end());
  return s;
}

TEST(ControlConnectionTls, NothingOfTheLoginTravelsUnlessTlsCameAboutAndWasTrusted) {
  Fixture f({Greeting({Send("234 go\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Send("230 in\r\n")}),
             Greeting({Send("234 go\r\n"), Hold()}), Greeting({Send("234 go\r\n"), Hold()}),
             Greeting({Send("502 AUTH not here\r\n"), Hold()}),
             Greeting({Send("234 go\r\n230 you are in\r\n"), Hold()}),
             Greeting({Send("334 ADAT wanted\r\n"), Hold()}),
             Greeting({Send("502 " + std::string(5000, 'x') + "\r\n"), Hold()})});

  ASSERT_EQ(f.Open(), Login::LoggedIn);
  EXPECT_EQ(f.Wire(0), "AUTH TLS\r\nUSER u\r\nPASS p\r\n");
  EXPECT_EQ(f.transcript.Of(Kind::Login),
            "\n\n>connecting to 127.0.0.1\n>AUTH TLS\n>TLSv1.3 TEST_CIPHER, certificate SHA-256 AB:CD\n>USER u\n"
            ">PASS **********\n");
  f.connection.Close();

  struct Refusal {
    const char* what;
    Login expected;
    std::string failure;
  };
  f.trusted = false;  // the user says "No"
  f.startResult = TlsStart::Secured;
  const Refusal refusals[] = {
      {"certificate not trusted", Login::CertificateRefused, ""},
      {"handshake failed", Login::TlsFailed, "no shared cipher"},
      {"AUTH TLS refused", Login::TlsRefused, "502 AUTH not here"},
      {"plain text behind the 234", Login::TlsFailed, "The server sent more plain text after agreeing to TLS."},
      {"an answer other than 234", Login::TlsRefused, "334 ADAT wanted"},
      {"a refusal too long to quote whole", Login::TlsRefused, "502 " + std::string(996, 'x') + "..."},
  };
  for (std::size_t i = 0; i < std::size(refusals); ++i) {
    SCOPED_TRACE(refusals[i].what);
    if (i == 1) f.startResult = TlsStart::Failed;
    f.transcript.Clear();
    const int startsBefore = f.starts;
    EXPECT_EQ(f.Open(), refusals[i].expected);
    EXPECT_EQ(f.connection.FailureText(), refusals[i].failure);
    EXPECT_EQ(f.Wire(i + 1), "AUTH TLS\r\n") << "no USER, no PASS";
    EXPECT_FALSE(f.connection.IsConnected());
    EXPECT_EQ(f.transcript.Of(Kind::Disconnect), "\n>Disconnected.\n");
    EXPECT_EQ(f.starts - startsBefore, i < 2 ? 1 : 0) << "no handshake without a clean 234";
  }
}

TEST(ControlConnectionTls, RefusalsThatMentionEncryptionGetTheHintWithoutTls) {
  Fixture f(
      {{Send("421-Sorry, cleartext sessions are not accepted on this server.\r\n"
             "421 Please reconnect using TLS security mechanisms.\r\n"),
        Close()},
       Greeting({Send("530 USE SECURE CONNECTION\r\n"), Hold()}),
       Greeting({Send("331 Send your secure password\r\n"), ExpectLine(),
                 Send("530 Non-anonymous sessions must use encryption.\r\n"), Hold()}),
       Greeting({Send("331 pw\r\n"), ExpectLine(), Send("530 Login incorrect.\r\n"), Hold()}),
       Greeting({Send("234 go\r\n"), ExpectLine(), Send("550 SSL/TLS required on the control channel\r\n"), Hold()})});
  struct Case {
    bool tls;
    std::string replyBeforeHint;  // empty: no hint at all
  };
  const Case cases[] = {
      {false, "421 Please reconnect using TLS security mechanisms.\n"},
      {false, "530 USE SECURE CONNECTION\n"},
      {false, "530 Non-anonymous sessions must use encryption.\n"},  // not the 331 that said "secure"
      {false, ""},
      {true, ""},  // asked with TLS on: the hint would be wrong
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    f.transcript.Clear();
    EXPECT_EQ(f.Open(cases[i].tls), Login::Refused);
    const std::string text = f.transcript.Text();
    EXPECT_EQ(f.transcript.Of(Kind::Hint), cases[i].replyBeforeHint.empty() ? "" : kHint);
    if (!cases[i].replyBeforeHint.empty()) {
      EXPECT_EQ(text.substr(text.size() - cases[i].replyBeforeHint.size() - std::string(kHint).size()),
                cases[i].replyBeforeHint + kHint)
          << "the hint follows the reply";
    }
  }
}

}  // namespace

// TLS from the first byte: the handshake comes before the greeting and no
// AUTH TLS goes out; a certificate turned down sends nothing at all.
TEST(ControlConnectionTls, ImplicitTlsSecuresTheLineBeforeTheGreeting) {
  Fixture f({Greeting({Send("331 pw\r\n"), ExpectLine(), Send("230 in\r\n")}), {Send("220 hi\r\n"), Hold()},
             {Send("421 Too many\r\n"), Hold()}});
  f.tls.implicit = true;
  ASSERT_EQ(f.Open(), Login::LoggedIn);
  EXPECT_TRUE(f.connection.Greeted());
  EXPECT_EQ(f.Wire(0), "USER u\r\nPASS p\r\n");
  EXPECT_LT(f.transcript.Text().find(">TLSv1.3"), f.transcript.Text().find("220 hi"));
  f.connection.Close();

  f.trusted = false;
  EXPECT_EQ(f.Open(), Login::CertificateRefused);
  EXPECT_FALSE(f.connection.Greeted());
  EXPECT_EQ(f.Wire(1), "");
  f.trusted = true;
  EXPECT_EQ(f.Open(), Login::Refused);
  EXPECT_FALSE(f.connection.Greeted()) << "a greeting that turns us away leaves the next address to try";
}
