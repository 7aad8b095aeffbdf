#include "Keyring.h"

#include <qt6keychain/keychain.h>

#include "internal/Cp1252.h"

namespace platform {
namespace {

const QString kService = QStringLiteral("korvastel");

QString Key(const std::string& site, const std::string& login) { return FromCp1252(login + "@" + site); }

// The job deletes itself once done has been told.
void Start(QKeychain::Job* job, const QString& key, KeyringDone done) {
  job->setAutoDelete(true);
  job->setInsecureFallback(false);  // never a plain-text file instead
  job->setKey(key);
  QObject::connect(job, &QKeychain::Job::finished, [done = std::move(done)](QKeychain::Job* finished) {
    KeyringAnswer answer;
    switch (finished->error()) {
      case QKeychain::NoError:
        answer.status = KeyringAnswer::Status::Done;
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished))
          answer.password = ToCp1252(read->textData());
        break;
      case QKeychain::EntryNotFound:
        answer.status = KeyringAnswer::Status::NotFound;
        break;
      case QKeychain::NoBackendAvailable:
      case QKeychain::NotImplemented:
        answer.status = KeyringAnswer::Status::Unavailable;
        break;
      default:
        answer.status = KeyringAnswer::Status::Failed;
        break;
    }
    if (answer.status != KeyringAnswer::Status::Done) answer.error = ToCp1252(finished->errorString());
    if (done) done(answer);
  });
  job->start();
}

}  // namespace

void ReadSitePassword(const std::string& site, const std::string& login, KeyringDone done) {
  Start(new QKeychain::ReadPasswordJob(kService), Key(site, login), std::move(done));
}

void WriteSitePassword(const std::string& site, const std::string& login, const std::string& password,
                       KeyringDone done) {
  auto* job = new QKeychain::WritePasswordJob(kService);
  job->setTextData(FromCp1252(password));
  Start(job, Key(site, login), std::move(done));
}

void DeleteSitePassword(const std::string& site, const std::string& login, KeyringDone done) {
  Start(new QKeychain::DeletePasswordJob(kService), Key(site, login), std::move(done));
}

void ProbeKeyring(KeyringDone done) {
  // A read of a key nobody files: "not found" means a keyring answered.
  ReadSitePassword("\x01probe", "", [done = std::move(done)](const KeyringAnswer& answer) {
    KeyringAnswer probe = answer;
    if (probe.status == KeyringAnswer::Status::NotFound)
      probe = {KeyringAnswer::Status::Done, {}, {}};
    else if (probe.status == KeyringAnswer::Status::Failed)  // no answer is no keyring, whatever the reason
      probe.status = KeyringAnswer::Status::Unavailable;
    if (done) done(probe);
  });
}

}  // namespace platform
