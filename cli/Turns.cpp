#include "Turns.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "Options.h"

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

bool Turns::Pump() {
  std::size_t active = 0;
  for (std::size_t i = 0; i < m_next; ++i) active += m_runs[i] && !m_runs[i]->Released();
  for (; m_next < m_runs.size() && active < m_parallel; ++m_next) {
    const Target& target = m_targets[m_next];
    try {
      m_runs[m_next] = std::make_unique<TargetRun>(target.name, target.request, m_settings, m_out, m_loop.Poster());
    } catch (const std::system_error& e) {
      if (active > 0) {  // the system is short of threads: wait for a turn
        m_parallel = active;
        break;
      }
      std::fprintf(stderr, "korvastel-cli: %s: can't start a session: %s\n", target.name.c_str(), e.what());
      m_status = std::max(m_status, exitstatus::kUnreached);
      continue;
    }
    ++active;
    if (target.unusable.empty())
      m_runs[m_next]->Start(m_lines);
    else
      m_runs[m_next]->Refuse(target.unusable);
  }
  return Done();
}

bool Turns::Done() const {
  return m_next == m_runs.size() &&
         std::all_of(m_runs.begin(), m_runs.end(), [](const auto& run) { return !run || run->Done(); });
}

void Turns::TimeUp() {
  for (std::size_t i = 0; i < m_runs.size(); ++i) {
    if (m_runs[i]) {
      m_runs[i]->TimeUp();
    } else if (i >= m_next) {
      std::fprintf(stderr, "korvastel-cli: %s: not started within the --max-time\n", m_targets[i].name.c_str());
      m_status = std::max(m_status, exitstatus::kUnreached);
    }
  }
}

void Turns::FlushText() {
  for (auto& run : m_runs)
    if (run) run->FlushText();
}

void Turns::End() {
  for (auto& run : m_runs)
    if (run) run->Cancel();
  for (auto& run : m_runs) {
    if (run) m_status = std::max(m_status, run->Status());
    run.reset();
  }
}
