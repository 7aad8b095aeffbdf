#include "DemoSite.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <sstream>
#include <vector>

namespace siteserver {

namespace {

__attribute__((format(printf, 1, 2))) std::string Fmt(const char* format, ...) {
  char buf[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return std::string(buf, n < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buf - 1));
}

// "1234567" -> "1,234,567": big figures read at a glance.
std::string Thousands(std::int64_t v) {
  std::string digits = std::to_string(v < 0 ? -v : v), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return v < 0 ? "-" + out : out;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
  return s;
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// The text after the first n words, as typed.
std::string RestAfter(const std::string& text, std::size_t n) {
  std::size_t i = 0;
  for (std::size_t w = 0; w < n; ++w) {
    i = text.find_first_not_of(" \t", i);
    if (i == std::string::npos) return {};
    i = text.find_first_of(" \t", i);
    if (i == std::string::npos) return {};
  }
  i = text.find_first_not_of(" \t", i);
  return i == std::string::npos ? std::string() : text.substr(i);
}

bool ParseCount(const std::string& s, std::int64_t& v) {
  if (s.empty() || s.size() > 12 || s.find_first_not_of("0123456789") != std::string::npos) return false;
  v = std::stoll(s);
  return true;
}

// A reply of "200-" lines closed by one "200 " line.
class Reply {
 public:
  Reply& operator<<(const std::string& line) {
    m_text += "200- " + line + "\r\n";
    return *this;
  }
  std::string End(const std::string& last) const { return m_text + "200 " + last + "\r\n"; }

 private:
  std::string m_text;
};

std::string One(const std::string& line) { return line + "\r\n"; }

// A figure in megabytes as people read it: "512 MB", "47.1 GB", "1.8 TB".
std::string Size(std::int64_t mb) {
  const std::int64_t magnitude = mb < 0 ? -mb : mb;
  if (magnitude >= 1024 * 1024) return Fmt("%.1f TB", static_cast<double>(mb) / (1024.0 * 1024.0));
  if (magnitude >= 1024) return Fmt("%.1f GB", static_cast<double>(mb) / 1024.0);
  return Fmt("%lld MB", static_cast<long long>(mb));
}

// Seconds as an idle time: "0:07", "12:22", "1:02:05".
std::string Clock(int seconds) {
  if (seconds >= 3600) return Fmt("%d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return Fmt("%d:%02d", seconds / 60, seconds % 60);
}

// A table as SITE-suite servers draw theirs: a frame, the header with a
// ruling line under it, a row per entry, figures aligned to the right.
class TextTable {
 public:
  TextTable(std::vector<std::string> header, std::vector<bool> right)
      : m_header(std::move(header)), m_right(std::move(right)) {
    m_right.resize(m_header.size());
    for (const std::string& h : m_header) m_widths.push_back(h.size());
  }
  void Add(std::vector<std::string> row) {
    row.resize(m_header.size());
    for (std::size_t i = 0; i < row.size(); ++i) m_widths[i] = std::max(m_widths[i], row[i].size());
    m_rows.push_back(std::move(row));
  }
  void WriteTo(Reply& r) const;

 private:
  std::string Row(const std::vector<std::string>& cells, bool header) const {
    std::string line = "|";
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const std::string pad(m_widths[i] - cells[i].size(), ' ');
      line += " " + (m_right[i] && !header ? pad + cells[i] : cells[i] + pad) + " |";
    }
    return line;
  }

  std::vector<std::string> m_header;
  std::vector<bool> m_right;
  std::vector<std::size_t> m_widths;
  std::vector<std::vector<std::string>> m_rows;
};

void TextTable::WriteTo(Reply& r) const {
  std::size_t inner = 0;
  for (const std::size_t w : m_widths) inner += w + 3;
  inner -= 1;
  std::string rule = "|";
  for (std::size_t i = 0; i < m_widths.size(); ++i) rule += std::string(m_widths[i] + 2, '-') + (i + 1 < m_widths.size() ? "+" : "|");
  r << "." + std::string(inner, '-') + "." << Row(m_header, true) << rule;
  for (const auto& row : m_rows) r << Row(row, false);
  r << "`" + std::string(inner, '-') + "'";
}

struct User {
  std::string name, group, flags, tagline;
  int ratio = 3;             // 0 = leech
  std::int64_t credits = 0;  // MB
  std::int64_t upMb = 0, upFiles = 0, dnMb = 0, dnFiles = 0;
  std::int64_t wkUp = 0, wkDn = 0, dayUp = 0, dayDn = 0;  // MB
  int logins = 0, maxLogins = 2;
  std::string lastOn;
  std::vector<std::string> ips;
  std::string action;  // what the user does while online; empty when offline
  int idle = 0;
  bool deleted = false;
};

struct Group {
  std::string name, description;
  int slots = 10;
};

struct Dir {
  std::string path, uploader, age;
  std::int64_t sizeMb = 0;
  int nukeMultiplier = 0;  // 0 = not nuked
  std::string nukeReason;
};

struct Login {
  std::string user, when, duration;
};

}  // namespace

class DemoSiteData {
 public:
  DemoSiteData();

  std::mutex mutex;
  std::vector<User> users;
  std::vector<Group> groups;
  std::vector<Dir> dirs;
  std::vector<Login> lastLogins;
  // The bulk SITE USERS reply is built once: a benchmark times the
  // exchange, not the server formatting its text.
  std::string bulkUsers;
  std::size_t bulkLines = 0;

  User* FindUser(const std::string& name, bool withDeleted = false) {
    for (User& u : users) {
      if (u.name == name && (withDeleted || !u.deleted)) return &u;
    }
    return nullptr;
  }
  Group* FindGroup(const std::string& name) {
    for (Group& g : groups) {
      if (g.name == name) return &g;
    }
    return nullptr;
  }
  Dir* FindDir(const std::string& path) {
    for (Dir& d : dirs) {
      if (d.path == path) return &d;
    }
    return nullptr;
  }
  int Members(const std::string& group) const {
    return static_cast<int>(
        std::count_if(users.begin(), users.end(), [&](const User& u) { return !u.deleted && u.group == group; }));
  }
};

DemoSiteData::DemoSiteData() {
  groups = {{"siteops", "Site operators", 5},
            {"lantern", "Lantern reading circle", 12},
            {"saltmarsh", "Saltmarsh archivists", 10},
            {"greyfen", "Greyfen field recorders", 8},
            {"emberline", "Emberline toolsmiths", 8}};
  struct Seed {
    const char* name;
    const char* group;
    const char* flags;
    int ratio;
    std::int64_t credits, upMb, upFiles, dnMb, dnFiles;
    int logins;
    const char* lastOn;
    const char* ip;
    const char* tagline;
    const char* action;
    int idle;
  };
  const Seed seeds[] = {
      {"admin", "siteops", "1ACGH", 0, 0, 18230, 311, 9120, 207, 1422, "Sat Dec 07 09:12", "*@127.0.0.1",
       "Keeping the lights on", "IDLE", 0},
      {"brannoch", "lantern", "3", 3, 48211, 402118, 6120, 912004, 10442, 388, "Fri Dec 06 22:41", "*@10.20.1.*",
       "Slow and steady", "", 0},
      {"ilsabet", "saltmarsh", "3F", 3, 120442, 1843211, 20412, 402110, 5120, 901, "Sat Dec 07 09:05", "*@10.20.7.14",
       "Archive everything", "UL: tide-tables-part07.zip  1.2M/s", 3},
      {"marrowby", "greyfen", "3", 3, 8120, 212004, 2301, 501220, 6011, 241, "Thu Dec 05 18:02", "*@10.40.*",
       "Birdsong at dawn", "", 0},
      {"quennick", "lantern", "3", 3, 30119, 640221, 7004, 1320498, 16220, 512, "Sat Dec 07 08:58", "*@10.20.3.99",
       "Pages and pages", "DL: quarterly-issue-37.pdf  4.8M/s", 1},
      {"tovald", "emberline", "3", 3, 2210, 98112, 1402, 120330, 2210, 97, "Mon Dec 02 11:30", "*@10.60.2.5",
       "Sharpen the saw", "", 0},
      {"yselle", "saltmarsh", "3", 3, 71002, 1203344, 14020, 220981, 3100, 640, "Fri Dec 06 19:44", "*@10.20.7.*",
       "Old maps, new eyes", "", 0},
      {"corvath", "greyfen", "3", 3, 15540, 331009, 4410, 298110, 3320, 302, "Sat Dec 07 07:51", "*@10.40.8.12",
       "Quiet listener", "IDLE", 742},
      {"dunmere", "emberline", "3", 3, 4400, 120554, 1620, 180221, 2400, 150, "Wed Dec 04 21:17", "*@10.60.*",
       "It compiles", "", 0},
      {"hesketh", "lantern", "3", 2, 990, 45012, 610, 230112, 2980, 88, "Sun Dec 01 15:03", "*@10.20.5.40",
       "Footnotes first", "", 0},
      {"ollin", "saltmarsh", "3", 3, 25007, 512990, 6630, 140002, 1702, 377, "Fri Dec 06 23:59", "*@10.20.7.201",
       "Scanning since '09", "", 0},
      {"pernwick", "greyfen", "3", 0, 0, 76110, 902, 1040221, 12800, 199, "Thu Dec 05 09:26", "*@10.40.9.3",
       "Leech with a license", "", 0},
      {"gorrin", "emberline", "3", 3, 120, 4410, 61, 9020, 130, 12, "Tue Nov 12 17:40", "*@10.60.4.*", "Gone fishing",
       "", 0},
  };
  for (const Seed& s : seeds) {
    User u;
    u.name = s.name;
    u.group = s.group;
    u.flags = s.flags;
    u.ratio = s.ratio;
    u.credits = s.credits;
    u.upMb = s.upMb;
    u.upFiles = s.upFiles;
    u.dnMb = s.dnMb;
    u.dnFiles = s.dnFiles;
    // Week and day figures as a steady share of the all-time ones.
    u.wkUp = s.upMb / 53;
    u.wkDn = s.dnMb / 61;
    u.dayUp = s.upMb / 377;
    u.dayDn = s.dnMb / 401;
    u.logins = s.logins;
    u.lastOn = s.lastOn;
    u.ips = {s.ip};
    u.tagline = s.tagline;
    u.action = s.action;
    u.idle = s.idle;
    users.push_back(u);
  }
  // One deleted user and one nuked directory, so that "re-add deleted user"
  // and "unnuke directory" of the sample command list have something to act on.
  FindUser("gorrin")->deleted = true;
  dirs = {{"/incoming/tide-tables-north-coast", "ilsabet", "4m", 712, 0, ""},
          {"/incoming/lantern-quarterly-issue-37", "quennick", "38m", 96, 0, ""},
          {"/incoming/greyfen-field-recordings-vol2", "corvath", "2h 10m", 3120, 0, ""},
          {"/incoming/emberline-tools-1.4.2", "dunmere", "5h 02m", 41, 0, ""},
          {"/incoming/saltmarsh-photo-archive-2019", "yselle", "9h 45m", 18840, 0, ""},
          {"/incoming/marrowby-scans-batch-12", "marrowby", "1d 3h", 2204, 0, ""},
          {"/incoming/city-walks-audio-guide", "brannoch", "1d 19h", 880, 0, ""},
          {"/incoming/open-fonts-collection-5", "ollin", "2d 6h", 310, 2, "incomplete, 3 files missing"}};
  lastLogins = {{"admin", "Sat Dec 07 09:12", "online"},    {"ilsabet", "Sat Dec 07 09:05", "online"},
                {"quennick", "Sat Dec 07 08:58", "online"}, {"corvath", "Sat Dec 07 07:51", "online"},
                {"ollin", "Fri Dec 06 23:59", "0h 42m"},    {"brannoch", "Fri Dec 06 22:41", "1h 05m"},
                {"yselle", "Fri Dec 06 19:44", "0h 12m"},   {"marrowby", "Thu Dec 05 18:02", "2h 31m"},
                {"pernwick", "Thu Dec 05 09:26", "0h 07m"}, {"dunmere", "Wed Dec 04 21:17", "0h 55m"}};
}

std::shared_ptr<DemoSiteData> MakeDemoSiteData() { return std::make_shared<DemoSiteData>(); }

std::string BulkUsersReply(std::size_t lines) {
  std::string out;
  out.reserve(lines * 60);
  for (std::size_t i = 0; i + 1 < lines; ++i) {
    std::string text = Fmt("200- | u%07zu | grp%02zu | 1:3 | %9zu MB up | %9zu MB dn |", i, i % 37,
                           (i * 7919) % 1000000000, (i * 104729) % 1000000000);
    text.resize(58, ' ');
    out += text + "\r\n";
  }
  if (lines > 0) {
    std::string last = Fmt("200 End of user list: %zu lines.", lines);
    last.resize(58, ' ');
    out += last + "\r\n";
  }
  return out;
}

namespace {

const char* const kRule = "+------+------------+------------+--------------+----------+";

enum class Rank { AlUp, AlDn, WkUp, WkDn, DayUp, DayDn };

std::string Ranking(DemoSiteData& d, Rank rank) {
  struct Row {
    const User* u;
    std::int64_t mb, files;
  };
  std::vector<Row> rows;
  for (const User& u : d.users) {
    if (u.deleted) continue;
    switch (rank) {
      case Rank::AlUp:
        rows.push_back({&u, u.upMb, u.upFiles});
        break;
      case Rank::AlDn:
        rows.push_back({&u, u.dnMb, u.dnFiles});
        break;
      case Rank::WkUp:
        rows.push_back({&u, u.wkUp, u.upFiles / 53});
        break;
      case Rank::WkDn:
        rows.push_back({&u, u.wkDn, u.dnFiles / 61});
        break;
      case Rank::DayUp:
        rows.push_back({&u, u.dayUp, u.upFiles / 377});
        break;
      case Rank::DayDn:
        rows.push_back({&u, u.dayDn, u.dnFiles / 401});
        break;
    }
  }
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.mb > b.mb; });
  static const char* const titles[] = {"All-time top uploaders",  "All-time top downloaders",
                                       "Top uploaders this week", "Top downloaders this week",
                                       "Top uploaders today",     "Top downloaders today"};
  const bool up = rank == Rank::AlUp || rank == Rank::WkUp || rank == Rank::DayUp;
  Reply r;
  r << titles[static_cast<int>(rank)] << kRule
    << Fmt("| Rank | User       | Group      | %12s | Files    |", up ? "Uploaded MB" : "Download MB") << kRule;
  std::int64_t total = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    total += rows[i].mb;
    if (i < 10)
      r << Fmt("| %4zu | %-10s | %-10s | %12s | %8s |", i + 1, rows[i].u->name.c_str(), rows[i].u->group.c_str(),
               Thousands(rows[i].mb).c_str(), Thousands(rows[i].files).c_str());
  }
  r << kRule;
  return r.End(Fmt("%zu users, %s MB in total.", rows.size(), Thousands(total).c_str()));
}

std::string Who(DemoSiteData& d, bool withHosts, const std::string& self) {
  TextTable table({"User", "Group", withHosts ? "From" : "Doing", "Idle"}, {false, false, false, true});
  int online = 0;
  for (const User& u : d.users) {
    if (u.deleted || u.action.empty()) continue;
    ++online;
    const bool me = u.name == self;
    std::string what =
        withHosts ? (u.ips.empty() ? std::string("*@unknown") : u.ips.front()) : (me ? "SITE WHO" : u.action);
    table.Add({u.name, u.group, what, Clock(me ? 0 : u.idle)});
  }
  Reply r;
  table.WriteTo(r);
  return r.End(Fmt("%d of 40 slots in use.", online));
}

std::string Boxed(std::string text) {
  text.resize(54, ' ');
  return "| " + text + " |";
}

std::string UserInfo(const User& u) {
  const std::string rule = "+" + std::string(56, '-') + "+";
  Reply r;
  r << rule;
  r << Boxed(Fmt("User: %-14s Group: %-12s Flags: %s", u.name.c_str(), u.group.c_str(), u.flags.c_str()));
  r << Boxed("Tagline: " + u.tagline);
  r << Boxed(Fmt("Ratio: %-6s Credits: %12s MB  Max logins: %d", u.ratio == 0 ? "leech" : Fmt("1:%d", u.ratio).c_str(),
                 Thousands(u.credits).c_str(), u.maxLogins));
  r << Boxed(Fmt("Up:   %12s MB in %8s files", Thousands(u.upMb).c_str(), Thousands(u.upFiles).c_str()));
  r << Boxed(Fmt("Down: %12s MB in %8s files", Thousands(u.dnMb).c_str(), Thousands(u.dnFiles).c_str()));
  r << Boxed(Fmt("Last on: %-20s Times on: %d", u.lastOn.c_str(), u.logins));
  for (std::size_t i = 0; i < u.ips.size(); ++i) r << Boxed(Fmt("IP%zu: %s", i, u.ips[i].c_str()));
  r << rule;
  return r.End(u.deleted ? "This user is deleted (SITE READD brings it back)." : "Command successful.");
}

std::string Help() {
  static const char* const lines[] = {
      "Commands of this site (SITE <command>):",
      "  Statistics:",
      "    ALUP ALDN WKUP WKDN DAYUP DAYDN   upload and download rankings",
      "    NEW                               newest directories",
      "    WHO SWHO                          who is online (SWHO with hosts)",
      "    LASTON LOGINS                     last logins, login counts",
      "    TRAFFIC USERS GROUPS              site traffic, user and group lists",
      "    STAT STATS [user]                 your status, detailed statistics",
      "    VERS                              server version",
      "    IDLE [seconds]                    show or set your idle limit",
      "  Users and groups:",
      "    ADDUSER <user> <pass>             GADDUSER <group> <user> <pass>",
      "    DELUSER <user>                    READD <user>",
      "    CHGRP <user> <group>              CHANGE <user> <field> <value>",
      "    ADDIP <user> <ident@ip>           DELIP <user> <ident@ip|number>",
      "    GIVE <user> <MB>                  TAKE <user> <MB>",
      "    USER <user>                       GINFO <group>",
      "    fields for CHANGE: ratio credits flags tagline maxlogins",
      "  Site:",
      "    NUKE <dir> <multiplier> <reason>  UNNUKE <dir> <reason>",
      "    KICK <user>                       MSG <user> <text>",
      "",
      "  All names and figures on this site are made up.",
  };
  Reply r;
  for (const char* l : lines) r << l;
  return r.End("Help end.");
}

std::string NoUser(const std::string& name) { return One("550 User '" + name + "' does not exist."); }
std::string Usage(const std::string& text) { return One("501 Usage: SITE " + text); }

}  // namespace

DemoSession::DemoSession(const DemoOptions& options, std::shared_ptr<DemoSiteData> data)
    : m_options(options),
      m_data(data ? std::move(data) : MakeDemoSiteData()),
      m_idleSeconds(options.idleTimeoutSeconds) {}

DemoSession::~DemoSession() = default;

std::string DemoSession::Greeting() const {
  return "220-.-----------------------------------------------.\r\n"
         "220-|  Korvastel demo site                          |\r\n"
         "220-|  Every user, group and figure here is made up.|\r\n"
         "220-|  Try SITE HELP once you are logged in.        |\r\n"
         "220-'-----------------------------------------------'\r\n" +
         Fmt("220 Demo site ready (idle limit %u seconds).\r\n", m_idleSeconds);
}

std::string DemoSession::Answer(const std::string& line) {
  const std::vector<std::string> words = Words(line);
  const std::string verb = words.empty() ? std::string() : Upper(words[0]);
  if (verb == "QUIT") {
    m_quit = true;
    return One("221 Goodbye.");
  }
  if (verb == "AUTH") {
    if (!m_options.offerTls) return One("502 AUTH not offered here.");
    if (m_secured) return One("503 The connection is encrypted already.");
    const std::string mechanism = words.size() == 2 ? Upper(words[1]) : std::string();
    if (mechanism != "TLS" && mechanism != "SSL") return One("504 Use AUTH TLS.");
    m_tlsRequested = m_secured = true;
    m_userGiven = m_loggedIn = false;
    return One("234 AUTH " + mechanism + " accepted, go ahead with the handshake.");
  }
  if (verb == "USER") {
    if (words.size() < 2) return One("501 Syntax: USER <name>");
    m_pendingUser = RestAfter(line, 1);
    m_userGiven = true;
    m_loggedIn = false;
    return One("331 Password required for " + m_pendingUser + ".");
  }
  if (verb == "PASS") {
    if (!m_userGiven) return One("503 Login with USER first.");
    m_userGiven = false;
    if (m_pendingUser == m_options.user && RestAfter(line, 1) == m_options.password) {
      m_loggedIn = true;
      return "230-Welcome back, " + m_pendingUser +
             ". 4 users are online.\r\n"
             "230-Your credits: ample. Your ratio: none (site operator).\r\n"
             "230 User " +
             m_pendingUser + " logged in.\r\n";
    }
    return One("530 Login incorrect.");
  }
  if (!m_loggedIn) return One("530 Please log in with USER and PASS first.");
  if (verb == "NOOP") return One("200 NOOP ok.");
  if (verb == "SITE") return Site(RestAfter(line, 1));
  return One("500 '" + line + "': command not understood.");
}

std::string DemoSession::Site(const std::string& args) {
  const std::vector<std::string> w = Words(args);
  const std::string cmd = w.empty() ? std::string() : Upper(w[0]);
  const std::size_t n = w.size();
  DemoSiteData& d = *m_data;
  std::lock_guard<std::mutex> lock(d.mutex);

  if (cmd == "ALUP") return Ranking(d, Rank::AlUp);
  if (cmd == "ALDN") return Ranking(d, Rank::AlDn);
  if (cmd == "WKUP") return Ranking(d, Rank::WkUp);
  if (cmd == "WKDN") return Ranking(d, Rank::WkDn);
  if (cmd == "DAYUP") return Ranking(d, Rank::DayUp);
  if (cmd == "DAYDN") return Ranking(d, Rank::DayDn);
  if (cmd == "WHO") return Who(d, false, m_options.user);
  if (cmd == "SWHO") return Who(d, true, m_options.user);
  if (cmd == "HELP") return Help();

  if (cmd == "NEW") {
    Reply r;
    r << "Newest directories:"
      << " ## | Age      | Uploader   |   Size MB | Directory";
    for (std::size_t i = 0; i < d.dirs.size(); ++i) {
      const Dir& dir = d.dirs[i];
      std::string name = dir.path;
      if (dir.nukeMultiplier) name += Fmt("  [NUKED x%d: %s]", dir.nukeMultiplier, dir.nukeReason.c_str());
      r << Fmt("%3zu | %-8s | %-10s | %9s | %s", i + 1, dir.age.c_str(), dir.uploader.c_str(),
               Thousands(dir.sizeMb).c_str(), name.c_str());
    }
    return r.End("End of list.");
  }
  if (cmd == "LASTON") {
    Reply r;
    r << "Last logins:"
      << "  User       | Group      | When             | Stayed";
    for (const Login& l : d.lastLogins) {
      const User* u = d.FindUser(l.user, true);
      r << Fmt("  %-10s | %-10s | %-16s | %s", l.user.c_str(), u ? u->group.c_str() : "-", l.when.c_str(),
               l.duration.c_str());
    }
    return r.End("End of list.");
  }
  if (cmd == "LOGINS") {
    Reply r;
    r << "Logins per user:"
      << "  User       | Times on | Max at once";
    for (const User& u : d.users) {
      if (!u.deleted) r << Fmt("  %-10s | %8d | %d", u.name.c_str(), u.logins, u.maxLogins);
    }
    return r.End("End of list.");
  }
  if (cmd == "TRAFFIC") {
    std::int64_t up[4] = {}, dn[4] = {};
    for (const User& u : d.users) {
      up[0] += u.dayUp;
      up[1] += u.wkUp;
      up[2] += u.wkUp * 4 + u.dayUp;
      up[3] += u.upMb;
      dn[0] += u.dayDn;
      dn[1] += u.wkDn;
      dn[2] += u.wkDn * 4 + u.dayDn;
      dn[3] += u.dnMb;
    }
    static const char* const spans[] = {"Today", "This week", "This month", "All time"};
    TextTable table({"Span", "Upload", "Download", "Net"}, {false, true, true, true});
    for (int i = 0; i < 4; ++i) table.Add({spans[i], Size(up[i]), Size(dn[i]), Size(up[i] - dn[i])});
    Reply r;
    r << "Site traffic:";
    table.WriteTo(r);
    return r.End("End of traffic statistics.");
  }
  if (cmd == "USERS") {
    if (m_options.replyLines > 0) {
      if (d.bulkLines != m_options.replyLines) {
        d.bulkUsers = BulkUsersReply(m_options.replyLines);
        d.bulkLines = m_options.replyLines;
      }
      return d.bulkUsers;
    }
    TextTable table({"User", "Group", "Flags", "Ratio", "Credits", "Uploaded", "Downloaded"},
                    {false, false, false, false, true, true, true});
    int count = 0;
    for (const User& u : d.users) {
      if (u.deleted) continue;
      ++count;
      table.Add({u.name, u.group, u.flags, u.ratio ? Fmt("1:%d", u.ratio) : "leech", Size(u.credits), Size(u.upMb),
                 Size(u.dnMb)});
    }
    Reply r;
    table.WriteTo(r);
    return r.End(Fmt("%d users.", count));
  }
  if (cmd == "GROUPS") {
    TextTable table({"Group", "Members", "Slots", "Uploaded", "Description"}, {false, true, true, true, false});
    for (const Group& g : d.groups) {
      std::int64_t up = 0;
      for (const User& u : d.users)
        if (!u.deleted && u.group == g.name) up += u.upMb;
      table.Add({g.name, std::to_string(d.Members(g.name)), std::to_string(g.slots), Size(up), g.description});
    }
    Reply r;
    table.WriteTo(r);
    return r.End(Fmt("%zu groups.", d.groups.size()));
  }
  if (cmd == "STAT") {
    const User* me = d.FindUser(m_options.user);
    return One(Fmt("200 [Credits: %s MB] [Ratio: none] [Idle limit: %us] [Section: DEFAULT]",
                   me ? Thousands(me->credits).c_str() : "0", m_idleSeconds));
  }
  if (cmd == "STATS") {
    const std::string name = n >= 2 ? w[1] : m_options.user;
    const User* u = d.FindUser(name);
    if (!u) return NoUser(name);
    Reply r;
    r << "Statistics of " + u->name + ":"
      << "  Span      |   Up MB | Up files |   Down MB | Down files";
    r << Fmt("  Today     | %7s | %8s | %9s | %s", Thousands(u->dayUp).c_str(), Thousands(u->upFiles / 377).c_str(),
             Thousands(u->dayDn).c_str(), Thousands(u->dnFiles / 401).c_str());
    r << Fmt("  This week | %7s | %8s | %9s | %s", Thousands(u->wkUp).c_str(), Thousands(u->upFiles / 53).c_str(),
             Thousands(u->wkDn).c_str(), Thousands(u->dnFiles / 61).c_str());
    r << Fmt("  All time  | %7s | %8s | %9s | %s", Thousands(u->upMb).c_str(), Thousands(u->upFiles).c_str(),
             Thousands(u->dnMb).c_str(), Thousands(u->dnFiles).c_str());
    return r.End("End of statistics.");
  }
  if (cmd == "VERS") {
    Reply r;
    r << "Korvastel demo site server 1.0"
      << "Built for trying out the Korvastel site command tool.";
    return r.End("No real data is kept here.");
  }
  if (cmd == "IDLE") {
    if (n < 2) return One(Fmt("200 Your idle limit is %u seconds.", m_idleSeconds));
    std::int64_t secs = 0;
    if (!ParseCount(w[1], secs) || secs < 1 || secs > 7200) return One("501 The idle limit must be 1 to 7200 seconds.");
    m_idleSeconds = static_cast<unsigned>(secs);
    return One(Fmt("200 Idle limit set to %u seconds.", m_idleSeconds));
  }

  // User and group administration.
  if (cmd == "ADDUSER" || cmd == "GADDUSER") {
    const bool withGroup = cmd == "GADDUSER";
    if (n != (withGroup ? 4u : 3u))
      return Usage(withGroup ? "GADDUSER <group> <user> <password>" : "ADDUSER <user> <password>");
    const std::string& name = w[withGroup ? 2 : 1];
    if (withGroup && !d.FindGroup(w[1])) return One("550 Group '" + w[1] + "' does not exist.");
    if (d.FindUser(name, true)) return One("550 User '" + name + "' already exists.");
    User u;
    u.name = name;
    u.group = withGroup ? w[1] : "lantern";
    u.flags = "3";
    u.credits = 15;
    u.tagline = "New here";
    u.lastOn = "never";
    d.users.push_back(u);
    return One("200 User '" + name + "' added to group '" + u.group + "'.");
  }
  if (cmd == "DELUSER" || cmd == "READD") {
    const bool add = cmd == "READD";
    if (n != 2) return Usage(cmd + " <user>");
    User* u = d.FindUser(w[1], true);
    if (!u) return NoUser(w[1]);
    if (u->deleted != add) return One("550 User '" + w[1] + (add ? "' is not deleted." : "' is already deleted."));
    u->deleted = !add;
    if (!add) u->action.clear();
    return One("200 User '" + w[1] + (add ? "' re-added." : "' deleted."));
  }
  if (cmd == "CHGRP") {
    if (n != 3) return Usage("CHGRP <user> <group>");
    User* u = d.FindUser(w[1]);
    if (!u) return NoUser(w[1]);
    if (!d.FindGroup(w[2])) return One("550 Group '" + w[2] + "' does not exist.");
    const std::string old = u->group;
    u->group = w[2];
    return One("200 User '" + u->name + "' moved from '" + old + "' to '" + w[2] + "'.");
  }
  if (cmd == "ADDIP" || cmd == "DELIP") {
    if (n != 3) return Usage(cmd + " <user> <ident@ip>");
    User* u = d.FindUser(w[1]);
    if (!u) return NoUser(w[1]);
    auto it = std::find(u->ips.begin(), u->ips.end(), w[2]);
    if (cmd == "ADDIP") {
      if (w[2].find('@') == std::string::npos) return One("501 An IP mask looks like ident@address, e.g. *@10.1.2.*");
      if (it != u->ips.end()) return One("550 '" + w[2] + "' is already there.");
      if (u->ips.size() >= 10) return One("550 No room for more than 10 IP masks.");
      u->ips.push_back(w[2]);
      return One("200 IP '" + w[2] + "' added to user '" + u->name + "'.");
    }
    std::int64_t index = -1;
    if (it == u->ips.end() && ParseCount(w[2], index) && index < static_cast<std::int64_t>(u->ips.size()))
      it = u->ips.begin() + index;
    if (it == u->ips.end()) return One("550 User '" + u->name + "' has no IP '" + w[2] + "'.");
    const std::string removed = *it;
    u->ips.erase(it);
    return One("200 IP '" + removed + "' removed from user '" + u->name + "'.");
  }
  if (cmd == "CHANGE") {
    if (n < 4) return Usage("CHANGE <user> <field> <value>");
    User* u = d.FindUser(w[1]);
    if (!u) return NoUser(w[1]);
    const std::string field = Upper(w[2]);
    const std::string value = RestAfter(args, 3);
    std::int64_t v = 0;
    std::string old;
    if (field == "RATIO" && ParseCount(value, v) && v <= 10) {
      old = std::to_string(u->ratio);
      u->ratio = static_cast<int>(v);
    } else if (field == "CREDITS" && ParseCount(value, v)) {
      old = std::to_string(u->credits);
      u->credits = v;
    } else if (field == "MAXLOGINS" && ParseCount(value, v) && v <= 99) {
      old = std::to_string(u->maxLogins);
      u->maxLogins = static_cast<int>(v);
    } else if (field == "FLAGS" && value.find_first_not_of("0123456789ABCDEFGHIJ") == std::string::npos) {
      old = u->flags;
      u->flags = value;
    } else if (field == "TAGLINE") {
      old = u->tagline;
      u->tagline = value;
    } else {
      return One("501 Fields: ratio (0-10), credits (MB), maxlogins (0-99), flags (0-9, A-J), tagline (text).");
    }
    return One("200 " + Upper(w[2]) + " of '" + u->name + "' changed from '" + old + "' to '" + value + "'.");
  }
  if (cmd == "GIVE" || cmd == "TAKE") {
    std::int64_t mb = 0;
    if (n != 3 || !ParseCount(w[2], mb) || mb == 0) return Usage(cmd + " <user> <MB>");
    User* u = d.FindUser(w[1]);
    if (!u) return NoUser(w[1]);
    if (cmd == "TAKE" && mb > u->credits)
      return One("550 '" + u->name + "' has only " + Thousands(u->credits) + " MB of credits.");
    u->credits += cmd == "GIVE" ? mb : -mb;
    return One(Fmt("200 %s %s MB %s '%s'; credits now %s MB.", cmd == "GIVE" ? "Gave" : "Took", Thousands(mb).c_str(),
                   cmd == "GIVE" ? "to" : "from", u->name.c_str(), Thousands(u->credits).c_str()));
  }
  if (cmd == "NUKE" || cmd == "UNNUKE") {
    const bool nuke = cmd == "NUKE";
    std::int64_t mult = 0;
    if (n < (nuke ? 4u : 3u) || (nuke && (!ParseCount(w[2], mult) || mult < 1 || mult > 10)))
      return Usage(nuke ? "NUKE <dir> <multiplier 1-10> <reason>" : "UNNUKE <dir> <reason>");
    Dir* dir = d.FindDir(w[1]);
    if (!dir) return One("550 " + w[1] + ": no such directory.");
    if ((dir->nukeMultiplier != 0) == nuke)
      return One("550 " + w[1] + (nuke ? " is already nuked." : " is not nuked."));
    User* up = d.FindUser(dir->uploader, true);
    const std::int64_t cost = dir->sizeMb * (nuke ? mult : dir->nukeMultiplier);
    Reply r;
    if (nuke) {
      dir->nukeMultiplier = static_cast<int>(mult);
      dir->nukeReason = RestAfter(args, 3);
      if (up) up->credits = std::max<std::int64_t>(0, up->credits - cost);
      r << Fmt("Nuked %s x%d: %s", dir->path.c_str(), dir->nukeMultiplier, dir->nukeReason.c_str());
    } else {
      dir->nukeMultiplier = 0;
      dir->nukeReason.clear();
      if (up) up->credits += cost;
      r << Fmt("Unnuked %s: %s", dir->path.c_str(), RestAfter(args, 2).c_str());
    }
    r << Fmt("  %-10s %s %s MB of credits", dir->uploader.c_str(), nuke ? "loses" : "gets back",
             Thousands(cost).c_str());
    return r.End(nuke ? "Nuke done." : "Unnuke done.");
  }
  if (cmd == "KICK") {
    if (n != 2) return Usage("KICK <user>");
    User* u = d.FindUser(w[1]);
    if (!u) return NoUser(w[1]);
    if (u->name == m_options.user) return One("550 You cannot kick yourself.");
    if (u->action.empty()) return One("550 User '" + u->name + "' is not online.");
    u->action.clear();
    return One("200 Kicked 1 connection of '" + u->name + "'.");
  }
  if (cmd == "MSG") {
    if (n < 3) return Usage("MSG <user> <text>");
    if (!d.FindUser(w[1])) return NoUser(w[1]);
    return One("200 Message for '" + w[1] + "' stored; it is shown at the next login.");
  }
  if (cmd == "USER") {
    if (n != 2) return Usage("USER <user>");
    const User* u = d.FindUser(w[1], true);
    return u ? UserInfo(*u) : NoUser(w[1]);
  }
  if (cmd == "GINFO") {
    if (n != 2) return Usage("GINFO <group>");
    const Group* g = d.FindGroup(w[1]);
    if (!g) return One("550 Group '" + w[1] + "' does not exist.");
    Reply r;
    r << Fmt("Group %s: %s", g->name.c_str(), g->description.c_str());
    r << "  User       | Ratio |     Up MB |   Down MB | Tagline";
    std::int64_t up = 0, dn = 0;
    for (const User& u : d.users) {
      if (u.deleted || u.group != g->name) continue;
      up += u.upMb;
      dn += u.dnMb;
      r << Fmt("  %-10s | %5s | %9s | %9s | %s", u.name.c_str(), u.ratio ? Fmt("1:%d", u.ratio).c_str() : "leech",
               Thousands(u.upMb).c_str(), Thousands(u.dnMb).c_str(), u.tagline.c_str());
    }
    r << Fmt("  Total      |       | %9s | %9s |", Thousands(up).c_str(), Thousands(dn).c_str());
    return r.End(Fmt("%d of %d slots used.", d.Members(g->name), g->slots));
  }
  return One("500 'SITE" + (args.empty() ? std::string() : " " + args) + "': command not understood.");
}

DemoServer::DemoServer(DemoOptions options) : m_options(std::move(options)), m_data(MakeDemoSiteData()) {}

DemoServer::~DemoServer() { Stop(); }

bool DemoServer::Start(std::string& error) {
  if (m_options.offerTls && !m_tls) {
    auto tls = std::make_unique<TlsServerContext>();
    if (!tls->Generate("Korvastel demo site", error)) return false;
    m_tls = std::move(tls);
  }
  m_listenFd = io::ListenLoopback(m_options.port, m_port, error);
  if (m_listenFd < 0) return false;
  m_acceptThread = std::thread([this] { AcceptLoop(); });
  return true;
}

void DemoServer::Stop() {
  m_stop.Set();
  if (m_acceptThread.joinable()) m_acceptThread.join();
  // Join outside the lock: a finishing client takes it to say so. Splicing
  // keeps each Client where its thread can still reach it.
  std::list<Client> clients;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    clients.splice(clients.begin(), m_clients);
  }
  for (Client& c : clients) {
    if (c.thread.joinable()) c.thread.join();
  }
  if (m_listenFd >= 0) {
    ::close(m_listenFd);
    m_listenFd = -1;
  }
}

void DemoServer::ReapFinished() {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (auto it = m_clients.begin(); it != m_clients.end();) {
    if (it->finished) {
      it->thread.join();
      it = m_clients.erase(it);
    } else {
      ++it;
    }
  }
}

void DemoServer::AcceptLoop() {
  // A handful at once is plenty for an administrator's tool and keeps a
  // runaway client from eating threads.
  constexpr std::size_t kMaxClients = 16;
  while (io::WaitFor(m_listenFd, POLLIN, m_stop, -1) == io::Wait::Ready) {
    const int fd = io::AcceptClient(m_listenFd);
    if (fd < 0) continue;
    ReapFinished();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_clients.size() >= kMaxClients) {
      const std::string busy = "421 Too many connections, try again later.\r\n";
      (void)!::send(fd, busy.data(), busy.size(), MSG_NOSIGNAL);
      std::string ignored;
      io::CloseGracefully(fd, ignored);
      continue;
    }
    Client& c = m_clients.emplace_back();
    c.thread = std::thread([this, fd, &c] { Serve(fd, c); });
  }
}

void DemoServer::Serve(int fd, Client& client) {
  using Clock = std::chrono::steady_clock;
  // A line longer than this is no command; it is answered and dropped.
  constexpr std::size_t kMaxLine = 64 * 1024;
  DemoSession session(m_options, m_data);
  ServerLink link(fd);  // plain until AUTH TLS
  std::string greeting = session.Greeting(), buffer, ignored;
  bool ok = link.Send(greeting.data(), greeting.size(), m_stop);
  bool discarding = false;
  auto deadline = Clock::now() + std::chrono::seconds(session.IdleSeconds());
  while (ok) {
    const std::size_t lf = buffer.find('\n');
    if (lf == std::string::npos) {
      if (buffer.size() > kMaxLine) {
        if (!discarding) {
          const std::string tooLong = "500 Command line too long.\r\n";
          ok = link.Send(tooLong.data(), tooLong.size(), m_stop);
        }
        discarding = true;
        buffer.clear();
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        const std::string bye = Fmt("421 Timeout (%u seconds): closing control connection.\r\n", session.IdleSeconds());
        link.Send(bye.data(), bye.size(), m_stop);
        break;
      }
      const io::Wait w = link.HasPending()
                             ? io::Wait::Ready
                             : io::WaitFor(fd, POLLIN, m_stop, static_cast<int>(std::min<long long>(left, 1000)));
      if (w == io::Wait::Stopped) break;
      if (w == io::Wait::Ready) {
        char buf[4096];
        const long got = link.Receive(buf, sizeof buf, m_stop);
        if (got == 0 || got == -1) break;
        if (got > 0) buffer.append(buf, static_cast<std::size_t>(got));
      }
      continue;
    }
    std::string line = buffer.substr(0, lf);
    buffer.erase(0, lf + 1);
    if (discarding) {
      discarding = false;
      continue;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string reply = session.Answer(line);
    ok = link.Send(reply.data(), reply.size(), m_stop);
    if (session.WantsClose()) break;
    if (session.TakeTlsRequest()) {
      // Plain bytes sent after AUTH TLS would pass for encrypted ones later;
      // they are dropped, as careful servers do.
      buffer.clear();
      ok = ok && m_tls && link.StartTls(*m_tls, m_stop);
    }
    deadline = Clock::now() + std::chrono::seconds(session.IdleSeconds());
  }
  io::CloseGracefully(fd, ignored);
  std::lock_guard<std::mutex> lock(m_mutex);
  client.finished = true;
}

}  // namespace siteserver
