#include "Turns.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "Json.h"
#include "Options.h"
#include "Socket.h"
#include "Socks5.h"
#include "TlsTransport.h"
#include "TrustedCertificates.h"

std::size_t SessionsAtOnce(std::size_t wanted) {
  constexpr rlim_t kOwn = 32;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted ? wanted : 64;
  if (limit.rlim_max != RLIM_INFINITY && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) getrlimit(RLIMIT_NOFILE, &limit);
  }
  const rlim_t room = limit.rlim_cur == RLIM_INFINITY ? 1u << 20 : limit.rlim_cur;
  const std::size_t fits = room > kOwn + 2 ? static_cast<std::size_t>((room - kOwn) / 2) : 1;
  return wanted ? std::min(wanted, fits) : fits;
}

Turns::Turns(const std::vector<Target>& targets, const RunSettings& settings, const std::vector<std::string>& lines,
             Output& out, OwnerLoop& loop, std::size_t parallel)
    : m_targets(targets), m_settings(settings), m_lines(lines), m_out(out), m_loop(loop), m_parallel(parallel) {
  m_trust.remember = settings.remember;
  for (const Target& target : targets)
    m_runs.push_back(std::make_unique<TargetRun>(target.name, target.request, settings, out));
  SessionOwner::Services services;
  services.post = loop.Poster();
  services.connect = &platform::ConnectTcp;
  services.connectThrough = &ConnectSocks5;  // a target's own proxy, else --proxy (TargetRun::Request)
  services.startTls = &platform::StartTls;
  services.trustStore = &m_trust;
  services.waitLimit = settings.timeout;
  services.keepLog = false;  // each piece is printed as it comes: a flood must not pile up here
  services.logFolder = settings.logFolder;
  services.logFailed = [](SessionId, const std::string& why) {
    std::fprintf(stderr, "korvastel-cli: %s\n", TerminalText(why).c_str());
  };
  m_owner = std::make_unique<SessionOwner>(std::move(services));
  // Each target a session of its own (two targets may name one site), let go as soon as its row ends.
  m_runner = std::make_unique<SiteRunner>(*m_owner, static_cast<SiteRunner::Listener&>(*this),
                                          SiteRunner::Options{false, false});
  std::vector<std::string> names;
  for (const Target& target : targets) names.push_back(target.name);
  m_runner->Begin(names, lines);
}

Turns::~Turns() { End(); }

std::string Turns::RunTrust::Remembered(const std::string& host, unsigned port) {
  return platform::TrustedFingerprint(host, port);
}

// Only an answer given with --remember is kept; --trust alone holds for this run.
void Turns::RunTrust::Remember(const std::string& host, unsigned port, const std::string& fingerprint) {
  if (remember && !platform::TrustFingerprint(host, port, fingerprint))
    std::fprintf(stderr, "korvastel-cli: %s:%u: the trusted certificate could not be stored\n", host.c_str(), port);
}

bool Turns::Pump() {
  std::size_t active = 0;
  for (std::size_t i = 0; i < m_next; ++i) active += !m_runs[i]->Released();
  for (; m_next < m_runs.size() && active < m_parallel; ++m_next) {
    const Target& target = m_targets[m_next];
    if (!target.unusable.empty()) {
      m_runs[m_next]->Refuse(target.unusable);
      m_runner->Fail(m_next, target.unusable);
      continue;
    }
    try {
      m_runner->Start(m_next, m_runs[m_next]->Request());
    } catch (const std::system_error& e) {
      if (active > 0) {  // the system is short of threads: wait for a turn
        m_parallel = active;
        break;
      }
      std::fprintf(stderr, "korvastel-cli: %s: can't start a session: %s\n", target.name.c_str(), e.what());
      m_runs[m_next]->Refuse("can't start a session");
      m_status = std::max(m_status, exitstatus::kUnreached);
      continue;
    }
    ++active;
  }
  return Done();
}

void Turns::OnRowSession(std::size_t row, SessionId id) {
  if (!m_settings.logFolder.empty()) m_owner->KeepLog(id, m_targets[row].logName);
  m_runs[row]->Follow(*m_owner, id, m_lines.size());
}

void Turns::OnRowChanged(std::size_t row) {
  if (!m_runner->Run().Row(row).Ended()) return;
  // After the report that ended the row has reached the target's own follower too.
  m_loop.Post([this, row] {
    if (m_runner) m_runs[row]->RowEnded(m_runner->Run().Row(row));
  });
}

bool Turns::Done() const {
  return m_next == m_runs.size() && std::all_of(m_runs.begin(), m_runs.end(), [](const auto& run) { return run->Done(); });
}

void Turns::TimeUp() {
  for (std::size_t i = 0; i < m_runs.size(); ++i) {
    if (i < m_next) {
      m_runs[i]->TimeUp();
    } else {
      std::fprintf(stderr, "korvastel-cli: %s: not started within the --max-time\n", m_targets[i].name.c_str());
      m_status = std::max(m_status, exitstatus::kUnreached);
    }
  }
}

void Turns::FlushText() {
  for (auto& run : m_runs) run->FlushText();
}

void Turns::End() {
  if (!m_runner) return;
  for (auto& run : m_runs) run->Cancel();
  for (std::size_t i = 0; i < m_runs.size(); ++i)
    if (i < m_next) m_status = std::max(m_status, m_runs[i]->Status());
  m_runner.reset();
  m_owner.reset();  // every session goes, without a word to the server
  m_runs.clear();
}
