// korvastel-cli as scripts run it: a process with arguments, standard input
// and environment, judged by its exit status, its output and the wire.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ScriptedServer.h"
#include "SiteScripts.h"
#include "TestPeers.h"

using namespace siteserver;
namespace fs = std::filesystem;

namespace {

struct Outcome {
  int status = -1;  // -1: killed after 20 s, or by a signal
  std::string out, err;
};

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/korvastel-cli-XXXXXX";
    m_home = ::mkdtemp(name);
    fs::create_directories(m_home / ".config" / "korvastel");
    std::ofstream(m_home / ".config" / "korvastel" / "commandList.ini")
        << "[add]\ngroup = Users\ncmdDsc = add user\ncmd = ADDUSER %1\n";
  }
  void TearDown() override { fs::remove_all(m_home); }

  // during(pid) runs while the program does; closedStdout gives it a pipe nobody reads.
  Outcome Run(std::vector<std::string> args, const std::string& input = "",
              const std::string& password = "KORVASTEL_PASSWORD=secret", const std::function<void(pid_t)>& during = {},
              bool closedStdout = false) {
    std::ofstream(m_home / "in", std::ios::binary) << input;
    args.insert(args.begin(), KORVASTEL_CLI);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("HOME", m_home.c_str(), 1);
      ::setenv("XDG_CONFIG_HOME", (m_home / ".config").c_str(), 1);
      ::unsetenv("KORVASTEL_PASSWORD");
      if (!password.empty()) ::putenv(const_cast<char*>(password.c_str()));
      if (::chdir(m_home.c_str()) != 0) ::_exit(99);
      ::dup2(::open((m_home / "in").c_str(), O_RDONLY), 0);
      int pipe[2];
      if (closedStdout && ::pipe(pipe) == 0) {
        ::close(pipe[0]);
        ::dup2(pipe[1], 1);
      } else {
        ::dup2(::open((m_home / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
      }
      ::dup2(::open((m_home / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(98);
    }
    if (during) during(pid);
    int wstatus = 0;
    for (int i = 0; i < 2000 && ::waitpid(pid, &wstatus, WNOHANG) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (::waitpid(pid, &wstatus, WNOHANG) == 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &wstatus, 0);
    }
    return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, peers::ReadFile(m_home / "out"),
            peers::ReadFile(m_home / "err")};
  }

  fs::path m_home;
};

std::string At(const ScriptedServer& s) { return "u@127.0.0.1:" + std::to_string(s.Port()); }

TEST_F(Cli, SendsCommandsAndReportsTextJsonAndExitStatus) {
  const Script refused =
      LoginThen({ExpectLine(), Send("200-caf\xE9 \x81\r\n200 b\r\n"), ExpectLine(), Send("550 no\r\n")});
  ScriptedServer server({refused, refused, LoginThen(Answers(2))});
  ASSERT_TRUE(server.Start());

  Outcome r = Run({At(server), "--password-stdin", "-s", "WHO", "-c", "DELE x "}, "pw from stdin\r\n", "");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(
      r.out.find(
          ">connecting to 127.0.0.1\n220 hi\n>USER u\n331 pw\n>PASS **********\n230 in\n\n>SITE WHO\n200-caf\xC3\xA9 "
          "\xC2\x81\n200 b\n\n>DELE x\n550 no\n"),
      0u)
      << r.out;
  EXPECT_NE(r.err.find(At(server) + ": DELE x: 550 no"), std::string::npos) << r.err;
  EXPECT_EQ(server.Received(0), "USER u\r\nPASS pw from stdin\r\nSITE WHO\r\nDELE x\r\n");

  r = Run({"--json", At(server), "-s", "WHO", "-c", "DELE x"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(
      r.out,
      "{\"target\":\"" + At(server) +
          "\",\"command\":\"SITE WHO\",\"code\":200,\"lines\":[\"200-caf\xC3\xA9 \\u0081\",\"200 b\"],\"ok\":true}\n"
          "{\"target\":\"" +
          At(server) + "\",\"command\":\"DELE x\",\"code\":550,\"lines\":[\"550 no\"],\"ok\":false}\n");

  std::ofstream(m_home / "cmds") << "# nightly\n\nsite who\r\n";
  r = Run({At(server), "-f", (m_home / "cmds").string(), "-u", "Users/add user", "bob"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(server.Received(2), "USER u\r\nPASS secret\r\nsite who\r\nSITE ADDUSER bob\r\n");
  const std::string history = peers::ReadFile(m_home / ".config" / "Dunvarrow" / "korvastel.conf");
  EXPECT_NE(history.find("u%40127.0.0.1%3A" + std::to_string(server.Port())), std::string::npos) << history;
  EXPECT_EQ(history.find("secret"), std::string::npos);
}

TEST_F(Cli, APlantedCommandListIsNotReadButOneNamedWithCommandsIs) {
  ScriptedServer server({LoginThen(Answers(1)), LoginThen(Answers(1)), LoginThen(Answers(1))});
  ASSERT_TRUE(server.Start());
  const fs::path planted = m_home / "commandList.ini";  // in the working folder of the run
  std::ofstream(planted) << "[add]\ngroup = Users\ncmdDsc = add user\ncmd = CHPASS admin %1\n";
  fs::permissions(planted, fs::perms::others_write, fs::perm_options::add);
  Outcome r = Run({At(server), "-u", "Users/add user", "bob"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Not read: " + planted.string() + " is writable by others"), std::string::npos) << r.err;
  EXPECT_EQ(server.Received(0), "USER u\r\nPASS secret\r\nSITE ADDUSER bob\r\n");

  fs::permissions(planted, fs::perms::owner_read | fs::perms::owner_write);
  if (::geteuid() == 0) {  // only root can give a file away
    ASSERT_EQ(::chown(planted.c_str(), 65534, 65534), 0);
    r = Run({At(server), "-u", "Users/add user", "bob"});
    EXPECT_NE(r.err.find("belongs to another user"), std::string::npos) << r.err;
  } else {
    r = Run({At(server), "-s", "ADDUSER bob"});
  }
  EXPECT_EQ(server.Received(1), "USER u\r\nPASS secret\r\nSITE ADDUSER bob\r\n");

  r = Run({At(server), "--commands", planted.string(), "-u", "Users/add user", "bob"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(server.Received(2), "USER u\r\nPASS secret\r\nSITE CHPASS admin bob\r\n");
}

TEST_F(Cli, ASavedSiteIsATargetAndItsAddressesAreTriedInOrder) {
  ScriptedServer server({LoginThen({ExpectLine(), Send("200 fine\r\n")})});
  ASSERT_TRUE(server.Start());
  const unsigned dead = DeadPort();
  fs::create_directories(m_home / ".config" / "Dunvarrow");
  std::ofstream(m_home / ".config" / "Dunvarrow" / "korvastel-sites.conf")
      << "[main]\naddress=127.0.0.1:" << dead << "\naddress=127.0.0.1:" << server.Port() << "\nlogin=u\n";
  Outcome r = Run({"main", "-s", "WHO"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Could not use 127.0.0.1:" + std::to_string(dead)), std::string::npos) << r.out;
  EXPECT_EQ(server.Received(0), "USER u\r\nPASS secret\r\nSITE WHO\r\n");
  r = Run({"backup", "-s", "WHO"});
  EXPECT_EQ(r.status, 64);
  EXPECT_NE(r.err.find("\"backup\" is no saved site"), std::string::npos) << r.err;
}

TEST_F(Cli, SeveralTargetsRunTogetherAndEachFailureIsNamed) {
  ScriptedServer good({LoginThen({ExpectLine(), Send("200 fine\r\n")})});
  ScriptedServer cut({LoginThen({ExpectLine(), Send("200-part\r\n"), Close()})});
  ScriptedServer closed({});  // every connection is closed at once
  for (ScriptedServer* s : {&good, &cut, &closed}) ASSERT_TRUE(s->Start());
  const Outcome r = Run({At(good), At(cut), "ftp://" + At(closed), "-s", "WHO"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find(At(good) + ": >SITE WHO\n" + At(good) + ": 200 fine\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(At(cut) + ": 200-part\n"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find(At(cut) + ": SITE WHO: the connection dropped"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("ftp://" + At(closed) + ": the connection dropped during the login"), std::string::npos);
  EXPECT_EQ(good.Received(0), "USER u\r\nPASS secret\r\nSITE WHO\r\n");

  // A server that serves one connection at a time: a target that is done lets go of its own.
  ScriptedServer serial({LoginThen(Answers(1)), LoginThen(Answers(1))});
  ASSERT_TRUE(serial.Start());
  EXPECT_EQ(Run({At(serial), At(serial), "-c", "NOOP"}).status, 0);
}

TEST_F(Cli, BadInputIsRefusedBeforeAnythingIsSent) {
  ScriptedServer server({});
  ASSERT_TRUE(server.Start());
  const std::string t = At(server);
  struct Case {
    std::vector<std::string> args;
    std::string password, says;
  };
  const Case cases[] = {
      {{"u:hunter2@127.0.0.1", "-s", "WHO"}, "KORVASTEL_PASSWORD=x", "holds a password"},
      {{t}, "KORVASTEL_PASSWORD=x", "no command"},
      {{t, "-s", "WHO"}, "", "no password"},
      {{t, "-s", "WHO"}, "KORVASTEL_PASSWORD=x\ny", "password holds a line break"},
      {{t, "-f", m_home.string()}, "KORVASTEL_PASSWORD=x", "is a folder"},
      {{t, "-f", "/dev/zero"}, "KORVASTEL_PASSWORD=x", "longer than 1 MiB"},
      {{t, "-c", "SITE WHO\nDELE x"}, "KORVASTEL_PASSWORD=x", "line break"},
      {{t, "-u", "Users/add user", "bob\r\nDELE x"}, "KORVASTEL_PASSWORD=x", "not sent"},
      {{t, "-u", "Users/kill user", "bob"}, "KORVASTEL_PASSWORD=x", "no user command"},
      {{t, "--timeout", "soon", "-s", "WHO"}, "KORVASTEL_PASSWORD=x", "--timeout"},
  };
  for (const Case& c : cases) {
    const Outcome r = Run(c.args, "", c.password);
    EXPECT_EQ(r.status, 64) << c.says;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("hunter2"), std::string::npos) << r.err;
  }
  EXPECT_EQ(server.Connections(), 0u);
}

TEST_F(Cli, TimeoutInterruptAndAClosedPipeEndTheRun) {
  ScriptedServer silent({Script{Hold()}});
  ScriptedServer holding({LoginThen({ExpectLine(), Hold()}), LoginThen({ExpectLine(), Send("200 ok\r\n")})});
  ASSERT_TRUE(silent.Start() && holding.Start());

  Outcome r = Run({"--timeout", "0.3", At(silent), "-s", "WHO"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("no answer within the --timeout of 0.3 s"), std::string::npos) << r.err;

  r = Run({At(holding), "-s", "WHO", "-s", "NEVER"}, "", "KORVASTEL_PASSWORD=secret", [&](pid_t pid) {
    for (int i = 0; i < 500 && holding.Received(0).find("SITE WHO") == std::string::npos; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(pid, SIGINT);
  });
  EXPECT_EQ(r.status, 130);
  EXPECT_TRUE(holding.WaitDone(0, std::chrono::seconds(5))) << "the connection is closed";
  EXPECT_EQ(holding.Received(0), "USER u\r\nPASS secret\r\nSITE WHO\r\n");

  r = Run({At(holding), "-s", "WHO"}, "", "KORVASTEL_PASSWORD=secret", {}, true);
  EXPECT_EQ(r.status, 0) << "ends quietly, not by SIGPIPE";
  EXPECT_EQ(r.err, "");
}

TEST_F(Cli, RealServersPlainAndThroughTls) {
  const std::string python = peers::FindPython({"pyftpdlib"});
  if (python.empty()) GTEST_SKIP() << "pyftpdlib is not installed (apt-get install python3-pyftpdlib)";
  peers::PyFtpd pyftpd;
  const unsigned plain = pyftpd.Start(python, 60);
  ASSERT_NE(plain, 0u);
  const std::string tester = "tester@127.0.0.1:";
  Outcome r = Run({"--json", "--password-stdin", tester + std::to_string(plain), "-s", "HELP"}, "t3st-only\n", "");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"code\":214,\"lines\":[\"214-"), std::string::npos) << r.out;
  r = Run({"--json", tester + std::to_string(plain), "-s", "HELP"}, "", "KORVASTEL_PASSWORD=wrong");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("refused the login: 530"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("{\"target\":\"" + tester + std::to_string(plain) +
                       "\",\"error\":\"the server refused the login: 530"),
            0u)
      << r.out;

  const std::string missing = peers::ProFtpd::Missing();
  if (!missing.empty()) GTEST_SKIP() << missing;
  peers::Certificates certs;
  std::string error;
  ASSERT_TRUE(certs.Make(error)) << error;
  peers::ProFtpd proftpd;
  const unsigned port = proftpd.Start(certs.selfSignedCert, certs.selfSignedKey, error);
  ASSERT_NE(port, 0u) << error;
  const std::string secure = "ftpes://" + tester + std::to_string(port), password = "KORVASTEL_PASSWORD=t3st-only";
  const std::string fingerprint = peers::OpensslFingerprint(certs.selfSignedCert);
  r = Run({secure, "-c", "NOOP"}, "", password);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--trust " + fingerprint), std::string::npos) << r.err;
  r = Run({secure, "--trust", fingerprint, "-c", "NOOP"}, "", password);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Run({secure, "-c", "NOOP"}, "", password).status, 2) << "--trust alone is not remembered";
  EXPECT_EQ(Run({secure, "--trust", fingerprint, "--remember", "-c", "NOOP"}, "", password).status, 0);
  r = Run({secure, "-c", "NOOP"}, "", password);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(">NOOP\n200 "), std::string::npos) << r.out;
}

}  // namespace
