#include "SessionOwner.h"

#include <algorithm>
#include <cctype>

namespace {

// Fingerprints compare without their colons, in upper case.
std::string Plain(const std::string& fingerprint) {
  std::string plain;
  for (char c : fingerprint)
    if (c != ':') plain += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return plain;
}

}  // namespace

template <class F>
void SessionOwner::Tell(F&& tell) {
  // A listener may add or remove listeners, itself included, while it is told.
  const std::vector<SessionEvents*> now = m_events;
  for (SessionEvents* e : now)
    if (std::find(m_events.begin(), m_events.end(), e) != m_events.end()) tell(*e);
}

// One session with what belongs to it: its holders' count, its timer, who
// answers its certificate questions. It hears the session's events first
// and raises them, with the id, to the owner's listeners.
class SessionOwner::Entry : public SessionObserver, public TrustAsker {
 public:
  Entry(SessionOwner& owner, SessionId id, std::string site) : m_owner(owner), id(id), site(std::move(site)) {
    if (owner.m_services.makeTimer) timer = owner.m_services.makeTimer();
    Session::Services services;
    services.post = owner.m_services.post;
    services.connect = owner.m_services.connect;
    services.connectThrough = owner.m_services.connectThrough;
    services.startTls = owner.m_services.startTls;
    services.trustStore = owner.m_services.trustStore;
    services.asker = this;
    services.antiIdleTimer = timer.get();
    services.waitLimit = owner.m_services.waitLimit;
    services.keepLog = owner.m_services.keepLog;
    session = std::make_unique<Session>(static_cast<SessionObserver&>(*this), std::move(services));
    if (owner.m_services.prepareLog) owner.m_services.prepareLog(session->Log());
  }

  // Every piece the session shows passes here once, in order, as it comes.
  void OnLine(TranscriptKind, std::string_view text) override {
    if (!log || log->Add(text)) return;
    const std::string why = log->Failure();
    log.reset();  // the session goes on without it
    if (m_owner.m_services.logFailed) return m_owner.m_services.logFailed(id, why);
    Transcript& shown = session->Log();
    const TranscriptKind kind = shown.InsertKind();
    shown.SetInsertKind(TranscriptKind::Disconnect);
    shown.AppendAtEnd("\n>" + why + "\n");
    shown.SetInsertKind(kind);  // the block it came in goes on in its own colour
  }
  void OnBlockDone(Transcript::Pos) override {}
  void OnState(SessionState state) override {
    m_owner.Tell([&](SessionEvents& e) { e.OnState(id, state); });
  }
  void OnLoginDone(const LoginReport& report) override {
    m_owner.Tell([&](SessionEvents& e) { e.OnLoginDone(id, report); });
  }
  void OnRunDone(ControlConnection::Result result) override {
    m_owner.Tell([&](SessionEvents& e) { e.OnRunDone(id, result); });
  }
  void OnExchangeStarted(const Exchange& exchange) override {
    m_owner.Tell([&](SessionEvents& e) { e.OnExchangeStarted(id, exchange); });
  }
  void OnReply(const Exchange& exchange, Transcript::Pos replyLine) override {
    m_owner.Tell([&](SessionEvents& e) { e.OnReply(id, exchange, replyLine); });
  }

  bool AskTrust(const std::string& host, unsigned port, const TlsInfo& info, const std::string& remembered) override {
    if (asker) return asker->AskTrust(host, port, info, remembered);
    if (m_owner.m_services.asker) return m_owner.m_services.asker->AskTrust(host, port, info, remembered);
    const std::string wanted = Plain(info.fingerprint);
    const auto& given = m_owner.m_policy.fingerprints;
    return std::any_of(given.begin(), given.end(), [&](const std::string& f) { return Plain(f) == wanted; });
  }

 private:
  SessionOwner& m_owner;

 public:
  const SessionId id;
  std::string site;
  int holds = 1;
  TrustAsker* asker = nullptr;
  std::unique_ptr<Timer> timer;
  std::unique_ptr<SessionLog> log;
  std::string logName;
  bool logChosen = false;
  std::unique_ptr<Session> session;  // last: it goes first
};

SessionOwner::SessionOwner(Services services, TrustPolicy policy)
    : m_services(std::move(services)), m_policy(std::move(policy)) {}

SessionOwner::~SessionOwner() {
  m_events.clear();
  m_sessions.clear();
}

SessionId SessionOwner::Open(const std::string& site) {
  const SessionId id = ++m_lastId;
  m_sessions.emplace(id, std::make_unique<Entry>(*this, id, site));
  return id;
}

Session* SessionOwner::Find(SessionId id) {
  const auto it = m_sessions.find(id);
  return it == m_sessions.end() ? nullptr : it->second->session.get();
}

const Session* SessionOwner::Find(SessionId id) const {
  const auto it = m_sessions.find(id);
  return it == m_sessions.end() ? nullptr : it->second->session.get();
}

SessionId SessionOwner::FindSite(const std::string& site) const {
  if (site.empty()) return 0;
  for (const auto& [id, entry] : m_sessions)
    if (entry->site == site) return id;
  return 0;
}

const std::string& SessionOwner::SiteOf(SessionId id) const {
  static const std::string none;
  const auto it = m_sessions.find(id);
  return it == m_sessions.end() ? none : it->second->site;
}

std::vector<SessionId> SessionOwner::Ids() const {
  std::vector<SessionId> ids;
  for (const auto& [id, entry] : m_sessions) ids.push_back(id);
  return ids;
}

void SessionOwner::Hold(SessionId id) {
  if (const auto it = m_sessions.find(id); it != m_sessions.end()) ++it->second->holds;
}

void SessionOwner::Release(SessionId id) {
  const auto it = m_sessions.find(id);
  if (it != m_sessions.end() && --it->second->holds <= 0) Drop(id);
}

void SessionOwner::ReleaseSoon(SessionId id) {
  m_services.post([self = std::weak_ptr<SessionOwner*>(m_self), id] {
    if (const auto owner = self.lock()) (*owner)->Release(id);
  });
}

void SessionOwner::Close(SessionId id) {
  if (m_sessions.count(id)) Drop(id);
}

void SessionOwner::Drop(SessionId id) {
  Tell([id](SessionEvents& e) { e.OnClosed(id); });
  const auto it = m_sessions.find(id);
  if (it == m_sessions.end()) return;  // a listener dropped it meanwhile
  std::shared_ptr<Entry> entry(std::move(it->second));
  m_sessions.erase(it);
  // The connection stops now; the object goes once the call that got us
  // here (perhaps one of the session's own reports) has returned.
  entry->session->Abandon();
  entry->log.reset();  // nothing more comes: the file closes now
  Session& session = *entry->session;
  session.WhenQuiet([entry] {});
}

void SessionOwner::RenameSite(const std::string& from, const std::string& to) {
  for (auto& [id, entry] : m_sessions) {
    if (entry->site != from) continue;
    entry->site = to;
    if (entry->log && entry->logName == from) KeepLog(id, to, entry->logChosen);
  }
  m_passwords.Rename(from, to);
  m_proxyPasswords.Rename(from, to);
}

void SessionOwner::KeepLog(SessionId id, const std::string& name, bool chosen) {
  const auto it = m_sessions.find(id);
  if (it == m_sessions.end()) return;
  Entry& entry = *it->second;
  entry.logChosen = entry.logChosen || chosen;
  if (entry.log && entry.logName == name) return;
  entry.log = std::make_unique<SessionLog>(LogRoot(), name);
  entry.logName = name;
}

void SessionOwner::StopLog(SessionId id, bool chosen) {
  const auto it = m_sessions.find(id);
  if (it == m_sessions.end()) return;
  it->second->logChosen = it->second->logChosen || chosen;
  it->second->log.reset();
}

bool SessionOwner::KeepsLog(SessionId id) const {
  const auto it = m_sessions.find(id);
  return it != m_sessions.end() && it->second->log;
}

bool SessionOwner::LogChosen(SessionId id) const {
  const auto it = m_sessions.find(id);
  return it != m_sessions.end() && it->second->logChosen;
}

std::string SessionOwner::LogFolderOf(const std::string& name) const {
  return LogRoot() + "/" + LogName(name);
}

std::string SessionOwner::LogRoot() const {
  return m_services.logFolder.empty() ? DefaultLogFolder() : m_services.logFolder;
}

void SessionOwner::SetSite(SessionId id, const std::string& site) {
  if (const auto it = m_sessions.find(id); it != m_sessions.end()) it->second->site = site;
}

void SessionOwner::SetAsker(SessionId id, TrustAsker* asker) {
  if (const auto it = m_sessions.find(id); it != m_sessions.end()) it->second->asker = asker;
}

void SessionOwner::AddEvents(SessionEvents& events) {
  if (std::find(m_events.begin(), m_events.end(), &events) == m_events.end()) m_events.push_back(&events);
}

void SessionOwner::RemoveEvents(SessionEvents& events) { std::erase(m_events, &events); }
