#include "TestPeers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "Process.h"
#include "ServerIo.h"
#include "TempFiles.h"

namespace fs = std::filesystem;

namespace peers {

namespace {

// Runs a shell command; its output and errors go to log.
bool Run(const std::string& command, const fs::path& log) {
  return std::system(("(" + command + ") >>'" + log.string() + "' 2>&1").c_str()) == 0;
}

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    ::pclose(p);
  }
  return out;
}

unsigned FreePort() {
  unsigned port = 0;
  std::string error;
  if (const int fd = siteserver::io::ListenLoopback(0, port, error); fd >= 0) ::close(fd);
  return port;
}

bool Accepts(unsigned port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

// Starts a peer that prints its port as the first line of stdout and ends
// when its stdin closes; the port, or 0.
unsigned SpawnWithPortLine(std::vector<std::string> args, pid_t& pid, int& stdinFd) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return 0;
  pid = proc::Spawn({std::move(args), in[0], out[1], 2, {}});
  ::close(in[0]);
  ::close(out[1]);
  stdinFd = in[1];
  std::string text;
  pollfd p{out[0], POLLIN, 0};
  char c;
  while (text.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0 && ::read(out[0], &c, 1) == 1)
    text.push_back(c);
  ::close(out[0]);
  return static_cast<unsigned>(std::atoi(text.c_str()));
}

void StopSpawned(pid_t& pid, int& stdinFd) {
  if (stdinFd >= 0) ::close(stdinFd);  // the peer ends when its stdin closes
  stdinFd = -1;
  proc::Stop(pid);
}

const char* kProFtpd = "/usr/sbin/proftpd";
const char* kModTls = "/usr/lib/proftpd/mod_tls.so";

}  // namespace

bool SpawnListening(std::vector<std::string> args, unsigned port, pid_t& pid) {
  pid = proc::Spawn({std::move(args), -1, -1, -1, {}});
  for (int i = 0; i < 200; ++i) {
    if (Accepts(port)) return true;
    if (::waitpid(pid, nullptr, WNOHANG) == pid) {
      pid = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  proc::Stop(pid, SIGTERM);
  return false;
}

std::string FindPython(const std::vector<std::string>& modules) {
  std::vector<std::string> candidates;
  if (const char* env = std::getenv("KORVASTEL_PYTHON")) candidates.push_back(env);
  candidates.insert(candidates.end(), {"/usr/bin/python3", "python3"});
  std::string imports;
  for (const std::string& m : modules) imports += "import " + m + "; ";
  for (const std::string& py : candidates) {
    const std::string probe = "'" + py + "' -c '" + imports + "' >/dev/null 2>&1";
    if (std::system(probe.c_str()) == 0) return py;
  }
  return {};
}

void Certificates::TrustCa() const {
  ::setenv("SSL_CERT_FILE", caCert.c_str(), 1);
  ::setenv("SSL_CERT_DIR", folder.c_str(), 1);
}

void Certificates::ForgetCa() {
  ::unsetenv("SSL_CERT_FILE");
  ::unsetenv("SSL_CERT_DIR");
}

bool Certificates::Make(std::string& error) {
  m_dir = std::make_unique<TempDir>("korvastel-certs-");
  folder = m_dir->Path();
  const fs::path log = folder / "openssl.log";
  const std::string cd = "cd '" + folder.string() + "' && ";
  const std::string newKey = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  const std::string names = "subjectAltName=IP:127.0.0.1,DNS:localhost";
  // A leaf signed by the test CA for the names given.
  const auto signedBy = [&](const std::string& stem, const std::string& cn, const std::string& san) {
    return Run(cd + "openssl req -new" + newKey + " -keyout " + stem + ".key -out " + stem + ".csr -subj '/CN=" + cn +
                   "' && printf '%s\\nbasicConstraints=CA:FALSE\\n' '" + san + "' > " + stem +
                   ".ext && openssl x509 -req -in " + stem +
                   ".csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out " + stem + ".pem -extfile " + stem +
                   ".ext",
               log);
  };
  const bool ok =
      Run(cd + "openssl req -x509" + newKey + " -keyout ca.key -out ca.pem -days 2 -subj '/CN=Korvastel Test CA'",
          log) &&
      signedBy("server", "korvastel-test-server", names) &&
      signedBy("other", "other.example", "subjectAltName=DNS:other.example") &&
      Run(cd + "openssl req -x509" + newKey +
              " -keyout self.key -out self.pem -days 2 -subj '/CN=korvastel-self-signed' -addext " + names,
          log) &&
      Run(cd +
              "openssl req -x509 -newkey rsa:2048 -nodes -keyout rsa.key -out rsa.pem -days 2 "
              "-subj '/CN=korvastel-rsa' -addext " +
              names,
          log);
  if (!ok) {
    error = "openssl could not make the test certificates: " + ReadFile(log);
    return false;
  }
  caCert = folder / "ca.pem";
  caSignedCert = folder / "server.pem";
  caSignedKey = folder / "server.key";
  selfSignedCert = folder / "self.pem";
  selfSignedKey = folder / "self.key";
  otherNameCert = folder / "other.pem";
  otherNameKey = folder / "other.key";
  rsaCert = folder / "rsa.pem";
  rsaKey = folder / "rsa.key";
  return true;
}

Certificates::Certificates() = default;
Certificates::~Certificates() = default;

std::string OpensslFingerprint(const fs::path& cert) {
  // "sha256 Fingerprint=AB:CD:..." (older tools say "SHA256 Fingerprint=").
  std::string out = Output("openssl x509 -noout -fingerprint -sha256 -in '" + cert.string() + "' 2>/dev/null");
  const std::size_t eq = out.find('=');
  if (eq == std::string::npos) return {};
  out.erase(0, eq + 1);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

unsigned PyFtpd::Start(const std::string& python, int idleSeconds, const fs::path& cert, const fs::path& key) {
  std::vector<std::string> args = {
      python, KORVASTEL_PYFTPD_SERVER, "--idle-timeout", std::to_string(idleSeconds), "--max-lifetime", "60"};
  if (!cert.empty()) args.insert(args.end(), {"--tls-cert", cert.string(), "--tls-key", key.string()});
  return SpawnWithPortLine(std::move(args), m_pid, m_stdin);
}

void PyFtpd::Stop() { StopSpawned(m_pid, m_stdin); }

unsigned RenegotiatingPeer::Start(const std::string& python, const fs::path& cert, const fs::path& key,
                                  const fs::path& swapCert, const fs::path& swapKey) {
  m_report = cert.parent_path() / ("renegotiation-" + std::to_string(++m_runs) + ".txt");
  // Beside pyftpd_server.py in tests/.
  const fs::path script = fs::path(KORVASTEL_PYFTPD_SERVER).parent_path() / "tls_renegotiating_server.py";
  std::vector<std::string> args = {python,  script.string(), "--cert",   cert.string(),
                                   "--key", key.string(),    "--report", m_report.string()};
  if (!swapCert.empty()) args.insert(args.end(), {"--swap-cert", swapCert.string(), "--swap-key", swapKey.string()});
  return SpawnWithPortLine(std::move(args), m_pid, m_stdin);
}

std::string RenegotiatingPeer::Report() {
  proc::Stop(m_pid);  // it ends by itself once its one connection has gone
  StopSpawned(m_pid, m_stdin);
  return ReadFile(m_report);
}

unsigned OpensslServer::Start(const fs::path& cert, const fs::path& key, const std::string& options) {
  const unsigned port = FreePort();
  const std::string command = "exec openssl s_server -quiet -accept 127.0.0.1:" + std::to_string(port) + " -cert '" +
                              cert.string() + "' -key '" + key.string() + "' " + options;
  return port != 0 && SpawnListening({"/bin/sh", "-c", command}, port, m_pid) ? port : 0;
}

void OpensslServer::Stop() { proc::Stop(m_pid, SIGTERM); }

ProFtpd::ProFtpd() = default;
ProFtpd::~ProFtpd() { Stop(); }

std::string ProFtpd::Missing() {
  if (!fs::exists(kProFtpd)) return "proftpd is not installed (apt-get install proftpd-core)";
  if (!fs::exists(kModTls)) return "ProFTPD's TLS module is not installed (apt-get install proftpd-mod-crypto)";
  return {};
}

unsigned ProFtpd::Start(const fs::path& cert, const fs::path& key, std::string& error) {
  m_folder = std::make_unique<TempDir>("korvastel-proftpd-");
  const unsigned port = FreePort();
  const passwd* user = ::getpwuid(::getuid());
  const group* grp = ::getgrgid(::getgid());
  if (port == 0 || !user || !grp) {
    error = "no folder, port, user or group for proftpd";
    return 0;
  }
  const fs::path dir = m_folder->Path();
  fs::create_directory(dir / "home");
  const std::string hash = Output("openssl passwd -6 t3st-only");
  {
    std::ofstream users(dir / "passwd");
    users << "tester:" << hash.substr(0, hash.find('\n')) << ":" << ::getuid() << ":" << ::getgid()
          << "::" << (dir / "home").string() << ":/bin/sh\n";
    std::ofstream groups(dir / "group");
    groups << "testers:x:" << ::getgid() << ":\n";
  }
  for (const char* file : {"passwd", "group"}) fs::permissions(dir / file, fs::perms::owner_read | fs::perms::owner_write);
  {
    std::ofstream conf(dir / "proftpd.conf");
    conf << "ServerName \"korvastel test\"\n"
            "ServerType standalone\n"
            "DefaultServer on\n"
            "Port "
         << port << "\nDefaultAddress 127.0.0.1\nSocketBindTight on\nUseIPv6 off\nUseReverseDNS off\n"
         << "User " << user->pw_name << "\nGroup " << grp->gr_name << "\n"
         << "PidFile " << (dir / "proftpd.pid").string() << "\n"
         << "ScoreboardFile " << (dir / "proftpd.scoreboard").string() << "\n"
         << "SystemLog " << (dir / "system.log").string() << "\n"
         << "DelayTable none\nWtmpLog off\nTransferLog none\nMaxInstances 8\n"
            "AuthOrder mod_auth_file.c\n"
         << "AuthUserFile " << (dir / "passwd").string() << "\nAuthGroupFile " << (dir / "group").string() << "\n"
         << "RequireValidShell off\nRootLogin on\n"
            "<IfModule mod_cap.c>\n  CapabilitiesEngine off\n</IfModule>\n"
            "ModulePath /usr/lib/proftpd\nLoadModule mod_tls.c\n"
            "TLSEngine on\nTLSRequired on\nTLSProtocol TLSv1.2 TLSv1.3\nTLSVerifyClient off\n"
            "TLSOptions NoSessionReuseRequired\n"
         << "TLSECCertificateFile " << cert.string() << "\nTLSECCertificateKeyFile " << key.string() << "\n"
         << "TLSLog " << (dir / "tls.log").string() << "\n";
  }
  if (SpawnListening({kProFtpd, "-n", "-q", "-c", (dir / "proftpd.conf").string()}, port, m_pid)) return port;
  error = "proftpd did not start: " + ReadFile(dir / "system.log");
  Stop();
  return 0;
}

void ProFtpd::Stop() {
  proc::Stop(m_pid, SIGTERM);
  m_folder.reset();
}

}  // namespace peers
