#include "ServerIo.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace siteserver::io {

StopLatch::StopLatch() {
  if (::pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0) m_fds[0] = m_fds[1] = -1;
}

StopLatch::~StopLatch() {
  for (int fd : m_fds) {
    if (fd >= 0) ::close(fd);
  }
}

void StopLatch::Set() {
  const char b = 1;
  // One byte that nobody reads keeps the pipe readable for good.
  if (!IsSet()) (void)!::write(m_fds[1], &b, 1);
}

bool StopLatch::IsSet() const {
  pollfd p{m_fds[0], POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

int ListenLoopback(unsigned port, unsigned& boundPort, std::string& error, bool ipv6) {
  if (port > 65535) {
    error = "port out of range";
    return -1;
  }
  const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::strerror(errno);
    return -1;
  }
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_storage storage{};
  socklen_t len = 0;
  if (ipv6) {
    auto* addr = reinterpret_cast<sockaddr_in6*>(&storage);
    addr->sin6_family = AF_INET6;
    addr->sin6_addr = in6addr_loopback;
    addr->sin6_port = htons(static_cast<uint16_t>(port));
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    len = sizeof *addr;
  } else {
    auto* addr = reinterpret_cast<sockaddr_in*>(&storage);
    addr->sin_family = AF_INET;
    addr->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr->sin_port = htons(static_cast<uint16_t>(port));
    len = sizeof *addr;
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), len) != 0 || ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &len) != 0) {
    error = std::strerror(errno);
    ::close(fd);
    return -1;
  }
  boundPort = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                         : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
  return fd;
}

Wait WaitFor(int fd, short events, const StopLatch& stop, int timeoutMs) {
  pollfd p[2] = {{stop.Fd(), POLLIN, 0}, {fd, events, 0}};
  for (;;) {
    const int r = ::poll(p, fd >= 0 ? 2 : 1, timeoutMs);
    if (r < 0 && errno == EINTR) continue;  // a signal: the remaining time is not worth tracking here
    if (r < 0 || p[0].revents) return Wait::Stopped;
    return r == 0 ? Wait::Timeout : Wait::Ready;
  }
}

bool SendAll(int fd, const char* data, std::size_t size, const StopLatch& stop) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (WaitFor(fd, POLLOUT, stop, -1) != Wait::Ready) return false;
    } else {
      return false;
    }
  }
  return true;
}

int AcceptClient(int listenFd) {
  const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return -1;
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

void Reset(int fd) {
  const linger abort{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  ::close(fd);
}

void CloseGracefully(int fd, std::string& drained) {
  char buf[4096];
  ssize_t n;
  while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) drained.append(buf, static_cast<std::size_t>(n));
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}

}  // namespace siteserver::io
