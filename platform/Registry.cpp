#include "Registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <cerrno>
#include <cstring>

#include "internal/Cp1252.h"
#include "internal/PrivateSettings.h"

struct CRegKey::Impl {
  std::unique_ptr<QSettings> settings;
  QString group;
  QStringList names;  // encoded, in the order enumerated
  std::string lastError;
};

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

}  // namespace

CRegKey::CRegKey() : d(std::make_unique<Impl>()) {}
CRegKey::~CRegKey() { Close(); }

bool CRegKey::Create(const std::string& keyPath) {
  Close();
  QStringList parts = platform::FromCp1252(keyPath).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
  if (!parts.isEmpty() && parts.front().compare(QLatin1String("SOFTWARE"), Qt::CaseInsensitive) == 0) parts.pop_front();
  if (parts.size() < 3) return false;
  const QString org = parts.takeFirst();
  const QString app = parts.takeFirst();
  d->group = parts.join(QLatin1Char('/'));
  d->settings = std::make_unique<QSettings>(org, app);
  d->lastError.clear();
  if (d->settings->status() != QSettings::NoError) {
    const QString file = d->settings->fileName();
    d->lastError = platform::ToCp1252(file) + ": " + WriteFailureReason(file, d->settings->status());
    d->settings.reset();
    return false;
  }
  d->settings->beginGroup(d->group);
  d->names = d->settings->childKeys();
  return true;
}

bool CRegKey::EnumValue(int index, std::string& name) {
  while (d->settings && index >= 0 && index < d->names.size()) {
    if (DecodeName(d->names.at(index), name)) return true;
    d->names.removeAt(index);  // a name this program did not write; skip it
  }
  return false;
}

bool CRegKey::SetValue(const std::string& name) { return SetValue(name, std::string()); }

bool CRegKey::SetValue(const std::string& name, const std::string& data) {
  if (!d->settings || name.empty()) return false;
  d->settings->setValue(EncodeName(name), QString::fromLatin1(data.data(), static_cast<qsizetype>(data.size())));
  platform::SyncPrivately(*d->settings);  // through a lock file and an atomic rename
  const QString file = d->settings->fileName();
  if (d->settings->status() == QSettings::NoError) return true;
  d->lastError = platform::ToCp1252(file) + ": " + WriteFailureReason(file, d->settings->status());
  return false;
}

std::string CRegKey::GetLastError() const { return d->lastError; }

bool CRegKey::QueryValue(const std::string& name, std::string& data) {
  data.clear();
  if (!d->settings || name.empty()) return false;
  const QVariant value = d->settings->value(EncodeName(name));
  if (!value.isValid()) return false;
  data = value.toString().toLatin1().toStdString();
  return true;
}

void CRegKey::Close() {
  if (d && d->settings) {
    d->settings->endGroup();
    platform::SyncPrivately(*d->settings);
    d->settings.reset();
  }
}
