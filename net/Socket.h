#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ConnectError.h"
#include "Transport.h"


namespace platform {

// Called again and again (about every 20 ms) while a socket call of the
// calling thread waits; returning false abandons the wait. Each thread has
// its own: a session's worker installs one that notices a cancel. Without a
// hook, calls just wait.
void SetSocketWaitHook(std::function<bool()> hook);
// The same without the 20 ms slices: a wait sleeps until its socket is
// ready, wakeFd becomes readable (a cancel), or sleepMs() milliseconds have
// passed (negative: no time limit), and only then asks hook. A thread with
// many idle peers then costs nothing while it waits. A wake that hook
// answers with true is used up (wakeFd is drained). cancelled, when given,
// is read before every receive and send, so a peer that floods (the
// socket never waits) cannot hide a cancel.
void SetSocketWaitHook(std::function<bool()> hook, int wakeFd, std::function<int()> sleepMs,
                       const std::atomic<bool>* cancelled = nullptr);

// A connected TCP transport for the control connection, or null with error
// saying why.
std::unique_ptr<Transport> ConnectTcp(const std::string& host, unsigned port, ConnectError& error);

}  // namespace platform

// A blocking TCP client for the control connection. Failures come back as
// results: what kind of failure, and the errno behind it.
class TcpSocket : public Transport {
 public:
  enum class Failure {
    None,
    Abandoned,   // the wait hook gave the wait up: nothing to report
    System,      // LastErrno() says what
    NoSuchHost,  // the name did not resolve (or was empty)
  };

  TcpSocket();
  ~TcpSocket() override;  // closes the socket
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Makes a fresh TCP stream socket (closing any earlier one). Connect
  // makes its own for each address it tries, so calling this is optional.
  bool Create();
  // host: an IPv4 or IPv6 address (the latter also in brackets, "[::1]"),
  // else a name resolved to all its IPv4 and IPv6 addresses, tried in the
  // order the system gives them; a name that does not resolve fails with
  // NoSuchHost. Each try waits as long as the system's connect takes.
  bool Connect(const std::string& host, unsigned port);
  // Numeric addresses tried in order; the last failure is reported.
  bool Connect(const std::vector<std::string>& addresses, unsigned port);
  // All bytes, or false. A peer that has gone never raises SIGPIPE.
  bool Send(std::string_view bytes) override;
  // > 0 bytes read, 0 the peer closed, -1 error, -2 abandoned by the wait
  // hook, -3 nothing there yet (only without wait).
  long Receive(char* buf, std::size_t size, bool wait = true) override;
  int Descriptor() const override { return m_fd; }
  void Close() override;
  std::string ErrorText() const override;
  bool IsOpen() const { return m_fd >= 0; }

  Failure LastFailure() const { return m_failure; }
  // The errno behind the last failure (0 when it had none).
  int LastErrno() const { return m_lastErrno; }
  // The last failure as the control connection reports it.
  ConnectError LastConnectError() const;

 private:
  bool Open(int family);
  bool ConnectOne(const std::string& address, unsigned port);
  void Fail(Failure failure, int err);
  void FailErrno(int err);
  // 1 ready, 0 abandoned by the hook, -1 poll failed.
  int Wait(short events);
  // After connecting: blocking calls that give up after one slice.
  bool BlockInSlices();

  int m_fd = -1;
  Failure m_failure = Failure::None;
  int m_resolveError = 0;  // getaddrinfo's code when a name did not resolve
  int m_lastErrno = 0;
};
