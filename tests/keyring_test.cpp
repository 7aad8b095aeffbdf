// Site passwords through a real Secret Service: tests/with_keyring.sh starts
// a private session bus with an unlocked GNOME Keyring around this program.
#include <gtest/gtest.h>
#include <qt6keychain/keychain.h>

#include <QCoreApplication>
#include <QEventLoop>

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

// An entry as an earlier version filed it, straight through QtKeychain.
std::string Raw(const QString& key, const char* write = nullptr) {
  QKeychain::Job* job = nullptr;
  if (write) {
    auto* writer = new QKeychain::WritePasswordJob(QStringLiteral("korvastel"));
    writer->setTextData(QString::fromLatin1(write));
    job = writer;
  } else {
    job = new QKeychain::ReadPasswordJob(QStringLiteral("korvastel"));
  }
  job->setKey(key);
  QEventLoop loop;
  std::string got = "(none)";
  QObject::connect(job, &QKeychain::Job::finished, [&](QKeychain::Job* j) {
    if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(j); read && j->error() == QKeychain::NoError)
      got = read->textData().toStdString();
    loop.quit();
  });
  job->start();
  loop.exec();
  return got;
}

TEST(Keyring, NoTwoSitesShareAnEntryAndOldEntriesMoveOnlyWhereTheyAreSure) {
  const auto write = [](const std::string& site, const std::string& login, const std::string& password) {
    return Await([&](auto d) { platform::WriteSitePassword(site, login, password, d); }).status;
  };
  const auto read = [](const std::string& site, const std::string& login) {
    return Await([&](auto d) { platform::ReadSitePassword(site, login, d); });
  };
  // "corp@ftp" is no site's name: its login "bob" never reads site "ftp"'s login "bob@corp".
  EXPECT_EQ(write("ftp", "bob@corp", "theirs"), Status::Done);
  const KeyringAnswer collided = read("corp@ftp", "bob");
  EXPECT_EQ(collided.status, Status::Failed);
  EXPECT_EQ(collided.password, "");
  EXPECT_NE(collided.error.find("\"corp@ftp\" can't have a password"), std::string::npos) << collided.error;
  EXPECT_NE(write("corp@ftp", "bob", "x"), Status::Done);
  EXPECT_EQ(read("ftp", "bob@corp").password, "theirs");
  const std::pair<std::string, std::string> pairs[] = {{"a/b", "c"}, {"a", "b/c"}, {"a%2Fb", "c"}, {"a", "b%2Fc"}};
  for (const auto& [site, login] : pairs) EXPECT_EQ(write(site, login, site + "|" + login), Status::Done);
  for (const auto& [site, login] : pairs) EXPECT_EQ(read(site, login).password, site + "|" + login);

  // Filed as "login@site" by an earlier version: read once, then under the new key only.
  Raw(QStringLiteral("admin@old"), "kept");
  EXPECT_EQ(read("old", "admin").password, "kept");
  EXPECT_EQ(Raw(QStringLiteral("admin@old")), "(none)");
  EXPECT_EQ(Raw(QString::fromStdString(platform::KeyringKey("old", "admin"))), "kept");
  EXPECT_EQ(read("old", "admin").password, "kept");
  // "bob@corp@web" may be what was typed for an imported "corp@web": never taken for "web".
  Raw(QStringLiteral("bob@corp@web"), "wrong site");
  EXPECT_EQ(read("web", "bob@corp").status, Status::NotFound);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
