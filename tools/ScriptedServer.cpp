#include "ScriptedServer.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

namespace siteserver {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unescape(const std::string& in, std::string& out, std::string& error) {
  out.clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\') {
      out.push_back(in[i]);
      continue;
    }
    if (++i == in.size()) {
      error = "a backslash ends the line";
      return false;
    }
    switch (in[i]) {
      case 'r':
        out.push_back('\r');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 't':
        out.push_back('\t');
        break;
      case '0':
        out.push_back('\0');
        break;
      case '\\':
        out.push_back('\\');
        break;
      case 'x': {
        const int hi = i + 1 < in.size() ? HexValue(in[i + 1]) : -1;
        const int lo = i + 2 < in.size() ? HexValue(in[i + 2]) : -1;
        if (hi < 0 || lo < 0) {
          error = "\\x needs two hex digits";
          return false;
        }
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        break;
      }
      default:
        error = std::string("unknown escape \\") + in[i];
        return false;
    }
  }
  return true;
}

bool ParseMs(const std::string& text, int& ms) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  ms = std::stoi(text);
  return true;
}

}  // namespace

const char* ScriptSyntaxHelp() {
  return "A script has one step a line; blank lines and lines starting with # are skipped.\n"
         "  send TEXT        send TEXT at once\n"
         "  slow TEXT        send TEXT one byte at a time, 1 ms apart\n"
         "  expect           wait for one line from the client\n"
         "  pause MS         stay silent for MS milliseconds\n"
         "  close            close the connection\n"
         "  reset            drop the connection with a reset\n"
         "  hold             stay silent until the client closes (also done when the script ends)\n"
         "TEXT is taken as written after the single blank that follows the word;\n"
         "escapes: \\r \\n \\t \\0 \\\\ \\xHH. Write line ends out: send 220 Hi\\r\\n\n";
}

bool ParseScript(const std::string& text, Script& script, std::string& error) {
  script.clear();
  std::istringstream in(text);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::size_t blank = line.find(' ');
    const std::string word = line.substr(0, blank);
    const std::string arg = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    std::string bytes, why;
    int ms = 0;
    if ((word == "send" || word == "slow") && Unescape(arg, bytes, why)) {
      script.push_back(word == "send" ? Send(bytes) : SendSlowly(bytes));
    } else if (word == "pause" && ParseMs(arg, ms)) {
      script.push_back(Pause(ms));
    } else if (word == "expect" && arg.empty()) {
      script.push_back(ExpectLine());
    } else if (word == "close" && arg.empty()) {
      script.push_back(Close());
    } else if (word == "reset" && arg.empty()) {
      script.push_back(Reset());
    } else if (word == "hold" && arg.empty()) {
      script.push_back(Hold());
    } else {
      error = "line " + std::to_string(number) + ": " + (why.empty() ? "cannot read \"" + line + "\"" : why);
      return false;
    }
  }
  return true;
}

ScriptedServer::ScriptedServer(std::vector<Script> scripts, unsigned port, bool ipv6)
    : m_scripts(std::move(scripts)), m_port(port), m_ipv6(ipv6) {}

ScriptedServer::~ScriptedServer() { Stop(); }

bool ScriptedServer::Start() {
  if (m_thread.joinable()) {
    m_error = "already started";
    return false;
  }
  m_listenFd = io::ListenLoopback(m_port, m_port, m_error, m_ipv6);
  if (m_listenFd < 0) return false;
  m_thread = std::thread([this] { Serve(); });
  return true;
}

void ScriptedServer::Stop() {
  m_stop.Set();
  if (m_thread.joinable()) m_thread.join();
  if (m_listenFd >= 0) {
    ::close(m_listenFd);
    m_listenFd = -1;
  }
  // Nothing plays any more: wake whoever waits for a connection's end.
  std::lock_guard<std::mutex> lock(m_mutex);
  m_changed.notify_all();
}

std::size_t ScriptedServer::Connections() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_records.size();
}

std::string ScriptedServer::Received(std::size_t conn) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return conn < m_records.size() ? m_records[conn].received : std::string();
}

bool ScriptedServer::ClientClosed(std::size_t conn) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return conn < m_records.size() && m_records[conn].clientClosed;
}

std::string ScriptedServer::Peer(std::size_t conn) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return conn < m_records.size() ? m_records[conn].peer : std::string();
}

bool ScriptedServer::WaitDone(std::size_t conn, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, timeout,
                            [&] { return (conn < m_records.size() && m_records[conn].done) || m_stop.IsSet(); }) &&
         conn < m_records.size() && m_records[conn].done;
}

void ScriptedServer::Serve() {
  while (io::WaitFor(m_listenFd, POLLIN, m_stop, -1) == io::Wait::Ready) {
    const int fd = io::AcceptClient(m_listenFd);
    if (fd < 0) continue;
    sockaddr_storage from{};
    socklen_t size = sizeof from;
    char peer[NI_MAXHOST] = "";
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&from), &size) == 0)
      ::getnameinfo(reinterpret_cast<sockaddr*>(&from), size, peer, sizeof peer, nullptr, 0, NI_NUMERICHOST);
    std::size_t conn;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      conn = m_records.size();
      m_records.emplace_back();
      m_records[conn].peer = peer;
    }
    if (conn < m_scripts.size())
      Play(fd, m_scripts[conn], conn);
    else
      ::close(fd);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records[conn].done = true;
    m_changed.notify_all();
  }
}

bool ScriptedServer::ReadSome(int fd, std::size_t conn, std::string& unread) {
  char buf[64 * 1024];
  const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (n <= 0) {
    m_records[conn].clientClosed = true;
    m_changed.notify_all();
    return false;
  }
  m_records[conn].received.append(buf, static_cast<std::size_t>(n));
  unread.append(buf, static_cast<std::size_t>(n));
  return true;
}

void ScriptedServer::Play(int fd, const Script& script, std::size_t conn) {
  std::string unread;  // received but not yet taken by an ExpectLine
  for (const Step& step : script) {
    if (step.kind == Step::Kind::Hold) break;  // the same as running out of steps
    switch (step.kind) {
      case Step::Kind::Send:
        if (!io::SendAll(fd, step.bytes.data(), step.bytes.size(), m_stop)) {
          ::close(fd);
          return;
        }
        break;
      case Step::Kind::SendSlowly:
        for (char c : step.bytes) {
          if (!io::SendAll(fd, &c, 1, m_stop) || io::WaitFor(-1, 0, m_stop, step.ms) == io::Wait::Stopped) {
            ::close(fd);
            return;
          }
        }
        break;
      case Step::Kind::ExpectLine: {
        std::size_t lf;
        while ((lf = unread.find('\n')) == std::string::npos) {
          if (io::WaitFor(fd, POLLIN, m_stop, -1) != io::Wait::Ready || !ReadSome(fd, conn, unread)) {
            ::close(fd);
            return;
          }
        }
        unread.erase(0, lf + 1);
        break;
      }
      case Step::Kind::Pause:
        if (io::WaitFor(-1, 0, m_stop, step.ms) == io::Wait::Stopped) {
          ::close(fd);
          return;
        }
        break;
      case Step::Kind::Close: {
        std::string drained;
        io::CloseGracefully(fd, drained);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_records[conn].received += drained;
        return;
      }
      case Step::Kind::Reset:
        io::Reset(fd);
        return;
      case Step::Kind::Hold:
        break;
    }
  }
  while (io::WaitFor(fd, POLLIN, m_stop, -1) == io::Wait::Ready && ReadSome(fd, conn, unread)) {
  }
  ::close(fd);
}

}  // namespace siteserver
