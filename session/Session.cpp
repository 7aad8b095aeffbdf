#include "Session.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "AntiIdle.h"
#include "CommandText.h"
#include "ConnectErrors.h"
#include "Echo.h"
#include "Socket.h"

namespace {

const char kDisconnected[] = "\n>Disconnected.\n";

// Transcript handed to the owner in one go at most; a long reply reaches it
// in slices, and its thread stays free to repaint between them.
constexpr std::size_t kDeliverBudget = 4u << 20;
// ... and this much of the owner's time, so its timers and painting keep their pace.
constexpr std::chrono::milliseconds kDeliverTime{8};
// Text waiting for the owner beyond which the worker stops reading: a
// server that floods is then slowed by TCP instead of filling our memory.
// What waits is a second copy of text the transcript is about to hold, so
// the bound is kept small; 4 MiB still keeps the worker a turn ahead.
constexpr std::size_t kMaxWaiting = 4u << 20;

// Of a proxy's failures only "could not reach the site" says anything about
// the address: the others would fail the same way for every one of them.
bool MayTryNextAddress(ControlConnection::Login result, bool greeted, const ConnectError& error) {
  using Login = ControlConnection::Login;
  switch (result) {
    case Login::ConnectFailed:
      return !error.FromProxy() || error.kind == ConnectError::Kind::ProxyCannotReach;
    case Login::Dropped:
    case Login::Refused:
    case Login::TlsFailed:
      return !greeted;
    default:
      return false;
  }
}

// One line for an address that failed while others remain.
std::string WhyAddressFailed(const SiteAddress& a, ControlConnection::Login result, const ConnectError& error,
                             const std::string& failure) {
  using Login = ControlConnection::Login;
  const std::string where = (a.host.find(':') != std::string::npos ? "[" + a.host + "]" : a.host) + ":" +
                            std::to_string(a.port);
  std::string why;
  if (result == Login::ConnectFailed) {
    why = ConnectErrorLine(error) + (error.FromProxy() ? "." : "");
  } else if (result == Login::Refused) {
    why = "it turned the connection away.";
  } else if (result == Login::TlsFailed) {
    why = "the TLS handshake failed: " + failure;
  } else {
    why = "the connection broke before the greeting.";
  }
  return "Could not use " + where + ": " + why + " Trying the next address.\n";
}

}  // namespace

template <class Tell>
void Session::TellAll(Tell&& tell) {
  // An observer may add or remove observers, or itself, while it is told.
  if (m_observers.size() == 1) {
    tell(*m_observers.front());
    return;
  }
  const std::vector<SessionObserver*> now = m_observers;
  for (SessionObserver* o : now)
    if (std::find(m_observers.begin(), m_observers.end(), o) != m_observers.end()) tell(*o);
}

struct Session::Job {
  enum class Kind { Connect, Run, Close } kind;
  ConnectRequest request;
  std::vector<std::string> lines;
};

// Events on their way from the worker to the owner's thread.
struct Session::Inbox : std::enable_shared_from_this<Inbox> {
  struct Event {
    std::size_t size;  // bytes of transcript it carries
    std::function<void(Session&)> deliver;
  };
  std::mutex mutex;
  std::condition_variable drained;  // waiting text fell to the bound, or the worker must give up
  std::deque<Event> events;
  std::size_t waiting = 0;   // bytes of transcript in events
  Session* owner = nullptr;  // null once the session is gone
  bool posted = false;       // a delivery is on its way
  bool delivering = false;   // a delivery runs (boxes open nested loops)
  std::function<void()> whenQuiet;  // posted once the running delivery has returned
  Post post;

  void Push(std::size_t size, std::function<void(Session&)> deliver) {
    bool schedule = false;
    {
      std::lock_guard<std::mutex> lock(mutex);
      events.push_back({size, std::move(deliver)});
      waiting += size;
      schedule = !posted;
      posted = true;
    }
    if (schedule) Schedule();
  }

  // On the worker: holds it while more than the bound waits, until the
  // owner has taken enough or giveUp() holds.
  void WaitForRoom(const std::function<bool()>& giveUp) {
    std::unique_lock<std::mutex> lock(mutex);
    drained.wait(lock, [&] { return waiting <= kMaxWaiting || !owner || giveUp(); });
  }
  // Wakes a worker held by WaitForRoom to look at giveUp again.
  void Nudge() {
    std::lock_guard<std::mutex> lock(mutex);
    drained.notify_all();
  }

  // The posted call holds the inbox, not the session, which may be gone by then.
  void Schedule() {
    post([inbox = shared_from_this()] { inbox->Deliver(); });
  }

  // Hands events to the owner one at a time, up to the budget, then lets
  // its thread have a turn. A box an observer opens runs a nested event
  // loop: a delivery called from there leaves the events to the one running,
  // so they arrive in order.
  void Deliver() {
    std::size_t bytes = 0;
    const auto until = std::chrono::steady_clock::now() + kDeliverTime;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (delivering || !owner) {
        posted = false;
        return;
      }
      delivering = true;
    }
    std::function<void()> quiet;
    for (;;) {
      Event event;
      Session* session = nullptr;
      bool more = false;
      {
        std::lock_guard<std::mutex> lock(mutex);
        session = owner;
        if (session && !events.empty() && bytes < kDeliverBudget && std::chrono::steady_clock::now() < until) {
          event = std::move(events.front());
          events.pop_front();
          waiting -= event.size;
          if (waiting <= kMaxWaiting && waiting + event.size > kMaxWaiting) drained.notify_all();
        } else {
          delivering = false;
          more = session && !events.empty();
          posted = more;
          session = nullptr;
          quiet = std::move(whenQuiet);
          whenQuiet = nullptr;
        }
      }
      if (!session) {
        if (more) Schedule();
        if (quiet) post(std::move(quiet));
        return;
      }
      bytes += event.size;
      event.deliver(*session);  // may end the session: the loop then stops above
    }
  }
};

// The connection's transcript, from the worker into the inbox.
class Session::Relay : public TranscriptSink {
 public:
  Relay(Inbox& inbox, std::function<bool()> giveUp) : m_inbox(inbox), m_giveUp(std::move(giveUp)) {}

  void Show(TranscriptKind kind, std::string_view text) override {
    shownAt = std::chrono::steady_clock::now();
    m_lastWasDisconnect = kind == TranscriptKind::Disconnect;
    m_inbox.Push(text.size(), [kind, text = std::string(text)](Session& s) {
      if (kind == TranscriptKind::Disconnect && s.m_state == SessionState::LoggedIn && !s.m_closing)
        s.SetState(SessionState::Disconnected);  // dropped while idle
      s.ShowLine(kind, text);
    });
    m_inbox.WaitForRoom(m_giveUp);
  }
  void BlockDone() override {
    shownAt = std::chrono::steady_clock::now();
    m_inbox.Push(0, [](Session& s) { s.EndBlock(); });
  }
  void ExchangeStarted(const Exchange& exchange) override {
    shownAt = std::chrono::steady_clock::now();
    m_inbox.Push(exchange.command.size(), [exchange](Session& s) {
      const std::string echo = EchoText(exchange);
      if (!echo.empty()) s.ShowLine(exchange.kind, echo);
      s.m_replyLine = s.m_services.keepLog ? s.m_log.LineCount() - 1 : -1;
      s.TellAll([&](SessionObserver& o) { o.OnExchangeStarted(exchange); });
    });
  }
  void ExchangeEnded(const Exchange& exchange) override {
    m_inbox.Push(0, [exchange](Session& s) {
      s.m_replies.Add(exchange, s.m_replyLine);
      s.TellAll([&](SessionObserver& o) { o.OnReply(exchange, s.m_replyLine); });
    });
  }
  bool LastWasDisconnect() const { return m_lastWasDisconnect; }
  // Whatever the connection shows is a sign of progress: a wait counts from the last one.
  std::chrono::steady_clock::time_point shownAt;

 private:
  Inbox& m_inbox;
  std::function<bool()> m_giveUp;
  bool m_lastWasDisconnect = false;
};

// The idle watch, served by the worker's poll instead of an event loop.
class Session::Watcher : public LineWatch {
 public:
  Watcher(Session& session, int fd, std::function<void()> ready) : m_session(session) {
    m_session.m_watchFd = fd;
    m_session.m_ready = std::move(ready);
  }
  ~Watcher() override {
    m_session.m_watchFd = -1;
    m_session.m_watchEnabled = false;
    m_session.m_callAgain = false;
    m_session.m_ready = nullptr;
  }
  void SetEnabled(bool enabled) override { m_session.m_watchEnabled = enabled; }
  void CallAgain() override { m_session.m_callAgain = true; }

 private:
  Session& m_session;
};

Session::Session(SessionObserver& observer, Services services) : Session(std::move(services)) {
  AddObserver(observer);
}

Session::Session(Services services) : m_services(std::move(services)), m_inbox(std::make_shared<Inbox>()) {
  m_inbox->owner = this;
  m_inbox->post = m_services.post;
  m_relay = std::make_unique<Relay>(*m_inbox, [this] { return m_cancel.load(); });
  // Through the request's proxy when it has one, else as the owner connects.
  auto connect = [this](const std::string& host, unsigned port, ConnectError& error) {
    if (!m_proxy) return m_services.connect(host, port, error);
    return m_services.connectThrough ? m_services.connectThrough(*m_proxy, host, port, error)
                                     : ConnectSocks5(*m_proxy, host, port, error);
  };
  m_connection = std::make_unique<ControlConnection>(
      *m_relay, std::move(connect), [this](int fd, std::function<void()> ready) -> std::unique_ptr<LineWatch> {
        return std::make_unique<Watcher>(*this, fd, std::move(ready));
      });
  m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  m_worker = std::thread([this] { Work(); });
}

void Session::Abandon() {
  m_observers.clear();
  ClearWaiting();
  m_antiIdleOn = false;
  if (m_services.antiIdleTimer) m_services.antiIdleTimer->Stop();
  StopWorker();
}

// Every wait of the worker gives up, and it takes no job any more.
void Session::StopWorker() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
    m_jobs.clear();
  }
  m_cancel = true;
  m_answered.notify_all();
  m_inbox->Nudge();
  Wake();
}

Session::~Session() {
  StopWorker();
  m_worker.join();
  {
    std::lock_guard<std::mutex> lock(m_inbox->mutex);
    m_inbox->owner = nullptr;
  }
  if (m_wakeFd >= 0) ::close(m_wakeFd);
}

void Session::WhenQuiet(std::function<void()> call) {
  {
    std::lock_guard<std::mutex> lock(m_inbox->mutex);
    if (m_inbox->delivering) {
      m_inbox->whenQuiet = std::move(call);
      return;
    }
  }
  m_services.post(std::move(call));
}

void Session::AddObserver(SessionObserver& observer) {
  if (std::find(m_observers.begin(), m_observers.end(), &observer) == m_observers.end())
    m_observers.push_back(&observer);
}

void Session::RemoveObserver(SessionObserver& observer) { std::erase(m_observers, &observer); }

bool Session::Connect(const ConnectRequest& request) {
  if (IsWorking() || IsConnected()) return false;
  if (!ControlConnection::IsSendable(request.login) || !ControlConnection::IsSendable(request.password))
    return false;
  auto job = std::make_unique<Job>();
  job->kind = Job::Kind::Connect;
  job->request = request;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_jobs.push_back(std::move(job));
  }
  m_blockStart = -1;
  SetState(SessionState::Connecting);
  Wake();
  return true;
}

bool Session::Run(std::vector<std::string> lines) {
  if (!RunAction(m_actionCount + 1, std::move(lines))) return false;
  ++m_actionCount;
  return true;
}

bool Session::RunAction(std::uint64_t action, std::vector<std::string> lines) {
  if (m_state != SessionState::LoggedIn || m_closing || lines.empty()) return false;
  for (const std::string& line : lines)
    if (!ControlConnection::IsSendable(line)) return false;
  auto job = std::make_unique<Job>();
  job->kind = Job::Kind::Run;
  job->lines = std::move(lines);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_jobs.push_back(std::move(job));
  }
  m_runningAction = action;
  SetState(SessionState::Busy);
  Wake();
  return true;
}

void Session::Disconnect() {
  m_blockStart = -1;
  ClearWaiting();
  if (!IsWorking() && !IsConnected()) return;
  auto job = std::make_unique<Job>();
  job->kind = Job::Kind::Close;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_jobs.clear();
    m_jobs.push_back(std::move(job));
    m_cancel = true;  // every wait of the running job gives up within a slice
  }
  m_closing = true;
  m_answered.notify_all();
  m_inbox->Nudge();
  Wake();
}

Session::SendResult Session::PrepareLine(std::string& line) {
  line = StripCommandEnd(std::move(line));
  if (line.empty()) return SendResult::Empty;
  return ControlConnection::IsSendable(line) ? SendResult::Sent : SendResult::Unsendable;
}

// The owner's lines start a block afresh; the anti-idle command's go on
// in whatever block is being shown.
Session::SendResult Session::Send(std::vector<std::string> lines) {
  const SendResult result = Queue(std::move(lines));
  if (result == SendResult::Sent) m_blockStart = -1;
  return result;
}

void Session::ClearWaiting() {
  m_waiting.clear();
  m_antiIdleDue = false;
}

Session::SendResult Session::Queue(std::vector<std::string> lines, bool ahead) {
  std::vector<std::string> kept;
  bool sendable = true;
  for (std::string& line : lines) {
    const SendResult result = PrepareLine(line);
    sendable = sendable && result != SendResult::Unsendable;
    if (result != SendResult::Empty) kept.push_back(std::move(line));
  }
  if (kept.empty()) return SendResult::Empty;
  if (m_closing || (!IsConnected() && m_state != SessionState::Connecting)) return SendResult::NotReady;
  if (!sendable) return SendResult::Unsendable;
  const std::uint64_t action = ++m_actionCount;
  if (IsWorking() || (!ahead && !m_waiting.empty())) {
    m_waiting.push_back({action, std::move(kept)});
    return SendResult::Queued;
  }
  RunAction(action, std::move(kept));
  return SendResult::Sent;
}

Session::SendResult Session::SendUserCommand(const UserCommand& command,
                                             const usercommands::Arguments& arguments, std::string& whyNot) {
  const usercommands::BuiltCommand built = usercommands::BuildCommand(command.commandLines, arguments);
  if (built.problem != usercommands::BuildProblem::None) {
    whyNot = usercommands::NotSentMessage(command, arguments, built);
    return SendResult::NotBuilt;
  }
  return Send(built.siteLines);
}

void Session::SetAntiIdle(bool enabled, std::function<AntiIdleSettings()> settings) {
  if (!m_services.antiIdleTimer) return;
  m_antiIdleOn = enabled;
  m_antiIdleDue = m_antiIdleSent = false;
  std::erase_if(m_waiting, [](const Waiting& w) { return w.lines.empty(); });
  if (settings) m_antiIdleSettings = std::move(settings);
  if (enabled)
    StartAntiIdle();
  else
    m_services.antiIdleTimer->Stop();
}

void Session::StartAntiIdle() {
  m_antiIdleSent = false;
  if (!m_antiIdleOn || !m_services.antiIdleTimer) return;
  const unsigned seconds = m_antiIdleSettings ? m_antiIdleSettings().seconds : 360;
  m_services.antiIdleTimer->Start(AntiIdlePeriodMs(seconds), [this] { AntiIdleTick(); });
}

void Session::AntiIdleTick() {
  m_services.antiIdleTimer->Stop();
  if (IsWorking()) {  // periods do not pile up: one command after the exchange
    if (!m_antiIdleDue) m_waiting.emplace_back();
    m_antiIdleDue = true;
    return;
  }
  // Sent as it stands: no "SITE " in front.
  const std::string command = m_antiIdleSettings ? m_antiIdleSettings().command : std::string();
  m_antiIdleSent = Queue({command}, true) == SendResult::Sent;
  if (!m_antiIdleSent) StartAntiIdle();
}

// What waited for the session runs now, one action at a time, in order;
// without a connection it is dropped.
void Session::AfterRun() {
  if (!IsConnected() || m_closing) ClearWaiting();
  if (m_antiIdleSent && !m_antiIdleDue) StartAntiIdle();
  if (IsWorking() || m_waiting.empty()) return;
  Waiting next = std::move(m_waiting.front());
  m_waiting.pop_front();
  if (next.lines.empty()) {  // the anti-idle command that fell due
    m_antiIdleDue = false;
    if (m_antiIdleOn) AntiIdleTick();
    if (!IsWorking()) AfterRun();
    return;
  }
  m_blockStart = -1;
  RunAction(next.action, std::move(next.lines));
}

void Session::SetState(SessionState state) {
  if (state == m_state) return;
  m_state = state;
  TellAll([state](SessionObserver& o) { o.OnState(state); });
}

// On the owner's thread: the line goes into the log in its kind, then to the
// observer. A reply, and a notice that comes inside a block, go on in the
// kind of the block they belong to.
void Session::ShowLine(TranscriptKind kind, std::string_view text) {
  const Transcript::Pos before = m_log.LineCount();
  const bool closing = kind == TranscriptKind::Disconnect;
  if (closing || m_blockStart < 0) {
    m_log.SetInsertKind(kind);
    m_blockStart = before;
  } else {
    m_log.SetInsertKind(kind == TranscriptKind::Notice ? TranscriptKind::Reply : kind);
  }
  if (m_services.keepLog) m_log.AppendAtEnd(text);
  TellAll([&](SessionObserver& o) { o.OnLine(kind, text); });
  if (closing) EndBlock();  // the closing words are a block of their own
}

void Session::EndBlock() {
  const Transcript::Pos start = m_blockStart;
  m_blockStart = -1;
  TellAll([start](SessionObserver& o) { o.OnBlockDone(start); });
}

void Session::Wake() {
  const std::uint64_t one = 1;
  if (m_wakeFd >= 0) (void)!::write(m_wakeFd, &one, sizeof one);
}

void Session::Work() {
  // Waits sleep until their socket, a cancel (Wake) or the wait limit wakes them.
  const auto limit = m_services.waitLimit;
  platform::SetSocketWaitHook(
      [this, limit] {
        return !m_cancel.load() && (limit.count() <= 0 || std::chrono::steady_clock::now() - m_relay->shownAt < limit);
      },
      m_wakeFd,
      [this, limit]() -> int {
        if (limit.count() <= 0) return -1;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(limit - (std::chrono::steady_clock::now() - m_relay->shownAt));
        return static_cast<int>(std::clamp<long long>(left.count(), 0, 1 << 30));
      },
      &m_cancel);
  for (;;) {
    std::unique_ptr<Job> job;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_stop) break;
      if (!m_jobs.empty()) {
        job = std::move(m_jobs.front());
        m_jobs.pop_front();
        if (job->kind == Job::Kind::Close) m_cancel = false;  // the cancel it came with is served
      }
    }
    if (job) {
      m_relay->shownAt = std::chrono::steady_clock::now();
      RunJob(*job);
    } else {
      Watch();
    }
  }
  m_connection.reset();  // dropped without a word
}

void Session::Watch() {
  pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_watchFd, POLLIN, 0}};
  const nfds_t count = m_watchFd >= 0 && m_watchEnabled ? 2 : 1;
  const int timeout = m_callAgain && m_watchEnabled ? 0 : -1;
  if (::poll(fds, count, timeout) < 0) return;
  if (fds[0].revents) {
    std::uint64_t drained = 0;
    (void)!::read(m_wakeFd, &drained, sizeof drained);
  }
  const bool readable = count == 2 && fds[1].revents != 0;
  if ((readable || (m_callAgain && m_watchEnabled)) && m_ready) {
    m_callAgain = false;
    const std::function<void()> ready = m_ready;  // the call may end the watch
    ready();
  }
}

void Session::RunJob(Job& job) {
  switch (job.kind) {
    case Job::Kind::Connect: {
      TlsOptions tls;
      tls.start = m_services.startTls;
      tls.trust = [this](const std::string& host, unsigned port, const TlsInfo& info) {
        return AskTrust(host, port, info);
      };
      tls.implicit = job.request.implicitTls;
      ConnectError error;
      const ConnectRequest& r = job.request;
      std::vector<SiteAddress> addresses{{r.host, r.port}};
      addresses.insert(addresses.end(), r.more.begin(), r.more.end());
      ControlConnection::Login result = ControlConnection::Login::ConnectFailed;
      m_proxy = r.proxy;
      for (std::size_t i = 0; i < addresses.size(); ++i) {
        const SiteAddress& a = addresses[i];
        result = m_connection->Open(a.host, a.port, r.login, r.password, error, r.tls ? &tls : nullptr);
        if (i + 1 == addresses.size() || m_cancel || !MayTryNextAddress(result, m_connection->Greeted(), error)) break;
        m_relay->Show(TranscriptKind::Hint, WhyAddressFailed(a, result, error, m_connection->FailureText()));
        m_relay->BlockDone();
      }
      m_proxy.reset();
      // A proxy's failure is the user's to act on: it stays in the pane, not only in a box.
      if (result == ControlConnection::Login::ConnectFailed && error.FromProxy()) {
        m_relay->Show(TranscriptKind::Disconnect, ">" + ConnectErrorLine(error) + ".\n");
        m_relay->BlockDone();
      }
      const bool connected = m_connection->IsConnected();
      LoginReport report{result, error, m_connection->FailureText(), m_connection->LoginReply()};
      m_inbox->Push(0, [report = std::move(report), connected](Session& s) {
        s.SetState(connected ? SessionState::LoggedIn : SessionState::Disconnected);
        s.m_blockStart = -1;
        s.TellAll([&](SessionObserver& o) { o.OnLoginDone(report); });
        s.AfterRun();  // a period that ended while connecting
      });
      break;
    }
    case Job::Kind::Run: {
      ControlConnection::Result result = ControlConnection::Result::Done;
      for (const std::string& line : job.lines) {
        if (m_cancel) break;
        result = m_connection->Exchange(line);
        if (result != ControlConnection::Result::Done || !m_connection->IsConnected()) break;
      }
      const bool connected = m_connection->IsConnected();
      m_inbox->Push(0, [result, connected](Session& s) {
        s.SetState(connected ? SessionState::LoggedIn : SessionState::Disconnected);
        s.m_blockStart = -1;
        const std::uint64_t done = s.m_runningAction;
        s.TellAll([result](SessionObserver& o) { o.OnRunDone(result); });
        if (s.m_runningAction == done) s.m_runningAction = 0;
        s.AfterRun();
      });
      break;
    }
    case Job::Kind::Close:
      // An attempt given up while connecting has shown nothing yet.
      if (m_connection->IsConnected())
        m_connection->Close();
      else if (!m_relay->LastWasDisconnect())
        m_relay->Show(TranscriptKind::Disconnect, kDisconnected);
      m_inbox->Push(0, [](Session& s) {
        s.m_closing = false;
        s.SetState(SessionState::Disconnected);
        s.AfterRun();  // an anti-idle command given up with the connection
      });
      break;
  }
}

// On the worker: the decision is made on the owner's thread (store and
// asker belong there) while the worker waits for it, or for a cancel.
bool Session::AskTrust(const std::string& host, unsigned port, const TlsInfo& info) {
  if (info.trusted) return true;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answer = -1;
  }
  m_inbox->Push(0, [host, port, info](Session& s) {
    bool yes = false;
    if (s.m_cancel) {  // given up (or abandoned) before the question came
      s.m_answered.notify_all();
      return;
    }
    const std::string remembered = s.m_services.trustStore ? s.m_services.trustStore->Remembered(host, port) : "";
    if (!remembered.empty() && remembered == info.fingerprint) {
      yes = true;
    } else if (s.m_services.asker && s.m_services.asker->AskTrust(host, port, info, remembered)) {
      yes = true;
      if (s.m_services.trustStore) s.m_services.trustStore->Remember(host, port, info.fingerprint);
    }
    {
      std::lock_guard<std::mutex> lock(s.m_mutex);
      s.m_answer = yes ? 1 : 0;
    }
    s.m_answered.notify_all();
  });
  std::unique_lock<std::mutex> lock(m_mutex);
  m_answered.wait(lock, [this] { return m_answer >= 0 || m_cancel || m_stop; });
  return m_answer == 1;
}
