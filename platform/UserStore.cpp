#include "UserStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <cerrno>
#include <cstring>

#include "TrustedCertificates.h"
#include "internal/Cp1252.h"

namespace {

// QSettings gives "/" and "\" meanings of their own and folds some bytes; every
// byte outside plain letters, digits and a few safe marks is written as %XX.
QString EncodeName(const std::string& name) {
  static const char* hex = "0123456789ABCDEF";
  QString out;
  for (unsigned char b : name) {
    const bool plain = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '@' ||
                       b == '.' || b == '-' || b == '_' || b == ':';
    if (plain) {
      out += QLatin1Char(static_cast<char>(b));
    } else {
      out += QLatin1Char('%');
      out += QLatin1Char(hex[b >> 4]);
      out += QLatin1Char(hex[b & 15]);
    }
  }
  return out;
}

bool DecodeName(const QString& encoded, std::string& name) {
  name.clear();
  for (qsizetype i = 0; i < encoded.size(); ++i) {
    const QChar c = encoded.at(i);
    if (c == QLatin1Char('%') && i + 2 < encoded.size()) {
      bool ok = false;
      const int v = encoded.mid(i + 1, 2).toInt(&ok, 16);
      if (!ok) return false;
      name.push_back(static_cast<char>(v));
      i += 2;
    } else if (c.unicode() < 0x80) {
      name.push_back(static_cast<char>(c.unicode()));
    } else {
      return false;
    }
  }
  return true;
}

// QSettings says only that it could not write. To tell the user why, the
// steps it takes are repeated by hand: make the folder, write and sync a
// scratch file beside the store (a full disk shows here), open the store.
std::string WriteFailureReason(const QString& file, QSettings::Status status) {
  if (status == QSettings::FormatError) return "the file is not a settings file this program can read";
  const std::string path = QFile::encodeName(file).toStdString();
  const std::string folder = QFile::encodeName(QFileInfo(file).absolutePath()).toStdString();
  auto failed = [](int error) { return std::string(std::strerror(error)); };
  // Make each missing folder on the way, as QSettings would.
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return failed(errno);
    struct stat st {};
    if (::stat(part.c_str(), &st) != 0) return failed(errno);
    if (!S_ISDIR(st.st_mode)) return failed(ENOTDIR);
    if (slash == std::string::npos) break;
  }
  std::string scratch = folder + "/.korvastel-write-test-XXXXXX";
  const int fd = ::mkstemp(scratch.data());
  if (fd < 0) return failed(errno);
  const std::string block(4096, '\n');
  int error = 0;
  if (::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size()) || ::fsync(fd) != 0)
    error = errno != 0 ? errno : ENOSPC;
  ::close(fd);
  ::unlink(scratch.c_str());
  if (error != 0) return failed(error);
  const int store = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (store < 0 && errno != ENOENT) return failed(errno);
  if (store >= 0) ::close(store);
  return "the settings store reported an access error";
}

// Writes with folder 0700 and file 0600 (also when they existed with wider
// modes), never leaving a moment in which others could read the store. The
// umask covers what QSettings creates itself: missing folders, the lock
// file and the temporary file renamed over the old one.
void SyncPrivately(QSettings& settings) {
  const QString file = settings.fileName();
  const std::string folder = QFile::encodeName(QFileInfo(file).absolutePath()).toStdString();
  const mode_t old = ::umask(077);
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    (void)::mkdir(folder.substr(0, slash).c_str(), 0700);  // an existing one is no error here
    if (slash == std::string::npos) break;
  }
  (void)::chmod(folder.c_str(), 0700);
  settings.sync();
  ::umask(old);
  (void)::chmod(QFile::encodeName(file).constData(), 0600);
}

constexpr const char* kHistory = "history";
// Whether each entry used TLS, keyed by the same entry text: beside the
// history, so its entries stay exactly as they were.
constexpr const char* kHistoryTls = "history-tls";
constexpr const char* kCertificates = "certificates";

// Host names do not care about letter case; the same server typed as
// "FTP.Example.org" and "ftp.example.org" shares one entry.
std::string CertificateName(const std::string& host, unsigned port) {
  std::string key;
  for (const char c : host) key.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c);
  return key + ":" + std::to_string(port);
}

}  // namespace

namespace platform {

namespace {
// Opened afresh for each use: korvastel-cli or another window may have written meanwhile.
struct Opened {
  QSettings settings{QStringLiteral("Dunvarrow"), QStringLiteral("korvastel")};
  bool Ok() const { return settings.status() == QSettings::NoError; }
  std::string Failure() const {
    const QString file = settings.fileName();
    return ToCp1252(file) + ": " + WriteFailureReason(file, settings.status());
  }
};
}  // namespace

UserStore::UserStore() = default;
UserStore::~UserStore() = default;

std::vector<std::string> UserStore::Names(const std::string& group) const {
  std::vector<std::string> names;
  Opened store;
  if (!store.Ok()) return names;
  store.settings.beginGroup(QString::fromLatin1(group));
  const QStringList keys = store.settings.childKeys();
  std::string name;
  for (const QString& key : keys)
    if (DecodeName(key, name)) names.push_back(name);
  return names;
}

std::optional<std::string> UserStore::Value(const std::string& group, const std::string& name) const {
  Opened store;
  if (name.empty() || !store.Ok()) return std::nullopt;
  const QVariant value = store.settings.value(QString::fromLatin1(group) + QLatin1Char('/') + EncodeName(name));
  if (!value.isValid()) return std::nullopt;
  return value.toString().toLatin1().toStdString();
}

bool UserStore::Set(const std::string& group, const std::string& name, const std::string& value,
                    std::string& error) {
  if (name.empty()) return false;
  Opened store;
  if (!store.Ok()) {
    error = store.Failure();
    return false;
  }
  store.settings.setValue(QString::fromLatin1(group) + QLatin1Char('/') + EncodeName(name),
                       QString::fromLatin1(value.data(), static_cast<qsizetype>(value.size())));
  SyncPrivately(store.settings);  // through a lock file and an atomic rename
  if (store.Ok()) return true;
  error = store.Failure();
  return false;
}

std::string UserStore::FileName() const { return ToCp1252(Opened().settings.fileName()); }

std::vector<std::string> UserStore::Load() { return Names(kHistory); }

bool UserStore::Save(const std::string& entry, std::string& error) { return Set(kHistory, entry, "", error); }

bool UserStore::LoadTls(const std::string& entry) { return Value(kHistoryTls, entry) == "1"; }

void UserStore::SaveTls(const std::string& entry, bool tls) {
  // Only a change is written: most attempts repeat the entry's last choice.
  std::string error;
  if (Value(kHistoryTls, entry) != (tls ? "1" : "0")) Set(kHistoryTls, entry, tls ? "1" : "0", error);
}

std::string TrustedFingerprint(const std::string& host, unsigned port) {
  return UserStore().Value(kCertificates, CertificateName(host, port)).value_or("");
}

bool TrustFingerprint(const std::string& host, unsigned port, const std::string& fingerprint) {
  std::string error;
  return UserStore().Set(kCertificates, CertificateName(host, port), fingerprint, error);
}

}  // namespace platform
