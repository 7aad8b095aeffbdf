#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>

#include "LineReader.h"
#include "Reply.h"
#include "ScriptedConnection.h"
#include "ScriptedServer.h"
#include "SiteScripts.h"
#include "Socket.h"

using namespace siteserver;

namespace {

constexpr auto kWait = std::chrono::seconds(5);

struct Client {
  TcpSocket socket;
  LineReader reader{[this](char* b, std::size_t n, bool wait) { return socket.Receive(b, n, wait); }};

  bool Connect(unsigned port) { return socket.Create() && socket.Connect("127.0.0.1", port); }
  std::string Reply() {
    std::string last;
    ReadReplyLines(
        reader, [](std::string_view) {}, last);
    return last;
  }
};

// A refused connection is the connection's test and the IPv6 one.
TEST(TcpSocket, BadAddressesAreBadAddresses) {
  TcpSocket s;
  for (const auto& [host, port] : {std::pair{"no-such-host.invalid", 21u}, {"", 21u}, {"127.0.0.1", 70000u}}) {
    ASSERT_TRUE(s.Create());
    EXPECT_FALSE(s.Connect(host, port));
    EXPECT_EQ(s.LastConnectError().kind, ConnectError::Kind::BadAddress) << host << ":" << port;
  }
}

TEST(TcpSocket, SendToAClosedPeerFailsWithoutSignal) {
  auto server = Serve({{Close()}});
  Client c;
  ASSERT_TRUE(c.Connect(server->Port()));
  ASSERT_TRUE(server->WaitDone(0, kWait));
  bool sent = true;
  for (int i = 0; i < 100 && sent; ++i) sent = c.socket.Send(std::string(4096, 'x'));
  EXPECT_FALSE(sent);
  EXPECT_TRUE(c.socket.LastErrno() == ECONNRESET || c.socket.LastErrno() == EPIPE) << c.socket.LastErrno();
}

// A hook that gives the wait up is the connection's test (a server that never
// greets) and the TLS layer's (a silent handshake).
TEST(TcpSocket, WaitHookRunsWhileAWaitLasts) {
  auto server = Serve({{Pause(200), Send("220 Late\r\n"), Hold()}});
  int calls = 0;
  HookGuard guard([&calls] { return ++calls > 0; });
  Client c;
  ASSERT_TRUE(c.Connect(server->Port()));
  EXPECT_EQ(c.Reply(), "220 Late");
  EXPECT_GE(calls, 2);
  EXPECT_LE(calls, 50) << "the wait sleeps in slices, it does not spin";
}

}  // namespace
