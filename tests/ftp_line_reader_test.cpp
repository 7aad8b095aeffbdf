#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "LineReader.h"
#include "Reply.h"

namespace {

// A byte source that hands out scripted chunks (cut to the size asked for),
// then a final result: 0 close, -1 error, -2 abandoned. A chunk of "" stands
// for an abandoned wait in the middle of the stream, kQuiet for a moment when
// nothing is there (a waiting read skips it).
const std::string kQuiet("\0quiet", 6);

struct Source {
  std::deque<std::string> chunks;
  long end = 0;
  int calls = 0;
  std::size_t smallestAsk = SIZE_MAX;

  long operator()(char* buf, std::size_t size, bool wait) {
    ++calls;
    smallestAsk = std::min(smallestAsk, size);
    if (!chunks.empty() && chunks.front() == kQuiet) {
      chunks.pop_front();
      if (!wait) return -3;
    }
    if (chunks.empty()) return end;
    std::string& c = chunks.front();
    if (c.empty()) {
      chunks.pop_front();
      return -2;
    }
    const std::size_t n = std::min(size, c.size());
    std::memcpy(buf, c.data(), n);
    c.erase(0, n);
    if (c.empty()) chunks.pop_front();
    return static_cast<long>(n);
  }
};

LineReader ReaderOver(Source& src) {
  return LineReader([&src](char* b, std::size_t n, bool wait) { return src(b, n, wait); });
}

std::vector<std::string> AllLines(LineReader& r) {
  std::vector<std::string> lines;
  std::string line;
  for (LineReader::Status st; (st = r.ReadLine(line)) == LineReader::Status::Line || st == LineReader::Status::Partial;)
    lines.push_back(line);
  return lines;
}

const std::string kMixed = "a\r\nb\ncX\rYd\r\n\r\n\nab\r\r\nend";
const std::vector<std::string> kMixedLines = {"a", "b", "cXY", "d", "", "", "ab\r", "", "end"};

TEST(LineReader, CrLfRulesWhateverTheChunking) {
  {
    Source src{{kMixed}};
    LineReader r = ReaderOver(src);
    EXPECT_EQ(AllLines(r), kMixedLines);
  }
  // Every cut into two chunks, CR and LF split included.
  for (std::size_t cut = 1; cut < kMixed.size(); ++cut) {
    Source src{{kMixed.substr(0, cut), kMixed.substr(cut)}};
    LineReader r = ReaderOver(src);
    EXPECT_EQ(AllLines(r), kMixedLines) << "cut at " << cut;
  }
  // One byte at a time: one receive per byte plus the close, never more.
  Source src;
  for (char c : kMixed) src.chunks.emplace_back(1, c);
  LineReader r = ReaderOver(src);
  EXPECT_EQ(AllLines(r), kMixedLines);
  EXPECT_EQ(src.calls, static_cast<int>(kMixed.size()) + 1);
}

TEST(LineReader, KeepsUnreadBytesAndReadsInLargeChunks) {
  Source src{{"220 one\r\n331 two\r\n23"}, 0};
  src.chunks.push_back("0 three\r\n");
  LineReader r = ReaderOver(src);
  std::string line;
  ASSERT_EQ(r.ReadLine(line), LineReader::Status::Line);
  EXPECT_EQ(line, "220 one");
  EXPECT_EQ(src.calls, 1);
  ASSERT_EQ(r.ReadLine(line), LineReader::Status::Line);
  EXPECT_EQ(line, "331 two");
  EXPECT_EQ(src.calls, 1) << "the second line was already buffered";
  EXPECT_EQ(r.Buffered(), 2u);
  ASSERT_EQ(r.ReadLine(line), LineReader::Status::Line);
  EXPECT_EQ(line, "230 three");
  EXPECT_GE(src.smallestAsk, 64u * 1024);
}

TEST(LineReader, HugeLineAndAnyByteValue) {
  const std::string huge(10 * 1024 * 1024, 'x');
  std::string binary("\0a\x80\xff\xe9\0", 6);
  Source src{{huge + "\n" + binary + "\r\n"}};
  LineReader r = ReaderOver(src);
  std::string line;
  ASSERT_EQ(r.ReadLine(line), LineReader::Status::Line);
  EXPECT_EQ(line, huge);
  EXPECT_LT(src.calls, 200) << "read in large chunks";
  ASSERT_EQ(r.ReadLine(line), LineReader::Status::Line);
  EXPECT_EQ(line, binary);

  // Past the limit the stream fails and the line is gone; up to it, it passes.
  Source limited{{std::string(1000, 'y') + "\n" + std::string(300000, 'z') + "\n"}};
  LineReader small([&](char* b, std::size_t n, bool wait) { return limited(b, n, wait); }, 1000);
  ASSERT_EQ(small.ReadLine(line), LineReader::Status::Line);
  EXPECT_EQ(line.size(), 1000u);
  EXPECT_FALSE(small.LineTooLong());
  EXPECT_EQ(small.ReadLine(line), LineReader::Status::Failed);
  EXPECT_TRUE(line.empty());
  EXPECT_TRUE(small.LineTooLong());
  EXPECT_EQ(small.Buffered(), 0u);
  EXPECT_EQ(small.ReadLine(line), LineReader::Status::Failed) << "for good";
}

TEST(LineReader, EndOfStream) {
  std::string line;
  {  // Bytes before a close come back as a line cut short, a lone final CR as a line.
    Source src{{"421 Timeo"}, 0};
    LineReader r = ReaderOver(src);
    EXPECT_EQ(r.ReadLine(line), LineReader::Status::Partial);
    EXPECT_EQ(line, "421 Timeo");
    EXPECT_EQ(r.ReadLine(line), LineReader::Status::Closed);
    EXPECT_EQ(r.ReadLine(line), LineReader::Status::Closed);
    EXPECT_EQ(src.calls, 2) << "no reads after the close";
    Source cr{{"x\r"}, 0};
    LineReader r2 = ReaderOver(cr);
    EXPECT_EQ(AllLines(r2), std::vector<std::string>{"x"});
  }
  {  // An error hands back the line it cut short, then stays.
    Source src{{"ab"}, -1};
    LineReader r = ReaderOver(src);
    EXPECT_EQ(r.ReadLine(line), LineReader::Status::Partial);
    EXPECT_EQ(line, "ab");
    EXPECT_EQ(r.ReadLine(line), LineReader::Status::Failed);
    EXPECT_EQ(r.ReadLine(line), LineReader::Status::Failed);
  }
  {  // Without waiting: buffered lines first, then what is there, the rest kept.
    Source src{{"220 a\r\n331 b\r\n23", kQuiet, "0 c\r", kQuiet, "\n"}, 0};
    LineReader r = ReaderOver(src);
    EXPECT_EQ(r.ReadLine(line, false), LineReader::Status::Line);
    EXPECT_EQ(line, "220 a");
    EXPECT_EQ(r.ReadLine(line, false), LineReader::Status::Line);
    EXPECT_EQ(line, "331 b");
    EXPECT_EQ(r.ReadLine(line, false), LineReader::Status::NothingYet);
    EXPECT_EQ(r.ReadLine(line, false), LineReader::Status::NothingYet) << "a CR waits for its next byte";
    EXPECT_EQ(r.ReadLine(line, false), LineReader::Status::Line);
    EXPECT_EQ(line, "230 c");
    EXPECT_EQ(r.ReadLine(line, false), LineReader::Status::Closed);
  }
  {  // An abandoned wait keeps what was buffered; reading can go on.
    Source src{{"ab", "", "c\n"}, 0};
    LineReader r = ReaderOver(src);
    EXPECT_EQ(r.ReadLine(line), LineReader::Status::Aborted);
    EXPECT_EQ(r.ReadLine(line), LineReader::Status::Line);
    EXPECT_EQ(line, "abc");
  }
}

struct ReplyRun {
  ReplyStatus status;
  std::vector<std::string> lines;
  std::string last;
};

ReplyRun ReadReply(LineReader& r) {
  ReplyRun run;
  run.status = ReadReplyLines(
      r, [&](std::string_view l) { run.lines.emplace_back(l); }, run.last);
  return run;
}

TEST(ReadReplyLines, MultiLineReplies) {
  Source src{
      {"220-Welcome\r\n220-  to the site\r\n220 Ready.\r\n"
       "214-Commands:\r\n CHMOD HELP\r\n\r\nabc-not a code\r\n200-still going\r\n214 Done.\r\n"
       "230\r\n"
       "230-a\r\n230\r\n"
       "211-x\r\n211\tend\r\n"
       "22\r\n"
       "xyz-odd first line\r\n 100 users\r\n211 end\r\n"
       "200 first\r\n200-stray\r\n200 end\r\n"}};
  LineReader r = ReaderOver(src);

  ReplyRun run = ReadReply(r);
  EXPECT_EQ(run.lines, (std::vector<std::string>{"220-Welcome", "220-  to the site", "220 Ready."}));
  EXPECT_EQ(run.last, "220 Ready.");

  run = ReadReply(r);  // indented, blank and non-code lines belong to the reply
  EXPECT_EQ(run.lines.size(), 6u);
  EXPECT_EQ(run.last, "214 Done.");

  EXPECT_EQ(ReadReply(r).lines, std::vector<std::string>{"230"});
  EXPECT_EQ(ReadReply(r).lines, (std::vector<std::string>{"230-a", "230"}));
  EXPECT_EQ(ReadReply(r).last, "211\tend");
  EXPECT_EQ(ReadReply(r).lines, std::vector<std::string>{"22"});
  EXPECT_EQ(ReadReply(r).last, "211 end");

  // A reply ends at its first final line; what follows is the next reply.
  EXPECT_EQ(ReadReply(r).lines, std::vector<std::string>{"200 first"});
  EXPECT_EQ(ReadReply(r).lines, (std::vector<std::string>{"200-stray", "200 end"}));
  EXPECT_EQ(src.calls, 1);
}

TEST(ReadReplyLines, BreaksOffCleanly) {
  {
    Source src{{"220-a\r\n220-b\r\n"}, 0};
    LineReader r = ReaderOver(src);
    ReplyRun run = ReadReply(r);
    EXPECT_EQ(run.status, ReplyStatus::Closed);
    EXPECT_EQ(run.lines, (std::vector<std::string>{"220-a", "220-b"}));
    EXPECT_TRUE(ReadReply(r).lines.empty());
  }
  {  // A reply ends only at a line end: a last line cut short is shown, the reply is not complete.
    Source src{{"230 in"}, 0};
    LineReader r = ReaderOver(src);
    ReplyRun run = ReadReply(r);
    EXPECT_EQ(run.status, ReplyStatus::Closed);
    EXPECT_EQ(run.lines, std::vector<std::string>{"230 in"});
    EXPECT_EQ(ReadReply(r).status, ReplyStatus::Closed);
  }
  Source failing{{"200-a\r\n"}, -1};
  LineReader rf = ReaderOver(failing);
  EXPECT_EQ(ReadReply(rf).status, ReplyStatus::Failed);
  Source abandoned{{"200-a\r\n", ""}, 0};
  LineReader ra = ReaderOver(abandoned);
  EXPECT_EQ(ReadReply(ra).status, ReplyStatus::Aborted);
}

}  // namespace
