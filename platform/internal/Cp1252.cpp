#include "Cp1252.h"

#include <array>

namespace platform {
namespace {

constexpr std::array<char16_t, 32> kHigh = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char ByteFor(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (std::size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] == c) return static_cast<char>(0x80 + i);
  return '?';
}

constexpr std::array<char16_t, 256> MakeTable() {
  std::array<char16_t, 256> t{};
  for (int b = 0; b < 256; ++b)
    t[static_cast<std::size_t>(b)] = b >= 0x80 && b < 0xA0 ? kHigh[static_cast<std::size_t>(b - 0x80)] : char16_t(b);
  return t;
}
constexpr std::array<char16_t, 256> kTable = MakeTable();

}  // namespace

void FromCp1252(const char* data, std::size_t size, QChar* out) {
  char16_t* dst = reinterpret_cast<char16_t*>(out);
  for (std::size_t i = 0; i < size; ++i) dst[i] = kTable[static_cast<unsigned char>(data[i])];
}

QString FromCp1252(const char* data, std::size_t size) {
  QString out(static_cast<qsizetype>(size), Qt::Uninitialized);
  FromCp1252(data, size, out.data());
  return out;
}

QString FromCp1252(const std::string& bytes) { return FromCp1252(bytes.data(), bytes.size()); }

std::string ToCp1252(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text.at(i).unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
      ++i;  // one character outside the code page, one '?'
      out.push_back('?');
      continue;
    }
    out.push_back(ByteFor(c));
  }
  return out;
}

}  // namespace platform
