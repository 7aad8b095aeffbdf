#pragma once

#include <cstddef>
#include <string>

// Small POSIX helpers shared by the scripted and the demo server. Every wait
// also watches a stop latch, so stopping a server never waits on a silent
// client or a full send buffer.
namespace siteserver::io {

// A latch that, once set, makes every poll on its fd report readable.
class StopLatch {
 public:
  StopLatch();
  ~StopLatch();
  StopLatch(const StopLatch&) = delete;
  StopLatch& operator=(const StopLatch&) = delete;

  void Set();
  bool IsSet() const;
  int Fd() const { return m_fds[0]; }

 private:
  int m_fds[2] = {-1, -1};
};

// A non-blocking listening socket on 127.0.0.1 (or ::1); port 0 picks a
// free one. Returns the fd (or -1 with error set) and the port actually bound.
int ListenLoopback(unsigned port, unsigned& boundPort, std::string& error, bool ipv6 = false);

enum class Wait { Ready, Stopped, Timeout };

// Waits for events on fd (or only for the timeout when fd is -1);
// timeoutMs < 0 waits without limit.
Wait WaitFor(int fd, short events, const StopLatch& stop, int timeoutMs);

// Sends every byte, waiting for room as needed. False when the peer has
// gone or the server is stopping.
bool SendAll(int fd, const char* data, std::size_t size, const StopLatch& stop);

// Accepts a pending connection as a non-blocking socket with Nagle off, so
// bytes sent one at a time go out one at a time. -1 when none is pending.
int AcceptClient(int listenFd);

// Closes after reading what the client already sent, so the close is an
// orderly FIN and not a reset that could destroy our last reply in flight.
// The bytes drained are appended to drained.
void CloseGracefully(int fd, std::string& drained);

// Closes with a reset (RST) instead of an orderly close.
void Reset(int fd);

}  // namespace siteserver::io
