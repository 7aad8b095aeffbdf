#include "Relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace io = siteserver::io;

Relay::Relay(unsigned targetPort) : m_target(targetPort) {
  std::string error;
  m_listen = io::ListenLoopback(0, m_port, error);
  if (m_listen >= 0) m_thread = std::thread([this] { Run(); });
}

Relay::~Relay() {
  m_stop.Set();
  if (m_thread.joinable()) m_thread.join();
  if (m_listen >= 0) ::close(m_listen);
}

std::string Relay::Sent() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_sent;
}

void Relay::Run() {
  while (io::WaitFor(m_listen, POLLIN, m_stop, -1) == io::Wait::Ready) {
    const int client = io::AcceptClient(m_listen);
    if (client >= 0) Pump(client);
  }
}

void Relay::Pump(int client) {
  const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(m_target));
  if (::connect(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    char buf[16384];
    for (;;) {
      pollfd p[3] = {{m_stop.Fd(), POLLIN, 0}, {client, POLLIN, 0}, {server, POLLIN, 0}};
      if (::poll(p, 3, -1) < 0 || p[0].revents) break;
      const int from = p[1].revents ? client : server;
      const int to = from == client ? server : client;
      const ssize_t n = ::recv(from, buf, sizeof buf, MSG_DONTWAIT);
      if (n <= 0) break;
      if (from == client) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sent.append(buf, static_cast<std::size_t>(n));
      }
      if (!io::SendAll(to, buf, static_cast<std::size_t>(n), m_stop)) break;
    }
  }
  ::close(server);
  ::close(client);
}
