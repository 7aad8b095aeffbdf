// A transcript sink for tests of the connection without a window: keeps
// every piece with its kind, and counts the blocks.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ControlConnection.h"
#include "Echo.h"

struct TranscriptRecorder : TranscriptSink {
  std::vector<std::pair<TranscriptKind, std::string>> pieces;
  int blocks = 0;

  void Show(TranscriptKind kind, std::string_view text) override {
    if (!pieces.empty() && pieces.back().first == kind && kind != TranscriptKind::Command)
      pieces.back().second.append(text);  // consecutive lines of one kind read as one piece
    else
      pieces.emplace_back(kind, std::string(text));
  }
  void BlockDone() override { ++blocks; }
  void ExchangeStarted(const Exchange& exchange) override {
    if (const std::string echo = EchoText(exchange); !echo.empty()) Show(exchange.kind, echo);
  }
  void ExchangeEnded(const Exchange& exchange) override { exchanges.push_back(exchange); }
  std::vector<Exchange> exchanges;  // as each ended

  std::string Text() const {
    std::string all;
    for (const auto& [kind, text] : pieces) all += text;
    return all;
  }
  // What was shown as this kind, all pieces together.
  std::string Of(TranscriptKind wanted) const {
    std::string all;
    for (const auto& [kind, text] : pieces)
      if (kind == wanted) all += text;
    return all;
  }
  void Clear() {
    pieces.clear();
    blocks = 0;
  }
};
