// The session without a window: its worker thread against the scripted
// server, its events run by a stand-in for the owner's event loop.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "AntiIdle.h"
#include "ConnectionHistory.h"
#include "ScriptedServer.h"
#include "ServerIo.h"
#include "OwnerLoop.h"
#include "Session.h"
#include "SiteScripts.h"
#include "Socket.h"

using namespace siteserver;
using Login = ControlConnection::Login;
using Result = ControlConnection::Result;

namespace {

const char kDisconnected[] = "\n>Disconnected.\n";

// The owner's event loop: posted calls run on the test's thread, in order.
// Waits in the tests end after 10 s, so a fault fails instead of hanging.
struct Loop : OwnerLoop {
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return OwnerLoop::RunUntil(done, limit);
  }
};

struct Recorder : SessionObserver, TrustAsker, TrustStore {
  std::string text;
  const Transcript* log = nullptr;
  std::vector<std::string> blocks;  // the log's text from the line each block began on
  std::vector<SessionState> states;
  std::vector<Login> logins;
  std::vector<Result> runs;
  std::vector<std::string> asked;  // the remembered fingerprint of each question
  bool answer = false;
  std::string stored;

  void OnLine(TranscriptKind, std::string_view t) override { text.append(t); }
  void OnBlockDone(Transcript::Pos before) override {
    if (log && before > 0) blocks.push_back(log->Text(log->LineStart(before - 1), log->Length()));
  }
  void OnState(SessionState s) override { states.push_back(s); }
  void OnLoginDone(const LoginReport& report) override { logins.push_back(report.result); }
  void OnRunDone(Result result) override { runs.push_back(result); }
  bool AskTrust(const std::string&, unsigned, const TlsInfo&, const std::string& remembered) override {
    asked.push_back(remembered);
    return answer;
  }
  std::string Remembered(const std::string&, unsigned) override { return stored; }
  void Remember(const std::string&, unsigned, const std::string& fingerprint) override { stored = fingerprint; }
};

struct Site {
  explicit Site(std::vector<Script> scripts) : server(std::move(scripts)) {
    EXPECT_TRUE(server.Start()) << server.Error();
  }
  Session::Services Services(Loop& loop, Recorder& r) {
    Session::Services s;
    s.post = loop.Poster();
    s.connect = &platform::ConnectTcp;
    // A stand-in TLS start that leaves the line plain and shows an untrusted certificate.
    s.startTls = [this](std::unique_ptr<Transport>&, const std::string&, TlsInfo& info, std::string&) {
      info.trusted = vouched;
      info.fingerprint = "AB:CD";
      return TlsStart::Secured;
    };
    s.trustStore = &r;
    s.asker = &r;
    return s;
  }
  ConnectRequest Request(bool tls = false) const {
    ConnectRequest r;
    r.host = "127.0.0.1", r.port = server.Port(), r.login = "u", r.password = "p", r.tls = tls;
    return r;
  }
  ScriptedServer server;
  bool vouched = false;  // the system's trust store vouches for the certificate
};

TEST(Session, LogsInRunsLinesInOrderAndShowsNoticesWhileIdle) {
  Site site({LoginThen({ExpectLine(), Send("200 one\r\n"), ExpectLine(), Send("200 two\r\n"), Pause(100),
                        Send("NOTICE idle\r\n"), ExpectLine(), Send("421 Timeout.\r\n"), Hold()})});
  Loop loop;
  Recorder r;
  Session session(r, site.Services(loop, r));
  r.log = &session.Log();
  EXPECT_FALSE(session.Run({"SITE WHO"})) << "not logged in";
  ASSERT_TRUE(session.Connect(site.Request()));
  EXPECT_EQ(session.State(), SessionState::Connecting);
  EXPECT_FALSE(session.Connect(site.Request())) << "one attempt at a time";
  ASSERT_TRUE(loop.RunUntil([&] { return !r.logins.empty(); }));
  EXPECT_EQ(r.logins[0], Login::LoggedIn);
  EXPECT_EQ(session.State(), SessionState::LoggedIn);

  EXPECT_FALSE(session.Run({"SITE A", "SITE\r\nB"})) << "nothing goes out when one line would split";
  ASSERT_TRUE(session.Run({"SITE ONE", "SITE TWO"}));
  EXPECT_FALSE(session.Run({"SITE THREE"})) << "busy";
  ASSERT_TRUE(loop.RunUntil([&] { return r.text.find("NOTICE idle\n") != std::string::npos; }));
  EXPECT_EQ(r.runs, std::vector<Result>{Result::Done});
  ASSERT_TRUE(session.Run({"SITE IDLE"}));
  ASSERT_TRUE(loop.RunUntil([&] { return r.runs.size() == 2; }));
  EXPECT_EQ(session.State(), SessionState::Disconnected);
  EXPECT_EQ(r.text,
            "\n\n>connecting to 127.0.0.1\n220 hi\n>USER u\n331 pw\n>PASS **********\n230 in\n"
            "\n>SITE ONE\n200 one\n\n>SITE TWO\n200 two\nNOTICE idle\n\n>SITE IDLE\n421 Timeout.\n" +
                std::string(kDisconnected));
  // Each block, from the line it began on: where the view follows it from.
  EXPECT_EQ(r.blocks, (std::vector<std::string>{"\n\n>connecting to 127.0.0.1\n220 hi\n", ">USER u\n331 pw\n",
                                                ">PASS **********\n230 in\n", "\n>SITE ONE\n200 one\n",
                                                "\n>SITE TWO\n200 two\n", "NOTICE idle\n",
                                                "\n>SITE IDLE\n421 Timeout.\n", kDisconnected}));
  // The session's log holds what it showed, each piece in the kind it is shown in.
  const Transcript& log = session.Log();
  EXPECT_EQ(log.Text(), r.text);
  EXPECT_EQ(log.KindAt(static_cast<Transcript::Pos>(r.text.find("220 hi"))), TranscriptKind::Login);
  EXPECT_EQ(log.KindAt(static_cast<Transcript::Pos>(r.text.find("200 one"))), TranscriptKind::Command);
  EXPECT_EQ(log.KindAt(static_cast<Transcript::Pos>(r.text.find("NOTICE"))), TranscriptKind::Notice);
  EXPECT_EQ(log.KindAt(log.Length() - 2), TranscriptKind::Disconnect);
  EXPECT_EQ(r.states, (std::vector<SessionState>{SessionState::Connecting, SessionState::LoggedIn, SessionState::Busy,
                                                 SessionState::LoggedIn, SessionState::Busy,
                                                 SessionState::Disconnected}));
  site.server.WaitDone(0, std::chrono::milliseconds(500));
  EXPECT_EQ(site.server.Received(0), "USER u\r\nPASS p\r\nSITE ONE\r\nSITE TWO\r\nSITE IDLE\r\n");
}

TEST(Session, DisconnectEndsAnyWaitAtOnce) {
  Site site({{Hold()}, LoginThen({ExpectLine(), Hold()}), LoginThen()});
  Loop loop;
  Recorder r;
  Session session(r, site.Services(loop, r));
  // A server that never greets, then one that never answers: the user need not wait for either.
  ASSERT_TRUE(session.Connect(site.Request()));
  loop.RunUntil([] { return false; }, std::chrono::milliseconds(100));
  session.Disconnect();
  ASSERT_TRUE(loop.RunUntil([&] { return !session.IsWorking(); }));
  EXPECT_EQ(session.State(), SessionState::Disconnected);
  EXPECT_EQ(r.text, "\n\n>connecting to 127.0.0.1\n" + std::string(kDisconnected));

  r.text.clear();
  ASSERT_TRUE(session.Connect(site.Request()));
  ASSERT_TRUE(loop.RunUntil([&] { return session.State() == SessionState::LoggedIn; }));
  ASSERT_TRUE(session.Run({"SITE SILENT"}));
  loop.RunUntil([] { return false; }, std::chrono::milliseconds(100));
  session.Disconnect();
  ASSERT_TRUE(loop.RunUntil([&] { return !session.IsWorking(); }));
  EXPECT_EQ(session.State(), SessionState::Disconnected);
  EXPECT_TRUE(r.text.ends_with("230 in\n\n>SITE SILENT\n" + std::string(kDisconnected))) << r.text;
  EXPECT_EQ(r.text.find(kDisconnected), r.text.rfind(kDisconnected)) << "said once";

  // Logged in and idle: closed, nothing sent.
  ASSERT_TRUE(session.Connect(site.Request()));
  ASSERT_TRUE(loop.RunUntil([&] { return session.State() == SessionState::LoggedIn; }));
  session.Disconnect();
  ASSERT_TRUE(loop.RunUntil([&] { return !session.IsWorking(); }));
  EXPECT_EQ(session.State(), SessionState::Disconnected);
  EXPECT_TRUE(site.server.WaitDone(2, std::chrono::seconds(2)));
  EXPECT_EQ(site.server.Received(2), "USER u\r\nPASS p\r\n");
}

TEST(Session, TheTrustDecisionAsksOnlyForCertificatesNotTrustedBefore) {
  const Script secured{Send("220 hi\r\n"), ExpectLine(), Send("234 go\r\n"), ExpectLine(), Send("331 pw\r\n"),
                       ExpectLine(), Send("230 in\r\n"), Hold()};
  Site site({secured, secured, secured, secured, secured});
  Loop loop;
  Recorder r;
  Session session(r, site.Services(loop, r));
  auto attempt = [&] {
    r.logins.clear();
    EXPECT_TRUE(session.Connect(site.Request(true)));
    EXPECT_TRUE(loop.RunUntil([&] { return !r.logins.empty(); }));
    const Login result = r.logins.empty() ? Login::Dropped : r.logins[0];
    if (session.IsConnected()) {
      session.Disconnect();
      loop.RunUntil([&] { return !session.IsWorking(); });
    }
    return result;
  };
  EXPECT_EQ(attempt(), Login::CertificateRefused);  // asked, "No": nothing stored
  EXPECT_EQ(r.stored, "");
  r.answer = true;
  EXPECT_EQ(attempt(), Login::LoggedIn);  // asked, "Yes": remembered
  EXPECT_EQ(r.stored, "AB:CD");
  EXPECT_EQ(attempt(), Login::LoggedIn);  // remembered: not asked
  r.stored = "00:11";
  r.answer = false;
  EXPECT_EQ(attempt(), Login::CertificateRefused);  // changed: asked with the old one
  EXPECT_EQ(r.asked, (std::vector<std::string>{"", "", "00:11"}));
  EXPECT_EQ(r.stored, "00:11");
  site.vouched = true;
  EXPECT_EQ(attempt(), Login::LoggedIn);  // the system vouches: nobody asked, nothing stored
  EXPECT_EQ(r.asked.size(), 3u);
  EXPECT_EQ(r.stored, "00:11");
}

TEST(Session, SessionsExchangeAtTheSameTime) {
  Site slow({LoginThen({ExpectLine(), Pause(2000), Send("200 slow\r\n"), Hold()})});
  Site quick({LoginThen({ExpectLine(), Send("200 quick\r\n"), Hold()})});
  Loop loop;
  Recorder a, b;
  Session first(a, slow.Services(loop, a)), second(b, quick.Services(loop, b));
  ASSERT_TRUE(first.Connect(slow.Request()) && second.Connect(quick.Request()));
  ASSERT_TRUE(loop.RunUntil([&] { return first.IsConnected() && second.IsConnected(); }));
  ASSERT_TRUE(first.Run({"SITE SLOW"}) && second.Run({"SITE QUICK"}));
  ASSERT_TRUE(loop.RunUntil([&] { return !b.runs.empty(); }));
  EXPECT_EQ(first.State(), SessionState::Busy) << "the quick reply did not wait for the slow one";
}  // the slow session, still waiting, is destroyed: that returns at once

// Stands in for the owner's timer: the test decides when a period ends.
struct ManualTimer : Timer {
  std::vector<unsigned> starts;
  std::function<void()> tick;
  void Start(unsigned ms, std::function<void()> t) override {
    starts.push_back(ms);
    tick = std::move(t);
  }
  void Stop() override { tick = nullptr; }
};

TEST(Session, RawCommandsAndTheAntiIdlePeriod) {
  EXPECT_EQ(Session::RawCommand("WHO", true), "SITE WHO");
  EXPECT_EQ(Session::RawCommand("SITE WHO", true), "SITE SITE WHO");
  EXPECT_EQ(Session::RawCommand("SITE WHO", false), "SITE WHO");
  EXPECT_EQ(AntiIdlePeriodMs(0), 1000u) << "never below a second";
  EXPECT_EQ(AntiIdlePeriodMs(360), 360000u);
  EXPECT_EQ(AntiIdlePeriodMs(4294967u), 0x7FFFFFFFu) << "no wrap past 32 bits";
}

TEST(Session, SendRulesAndTheAntiIdleCommandWaitForARunningExchange) {
  Site site({LoginThen({ExpectLine(), Send("200 who\r\n"), ExpectLine(), Pause(50), Send("200 x\r\n"), ExpectLine(),
                        Send("200 y\r\n"), ExpectLine(), Send("200 noop\r\n"), ExpectLine(), Hold()})});
  Loop loop;
  Recorder r;
  ManualTimer timer;
  Session::Services services = site.Services(loop, r);
  services.antiIdleTimer = &timer;
  Session session(r, services);
  session.SetAntiIdle(true, [] { return AntiIdleSettings{"NOOP", 30}; });
  EXPECT_EQ(session.Send({"SITE WHO"}), Session::SendResult::NotReady);
  ASSERT_TRUE(session.Connect(site.Request()));
  ASSERT_TRUE(loop.RunUntil([&] { return session.State() == SessionState::LoggedIn; }));
  ASSERT_FALSE(timer.starts.empty());
  EXPECT_EQ(timer.starts.back(), 30000u);

  EXPECT_EQ(session.Send({" \t", "\r\n"}), Session::SendResult::Empty);
  EXPECT_EQ(session.Send({"SITE A", "SITE B\rC"}), Session::SendResult::Unsendable);
  EXPECT_EQ(session.Send({"SITE WHO \t", "", "SITE X\r\n"}), Session::SendResult::Sent);
  EXPECT_EQ(session.Send({"SITE Y"}), Session::SendResult::Queued) << "a second click waits for the first";
  EXPECT_EQ(session.Send({"SITE Z\nW"}), Session::SendResult::Unsendable) << "refused at once, not when its turn comes";
  ASSERT_TRUE(timer.tick);
  const auto tick = timer.tick;
  tick();  // the period ends mid-exchange: the command waits for it, behind the click
  tick();  // ... and periods do not pile up
  const size_t startsBefore = timer.starts.size();
  ASSERT_TRUE(loop.RunUntil([&] { return r.runs.size() == 3 && !session.IsWorking(); }));
  EXPECT_GT(timer.starts.size(), startsBefore) << "the next period starts after the anti-idle exchange";
  EXPECT_EQ(site.server.Received(0), "USER u\r\nPASS p\r\nSITE WHO\r\nSITE X\r\nSITE Y\r\nNOOP\r\n");

  // A user command goes out built and trimmed, or not at all and says why.
  std::string whyNot;
  const UserCommand note{"note", {"NOTE %1 %2"}, {}};
  EXPECT_EQ(session.SendUserCommand(note, {"a\nb", "x"}, whyNot), Session::SendResult::NotBuilt);
  EXPECT_NE(whyNot.find("line break"), std::string::npos) << whyNot;
  ASSERT_EQ(session.SendUserCommand(note, {"a", ""}, whyNot), Session::SendResult::Sent);
  // Waiting behind it (the server keeps silent) when the user disconnects: dropped, never sent.
  EXPECT_EQ(session.Send({"SITE LATER"}), Session::SendResult::Queued);
  for (int i = 0; i < 500 && !site.server.Received(0).ends_with("NOTE a\r\n"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  session.Disconnect();
  ASSERT_TRUE(loop.RunUntil([&] { return !session.IsWorking(); }));
  EXPECT_TRUE(site.server.Received(0).ends_with("NOOP\r\nSITE NOTE a\r\n"));
  if (timer.tick) timer.tick();  // not connected: nothing goes out
  EXPECT_EQ(session.Send({"SITE WHO"}), Session::SendResult::NotReady);
  EXPECT_EQ(site.server.Received(0).find("LATER"), std::string::npos);
}

TEST(Session, BouncersAreTriedInOrderUntilOneGreetsButARefusedLoginEndsIt) {
  Site site({{Send("421 Too many users\r\n"), Hold()}, LoginThen({Hold()}),
             {Send("220 hi\r\n"), ExpectLine(), Send("530 No\r\n"), Hold()}, LoginThen({Hold()})});
  const unsigned dead = DeadPort();
  Loop loop;
  Recorder r;
  Session session(r, site.Services(loop, r));
  ConnectRequest request = site.Request();
  request.port = dead;
  request.more = {{"127.0.0.1", site.server.Port()}, {"127.0.0.1", site.server.Port()}};
  ASSERT_TRUE(session.Connect(request));
  ASSERT_TRUE(loop.RunUntil([&] { return !r.logins.empty(); }));
  EXPECT_EQ(r.logins[0], Login::LoggedIn);
  const std::string port = std::to_string(site.server.Port());
  EXPECT_EQ(r.text.substr(0, r.text.find("220 hi")),
            "\n\n>connecting to 127.0.0.1\nCould not use 127.0.0.1:" + std::to_string(dead) +
                ": The attempt to connect was rejected. Trying the next address.\n"
                "\n\n>connecting to 127.0.0.1\n421 Too many users\nCould not use 127.0.0.1:" + port +
                ": it turned the connection away. Trying the next address.\n\n\n>connecting to 127.0.0.1\n");
  session.Disconnect();
  ASSERT_TRUE(loop.RunUntil([&] { return !session.IsWorking(); }));

  r.logins.clear();
  request.more = {{"127.0.0.1", site.server.Port()}};
  request.host = "127.0.0.1", request.port = site.server.Port();
  ASSERT_TRUE(session.Connect(request));
  ASSERT_TRUE(loop.RunUntil([&] { return !r.logins.empty(); }));
  EXPECT_EQ(r.logins[0], Login::Refused) << "a wrong password is not a dead bouncer";
  EXPECT_EQ(site.server.Connections(), 3u);
}

struct MemoryStore : HistoryStore {
  std::vector<std::string> saved;
  std::vector<std::pair<std::string, bool>> tls;
  bool fail = false;
  std::vector<std::string> Load() override { return saved; }
  bool Save(const std::string& entry, std::string& error) override {
    if (fail) error = "disk full";
    else saved.push_back(entry);
    return !fail;
  }
  bool LoadTls(const std::string&) override { return false; }
  void SaveTls(const std::string& entry, bool on) override { tls.emplace_back(entry, on); }
};

TEST(ConnectionHistory, ListsAnAttemptOnceIgnoringCaseAndReportsAFailingStoreOnce) {
  MemoryStore store;
  store.saved = {"Admin@Site.example:21"};
  ConnectionHistory history(store);
  EXPECT_EQ(history.Load(), store.saved);
  const auto same = history.Record("admin", "site.example", 21, true);
  EXPECT_FALSE(same.added);
  EXPECT_EQ(same.entry, "Admin@Site.example:21");
  EXPECT_TRUE(history.Record("admin", "site.example", 2121, false).added) << "a longer entry is another one";
  store.fail = true;
  const auto first = history.Record("b", "h", 21, false), second = history.Record("c", "h", 21, false);
  EXPECT_TRUE(first.added && second.added) << "listed for this run even when not saved";
  EXPECT_EQ(first.failure, "disk full");
  EXPECT_EQ(second.failure, "");
  EXPECT_EQ(store.saved, (std::vector<std::string>{"Admin@Site.example:21", "admin@site.example:2121"}));
  EXPECT_EQ(store.tls.front(), (std::pair<std::string, bool>{"Admin@Site.example:21", true}));
}

// A server that logs the client in, then answers its first command with an
// endless reply, as fast as the client takes it; it counts what it sent.
struct Flood {
  Flood() {
    std::string error;
    m_listen = io::ListenLoopback(0, port, error);
    EXPECT_GE(m_listen, 0) << error;
    m_thread = std::thread([this] { Serve(); });
  }
  ~Flood() {
    m_stop.Set();
    m_thread.join();
    if (m_listen >= 0) ::close(m_listen);
  }
  void Serve() {
    if (io::WaitFor(m_listen, POLLIN, m_stop, -1) != io::Wait::Ready) return;
    const int fd = io::AcceptClient(m_listen);
    if (fd < 0) return;
    auto line = [&] {  // a byte at a time: the client sends a line and waits
      char c = 0;
      while (io::WaitFor(fd, POLLIN, m_stop, -1) == io::Wait::Ready && ::recv(fd, &c, 1, 0) == 1)
        if (c == '\n') return true;
      return false;
    };
    std::string lines;
    for (int i = 0; i < 1000; ++i) lines += "200-| user" + std::to_string(i) + " | group | 1:3 | 10240 MB |\r\n";
    if (io::SendAll(fd, "220 hi\r\n", 8, m_stop) && line() && io::SendAll(fd, "230 in\r\n", 8, m_stop) && line())
      while (io::SendAll(fd, lines.data(), lines.size(), m_stop)) sent += lines.size();
    ::close(fd);
  }
  unsigned port = 0;
  std::atomic<std::size_t> sent{0};

 private:
  int m_listen = -1;
  io::StopLatch m_stop;
  std::thread m_thread;
};

}  // namespace

// An endless reply while the owner takes nothing: the worker stops reading
// at its bound and TCP holds the server back; once the owner takes the text
// the reply flows again, and a disconnect ends it at once, flood or not.
TEST(Session, AFloodWaitsForTheOwnerAndADisconnectEndsIt) {
  Flood flood;
  Loop loop;
  Recorder r;
  Site unused({});
  Session::Services services = unused.Services(loop, r);
  services.keepLog = false;  // the recorder keeps nothing either: only the bound is measured
  struct Counter : Recorder {
    std::size_t bytes = 0;
    void OnLine(TranscriptKind, std::string_view t) override { bytes += t.size(); }
  } counter;
  Session session(counter, services);
  ConnectRequest request = unused.Request();
  request.port = flood.port;
  ASSERT_TRUE(session.Connect(request));
  ASSERT_TRUE(loop.RunUntil([&] { return session.State() == SessionState::LoggedIn; }));
  ASSERT_EQ(session.Send({"SITE WHO"}), Session::SendResult::Sent);

  // The loop is left alone: wait until the server can send no more.
  std::size_t before = 0;
  for (int i = 0; i < 200 && (flood.sent < (1u << 20) || flood.sent != before); ++i) {
    before = flood.sent;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_LT(flood.sent.load(), 64u << 20) << "the worker kept reading with nobody taking the text";

  const std::size_t stalled = flood.sent;
  loop.RunUntil([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_GT(flood.sent.load(), stalled) << "taking the text lets the reply flow again";
  EXPECT_GT(counter.bytes, 0u);

  session.Disconnect();
  EXPECT_TRUE(loop.RunUntil([&] { return session.State() == SessionState::Disconnected; }, std::chrono::seconds(5)))
      << "a flood must not hide the disconnect";
}
