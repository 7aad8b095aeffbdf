// Real FTP servers and certificates for the integration tests, all made at
// test time in a throwaway folder and bound to 127.0.0.1. Each returns an
// empty result or 0 when its tool is missing, so a test can skip and say why.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class TempDir;

namespace peers {

// Debian's python first: a python3 earlier on PATH may lack the packages.
// Empty when no interpreter can import every module named.
std::string FindPython(const std::vector<std::string>& modules);

// Certificates made with the openssl command line tool.
struct Certificates {
  std::filesystem::path folder;
  std::filesystem::path caCert;                         // the test CA
  std::filesystem::path caSignedCert, caSignedKey;      // for 127.0.0.1 and localhost, signed by the CA
  std::filesystem::path selfSignedCert, selfSignedKey;  // for 127.0.0.1 and localhost, signed by itself
  std::filesystem::path otherNameCert, otherNameKey;    // for other.example only, signed by the CA
  std::filesystem::path rsaCert, rsaKey;                // RSA, for 127.0.0.1 and localhost, signed by itself

  // False (with the tool's complaint in error) when openssl is missing or fails.
  bool Make(std::string& error);
  // The test CA stands in for the system's trust store, until ForgetCa().
  void TrustCa() const;
  static void ForgetCa();
  Certificates();
  ~Certificates();

 private:
  std::unique_ptr<TempDir> m_dir;
};

// Starts a quiet server told to listen on port; true once it accepts there,
// false (and stopped) when it ends or does not within ten seconds.
bool SpawnListening(std::vector<std::string> args, unsigned port, pid_t& pid);

// The SHA-256 fingerprint as the openssl tool prints it ("AB:CD:...").
std::string OpensslFingerprint(const std::filesystem::path& cert);

// tests/pyftpd_server.py; with a certificate, its TLS handler requiring TLS
// on the control connection. Serves user "tester", password "t3st-only".
class PyFtpd {
 public:
  ~PyFtpd() { Stop(); }
  // The port, or 0 when the server did not come up.
  unsigned Start(const std::string& python, int idleSeconds, const std::filesystem::path& cert = {},
                 const std::filesystem::path& key = {});
  void Stop();

 private:
  pid_t m_pid = -1;
  int m_stdin = -1;
};

// tests/tls_renegotiating_server.py: TLS 1.2 only; after the login it asks
// for a renegotiation, offering swapCert in it when given. One connection.
class RenegotiatingPeer {
 public:
  ~RenegotiatingPeer() { Report(); }
  // The port, or 0 when the peer did not come up. The report goes beside cert.
  unsigned Start(const std::string& python, const std::filesystem::path& cert, const std::filesystem::path& key,
                 const std::filesystem::path& swapCert = {}, const std::filesystem::path& swapKey = {});
  // Stops the peer; one line per command it got after the request ("NOOP
  // after request", "NOOP after renegotiation") or per TLS error ("error ...").
  std::string Report();

 private:
  pid_t m_pid = -1;
  int m_stdin = -1;
  int m_runs = 0;
  std::filesystem::path m_report;
};

// "openssl s_server" on 127.0.0.1 (plain TLS, no FTP) with extra options
// such as "-tls1_2 -cipher AES128-SHA".
class OpensslServer {
 public:
  ~OpensslServer() { Stop(); }
  // The port, or 0 when the server did not come up.
  unsigned Start(const std::filesystem::path& cert, const std::filesystem::path& key, const std::string& options);
  void Stop();

 private:
  pid_t m_pid = -1;
};

// ProFTPD with mod_tls and "TLSRequired on", from a generated configuration
// and its own user file, in the foreground (no system service). Serves user
// "tester", password "t3st-only".
class ProFtpd {
 public:
  ProFtpd();
  ~ProFtpd();
  // Empty when proftpd and its TLS module are there; else what is missing.
  static std::string Missing();
  // The port, or 0 when the server did not come up (error says why).
  unsigned Start(const std::filesystem::path& cert, const std::filesystem::path& key, std::string& error);
  void Stop();

 private:
  pid_t m_pid = -1;
  std::unique_ptr<TempDir> m_folder;
};

}  // namespace peers
