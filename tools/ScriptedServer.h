#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ServerIo.h"

// A stand-in FTP server that plays a fixed script per connection and records
// every byte the client sent, so tests can check the wire as well as what the
// client made of the replies.
namespace siteserver {

struct Step {
  enum class Kind {
    Send,        // send bytes as one write
    SendSlowly,  // send bytes one at a time, ms apart
    ExpectLine,  // wait for one LF-ended line from the client
    Pause,       // stay silent for ms
    Close,       // close the connection
    Reset,       // drop the connection with a reset
    Hold         // stay silent until the client closes or the server stops
  };
  Kind kind;
  std::string bytes;
  int ms = 0;
};

using Script = std::vector<Step>;

// Script{Send("220 hello\r\n"), ExpectLine(), Send("331 pw\r\n"), Close()}
inline Step Send(std::string bytes) { return {Step::Kind::Send, std::move(bytes), 0}; }
inline Step SendSlowly(std::string bytes, int delayMs = 1) {
  return {Step::Kind::SendSlowly, std::move(bytes), delayMs};
}
inline Step ExpectLine() { return {Step::Kind::ExpectLine, {}, 0}; }
inline Step Pause(int ms) { return {Step::Kind::Pause, {}, ms}; }
inline Step Close() { return {Step::Kind::Close, {}, 0}; }
inline Step Reset() { return {Step::Kind::Reset, {}, 0}; }
inline Step Hold() { return {Step::Kind::Hold, {}, 0}; }

// The text form of a script, one step a line; see ScriptSyntaxHelp().
// False with a message naming the line on a syntax error.
bool ParseScript(const std::string& text, Script& script, std::string& error);
const char* ScriptSyntaxHelp();

class ScriptedServer {
 public:
  // Connection n plays scripts[n]; connections beyond the scripts are
  // closed at once. A script that runs out holds the connection.
  explicit ScriptedServer(std::vector<Script> scripts, unsigned port = 0, bool ipv6 = false);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  // Listens on 127.0.0.1 (::1 with ipv6) and starts serving; false with Error() set.
  bool Start();
  // Ends every wait at once; the destructor calls it.
  void Stop();

  unsigned Port() const { return m_port; }
  const std::string& Error() const { return m_error; }

  std::size_t Connections() const;
  // Every byte connection conn has sent so far.
  std::string Received(std::size_t conn) const;
  // The client closed its side (seen while the script waited or held).
  bool ClientClosed(std::size_t conn) const;
  // The address connection conn came from, numeric ("127.0.0.1").
  std::string Peer(std::size_t conn) const;
  // Waits until connection conn has played its script to the end (for a
  // holding script: until the client closed). False on timeout.
  bool WaitDone(std::size_t conn, std::chrono::milliseconds timeout) const;

 private:
  struct Record {
    std::string received;
    bool clientClosed = false;
    bool done = false;
    std::string peer;
  };

  void Serve();
  void Play(int fd, const Script& script, std::size_t conn);
  // Reads what is there into the record; false once the client closed.
  bool ReadSome(int fd, std::size_t conn, std::string& unread);

  std::vector<Script> m_scripts;
  unsigned m_port;
  bool m_ipv6;
  std::string m_error;
  int m_listenFd = -1;
  io::StopLatch m_stop;
  std::thread m_thread;

  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  std::vector<Record> m_records;
};

}  // namespace siteserver
