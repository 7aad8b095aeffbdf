// korvastel-siteserver: the demo FTP site, or a scripted server for tests.
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "DemoSite.h"
#include "ScriptedServer.h"

namespace {

volatile std::sig_atomic_t g_quit = 0;

void OnSignal(int) { g_quit = 1; }

void Usage(std::ostream& out) {
  out << "Usage:\n"
         "  korvastel-siteserver [--demo] [--port N] [--user NAME] [--pass PW]\n"
         "                       [--idle-timeout SECONDS] [--reply-lines N]\n"
         "  korvastel-siteserver --script FILE --record FILE [--port N]\n"
         "\n"
         "--demo (the default) serves a demo site with made-up users on 127.0.0.1\n"
         "(port 2121, user admin, password korvastel, idle timeout 300 s) until\n"
         "interrupted. It offers AUTH TLS with a self-signed certificate (the same\n"
         "at every start); its fingerprint is printed, to compare with the one the\n"
         "program shows.\n"
         "--reply-lines N makes SITE USERS answer with N lines of 60 bytes.\n"
         "\n"
         "--script plays FILE to the first client that connects (port 0 picks a free\n"
         "port; the port is printed), writes every byte the client sent to the\n"
         "record FILE and exits.\n"
         "\n"
      << siteserver::ScriptSyntaxHelp();
}

bool ReadNumber(const char* text, unsigned long max, unsigned long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoul(text, &end, 10);
  return *text >= '0' && *text <= '9' && *end == '\0' && errno == 0 && value <= max;
}

int RunScript(const std::string& scriptFile, const std::string& recordFile, unsigned port) {
  std::ifstream in(scriptFile, std::ios::binary);
  if (!in) {
    std::cerr << "Cannot read " << scriptFile << "\n";
    return 2;
  }
  std::stringstream text;
  text << in.rdbuf();
  siteserver::Script script;
  std::string error;
  if (!siteserver::ParseScript(text.str(), script, error)) {
    std::cerr << scriptFile << ": " << error << "\n";
    return 2;
  }
  siteserver::ScriptedServer server({script}, port);
  if (!server.Start()) {
    std::cerr << "Cannot listen on 127.0.0.1:" << port << ": " << server.Error() << "\n";
    return 1;
  }
  std::cout << "Script server on 127.0.0.1:" << server.Port() << std::endl;
  while (!g_quit && !server.WaitDone(0, std::chrono::milliseconds(100))) {
  }
  server.Stop();
  std::ofstream out(recordFile, std::ios::binary | std::ios::trunc);
  out << server.Received(0);
  if (!out) {
    std::cerr << "Cannot write " << recordFile << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  siteserver::DemoOptions options;
  std::string scriptFile, recordFile;
  bool portGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    unsigned long n = 0;
    if (arg == "--help" || arg == "-h") {
      Usage(std::cout);
      return 0;
    } else if (arg == "--demo") {
    } else if (arg == "--port" && hasValue && ReadNumber(argv[i + 1], 65535, n)) {
      options.port = static_cast<unsigned>(n);
      portGiven = true;
      ++i;
    } else if (arg == "--user" && hasValue) {
      options.user = argv[++i];
    } else if (arg == "--pass" && hasValue) {
      options.password = argv[++i];
    } else if (arg == "--idle-timeout" && hasValue && ReadNumber(argv[i + 1], 86400, n) && n > 0) {
      options.idleTimeoutSeconds = static_cast<unsigned>(n);
      ++i;
    } else if (arg == "--reply-lines" && hasValue && ReadNumber(argv[i + 1], 10000000, n)) {
      options.replyLines = n;
      ++i;
    } else if (arg == "--script" && hasValue) {
      scriptFile = argv[++i];
    } else if (arg == "--record" && hasValue) {
      recordFile = argv[++i];
    } else {
      std::cerr << "Unknown option, or a bad or missing value: \"" << arg << "\".\n\n";
      Usage(std::cerr);
      return 2;
    }
  }

  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  if (!scriptFile.empty() || !recordFile.empty()) {
    if (scriptFile.empty() || recordFile.empty()) {
      std::cerr << "--script and --record go together.\n";
      return 2;
    }
    return RunScript(scriptFile, recordFile, portGiven ? options.port : 0);
  }

  siteserver::DemoServer server(options);
  std::string error;
  if (!server.Start(error)) {
    std::cerr << "Cannot listen on 127.0.0.1:" << options.port << ": " << error << "\n";
    return 1;
  }
  std::cout << "Demo site server on 127.0.0.1:" << server.Port() << " \u2014 login: " << options.user
            << "  password: " << options.password << std::endl;
  if (!server.Fingerprint().empty())
    std::cout << "AUTH TLS offered; the certificate's SHA-256 fingerprint is " << server.Fingerprint() << std::endl;
  while (!g_quit) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  server.Stop();
  return 0;
}
