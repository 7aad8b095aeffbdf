#include "ConnectErrors.h"

#include <cerrno>

std::string ConnectErrorMessage(const ConnectError& error) {
  switch (error.kind) {
    case ConnectError::Kind::ProxyUnreachable:
      return "the proxy " + error.place + " could not be reached";
    case ConnectError::Kind::ProxyLoginRefused:
      return "the proxy refused the login";
    case ConnectError::Kind::ProxyCannotReach:
      return "the proxy could not reach " + error.place + " (" + error.text + ")";
    case ConnectError::Kind::ProxyNotSocks5:
      return "the proxy answered something that is not SOCKS5";
    case ConnectError::Kind::ProxyLoginTooLong:
      return "the proxy user name or password is longer than 255 bytes";
    default:
      break;
  }
  if (error.kind == ConnectError::Kind::BadAddress && error.systemError == 0) return "Invalid host address. ";
  switch (error.systemError) {
    case EFAULT:
      return "The nSockAddrLen argument is incorrect. ";
    case EINVAL:
      return "Invalid host address. ";
    case EMFILE:
    case ENFILE:
      return "No more file descriptors are available. ";
    case EAGAIN:
      return "The socket is marked as nonblocking and the connection cannot be completed immediately. ";
    case EINPROGRESS:
      return "A blocking Windows Sockets call is in progress. ";
    case ENOTSOCK:
    case EBADF:
      return "The descriptor is not a socket. ";
    case EDESTADDRREQ:
      return "A destination address is required. ";
    case EAFNOSUPPORT:
      return "Addresses in the specified family cannot be used with this socket. ";
    case EADDRINUSE:
      return "The specified address is already in use. ";
    case EADDRNOTAVAIL:
      return "The specified address is not available from the local machine. ";
    case ENETDOWN:
      return "The Windows Sockets implementation detected that the network subsystem failed.";
    // An unreachable host is as far out of reach as its network.
    case ENETUNREACH:
    case EHOSTUNREACH:
      return "The network cannot be reached from this host at this time.";
    case ENOBUFS:
    case ENOMEM:
      return "No buffer space is available. The socket cannot be connected. ";
    case EISCONN:
      return "The socket is already connected. ";
    case ETIMEDOUT:
      return "Attempt to connect timed out without establishing a connection. ";
    case ECONNREFUSED:
      return "The attempt to connect was rejected. ";
    default:
      return "Unknown error when trying to connect to server.";
  }
}

std::string ConnectErrorLine(const ConnectError& error) {
  std::string text = ConnectErrorMessage(error);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}
