#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <stdexcept>
#include <string>
#include <vector>

#include "IniFile.h"
#include "IniLineReader.h"
#include "IniStorage.h"
#include "TempFiles.h"

// From inistorage_support.cpp.
std::filesystem::path TempPath(const std::string& name);
std::string Dump(const IniStorage& storage);
void ReadInto(IniStorage& storage, std::string_view bytes, int mergeMode);
std::string ReadDump(std::string_view bytes);

using namespace std::string_literals;

namespace {

struct Case {
  std::string input;
  std::string expected;
};

TEST(IniRead, WorkedExample) {
  const std::filesystem::path path = TempPath("example.ini");
  WriteFile(path,
             ";comment line\n#another comment\n[first]\nname = alpha\nlist = one, two,\n       three\n"
             "quoted = \"a, b\", c\nempty =\n\n[Second]\nname = beta\n");
  IniStorage storage;
  IniFile file;
  EXPECT_EQ(file.GetState(), IniFile::Idle);
  file.Read(path.string(), &storage, IniFile::ReplaceKeys);
  EXPECT_EQ(file.GetState(), IniFile::Done);
  EXPECT_EQ(Dump(storage), "[first]\nname=alpha\nlist=one|two|three\nquoted=a, b|c\nempty=\n[Second]\nname=beta\n");
}

// Each value text of the sample table, followed by the line "m = 1": where the
// list left the parser expecting more values, that line becomes values too.
TEST(IniRead, ValueTexts) {
  const std::vector<Case> cases = {
      {"a,,b", "k=a|b\nm=1\n"},
      {",", "k=m = 1\n"},
      {"a, [next]", "k=a|[next]\nm=1\n"},
      {"\"x;y\"", "k=x;y\nm=1\n"},
      {"\"a, b\", c", "k=a, b|c\nm=1\n"},
      {"\"a\", \"b\"", "k=a|\"b\"\nm=1\n"},
      {"\"a\",\"b\"", "k=a|b\nm=1\n"},
      {"\"a\\\"b\"", "k=a\\\"b\nm=1\n"},
      {"\"abc", "k=\nm=1\n"},
      {"\"  padded  \"", "k=padded\nm=1\n"},
      {"\"\" , z", "k=z\nm=1\n"},
      {"\"q\" junk, r", "k=q|r\nm=1\n"},
      {"a,", "k=a|m = 1\n"},
      {"a \"b\" c", "k=a \"b\" c\nm=1\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadDump("[b]\nk = " + c.input + "\nm = 1\n"), "[b]\n" + c.expected) << c.input;
}

TEST(IniRead, LineRules) {
  const std::vector<Case> cases = {
      {"k = 0\n[a]\nk = 1\n", "[a]\nk=1\n"},                       // nothing counts before a header
      {"[ Name ]\nk = 1\n[NAME]\nm = 2\n", "[Name]\nk=1\nm=2\n"},  // headers merge, first spelling stays
      {"[a]\nk = 1\nj = 0\nK = 2\n", "[a]\nj=0\nK=2\n"},           // replaced key moves last, new spelling
      {"[a]\nk =\nx, y\n", "[a]\nk=x|y\n"},
      {"[a]\n=x=1\n=x\n", "[a]\n=x=1\n"},
      {"[a]\nk = a\n   \nb\n", "[a]\nk=a\n"},                             // blank line in ExpectKey ignored
      {"[a]\nk = a,\n   \nb\n", "[a]\nk=a|b\n"},                          // blank in ExpectValues: AfterEmptyValue
      {"[a]\nk = a,\n[b],\nm = 1,\n; c\nz\n", "[a]\nk=a|[b]|m = 1|z\n"},  // continuation takes anything but comments
      {"[a]\nk = ;x\nv1, v2\n", "[a]\nk=v1|v2\n"},
      {"[a]\nk = x # not a comment\n", "[a]\nk=x # not a comment\n"},
      {"[a]\n[ ]\nk = 1\n[b] ;c\nm = 2\n", "[a]\nk=1\nm=2\n"},
      {"[[x]]\nplain text\nk=v\n", "[[x]]\nk=v\n"},
      // Bytes from 0x80 up are letters and survive trimming at the ends.
      {"[n\xE4]\nk\xE4 = v\xE4, \xC4\n[\xA0]\n", "[n\xE4]\nk\xE4=v\xE4|\xC4\n[\xA0]\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadDump(c.input), c.expected) << c.input;
}

TEST(IniRead, OddBytesAndLineEnds) {
  const std::vector<Case> cases = {
      {"[a]\r\nk = 1, 2\r\nm = \"q\"\r\n", "[a]\nk=1|2\nm=q\n"},
      {"[a]\nk = x\ry\n", "[a]\nk=x\ry\n"},  // a lone CR is an ordinary byte
      {"[a]\rk = 1\r", ""},                  // ... so these bytes are one line, and no header
      {"[a]\nk = ab\0cd, e\nm = 2"s, "[a]\nk=ab\nm=2\n"},
      {"[a\0]\nk = 1\n"s, ""},
      {"\xEF\xBB\xBF[a]\nk = 1\n[b]\nk = 2\n", "[a]\nk=1\n[b]\nk=2\n"},  // a byte-order mark is skipped ...
      {"[a]\nk = \xEF\xBB\xBFx\n\xEF\xBB\xBF[b]\n", "[a]\nk=\xEF\xBB\xBFx\n"},    // ... only at the very start
  };
  for (const Case& c : cases) EXPECT_EQ(ReadDump(c.input), c.expected) << c.input;

  // The final line without line end still counts: an empty one creates the key.
  IniStorage withEnd;
  IniStorage withoutEnd;
  ReadInto(withEnd, "[a]\nk = ,\n", IniFile::AppendValues);
  ReadInto(withoutEnd, "[a]\nk = ,", IniFile::AppendValues);
  EXPECT_EQ(Dump(withEnd), "[a]\nk=\n");
  EXPECT_EQ(Dump(withoutEnd), "[a]\n");
}

TEST(IniRead, LongLinesAreReadWhole) {
  const std::string big(100000, 'v');
  std::string header(5002, 'b');
  header.front() = '[';
  header.back() = ']';
  IniStorage storage;
  ReadInto(storage, header + "\nk = " + big + ", tail\nm = " + std::string(4090, 'x') + "yz\n", IniFile::ReplaceKeys);
  ASSERT_EQ(storage.GetBlockCount(), 1);
  EXPECT_EQ(storage.GetValues(0, "k"), (std::vector<std::string>{big, "tail"}));
  EXPECT_EQ(storage.GetValue(0, "m"), std::string(4090, 'x') + "yz");
}

// In a block big enough for the hash index, a key given again moves last.
TEST(IniRead, RepeatedKeyInABigBlockMovesLast) {
  std::string text = "[b]\n";
  std::vector<std::string> expected;
  for (int k = 0; k < 50; ++k) {
    text += "k" + std::to_string(k) + " = 0\n";
    if (k != 7) expected.push_back("k" + std::to_string(k));
  }
  expected.push_back("K7");
  IniStorage storage;
  ReadInto(storage, text + "[B]\nK7 = last\n", IniFile::ReplaceKeys);
  EXPECT_EQ(storage.GetKeyNames("b"), expected);
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(storage.GetKeyIndex(0, expected[i]), static_cast<int>(i)) << expected[i];
  EXPECT_EQ(storage.GetValue(0, "k7"), "last");
}

TEST(IniRead, MergeModes) {
  const std::string base = "[a]\nk = 1\nj = 2\n[b]\nx = 9\n";
  const std::string input = "[A]\nk = 3\nn = 4\n[c]\nj = 5\n[B]\nx = 7,\n  8\n";
  const std::vector<std::pair<int, std::string>> expected = {
      {IniFile::ReplaceKeys, "[a]\nj=2\nk=3\nn=4\n[b]\nx=7|8\n[c]\nj=5\n"},
      {IniFile::AppendValues, "[a]\nk=1|3\nj=2\nn=4\n[b]\nx=9|7|8\n[c]\nj=5\n"},
      // [c] is not there: it is ignored and "j = 5" acts on block a.
      {IniFile::ReplaceExistingKeys, "[a]\nk=3\nj=5\n[b]\nx=7|8\n"},
      {IniFile::AppendExistingKeys, "[a]\nk=1|3\nj=2|5\n[b]\nx=9|7|8\n"},
      {9, "[a]\nk=1\nj=2\n[b]\nx=9\n"},
  };
  for (const auto& [mode, dump] : expected) {
    IniStorage storage;
    ReadInto(storage, base, IniFile::ReplaceKeys);
    ReadInto(storage, input, mode);
    EXPECT_EQ(Dump(storage), dump) << "mode " << mode;
  }
}

TEST(IniRead, Trim) {
  const std::vector<Case> cases = {
      {" \t a b \r\n", "a b"},
      {"\0\x01\x1F x \x20"s, "x"},
      {"\xE4x\xE4", "\xE4x\xE4"},
      {"\x80\xA0\xDF\xFF", "\x80\xA0\xDF\xFF"},
  };
  for (Case c : cases) {
    IniFile::Trim(c.input);
    EXPECT_EQ(c.input, c.expected);
  }
}

TEST(IniRead, NamesIgnoreCaseOverTheCodePage) {
  const std::vector<std::tuple<std::string, std::string, bool>> pairs = {
      {"Block", "bLOCK", true}, {"\xC4", "\xE4", true}, {"\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF", true},
      {"\xD7", "\xF7", false},  {"\xDF", "SS", false},  {"[", "{", false},
      {"\xC0\xDE", "\xE0\xFE", true}, {"\xDF", "\xFF", false},  // the ends of the accented run; ß has no capital
  };
  for (const auto& [a, b, equal] : pairs) {
    IniStorage storage;
    storage.AddValue(a, a, "v");
    EXPECT_EQ(storage.BlockExists(b), equal) << a << " / " << b;
    EXPECT_EQ(storage.GetValue(b, b, "none"), equal ? "v" : "none") << a << " / " << b;
  }
}

// A stream that hands out its bytes and then fails.
ssize_t FailingRead(void* cookie, char* buffer, size_t size) {
  std::string& rest = *static_cast<std::string*>(cookie);
  if (rest.empty()) return -1;
  const std::size_t n = std::min(size, rest.size());
  std::memcpy(buffer, rest.data(), n);
  rest.erase(0, n);
  return static_cast<ssize_t>(n);
}

TEST(IniLineReader, SplitsLinesAndStopsOnErrors) {
  const std::filesystem::path path = TempPath("lines.txt");
  WriteFile(path, "a\r\nb\rc\n\nd\0e\r\n\r\r\nlast"s);
  std::string broken = "x\ny\npart";
  const std::vector<std::pair<std::FILE*, std::vector<std::string>>> files = {
      {std::fopen(path.string().c_str(), "rb"), {"a", "b\rc", "", "d", "\r", "last"}},
      {fopencookie(&broken, "r", cookie_io_functions_t{FailingRead, nullptr, nullptr, nullptr}), {"x", "y", "part"}},
  };
  for (const auto& [file, expected] : files) {
    ASSERT_NE(file, nullptr);
    IniLineReader reader(file, 3);  // small chunks: lines and CR LF pairs cross them
    EXPECT_TRUE(reader.Start());
    std::vector<std::string> lines;
    for (std::string line; reader.Next(line);) lines.push_back(line);
    EXPECT_EQ(lines, expected);
    std::fclose(file);
  }
}

std::string ReadError(IniFile& file, const std::string& fileName, IniStorage* storage) {
  try {
    file.Read(fileName, storage, IniFile::ReplaceKeys);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no error";
}

TEST(IniRead, FailuresLeaveTheStorageUntouched) {
  IniStorage storage;
  ReadInto(storage, "[kept]\nk = v\n", IniFile::ReplaceKeys);
  const IniStorage before(storage);
  IniFile file;

  EXPECT_EQ(ReadError(file, "x.ini", nullptr), "[Runtime Error] NULL Pointer to IniStorage");
  const std::string missing = (TempPath("dir") / "missing.ini").string();
  EXPECT_EQ(ReadError(file, missing, &storage), "[Runtime Error] Could not open file: " + missing);
  const std::filesystem::path folder = TempPath("folder.ini");
  std::filesystem::create_directory(folder);
  EXPECT_EQ(ReadError(file, folder.string(), &storage), "[Runtime Error] Could not open file: " + folder.string());
  EXPECT_EQ(storage, before);

  // The same reader goes on working after a failure.
  const std::filesystem::path good = TempPath("good.ini");
  WriteFile(good, "[kept]\nm = w");
  EXPECT_EQ(ReadError(file, good.string(), &storage), "no error");
  EXPECT_EQ(Dump(storage), "[kept]\nk=v\nm=w\n");
}

// A FIFO would wait for a writer and a device may never end: only regular
// files are read, and the others fail at once with the open error.
TEST(IniRead, OnlyRegularFilesAreRead) {
  namespace fs = std::filesystem;
  const fs::path fifo = TempPath("fifo.ini"), zero = TempPath("zero.ini"), sock = TempPath("sock.ini"),
                 link = TempPath("link.ini"), target = TempPath("target.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
  fs::create_symlink("/dev/zero", zero);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, sock.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
  WriteFile(target, "[via]\nk = v\n");
  fs::create_symlink(target, link);

  for (const fs::path& path : {fifo, zero, sock, fs::path("/dev/null")}) {
    auto reading = std::async(std::launch::async, [&] {
      IniFile file;
      IniStorage storage;
      return ReadError(file, path.string(), &storage) + (storage.GetBlockCount() == 0 ? "" : " (and stored)");
    });
    if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << path << ": still reading after 10 s";
      ::close(::open(fifo.c_str(), O_RDWR));  // lets a reader blocked on the FIFO go
      if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) std::abort();
    }
    EXPECT_EQ(reading.get(), "[Runtime Error] Could not open file: " + path.string());
  }
  ::close(fd);

  IniFile file;
  IniStorage storage;
  EXPECT_EQ(ReadError(file, link.string(), &storage), "no error") << "a link to a regular file is read";
  EXPECT_EQ(Dump(storage), "[via]\nk=v\n");
}

}  // namespace
