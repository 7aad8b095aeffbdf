#include "internal/PrivateSettings.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <string>

namespace platform {

void SyncPrivately(QSettings& settings) {
  const QString file = settings.fileName();
  const std::string folder = QFile::encodeName(QFileInfo(file).absolutePath()).toStdString();
  // The umask covers what the store creates itself: missing folders, the
  // lock file and the temporary file that is renamed over the old one.
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

}  // namespace platform
