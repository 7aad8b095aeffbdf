// Scripts and servers for the scripted site server that many tests share.
#pragma once

#include <gtest/gtest.h>

#include <memory>
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

// A server listening on 127.0.0.1, one script per connection.
inline std::unique_ptr<ScriptedServer> Serve(std::vector<Script> scripts) {
  auto server = std::make_unique<ScriptedServer>(std::move(scripts));
  EXPECT_TRUE(server->Start()) << server->Error();
  return server;
}

// A port on 127.0.0.1 that nobody listens on any more.
inline unsigned DeadPort() { return Serve({})->Port(); }

}  // namespace siteserver
