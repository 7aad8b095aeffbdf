// Why a connect failed, as data: what kind of failure, the system's error
// number and its words. Callers decide what to tell the user from the kind;
// the window and the runner each keep their own texts.
#pragma once

#include <string>

struct ConnectError {
  enum class Kind {
    None,         // connected
    Abandoned,    // the wait was given up (a cancel): nothing to report
    BadAddress,   // the name did not resolve, or the address or port is not one
    Refused,      // nothing listens there
    Unreachable,  // no route to the host or its network
    TimedOut,     // no answer within the system's connect time
    NoResources,  // out of descriptors or memory
    Other,        // anything else; systemError says what
    // Through a SOCKS5 proxy; only ProxyCannotReach says the site may be down.
    ProxyUnreachable,   // no connection to the proxy: place is the proxy's HOST:PORT
    ProxyLoginRefused,  // the proxy turned our login (or the want of one) away
    ProxyCannotReach,   // the proxy could not reach place (SITE:PORT); text is its reason
    ProxyNotSocks5,     // the proxy's answer broke the protocol, or it closed midway
    ProxyLoginTooLong,  // a proxy user name or password over 255 bytes: nothing was sent
  };
  Kind kind = Kind::None;
  int systemError = 0;  // errno, 0 when there is none (a name that did not resolve)
  std::string text;     // the system's or the resolver's words
  std::string place;    // the proxy kinds: the HOST:PORT the message names

  bool Failed() const { return kind != Kind::None; }
  bool FromProxy() const { return kind >= Kind::ProxyUnreachable; }
};

// The kind and words for an errno from connect, socket or poll.
ConnectError ConnectErrorFromErrno(int err);
