// Every session of the program, by id and by saved site. Tabs, Run on Sites
// and the runner are peers over it: each holds the sessions it uses, and a
// session goes when the last holder lets go (or when it is closed outright).
// It raises each session's typed events with the session's id, keeps the
// passwords typed this run, and answers certificate questions for sessions
// no person watches.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Session.h"
#include "SessionLog.h"
#include "SitePasswords.h"

using SessionId = std::uint64_t;  // from 1; 0 is none

// What the owner tells about all its sessions, on the owner's thread.
class SessionEvents {
 public:
  virtual ~SessionEvents() = default;
  virtual void OnState(SessionId, SessionState) {}
  virtual void OnLoginDone(SessionId, const LoginReport&) {}
  virtual void OnExchangeStarted(SessionId, const Exchange&) {}
  virtual void OnReply(SessionId, const Exchange&, Transcript::Pos /*replyLine*/) {}
  virtual void OnRunDone(SessionId, ControlConnection::Result) {}
  // The session is about to go; it is still there to read.
  virtual void OnClosed(SessionId) {}
};

class SessionOwner {
 public:
  struct Services {
    Session::Post post;
    ControlConnection::Connector connect;
    Session::ConnectThrough connectThrough;  // a request with a proxy; none: ConnectSocks5
    Session::StartTls startTls;
    TrustStore* trustStore = nullptr;
    // A person who decides about certificates the system does not vouch
    // for; none: the trust policy decides.
    TrustAsker* asker = nullptr;
    // Makes each session's anti-idle timer; none: no anti-idle command.
    std::function<std::unique_ptr<Timer>()> makeTimer;
    std::chrono::milliseconds waitLimit{0};
    bool keepLog = true;
    // Called on each new session's log: how much of it to keep, say.
    std::function<void(Transcript&)> prepareLog;
    // Where KeepLog writes; empty: DefaultLogFolder() as it stands then.
    std::string logFolder;
    // A session's log could not be written, with the words why (once per
    // KeepLog; the session goes on without it). None: one line in the
    // session's transcript, in the disconnect colour.
    std::function<void(SessionId, const std::string& why)> logFailed;
  };
  // Without a person to ask: a certificate passes when the system trusts
  // it, when it was trusted before, or when its fingerprint is one of these
  // (hex, upper case, no colons); every other is refused.
  struct TrustPolicy {
    std::vector<std::string> fingerprints;
  };

  explicit SessionOwner(Services services, TrustPolicy policy = {});
  // Every session goes at once, without a word to the servers.
  ~SessionOwner();
  SessionOwner(const SessionOwner&) = delete;
  SessionOwner& operator=(const SessionOwner&) = delete;

  // A new session, held once by the caller; site names the saved site it
  // is for (empty: a quick connect).
  SessionId Open(const std::string& site = {});
  Session* Find(SessionId id);
  const Session* Find(SessionId id) const;
  // The session of the saved site (the one opened first), or 0.
  SessionId FindSite(const std::string& site) const;
  const std::string& SiteOf(SessionId id) const;
  std::vector<SessionId> Ids() const;

  void Hold(SessionId id);
  // The last holder's release drops the session.
  void Release(SessionId id);
  // The same once the call under way has returned: every observer still
  // hears the report that made the holder let go.
  void ReleaseSoon(SessionId id);
  // Drops the session whoever holds it; the holders hear OnClosed.
  void Close(SessionId id);
  // The saved site the session is for from now on (empty: none).
  void SetSite(SessionId id, const std::string& site);
  // A saved site's new name: its sessions and typed password follow.
  void RenameSite(const std::string& from, const std::string& to);

  // From now on the session's transcript goes to a log on disk under name
  // (a saved site's, or LOGIN@HOST; see SessionLog.h); a log kept already
  // goes on under the new name. chosen: the person decided for this session
  // (LogChosen), so a site's own setting no longer decides for it.
  void KeepLog(SessionId id, const std::string& name, bool chosen = false);
  void StopLog(SessionId id, bool chosen = false);
  bool KeepsLog(SessionId id) const;
  bool LogChosen(SessionId id) const;
  // The folder the logs of name go to.
  std::string LogFolderOf(const std::string& name) const;

  // Who answers the session's certificate questions while it is set (a
  // tab showing it); nullptr: the owner's asker again.
  void SetAsker(SessionId id, TrustAsker* asker);

  void AddEvents(SessionEvents& events);
  void RemoveEvents(SessionEvents& events);

  // What the user typed for saved sites in this run of the program.
  SitePasswords& Passwords() { return m_passwords; }
  // The same for saved sites' proxies: a password typed for a site's proxy.
  SitePasswords& ProxyPasswords() { return m_proxyPasswords; }

 private:
  class Entry;
  void Drop(SessionId id);
  std::string LogRoot() const;
  template <class F>
  void Tell(F&& tell);

  Services m_services;
  TrustPolicy m_policy;
  SitePasswords m_passwords;
  SitePasswords m_proxyPasswords;
  std::vector<SessionEvents*> m_events;
  SessionId m_lastId = 0;
  std::map<SessionId, std::unique_ptr<Entry>> m_sessions;
  std::shared_ptr<SessionOwner*> m_self = std::make_shared<SessionOwner*>(this);  // for calls posted to later
};
