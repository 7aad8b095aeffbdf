#include "Socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Short enough for a smooth repaint, long enough to cost nothing.
constexpr int kSliceMs = 20;

// Each thread waits for its own connections: a session's worker gives up
// when its session is cancelled, whatever the other threads do.
struct WaitHook {
  std::function<bool()> goOn;
  int wakeFd = -1;  // none: goOn is asked every slice
  std::function<int()> sleepMs;
  const std::atomic<bool>* cancelled = nullptr;
};
thread_local WaitHook t_hook;

bool CallWaitHook() { return !t_hook.goOn || t_hook.goOn(); }
bool Wakeable() { return t_hook.wakeFd >= 0; }
bool Cancelled() { return t_hook.cancelled && t_hook.cancelled->load(std::memory_order_relaxed); }

// Waits until fd has one of events, as the thread's hook allows: 1 ready,
// 0 abandoned by the hook, -1 poll failed (errno says why). A wake is
// looked at before the socket, so a flood that keeps the socket readable
// cannot hide a cancel.
int WaitReady(int fd, short events) {
  for (;;) {
    const bool wakeable = Wakeable();
    pollfd fds[2] = {{fd, events, 0}, {t_hook.wakeFd, POLLIN, 0}};
    const int timeout = !wakeable ? kSliceMs : t_hook.sleepMs ? t_hook.sleepMs() : -1;
    const int r = ::poll(fds, wakeable ? 2 : 1, timeout);
    if (r < 0 && errno != EINTR) return -1;
    const bool woken = r > 0 && wakeable && fds[1].revents != 0;
    if (woken || r <= 0) {
      if (!CallWaitHook()) return 0;
      if (woken) {
        std::uint64_t drained = 0;
        (void)!::read(t_hook.wakeFd, &drained, sizeof drained);
      }
    }
    if (r > 0 && fds[0].revents != 0) return 1;
  }
}

// A name lookup cannot be polled, so it runs on a helper thread while the
// caller waits in slices with the hook as for any other socket call. An
// abandoned lookup finishes on its own and frees its state.
struct Lookup {
  Lookup() : doneFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~Lookup() {
    if (doneFd >= 0) ::close(doneFd);
  }
  Lookup(const Lookup&) = delete;
  Lookup& operator=(const Lookup&) = delete;

  std::mutex mutex;
  std::condition_variable done;
  int doneFd;  // readable once finished, for waits that sleep until woken
  bool finished = false;
  int rc = 0;
  std::vector<std::string> addresses;
};

void Resolve(const std::string& host, Lookup& lookup) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;  // IPv6 as well as IPv4, in the order the system prefers
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &res);
  std::vector<std::string> addresses;
  for (const addrinfo* a = rc == 0 ? res : nullptr; a; a = a->ai_next) {
    char text[NI_MAXHOST];
    if ((a->ai_family == AF_INET || a->ai_family == AF_INET6) &&
        ::getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) == 0 &&
        std::find(addresses.begin(), addresses.end(), text) == addresses.end())
      addresses.emplace_back(text);
  }
  if (res) ::freeaddrinfo(res);
  if (rc == 0 && addresses.empty()) rc = EAI_NONAME;
  std::lock_guard<std::mutex> lock(lookup.mutex);
  lookup.rc = rc;
  lookup.addresses = std::move(addresses);
  lookup.finished = true;
  lookup.done.notify_all();
  const std::uint64_t one = 1;
  if (lookup.doneFd >= 0) (void)!::write(lookup.doneFd, &one, sizeof one);
}

// 1 resolved, 0 abandoned by the hook, -1 the name does not resolve (rc set).
int ResolveWithHook(const std::string& host, std::vector<std::string>& addresses, int& rc) {
  auto lookup = std::make_shared<Lookup>();
  try {
    std::thread([lookup, host] { Resolve(host, *lookup); }).detach();
  } catch (const std::system_error&) {
    Resolve(host, *lookup);  // no thread to spare: look it up in place
  }
  std::unique_lock<std::mutex> lock(lookup->mutex);
  if (Wakeable() && lookup->doneFd >= 0) {
    while (!lookup->finished) {
      lock.unlock();
      const int r = WaitReady(lookup->doneFd, POLLIN);
      lock.lock();
      if (r == 0 && !lookup->finished) return 0;
      if (r < 0) lookup->done.wait(lock, [&] { return lookup->finished; });
    }
  }
  while (!lookup->done.wait_for(lock, std::chrono::milliseconds(kSliceMs), [&] { return lookup->finished; })) {
    lock.unlock();
    const bool goOn = CallWaitHook();
    lock.lock();
    if (!goOn && !lookup->finished) return 0;
  }
  rc = lookup->rc;
  addresses = lookup->addresses;
  return rc == 0 ? 1 : -1;
}

// "[::1]" as a history entry writes an IPv6 address; the brackets are no part of it.
std::string StripBrackets(const std::string& host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
  return host;
}

// A numeric IPv4 or IPv6 address (with a scope such as "fe80::1%eth0") as a
// socket address; false when the text is no such address. No lookup is made.
bool NumericAddress(const std::string& text, unsigned port, sockaddr_storage& address, socklen_t& size) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* res = nullptr;
  const std::string service = std::to_string(port);
  const bool ok = ::getaddrinfo(text.c_str(), service.c_str(), &hints, &res) == 0 && res &&
                  res->ai_addrlen <= sizeof address && (res->ai_family == AF_INET || res->ai_family == AF_INET6);
  if (ok) {
    std::memcpy(&address, res->ai_addr, res->ai_addrlen);
    size = res->ai_addrlen;
  }
  if (res) ::freeaddrinfo(res);
  return ok;
}

}  // namespace

void platform::SetSocketWaitHook(std::function<bool()> hook) { t_hook = WaitHook{std::move(hook), -1, nullptr}; }

void platform::SetSocketWaitHook(std::function<bool()> hook, int wakeFd, std::function<int()> sleepMs,
                                 const std::atomic<bool>* cancelled) {
  t_hook = WaitHook{std::move(hook), wakeFd, std::move(sleepMs), cancelled};
}

TcpSocket::TcpSocket() = default;

TcpSocket::~TcpSocket() { Close(); }

void TcpSocket::Close() {
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
}

void TcpSocket::Fail(Failure failure, int err) {
  m_failure = failure;
  m_lastErrno = err;
}

void TcpSocket::FailErrno(int err) { Fail(Failure::System, err); }

bool TcpSocket::Create() { return Open(AF_INET); }

bool TcpSocket::Open(int family) {
  Close();
  // Non-blocking underneath: every wait goes through poll, so the wait hook
  // runs while the call blocks from the caller's point of view.
  m_fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (m_fd < 0) {
    FailErrno(errno);
    return false;
  }
  return true;
}

int TcpSocket::Wait(short events) {
  const int r = WaitReady(m_fd, events);
  if (r < 0) FailErrno(errno);
  if (r == 0) Fail(Failure::Abandoned, 0);
  return r;
}

bool TcpSocket::Connect(const std::string& host, unsigned port) {
  if (port > 65535) {
    FailErrno(EINVAL);
    return false;
  }
  const std::string name = StripBrackets(host);
  std::vector<std::string> addresses;
  sockaddr_storage numeric{};
  socklen_t numericSize = 0;
  if (!name.empty() && NumericAddress(name, port, numeric, numericSize)) {
    addresses.push_back(name);
  } else {
    int rc = EAI_NONAME;
    const int r = name.empty() ? -1 : ResolveWithHook(name, addresses, rc);
    if (r == 0) {
      Fail(Failure::Abandoned, 0);
      return false;
    }
    if (r < 0) {
      if (rc == EAI_MEMORY)
        FailErrno(ENOMEM);
      else
        Fail(Failure::NoSuchHost, 0);
      m_resolveError = rc;
      return false;
    }
  }
  return Connect(addresses, port);
}

bool TcpSocket::Connect(const std::vector<std::string>& addresses, unsigned port) {
  if (port > 65535 || addresses.empty()) {
    FailErrno(EINVAL);
    return false;
  }
  // Every address in turn; the last failure is the one reported.
  for (const std::string& address : addresses) {
    if (ConnectOne(address, port)) return true;
    if (m_failure == Failure::Abandoned) return false;
  }
  return false;
}

bool TcpSocket::ConnectOne(const std::string& address, unsigned port) {
  sockaddr_storage storage{};
  socklen_t size = 0;
  if (!NumericAddress(address, port, storage, size)) {
    FailErrno(EINVAL);
    return false;
  }
  if (!Open(storage.ss_family)) return false;
  if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&storage), size) == 0) return BlockInSlices();
  if (errno != EINPROGRESS && errno != EINTR) {
    FailErrno(errno);
    Close();
    return false;
  }
  const int w = Wait(POLLOUT);
  int err = 0;
  if (w > 0) {
    socklen_t len = sizeof err;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    if (err == 0) return BlockInSlices();
    FailErrno(err);
  }
  Close();
  return false;
}

// Once connected, reads and writes block in the kernel for at most one slice
// and the wait hook runs between slices: one system call per chunk of a long
// reply, where a non-blocking socket costs a recv, a poll and a recv again.
bool TcpSocket::BlockInSlices() {
  const timeval slice{0, kSliceMs * 1000};
  const int flags = ::fcntl(m_fd, F_GETFL);
  if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
      ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice) != 0 ||
      ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &slice, sizeof slice) != 0) {
    FailErrno(errno);
    Close();
    return false;
  }
  return true;
}

ConnectError ConnectErrorFromErrno(int err) {
  using Kind = ConnectError::Kind;
  ConnectError e;
  e.systemError = err;
  e.text = std::strerror(err);
  switch (err) {
    case EINVAL:
    case EAFNOSUPPORT:
    case EDESTADDRREQ:
      e.kind = Kind::BadAddress;
      break;
    case ECONNREFUSED:
      e.kind = Kind::Refused;
      break;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN:
      e.kind = Kind::Unreachable;
      break;
    case ETIMEDOUT:
      e.kind = Kind::TimedOut;
      break;
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
      e.kind = Kind::NoResources;
      break;
    default:
      e.kind = Kind::Other;
      break;
  }
  return e;
}

ConnectError TcpSocket::LastConnectError() const {
  if (m_failure == Failure::None) return {};
  if (m_failure == Failure::Abandoned) return {ConnectError::Kind::Abandoned, 0, "the wait was abandoned", {}};
  if (m_lastErrno != 0) return ConnectErrorFromErrno(m_lastErrno);
  // A name that did not resolve.
  return {ConnectError::Kind::BadAddress, 0,
          m_resolveError != 0 ? ::gai_strerror(m_resolveError) : "the host name is empty", {}};
}

std::unique_ptr<Transport> platform::ConnectTcp(const std::string& host, unsigned port, ConnectError& error) {
  auto socket = std::make_unique<TcpSocket>();
  if (socket->Connect(host, port)) {
    error = {};
    return socket;
  }
  error = socket->LastConnectError();
  return nullptr;
}

bool TcpSocket::Send(std::string_view bytes) {
  if (m_fd < 0) {
    FailErrno(EBADF);
    return false;
  }
  // A thread whose waits sleep until woken never blocks in the kernel,
  // where no wake could reach it.
  const int flags = MSG_NOSIGNAL | (Wakeable() ? MSG_DONTWAIT : 0);
  std::size_t done = 0;
  while (done < bytes.size()) {
    if (Cancelled()) {
      Fail(Failure::Abandoned, 0);
      return false;
    }
    const ssize_t n = ::send(m_fd, bytes.data() + done, bytes.size() - done, flags);
    if (n >= 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      FailErrno(errno);
      return false;
    }
    if (Wakeable()) {
      if (Wait(POLLOUT) <= 0) return false;
    } else if (!CallWaitHook()) {  // a slice went by with the peer not reading
      Fail(Failure::Abandoned, 0);
      return false;
    }
  }
  return true;
}

long TcpSocket::Receive(char* buf, std::size_t size, bool wait) {
  if (m_fd < 0) {
    FailErrno(EBADF);
    return -1;
  }
  if (size == 0) {
    // recv would answer 0, which reads as an orderly close.
    FailErrno(EINVAL);
    return -1;
  }
  for (;;) {
    if (wait && Cancelled()) {
      Fail(Failure::Abandoned, 0);
      return -2;
    }
    const ssize_t n = ::recv(m_fd, buf, size, wait && !Wakeable() ? 0 : MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      FailErrno(errno);
      return -1;
    }
    if (!wait) return kNothingYet;
    if (Wakeable()) {
      const int r = Wait(POLLIN);
      if (r < 0) return -1;
      if (r == 0) return -2;
      continue;
    }
    if (!CallWaitHook()) {  // a slice went by in silence
      Fail(Failure::Abandoned, 0);
      return -2;
    }
  }
}

std::string TcpSocket::ErrorText() const {
  if (m_failure == Failure::Abandoned) return "the wait was abandoned";
  if (m_failure == Failure::NoSuchHost) return LastConnectError().text;
  return std::strerror(m_lastErrno);
}
