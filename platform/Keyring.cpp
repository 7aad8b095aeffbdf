#include "Keyring.h"

#include <qt6keychain/keychain.h>

#include <QTimer>
#include <optional>
#include <string_view>

#include "LineBreak.h"
#include "SiteList.h"
#include "internal/Cp1252.h"

namespace platform {
namespace {

const QString kService = QStringLiteral("korvastel");
using Status = KeyringAnswer::Status;

// "%", "/", "@" and control characters as %XX.
std::string Escaped(std::string_view text) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '%' || c == '/' || c == '@')
      out += {'%', kHex[byte >> 4], kHex[byte & 15]};
    else
      out += c;
  }
  return out;
}

// Earlier versions filed a password under "login@site", which two pairs can
// share: site "ftp" with login "bob@corp" and site "corp@ftp" with login
// "bob". A site's name never holds an "@" (the list refuses one), so such a
// key belongs to one pair only when the login holds none either; only then
// is it read (and moved). A login with an "@" has its password typed again.
std::optional<std::string> OldKey(const std::string& site, const std::string& login) {
  if (login.find('@') != std::string::npos) return std::nullopt;
  return login + "@" + site;
}

// Calls done from the event loop, as the keyring's own answers come.
void Later(KeyringDone done, KeyringAnswer answer) {
  QTimer::singleShot(0, [done = std::move(done), answer = std::move(answer)] {
    if (done) done(answer);
  });
}

// A name the site list would refuse gets no keyring entry either.
bool Refused(const std::string& site, const std::string& login, const KeyringDone& done) {
  std::string why = SiteNameProblem(site);
  if (why.empty() && HoldsLineBreak(login))
    why = "A login holds no line break.";
  if (why.empty()) return false;
  Later(done, {Status::Failed, {}, "the site \"" + Shown(site) + "\" can't have a password in the keyring. " + why});
  return true;
}

// Runs one job; it deletes itself once done has been told.
void Start(QKeychain::Job* job, const std::string& key, KeyringDone done) {
  job->setAutoDelete(true);
  job->setInsecureFallback(false);  // never a plain-text file instead
  job->setKey(FromCp1252(key));
  QObject::connect(job, &QKeychain::Job::finished, [done = std::move(done)](QKeychain::Job* finished) {
    KeyringAnswer answer;
    switch (finished->error()) {
      case QKeychain::NoError:
        answer.status = Status::Done;
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished))
          answer.password = ToCp1252(read->textData());
        break;
      case QKeychain::EntryNotFound:
        answer.status = Status::NotFound;
        break;
      case QKeychain::NoBackendAvailable:
      case QKeychain::NotImplemented:
        answer.status = Status::Unavailable;
        break;
      default:
        answer.status = Status::Failed;
        break;
    }
    if (answer.status != Status::Done) answer.error = ToCp1252(finished->errorString());
    if (done) done(answer);
  });
  job->start();
}

void Read(const std::string& key, KeyringDone done) {
  Start(new QKeychain::ReadPasswordJob(kService), key, std::move(done));
}

void Write(const std::string& key, const std::string& password, KeyringDone done) {
  auto* job = new QKeychain::WritePasswordJob(kService);
  job->setTextData(FromCp1252(password));
  Start(job, key, std::move(done));
}

void Delete(const std::string& key, KeyringDone done) {
  Start(new QKeychain::DeletePasswordJob(kService), key, std::move(done));
}

}  // namespace

std::string KeyringKey(const std::string& site, const std::string& login) {
  return Escaped(site) + "/" + Escaped(login);
}

void ReadSitePassword(const std::string& site, const std::string& login, KeyringDone done) {
  if (Refused(site, login, done)) return;
  const std::string key = KeyringKey(site, login);
  Read(key, [key, old = OldKey(site, login), done](const KeyringAnswer& answer) {
    if (answer.status != Status::NotFound || !old) return done(answer);
    // Not found under its key: an entry an earlier version filed is read this
    // once and moved. done comes after the move, so a program that ends on
    // it (korvastel-keyring) doesn't cut the move short.
    Read(*old, [key, old, done, answer](const KeyringAnswer& found) {
      if (found.status == Status::NotFound) return done(answer);
      if (found.status != Status::Done) return done(found);
      Write(key, found.password, [old, done, found](const KeyringAnswer& written) {
        if (written.status != Status::Done) return done(found);  // the old entry stays for the next read
        Delete(*old, [done, found](const KeyringAnswer&) { done(found); });
      });
    });
  });
}

void WriteSitePassword(const std::string& site, const std::string& login, const std::string& password,
                       KeyringDone done) {
  if (Refused(site, login, done)) return;
  Write(KeyringKey(site, login), password, [old = OldKey(site, login), done](const KeyringAnswer& written) {
    if (written.status != Status::Done || !old) return done(written);
    Delete(*old, [done, written](const KeyringAnswer&) { done(written); });  // an older entry is out of date now
  });
}

void DeleteSitePassword(const std::string& site, const std::string& login, KeyringDone done) {
  if (Refused(site, login, done)) return;
  Delete(KeyringKey(site, login), [old = OldKey(site, login), done](const KeyringAnswer& deleted) {
    if (deleted.status == Status::Unavailable || !old) return done(deleted);
    Delete(*old, [done, deleted](const KeyringAnswer& older) {
      done(deleted.status == Status::NotFound && older.status != Status::NotFound ? older : deleted);
    });
  });
}

std::string ProxyKeyringKey(const std::string& site, const std::string& user) {
  return "proxy/" + KeyringKey(site, user);  // two "/": a site's key has one
}

void ReadProxyPassword(const std::string& site, const std::string& user, KeyringDone done) {
  if (!Refused(site, user, done)) Read(ProxyKeyringKey(site, user), std::move(done));
}

void WriteProxyPassword(const std::string& site, const std::string& user, const std::string& password,
                        KeyringDone done) {
  if (!Refused(site, user, done)) Write(ProxyKeyringKey(site, user), password, std::move(done));
}

void DeleteProxyPassword(const std::string& site, const std::string& user, KeyringDone done) {
  if (!Refused(site, user, done)) Delete(ProxyKeyringKey(site, user), std::move(done));
}

void ProbeKeyring(KeyringDone done) {
  // A key no site files under (site keys hold a "/", older ones an "@"): "not found" means a keyring answered.
  Read("probe", [done = std::move(done)](const KeyringAnswer& answer) {
    KeyringAnswer probe = answer;
    if (probe.status == Status::NotFound)
      probe = {Status::Done, {}, {}};
    else if (probe.status == Status::Failed)  // no answer is no keyring, whatever the reason
      probe.status = Status::Unavailable;
    if (done) done(probe);
  });
}

}  // namespace platform
