// One connection to one site, without a window. The session runs its control
// connection on a worker thread of its own, so whoever owns it (the window,
// a script) never waits on the network; everything it has to tell comes back
// to the owner's thread through `Post`, in the order it happened.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "CommandList.h"
#include "ControlConnection.h"
#include "Exchange.h"
#include "ReplyIndex.h"
#include "SecureLogin.h"
#include "Socks5.h"
#include "Transcript.h"

enum class SessionState {
  NotConnected,  // nothing happened yet
  Connecting,    // connect, greeting, TLS or login under way
  LoggedIn,      // idle and connected
  Busy,          // an exchange runs
  Disconnected,  // the connection ended (or never came about)
};

// How a connect attempt ended.
struct LoginReport {
  ControlConnection::Login result = ControlConnection::Login::ConnectFailed;
  ConnectError connectError;  // with ConnectFailed: why the last address could not be reached
  std::string failure;        // with TlsRefused and TlsFailed: the server's line or the TLS library's words
  Reply reply;                // the login's last reply (a refusal's words), empty before a greeting
};

// What the session tells those who follow it, always on the owner's thread.
class SessionObserver {
 public:
  virtual ~SessionObserver() = default;
  // A piece of the transcript, line ends included, just added to the
  // session's Log(): exactly the text the pane shows.
  virtual void OnLine(TranscriptKind kind, std::string_view text) = 0;
  // One reply, one batch of notices, or the closing words are complete: the
  // view may follow them. linesBefore is Log()'s line count when the block
  // began, -1 when nothing was shown since the last one.
  virtual void OnBlockDone(Transcript::Pos linesBefore) = 0;
  virtual void OnState(SessionState state) = 0;
  virtual void OnLoginDone(const LoginReport& report) = 0;
  // The lines of one Run have all been sent (or the run stopped).
  virtual void OnRunDone(ControlConnection::Result result) = 0;
  // A command goes out; its echo is in the log already.
  virtual void OnExchangeStarted(const Exchange&) {}
  // Its reply has ended. replyLine: the log's line where the reply's text
  // begins (-1 without a log); the lines are there, not copied here.
  virtual void OnReply(const Exchange&, Transcript::Pos /*replyLine*/) {}
};

// Decides about a certificate the system does not vouch for; called on the
// owner's thread while the worker waits.
class TrustAsker {
 public:
  virtual ~TrustAsker() = default;
  // remembered is empty for a certificate never seen, else the fingerprint
  // trusted before (the certificate has changed).
  virtual bool AskTrust(const std::string& host, unsigned port, const TlsInfo& info,
                        const std::string& remembered) = 0;
};

// Fingerprints the user has trusted, per host and port.
class TrustStore {
 public:
  virtual ~TrustStore() = default;
  virtual std::string Remembered(const std::string& host, unsigned port) = 0;
  virtual void Remember(const std::string& host, unsigned port, const std::string& fingerprint) = 0;
};

// A timer on the owner's thread that calls tick once after each Start.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void Start(unsigned milliseconds, std::function<void()> tick) = 0;
  virtual void Stop() = 0;
};

// What the anti-idle command is at the moment it falls due.
struct AntiIdleSettings {
  std::string command;
  unsigned seconds = 360;
};

struct SiteAddress {
  std::string host;
  unsigned port = 21;
};

struct ConnectRequest {
  std::string host;
  unsigned port = 21;
  std::string login;
  std::string password;
  bool tls = false;
  bool implicitTls = false;  // with tls: TLS from the first byte instead of AUTH TLS
  // Further addresses of the same site (bouncers), tried in order when one
  // can't be reached or turns the connection away before the login. A
  // refused login or certificate ends the attempt: the next address would
  // hear the same.
  std::vector<SiteAddress> more;
  // A saved site's SOCKS5 proxy: every address goes through it, in order;
  // none: direct.
  std::optional<Socks5Proxy> proxy;
};

class Session {
 public:
  // Runs a function on the owner's thread, soon; callable from any thread.
  using Post = std::function<void(std::function<void()>)>;
  using StartTls = std::function<TlsStart(std::unique_ptr<Transport>&, const std::string& host, TlsInfo& info,
                                          std::string& error)>;
  using ConnectThrough = std::function<std::unique_ptr<Transport>(const Socks5Proxy&, const std::string& host,
                                                                  unsigned port, ConnectError& error)>;

  struct Services {
    Post post;
    ControlConnection::Connector connect;
    // A request with a proxy connects through this; none: ConnectSocks5.
    ConnectThrough connectThrough;
    StartTls startTls;
    TrustStore* trustStore = nullptr;  // none: nothing is remembered
    TrustAsker* asker = nullptr;       // none: only certificates the system trusts pass
    Timer* antiIdleTimer = nullptr;    // none: no anti-idle command
    // Longest a wait may go on with nothing shown (connect, greeting, reply); zero: no limit.
    std::chrono::milliseconds waitLimit{0};
    // False: Log() stays empty, for owners that print each piece as it comes
    // and never read it back (the command-line runner).
    bool keepLog = true;
  };

  explicit Session(Services services);
  Session(SessionObserver& observer, Services services);
  // Drops the connection at once, without a word to the server.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Observers are told in the order they were added; one removed while
  // the session is telling others is not told any more.
  void AddObserver(SessionObserver& observer);
  void RemoveObserver(SessionObserver& observer);

  // Starts connecting and logging in; false (nothing done) unless idle and
  // not connected, or when the login or password holds CR, LF or NUL.
  bool Connect(const ConnectRequest& request);
  // Sends the lines one exchange at a time, in order; false (nothing done)
  // unless logged in and idle, or when a line holds CR, LF or NUL.
  bool Run(std::vector<std::string> lines);
  // Ends the connection or the attempt at once, whatever waits.
  void Disconnect();
  // Gives up every wait at once and tells nobody anything any more; the
  // connection goes without a word to the server. For an owner that lets
  // go of the session while the session is telling someone something: it
  // destroys the session a moment later.
  void Abandon();

  enum class SendResult {
    Sent,
    Queued,      // the session works (login or exchange): the lines go once it is done, in order
    Empty,       // nothing left after the trim: nothing done
    NotReady,    // not connected or connecting, or a disconnect is under way
    Unsendable,  // a line holds CR, LF or NUL: nothing sent
    NotBuilt,    // a user command that cannot go out whole: nothing sent
  };
  // The send rules for the lines of one action: each loses its trailing
  // blanks and control bytes, empty ones are dropped, and no line goes out
  // unless all can. An action sent while the session works waits for the
  // running exchange (or login) to end; Disconnect, a failed login or a
  // dropped connection clears what waits.
  SendResult Send(std::vector<std::string> lines);
  // A command from the command list with its arguments put in. Every line
  // is built and checked before the first goes out; when one can't be,
  // nothing is sent and whyNot says why, connected or not.
  SendResult SendUserCommand(const UserCommand& command, const usercommands::Arguments& arguments,
                             std::string& whyNot);
  // The same rules for one line, for owners that check their lines before
  // they connect: Sent means the trimmed line can go.
  static SendResult PrepareLine(std::string& line);
  // A raw command as typed, with "SITE " in front when asked for.
  static std::string RawCommand(const std::string& text, bool autoSite) {
    return autoSite ? "SITE " + text : text;
  }

  // Each action Send took (sent or queued) and each Run has an id, from 1.
  // LastAction: the one taken last; RunningAction: the one whose lines run
  // now, still during its OnRunDone (0: none).
  std::uint64_t LastAction() const { return m_actionCount; }
  std::uint64_t RunningAction() const { return m_runningAction; }

  // The anti-idle command, sent every period while logged in. A period that
  // ends while an exchange runs sends it once that exchange has ended; the
  // next period starts when the anti-idle exchange has ended. settings is
  // asked each time, so the command and period go as they stand then.
  void SetAntiIdle(bool enabled, std::function<AntiIdleSettings()> settings = {});

  // Everything the session has shown, each piece with its kind; its owner's
  // words (a banner, a note) go in here too. Only the owner's thread touches it.
  Transcript& Log() { return m_log; }
  const Transcript& Log() const { return m_log; }
  // Where the owner's commands' replies stand in Log().
  const ReplyIndex& Replies() const { return m_replies; }

  SessionState State() const { return m_state; }
  bool IsConnected() const { return m_state == SessionState::LoggedIn || m_state == SessionState::Busy; }
  // A Disconnect is on its way.
  bool IsClosing() const { return m_closing; }
  // Posts call once no report of the session is being told any more (a box
  // one opened may wait in a nested event loop): the moment it may be destroyed.
  void WhenQuiet(std::function<void()> call);
  // Connecting, exchanging or closing: the session starts nothing else meanwhile.
  bool IsWorking() const {
    return m_closing || m_state == SessionState::Connecting || m_state == SessionState::Busy;
  }

 private:
  struct Job;
  struct Inbox;
  class Relay;
  class Watcher;

  void Work();
  void StopWorker();
  void RunJob(Job& job);
  void Watch();
  void Wake();
  void SetState(SessionState state);
  void ShowLine(TranscriptKind kind, std::string_view text);
  // Calls tell on every observer, as the list stands now.
  template <class Tell>
  void TellAll(Tell&& tell);
  void EndBlock();
  // ahead: before what waits (the anti-idle command that fell due).
  SendResult Queue(std::vector<std::string> lines, bool ahead = false);
  bool AskTrust(const std::string& host, unsigned port, const TlsInfo& info);
  void AntiIdleTick();
  void StartAntiIdle();
  void AfterRun();
  bool RunAction(std::uint64_t action, std::vector<std::string> lines);
  void ClearWaiting();

  std::vector<SessionObserver*> m_observers;
  Transcript::Pos m_replyLine = -1;  // where the running exchange's reply begins in the log
  Services m_services;
  SessionState m_state = SessionState::NotConnected;  // as the owner's thread knows it
  bool m_closing = false;                              // a Disconnect is on its way
  bool m_antiIdleOn = false;
  bool m_antiIdleDue = false;   // a period ended while the session was busy
  bool m_antiIdleSent = false;  // the running exchange is the anti-idle command's
  // Actions sent while the session worked, in the order they came; an entry
  // without lines is the anti-idle command that fell due meanwhile.
  struct Waiting {
    std::uint64_t action = 0;
    std::vector<std::string> lines;
  };
  std::deque<Waiting> m_waiting;
  std::uint64_t m_actionCount = 0;
  std::uint64_t m_runningAction = 0;
  std::function<AntiIdleSettings()> m_antiIdleSettings;
  Transcript m_log;
  ReplyIndex m_replies;
  Transcript::Pos m_blockStart = -1;  // Log()'s line count when the shown block began; -1 between blocks

  std::shared_ptr<Inbox> m_inbox;  // events on their way to the owner
  std::unique_ptr<Relay> m_relay;  // the connection's transcript, into the inbox
  std::unique_ptr<ControlConnection> m_connection;  // the worker's alone
  std::optional<Socks5Proxy> m_proxy;               // the running connect's proxy; the worker's alone

  std::mutex m_mutex;  // guards the jobs and the flags below
  std::condition_variable m_answered;
  std::deque<std::unique_ptr<Job>> m_jobs;
  bool m_stop = false;
  int m_answer = -1;                // the owner's answer to a trust question; -1 none yet
  std::atomic<bool> m_cancel{false};  // give up every wait of the running job
  int m_wakeFd = -1;                // an eventfd: wakes the worker's poll

  // The idle watch, the worker's alone.
  int m_watchFd = -1;
  bool m_watchEnabled = false;
  bool m_callAgain = false;
  std::function<void()> m_ready;

  std::thread m_worker;  // last: it starts once everything above is there
};
