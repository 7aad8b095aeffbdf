// The owner of every session and the runner of one command on several
// sites, against scripted servers on the loopback, driven by an owner loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "OwnerLoop.h"
#include "ScriptedServer.h"
#include "SessionOwner.h"
#include "SiteRun.h"
#include "SiteRunner.h"
#include "SiteScripts.h"
#include "Socket.h"

using namespace siteserver;
using Login = ControlConnection::Login;
using namespace std::chrono_literals;

namespace {

const char kFingerprint[] = "AB:CD:EF:01";

struct Events : SessionEvents {
  std::vector<SessionId> closed;
  std::vector<Login> logins;
  std::function<void(SessionId)> onLogin;
  void OnLoginDone(SessionId id, const LoginReport& report) override {
    logins.push_back(report.result);
    if (onLogin) onLogin(id);
  }
  void OnClosed(SessionId id) override { closed.push_back(id); }
};

struct Asker : TrustAsker {
  bool answer = false;
  std::vector<std::string> asked;  // the fingerprint of each question
  bool AskTrust(const std::string&, unsigned, const TlsInfo& info, const std::string&) override {
    asked.push_back(info.fingerprint);
    return answer;
  }
};

// The owner on an owner loop; at its end, the sessions it dropped go too.
struct Owner {
  explicit Owner(SessionOwner::TrustPolicy policy = {}) {
    SessionOwner::Services s;
    s.post = loop.Poster();
    s.connect = &platform::ConnectTcp;
    // A TLS start that leaves the line plain and shows a certificate nobody vouches for.
    s.startTls = [](std::unique_ptr<Transport>&, const std::string&, TlsInfo& info, std::string&) {
      info.fingerprint = kFingerprint;
      return TlsStart::Secured;
    };
    owner = std::make_unique<SessionOwner>(std::move(s), std::move(policy));
    owner->AddEvents(events);
  }
  ~Owner() {
    owner.reset();
    loop.RunUntil([&] { return loop.Pending() == 0; }, 5s);
  }
  // Runs the loop until done holds, looking again every few milliseconds:
  // what the servers see comes with no call to run.
  bool Until(const std::function<bool()>& done) {
    for (int slice = 0; slice < 1000; ++slice)
      if (loop.RunUntil(done, 10ms)) return true;
    return false;
  }
  static ConnectRequest Request(const ScriptedServer& server, bool tls = false) {
    ConnectRequest r;
    r.host = "127.0.0.1", r.port = server.Port(), r.login = "u", r.password = "p", r.tls = tls;
    return r;
  }
  bool Gone(const ScriptedServer& server, std::size_t conn = 0) {
    return Until([&] { return server.ClientClosed(conn); });
  }

  OwnerLoop loop;
  Events events;
  std::unique_ptr<SessionOwner> owner;
};

// Follows one session; may remove observers (itself too) when first told of a state.
struct Follower : SessionObserver {
  Session* session = nullptr;
  std::vector<Follower*> removeOnState;
  std::vector<SessionState> states;
  std::vector<Login> logins;
  void OnLine(TranscriptKind, std::string_view) override {}
  void OnBlockDone(Transcript::Pos) override {}
  void OnState(SessionState s) override {
    states.push_back(s);
    for (Follower* f : std::exchange(removeOnState, {})) session->RemoveObserver(*f);
  }
  void OnLoginDone(const LoginReport& r) override { logins.push_back(r.result); }
  void OnRunDone(ControlConnection::Result) override {}
};

TEST(SessionOwner, SessionsBySiteHeldUntilTheLastReleaseClosedRenamedAndDroppedFromTheirOwnReports) {
  auto server = Serve({LoginThen({Hold()}), LoginThen({Hold()}), LoginThen({Hold()})});
  Owner o;
  SessionOwner& owner = *o.owner;
  const SessionId a = owner.Open("alpha"), b = owner.Open("alpha"), quick = owner.Open();
  EXPECT_EQ(owner.Ids(), (std::vector<SessionId>{a, b, quick}));
  EXPECT_EQ(owner.FindSite("alpha"), a) << "the one opened first";
  EXPECT_EQ(owner.FindSite(""), 0u) << "a quick connect is no saved site";
  EXPECT_EQ(owner.Find(quick + 1), nullptr);

  // Observers in the order added; one removed while others are told hears no more.
  Session* s = owner.Find(a);
  Follower first, second, third;
  first.session = s, first.removeOnState = {&first, &third};
  for (Follower* f : {&first, &second, &third}) s->AddObserver(*f);
  ASSERT_TRUE(s->Connect(Owner::Request(*server)));
  ASSERT_TRUE(o.Until([&] { return !second.logins.empty(); }));
  EXPECT_EQ(first.states, std::vector<SessionState>{SessionState::Connecting});
  EXPECT_EQ(second.states, (std::vector<SessionState>{SessionState::Connecting, SessionState::LoggedIn}));
  EXPECT_TRUE(third.states.empty() && third.logins.empty() && first.logins.empty());
  EXPECT_EQ(o.events.logins, std::vector<Login>{Login::LoggedIn}) << "the owner's listeners hear it too";
  s->RemoveObserver(second);

  // A saved site's new name takes its sessions and the password typed for it.
  owner.Passwords().Set("alpha", "typed");
  owner.RenameSite("alpha", "beta");
  EXPECT_EQ(owner.FindSite("alpha"), 0u);
  EXPECT_EQ(owner.SiteOf(b), "beta");
  EXPECT_EQ(owner.Passwords().Get("beta").value_or(""), "typed");
  EXPECT_FALSE(owner.Passwords().Get("alpha"));

  // Held twice: the first release keeps the connection, the last one ends it.
  owner.Hold(a);
  owner.Release(a);
  ASSERT_NE(owner.Find(a), nullptr);
  EXPECT_FALSE(server->ClientClosed(0));
  owner.Release(a);
  EXPECT_EQ(owner.Find(a), nullptr);
  EXPECT_EQ(o.events.closed, std::vector<SessionId>{a});
  EXPECT_TRUE(o.Gone(*server, 0));

  // Closed outright whoever holds it.
  owner.Hold(b);
  owner.Close(b);
  EXPECT_EQ(owner.Find(b), nullptr);
  EXPECT_EQ(o.events.closed, (std::vector<SessionId>{a, b}));

  // Let go of by a listener while the session tells of its login, which then
  // runs a nested loop as a box does: it goes once the report is over.
  o.events.onLogin = [&](SessionId id) {
    owner.Release(id);
    o.loop.RunUntil([] { return false; }, 50ms);
  };
  ASSERT_TRUE(owner.Find(quick)->Connect(Owner::Request(*server)));
  ASSERT_TRUE(o.Until([&] { return o.events.closed.size() == 3; }));
  EXPECT_EQ(o.events.closed.back(), quick);
  EXPECT_EQ(owner.Find(quick), nullptr);
  EXPECT_TRUE(o.Gone(*server, 1));
  EXPECT_TRUE(owner.Ids().empty());
}

TEST(SessionOwner, OnlyThePolicysFingerprintsPassWithoutAPersonAndATabsAskerDecidesForItsSession) {
  const struct {
    std::vector<std::string> policy;
    int asker;  // -1: none set; else its answer
    Login result;
  } cases[] = {
      {{"ab:cd:ef:01"}, -1, Login::LoggedIn},
      {{"00", "ABCDEF01"}, -1, Login::LoggedIn},
      {{"ABCDEF02"}, -1, Login::CertificateRefused},
      {{}, -1, Login::CertificateRefused},
      {{}, 1, Login::LoggedIn},
      {{"ABCDEF01"}, 0, Login::CertificateRefused},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.policy) + " asker " + std::to_string(c.asker));
    auto server = Serve({{Send("220 hi\r\n"), ExpectLine(), Send("234 go\r\n"), ExpectLine(), Send("331 pw\r\n"),
                          ExpectLine(), Send("230 in\r\n"), Hold()}});
    Owner o({c.policy});
    Asker asker;
    asker.answer = c.asker == 1;
    const SessionId id = o.owner->Open("tls");
    if (c.asker >= 0) o.owner->SetAsker(id, &asker);
    ASSERT_TRUE(o.owner->Find(id)->Connect(Owner::Request(*server, true)));
    ASSERT_TRUE(o.Until([&] { return !o.events.logins.empty(); }));
    EXPECT_EQ(o.events.logins[0], c.result);
    EXPECT_EQ(asker.asked, c.asker >= 0 ? std::vector<std::string>{kFingerprint} : std::vector<std::string>{});
    o.owner->Close(id);
    server->WaitDone(0, 2s);
    EXPECT_EQ(server->Received(0),
              c.result == Login::LoggedIn ? "AUTH TLS\r\nUSER u\r\nPASS p\r\n" : "AUTH TLS\r\n");
  }
}

struct Rows : SiteRunner::Listener {
  std::vector<std::size_t> changed;
  void OnRowChanged(std::size_t row) override { changed.push_back(row); }
};

struct Runner {
  explicit Runner(Owner& o, SiteRunner::Options options = {}) : o(o), runner(*o.owner, rows, options) {}
  const SiteRunRow& Row(std::size_t row) const { return runner.Run().Row(row); }
  bool Ended() { return o.Until([&] { return !runner.Running(); }); }
  Owner& o;
  Rows rows;
  SiteRunner runner;
};

TEST(SiteRunner, EachRowEndsWithItsLoginFailureItsTypedRepliesOrTheReplyThatDidNotEnd) {
  std::vector<std::unique_ptr<ScriptedServer>> servers;
  servers.push_back(Serve({{Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(),
                            Send("530 Login incorrect.\r\n"), Hold()}}));
  servers.push_back(Serve({LoginThen({ExpectLine(), Send("200-first\r\n second\r\n200 end\r\n"), ExpectLine(),
                                      Send("250 two\r\n"), Hold()})}));
  servers.push_back(Serve({LoginThen({ExpectLine(), Send("200-partial\r\n200-more\r\n"), Pause(50), Close()})}));
  // A proxy that takes none of the logins offered: its words alone, and the site's next address is never tried.
  servers.push_back(Serve({{Send(std::string("\x05\xFF", 2)), Hold()}}));
  servers.push_back(Serve({LoginThen()}));
  Owner o;
  Runner r(o);
  r.runner.Begin({"refuses", "answers", "breaks", "proxied"}, {"SITE WHO", "SITE TWO"});
  for (std::size_t row = 0; row < 3; ++row) r.runner.Start(row, Owner::Request(*servers[row]));
  ConnectRequest proxied = Owner::Request(*servers[4]);
  proxied.more = {{"127.0.0.1", servers[4]->Port()}};
  proxied.proxy = Socks5Proxy{"127.0.0.1", servers[3]->Port(), "gate", "wrong"};
  r.runner.Start(3, proxied);
  ASSERT_TRUE(r.Ended());
  EXPECT_EQ(r.Row(3).reply, "the proxy refused the login");
  EXPECT_EQ(servers[4]->Connections(), 0u);

  EXPECT_EQ(r.Row(0).state, SiteRunState::Failed);
  EXPECT_EQ(r.Row(0).reply, "login refused: 530 Login incorrect.");
  EXPECT_EQ(r.Row(0).code, "530");
  ASSERT_NE(r.runner.LoginOf(0), nullptr);
  EXPECT_EQ(r.runner.LoginOf(0)->reply.code, 530);
  EXPECT_TRUE(r.Row(0).exchanges.empty());

  const SiteRunRow& done = r.Row(1);
  EXPECT_EQ(done.state, SiteRunState::Done);
  EXPECT_EQ(done.code + "|" + done.reply, "250|250 two");
  ASSERT_EQ(done.exchanges.size(), 2u);
  const Exchange& who = done.exchanges[0];
  EXPECT_EQ(who.id, 4u) << "greeting, USER and PASS count first";
  EXPECT_EQ(who.command, "SITE WHO");
  EXPECT_EQ(who.kind, TranscriptKind::Command);
  EXPECT_TRUE(who.reply.complete);
  EXPECT_EQ(who.reply.code, 200);
  EXPECT_EQ(who.reply.lineCount, 3u);
  EXPECT_EQ(who.reply.last, "200 end");
  EXPECT_EQ(done.exchanges[1].id, 5u);
  EXPECT_EQ(done.exchanges[1].command, "SITE TWO");
  const Session* session = o.owner->Find(r.runner.SessionOf(1));
  ASSERT_NE(session, nullptr) << "kept for the site";
  ASSERT_GE(done.line, 0);
  EXPECT_EQ(session->Log().Text(session->Log().LineStart(done.line), session->Log().LineStart(done.line + 1)),
            ">SITE WHO\n");

  const SiteRunRow& cut = r.Row(2);
  EXPECT_EQ(cut.state, SiteRunState::Failed);
  EXPECT_EQ(cut.reply, "dropped: the reply did not end: 200-more");
  ASSERT_EQ(cut.exchanges.size(), 1u) << "nothing after a broken reply";
  EXPECT_FALSE(cut.exchanges[0].reply.complete);
  EXPECT_EQ(cut.exchanges[0].reply.lineCount, 2u);
  EXPECT_EQ(servers[2]->Received(0), "USER u\r\nPASS p\r\nSITE WHO\r\n");
  for (std::size_t row = 0; row < 3; ++row)
    EXPECT_NE(std::find(r.rows.changed.begin(), r.rows.changed.end(), row), r.rows.changed.end()) << row;
}

TEST(SiteRunner, TimedOutRowsSayWhetherAReplyWasCutAndTheirConnectionsGo) {
  auto mute = Serve({{Hold()}});
  auto slow = Serve({LoginThen({ExpectLine(), Send("200-working\r\n"), Hold()})});
  Owner o;
  Runner r(o);
  const auto t0 = SiteRunner::Clock::now();
  r.runner.Begin({"mute", "slow"}, {"SITE SLOW"}, t0);
  r.runner.Start(0, Owner::Request(*mute));
  r.runner.Start(1, Owner::Request(*slow));
  const Session* s = o.owner->Find(r.runner.SessionOf(1));
  ASSERT_TRUE(o.Until([&] { return s->Log().Text().find("200-working") != std::string::npos; }));
  ASSERT_TRUE(o.Until([&] { return mute->Connections() == 1; })) << "a connection the timeout must close";
  EXPECT_TRUE(r.runner.TimeOut(60s, t0 + 59s).empty());
  EXPECT_EQ(r.runner.TimeOut(60s, t0 + 60s), (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(r.Row(0).reply, "timed out");
  EXPECT_EQ(r.Row(1).reply, "timed out: the reply did not end");
  EXPECT_TRUE(o.Gone(*mute));
  EXPECT_TRUE(o.Gone(*slow));
}

TEST(SiteRunner, RunnersOnOneSiteQueueOnItsConnectionAndTheKeptSessionServesTheNextRun) {
  auto server = Serve({LoginThen({ExpectLine(), Pause(100), Send("200 a1\r\n"), ExpectLine(), Send("200 a2\r\n"),
                                  ExpectLine(), Send("200 b1\r\n"), ExpectLine(), Send("200 b2\r\n"), ExpectLine(),
                                  Send("200 c\r\n"), Hold()})});
  Owner o;
  Runner first(o), second(o);
  first.runner.Begin({"site"}, {"SITE A1", "SITE A2"});
  first.runner.Start(0, Owner::Request(*server));
  second.runner.Begin({"site"}, {"SITE B1", "SITE B2"});
  EXPECT_TRUE(second.runner.HasLiveSession(0)) << "no password needed";
  second.runner.Start(0, Owner::Request(*server));
  EXPECT_EQ(second.runner.SessionOf(0), first.runner.SessionOf(0));
  ASSERT_TRUE(first.Ended() && second.Ended());
  EXPECT_EQ(first.Row(0).reply, "200 a2");
  EXPECT_EQ(second.Row(0).reply, "200 b2");
  std::string commands;
  for (const Exchange& e : second.Row(0).exchanges) commands += e.command + ";";
  EXPECT_EQ(commands, "SITE B1;SITE B2;") << "only its own replies";

  first.runner.Begin({"site"}, {"SITE C"});
  EXPECT_TRUE(first.runner.HasLiveSession(0));
  first.runner.Start(0, {});
  ASSERT_TRUE(first.Ended());
  EXPECT_EQ(first.Row(0).reply, "200 c");
  EXPECT_EQ(server->Connections(), 1u);
  EXPECT_EQ(server->Received(0), "USER u\r\nPASS p\r\nSITE A1\r\nSITE A2\r\nSITE B1\r\nSITE B2\r\nSITE C\r\n");
}

TEST(SiteRunner, AClosedSessionFailsOnlyItsRowAndATabLettingGoLeavesTheRowRunning) {
  auto one = Serve({LoginThen({ExpectLine(), Hold()})});
  auto two = Serve({LoginThen({ExpectLine(), Pause(400), Send("200 ok\r\n"), Hold()})});
  Owner o;
  const SessionId tab = o.owner->Open("two");
  Runner r(o, {true, false});
  r.runner.Begin({"one", "two"}, {"SITE X"});
  r.runner.Start(0, Owner::Request(*one));
  r.runner.Start(1, Owner::Request(*two));
  EXPECT_EQ(r.runner.SessionOf(1), tab) << "the site's open session serves";
  ASSERT_TRUE(o.Until([&] { return one->Received(0).find("SITE X") != std::string::npos; }));
  o.owner->Release(tab);
  EXPECT_NE(o.owner->Find(tab), nullptr) << "the run holds it";
  o.owner->Close(r.runner.SessionOf(0));
  EXPECT_EQ(r.Row(0).state, SiteRunState::Failed);
  EXPECT_EQ(r.Row(0).reply, "closed");
  EXPECT_FALSE(r.Row(1).Ended());
  ASSERT_TRUE(r.Ended());
  EXPECT_EQ(r.Row(1).reply, "200 ok");
  EXPECT_TRUE(o.Until([&] { return o.owner->Find(tab) == nullptr; })) << "nobody holds it once the row ended";
  EXPECT_TRUE(o.Gone(*one));
  EXPECT_TRUE(o.Gone(*two));
}

TEST(SiteRun, ExportsHandASpreadsheetNoFormula) {
  const SiteRun::Clock::time_point t0{};
  SiteRun run;
  run.Begin({"+1", "-1", "@A", "\tx", "\rx", "a=b", "q\"x,y"}, t0);
  for (std::size_t row = 0; row < 7; ++row) run.Fail(row, row == 5 ? "-ERR" : "why", {}, t0);
  EXPECT_EQ(run.TabSeparated(),
            "Site\tState\tCode\tReply\tTime\n'+1\tfailed\t\twhy\t0.0\n'-1\tfailed\t\twhy\t0.0\n"
            "'@A\tfailed\t\twhy\t0.0\n' x\tfailed\t\twhy\t0.0\n' x\tfailed\t\twhy\t0.0\na=b\tfailed\t\t'-ERR\t0.0\n"
            "q\"x,y\tfailed\t\twhy\t0.0\n");
  EXPECT_EQ(run.Csv(),
            "Site,State,Code,Reply,Time\r\n'+1,failed,,why,0.0\r\n'-1,failed,,why,0.0\r\n'@A,failed,,why,0.0\r\n"
            "'\tx,failed,,why,0.0\r\n\"'\rx\",failed,,why,0.0\r\na=b,failed,,'-ERR,0.0\r\n"
            "\"q\"\"x,y\",failed,,why,0.0\r\n");
}

}  // namespace
