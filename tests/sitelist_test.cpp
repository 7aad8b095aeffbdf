// The saved sites: the Addresses field, the file the window and the runner share.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "SiteList.h"
#include "TempFiles.h"

namespace fs = std::filesystem;

namespace {

struct Folder : TempDir {
  std::string File(const std::string& name) const { return (*this / name).string(); }
};

// The sites as "name|login|remember", in order.
std::vector<std::string> Summary(const SiteList& list) {
  std::vector<std::string> out;
  for (const Site& s : list.Sites()) out.push_back(s.name + "|" + s.login + "|" + (s.rememberPassword ? "yes" : "no"));
  return out;
}

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
      // Which ports and colons are wrong is ParseHostPort's, tested through ParseAddress.
      {"a.example:65536", "the port must be a number from 1 to 65535."},
      {"[::1]:", "must be followed by the port"},
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
  Folder dir;
  SiteList list;
  std::string error;
  Site site{"main", {{"bnc1.example", 2121}, {"::1", 21}}, "admin", Encryption::Explicit, "SITE IDLE", 90, true, true, {}};
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
  EXPECT_EQ(Mode(path), 0600u);
  EXPECT_EQ(Mode(dir.File("conf/Dunvarrow")), 0700u);

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
  EXPECT_TRUE(read.keepLog);
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
  EXPECT_FALSE(again.Read(dir.Path().string(), error));
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

TEST(SiteList, ReadsOnlyRegularFilesOfAtMost16MiBAndChecksNamesAsPutDoes) {
  Folder dir;
  SiteList list;
  std::string error;
  WriteFile(dir.File("ok.conf"), "[a (2)]\naddress=h\n[a]\naddress=h\n[a]\naddress=h\nremember=yes\nlog=yes\n[a]\naddress=h\n");
  ASSERT_EQ(::symlink(dir.File("ok.conf").c_str(), dir.File("link.conf").c_str()), 0);
  ASSERT_TRUE(list.Read(dir.File("link.conf"), error)) << error;
  EXPECT_EQ(Summary(list), (std::vector<std::string>{"a (2)||no", "a||no", "a (3)||yes", "a (4)||no"}));
  // An import never remembers a password: the keyring's would go to the file's address.
  ASSERT_TRUE(list.Import(dir.File("ok.conf"), error)) << error;
  EXPECT_EQ(Summary(list).back(), "a (7)||no");
  EXPECT_TRUE(list.Sites()[6].keepLog && !list.Sites()[7].keepLog) << "the log setting comes along";
  EXPECT_EQ(list.FreeName("a"), "a (8)");

  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
  WriteFile(dir.File("big.conf"), "[a]\naddress=h\n" + std::string(SiteList::kMaxFileSize + 1, '#'));
  const std::pair<std::string, std::string> refused[] = {{dir.File("fifo"), "is not a regular file"},
                                                         {"/dev/null", "is not a regular file"},
                                                         {dir.File("big.conf"), "is larger than 16 MiB"}};
  for (const auto& [path, message] : refused) {
    EXPECT_FALSE(list.Read(path, error)) << path;
    EXPECT_NE(error.find(message), std::string::npos) << error;
    EXPECT_FALSE(list.Import(path, error)) << path;
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
  EXPECT_EQ(list.Sites().size(), 8u);

  // A name Put refuses is refused in a file too; control characters are quoted escaped.
  WriteFile(dir.File("at.conf"), "[ftp]\naddress=h\n[corp@ftp]\naddress=h\n");
  EXPECT_FALSE(list.Import(dir.File("at.conf"), error));
  EXPECT_NE(error.find("line 3: the name \"corp@ftp\" can't be used"), std::string::npos) << error;
  WriteFile(dir.File("esc.conf"), "[x\x1b[2J]\naddress=bad\x07host:0\n");
  EXPECT_FALSE(list.Read(dir.File("esc.conf"), error));
  EXPECT_NE(error.find("site \"x\\x1b[2J\": Address line 1 (\"bad\\x07host:0\")"), std::string::npos) << error;
  Site site{"x\x1b[2J", {{"h", 21}}, "", Encryption::None, "NOOP", 60, false, false, {}};
  ASSERT_TRUE(list.Put("", site, error)) << error;
  EXPECT_FALSE(list.Put("", site, error));
  EXPECT_NE(error.find("\"x\\x1b[2J\" already"), std::string::npos) << error;
  EXPECT_EQ(error.find('\x1b'), std::string::npos);
}

TEST(SiteList, TwoWritersMergeAndNameTheSitesBothChanged) {
  Folder dir;
  const std::string path = dir.File("sites.conf");
  WriteFile(path, "[s1]\naddress=h\n[s2]\naddress=h\n[s3]\naddress=h\n[s4]\naddress=h\n");
  SiteList a, b;
  std::string error;
  ASSERT_TRUE(a.Read(path, error) && b.Read(path, error)) << error;
  const auto edit = [&](SiteList& list, const std::string& name, const std::string& login) {
    Site site{name, {{"h", 21}}, "", Encryption::None, "NOOP", 360, false, false, {}};
    if (list.Find(name)) site = *list.Find(name);
    site.login = login;
    ASSERT_TRUE(list.Put(list.Find(name) ? name : "", site, error)) << error;
  };
  SaveMerge merge;
  edit(b, "s1", "b");
  b.Remove("s2");
  edit(b, "s4", "b");
  edit(b, "bnew", "b");
  ASSERT_TRUE(b.Save(path, error, merge)) << error;
  EXPECT_FALSE(merge.merged);

  edit(a, "s1", "a");  // changed in both: ours is kept, and said
  edit(a, "s3", "a");
  a.Remove("s4");  // deleted here, changed there: stays deleted, and said
  edit(a, "anew", "a");
  ASSERT_TRUE(a.Save(path, error, merge)) << error;
  EXPECT_TRUE(merge.merged);
  EXPECT_EQ(merge.ours, (std::vector<std::string>{"s1", "s4"}));
  const std::vector<std::string> both{"s1|a|no", "s3|a|no", "anew|a|no", "bnew|b|no"};
  EXPECT_EQ(Summary(a), both);
  SiteList file;
  ASSERT_TRUE(file.Read(path, error)) << error;
  EXPECT_EQ(Summary(file), both);

  // The first writer's next save takes all of that in, with nothing to say.
  edit(b, "bnew", "b2");
  ASSERT_TRUE(b.Save(path, error, merge)) << error;
  EXPECT_TRUE(merge.merged && merge.ours.empty());
  EXPECT_EQ(Summary(b), (std::vector<std::string>{"s1|a|no", "s3|a|no", "bnew|b2|no", "anew|a|no"}));
}

}  // namespace
