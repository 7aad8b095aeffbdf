#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "DemoSite.h"
#include "LineReader.h"
#include "Reply.h"
#include "ScriptedServer.h"
#include "Socket.h"

using namespace siteserver;

namespace {

// Reads the replies out of a text, as the dialog would off the wire.
struct Replies {
  std::string text;
  std::size_t pos = 0;
  LineReader reader{[this](char* b, std::size_t n) {
    const std::size_t k = std::min(n, text.size() - pos);
    text.copy(b, k, pos);
    pos += k;
    return static_cast<long>(k);
  }};

  explicit Replies(std::string t) : text(std::move(t)) {}
  // The last line of the next reply, "" once the text is used up.
  std::string Next(std::size_t* lines = nullptr) {
    std::string last;
    std::size_t count = 0;
    if (ReadReplyLines(
            reader, [&](const std::string&) { ++count; }, last) != ReplyStatus::Complete)
      return {};
    if (lines) *lines = count;
    return last;
  }
};

TEST(ScriptedServer, ParsesScriptText) {
  Script s;
  std::string error;
  ASSERT_TRUE(ParseScript("# greeting\nsend 220 Hi\\r\\n\nslow \\x41\\\\\n\nexpect\npause 15\nclose\nhold\n", s, error))
      << error;
  ASSERT_EQ(s.size(), 6u);
  EXPECT_EQ(s[0].bytes, "220 Hi\r\n");
  EXPECT_EQ(s[1].kind, Step::Kind::SendSlowly);
  EXPECT_EQ(s[1].bytes, "A\\");
  EXPECT_EQ(s[3].ms, 15);
  for (const char* bad : {"send a\\q", "send \\x4", "pause", "pause -1", "expect now", "shout x"}) {
    EXPECT_FALSE(ParseScript(std::string("expect\n") + bad, s, error)) << bad;
    EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
  }
}

TEST(ScriptedServer, OneScriptPerConnectionAndStopsWithAClientAttached) {
  auto server = std::make_unique<ScriptedServer>(
      std::vector<Script>{{Send("220 first\r\n"), Close()}, {Send("220 second\r\n"), ExpectLine(), Hold()}});
  ASSERT_TRUE(server->Start());
  CSocket a, b, c;
  char buf[64];
  ASSERT_TRUE(a.Create() && a.Connect("127.0.0.1", server->Port()));
  EXPECT_EQ(std::string(buf, static_cast<std::size_t>(a.Receive(buf, sizeof buf))), "220 first\r\n");
  EXPECT_EQ(a.Receive(buf, sizeof buf), 0);
  ASSERT_TRUE(b.Create() && b.Connect("127.0.0.1", server->Port()));
  EXPECT_EQ(std::string(buf, static_cast<std::size_t>(b.Receive(buf, sizeof buf))), "220 second\r\n");
  ASSERT_TRUE(b.Send("NOOP\r\nSITE"));
  EXPECT_FALSE(server->WaitDone(1, std::chrono::milliseconds(50))) << "b still holds";
  // b is silent and connected: stopping must not wait for it.
  server->Stop();
  EXPECT_EQ(server->Received(1), "NOOP\r\nSITE");
  EXPECT_FALSE(server->ClientClosed(1));
  EXPECT_EQ(server->Connections(), 2u);
}

TEST(ScriptedServer, ExpectLineWaitsForEachLine) {
  ScriptedServer server({{ExpectLine(), ExpectLine(), Send("200 after two\r\n"), Hold()}});
  ASSERT_TRUE(server.Start());
  CSocket s;
  ASSERT_TRUE(s.Create() && s.Connect("127.0.0.1", server.Port()));
  ASSERT_TRUE(s.Send("ONE\r\n"));
  char buf[64];
  // Give up after 10 slices while the server must stay silent, then allow
  // ample time for the reply; never wait without end.
  int slices = 0, limit = 10;
  platform::SetSocketWaitHook([&] { return ++slices < limit; });
  EXPECT_EQ(s.Receive(buf, sizeof buf), -2) << "the server must still wait for the second line";
  slices = 0;
  limit = 250;
  ASSERT_TRUE(s.Send("TWO\n"));
  const long n = s.Receive(buf, sizeof buf);
  platform::SetSocketWaitHook(nullptr);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(buf, static_cast<std::size_t>(n)), "200 after two\r\n");
}

TEST(DemoSession, LoginAndEverySiteCommand) {
  DemoOptions options;
  DemoSession s(options, nullptr);
  std::size_t lines = 0;
  EXPECT_EQ(Replies(s.Greeting()).Next(&lines).substr(0, 4), "220 ");
  EXPECT_GT(lines, 1u);
  EXPECT_EQ(s.Answer("SITE WHO"), "530 Please log in with USER and PASS first.\r\n");
  EXPECT_EQ(s.Answer("PASS korvastel"), "503 Login with USER first.\r\n");
  EXPECT_EQ(s.Answer("USER admin"), "331 Password required for admin.\r\n");
  EXPECT_EQ(s.Answer("PASS wrong"), "530 Login incorrect.\r\n");
  s.Answer("USER admin");
  EXPECT_EQ(Replies(s.Answer("PASS korvastel")).Next(), "230 User admin logged in.");

  for (const char* verb : {"ALUP", "ALDN", "WKUP", "WKDN", "DAYUP", "DAYDN", "NEW", "WHO", "SWHO", "LASTON", "LOGINS",
                           "TRAFFIC", "USERS", "GROUPS", "STAT", "STATS", "VERS", "IDLE", "HELP"}) {
    Replies r(s.Answer(std::string("site ") + verb));
    EXPECT_EQ(r.Next().substr(0, 4), "200 ") << verb;
    EXPECT_EQ(r.Next(), "") << verb << ": exactly one reply";
  }
  EXPECT_EQ(s.Answer("NOOP"), "200 NOOP ok.\r\n");
  EXPECT_EQ(s.Answer("SITE FROB x"), "500 'SITE FROB x': command not understood.\r\n");
  EXPECT_EQ(s.Answer("XYZZY"), "500 'XYZZY': command not understood.\r\n");
}

TEST(DemoSession, AdminCommandsChangeTheSharedSite) {
  DemoOptions options;
  auto data = MakeDemoSiteData();
  DemoSession s(options, data), other(options, data);
  for (DemoSession* x : {&s, &other}) {
    x->Answer("USER admin");
    x->Answer("PASS korvastel");
  }
  EXPECT_EQ(s.Answer("SITE ADDUSER wrenna pw1"), "200 User 'wrenna' added to group 'lantern'.\r\n");
  EXPECT_EQ(s.Answer("SITE ADDUSER wrenna pw1").substr(0, 4), "550 ");
  EXPECT_NE(other.Answer("SITE USERS").find("| wrenna "), std::string::npos);
  EXPECT_EQ(s.Answer("SITE GIVE wrenna 100"), "200 Gave 100 MB to 'wrenna'; credits now 115 MB.\r\n");
  EXPECT_EQ(s.Answer("SITE TAKE wrenna 116").substr(0, 4), "550 ");
  EXPECT_EQ(s.Answer("SITE CHANGE wrenna ratio 5").substr(0, 4), "200 ");
  EXPECT_EQ(s.Answer("SITE CHANGE wrenna colour red").substr(0, 4), "501 ");
  EXPECT_EQ(s.Answer("SITE CHGRP wrenna nowhere"), "550 Group 'nowhere' does not exist.\r\n");
  EXPECT_EQ(s.Answer("SITE DELUSER wrenna"), "200 User 'wrenna' deleted.\r\n");
  EXPECT_EQ(other.Answer("SITE GIVE wrenna 1"), "550 User 'wrenna' does not exist.\r\n");
  EXPECT_EQ(s.Answer("SITE READD wrenna"), "200 User 'wrenna' re-added.\r\n");

  // A nuke costs the uploader size x multiplier; the unnuke gives it back.
  const std::string before = Replies(s.Answer("SITE USER ilsabet")).text;
  EXPECT_EQ(Replies(s.Answer("SITE NUKE /incoming/tide-tables-north-coast 2 broken archive")).Next(), "200 Nuke done.");
  EXPECT_NE(s.Answer("SITE USER ilsabet").find("Credits:      119,018 MB"), std::string::npos);
  EXPECT_EQ(Replies(s.Answer("SITE UNNUKE /incoming/tide-tables-north-coast fixed")).Next(), "200 Unnuke done.");
  EXPECT_EQ(s.Answer("SITE USER ilsabet"), before);

  EXPECT_EQ(s.Answer("SITE KICK quennick"), "200 Kicked 1 connection of 'quennick'.\r\n");
  EXPECT_EQ(s.Answer("SITE KICK quennick"), "550 User 'quennick' is not online.\r\n");
  EXPECT_EQ(s.Answer("SITE ADDIP tovald *@10.9.9.9").substr(0, 4), "200 ");
  EXPECT_EQ(s.Answer("SITE DELIP tovald 1"), "200 IP '*@10.9.9.9' removed from user 'tovald'.\r\n");
  EXPECT_EQ(s.Answer("SITE GADDUSER nowhere x y").substr(0, 4), "550 ");
  EXPECT_EQ(s.Answer("SITE NUKE"), "501 Usage: SITE NUKE <dir> <multiplier 1-10> <reason>\r\n");
}

TEST(DemoServer, IdleTimeoutAndBulkReply) {
  DemoOptions options;
  options.port = 0;
  options.idleTimeoutSeconds = 1;
  options.replyLines = 1000;
  DemoServer server(options);
  std::string error;
  ASSERT_TRUE(server.Start(error)) << error;

  CSocket sock;
  ASSERT_TRUE(sock.Create() && sock.Connect("127.0.0.1", server.Port()));
  LineReader reader([&](char* b, std::size_t n) { return sock.Receive(b, n); });
  std::string last;
  std::size_t bytes = 0;
  const auto count = [&](const std::string& l) { bytes += l.size() + 2; };
  ASSERT_EQ(ReadReplyLines(reader, count, last), ReplyStatus::Complete);
  ASSERT_TRUE(sock.Send("USER admin\r\nPASS korvastel\r\n"));
  ReadReplyLines(reader, count, last);
  ReadReplyLines(reader, count, last);
  EXPECT_EQ(last, "230 User admin logged in.");

  bytes = 0;
  ASSERT_TRUE(sock.Send("SITE USERS\r\n"));
  ASSERT_EQ(ReadReplyLines(reader, count, last), ReplyStatus::Complete);
  EXPECT_EQ(bytes, 60u * 1000);
  EXPECT_EQ(BulkUsersReply(1000).size(), 60u * 1000);

  ASSERT_EQ(ReadReplyLines(reader, count, last), ReplyStatus::Complete);
  EXPECT_EQ(last, "421 Timeout (1 seconds): closing control connection.");
  EXPECT_EQ(ReadReplyLines(reader, count, last), ReplyStatus::Closed);
}

}  // namespace
