// One control connection at the transport level for the TLS tests: plain
// until Secure() puts the TLS layer on it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "LineReader.h"
#include "Reply.h"
#include "Socket.h"
#include "TlsTransport.h"

class Session {
 public:
  bool Connect(const std::string& host, unsigned port) {
    auto socket = std::make_unique<TcpSocket>();
    if (!socket->Create() || !socket->Connect(host, port)) return false;
    m_transport = std::move(socket);
    return true;
  }
  std::string Reply() {
    std::string last;
    lines.clear();
    ReadReplyLines(
        m_reader, [this](std::string_view l) { lines.emplace_back(l); }, last);
    return last;
  }
  std::string Exchange(const std::string& command) {
    return m_transport->Send(command + "\r\n") ? Reply() : "(send failed: " + m_transport->ErrorText() + ")";
  }
  // Connected, greeted (220) and told to go ahead with TLS (234); the handshake is Secure's.
  bool AskForTls(const std::string& host, unsigned port) {
    return Connect(host, port) && Reply().starts_with("220 ") && Exchange("AUTH TLS").starts_with("234 ");
  }
  TlsTransport::Handshake Secure(const std::string& host) {
    auto tls = std::make_unique<TlsTransport>(std::move(m_transport));
    tls_ = tls.get();
    m_transport = std::move(tls);
    return tls_->Start(host);
  }
  Transport& transport() { return *m_transport; }

  TlsTransport* tls_ = nullptr;
  std::vector<std::string> lines;

 private:
  std::unique_ptr<Transport> m_transport;
  LineReader m_reader{[this](char* b, std::size_t n, bool wait) { return m_transport->Receive(b, n, wait); }};
};
