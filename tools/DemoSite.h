#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "ServerIo.h"
#include "ServerTls.h"

// A demo FTP site with a full set of SITE commands over fictional users and
// groups: enough to try every button and user command of the tool without a
// real server.
namespace siteserver {

struct DemoOptions {
  unsigned port = 2121;
  std::string user = "admin";
  std::string password = "korvastel";
  unsigned idleTimeoutSeconds = 300;
  // Above 0, SITE USERS answers with this many lines of 60 bytes each
  // (CR LF included), so a benchmark gets a reply of known size.
  std::size_t replyLines = 0;
  // Offers AUTH TLS with a self-signed certificate made at start.
  bool offerTls = true;
};

// The SITE USERS reply of DemoOptions::replyLines: lines "200-" ... and a
// last "200 " line, each exactly 60 bytes on the wire.
std::string BulkUsersReply(std::size_t lines);

// Users, groups and directories of the site, shared by all its connections,
// so a change made on one shows on the next.
class DemoSiteData;
std::shared_ptr<DemoSiteData> MakeDemoSiteData();

// One control connection's conversation, without the socket.
class DemoSession {
 public:
  DemoSession(const DemoOptions& options, std::shared_ptr<DemoSiteData> data);
  ~DemoSession();

  std::string Greeting() const;
  // The reply, CR LF ended lines, to one command line (without its end).
  std::string Answer(const std::string& line);
  // After QUIT.
  bool WantsClose() const { return m_quit; }
  // After "234" to AUTH TLS: the handshake comes next. Reading it clears it.
  bool TakeTlsRequest() { return std::exchange(m_tlsRequested, false); }
  // Idle limit in force, which SITE IDLE can change.
  unsigned IdleSeconds() const { return m_idleSeconds; }

 private:
  std::string Site(const std::string& args);

  DemoOptions m_options;
  std::shared_ptr<DemoSiteData> m_data;
  std::string m_pendingUser;
  bool m_userGiven = false;
  bool m_loggedIn = false;
  bool m_quit = false;
  bool m_tlsRequested = false;
  bool m_secured = false;
  unsigned m_idleSeconds;
};

// Serves DemoSessions on 127.0.0.1, several clients at a time, each on a
// thread of its own, closing idle ones with a 421 as real servers do.
class DemoServer {
 public:
  explicit DemoServer(DemoOptions options);
  ~DemoServer();
  DemoServer(const DemoServer&) = delete;
  DemoServer& operator=(const DemoServer&) = delete;

  bool Start(std::string& error);
  void Stop();
  unsigned Port() const { return m_port; }
  // The certificate's SHA-256 fingerprint; empty without TLS.
  std::string Fingerprint() const { return m_tls ? m_tls->Fingerprint() : std::string(); }

 private:
  struct Client {
    std::thread thread;
    bool finished = false;
  };

  void AcceptLoop();
  void Serve(int fd, Client& client);
  void ReapFinished();

  DemoOptions m_options;
  std::shared_ptr<DemoSiteData> m_data;
  std::unique_ptr<TlsServerContext> m_tls;
  unsigned m_port = 0;
  int m_listenFd = -1;
  io::StopLatch m_stop;
  std::thread m_acceptThread;
  std::mutex m_mutex;
  std::list<Client> m_clients;
};

}  // namespace siteserver
