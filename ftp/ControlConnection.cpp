#include "ControlConnection.h"

#include <algorithm>
#include <utility>

#include "LineBreak.h"

#include "ConnectErrors.h"
#include "Reply.h"

namespace {

// Receives one CheckLine may make: a flood of notices still hands the
// window back to the user between batches; the watch calls again for the rest.
constexpr int kReceivesPerCheck = 16;

constexpr std::size_t kQuotedLine = 1000;
const char kDisconnected[] = "\n>Disconnected.\n";
const char kTlsHint[] = "The server asks for an encrypted connection: tick TLS and connect again.\n";
const char kLineTooLong[] = "The server sent a line longer than 64 MiB; it was dropped and the connection closed.\n";
const char kPasswordShown[] = "PASS **********";  // ten stars, whatever the password's length

// The first digit of a reply's code (RFC 959: 1 preliminary, 2 done, 3 more
// needed, 4 and 5 refused), or 0 when the line carries no code.
char ReplyClass(const std::string& lastLine) {
  if (lastLine.size() < 3) return 0;
  for (int i = 0; i < 3; ++i)
    if (lastLine[i] < '0' || lastLine[i] > '9') return 0;
  if (lastLine.size() > 3 && lastLine[3] == '-') return 0;
  return lastLine[0];
}

// A server that says 421 while nobody asked is closing the connection.
bool IsClosingNotice(std::string_view line) {
  return line.substr(0, 3) == "421" && (line.size() == 3 || line[3] != '-');
}

// Clears a flag when the exchange ends, however it ends.
class BusyScope {
 public:
  explicit BusyScope(bool& busy) : m_busy(busy) { m_busy = true; }
  ~BusyScope() { m_busy = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& m_busy;
};

}  // namespace

ControlConnection::ControlConnection(TranscriptSink& sink, Connector connector, Watcher watcher)
    : m_sink(sink), m_connector(std::move(connector)), m_watcher(std::move(watcher)) {}

ControlConnection::~ControlConnection() { Release(); }

bool ControlConnection::IsSendable(std::string_view line) {
  return !HoldsLineBreak(line);
}

ControlConnection::Login ControlConnection::Open(const std::string& host, unsigned port, const std::string& login,
                                                 const std::string& password, ConnectError& connectError,
                                                 const TlsOptions* tls) {
  Release();
  connectError = {};
  m_loginReply = {};
  m_failure.clear();
  m_greeted = false;
  if (!IsSendable(login) || !IsSendable(password)) return Login::Unsendable;
  BusyScope busy(m_busy);

  m_sink.Show(TranscriptKind::Login, "\n\n>connecting to " + host + "\n");
  m_transport = m_connector(host, port, connectError);
  if (!m_transport) {
    if (!connectError.Failed()) connectError = {ConnectError::Kind::Other, 0, "no connection", {}};
    return connectError.kind == ConnectError::Kind::Abandoned ? Login::Abandoned : Login::ConnectFailed;
  }
  m_reader = std::make_unique<LineReader>([this](char* buf, std::size_t size, bool wait) {
    FlushReply();  // what came so far is shown before more is read, or awaited
    if (!wait && m_receiveBudget >= 0) {
      if (m_receiveBudget == 0) return Transport::kNothingYet;
      --m_receiveBudget;
    }
    const long got = m_transport->Receive(buf, size, wait);
    if (got == Transport::kFailed) m_dropReason = m_transport->ErrorText();
    return got;
  });

  // Each step shows what it sends and what comes back; a broken line ends the attempt as a drop.
  std::string last;
  std::string text;
  auto reply = [&](::Exchange exchange) {
    text.clear();
    const bool complete = ReadReply(exchange, last, &text);
    m_loginReply = exchange.reply;
    if (complete && !tls && AsksForEncryption(ReplyClass(last), text)) m_sink.Show(TranscriptKind::Hint, kTlsHint);
    m_sink.BlockDone();
    if (!complete) Drop();
    return complete;
  };
  auto greeting = [&] { return reply({++m_exchanges, TranscriptKind::Login, {}, {}}); };
  // reported: the command as the transcript may show it.
  auto send = [&](const std::string& line, const std::string& reported) {
    if (!SendLine(line)) {
      Drop();
      return false;
    }
    ::Exchange exchange{++m_exchanges, TranscriptKind::Login, reported, {}};
    m_sink.ExchangeStarted(exchange);
    return reply(std::move(exchange));
  };

  if (tls && tls->implicit) {
    const Login secured = Handshake(host, port, *tls);
    if (secured != Login::LoggedIn) return secured;
  }

  // The greeting; "120" (ready in a while) is followed by the real one.
  do {
    if (!greeting()) return Login::Dropped;
  } while (ReplyClass(last) == '1');
  if (ReplyClass(last) != '2') {
    Release();
    return Login::Refused;
  }
  m_greeted = true;

  // TLS before the name and password travel; no way back to plain.
  if (tls && !tls->implicit) {
    if (!send("AUTH TLS", "AUTH TLS")) return Login::Dropped;
    const Login secured = StartTls(host, port, *tls, last);
    if (secured != Login::LoggedIn) return secured;
  }

  if (!send("USER " + login, "USER " + login)) return Login::Dropped;
  char answer = ReplyClass(last);
  if (answer == '3') {  // 331 or 332: the password is wanted
    if (!send("PASS " + password, kPasswordShown)) return Login::Dropped;
    answer = ReplyClass(last);
  }
  if (answer != '2') {  // refused, or an account wanted that we have none for
    Release();
    return Login::Refused;
  }

  m_connected = true;
  if (m_watcher && m_transport->Descriptor() >= 0)
    m_watch = m_watcher(m_transport->Descriptor(), [this] { CheckLine(); });
  m_busy = false;
  CheckLine();  // what came after the login, or a close right behind it
  Watch(true);
  return m_connected ? Login::LoggedIn : Login::Dropped;
}

ControlConnection::Result ControlConnection::Exchange(const std::string& command) {
  if (!m_connected) return Result::NotConnected;
  if (!IsSendable(command)) return Result::Unsendable;
  {
    BusyScope busy(m_busy);
    Watch(false);  // the wait below pumps events; the watch must not read meanwhile
    ::Exchange exchange{++m_exchanges, TranscriptKind::Command, command, {}};
    m_sink.ExchangeStarted(exchange);
    if (!SendLine(command)) {
      m_sink.ExchangeEnded(exchange);
      Drop();
      return Result::Dropped;
    }
    std::string last;
    const bool complete = ReadReply(exchange, last);
    m_sink.BlockDone();
    if (!complete) {
      Drop();
      return Result::Dropped;
    }
    if (last.find("421 Timeout") != std::string::npos) {
      Drop();
      return Result::Done;
    }
  }
  CheckLine();  // lines behind the reply are no part of it
  Watch(true);
  return Result::Done;
}

void ControlConnection::Close() { Drop(); }

void ControlConnection::CheckLine() {
  if (!m_connected || m_busy || !m_reader) return;
  m_receiveBudget = kReceivesPerCheck;
  bool shown = false;
  bool drop = false;
  std::string_view line;
  for (;;) {
    const LineReader::Status st = m_reader->Next(line, false);
    if (st == LineReader::Status::Line || st == LineReader::Status::Partial) {
      ShowLine(TranscriptKind::Notice, line);
      shown = true;
      if (st == LineReader::Status::Partial || IsClosingNotice(line)) {
        drop = true;
        break;
      }
      continue;
    }
    drop = st != LineReader::Status::NothingYet;  // closed, reset or failed
    break;
  }
  const bool budgetSpent = m_receiveBudget == 0;
  m_receiveBudget = -1;
  if (shown) m_sink.BlockDone();
  if (drop) {
    Drop();
  } else if (budgetSpent && m_transport->HasPending() && m_watch) {
    m_watch->CallAgain();
  }
}

// After the reply to AUTH TLS: the checks before the handshake. LoggedIn
// means "go on with the login".
ControlConnection::Login ControlConnection::StartTls(const std::string& host, unsigned port, const TlsOptions& tls,
                                                     std::string& last) {
  if (last.compare(0, 4, "234 ") != 0 && last != "234") {
    // A box quotes it: a kilobyte says all a refusal has to say.
    m_failure = last.size() > kQuotedLine ? last.substr(0, kQuotedLine) + "..." : last;
    Drop();
    return Login::TlsRefused;
  }
  if (m_reader->Buffered() > 0) {
    // Plain text behind the "234" would later pass for something the server
    // said under TLS: someone on the way may have put it there.
    m_failure = "The server sent more plain text after agreeing to TLS.";
    Drop();
    return Login::TlsFailed;
  }
  return Handshake(host, port, tls);
}

// The handshake, its line in the transcript, and the trust decision.
ControlConnection::Login ControlConnection::Handshake(const std::string& host, unsigned port, const TlsOptions& tls) {
  TlsInfo info;
  std::string error;
  const TlsStart started = tls.start ? tls.start(m_transport, host, info, error) : TlsStart::Failed;
  if (started != TlsStart::Secured) {
    m_failure = tls.start ? error : "TLS is not available.";
    Drop();
    return started == TlsStart::Abandoned ? Login::Abandoned : Login::TlsFailed;
  }
  m_secured = true;
  m_sink.Show(TranscriptKind::Login,
              ">" + info.protocol + " " + info.cipher + ", certificate SHA-256 " + info.fingerprint + "\n");
  m_sink.BlockDone();
  if (!tls.trust || !tls.trust(host, port, info)) {
    Drop();
    return Login::CertificateRefused;
  }
  return Login::LoggedIn;
}

bool ControlConnection::SendLine(std::string_view line) {
  std::string wire;
  wire.reserve(line.size() + 2);
  wire.append(line).append("\r\n");
  if (m_transport->Send(wire)) return true;
  m_dropReason = m_transport->ErrorText();
  return false;
}

bool ControlConnection::ReadReply(::Exchange& exchange, std::string& last, std::string* text) {
  // Reply lines are gathered and shown once per receive: a long reply costs
  // few transcript calls, and a slow one still shows as it comes.
  Reply& r = exchange.reply;
  r = {};
  m_lastShown.clear();
  int firstCode = -2;
  const auto onLine = [&](std::string_view line) {
    if (r.lineCount++ == 0) firstCode = reply::Code(line);
    m_replyText.append(line).push_back('\n');
    if (text) text->append(line).push_back('\n');
  };
  r.complete = ReadReplyLines(*m_reader, onLine, last) == ReplyStatus::Complete;
  FlushReply();
  r.code = r.complete ? reply::Code(last) : std::max(firstCode, -1);
  const std::string& final = r.complete || !last.empty() ? last : m_lastShown;
  r.last.assign(final, 0, std::min(final.size(), Reply::kMaxLast));
  m_sink.ExchangeEnded(exchange);
  return r.complete;
}

void ControlConnection::FlushReply() {
  if (m_replyText.empty()) return;
  // The batch's last line, for a reply that breaks off after it.
  const std::size_t end = m_replyText.size() - 1;  // its line end
  const std::size_t start = end == 0 ? 0 : m_replyText.rfind('\n', end - 1);
  const std::size_t from = start == std::string::npos || end == 0 ? 0 : start + 1;
  m_lastShown.assign(m_replyText, from, std::min(end - from, Reply::kMaxLast));
  m_sink.Show(TranscriptKind::Reply, m_replyText);
  m_replyText.clear();
}

void ControlConnection::ShowLine(TranscriptKind kind, std::string_view line) {
  m_text.assign(line);
  m_text.push_back('\n');
  m_sink.Show(kind, m_text);
}

void ControlConnection::Watch(bool enabled) {
  if (m_watch) m_watch->SetEnabled(enabled);
}

void ControlConnection::Release() {
  m_watch.reset();
  m_reader.reset();
  if (m_transport) m_transport->Close();
  m_transport.reset();
  m_connected = false;
  m_secured = false;
  m_dropReason.clear();
}

void ControlConnection::Drop() {
  const bool tooLong = m_reader && m_reader->LineTooLong();
  // A secured line that broke says why, in the TLS layer's words (a refused
  // renegotiation, a changed certificate); a plain one drops as it always did.
  const std::string reason = m_secured ? m_dropReason : std::string();
  Release();
  if (tooLong)
    m_sink.Show(TranscriptKind::Hint, kLineTooLong);
  else if (!reason.empty())
    m_sink.Show(TranscriptKind::Hint, reason + "\n");
  m_sink.Show(TranscriptKind::Disconnect, kDisconnected);
}
