// The per-user store of small named values, in place of the registry: a key
// path such as "SOFTWARE\Vendor\app\history" names the store and group. Value
// names are any bytes; they come back exactly as written.
#pragma once

#include <memory>
#include <string>

class CRegKey {
 public:
  CRegKey();
  ~CRegKey();
  CRegKey(const CRegKey&) = delete;
  CRegKey& operator=(const CRegKey&) = delete;

  // Opens the key, creating it when it is missing.
  bool Create(const std::string& keyPath);
  // The name of the value at `index`; false when there is none.
  bool EnumValue(int index, std::string& name);
  // Stores a value with empty data; false when the store can't be written.
  bool SetValue(const std::string& name);
  // After a failed Create or SetValue: the store's file and why it could not
  // be written, as "<path>: <reason>" (Windows-1252).
  std::string GetLastError() const;
  // Stores a value with text data (plain ASCII); false when it can't be written.
  bool SetValue(const std::string& name, const std::string& data);
  // The data of the value `name`; false when there is no such value.
  bool QueryValue(const std::string& name, std::string& data);
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> d;
};
