#include "IniStorage.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <type_traits>

static_assert(std::is_nothrow_move_constructible_v<IniBlock>, "growing the block vector must not copy blocks");

namespace {

[[noreturn]] void Fail(const std::string& message) { throw std::invalid_argument(message); }

// Messages print names the way printf's %s would: up to the first NUL byte.
std::string Printed(const std::string& name) { return std::string(name.c_str()); }

const char* const blockNameEmpty = "Parameter blockName is empty";
const char* const keyNameEmpty = "Parameter keyName is empty";

std::string NoBlock(const std::string& blockName) {
  return "Invalid blockName: the block " + Printed(blockName) + " does not exist";
}

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads like atoi; out-of-range numbers saturate instead of being undefined.
int ReadInt(const std::string& text) {
  const char* p = text.c_str();
  while (IsCSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  const long long limit = static_cast<long long>(INT_MAX) + 1;
  long long magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) magnitude = std::min(limit, magnitude * 10 + (*p - '0'));
  if (negative) return static_cast<int>(-magnitude);
  return static_cast<int>(std::min<long long>(magnitude, INT_MAX));
}

// For a number that from_chars found out of range: true when it is too large
// rather than too small. The magnitude is estimated from the digits before the
// point (or the zeros after it) plus the exponent.
bool Overflows(const char* first, const char* last, int digitWeight, char exponentMark) {
  const char* p = first;
  while (p < last && *p == '0') ++p;
  long long magnitude = 0;
  for (; p < last && std::isxdigit(static_cast<unsigned char>(*p)) &&
         std::tolower(static_cast<unsigned char>(*p)) != exponentMark;
       ++p)
    magnitude += digitWeight;
  if (magnitude == 0 && p < last && *p == '.')
    for (++p; p < last && *p == '0'; ++p) magnitude -= digitWeight;
  while (p < last && std::tolower(static_cast<unsigned char>(*p)) != exponentMark) ++p;
  if (p < last) {
    ++p;
    bool negative = false;
    if (p < last && (*p == '+' || *p == '-')) negative = *p++ == '-';
    long long exponent = 0;
    for (; p < last && *p >= '0' && *p <= '9'; ++p) exponent = std::min(exponent * 10 + (*p - '0'), 1000000000LL);
    magnitude += negative ? -exponent : exponent;
  }
  return magnitude > 0;
}

// Reads like atof, but independent of the C locale the program runs in (a
// decimal comma there would break both writing and reading of our files).
float ReadFloat(const std::string& text) {
  const char* p = text.c_str();
  const char* const end = p + std::strlen(p);
  while (IsCSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (*p == '+' || *p == '-') return 0.0f;
  double value = 0.0;
  const bool hex = p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
  const char* digits = hex ? p + 2 : p;
  if (hex && !std::isxdigit(static_cast<unsigned char>(*digits)) && *digits != '.')
    return negative ? -0.0f : 0.0f;  // "0x" with no hex digits: atof reads just the 0
  const auto result = std::from_chars(digits, end, value, hex ? std::chars_format::hex : std::chars_format::general);
  if (result.ec == std::errc::invalid_argument)
    value = 0.0;
  else if (result.ec == std::errc::result_out_of_range)
    value = Overflows(digits, result.ptr, hex ? 4 : 1, hex ? 'p' : 'e') ? HUGE_VAL : 0.0;
  if (negative) value = -value;
  if (std::isfinite(value) && std::fabs(value) > FLT_MAX)
    return value > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// As printf's "%f" writes it in the C locale.
std::string FormatFloat(float value) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value), std::chars_format::fixed, 6);
  return std::string(buffer, result.ptr);
}

}  // namespace

// ---- IniStorage: building -----------------------------------------------------

bool IniStorage::AddBlock(std::string blockName) {
  if (blockName.empty()) return false;
  if (!BlockExists(blockName)) blocks.Append(IniBlock{std::move(blockName), {}});
  return true;
}

IniKey& IniStorage::KeyFor(const std::string& blockName, const std::string& keyName) {
  IniBlock* block = blocks.GetToChange(blockName);
  if (block == nullptr) block = &blocks.Append(IniBlock{blockName, {}});
  IniKey* key = block->keys.GetToChange(keyName);
  if (key == nullptr) key = &block->keys.Append(IniKey{keyName, {}});
  return *key;
}

void IniStorage::AddKey(const std::string& blockName, const std::string& keyName) {
  if (blockName.empty() || keyName.empty()) return;
  KeyFor(blockName, keyName);
}

void IniStorage::AddKey(int blockIndex, std::string keyName) {
  if (keyName.empty() || !InRange(blockIndex)) return;
  IniBlock& block = blocks.At(static_cast<std::size_t>(blockIndex));
  if (block.keys.Get(keyName) == nullptr) block.keys.Append(IniKey{std::move(keyName), {}});
}

void IniStorage::RemoveKey(const std::string& blockName, const std::string& keyName) {
  if (IniBlock* block = blocks.GetToChange(blockName)) block->keys.Erase(keyName);
}

void IniStorage::RemoveBlock(const std::string& blockName) { blocks.Erase(blockName); }

void IniStorage::AddValue(const std::string& blockName, const std::string& keyName, std::string value) {
  if (blockName.empty() || keyName.empty() || value.empty()) return;
  std::vector<std::string>& values = KeyFor(blockName, keyName).values;
  if (values.capacity() == 0) values.reserve(4);  // most keys hold a few values
  values.push_back(std::move(value));
}

void IniStorage::AddValue(const std::string& blockName, const std::string& keyName, int value) {
  AddValue(blockName, keyName, std::to_string(value));
}

void IniStorage::AddValue(const std::string& blockName, const std::string& keyName, float value) {
  AddValue(blockName, keyName, FormatFloat(value));
}

void IniStorage::SetValue(const std::string& blockName, const std::string& keyName, std::string value) {
  if (blockName.empty() || keyName.empty() || value.empty()) return;
  std::vector<std::string>& values = KeyFor(blockName, keyName).values;
  values.clear();
  values.push_back(std::move(value));
}

void IniStorage::SetValue(const std::string& blockName, const std::string& keyName, int value) {
  SetValue(blockName, keyName, std::to_string(value));
}

void IniStorage::SetValue(const std::string& blockName, const std::string& keyName, float value) {
  SetValue(blockName, keyName, FormatFloat(value));
}

// ---- IniStorage: questions ----------------------------------------------------

bool IniStorage::BlockExists(const std::string& blockName) const { return blocks.Get(blockName) != nullptr; }

bool IniStorage::KeyExists(const std::string& blockName, const std::string& keyName) const {
  const IniBlock* block = blocks.Get(blockName);
  return block != nullptr && block->keys.Get(keyName) != nullptr;
}

bool IniStorage::KeyExists(int blockIndex, const std::string& keyName) const {
  return InRange(blockIndex) && BlockAt(blockIndex).keys.Get(keyName) != nullptr;
}

bool IniStorage::KeyExistsInAnyBlock(const std::string& keyName) const {
  bool found = false;
  blocks.ForEach([&](const IniBlock& block) { found = found || block.keys.Get(keyName) != nullptr; });
  return found;
}

int IniStorage::GetBlockCount() const { return static_cast<int>(blocks.Size()); }

std::vector<std::string> IniStorage::GetBlockNames() const {
  std::vector<std::string> names;
  names.reserve(blocks.Size());
  blocks.ForEach([&](const IniBlock& block) { names.push_back(block.name); });
  return names;
}

int IniStorage::GetBlockIndex(const std::string& blockName) const { return blocks.Find(blockName); }

int IniStorage::GetKeyCount(const std::string& blockName) const {
  const IniBlock* block = blocks.Get(blockName);
  return block == nullptr ? -1 : static_cast<int>(block->keys.Size());
}

std::vector<std::string> IniStorage::GetKeyNames(const std::string& blockName) const {
  std::vector<std::string> names;
  if (const IniBlock* block = blocks.Get(blockName)) {
    names.reserve(block->keys.Size());
    block->keys.ForEach([&](const IniKey& key) { names.push_back(key.name); });
  }
  return names;
}

int IniStorage::GetKeyIndex(int blockIndex, const std::string& keyName) const {
  return InRange(blockIndex) ? BlockAt(blockIndex).keys.Find(keyName) : -1;
}

int IniStorage::GetKeyIndex(const std::string& blockName, const std::string& keyName) const {
  const IniBlock* block = blocks.Get(blockName);
  return block == nullptr ? -1 : block->keys.Find(keyName);
}

int IniStorage::GetValueCount(const std::string& blockName, const std::string& keyName) const {
  const IniBlock* block = blocks.Get(blockName);
  if (block == nullptr) return -1;
  const IniKey* key = block->keys.Get(keyName);
  return key == nullptr ? 0 : static_cast<int>(key->values.size());
}

// ---- IniStorage: strict getters -----------------------------------------------
// The tests run in a fixed order and the first failing one names the error;
// callers show these messages, so their order and wording are part of the API.

const IniKey& IniStorage::CheckedKey(int blockIndex, const std::string& keyName) const {
  if (!KeyExists(blockIndex, keyName)) Fail("Invalid key name: the key " + Printed(keyName) + " does not exist");
  const IniBlock& block = BlockAt(blockIndex);
  const int keyIndex = GetKeyIndex(blockIndex, keyName);
  if (keyIndex < 0 || static_cast<std::size_t>(keyIndex) >= block.keys.Size())
    Fail("Invalid keyIndex: the key " + Printed(keyName) + " was assigned the Index " + std::to_string(keyIndex) +
         " which is invalid. This should not happen!!");
  const IniKey& key = *block.keys.Get(keyName);
  if (key.values.empty())
    Fail("Key has no values: the key " + Printed(keyName) + " was assigned the Index " + std::to_string(keyIndex) +
         " which is invalid. This should not happen!!");
  return key;
}

std::string IniStorage::GetValue(const std::string& blockName, const std::string& keyName) const {
  if (blockName.empty()) Fail(blockNameEmpty);
  if (keyName.empty()) Fail(keyNameEmpty);
  if (!BlockExists(blockName)) Fail(NoBlock(blockName));
  return GetValue(GetBlockIndex(blockName), keyName);
}

std::string IniStorage::GetValue(int blockIndex, const std::string& keyName) const {
  if (!InRange(blockIndex))
    Fail("Invalid blockIndex: the block index " + std::to_string(blockIndex) + " is invalid. This should not happen!!");
  return CheckedKey(blockIndex, keyName).values.front();
}

std::vector<std::string> IniStorage::GetValues(const std::string& blockName, const std::string& keyName) const {
  if (blockName.empty()) Fail(blockNameEmpty);
  if (keyName.empty()) Fail(keyNameEmpty);
  if (!BlockExists(blockName)) Fail(NoBlock(blockName));
  return GetValues(GetBlockIndex(blockName), keyName);
}

std::vector<std::string> IniStorage::GetValues(int blockIndex, const std::string& keyName) const {
  if (keyName.empty()) Fail(keyNameEmpty);
  if (!InRange(blockIndex))
    Fail("Invalid blockIndex: the Index " + std::to_string(blockIndex) + " is invalid. This should not happen!!");
  return CheckedKey(blockIndex, keyName).values;
}

template <typename Number, typename Convert>
std::vector<Number> IniStorage::ConvertedValues(const std::string& blockName, const std::string& keyName,
                                                Convert convert) const {
  if (blockName.empty()) Fail(blockNameEmpty);
  if (keyName.empty()) Fail(keyNameEmpty);
  if (!BlockExists(blockName)) Fail(NoBlock(blockName));
  const int blockIndex = GetBlockIndex(blockName);
  if (!InRange(blockIndex))
    Fail("Invalid blockIndex: the block " + Printed(blockName) + " was assigned the Index " +
         std::to_string(blockIndex) + " which is invalid. This should not happen!!");
  const std::vector<std::string>& values = CheckedKey(blockIndex, keyName).values;
  std::vector<Number> numbers;
  numbers.reserve(values.size());
  for (const std::string& value : values) numbers.push_back(convert(value));
  return numbers;
}

std::vector<int> IniStorage::GetInts(const std::string& blockName, const std::string& keyName) const {
  return ConvertedValues<int>(blockName, keyName, ReadInt);
}

std::vector<float> IniStorage::GetFloats(const std::string& blockName, const std::string& keyName) const {
  return ConvertedValues<float>(blockName, keyName, ReadFloat);
}

int IniStorage::GetInt(const std::string& blockName, const std::string& keyName) const {
  std::string value;
  try {
    value = GetValue(blockName, keyName);
  } catch (const std::exception& e) {
    throw std::invalid_argument(e.what());
  }
  return ReadInt(value);
}

float IniStorage::GetFloat(const std::string& blockName, const std::string& keyName) const {
  std::string value;
  try {
    value = GetValue(blockName, keyName);
  } catch (const std::exception& e) {
    throw std::invalid_argument(e.what());
  }
  return ReadFloat(value);
}

// ---- IniStorage: getters with a default ---------------------------------------

std::string IniStorage::GetValue(const std::string& blockName, const std::string& keyName,
                                 const std::string& defaultValue) const {
  if (keyName.empty()) return defaultValue;
  return GetValue(GetBlockIndex(blockName), keyName, defaultValue);
}

std::string IniStorage::GetValue(int blockIndex, const std::string& keyName, const std::string& defaultValue) const {
  if (!InRange(blockIndex)) return defaultValue;
  const IniKey* key = BlockAt(blockIndex).keys.Get(keyName);
  return key == nullptr || key->values.empty() ? defaultValue : key->values.front();
}
