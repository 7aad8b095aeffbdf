#include "Reply.h"

ReplyStatus reply::Broken(LineReader::Status st) {
  switch (st) {
    case LineReader::Status::Closed:
      return ReplyStatus::Closed;
    case LineReader::Status::Aborted:
      return ReplyStatus::Aborted;
    default:
      return ReplyStatus::Failed;
  }
}
