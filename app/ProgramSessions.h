// The program's sessions: one owner with the window's services (the main
// thread's loop, TCP and TLS, the trusted certificates of the per-user
// store, precise anti-idle timers).
#pragma once

#include <memory>

#include "SessionOwner.h"

class ProgramSessions {
 public:
  // asker: the person's boxes for sessions no tab shows; none: such a
  // session refuses a certificate the system does not vouch for.
  explicit ProgramSessions(TrustAsker* asker = nullptr);
  ~ProgramSessions();
  SessionOwner& Owner() { return *m_owner; }

 private:
  class CertificateStore;
  std::unique_ptr<CertificateStore> m_store;
  std::unique_ptr<SessionOwner> m_owner;  // last: its sessions use the store
};
