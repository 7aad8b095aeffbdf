// Program strings (Windows-1252 bytes) to and from QString, for the Qt
// widget code in app/ that builds its own controls.
#pragma once

#include <QString>
#include <string>

namespace platform {
QString FromCp1252(const std::string& bytes);
std::string ToCp1252(const QString& text);  // unmappable characters become '?'
}  // namespace platform
