// Scripts for the scripted site server that many tests share.
#pragma once

#include <vector>

#include "ScriptedServer.h"

namespace siteserver {

// A plain login (greeting, 331, 230) followed by `then`.
inline Script LoginThen(std::vector<Step> then = {}) {
  Script s{Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Send("230 in\r\n")};
  s.insert(s.end(), then.begin(), then.end());
  return s;
}

// `commands` lines, each answered "200 ok".
inline std::vector<Step> Answers(int commands) {
  std::vector<Step> steps;
  for (int i = 0; i < commands; ++i) steps.insert(steps.end(), {ExpectLine(), Send("200 ok\r\n")});
  return steps;
}

}  // namespace siteserver
