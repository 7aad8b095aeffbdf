// The per-user store of trusted certificate fingerprints, in a throwaway HOME.
#include <gtest/gtest.h>

#include "Registry.h"
#include "TrustedCertificates.h"

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
  CRegKey history;
  ASSERT_TRUE(history.Create("SOFTWARE\\Dunvarrow\\korvastel\\history"));
  ASSERT_TRUE(history.SetValue("admin@[::1]:2121"));
  ASSERT_TRUE(history.Create("SOFTWARE\\Dunvarrow\\korvastel\\history"));
  std::string name;
  EXPECT_TRUE(history.EnumValue(0, name));
  EXPECT_EQ(name, "admin@[::1]:2121");
  EXPECT_FALSE(history.EnumValue(1, name));
}

}  // namespace
