// The saved sites: the Addresses field, the file the window and the runner share.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "SiteList.h"

namespace fs = std::filesystem;

namespace {

struct TempDir {
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "sites-XXXXXX").string();
    path = ::mkdtemp(pattern.data());
  }
  ~TempDir() { fs::remove_all(path); }
  std::string File(const std::string& name) const { return path + "/" + name; }
  std::string path;
};

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

TEST(SiteList, AddressLinesAreCheckedOneByOneAndNamedWhenWrong) {
  std::string error;
  const auto parsed = ParseAddresses("  bnc1.example:2121 \n\n[::1]\n10.0.0.5\n", Encryption::Implicit, error);
  ASSERT_TRUE(parsed) << error;
  // Implicit TLS listens on 990 unless told; the host is kept without its brackets.
  EXPECT_EQ(AddressesText(*parsed), "bnc1.example:2121\n[::1]:990\n10.0.0.5:990");
  EXPECT_EQ((*parsed)[1].host, "::1");

  const struct {
    const char* text;
    const char* message;
  } bad[] = {
      {"", "A site needs at least one address."},
      {"a.example\nftp://b.example", "Address line 2 (\"ftp://b.example\"): give the address"},
      {"a.example\n\nb example", "Address line 3 (\"b example\"): an address holds no blanks."},
      {"a.example:0", "the port must be a number from 1 to 65535."},
      {"a.example:65536", "the port must be a number from 1 to 65535."},
      {"a.example:4294967317", "the port must be a number from 1 to 65535."},
      {"a.example:", "must be followed by the port"},
      {"::1", "write an IPv6 address in brackets"},
      {"[::1", "an IPv6 address goes in brackets"},
  };
  for (const auto& b : bad) {
    error.clear();
    EXPECT_FALSE(ParseAddresses(b.text, Encryption::None, error)) << b.text;
    EXPECT_NE(error.find(b.message), std::string::npos) << b.text << " -> " << error;
  }
}

TEST(SiteList, RoundTripsPrivatelyKeepsNamesUniqueAndLosesNothingOnBadFiles) {
  TempDir dir;
  SiteList list;
  std::string error;
  Site site{"main", {{"bnc1.example", 2121}, {"::1", 21}}, "admin", Encryption::Explicit, "SITE IDLE", 90, true};
  ASSERT_TRUE(list.Put("", site, error)) << error;
  EXPECT_FALSE(list.Put("", site, error)) << "two sites with one name";
  EXPECT_NE(error.find("There is a site called \"main\" already"), std::string::npos);
  for (const char* bad : {"x\ny", "admin@main", "a]b"}) {
    site.name = bad;
    EXPECT_FALSE(list.Put("", site, error)) << bad;
  }
  site.name = "main";
  site.login = "root";
  ASSERT_TRUE(list.Put("main", site, error)) << "the same name when editing it";
  EXPECT_EQ(list.Sites().size(), 1u);

  const std::string path = dir.File("conf/Dunvarrow/sites.conf");
  ASSERT_TRUE(list.Write(path, error)) << error;
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(dir.File("conf/Dunvarrow").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  SiteList again;
  ASSERT_TRUE(again.Read(path, error)) << error;
  ASSERT_EQ(again.Sites().size(), 1u);
  const Site& read = again.Sites()[0];
  EXPECT_EQ(read.login, "root");
  EXPECT_EQ(AddressesText(read.addresses), "bnc1.example:2121\n[::1]:21");
  EXPECT_EQ(read.encryption, Encryption::Explicit);
  EXPECT_EQ(read.antiIdleCommand, "SITE IDLE");
  EXPECT_EQ(read.antiIdleSeconds, 90u);
  EXPECT_TRUE(read.rememberPassword);
  const ConnectRequest request = read.Request("pw");
  EXPECT_TRUE(request.tls && !request.implicitTls);
  EXPECT_EQ(request.more.size(), 1u);

  // A hand-edited clash keeps both (an import's clash is the Site Manager test's).
  WriteFile(dir.File("twice.conf"), "[a]\naddress=h\n[a]\naddress=h:2\nfuture=1\n");
  ASSERT_TRUE(again.Read(dir.File("twice.conf"), error)) << error;
  ASSERT_EQ(again.Sites().size(), 2u);
  EXPECT_EQ(again.Sites()[1].name, "a (2)");

  // Bad files leave the list and the file on disk as they were.
  WriteFile(dir.File("bad.conf"), "[a]\naddress=h\nlogin\n");
  EXPECT_FALSE(again.Read(dir.File("bad.conf"), error));
  EXPECT_NE(error.find("line 3"), std::string::npos) << error;
  EXPECT_FALSE(again.Read(dir.path, error));
  EXPECT_NE(error.find("is a folder"), std::string::npos);
  EXPECT_EQ(again.Sites().size(), 2u);
  ::chmod(dir.File("conf/Dunvarrow").c_str(), 0500);
  if (::access(dir.File("conf/Dunvarrow/probe").c_str(), F_OK) != 0 && ::geteuid() != 0) {
    EXPECT_FALSE(again.Write(path, error));
    EXPECT_NE(error.find("as it was"), std::string::npos);
    SiteList kept;
    ASSERT_TRUE(kept.Read(path, error));
    EXPECT_EQ(kept.Sites()[0].login, "root");
  }
  ::chmod(dir.File("conf/Dunvarrow").c_str(), 0700);
}

}  // namespace
