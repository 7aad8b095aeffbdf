#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "IniStorage.h"

// From inistorage_support.cpp.
std::string Dump(const IniStorage& storage);

namespace {

// Block: k (no values), key (a, b); Second: n (12abc), list (1, x, -3, 2.5).
IniStorage Sample() {
  IniStorage storage;
  storage.AddKey("Block", "k");
  storage.AddValue("Block", "key", "a");
  storage.AddValue("Block", "key", "b");
  storage.AddValue("Second", "n", "12abc");
  for (const char* value : {"1", "x", "-3", "2.5"}) storage.AddValue("Second", "list", value);
  return storage;
}

// The strict getters throw std::invalid_argument, and leave the storage as it was,
// for an empty or unknown block or key, a bad index, and a key with no values.
TEST(IniQuery, StrictGettersThrowOnWhatIsNotThere) {
  const IniStorage s = Sample();
  const std::vector<std::function<void()>> cases = {
      [&] { s.GetValue("", ""); },        [&] { s.GetValue("nope", ""); },     [&] { s.GetValue("nope", "key"); },
      [&] { s.GetValue("Block", "MISSING"); }, [&] { s.GetValue("BLOCK", "K"); }, [&] { s.GetValue(5, "key"); },
      [&] { s.GetValue(-1, ""); },        [&] { s.GetValue(0, ""); },          [&] { s.GetValue(0, "k"); },
      [&] { s.GetValues("", "k"); },      [&] { s.GetValues("Block", "k"); },  [&] { s.GetValues(5, ""); },
      [&] { s.GetValues(5, "key"); },     [&] { s.GetValues(0, ""); },         [&] { s.GetValues(1, "key"); },
      [&] { s.GetInts("Block", ""); },    [&] { s.GetInts("Block", "n"); },    [&] { s.GetFloats("Block", "k"); },
      [&] { s.GetInt("Block", "k"); },
  };
  for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_THROW(cases[i](), std::invalid_argument) << "case " << i;
  EXPECT_EQ(Dump(s), Dump(Sample()));
}

TEST(IniQuery, GettersFindNamesInAnyCase) {
  const IniStorage s = Sample();
  EXPECT_EQ(s.GetValue("BLOCK", "KEY"), "a");
  EXPECT_EQ(s.GetValues(0, "Key"), (std::vector<std::string>{"a", "b"}));
  const std::vector<std::pair<std::string, std::string>> withDefault = {
      {s.GetValue(1, "N", "d"), "12abc"}, {s.GetValue("", "key", "d"), "d"}, {s.GetValue("Block", "k", "d"), "d"},
      {s.GetValue(-1, "key", "d"), "d"},  {s.GetValue(2, "key", "d"), "d"},  {s.GetValue(0, "zz", "d"), "d"},
  };
  for (std::size_t i = 0; i < withDefault.size(); ++i)
    EXPECT_EQ(withDefault[i].first, withDefault[i].second) << "case " << i;
}

TEST(IniQuery, QuestionsNeverThrow) {
  const IniStorage s = Sample();
  EXPECT_EQ(s.GetBlockNames(), (std::vector<std::string>{"Block", "Second"}));
  EXPECT_EQ(s.GetKeyNames("SECOND"), (std::vector<std::string>{"n", "list"}));
  EXPECT_TRUE(s.GetKeyNames("").empty() && s.GetKeyNames("x").empty() && IniStorage().GetBlockNames().empty());
  const std::vector<std::pair<int, int>> answers = {
      {s.GetBlockCount(), 2},
      {s.GetBlockIndex("second"), 1},
      {s.GetBlockIndex("x"), -1},
      {s.GetKeyCount("block"), 2},
      {s.GetKeyCount(""), -1},
      {s.GetKeyIndex(0, "KEY"), 1},
      {s.GetKeyIndex("second", "LIST"), 1},
      {s.GetKeyIndex(0, "n"), -1},
      {s.GetKeyIndex(2, "key"), -1},
      {s.GetKeyIndex("", "key"), -1},
      {s.GetValueCount("Block", "key"), 2},
      {s.GetValueCount("Block", "k"), 0},
      {s.GetValueCount("Block", "zz"), 0},
      {s.GetValueCount("zz", "key"), -1},
      {s.KeyExists("block", "K"), 1},
      {s.KeyExists("block", "n"), 0},
      {s.KeyExists(1, "N"), 1},
      {s.KeyExists(2, "n"), 0},
      {s.KeyExistsInAnyBlock("LIST"), 1},
      {s.KeyExistsInAnyBlock("zz"), 0},
  };
  for (std::size_t i = 0; i < answers.size(); ++i) EXPECT_EQ(answers[i].first, answers[i].second) << "answer " << i;
}

TEST(IniQuery, NumbersAreReadLikeAtoiAndAtof) {
  IniStorage s = Sample();
  EXPECT_EQ(s.GetInt("Second", "n"), 12);
  EXPECT_EQ(s.GetInts("Second", "list"), (std::vector<int>{1, 0, -3, 2}));
  EXPECT_EQ(s.GetFloats("Second", "list"), (std::vector<float>{1.0f, 0.0f, -3.0f, 2.5f}));

  const std::vector<std::pair<std::string, int>> ints = {
      {"abc", 0}, {" \t-7x", -7}, {"- 3", 0}, {"99999999999", INT_MAX}, {"-99999999999", INT_MIN},
  };
  for (const auto& [text, number] : ints) {
    s.SetValue("n", "v", text);
    EXPECT_EQ(s.GetInt("n", "v"), number) << text;
  }
  const std::vector<std::pair<std::string, float>> floats = {
      {" -1.5e2x", -150.0f}, {"--1", 0.0f}, {"0x10", 16.0f}, {"1e-400", 0.0f}, {"1,5", 1.0f},
  };
  for (const auto& [text, number] : floats) {
    s.SetValue("n", "v", text);
    EXPECT_EQ(s.GetFloat("n", "v"), number) << text;
  }
  for (const char* huge : {"1e39", "inf"}) {
    s.SetValue("n", "v", huge);
    EXPECT_TRUE(std::isinf(s.GetFloat("n", "v"))) << huge;
  }
}

TEST(IniBuild, NumbersAndSetValue) {
  IniStorage s;
  s.AddValue("b", "k", 42);
  s.AddValue("b", "k", -7);
  s.AddValue("b", "k", 1.5f);
  s.AddValue("b", "k", -0.25f);
  s.AddValue("b", "m", 0);
  s.SetValue("b", "n", 3);
  s.SetValue("b", "n", 2.0f);
  EXPECT_EQ(Dump(s), "[b]\nk=42|-7|1.500000|-0.250000\nm=0\nn=2.000000\n");

  s.SetValue("B", "K", "x");  // replaces every value, the key keeps its place and spelling
  s.SetValue("b", "m", "");
  s.SetValue("", "m", "y");
  s.AddValue("b", "", "y");
  EXPECT_EQ(Dump(s), "[b]\nk=x\nm=0\nn=2.000000\n");
}

TEST(IniBuild, AddAndRemoveKeepLookupsInStep) {
  IniStorage s;
  EXPECT_FALSE(s.AddBlock(""));
  for (const char* name : {"a", "B", "c", "b"}) EXPECT_TRUE(s.AddBlock(name));
  for (const char* key : {"k1", "k2", "K1"}) s.AddKey(2, key);
  s.AddKey(3, "ignored");
  s.AddKey(-1, "ignored");
  s.AddKey("new", "");
  s.RemoveBlock("b");
  s.RemoveKey("C", "K1");
  s.AddValue("c", "k1", "v");
  EXPECT_EQ(Dump(s), "[a]\n[c]\nk2=\nk1=v\n");

  // Long lists go through a hash index and leave holes when items go; both must follow.
  std::vector<std::string> blockNames;
  std::vector<std::string> keyNames;
  for (int i = 0; i < 40; ++i) {
    blockNames.push_back(std::string("Blk") + std::to_string(i));
    keyNames.push_back(std::string("Key") + std::to_string(i));
    s.AddBlock(blockNames.back());
    s.AddKey("BLK0", keyNames.back());
  }
  for (int i = 38; i > 0; i -= 3) {
    s.RemoveBlock(std::string("blk") + std::to_string(i));
    s.RemoveKey("blk0", std::string("KEY") + std::to_string(i));
    blockNames.erase(blockNames.begin() + i);
    keyNames.erase(keyNames.begin() + i);
  }
  s.RemoveBlock("A");
  s.RemoveBlock("C");
  s.AddValue("blk38", "x", "y");
  s.AddKey(0, "key38");
  blockNames.push_back("blk38");
  keyNames.push_back("key38");
  EXPECT_EQ(s.GetBlockNames(), blockNames);
  EXPECT_EQ(s.GetKeyNames("blk0"), keyNames);
  for (std::size_t i = 0; i < blockNames.size(); ++i) {
    EXPECT_EQ(s.GetBlockIndex(blockNames[i]), static_cast<int>(i)) << blockNames[i];
    EXPECT_EQ(s.GetKeyIndex(0, keyNames[i]), static_cast<int>(i)) << keyNames[i];
  }
  EXPECT_FALSE(s.BlockExists("BLK35") || s.KeyExists(0, "key35"));
}

TEST(IniBuild, CopiesAreExact) {
  IniStorage original;
  original.AddBlock("Empty");
  original.AddKey("Keys", "NoValues");
  original.AddValue("Keys", "list", "one");
  original.AddValue("Keys", "list", "one");
  original.AddBlock("\xC4rger");

  IniStorage copy(original);
  EXPECT_EQ(Dump(copy), "[Empty]\n[Keys]\nNoValues=\nlist=one|one\n[\xC4rger]\n");
  copy.RemoveBlock("empty");
  EXPECT_EQ(original.GetBlockCount(), 3);
  EXPECT_EQ(copy.GetBlockIndex("\xE4rger"), 1);

  IniStorage assigned;
  assigned.AddBlock("old");
  assigned = original;
  IniStorage moved(std::move(assigned));
  // The text and the lookups: a copy that lost its name index still compares equal.
  EXPECT_EQ(Dump(moved), "[Empty]\n[Keys]\nNoValues=\nlist=one|one\n[\xC4rger]\n");
  EXPECT_EQ(moved.GetBlockIndex("\xE4RGER"), 2);
  EXPECT_EQ(moved.GetKeyIndex(1, "LIST"), 1);
  EXPECT_FALSE(moved == copy);
  EXPECT_EQ(assigned.GetBlockCount(), 0);
}

}  // namespace
