// The FTP control connection: connect, greeting, login, one exchange at a
// time, and watching the line while no exchange runs. It owns its transport
// and line reader and tells the transcript every line it sends or reads; it
// knows nothing of windows.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "ConnectError.h"
#include "Exchange.h"
#include "LineReader.h"
#include "SecureLogin.h"
#include "TranscriptKind.h"
#include "Transport.h"

class TranscriptSink {
 public:
  virtual ~TranscriptSink() = default;
  // text is exactly what the transcript shows, line ends included.
  virtual void Show(TranscriptKind kind, std::string_view text) = 0;
  // One reply, or one batch of notices, is complete: the view may follow it.
  virtual void BlockDone() = 0;
  // A command is about to go (a login step: has gone); the echo is the sink's to show.
  virtual void ExchangeStarted(const ::Exchange& exchange) = 0;
  // Its reply has ended, complete or not; its lines were shown before.
  virtual void ExchangeEnded(const ::Exchange& exchange) = 0;
};

// Hears the line while no exchange runs.
class LineWatch {
 public:
  virtual ~LineWatch() = default;
  virtual void SetEnabled(bool enabled) = 0;
  // Calls ready() once more from the event loop, soon, if still enabled then:
  // for bytes the transport holds already, which the descriptor never
  // announces again.
  virtual void CallAgain() = 0;
};

class ControlConnection {
 public:
  // A connected transport, or null with error saying why.
  using Connector =
      std::function<std::unique_ptr<Transport>(const std::string& host, unsigned port, ConnectError& error)>;
  // Calls ready() from the event loop whenever the descriptor has something
  // to read (bytes, a close, an error). May be empty: then only what arrives
  // with an exchange, or a call to CheckLine(), is seen.
  using Watcher = std::function<std::unique_ptr<LineWatch>(int descriptor, std::function<void()> ready)>;

  ControlConnection(TranscriptSink& sink, Connector connector, Watcher watcher = {});
  ~ControlConnection();  // drops the connection without a word to the server
  ControlConnection(const ControlConnection&) = delete;
  ControlConnection& operator=(const ControlConnection&) = delete;

  enum class Login {
    LoggedIn,
    Refused,        // the server said no; its words are in the transcript
    ConnectFailed,  // no connection: connectError says why
    Abandoned,      // the connect's wait was given up (the window is closing)
    Dropped,        // the line broke during the login, or right after it
    Unsendable,     // the login or password holds CR, LF or NUL: nothing done
    // With TLS asked for; each ends the attempt before the login is sent.
    TlsRefused,          // the server did not answer AUTH TLS with 234: FailureText() is its line
    TlsFailed,           // no TLS session came about: FailureText() says why
    CertificateRefused,  // the certificate was not trusted
  };
  // Connects and logs in; with tls, AUTH TLS and the handshake come first
  // and there is no way back to plain. Only while not connected.
  Login Open(const std::string& host, unsigned port, const std::string& login, const std::string& password,
             ConnectError& connectError, const TlsOptions* tls = nullptr);
  // Whether the last Open got as far as a greeting that welcomed it: before
  // that, nothing about the login was tried, and another address may serve.
  bool Greeted() const { return m_greeted; }
  // What the server or the TLS library said when Open ended with a TLS result.
  const std::string& FailureText() const { return m_failure; }
  // The last reply of the last Open (a refusal's words are in it).
  const Reply& LoginReply() const { return m_loginReply; }

  enum class Result {
    Done,          // the reply is shown; still connected unless it said "421 Timeout"
    NotConnected,  // nothing sent, nothing shown
    Unsendable,    // the line holds CR, LF or NUL: nothing sent, nothing shown
    Dropped,       // the line broke: what came is shown, then the disconnect
  };
  // Sends one command line (without its line end) and reads its reply.
  Result Exchange(const std::string& command);

  // Closes at the user's wish; nothing is sent. Shows the disconnect.
  void Close();
  // Reads what is on the line without waiting: complete lines as notices, a
  // close, reset or "421" line drops the connection. The watch calls it.
  void CheckLine();

  bool IsConnected() const { return m_connected; }

  // No CR, LF or NUL: the server would see more than one line.
  static bool IsSendable(std::string_view line);

 private:
  bool SendLine(std::string_view line);
  // Reads the reply of exchange and reports its end. last receives the
  // final line whole; text, when given, every line, each ended by LF.
  bool ReadReply(::Exchange& exchange, std::string& last, std::string* text = nullptr);
  Login StartTls(const std::string& host, unsigned port, const TlsOptions& tls, std::string& last);
  Login Handshake(const std::string& host, unsigned port, const TlsOptions& tls);
  void FlushReply();
  void ShowLine(TranscriptKind kind, std::string_view line);
  void Release();
  void Drop();
  void Watch(bool enabled);

  TranscriptSink& m_sink;
  Connector m_connector;
  Watcher m_watcher;
  // Swappable: a secure layer may replace the transport with one wrapping it.
  std::unique_ptr<Transport> m_transport;
  std::unique_ptr<LineReader> m_reader;
  std::unique_ptr<LineWatch> m_watch;
  bool m_connected = false;
  bool m_greeted = false;
  bool m_busy = false;       // an exchange runs: the watch's calls are not for now
  int m_receiveBudget = -1;  // receives left for this CheckLine; -1 without limit
  std::string m_text;        // the transcript text of one notice, reused
  std::string m_replyText;   // reply lines not yet shown
  std::string m_failure;     // see FailureText()
  bool m_secured = false;    // TLS came about on this connection
  std::string m_dropReason;  // the transport's words when a send or receive last failed
  std::uint64_t m_exchanges = 0;  // ids handed out
  std::string m_lastShown;        // the last reply line shown, for a reply that breaks off
  Reply m_loginReply;
};
