// The TLS layer under the control connection: against the demo site and
// scripted misbehaviour.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <thread>
#include <vector>

#include "DemoSite.h"
#include "ScriptedConnection.h"
#include "ScriptedServer.h"
#include "SiteScripts.h"
#include "TlsSession.h"

namespace {

TEST(TlsTransport, SessionTicketsAreNoDataAndTheDemoCertificateIsItsOwn) {
  siteserver::DemoOptions options;
  options.port = 0;
  options.replyLines = 2000;  // several records
  siteserver::DemoServer server(options);
  std::string error;
  ASSERT_TRUE(server.Start(error)) << error;
  Session s;
  ASSERT_TRUE(s.AskForTls("127.0.0.1", server.Port())) << (s.lines.empty() ? "no reply" : s.lines.back());
  ASSERT_EQ(s.Secure("127.0.0.1"), TlsTransport::Handshake::Done) << s.tls_->ErrorText();
  EXPECT_FALSE(s.tls_->Info().trusted);
  EXPECT_EQ(s.tls_->Info().fingerprint, server.Fingerprint());
  siteserver::DemoServer again(options);
  ASSERT_TRUE(again.Start(error)) << error;
  EXPECT_EQ(again.Fingerprint(), server.Fingerprint()) << "trusted once, the demo stays trusted";

  // TLS 1.3 sends session tickets after the handshake: the socket turns
  // readable, yet there is no reply line to read.
  pollfd p{s.transport().Descriptor(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 5000), 1);
  char buf[64];
  EXPECT_EQ(s.transport().Receive(buf, sizeof buf, false), Transport::kNothingYet);
  EXPECT_EQ(s.Exchange("USER admin").substr(0, 4), "331 ");
  EXPECT_EQ(s.Exchange("PASS korvastel").substr(0, 4), "230 ");

  // Records read ahead wait inside TLS, where the descriptor's watch cannot
  // hear them: the transport says so until they are read.
  ASSERT_TRUE(s.transport().Send("SITE USERS\r\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::string reply(1, '\0');
  ASSERT_EQ(s.transport().Receive(reply.data(), 1), 1);
  EXPECT_TRUE(s.transport().HasPending());
  std::vector<char> rest(1024 * 1024);
  for (long n; (n = s.transport().Receive(rest.data(), rest.size(), false)) > 0;) reply.append(rest.data(), n);
  EXPECT_EQ(reply, siteserver::BulkUsersReply(options.replyLines));
  EXPECT_FALSE(s.transport().HasPending());
  EXPECT_EQ(s.Exchange("AUTH TLS").substr(0, 4), "503 ");
  // Servers hang up without a TLS close_notify: that is a close, not an error.
  EXPECT_EQ(s.Exchange("QUIT").substr(0, 4), "221 ");
  EXPECT_EQ(s.transport().Receive(buf, sizeof buf), Transport::kClosed) << s.transport().ErrorText();
}

TEST(TlsTransport, HandshakeFailuresAndASilentServer) {
  using namespace siteserver;
  // A server that answers the handshake in plain text, one that hangs up in
  // the middle of it, and one that never answers.
  auto server = Serve({{Send("220 hi\r\n"), ExpectLine(), Send("234 go\r\n"), Pause(200), Send("500 What?\r\n"), Hold()},
                       {Send("220 hi\r\n"), ExpectLine(), Send("234 go\r\n"), Pause(200), Close()},
                       {Send("220 hi\r\n"), ExpectLine(), Send("234 go\r\n"), Hold()}});
  for (const char* expected :
       {"TLS handshake failed: wrong version number", "TLS handshake failed: the server closed the connection"}) {
    Session s;
    ASSERT_TRUE(s.AskForTls("127.0.0.1", server->Port()));
    EXPECT_EQ(s.Secure("127.0.0.1"), TlsTransport::Handshake::Failed);
    EXPECT_EQ(s.tls_->ErrorText(), expected);
  }

  Session s;
  ASSERT_TRUE(s.AskForTls("127.0.0.1", server->Port()));
  int calls = 0;
  HookGuard guard([&calls] { return ++calls < 5; });
  EXPECT_EQ(s.Secure("127.0.0.1"), TlsTransport::Handshake::Abandoned);
  EXPECT_EQ(calls, 5);
}

}  // namespace
