// How the transcript shows a command the connection is about to send.
#pragma once

#include <string>

#include "Exchange.h"

// The owner's commands stand apart from what came before; the login's steps
// follow one another. The greeting has no command and no echo.
inline std::string EchoText(const Exchange& exchange) {
  if (exchange.command.empty()) return {};
  if (exchange.kind == TranscriptKind::Command) return "\n>" + exchange.command + "\n";
  return ">" + exchange.command + "\n";
}
