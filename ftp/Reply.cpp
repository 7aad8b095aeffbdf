#include "Reply.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool OpensMultiLine(const std::string& line) { return line.size() >= 4 && line[3] == '-'; }

bool EndsMultiLine(const std::string& line) {
  return line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) &&
         (line.size() == 3 || line[3] != '-');
}

ReplyStatus Broken(LineReader::Status st) {
  switch (st) {
    case LineReader::Status::Closed:
      return ReplyStatus::Closed;
    case LineReader::Status::Aborted:
      return ReplyStatus::Aborted;
    default:
      return ReplyStatus::Failed;
  }
}

}  // namespace

ReplyStatus ReadReplyLines(LineReader& reader, const std::function<void(const std::string&)>& onLine,
                           std::string& lastLine) {
  lastLine.clear();
  std::string line;
  bool first = true;
  for (;;) {
    LineReader::Status st = reader.ReadLine(line);
    if (st == LineReader::Status::Partial) {  // shown, but a reply ends only at a line end
      onLine(line);
      lastLine.swap(line);
      st = reader.ReadLine(line);
    }
    if (st != LineReader::Status::Line) return Broken(st);
    onLine(line);
    lastLine.swap(line);
    if (first ? !OpensMultiLine(lastLine) : EndsMultiLine(lastLine)) return ReplyStatus::Complete;
    first = false;
  }
}
