// The control connection without a window, against the scripted server: the
// transcript it reports and the bytes on the wire.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ConnectErrors.h"
#include "ControlConnection.h"
#include "ScriptedConnection.h"
#include "ScriptedServer.h"
#include "SiteScripts.h"
#include "Socket.h"
#include "TranscriptRecorder.h"

using namespace siteserver;
using Login = ControlConnection::Login;
using Result = ControlConnection::Result;
using Kind = TranscriptKind;

namespace {

constexpr auto kWait = std::chrono::seconds(10);
const char kLoginWire[] = "USER u\r\nPASS p\r\n";

struct Fixture : ScriptedConnection {
  using ScriptedConnection::ScriptedConnection;
  Login Open(const std::string& host = "127.0.0.1", const std::string& login = "u", const std::string& pw = "p") {
    return connection.Open(host, server.Port(), login, pw, error);
  }
  // The idle watch's part: look at the line until `done` or the time is up.
  template <class Done>
  bool WatchUntil(Done done) {
    const auto end = std::chrono::steady_clock::now() + kWait;
    while (!done() && std::chrono::steady_clock::now() < end) {
      connection.CheckLine();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
  }

  ConnectError error;
};

TEST(ControlConnection, LoginByTheReplyCodes) {
  Fixture f({
      {Send("220-Welcome\r\n220-  indented\r\n\r\n220 ready\r\n"), ExpectLine(),
       Send("331-Password\r\n    for u\r\n331 send it\r\n"), ExpectLine(), Send("230-Hello\r\n230 logged in\r\n")},
      {Send("120 wait a moment\r\n"), Pause(50), Send("220 now\r\n"), ExpectLine(), Send("230 no password needed\r\n")},
      {Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Send("230-almost\r\n530 no\r\n")},
      {Send("220 hi\r\n"), ExpectLine(), Send("530 no such user\r\n")},
      {Send("421 Too many connections\r\n"), Hold()},
      {Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Send("332 need account\r\n")},
  });
  ASSERT_EQ(f.Open(), Login::LoggedIn);
  EXPECT_TRUE(f.connection.IsConnected());
  EXPECT_EQ(f.transcript.Text(),
            "\n\n>connecting to 127.0.0.1\n220-Welcome\n220-  indented\n\n220 ready\n>USER u\n331-Password\n"
            "    for u\n331 send it\n>PASS **********\n230-Hello\n230 logged in\n");
  EXPECT_EQ(f.transcript.blocks, 3);  // greeting, USER, PASS
  EXPECT_EQ(f.Wire(0), kLoginWire);

  // Each attempt below starts afresh; the earlier connection is let go silently.
  const struct {
    Login result;
    std::string transcript, wire;
  } cases[] = {
      {Login::LoggedIn, "120 wait a moment\n220 now\n>USER u\n230 no password needed\n", "USER u\r\n"},
      // The last line of a reply decides, by its code.
      {Login::Refused, "220 hi\n>USER u\n331 pw\n>PASS **********\n230-almost\n530 no\n", kLoginWire},
      {Login::Refused, "220 hi\n>USER u\n530 no such user\n", "USER u\r\n"},
      {Login::Refused, "421 Too many connections\n", ""},
      {Login::Refused, "220 hi\n>USER u\n331 pw\n>PASS **********\n332 need account\n", kLoginWire},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    f.transcript.Clear();
    EXPECT_EQ(f.Open(), cases[i].result) << i;
    EXPECT_EQ(f.transcript.Text(), "\n\n>connecting to 127.0.0.1\n" + cases[i].transcript) << i;
    EXPECT_EQ(f.connection.IsConnected(), cases[i].result == Login::LoggedIn);
    EXPECT_EQ(f.Wire(i + 1), cases[i].wire) << i;
  }
  EXPECT_TRUE(f.server.WaitDone(5, kWait));
  EXPECT_TRUE(f.server.ClientClosed(5)) << "a refusal closes the connection";
}

TEST(ControlConnection, ConnectFailuresAndLineBreaksSendNothing) {
  TranscriptRecorder transcript;
  ControlConnection connection(transcript, &platform::ConnectTcp);
  ConnectError error;
  EXPECT_EQ(connection.Open("127.0.0.1", DeadPort(), "u", "p", error), Login::ConnectFailed);
  EXPECT_EQ(error.kind, ConnectError::Kind::Refused);
  EXPECT_EQ(error.systemError, ECONNREFUSED);
  EXPECT_EQ(ConnectErrorMessage(error), "The attempt to connect was rejected. ");
  EXPECT_EQ(transcript.Text(), "\n\n>connecting to 127.0.0.1\n");  // the socket's codes are its own test

  Fixture f({LoginThen({ExpectLine(), Send("200 ok\r\n")})});
  for (const char* bad : {"u\r\n", "u\nSITE KICK bob"}) {
    EXPECT_EQ(f.Open("127.0.0.1", bad), Login::Unsendable);
    EXPECT_EQ(f.Open("127.0.0.1", "u", std::string("secret\0x", 8)), Login::Unsendable);
  }
  EXPECT_EQ(f.server.Connections(), 0u);
  EXPECT_EQ(f.transcript.Text(), "");

  ASSERT_EQ(f.Open(), Login::LoggedIn);
  f.transcript.Clear();
  for (const std::string& bad :
       std::vector<std::string>{"SITE WHO\r\nDELE important.txt", "SITE WHO\nX", std::string("SITE\0WHO", 8), "A\r"})
    EXPECT_EQ(f.connection.Exchange(bad), Result::Unsendable);
  EXPECT_EQ(f.transcript.Text(), "");
  ASSERT_EQ(f.connection.Exchange("SITE WHO"), Result::Done);
  EXPECT_EQ(f.Wire(), std::string(kLoginWire) + "SITE WHO\r\n");
}

TEST(ControlConnection, EachExchangeIsReportedTypedAndThePasswordNever) {
  Fixture f({LoginThen({ExpectLine(), Send("200-who\r\n user1\r\n200 end\r\n"), ExpectLine(),
                        Send("200-cut\r\n200-sh"), Close()}),
             {Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(),
              Send("530-no\r\n530 Login incorrect.\r\n")}});
  ASSERT_EQ(f.Open("127.0.0.1", "u", "secret"), Login::LoggedIn);
  ASSERT_EQ(f.connection.Exchange("SITE WHO"), Result::Done);
  EXPECT_EQ(f.connection.Exchange("SITE CUT"), Result::Dropped);
  ASSERT_EQ(f.Open("127.0.0.1", "u", "secret"), Login::Refused);
  EXPECT_EQ(f.connection.LoginReply().code, 530);
  EXPECT_EQ(f.connection.LoginReply().last, "530 Login incorrect.");
  std::string seen;
  for (const Exchange& e : f.transcript.exchanges)
    seen += std::to_string(e.id) + (e.kind == Kind::Login ? " L " : " C ") + e.command + "|" +
            std::to_string(e.reply.code) + (e.reply.complete ? " done " : " cut ") +
            std::to_string(e.reply.lineCount) + " " + e.reply.last + "\n";
  // Ids count on across a reconnect; a reply cut short counts its broken line.
  EXPECT_EQ(seen,
            "1 L |220 done 1 220 hi\n2 L USER u|331 done 1 331 pw\n3 L PASS **********|230 done 1 230 in\n"
            "4 C SITE WHO|200 done 3 200 end\n5 C SITE CUT|200 cut 2 200-sh\n6 L |220 done 1 220 hi\n"
            "7 L USER u|331 done 1 331 pw\n8 L PASS **********|530 done 2 530 Login incorrect.\n");
  EXPECT_EQ(f.transcript.Text().find("secret"), std::string::npos);
}

TEST(ControlConnection, RepliesBelongToTheirCommandAndTheRestAreNotices) {
  Fixture f({LoginThen({ExpectLine(), Send("200-who\r\n user1\r\n200 end\r\n200 stray\r\n"), Pause(100),
                        Send("NOTICE the admin says hi\r\n"), ExpectLine(), Send("421 Service not available\r\n"),
                        ExpectLine(), Send("200-stats\r\n421 Timeout: idle too long\r\n"), Hold()})});
  ASSERT_EQ(f.Open(), Login::LoggedIn);
  f.transcript.Clear();
  ASSERT_EQ(f.connection.Exchange("SITE WHO"), Result::Done);
  // The line after the reply was there already: a notice at once, not the next command's reply.
  ASSERT_TRUE(f.WatchUntil([&] { return f.transcript.Of(Kind::Notice).size() > 10; }));
  EXPECT_EQ(f.transcript.Text(), "\n>SITE WHO\n200-who\n user1\n200 end\n200 stray\nNOTICE the admin says hi\n");
  EXPECT_EQ(f.transcript.Of(Kind::Notice), "200 stray\nNOTICE the admin says hi\n");

  f.transcript.Clear();
  ASSERT_EQ(f.connection.Exchange("SITE VERS"), Result::Done);
  EXPECT_EQ(f.transcript.Text(), "\n>SITE VERS\n421 Service not available\n");
  EXPECT_TRUE(f.connection.IsConnected()) << "only a timeout in the last line ends it";
  f.transcript.Clear();
  EXPECT_EQ(f.connection.Exchange("SITE STATS"), Result::Done);
  EXPECT_EQ(f.transcript.Text(), "\n>SITE STATS\n200-stats\n421 Timeout: idle too long\n\n>Disconnected.\n");
  EXPECT_FALSE(f.connection.IsConnected());
  EXPECT_EQ(f.connection.Exchange("SITE WHO"), Result::NotConnected);
  ASSERT_TRUE(f.server.WaitDone(0, kWait));
  EXPECT_TRUE(f.server.ClientClosed(0));
}

TEST(ControlConnection, TheLineBreakingIsNoticedAtOnce) {
  Fixture f({
      LoginThen({Pause(100), Send("421 Timeout: closing idle connection\r\n"), Hold()}),
      LoginThen({Pause(100), Close()}),
      LoginThen({Pause(100), Send("200 still here\r\n"), Pause(100), Reset()}),
      {Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Send("230 in"), Close()},
      {Send("220 hi\r\n"), ExpectLine(), Send("331-need a"), Close()},
      LoginThen({ExpectLine(), Send("200-first\r\n200-second par"), Close()}),
      LoginThen({ExpectLine(), Send("200-first\r\n200-second\r\n"), Pause(50), Reset()}),
      {Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Send("230 in\r\n200 late\r\n"),
       Pause(300), Close()},
  });
  const std::string disconnected = "\n>Disconnected.\n";
  // While idle: a 421, a close, a reset.
  for (const char* notice : {"421 Timeout: closing idle connection\n", "", "200 still here\n"}) {
    ASSERT_EQ(f.Open(), Login::LoggedIn);
    f.transcript.Clear();
    ASSERT_TRUE(f.WatchUntil([&] { return !f.connection.IsConnected(); })) << notice;
    EXPECT_EQ(f.transcript.Text(), std::string(notice) + disconnected);
  }
  // A reply ends only at a line end.
  f.transcript.Clear();
  EXPECT_EQ(f.Open(), Login::Dropped);
  EXPECT_EQ(f.transcript.Text(),
            "\n\n>connecting to 127.0.0.1\n220 hi\n>USER u\n331 pw\n>PASS **********\n230 in\n" + disconnected);
  f.transcript.Clear();
  EXPECT_EQ(f.Open(), Login::Dropped);
  EXPECT_EQ(f.transcript.Text(), "\n\n>connecting to 127.0.0.1\n220 hi\n>USER u\n331-need a\n" + disconnected);
  EXPECT_EQ(f.Wire(4), "USER u\r\n") << "no password after a broken reply";
  for (const char* reply : {"200-first\n200-second par\n", "200-first\n200-second\n"}) {
    ASSERT_EQ(f.Open(), Login::LoggedIn);
    f.transcript.Clear();
    EXPECT_EQ(f.connection.Exchange("SITE WHO"), Result::Dropped);
    EXPECT_EQ(f.transcript.Text(), "\n>SITE WHO\n" + std::string(reply) + disconnected);
  }
  // A notice that came with the login's reply, then a close: both shown.
  f.transcript.Clear();
  EXPECT_EQ(f.Open(), Login::LoggedIn);
  ASSERT_TRUE(f.WatchUntil([&] { return !f.connection.IsConnected(); }));
  EXPECT_NE(f.transcript.Text().find("230 in\n200 late\n" + disconnected), std::string::npos) << f.transcript.Text();
}

TEST(ControlConnection, HostileServersCostNoMoreThanWhatTheySent) {
  const std::string huge(10 * 1024 * 1024, 'x');
  std::string flood;
  for (int i = 0; i < 50000; ++i) flood += "200 ok " + std::to_string(i) + "\r\n";
  Fixture f({
      LoginThen({ExpectLine(), Send("200 " + huge), Close()}),
      LoginThen({ExpectLine(), Send(flood), Pause(50), Send("NOTICE after the flood\r\n"), ExpectLine(),
                 Send("200 own\r\n"), Hold()}),
      LoginThen({ExpectLine(), Send(std::string(1001, '\r')), ExpectLine(), Send("200 ok\r\n"), Hold()}),
      LoginThen({ExpectLine(), Send("200 got it\r\n"), Hold()}),
      LoginThen({ExpectLine(), Send("200 " + std::string(LineReader::kMaxLine, 'x')), Hold()}),
  });
  ASSERT_EQ(f.Open(), Login::LoggedIn);
  f.transcript.Clear();
  EXPECT_EQ(f.connection.Exchange("SITE BIG"), Result::Dropped);
  EXPECT_EQ(f.transcript.Of(Kind::Reply).size(), huge.size() + 5);

  ASSERT_EQ(f.Open(), Login::LoggedIn);
  f.transcript.Clear();
  ASSERT_EQ(f.connection.Exchange("SITE FLOOD"), Result::Done);
  EXPECT_EQ(f.transcript.Of(Kind::Reply), "200 ok 0\n");
  ASSERT_TRUE(f.WatchUntil([&] { return f.transcript.Of(Kind::Notice).find("NOTICE") != std::string::npos; }));
  const std::string notices = f.transcript.Of(Kind::Notice);
  EXPECT_EQ(notices.substr(0, 9), "200 ok 1\n");
  EXPECT_NE(notices.find("200 ok 49999\nNOTICE after the flood\n"), std::string::npos);
  f.transcript.Clear();
  ASSERT_EQ(f.connection.Exchange("SITE OWN"), Result::Done);
  EXPECT_EQ(f.transcript.Text(), "\n>SITE OWN\n200 own\n");

  // A CR ends a line and takes the byte behind it: 1001 CRs are 500 lines of one CR, and one CR waiting.
  ASSERT_EQ(f.Open(), Login::LoggedIn);
  f.transcript.Clear();
  ASSERT_EQ(f.connection.Exchange("SITE CR"), Result::Done);
  EXPECT_EQ(f.transcript.Of(Kind::Reply), "\r\n");
  f.connection.CheckLine();
  EXPECT_EQ(f.transcript.Of(Kind::Notice).size(), 499u * 2);
  ASSERT_EQ(f.connection.Exchange("SITE NEXT"), Result::Done);
  EXPECT_TRUE(f.connection.IsConnected());

  // A pasted argument of a megabyte goes out whole, as one line.
  ASSERT_EQ(f.Open(), Login::LoggedIn);
  const std::string big = "SITE MSG " + std::string(1024 * 1024, 'a');
  ASSERT_EQ(f.connection.Exchange(big), Result::Done);
  EXPECT_EQ(f.Wire(3), kLoginWire + big + "\r\n");

  // One line past 64 MiB: dropped, said why, and the connection ends.
  ASSERT_EQ(f.Open(), Login::LoggedIn);
  f.transcript.Clear();
  EXPECT_EQ(f.connection.Exchange("SITE LONG"), Result::Dropped);
  EXPECT_EQ(f.transcript.Text(), "\n>SITE LONG\nThe server sent a line longer than 64 MiB; it was dropped and the "
                                 "connection closed.\n\n>Disconnected.\n");
}

TEST(ControlConnection, AServerThatNeverGreetsIsLeftWhenTheWaitIsGivenUp) {
  Fixture f({{Hold()}});
  int calls = 0;
  HookGuard guard([&calls] { return ++calls < 5; });
  EXPECT_EQ(f.Open(), Login::Dropped);
  EXPECT_EQ(f.transcript.Text(), "\n\n>connecting to 127.0.0.1\n\n>Disconnected.\n");
  ASSERT_TRUE(f.server.WaitDone(0, kWait));
  EXPECT_TRUE(f.server.ClientClosed(0));
}

TEST(ControlConnection, IPv6LiteralsAndEveryAddressInTurn) {
  Fixture f({LoginThen({}), LoginThen({}), LoginThen({})}, true);
  for (const char* host : {"::1", "[::1]"}) {
    f.transcript.Clear();
    EXPECT_EQ(f.Open(host), Login::LoggedIn) << host << " " << f.error.text;
    EXPECT_EQ(f.transcript.Text().rfind(std::string("\n\n>connecting to ") + host + "\n", 0), 0u);
  }
  // Nothing listens on the IPv4 loopback at that port: refused there, then the next address.
  TcpSocket socket;
  EXPECT_TRUE(socket.Connect(std::vector<std::string>{"127.0.0.1", "::1"}, f.server.Port())) << socket.LastErrno();
  EXPECT_FALSE(socket.Connect(std::vector<std::string>{"::1", "127.0.0.1"}, f.server.Port() == 1 ? 2 : 1));
  EXPECT_EQ(socket.LastConnectError().kind, ConnectError::Kind::Refused);
}

// Bytes that a layer such as TLS has taken off the socket already: the
// descriptor never announces them again.
class HeldBytes : public Transport {
 public:
  explicit HeldBytes(std::deque<std::string> chunks) : m_chunks(std::move(chunks)) {}
  bool Send(std::string_view) override { return true; }
  long Receive(char* buf, std::size_t size, bool wait) override {
    if (m_chunks.empty()) return wait ? kClosed : kNothingYet;
    std::string& chunk = m_chunks.front();
    const std::size_t n = std::min(size, chunk.size());
    std::memcpy(buf, chunk.data(), n);
    chunk.erase(0, n);
    if (chunk.empty()) m_chunks.pop_front();
    return static_cast<long>(n);
  }
  int Descriptor() const override { return 0; }
  bool HasPending() const override { return !m_chunks.empty(); }
  void Close() override {}
  std::string ErrorText() const override { return {}; }

 private:
  std::deque<std::string> m_chunks;
};

struct CountingWatch : LineWatch {
  explicit CountingWatch(int& calls) : calls(calls) {}
  void SetEnabled(bool) override {}
  void CallAgain() override { ++calls; }
  int& calls;
};

TEST(ControlConnection, NoticesHeldByTheTransportAreAllShownInBatches) {
  std::deque<std::string> chunks{"220 hi\r\n", "331 pw\r\n", "230 in\r\n"};
  std::string expected;
  for (int i = 0; i < 200; ++i) {
    chunks.push_back("NOTICE " + std::to_string(i) + "\r\n");
    expected += "NOTICE " + std::to_string(i) + "\n";
  }
  TranscriptRecorder transcript;
  int again = 0;
  std::function<void()> ready;
  ControlConnection connection(
      transcript, [&](const std::string&, unsigned, ConnectError&) { return std::make_unique<HeldBytes>(chunks); },
      [&](int, std::function<void()> r) {
        ready = std::move(r);
        return std::make_unique<CountingWatch>(again);
      });
  ConnectError error;
  ASSERT_EQ(connection.Open("127.0.0.1", 21, "u", "p", error), Login::LoggedIn);
  // Each call takes a bounded share, so the window gets its turn, and asks to be called again.
  EXPECT_LT(transcript.Of(Kind::Notice).size(), expected.size());
  int rounds = 0;
  while (again > 0 && rounds < 1000) {
    again = 0;
    ++rounds;
    ready();
  }
  EXPECT_GT(rounds, 1);
  EXPECT_EQ(again, 0) << "nothing held, nothing to call again for";
  EXPECT_EQ(transcript.Of(Kind::Notice), expected);
  EXPECT_TRUE(connection.IsConnected());
}

}  // namespace
