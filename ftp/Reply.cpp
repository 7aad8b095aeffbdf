#include "Reply.h"

#include <algorithm>
#include <array>

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

bool AsksForEncryption(char replyClass, std::string_view text) {
  if (replyClass != '4' && replyClass != '5') return false;
  static constexpr std::array<std::string_view, 7> kWords = {"tls",     "ssl",       "secure",    "secured",
                                                             "encrypt", "encrypted", "encryption"};
  // Bytes of the upper half are letters of the code page: they don't split a word.
  const auto isLetter = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80;
  };
  std::size_t i = 0;
  while (i < text.size()) {
    if (!isLetter(text[i])) {
      ++i;
      continue;
    }
    std::string word;
    for (; i < text.size() && isLetter(text[i]); ++i)
      word += static_cast<char>(text[i] >= 'A' && text[i] <= 'Z' ? text[i] + ('a' - 'A') : text[i]);
    if (std::find(kWords.begin(), kWords.end(), word) != kWords.end()) return true;
  }
  return false;
}
