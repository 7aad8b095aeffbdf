// Runs one command on several sites over the owner's sessions and keeps
// the rows of how each fared (SiteRun). Run on Sites and the command-line
// runner both drive it. A site's session that exists already serves (its
// lines queue behind whatever it runs); else a new one is opened for it.
// The runner holds each row's session while the row runs, so closing the
// tab that shows it does not end it.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "SessionOwner.h"
#include "SiteRun.h"

class SiteRunner : private SessionEvents {
 public:
  using Clock = SiteRun::Clock;

  class Listener {
   public:
    virtual ~Listener() = default;
    virtual void OnRowChanged(std::size_t row) = 0;
    // The row's session was found or opened, before anything was asked of
    // it: the place to follow its transcript.
    virtual void OnRowSession(std::size_t /*row*/, SessionId) {}
  };

  struct Options {
    // A session of the site that exists already serves the row; false: each row a new session.
    bool reuse = true;
    // A row that ends keeps holding its session, one per site, for the
    // next run and for a tab that shows the row, until Abandon or the
    // runner's end; false: a row that ends lets go of its session at once.
    bool keepSessions = true;
  };

  SiteRunner(SessionOwner& owner, Listener& listener, Options options);
  ~SiteRunner() override;  // lets go of every session it holds
  SiteRunner(const SiteRunner&) = delete;
  SiteRunner& operator=(const SiteRunner&) = delete;

  // A row per site, each "connecting"; the lines each row sends. Nothing
  // starts yet; the last run's rows are no longer followed.
  void Begin(const std::vector<std::string>& sites, std::vector<std::string> lines,
             Clock::time_point now = Clock::now());
  // Starts a row: its session connects with request when it must, and the
  // lines go once it is logged in. request.password is used only then.
  void Start(std::size_t row, const ConnectRequest& request);
  // Whether the row's site has a session that is connected or connecting:
  // it needs no password.
  bool HasLiveSession(std::size_t row) const;
  // Fails a row that has not ended, for why (its code from a server's line).
  bool Fail(std::size_t row, const std::string& why, const std::string& code = {});
  void Restart(Clock::time_point now = Clock::now()) { m_run.Restart(now); }
  // Stops following the rows and lets go of their sessions; the rows stay as they are.
  void Abandon();
  // Rows still running limit or more after their start fail "timed out"
  // and their sessions disconnect; returns those rows.
  std::vector<std::size_t> TimeOut(std::chrono::milliseconds limit, Clock::time_point now = Clock::now());

  const SiteRun& Run() const { return m_run; }
  SessionId SessionOf(std::size_t row) const { return m_tracks.at(row).session; }
  const LoginReport* LoginOf(std::size_t row) const {
    const Track& t = m_tracks.at(row);
    return t.loginDone ? &t.login : nullptr;
  }
  bool Running() const;

  // Why a login failed, as a row says it.
  static std::string LoginFailure(const LoginReport& report, std::string& code);

 private:
  struct Track {
    SessionId session = 0;
    bool held = false;
    bool connectAsked = false;
    bool sent = false;
    bool starting = false;  // Advance is connecting or sending: the session's reports wait
    bool inExchange = false;  // a command of ours is out, its reply not ended
    std::uint64_t action = 0;
    ConnectRequest request;
    bool loginDone = false;
    LoginReport login;
  };

  void Advance(std::size_t row);
  bool Ours(std::size_t row, SessionId id) const;
  void Changed(std::size_t row);
  void LetGo(std::size_t row);
  // The row has ended: its session is kept for the site, or let go.
  void Keep(std::size_t row);
  void LetGoAll();

  void OnState(SessionId id, SessionState state) override;
  void OnLoginDone(SessionId id, const LoginReport& report) override;
  void OnExchangeStarted(SessionId id, const Exchange& exchange) override;
  void OnReply(SessionId id, const Exchange& exchange, Transcript::Pos replyLine) override;
  void OnRunDone(SessionId id, ControlConnection::Result result) override;
  void OnClosed(SessionId id) override;

  SessionOwner& m_owner;
  Listener& m_listener;
  Options m_options;
  SiteRun m_run;
  std::vector<std::string> m_lines;
  std::vector<Track> m_tracks;                  // one per row
  std::map<SessionId, SessionState> m_states;   // as each session last said
  std::map<std::string, SessionId> m_kept;      // sessions held past their rows' end, by site
};
