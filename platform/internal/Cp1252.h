// Conversion between the program's Windows-1252 byte strings and QString.
// Bytes the code page leaves undefined map to the same code points, so every
// byte survives a round trip.
#pragma once

#include <QString>
#include <string>

namespace platform {
QString FromCp1252(const std::string& bytes);
QString FromCp1252(const char* data, std::size_t size);
void FromCp1252(const char* data, std::size_t size, QChar* out);  // `out` holds `size` characters
std::string ToCp1252(const QString& text);                        // unmappable characters become '?'
}  // namespace platform
