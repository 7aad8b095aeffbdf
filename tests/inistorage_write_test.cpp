#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "IniFile.h"
#include "IniStorage.h"
#include "TempFiles.h"

// From inistorage_support.cpp.
std::filesystem::path TempPath(const std::string& name);
std::string Dump(const IniStorage& storage);

namespace {

std::string Written(const IniStorage& storage) {
  const std::filesystem::path path = TempPath("out.ini");
  WriteFile(path, "old contents\n");
  IniFile().Write(path.string(), &storage);
  return ReadFile(path);
}

IniStorage ReadBack(const IniStorage& storage) {
  const std::filesystem::path path = TempPath("roundtrip.ini");
  IniFile file;
  file.Write(path.string(), &storage);
  IniStorage back;
  file.Read(path.string(), &back, IniFile::ReplaceKeys);
  return back;
}

TEST(IniWrite, LineFormat) {
  IniStorage s;
  EXPECT_EQ(Written(s), "");

  s.AddValue("first", "name", "alpha");
  for (const char* value : {"one", "two", "three"}) s.AddValue("first", "list", value);
  s.AddValue("Second", "name", "beta");
  EXPECT_EQ(Written(s), "[first]\nname=alpha\nlist=one, two, three\n\n[Second]\nname=beta\n\n");

  // A block without keys, and keys without values, which the reader gives back as they were.
  IniStorage holes;
  holes.AddBlock("empty");
  holes.AddKey("b", "none");
  holes.AddValue("b", "k", "v");
  holes.AddKey("b", "last");
  EXPECT_EQ(Written(holes), "[empty]\n\n[b]\nnone=\nk=v\nlast=\n\n");
  EXPECT_EQ(ReadBack(holes), holes);
}

TEST(IniWrite, UnwritableTargetsAreSkipped) {
  IniStorage s;
  s.AddValue("b", "k", "v");
  const std::filesystem::path folder = TempPath("folder");
  std::filesystem::create_directory(folder);
  EXPECT_NO_THROW(IniFile().Write((folder / "missing" / "x.ini").string(), &s));
  EXPECT_NO_THROW(IniFile().Write(folder.string(), &s));
  EXPECT_TRUE(std::filesystem::is_empty(folder));
}

}  // namespace
