// Site passwords through a real Secret Service: tests/with_keyring.sh starts
// a private session bus with an unlocked GNOME Keyring around this program.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <cstdlib>

#include "Keyring.h"

using platform::KeyringAnswer;
using Status = KeyringAnswer::Status;

namespace {

// Runs one keyring call to its end (a test may wait; the program never does).
template <class Call>
KeyringAnswer Await(Call call) {
  KeyringAnswer answer;
  QEventLoop loop;
  call([&](const KeyringAnswer& a) {
    answer = a;
    loop.quit();
  });
  loop.exec();
  return answer;
}

TEST(Keyring, KeepsAPasswordPerSiteAndLoginUntilDeleted) {
  EXPECT_EQ(Await([](auto d) { platform::ProbeKeyring(d); }).status, Status::Done);
  const std::string secret = "p\xE4ss w\xF6rd:@;";  // Windows-1252 bytes, as the fields hold them
  EXPECT_EQ(Await([&](auto d) { platform::WriteSitePassword("main", "admin", secret, d); }).status, Status::Done);
  EXPECT_EQ(Await([](auto d) { platform::WriteSitePassword("main", "root", "other", d); }).status, Status::Done);
  const KeyringAnswer read = Await([](auto d) { platform::ReadSitePassword("main", "admin", d); });
  EXPECT_EQ(read.status, Status::Done);
  EXPECT_EQ(read.password, secret);
  EXPECT_EQ(Await([](auto d) { platform::ReadSitePassword("backup", "admin", d); }).status, Status::NotFound);
  EXPECT_EQ(Await([](auto d) { platform::DeleteSitePassword("main", "admin", d); }).status, Status::Done);
  EXPECT_EQ(Await([](auto d) { platform::ReadSitePassword("main", "admin", d); }).status, Status::NotFound);
  EXPECT_EQ(Await([](auto d) { platform::ReadSitePassword("main", "root", d); }).password, "other");
}

// Run on a bus where no keyring answers (see tests/session.cmake).
TEST(Keyring, NoKeyringIsSaidWithWhy) {
  const KeyringAnswer probe = Await([](auto d) { platform::ProbeKeyring(d); });
  EXPECT_EQ(probe.status, Status::Unavailable);
  EXPECT_FALSE(probe.error.empty());
  EXPECT_NE(Await([](auto d) { platform::WriteSitePassword("main", "admin", "x", d); }).status, Status::Done);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
