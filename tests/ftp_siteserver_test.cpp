#include <gtest/gtest.h>

#include "DemoSite.h"
#include "ScriptedServer.h"

using namespace siteserver;

namespace {

TEST(ScriptedServer, ParsesScriptText) {
  Script s;
  std::string error;
  ASSERT_TRUE(ParseScript("# greeting\nsend 220 Hi\\r\\n\nslow \\x41\\\\\n\nexpect\npause 15\nclose\nhold\n", s, error))
      << error;
  ASSERT_EQ(s.size(), 6u);
  EXPECT_EQ(s[0].bytes, "220 Hi\r\n");
  EXPECT_EQ(s[1].bytes, "A\\");
  for (const char* bad : {"send a\\q", "pause -1", "shout x"}) {
    EXPECT_FALSE(ParseScript(std::string("expect\n") + bad, s, error)) << bad;
    EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
  }
}

TEST(DemoSession, LoginAndSiteCommands) {
  DemoOptions options;
  DemoSession s(options, nullptr);
  const std::string greeting = s.Greeting();
  EXPECT_EQ(greeting.rfind("220-", 0), 0u);
  EXPECT_NE(greeting.find("\r\n220 "), std::string::npos);
  EXPECT_EQ(s.Answer("SITE WHO"), "530 Please log in with USER and PASS first.\r\n");
  EXPECT_EQ(s.Answer("USER admin"), "331 Password required for admin.\r\n");
  EXPECT_EQ(s.Answer("PASS wrong"), "530 Login incorrect.\r\n");
  s.Answer("USER admin");
  EXPECT_NE(s.Answer("PASS korvastel").find("230 User admin logged in.\r\n"), std::string::npos);
  for (const char* verb : {"WHO", "USERS", "HELP"})
    EXPECT_EQ(s.Answer(std::string("site ") + verb).substr(0, 3), "200") << verb;
  EXPECT_EQ(s.Answer("SITE FROB x"), "500 'SITE FROB x': command not understood.\r\n");
}

}  // namespace
