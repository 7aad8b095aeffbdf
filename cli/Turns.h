// The targets of a run, taken in turns: at most so many sessions at once,
// the next started as one lets go of its connection.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "OwnerLoop.h"
#include "Output.h"
#include "SessionOwner.h"
#include "SiteRunner.h"
#include "TargetRun.h"

// A TARGET as the run knows it: its request, and why it can't run when it can't.
struct Target {
  std::string name;
  ConnectRequest request;
  bool ownPassword = false;  // from the keyring: the run's is never given to it
  std::string unusable;
  std::string logName;  // --log: the saved site's name, or LOGIN@HOST
};

// Sessions at once: each holds a socket and a wake-up descriptor, and a
// run keeps some for itself. The soft limit is raised to the hard one
// first; more targets than that run in turns.
std::size_t SessionsAtOnce(std::size_t wanted);

// The targets' runs on the run model, at most `parallel` sessions at once,
// each started as another one lets go of its connection. Each target is a
// row of the model, on a session of its own; its TargetRun follows it.
class Turns : private SiteRunner::Listener {
 public:
  Turns(const std::vector<Target>& targets, const RunSettings& settings, const std::vector<std::string>& lines,
        Output& out, OwnerLoop& loop, std::size_t parallel);
  ~Turns() override;

  // Starts what may start; true once every target is done.
  bool Pump();
  bool Done() const;
  // The --max-time passed: whatever is not done fails.
  void TimeUp();
  void FlushText();
  // Every session gives up its waits first, then each is destroyed: the
  // workers stop together, not one after the other.
  void End();

  int Status() const { return m_status; }
  const SiteRun& Rows() const { return m_runner->Run(); }

 private:
  void OnRowChanged(std::size_t row) override;
  void OnRowSession(std::size_t row, SessionId id) override;

  const std::vector<Target>& m_targets;
  const RunSettings& m_settings;
  const std::vector<std::string>& m_lines;
  Output& m_out;
  OwnerLoop& m_loop;
  std::size_t m_parallel;
  // Certificates trusted before, and those trusted now with --remember.
  struct RunTrust : TrustStore {
    bool remember = false;
    std::string Remembered(const std::string& host, unsigned port) override;
    void Remember(const std::string& host, unsigned port, const std::string& fingerprint) override;
  } m_trust;
  std::vector<std::unique_ptr<TargetRun>> m_runs;
  std::unique_ptr<SessionOwner> m_owner;
  std::unique_ptr<SiteRunner> m_runner;  // after the owner: it lets go of its sessions first
  std::size_t m_next = 0;
  int m_status = 0;
};
