// A control connection without a window to a scripted server on the
// loopback, with what it showed and what the server received.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "ControlConnection.h"
#include "ScriptedServer.h"
#include "Socket.h"
#include "TranscriptRecorder.h"

// A socket wait hook for one test, never left behind for the next.
struct HookGuard {
  explicit HookGuard(std::function<bool()> hook) { platform::SetSocketWaitHook(std::move(hook)); }
  ~HookGuard() { platform::SetSocketWaitHook(nullptr); }
};

struct ScriptedConnection {
  explicit ScriptedConnection(std::vector<siteserver::Script> scripts, bool ipv6 = false)
      : server(std::move(scripts), 0, ipv6) {
    EXPECT_TRUE(server.Start()) << server.Error();
  }
  // What connection `conn` sent, once it has ended or a moment has passed.
  std::string Wire(std::size_t conn = 0) {
    server.WaitDone(conn, std::chrono::milliseconds(300));
    return server.Received(conn);
  }

  siteserver::ScriptedServer server;
  TranscriptRecorder transcript;
  ControlConnection connection{transcript, &platform::ConnectTcp};
};
