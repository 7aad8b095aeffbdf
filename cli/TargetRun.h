// One TARGET of a run as the terminal sees it: what its session shows, what
// it asks, and how it ended. The run model (SiteRunner) connects the session
// and sends the lines; this follows it. Lives on the main thread; the
// session's worker does the waiting.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ConnectionHistory.h"
#include "Output.h"
#include "UserStore.h"
#include "ReplyTable.h"
#include "Session.h"
#include "SessionOwner.h"
#include "SiteRun.h"
#include "Socks5.h"

// The window's connection history, shared by every target of a run and read
// at the first login, so no target waits for it before connecting.
struct RunHistory {
  platform::UserStore store;
  ConnectionHistory history{store};
  bool loaded = false;
};

struct RunSettings {
  std::string password;
  std::vector<std::string> trusted;  // fingerprints, hex digits only, upper case
  bool tls = false;                  // --tls: every target asks for AUTH TLS
  bool remember = false;
  RunHistory* history = nullptr;  // none: --no-history
  bool json = false;
  bool csv = false;  // a reply's table as CSV, the lines of other replies as text, nothing else
  bool color = false;
  bool escape = true;   // a server's control bytes shown as escapes (not --raw to a file)
  bool prefix = false;  // several targets: every line says whose it is
  std::chrono::milliseconds timeout{0};
  std::chrono::milliseconds maxTime{0};
  std::optional<Socks5Proxy> proxy;  // --proxy: every target without a proxy of its own goes through it
  std::string logFolder;             // --log DIR: every target's session keeps a log there
};

class TargetRun : private SessionObserver, private TrustAsker {
 public:
  TargetRun(std::string name, ConnectRequest request, const RunSettings& settings, Output& out);
  ~TargetRun() override;
  TargetRun(const TargetRun&) = delete;
  TargetRun& operator=(const TargetRun&) = delete;

  // The request as it connects: without a password of its own, the run's.
  ConnectRequest Request() const;
  // Follows the session the run model found for the target, before it connects.
  void Follow(SessionOwner& owner, SessionId id, std::size_t lines);
  // The run model's row ended: a failure nothing else reported is reported now.
  void RowEnded(const SiteRunRow& row);
  bool Done() const { return m_done; }
  // An exit status: 0 all fine, 1 a command refused, 2 the target failed.
  int Status() const { return m_status; }
  // Writes out what is still held back (an interrupted run).
  void FlushText();
  // Ends the target before it starts, for why (status 2).
  void Refuse(const std::string& why);
  // The run's --max-time passed: a target not done fails (status 2).
  void TimeUp();
  // Gives up every wait of the session at once, so destroying it takes no time.
  void Cancel();
  // The session and its descriptors are gone: another target may start.
  bool Released() const { return m_done && (!m_owner || !m_owner->Find(m_id)); }

 private:
  void OnLine(TranscriptKind kind, std::string_view text) override;
  void OnBlockDone(Transcript::Pos linesBefore) override;
  void OnState(SessionState) override {}
  void OnLoginDone(const LoginReport& report) override;
  void OnExchangeStarted(const Exchange& exchange) override;
  void OnReply(const Exchange& exchange, Transcript::Pos) override;
  void OnRunDone(ControlConnection::Result result) override;
  bool AskTrust(const std::string& host, unsigned port, const TlsInfo& info, const std::string& remembered) override;

  void End();
  void FinishExchange(bool dropped);
  void Fail(int status, const std::string& why, const std::string& fingerprint = {});
  void RecordHistory();
  void AddJsonReply(std::string_view text);
  void AddTableText(std::string_view text);
  void WriteTable(const ReplyTable& table);
  void Complain(const std::string& what);
  std::string LoginFailure(const LoginReport& report) const;

  std::string m_name;
  ConnectRequest m_request;
  const RunSettings& m_settings;
  Output& m_out;
  PaneText m_pane;
  std::size_t m_lineCount = 0;
  SessionOwner* m_owner = nullptr;
  SessionId m_id = 0;

  // The exchange under way, and how its reply ended.
  bool m_inExchange = false;
  std::size_t m_exchanges = 0;
  std::string m_command;
  Reply m_reply;
  // The reply so far for JSON: its complete lines as JSON strings with commas
  // between, at most kMaxJsonReply bytes; the line still coming; whether
  // some was dropped.
  std::string m_jsonLines;
  std::string m_partial;
  bool m_truncated = false;
  // The reply so far for its table (--csv, --json): its text as it came, at
  // most kMaxTableReply bytes; dropped once longer (no table is looked for).
  std::string m_tableText;
  bool m_tableDropped = false;
  std::string m_hint;  // what the connection last said about itself

  std::chrono::steady_clock::time_point m_lastEvent;
  bool m_timedOut = false;
  TlsInfo m_certificate;  // the one refused, when one was
  std::string m_rememberedFingerprint;
  bool m_done = false;
  int m_status = 0;
};
