#include <gtest/gtest.h>

#include <chrono>

#include "ScriptedConnection.h"
#include "ScriptedServer.h"
#include "SiteScripts.h"
#include "Socket.h"
#include "TlsSession.h"

using namespace siteserver;

namespace {

constexpr auto kWait = std::chrono::seconds(5);

// A refused connection (10061) is the connection's test and the IPv6 one.
TEST(CSocket, BadAddressesGiveSocketsCodes) {
  CSocket s;
  for (const auto& [host, port] : {std::pair{"no-such-host.invalid", 21u}, {"", 21u}, {"127.0.0.1", 70000u}}) {
    ASSERT_TRUE(s.Create());
    EXPECT_FALSE(s.Connect(host, port));
    EXPECT_EQ(s.GetLastError(), 10022) << host << ":" << port;
  }
}

TEST(CSocket, SendToAClosedPeerFailsWithoutSignal) {
  auto server = Serve({{Close()}});
  CSocket socket;
  ASSERT_TRUE(socket.Create() && socket.Connect("127.0.0.1", server->Port()));
  ASSERT_TRUE(server->WaitDone(0, kWait));
  bool sent = true;
  for (int i = 0; i < 100 && sent; ++i) sent = socket.Send(std::string(4096, 'x'));
  EXPECT_FALSE(sent);
  EXPECT_TRUE(socket.GetLastError() == 10054 || socket.GetLastError() == 10058) << socket.GetLastError();
}

// A hook that gives the wait up is the connection's test (a server that never
// greets) and the TLS layer's (a silent handshake).
TEST(CSocket, WaitHookRunsWhileAWaitLasts) {
  auto server = Serve({{Pause(200), Send("220 Late\r\n"), Hold()}});
  int calls = 0;
  HookGuard guard([&calls] { return ++calls > 0; });
  Session s;  // a plain connection; the TLS tests' client
  ASSERT_TRUE(s.Connect("127.0.0.1", server->Port()));
  EXPECT_EQ(s.Reply(), "220 Late");
  EXPECT_GE(calls, 2);
  EXPECT_LE(calls, 50) << "the wait sleeps in slices, it does not spin";
}

}  // namespace
