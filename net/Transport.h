// The byte stream under the control connection. The plain TCP socket and the
// TLS layer both implement it, so the login and the exchanges above never
// know which one they talk through.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class Transport {
 public:
  // Receive results besides a byte count (> 0).
  static constexpr long kClosed = 0;      // the peer closed in order
  static constexpr long kFailed = -1;     // error; ErrorText() says which
  static constexpr long kAbandoned = -2;  // the wait hook gave up the wait
  static constexpr long kNothingYet = -3; // only without waiting: no byte is there now

  virtual ~Transport() = default;

  // Every byte, or false (ErrorText() says why). Waits through the wait hook.
  virtual bool Send(std::string_view bytes) = 0;
  // Up to size bytes (size > 0). With wait, blocks (through the wait hook)
  // until a byte, the close or an error is there; without, answers
  // kNothingYet at once when nothing has arrived.
  virtual long Receive(char* buf, std::size_t size, bool wait = true) = 0;
  // The descriptor an idle watch listens on; -1 when there is none.
  virtual int Descriptor() const = 0;
  // Whether bytes already taken off the descriptor wait inside this layer
  // (TLS records read ahead): a watch on the descriptor cannot hear them,
  // and a read without waiting gets them at once.
  virtual bool HasPending() const { return false; }
  // Releases the connection; nothing is sent first. Idempotent.
  virtual void Close() = 0;
  // What went wrong last, in words for the user.
  virtual std::string ErrorText() const = 0;
};
