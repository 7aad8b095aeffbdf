#include "TargetRun.h"

#include <cctype>
#include <cstdio>

#include "ConnectErrors.h"
#include "Json.h"
#include "Reply.h"
#include "SiteRun.h"

namespace {

// Text held back for a target before it is written anyway: for several
// targets up to its last whole line, so lines of others don't cut it.
constexpr std::size_t kWriteAt = 1u << 20;
// One reply in JSON at most; the rest of a flood is dropped as it comes.
constexpr std::size_t kMaxJsonReply = 64u << 20;
// One reply looked at for a table; a longer one is written without. Its
// cells cost more than its text, many times more when they are short.
constexpr std::size_t kMaxTableReply = 16u << 20;

std::string HexOnly(const std::string& fingerprint) {
  std::string hex;
  for (const char c : fingerprint)
    if (std::isxdigit(static_cast<unsigned char>(c))) hex.push_back(static_cast<char>(std::toupper(c)));
  return hex;
}

std::string Seconds(std::chrono::milliseconds limit) {
  std::string text = std::to_string(limit.count() / 1000.0);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text + " s";
}

// A final reply line: three digits, then a blank or nothing.
int FinalCode(const std::string& line) { return line.size() > 3 && line[3] != ' ' ? -1 : reply::Code(line); }

std::optional<ReplyTable> TableOf(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return FindTable(ReplyBodies(lines));
}

void AppendJsonArray(std::string& out, const std::vector<std::string>& cells) {
  out.push_back('[');
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) out.push_back(',');
    AppendJsonString(out, cells[i]);
  }
  out.push_back(']');
}

}  // namespace

TargetRun::TargetRun(std::string name, ConnectRequest request, const RunSettings& settings, Output& out)
    : m_name(std::move(name)),
      m_request(std::move(request)),
      m_settings(settings),
      m_out(out),
      m_pane(settings.prefix ? m_name + ": " : std::string(), settings.color, settings.escape) {}

TargetRun::~TargetRun() {
  if (Session* session = m_owner ? m_owner->Find(m_id) : nullptr) session->RemoveObserver(*this);
  if (m_owner) m_owner->SetAsker(m_id, nullptr);
}

ConnectRequest TargetRun::Request() const {
  ConnectRequest request = m_request;
  if (request.password.empty()) request.password = m_settings.password;
  request.tls = request.tls || m_settings.tls;
  if (!request.proxy) request.proxy = m_settings.proxy;
  return request;
}

void TargetRun::Follow(SessionOwner& owner, SessionId id, std::size_t lines) {
  m_owner = &owner;
  m_id = id;
  m_lineCount = lines;
  m_lastEvent = std::chrono::steady_clock::now();
  owner.SetAsker(id, this);
  if (Session* session = owner.Find(id)) session->AddObserver(*this);
}

void TargetRun::RowEnded(const SiteRunRow& row) {
  if (m_done) return;
  FlushText();
  if (row.state == SiteRunState::Failed) {
    // "could not start to connect": the login or password could not go as one line.
    Fail(2, row.reply == "could not start to connect"
                ? "the login or the password holds a line break or a NUL; nothing was sent"
                : row.reply);
  }
  End();
}

void TargetRun::OnLine(TranscriptKind kind, std::string_view text) {
  const auto now = std::chrono::steady_clock::now();
  const bool quiet =
      m_settings.timeout.count() > 0 && now - m_lastEvent + std::chrono::milliseconds(100) >= m_settings.timeout;
  m_lastEvent = now;
  if (!m_settings.json && !m_settings.csv) m_pane.Append(kind, text);
  switch (kind) {
    case TranscriptKind::Reply:
      if (m_inExchange && m_settings.json) AddJsonReply(text);
      if (m_inExchange && (m_settings.json || m_settings.csv)) AddTableText(text);
      break;
    case TranscriptKind::Hint:
      m_hint.assign(text.substr(0, text.size() - (text.ends_with('\n') ? 1 : 0)));
      break;
    case TranscriptKind::Disconnect:
      m_timedOut = m_timedOut || quiet;
      break;
    default:
      break;
  }
  std::string& pending = m_pane.Pending();
  if (pending.size() < kWriteAt) return;
  const std::size_t lineEnd = m_settings.prefix ? pending.rfind('\n') : std::string::npos;
  if (lineEnd == std::string::npos || pending.size() - lineEnd > kWriteAt) return FlushText();
  m_out.Write(std::string_view(pending).substr(0, lineEnd + 1));
  pending.erase(0, lineEnd + 1);
}

void TargetRun::AddJsonReply(std::string_view text) {
  if (m_truncated) return;
  std::string line;
  for (;;) {
    const std::size_t end = text.find('\n');
    if (m_partial.size() + std::min(end, text.size()) > kMaxJsonReply) break;
    m_partial.append(text.substr(0, end));
    if (end == std::string_view::npos) return;
    text.remove_prefix(end + 1);
    line.clear();
    if (!m_jsonLines.empty()) line.push_back(',');
    AppendJsonString(line, m_partial);
    m_partial.clear();
    if (m_jsonLines.size() + line.size() > kMaxJsonReply) break;
    // A flood gets its room at once, so growing never holds two copies.
    if (m_jsonLines.size() + line.size() > kWriteAt && m_jsonLines.capacity() < kMaxJsonReply)
      m_jsonLines.reserve(kMaxJsonReply);
    m_jsonLines.append(line);
  }
  m_truncated = true;
  m_partial.clear();
  m_partial.shrink_to_fit();
}

void TargetRun::AddTableText(std::string_view text) {
  if (!m_tableDropped && m_tableText.size() + text.size() <= kMaxTableReply) {
    m_tableText.append(text);
    return;
  }
  // Too long to look for a table in: with --csv its lines go out as they come.
  if (m_settings.csv) {
    m_pane.Append(TranscriptKind::Reply, m_tableText);
    m_pane.Append(TranscriptKind::Reply, text);
  }
  m_tableDropped = true;
  m_tableText = std::string();
}

// With --json as the reply's "table", else as CSV rows (a "site" column first for several targets).
void TargetRun::WriteTable(const ReplyTable& table) {
  std::string out, row;
  if (m_settings.json) {
    out = ",\"table\":{\"columns\":";
    AppendJsonArray(out, table.columns);
    out += ",\"rows\":[";
  }
  for (std::size_t r = 0; r <= table.rows.size(); ++r) {
    const std::vector<std::string>& cells = r == 0 ? table.columns : table.rows[r - 1];
    if (m_settings.json) {
      if (r == 0) continue;
      if (r > 1) out.push_back(',');
      AppendJsonArray(out, cells);
    } else {
      row.clear();
      std::vector<std::string> fields;
      if (m_settings.prefix) fields.push_back(r == 0 ? std::string("site") : m_name);
      fields.insert(fields.end(), cells.begin(), cells.end());
      AppendCsvFields(row, fields);
      (m_settings.escape ? AppendTerminalText : AppendUtf8Text)(out, row);
      out += "\r\n";
    }
    if (out.size() >= kWriteAt) {  // in pieces: a table of a 16 MiB reply is not held twice
      m_out.Write(out);
      out.clear();
    }
  }
  if (m_settings.json) out += "]}";
  m_out.Write(out);
}

void TargetRun::Complain(const std::string& what) {
  std::fprintf(stderr, "korvastel-cli: %s: %s\n", TerminalText(m_name).c_str(), TerminalText(what).c_str());
}

void TargetRun::Refuse(const std::string& why) {
  Fail(2, why);
  End();
}

void TargetRun::TimeUp() {
  if (m_done) return;
  FlushText();
  Fail(2, "still running at the --max-time of " + Seconds(m_settings.maxTime));
  m_done = true;
}

void TargetRun::Cancel() {
  if (Session* session = m_owner ? m_owner->Find(m_id) : nullptr) session->Disconnect();
}

void TargetRun::OnBlockDone(Transcript::Pos) { FlushText(); }

void TargetRun::FlushText() {
  m_out.Write(m_pane.Pending());
  m_pane.Pending().clear();
}

void TargetRun::OnExchangeStarted(const Exchange& exchange) {
  if (exchange.kind != TranscriptKind::Command) return;
  FinishExchange(false);
  m_inExchange = true;
  m_command = exchange.command;
  m_reply = {};
}

void TargetRun::OnReply(const Exchange& exchange, Transcript::Pos) {
  if (exchange.kind == TranscriptKind::Command) m_reply = exchange.reply;
}

void TargetRun::OnLoginDone(const LoginReport& report) {
  if (report.result == ControlConnection::Login::LoggedIn) {
    // The commands travel already (they waited for the login): the history is written meanwhile.
    if (m_settings.history) RecordHistory();
    return;
  }
  FlushText();
  Fail(2, LoginFailure(report),
       report.result == ControlConnection::Login::CertificateRefused ? m_certificate.fingerprint : std::string());
  End();
}

// The run model lets go of a target's connection as soon as its row ends:
// servers count connections per user, and one that waits for our close must
// not wait for the other targets.
void TargetRun::End() { m_done = true; }

std::string TargetRun::LoginFailure(const LoginReport& report) const {
  using Login = ControlConnection::Login;
  const std::string& failure = report.failure;
  const std::string silent = "no answer within the --timeout of " + Seconds(m_settings.timeout);
  switch (report.result) {
    case Login::ConnectFailed:
      return "can't connect: " + ConnectErrorLine(report.connectError);
    case Login::Abandoned:
      return "can't connect: " + silent;
    case Login::Refused:
      return "the server refused the login: " + report.reply.last + (m_hint.empty() ? "" : " (" + m_hint + ")");
    case Login::Dropped:
      return m_timedOut ? silent : "the connection dropped during the login";
    case Login::TlsRefused:
      return "the server refused AUTH TLS: " + failure + "; the login was not sent";
    case Login::TlsFailed:
      return "the TLS handshake failed: " + failure + "; the login was not sent";
    case Login::CertificateRefused: {
      const std::string& fp = m_certificate.fingerprint;
      const std::string tail =
          "; the login was not sent. If it is the one your server's administrator gave you, "
          "run again with --trust " +
          fp + " (and --remember to keep it)";
      if (!m_rememberedFingerprint.empty())
        return "WARNING: the server's certificate has CHANGED since it was trusted (remembered SHA-256 " +
               m_rememberedFingerprint + ", now SHA-256 " + fp + ")" + tail;
      return "the server's certificate is not trusted (" + m_certificate.reason + "), SHA-256 fingerprint " + fp + tail;
    }
    case Login::Unsendable:
    case Login::LoggedIn:
      break;
  }
  return "the login or the password holds a line break or a NUL; nothing was sent";
}

void TargetRun::OnRunDone(ControlConnection::Result result) {
  FinishExchange(result == ControlConnection::Result::Dropped);
  if (m_exchanges < m_lineCount && m_status < 2)
    Fail(2, "the server closed the connection; " + std::to_string(m_lineCount - m_exchanges) + " command(s) not sent");
  FlushText();
  End();
}

void TargetRun::FinishExchange(bool dropped) {
  if (!m_inExchange) return;
  m_inExchange = false;
  ++m_exchanges;
  const int code = dropped || !m_reply.complete ? -1 : FinalCode(m_reply.last);
  const bool ok = code >= 100 && code < 400;
  std::optional<ReplyTable> table;
  if ((m_settings.json || m_settings.csv) && !m_tableDropped && code >= 0) table = TableOf(m_tableText);
  if (m_settings.csv) {
    if (table)
      WriteTable(*table);
    else if (!m_tableDropped)
      m_pane.Append(TranscriptKind::Reply, m_tableText);
    FlushText();
  }
  m_tableText = std::string();
  m_tableDropped = false;
  if (m_settings.json) {
    std::string json = "{\"target\":";
    AppendJsonString(json, m_name);
    json += ",\"command\":";
    AppendJsonString(json, m_command);
    json += ",\"code\":" + (code < 0 ? std::string("null") : std::to_string(code)) + ",\"lines\":[";
    if (!m_partial.empty()) AddJsonReply("\n");  // a last line cut short by a drop
    // In pieces, so a 64 MiB reply is not copied: only this thread writes, so nothing comes between.
    m_out.Write(json);
    m_out.Write(m_jsonLines);
    m_out.Write("]");
    if (table) WriteTable(*table);
    json = ",\"ok\":";
    json += ok ? "true" : "false";
    json += m_truncated ? ",\"truncated\":true}\n" : "}\n";
    m_out.Write(json);
    m_jsonLines = std::string();
    m_partial.clear();
    m_truncated = false;
  }
  if (code < 0) {
    m_status = 2;
    Complain(m_command + ": " +
             (m_timedOut ? "no reply within the --timeout of " + Seconds(m_settings.timeout)
                         : std::string("the connection dropped before the reply was complete")));
  } else if (!ok) {
    m_status = std::max(m_status, 1);
    Complain(m_command + ": " + m_reply.last);
  }
}

void TargetRun::Fail(int status, const std::string& why, const std::string& fingerprint) {
  m_status = std::max(m_status, status);
  Complain(why);
  if (!m_settings.json) return;
  std::string json = "{\"target\":";
  AppendJsonString(json, m_name);
  json += ",\"error\":";
  AppendJsonString(json, why);
  if (!fingerprint.empty()) {
    json += ",\"fingerprint\":";
    AppendJsonString(json, fingerprint);
  }
  json += ",\"ok\":false}\n";
  m_out.Write(json);
}

// In the window's history, so the window offers this login next time.
void TargetRun::RecordHistory() {
  RunHistory& run = *m_settings.history;
  if (!run.loaded) run.history.Load();
  run.loaded = true;
  const ConnectionHistory::Recorded recorded =
      run.history.Record(m_request.login, m_request.host, m_request.port, m_settings.tls || m_request.tls);
  if (!recorded.failure.empty())
    std::fprintf(stderr, "korvastel-cli: the connection history could not be saved: %s\n", recorded.failure.c_str());
}

bool TargetRun::AskTrust(const std::string&, unsigned, const TlsInfo& info, const std::string& remembered) {
  const std::string offered = HexOnly(info.fingerprint);
  for (const std::string& trusted : m_settings.trusted)
    if (trusted == offered) return true;
  m_certificate = info;
  m_rememberedFingerprint = remembered;
  return false;
}
