#include <gtest/gtest.h>

#include <string>

#include "CommandText.h"
#include "HistoryEntry.h"
#include "Reply.h"

namespace {

TEST(StripCommandEnd, DropsOnlyTrailingBlanksAndControlBytes) {
  EXPECT_EQ(StripCommandEnd("SITE WHO  \t\r\n"), "SITE WHO");
  EXPECT_EQ(StripCommandEnd(std::string("SITE WHO\0\x1f", 10)), "SITE WHO");
  EXPECT_EQ(StripCommandEnd(" \x01\x20\n"), "");
  EXPECT_EQ(StripCommandEnd("  SITE\nWHO "), "  SITE\nWHO");
  EXPECT_EQ(StripCommandEnd("SITE ADDUSER Zo\xeb"), "SITE ADDUSER Zo\xeb");
  EXPECT_EQ(StripCommandEnd("SITE MSG x \xa0"), "SITE MSG x \xa0");
  EXPECT_EQ(StripCommandEnd("x\x7f"), "x\x7f");
}

TEST(AsksForEncryption, WholeWordsOfRefusalsOnly) {
  const struct {
    char replyClass;
    std::string text;
    bool hint;
  } rows[] = {
      {'5', "550 SSL/TLS required on the control channel\n", true},
      {'5', "530 Non-anonymous sessions must use encryption.\n", true},
      {'4', "421 Sorry, cleartext sessions and weak ciphers are not accepted on this server.\n", false},
      {'4', "421-Sorry, cleartext sessions are not accepted.\n421 Please reconnect using TLS security mechanisms.\n",
       true},
      {'5', "530 USE SECURE CONNECTION\n", true},
      {'5', "530 Anonymous logins are not allowed. Use secure access\n", true},
      {'5', "530 Login failed: Your user class requires you to use secure connections.\n", true},
      {'5', "530 Only secured sessions accepted\n", true},
      {'5', "534 Encrypt the control connection first\n", true},
      {'5', "530 Control connection not Encrypted\n", true},
      {'5', "530 tls1.2 or later\n", true},
      {'5', "530 Login rtlsmith refused\n", false},
      {'5', "530 User sslvpn, cryptography or insecurely-named accounts: no\n", false},
      {'5', "530 Login incorrect.\n", false},
      {'5', "530 Security policy violated\n", false},
      {'5', "530 TLS\xE9 refused\n", false},            // a letter of the code page belongs to the word
      {'3', "331 Send your secure password\n", false},  // not a refusal
      {'2', "230 TLS is on\n", false},
      {0, "TLS\n", false},
      {'5', "", false},
  };
  for (const auto& r : rows) EXPECT_EQ(AsksForEncryption(r.replyClass, r.text), r.hint) << r.text;
}

TEST(HistoryEntry, ParseEdges) {
  EXPECT_EQ(MakeHistoryEntry("x@y:z", "2001:db8::5", 21), "x@y:z@2001:db8::5:21");
  struct Case {
    std::string entry, login, host, port;
  };
  const Case cases[] = {
      {"host:21", "", "host", "21"},
      {"bob@host", "bob", "host", "0"},
      {"a@b@host", "a@b", "host", "0"},
      {"bob@host: \t 21x", "bob", "host", "21"},
      {"bob@host:+42", "bob", "host", "42"},
      {"bob@host:0021", "bob", "host", "21"},
      // Out of range: as written, never wrapped into a port that works.
      {"bob@host:-1", "bob", "host", "-1"},
      {"u@h:4294967317", "u", "h", "4294967317"},
      {"bob@host:99999999999", "bob", "host", "99999999999"},
      {"bob@host:65536", "bob", "host", "65536"},
      {"bob@host:0", "bob", "host", "0"},
      {"bob@host:abc", "bob", "host", "0"},
      {"", "", "", "0"},
      {"bob:", "", "bob", "0"},
      // IPv6 hosts, bare or bracketed, come back as typed: the split is at the last ":".
      {"admin@[::1]:2121", "admin", "[::1]", "2121"},
      {"x@y:z@2001:db8::5:65535", "x@y:z", "2001:db8::5", "65535"},
  };
  for (const Case& c : cases) {
    const HistoryFields f = ParseHistoryEntry(c.entry);
    EXPECT_EQ(f.login, c.login) << c.entry;
    EXPECT_EQ(f.host, c.host) << c.entry;
    EXPECT_EQ(f.port, c.port) << c.entry;
  }
}

// Which letters of the code page pair up is CaseFold's, tested in IniRead.NamesIgnoreCaseOverTheCodePage.
TEST(HistoryEntry, SameIgnoringCase) {
  EXPECT_TRUE(SameHistoryEntry("Bob@FTP.Example.org:21", "bob@ftp.example.ORG:21"));
  EXPECT_TRUE(SameHistoryEntry("\xd6laf@h:1", "\xf6LAF@H:1"));  // Ö ö
  EXPECT_FALSE(SameHistoryEntry("bob@h:21", "bob@h:2"));
}

}  // namespace
