// The per-user store (trusted certificate fingerprints, the history), in a throwaway HOME.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "TempFiles.h"

#include "TrustedCertificates.h"
#include "UserStore.h"

namespace {

const std::string kA = "AB:CD:EF:01";
const std::string kB = "0B:1C:2D";

TEST(TrustedCertificates, OneFingerprintPerHostAndPortBesideTheHistory) {
  EXPECT_EQ(platform::TrustedFingerprint("127.0.0.1", 21), "");
  ASSERT_TRUE(platform::TrustFingerprint("FTP.Example.org", 990, kA));
  EXPECT_EQ(platform::TrustedFingerprint("ftp.example.org", 990), kA) << "host names ignore case";
  EXPECT_EQ(platform::TrustedFingerprint("ftp.example.org", 21), "") << "another port is another server";
  ASSERT_TRUE(platform::TrustFingerprint("[::1]", 2121, kA));
  ASSERT_TRUE(platform::TrustFingerprint("[::1]", 2121, kB));
  EXPECT_EQ(platform::TrustedFingerprint("[::1]", 2121), kB) << "a new choice replaces the old one";

  // The history shares the store and must not list the certificates.
  platform::UserStore store;
  std::string error;
  ASSERT_TRUE(store.Save("admin@[::1]:2121", error)) << error;
  EXPECT_EQ(store.Load(), std::vector<std::string>{"admin@[::1]:2121"});
}

// A store as the program wrote it before the store was one class: bytes
// the settings file gives meanings to ("/", "\", "%", ";", "=", ",", '"',
// "#", a space, a Windows-1252 letter) in entry names, TLS choices beside
// them, a certificate. A newer program must list and read all of it unchanged.
TEST(UserStore, ReadsAStoreWrittenByEarlierVersions) {
  const std::filesystem::path file = std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "Dunvarrow" /
                                     "korvastel.conf";
  const std::string before = std::filesystem::exists(file) ? ReadFile(file) : std::string();
  std::filesystem::create_directories(file.parent_path());
  WriteFile(file,
            "[certificates]\n"
            "ftp.example.org%3A990=AB:CD\n\n"
            "[history]\n"
            "a%2520b%252525c%253Bd%253De%252Cf%2522g%2523h%40host%3A21=\n"
            "admin%40%255B%3A%3A1%255D%3A990=\n"
            "plain%40127.0.0.1%3A21=\n"
            "we%252Fb%255Cmaster%40x%3Ay%40h%25E4st.invalid%3A2121=\n\n"
            "[history-tls]\n"
            "admin%40%255B%3A%3A1%255D%3A990=1\n"
            "plain%40127.0.0.1%3A21=0\n");
  platform::UserStore store;
  EXPECT_EQ(store.Load(), (std::vector<std::string>{"a b%25c;d=e,f\"g#h@host:21", "admin@[::1]:990",
                                                    "plain@127.0.0.1:21", "we/b\\master@x:y@h\xE4st.invalid:2121"}));
  EXPECT_TRUE(store.LoadTls("admin@[::1]:990"));
  EXPECT_FALSE(store.LoadTls("plain@127.0.0.1:21"));
  EXPECT_EQ(platform::TrustedFingerprint("FTP.example.org", 990), "AB:CD");
  WriteFile(file, before);
}

}  // namespace
