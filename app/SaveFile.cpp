#include "SaveFile.h"

#include <QFile>
#include <QFileDialog>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "MessageBox.h"
#include "Text.h"

void ChooseFileToSave(QWidget* parent, const QString& suggested, const QString& accessibleName,
                      std::function<void(const std::string& path)> chosen) {
  auto* chooser = new QFileDialog(parent, QStringLiteral("Save"), suggested,
                                 QStringLiteral("CSV files (*.csv);;All files (*)"));
  chooser->setAttribute(Qt::WA_DeleteOnClose);
  chooser->setAcceptMode(QFileDialog::AcceptSave);
  chooser->setAccessibleName(accessibleName);
  QObject::connect(chooser, &QFileDialog::fileSelected, parent,
                   [chosen](const QString& path) { chosen(QFile::encodeName(path).toStdString()); });
  chooser->open();
}

void SaveWhole(QWidget* parent, const std::string& path, const std::string& text, const std::string& what,
               const std::string& caption) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (out) out.close();
  if (!out)
    platform::ShowMessageBox(parent, {"Can't save " + what + " to " + platform::ToCp1252(QFile::decodeName(path.c_str())) +
                                          ":\n\n" + std::strerror(errno),
                                      caption, platform::kBoxError});
}
