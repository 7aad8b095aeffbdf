#include "ProgramSessions.h"

#include "MainThread.h"
#include "PaneControl.h"
#include "Transcript.h"
#include "Socket.h"
#include "Socks5.h"
#include "TlsTransport.h"
#include "TrustedCertificates.h"

// The fingerprints the user trusted, in the per-user store.
class ProgramSessions::CertificateStore : public TrustStore {
 public:
  std::string Remembered(const std::string& host, unsigned port) override {
    return platform::TrustedFingerprint(host, port);
  }
  void Remember(const std::string& host, unsigned port, const std::string& fingerprint) override {
    platform::TrustFingerprint(host, port, fingerprint);
  }
};

ProgramSessions::ProgramSessions(TrustAsker* asker) : m_store(std::make_unique<CertificateStore>()) {
  SessionOwner::Services services;
  services.post = &platform::PostToMainThread;
  services.connect = &platform::ConnectTcp;
  // A saved site with a proxy: every address through it; TLS and trust still the site's.
  services.connectThrough = &ConnectSocks5;
  services.startTls = &platform::StartTls;
  services.trustStore = m_store.get();
  services.asker = asker;
  services.makeTimer = &platform::MakeMainThreadTimer;
  // A session no tab shows (one Run on Sites opened) keeps what a pane would.
  services.prepareLog = [](Transcript& log) {
    std::string hint;
    const long long limit = platform::ReadTranscriptLimit(hint);
    log.SetLimit(limit, hint);
  };
  m_owner = std::make_unique<SessionOwner>(std::move(services));
}

ProgramSessions::~ProgramSessions() = default;
