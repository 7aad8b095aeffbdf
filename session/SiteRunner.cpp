#include "SiteRunner.h"

#include "ConnectErrors.h"

#include <utility>

namespace {
const char kClosed[] = "closed";
const char kDropped[] = "dropped";
}  // namespace

SiteRunner::SiteRunner(SessionOwner& owner, Listener& listener, Options options)
    : m_owner(owner), m_listener(listener), m_options(options) {
  m_owner.AddEvents(*this);
}

SiteRunner::~SiteRunner() {
  m_owner.RemoveEvents(*this);
  Abandon();
}

void SiteRunner::Begin(const std::vector<std::string>& sites, std::vector<std::string> lines, Clock::time_point now) {
  for (std::size_t row = 0; row < m_tracks.size(); ++row) Keep(row);
  m_run.Begin(sites, now);
  m_lines = std::move(lines);
  m_tracks.assign(sites.size(), Track{});
}

bool SiteRunner::Running() const {
  for (const SiteRunRow& r : m_run.Rows())
    if (!r.Ended()) return true;
  return false;
}

bool SiteRunner::HasLiveSession(std::size_t row) const {
  const SessionId id = m_options.reuse ? m_owner.FindSite(m_run.Row(row).site) : 0;
  const Session* s = id ? std::as_const(m_owner).Find(id) : nullptr;
  return s && (s->IsConnected() || s->State() == SessionState::Connecting);
}

void SiteRunner::Start(std::size_t row, const ConnectRequest& request) {
  if (m_run.Row(row).Ended()) return;
  Track& t = m_tracks.at(row);
  t.request = request;
  const std::string& site = m_run.Row(row).site;
  SessionId id = m_options.reuse ? m_owner.FindSite(site) : 0;
  if (const auto kept = m_kept.find(site); kept != m_kept.end() && kept->second == id) {
    m_kept.erase(kept);  // its hold is the row's now
  } else if (id) {
    m_owner.Hold(id);
  } else {
    id = m_owner.Open(site);
  }
  t.session = id;
  t.held = true;
  m_states[id] = m_owner.Find(id)->State();
  m_listener.OnRowSession(row, id);
  Advance(row);
}

// Takes the row one step further, as far as its session's state allows.
void SiteRunner::Advance(std::size_t row) {
  if (m_run.Row(row).Ended()) return;
  Track& t = m_tracks[row];
  Session* s = t.session ? m_owner.Find(t.session) : nullptr;
  if (!s) {
    Fail(row, kClosed);
    return;
  }
  if (t.sent || t.starting) return;
  if (s->IsClosing()) return;  // its state change brings the row back here
  // Connect tells its state change at once, which comes back here.
  struct Starting {
    bool& flag;
    explicit Starting(bool& f) : flag(f) { flag = true; }
    ~Starting() { flag = false; }
  } starting(t.starting);
  if (!s->IsConnected() && s->State() != SessionState::Connecting) {
    t.connectAsked = true;
    if (!s->Connect(t.request)) {
      Fail(row, "could not start to connect");
      return;
    }
    t.request.password.clear();  // held no longer than needed
  }
  // While it logs in or runs another's lines, ours wait in its queue.
  const Session::SendResult result = s->Send(m_lines);
  if (result != Session::SendResult::Sent && result != Session::SendResult::Queued) {
    Fail(row, "not sent: the session was not ready");
    return;
  }
  t.sent = true;
  t.action = s->LastAction();
  if (s->IsConnected() && m_run.Waiting(row)) Changed(row);
}

bool SiteRunner::Ours(std::size_t row, SessionId id) const {
  return m_tracks[row].session == id && !m_run.Row(row).Ended();
}

void SiteRunner::Changed(std::size_t row) { m_listener.OnRowChanged(row); }

bool SiteRunner::Fail(std::size_t row, const std::string& why, const std::string& code) {
  if (!m_run.Fail(row, why, code)) return false;
  Keep(row);
  Changed(row);
  return true;
}

void SiteRunner::Keep(std::size_t row) {
  Track& t = m_tracks[row];
  if (!m_options.keepSessions || !t.held) {
    // Those who follow the session still hear the report that ended the row.
    t.request.password.clear();
    if (t.held) m_owner.ReleaseSoon(t.session);
    t.held = false;
    return;
  }
  t.request.password.clear();
  t.held = false;
  SessionId& kept = m_kept[m_run.Row(row).site];
  if (kept == t.session) {
    m_owner.Release(t.session);  // one hold per site is enough
  } else {
    if (kept) m_owner.Release(kept);
    kept = t.session;
  }
}

void SiteRunner::LetGo(std::size_t row) {
  Track& t = m_tracks[row];
  t.request.password.clear();
  if (!t.held) return;
  t.held = false;
  m_owner.Release(t.session);
}

void SiteRunner::LetGoAll() {
  for (std::size_t row = 0; row < m_tracks.size(); ++row) LetGo(row);
}

void SiteRunner::Abandon() {
  LetGoAll();
  for (const auto& [site, id] : std::exchange(m_kept, {})) m_owner.Release(id);
  for (Track& t : m_tracks) t.session = 0;
  m_states.clear();
}

std::vector<std::size_t> SiteRunner::TimeOut(std::chrono::milliseconds limit, Clock::time_point now) {
  std::vector<std::size_t> late;
  for (std::size_t row = 0; row < m_tracks.size(); ++row) {
    const SiteRunRow& r = m_run.Row(row);
    if (r.Ended() || now - r.started < limit) continue;
    Track& t = m_tracks[row];
    Session* s = t.session ? m_owner.Find(t.session) : nullptr;
    const bool cutShort = t.inExchange && s && s->RunningAction() == t.action;
    if (!m_run.Fail(row, cutShort ? "timed out: the reply did not end" : "timed out", {}, now)) continue;
    late.push_back(row);
    // Whatever it waits for (a greeting, a reply) is not coming: the line goes.
    if (s && (s->IsWorking() || s->IsConnected())) s->Disconnect();
    Keep(row);
    Changed(row);
  }
  return late;
}

std::string SiteRunner::LoginFailure(const LoginReport& report, std::string& code) {
  using Login = ControlConnection::Login;
  code.clear();
  switch (report.result) {
    case Login::Refused:
      if (report.reply.code >= 0) code = report.reply.last.substr(0, 3);
      return "login refused: " + report.reply.last;
    case Login::ConnectFailed:
      // A proxy's failure is the proxy's, not the addresses'.
      if (report.connectError.FromProxy()) return ConnectErrorLine(report.connectError);
      return "no address answered: " + ConnectErrorLine(report.connectError);
    case Login::TlsRefused:
      code = ReplyCode(report.failure);
      return "TLS refused: " + report.failure;
    case Login::TlsFailed:
      return "TLS failed: " + report.failure;
    case Login::CertificateRefused:
      return "TLS failed: the server's certificate was not accepted";
    case Login::Dropped:
      return kDropped;
    case Login::Abandoned:
      return "connect given up";
    case Login::Unsendable:
      return "the login or the password holds a line break";
    case Login::LoggedIn:
      break;
  }
  return {};
}

void SiteRunner::OnState(SessionId id, SessionState state) {
  const auto known = m_states.find(id);
  if (known == m_states.end()) return;
  const SessionState before = known->second;
  known->second = state;
  for (std::size_t row = 0; row < m_tracks.size(); ++row) {
    if (!Ours(row, id)) continue;
    Track& t = m_tracks[row];
    if (!t.sent) {
      if (state != SessionState::Busy) Advance(row);  // the session it waited for is free now
      continue;
    }
    if (state != SessionState::Disconnected) continue;
    // A login that ends, or our own run, reports right after this; a drop
    // while our lines waited behind another's run does not.
    Session* s = m_owner.Find(id);
    if (before == SessionState::Connecting || (s && s->RunningAction() == t.action)) continue;
    Fail(row, kDropped);
  }
}

void SiteRunner::OnLoginDone(SessionId id, const LoginReport& report) {
  for (std::size_t row = 0; row < m_tracks.size(); ++row) {
    if (!Ours(row, id) || !m_tracks[row].sent) continue;
    Track& t = m_tracks[row];
    t.loginDone = true;
    t.login = report;
    if (report.result == ControlConnection::Login::LoggedIn) {
      if (m_run.Waiting(row)) Changed(row);
      continue;
    }
    std::string code;
    const std::string why = LoginFailure(report, code);
    Fail(row, why, code);
  }
}

void SiteRunner::OnExchangeStarted(SessionId id, const Exchange& exchange) {
  const Session* s = m_owner.Find(id);
  if (!s || exchange.kind != TranscriptKind::Command) return;
  for (std::size_t row = 0; row < m_tracks.size(); ++row)
    if (Ours(row, id) && m_tracks[row].sent && s->RunningAction() == m_tracks[row].action)
      m_tracks[row].inExchange = true;
}

void SiteRunner::OnReply(SessionId id, const Exchange& exchange, Transcript::Pos replyLine) {
  const Session* s = m_owner.Find(id);
  if (!s || exchange.kind != TranscriptKind::Command) return;
  for (std::size_t row = 0; row < m_tracks.size(); ++row) {
    Track& t = m_tracks[row];
    if (!Ours(row, id) || !t.sent || s->RunningAction() != t.action) continue;
    t.inExchange = false;
    // The first command's echo: where a tab shows the row's replies.
    if (m_run.Row(row).exchanges.empty() && replyLine > 0) m_run.SetLine(row, static_cast<long>(replyLine - 1));
    m_run.AddExchange(row, exchange);
  }
}

void SiteRunner::OnRunDone(SessionId id, ControlConnection::Result result) {
  const Session* s = m_owner.Find(id);
  if (!s) return;
  for (std::size_t row = 0; row < m_tracks.size(); ++row) {
    Track& t = m_tracks[row];
    if (!Ours(row, id) || !t.sent || s->RunningAction() != t.action) continue;
    const std::vector<Exchange>& done = m_run.Row(row).exchanges;
    // A reply that broke off ends the run as dropped: say what came of it.
    const bool cut = !done.empty() && !done.back().reply.complete && done.back().reply.lineCount > 0;
    if (cut) {
      Fail(row, "dropped: the reply did not end: " + done.back().reply.last);
    } else if (result != ControlConnection::Result::Done || done.empty()) {
      Fail(row, kDropped);
    } else {
      m_run.Done(row, done.back().reply.last);
      Keep(row);
      Changed(row);
    }
  }
}

void SiteRunner::OnClosed(SessionId id) {
  m_states.erase(id);
  std::erase_if(m_kept, [id](const auto& kept) { return kept.second == id; });
  for (std::size_t row = 0; row < m_tracks.size(); ++row) {
    if (m_tracks[row].session != id) continue;
    m_tracks[row].held = false;  // the owner lets go of it for us
    if (!m_run.Row(row).Ended()) Fail(row, kClosed);
  }
}
