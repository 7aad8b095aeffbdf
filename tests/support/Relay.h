// A TCP relay on 127.0.0.1 that passes every connection on to a server and
// records what the client sent, so a test can read the wire of a session
// with a real server.
#pragma once

#include <mutex>
#include <string>
#include <thread>

#include "ServerIo.h"

class Relay {
 public:
  explicit Relay(unsigned targetPort);
  ~Relay();
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;

  unsigned Port() const { return m_port; }
  // Every byte the clients sent, all connections one after the other.
  std::string Sent() const;

 private:
  void Run();
  void Pump(int client);

  unsigned m_target;
  unsigned m_port = 0;
  int m_listen = -1;
  siteserver::io::StopLatch m_stop;
  mutable std::mutex m_mutex;
  std::string m_sent;
  std::thread m_thread;
};
