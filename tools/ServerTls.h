#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "ServerIo.h"

// The server side of AUTH TLS for the demo site: a certificate made in
// memory at start, and one client's link that turns encrypted on request.
namespace siteserver {

class TlsServerContext {
 public:
  TlsServerContext();
  ~TlsServerContext();
  TlsServerContext(const TlsServerContext&) = delete;
  TlsServerContext& operator=(const TlsServerContext&) = delete;

  // A self-signed certificate for 127.0.0.1, ::1 and localhost, made in
  // memory; the same at every start (see the .cpp). Nothing touches the disk.
  bool Generate(const std::string& commonName, std::string& error);
  // SHA-256 of the certificate as "AB:CD:...".
  std::string Fingerprint() const;

 private:
  friend class ServerLink;
  struct Impl;
  std::unique_ptr<Impl> d;
};

// One client's socket, plain until StartTls. Does not own the descriptor.
class ServerLink {
 public:
  static constexpr long kNothingYet = -3;

  explicit ServerLink(int fd);
  ~ServerLink();
  ServerLink(const ServerLink&) = delete;
  ServerLink& operator=(const ServerLink&) = delete;

  // The server handshake; gives up after 30 s of silence or when stopped.
  bool StartTls(const TlsServerContext& context, const io::StopLatch& stop);
  bool Secured() const;
  bool Send(const char* data, std::size_t size, const io::StopLatch& stop);
  // > 0 bytes, 0 closed, -1 error, kNothingYet when nothing is there now.
  long Receive(char* buf, std::size_t size, const io::StopLatch& stop);
  // Decrypted bytes are waiting that a poll on the socket would not show.
  bool HasPending() const;

 private:
  bool FlushOut(const io::StopLatch& stop);

  struct Impl;
  int m_fd;
  std::unique_ptr<Impl> d;
};

}  // namespace siteserver
