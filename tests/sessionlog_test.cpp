// Session logs on disk: names that stay in their folder, the line format
// with the local offset, private modes, whole lines from several writers,
// and a log that can't be written failing once while the session goes on.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "OwnerLoop.h"
#include "ScriptedServer.h"
#include "SessionLog.h"
#include "SessionOwner.h"
#include "SiteScripts.h"
#include "Socket.h"
#include "TempFiles.h"

using namespace siteserver;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// A zone written out (no tz database needed), in force until the scope ends.
struct Zone {
  explicit Zone(const char* tz) : env("TZ", std::string(tz)) { ::tzset(); }
  ~Zone() { ::tzset(); }
  ScopedEnv env;
};

std::chrono::system_clock::time_point Utc(int day, int hour, int minute, int second) {
  using namespace std::chrono;
  return sys_days{year{2026} / December / day} + hours{hour} + minutes{minute} + seconds{second};
}

}  // namespace

TEST(SessionLog, NamesStayInTheLogsFolderAndDifferentNamesStayDifferent) {
  const struct {
    std::string site, name;
  } cases[] = {
      {"bob@ftp.example.org", "bob@ftp.example.org"},
      {"../../etc", "%2E.%2F..%2Fetc"},
      {"/etc/passwd", "%2Fetc%2Fpasswd"},
      {"a\\b", "a%5Cb"},
      {"..", "%2E."},
      {".", "%2E"},
      {".hidden", "%2Ehidden"},
      {"", "%"},
      {"tab\there\x1b[2J\x7f", "tab%09here%1B[2J%7F"},
      {"x%2Fy", "x%252Fy"},
      {"caf\xE9 \x80\x81", "caf\xC3\xA9 \xE2\x82\xAC%81"},
  };
  TempDir dir;
  const fs::path root = dir / "logs";
  std::set<std::string> names;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.site);
    EXPECT_EQ(LogName(c.site), c.name);
    names.insert(LogName(c.site));
    // Written for real: the file lands one folder below the root, whatever the name.
    SessionLog log(root.string(), c.site);
    ASSERT_TRUE(log.Add("line\n")) << log.Failure();
    EXPECT_EQ(fs::path(log.SiteFolder()).parent_path(), root);
    EXPECT_TRUE(fs::is_directory(log.SiteFolder()));
  }
  EXPECT_EQ(names.size(), std::size(cases));
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(root)) entries += entry.is_directory();
  EXPECT_EQ(entries, std::size(cases)) << "nothing went anywhere else";

  // Too long for a file name: the start stays, a hash keeps two such names apart.
  const std::string longA = std::string(300, 'a') + "/1", longB = std::string(300, 'a') + "/2";
  EXPECT_LE(LogName(longA).size(), 200u);
  EXPECT_EQ(LogName(longA).compare(0, 150, std::string(150, 'a')), 0);
  EXPECT_NE(LogName(longA), LogName(longB));
  EXPECT_EQ(LogName(std::string(179, 'a') + "%" + std::string(30, 'b')).find('%'), std::string::npos) << "no %XX cut in two";

  ScopedEnv home("HOME", "/home/someone");
  {
    ScopedEnv state("XDG_STATE_HOME", "/var/state");
    EXPECT_EQ(DefaultLogFolder(), "/var/state/korvastel/logs");
  }
  for (const std::optional<std::string>& state : {std::optional<std::string>("relative"), std::optional<std::string>()}) {
    ScopedEnv env("XDG_STATE_HOME", state);
    EXPECT_EQ(DefaultLogFolder(), "/home/someone/.local/state/korvastel/logs");
  }
}

TEST(SessionLog, LinesCarryTheirLocalTimeWithOffsetAndMidnightStartsTheNextDaysPrivateFile) {
  TempDir dir;
  const fs::path root = dir / "state" / "korvastel" / "logs";  // none of it there yet
  const mode_t oldMask = ::umask(0);  // the modes come from the log, not from the mask
  {
    Zone zone("CET-1");
    const auto late = Utc(8, 22, 59, 59);  // 23:59:59 in the zone
    EXPECT_EQ(LogTime(late), "2026-12-08T23:59:59+01:00");
    SessionLog log(root.string(), "bob@host");
    ASSERT_TRUE(log.Add("\n>SITE WHO\n", late));
    ASSERT_TRUE(log.Add("200- a\r\n200 b\r", late));
    ASSERT_TRUE(log.Add("\n\x1b]0;x\x07" "caf\xE9\tend\nhal", late));  // the LF of a CR LF cut in two
    ASSERT_TRUE(log.Add("f done\nnext\n", late + 2s));  // a line's time is its first byte's
    ASSERT_TRUE(log.Add("\n>Disconnected.\n", late + 3s));
    const fs::path site = root / "bob@host";
    EXPECT_EQ(ReadFile(site / "2026-12-08.log"),
              "2026-12-08T23:59:59+01:00 \n"
              "2026-12-08T23:59:59+01:00 >SITE WHO\n"
              "2026-12-08T23:59:59+01:00 200- a\n"
              "2026-12-08T23:59:59+01:00 200 b\n"
              "2026-12-08T23:59:59+01:00 \\x1b]0;x\\x07caf\xC3\xA9\tend\n"
              "2026-12-08T23:59:59+01:00 half done\n");
    EXPECT_EQ(ReadFile(site / "2026-12-09.log"),
              "2026-12-09T00:00:01+01:00 next\n"
              "2026-12-09T00:00:02+01:00 \n"
              "2026-12-09T00:00:02+01:00 >Disconnected.\n");
    EXPECT_EQ(Mode(site / "2026-12-08.log"), 0600u);
    for (const fs::path& folder : {site, root, root.parent_path(), root.parent_path().parent_path()})
      EXPECT_EQ(Mode(folder), 0700u) << folder;
  }
  ::umask(oldMask);
  Zone west("EST5");
  EXPECT_EQ(LogTime(Utc(8, 22, 59, 59)), "2026-12-08T17:59:59-05:00");
  // A line still open when the log ends is kept, with a line end.
  {
    SessionLog log(dir.Path().string(), "cut");
    ASSERT_TRUE(log.Add("421 cut sho", Utc(8, 12, 0, 0)));
  }
  EXPECT_EQ(ReadFile(dir / "cut" / "2026-12-08.log"), "2026-12-08T07:00:00-05:00 421 cut sho\n");
}

TEST(SessionLog, TwoWritersOfOneSiteAppendWholeLinesAndNoneIsLost) {
  TempDir dir;
  constexpr int kBatches = 300;
  const auto writer = [&](char mark) {
    SessionLog log(dir.Path().string(), "shared");
    const std::string line = std::string(5000, mark) + "\n";
    for (int i = 0; i < kBatches; ++i) ASSERT_TRUE(log.Add(line + line + line)) << log.Failure();
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir / "shared")) files.push_back(entry.path());
  std::map<char, int> lines;
  for (const fs::path& file : files) {  // two, should the test cross midnight
    std::istringstream text(ReadFile(file));
    for (std::string line; std::getline(text, line);) {
      const std::size_t space = line.find(' ');
      ASSERT_EQ(space, 25u) << line.substr(0, 40);
      const std::string body = line.substr(space + 1);
      ASSERT_TRUE(body == std::string(5000, 'a') || body == std::string(5000, 'b')) << "a line cut or mixed";
      ++lines[body[0]];
    }
  }
  EXPECT_EQ(lines['a'], 3 * kBatches);
  EXPECT_EQ(lines['b'], 3 * kBatches);
}

TEST(SessionLog, AFolderOrFileThatCantBeWrittenFailsOnceAndTheSessionGoesOnWithoutAPassword) {
  TempDir dir;
  // A write cut short by the file size limit: its rest fails, and the log with it.
  {
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &old);
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const rlimit small{100, before.rlim_max};
    SessionLog log(dir.Path().string(), "full");
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool written = log.Add(std::string(300, 'x') + "\n");
    ::setrlimit(RLIMIT_FSIZE, &before);
    ::sigaction(SIGXFSZ, &old, nullptr);
    EXPECT_FALSE(written);
    EXPECT_NE(log.Failure().find("Log not written: " + (dir / "full").string() + "/"), std::string::npos);
    EXPECT_NE(log.Failure().find(std::strerror(EFBIG)), std::string::npos) << log.Failure();
    EXPECT_FALSE(log.Add("more\n")) << "nothing more is tried";
  }

  // Sessions of an owner: one logs the login, the command and its reply, the
  // password starred; the other's folder is a file, so its log fails once
  // (a line in its transcript) and it goes on without one.
  WriteFile(dir / "blocked", "a file where a folder should be");
  auto server = Serve({LoginThen({ExpectLine(), Send("200-one\r\n200 two\r\n")}),
                       LoginThen({ExpectLine(), Send("200-one\r\n200 two\r\n")})});
  for (const bool blocked : {false, true}) {
    SCOPED_TRACE(blocked ? "blocked" : "written");
    OwnerLoop loop;
    SessionOwner::Services services;
    services.post = loop.Poster();
    services.connect = &platform::ConnectTcp;
    services.logFolder = (blocked ? dir / "blocked" / "logs" : dir / "logs").string();
    auto owner = std::make_unique<SessionOwner>(std::move(services));
    const SessionId id = owner->Open("main");
    owner->KeepLog(id, "main");
    EXPECT_TRUE(owner->KeepsLog(id));
    Session& session = *owner->Find(id);
    ConnectRequest request;
    request.host = "127.0.0.1", request.port = server->Port(), request.login = "u", request.password = "s3cr3t-pw";
    ASSERT_TRUE(session.Connect(request));
    ASSERT_TRUE(loop.RunUntil([&] { return session.State() == SessionState::LoggedIn; }, 5s));
    ASSERT_TRUE(session.Run({"SITE WHO"}));
    ASSERT_TRUE(loop.RunUntil([&] { return session.Log().Text().find("200 two") != std::string::npos; }, 5s));
    const std::string shown = session.Log().Text();
    if (blocked) {
      EXPECT_FALSE(owner->KeepsLog(id));
      const std::string note = "\n>Log not written: " + (dir / "blocked").string() + ": not a folder\n";
      EXPECT_NE(shown.find(note), std::string::npos) << shown;
      EXPECT_EQ(shown.find("Log not written"), shown.rfind("Log not written")) << "said once";
      EXPECT_EQ(session.Log().KindAt(static_cast<Transcript::Pos>(shown.find(note) + 2)), TranscriptKind::Disconnect);
    } else {
      owner.reset();  // the log closes with its session
      std::string logged;
      for (const auto& entry : fs::directory_iterator(dir / "logs" / "main")) logged += ReadFile(entry.path());
      for (const char* line : {" >connecting to 127.0.0.1\n", " >USER u\n", " >PASS **********\n", " 230 in\n",
                               " >SITE WHO\n", " 200-one\n", " 200 two\n"})
        EXPECT_NE(logged.find(line), std::string::npos) << line << " in\n" << logged;
      EXPECT_EQ(logged.find("s3cr3t"), std::string::npos);
    }
    owner.reset();
    loop.RunUntil([&] { return loop.Pending() == 0; }, 2s);
  }
}
