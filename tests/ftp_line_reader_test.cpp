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

// A source and the reader over it.
struct Feed {
  Source src;
  LineReader reader = ReaderOver(src);
};

// The next line, or the status of a read that gave none (a line cut short
// after "(partial) "); bytes a status should not carry would show after it.
std::string Next(LineReader& r, bool wait = true) {
  static const char* const kStatus[] = {"", "(partial) ", "(nothing yet)", "(closed)", "(failed)", "(aborted)"};
  std::string line;
  const LineReader::Status status = r.ReadLine(line, wait);  // kStatus follows the order of LineReader::Status
  return kStatus[static_cast<int>(status)] + line;
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
  Feed whole{{{kMixed}}};
  EXPECT_EQ(AllLines(whole.reader), kMixedLines);
  // Every cut into two chunks, CR and LF split included.
  for (std::size_t cut = 1; cut < kMixed.size(); ++cut) {
    Feed f{{{kMixed.substr(0, cut), kMixed.substr(cut)}}};
    EXPECT_EQ(AllLines(f.reader), kMixedLines) << "cut at " << cut;
  }
  // One byte at a time: one receive per byte plus the close, never more.
  Feed f;
  for (char c : kMixed) f.src.chunks.emplace_back(1, c);
  EXPECT_EQ(AllLines(f.reader), kMixedLines);
  EXPECT_EQ(f.src.calls, static_cast<int>(kMixed.size()) + 1);
}

TEST(LineReader, KeepsUnreadBytesAndReadsInLargeChunks) {
  Feed f{{{"220 one\r\n331 two\r\n23", "0 three\r\n"}}};
  EXPECT_EQ(Next(f.reader), "220 one");
  EXPECT_EQ(f.src.calls, 1);
  EXPECT_EQ(Next(f.reader), "331 two");
  EXPECT_EQ(f.src.calls, 1) << "the second line was already buffered";
  EXPECT_EQ(f.reader.Buffered(), 2u);
  EXPECT_EQ(Next(f.reader), "230 three");
  EXPECT_GE(f.src.smallestAsk, 64u * 1024);
}

TEST(LineReader, HugeLineAndAnyByteValue) {
  const std::string huge(10 * 1024 * 1024, 'x');
  std::string binary("\0a\x80\xff\xe9\0", 6);
  Feed f{{{huge + "\n" + binary + "\r\n"}}};
  EXPECT_TRUE(Next(f.reader) == huge);  // not printed: ten megabytes
  EXPECT_LT(f.src.calls, 200) << "read in large chunks";
  EXPECT_EQ(Next(f.reader), binary);

  // Past the limit the stream fails and the line is gone; up to it, it passes.
  Source limited{{std::string(1000, 'y') + "\n" + std::string(300000, 'z') + "\n"}};
  LineReader small([&](char* b, std::size_t n, bool wait) { return limited(b, n, wait); }, 1000);
  EXPECT_EQ(Next(small), std::string(1000, 'y'));
  EXPECT_FALSE(small.LineTooLong());
  EXPECT_EQ(Next(small), "(failed)");
  EXPECT_TRUE(small.LineTooLong());
  EXPECT_EQ(small.Buffered(), 0u);
  EXPECT_EQ(Next(small), "(failed)") << "for good";
}

TEST(LineReader, EndOfStream) {
  {  // Bytes before a close come back as a line cut short, a lone final CR as a line.
    Feed f{{{"421 Timeo"}, 0}};
    EXPECT_EQ(Next(f.reader), "(partial) 421 Timeo");
    EXPECT_EQ(Next(f.reader), "(closed)");
    EXPECT_EQ(Next(f.reader), "(closed)");
    EXPECT_EQ(f.src.calls, 2) << "no reads after the close";
    Feed cr{{{"x\r"}, 0}};
    EXPECT_EQ(AllLines(cr.reader), std::vector<std::string>{"x"});
  }
  {  // An error hands back the line it cut short, then stays.
    Feed f{{{"ab"}, -1}};
    EXPECT_EQ(Next(f.reader), "(partial) ab");
    EXPECT_EQ(Next(f.reader), "(failed)");
    EXPECT_EQ(Next(f.reader), "(failed)");
  }
  {  // Without waiting: buffered lines first, then what is there, the rest kept.
    Feed f{{{"220 a\r\n331 b\r\n23", kQuiet, "0 c\r", kQuiet, "\n"}, 0}};
    EXPECT_EQ(Next(f.reader, false), "220 a");
    EXPECT_EQ(Next(f.reader, false), "331 b");
    EXPECT_EQ(Next(f.reader, false), "(nothing yet)");
    EXPECT_EQ(Next(f.reader, false), "(nothing yet)") << "a CR waits for its next byte";
    EXPECT_EQ(Next(f.reader, false), "230 c");
    EXPECT_EQ(Next(f.reader, false), "(closed)");
  }
  // An abandoned wait keeps what was buffered; reading can go on.
  Feed f{{{"ab", "", "c\n"}, 0}};
  EXPECT_EQ(Next(f.reader), "(aborted)");
  EXPECT_EQ(Next(f.reader), "abc");
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
  Feed f{{{"220-Welcome\r\n220-  to the site\r\n220 Ready.\r\n"
       "214-Commands:\r\n CHMOD HELP\r\n\r\nabc-not a code\r\n200-still going\r\n214 Done.\r\n"
       "230\r\n"
       "230-a\r\n230\r\n"
       "211-x\r\n211\tend\r\n"
       "22\r\n"
       "xyz-odd first line\r\n 100 users\r\n211 end\r\n"
       "200 first\r\n200-stray\r\n200 end\r\n"}}};
  LineReader& r = f.reader;

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
  EXPECT_EQ(f.src.calls, 1);
}

TEST(ReadReplyLines, BreaksOffCleanly) {
  Feed closed{{{"220-a\r\n220-b\r\n"}, 0}};
  ReplyRun run = ReadReply(closed.reader);
  EXPECT_EQ(run.status, ReplyStatus::Closed);
  EXPECT_EQ(run.lines, (std::vector<std::string>{"220-a", "220-b"}));
  EXPECT_TRUE(ReadReply(closed.reader).lines.empty());
  // A reply ends only at a line end: a last line cut short is shown, the reply is not complete.
  Feed cut{{{"230 in"}, 0}};
  run = ReadReply(cut.reader);
  EXPECT_EQ(run.status, ReplyStatus::Closed);
  EXPECT_EQ(run.lines, std::vector<std::string>{"230 in"});
  EXPECT_EQ(ReadReply(cut.reader).status, ReplyStatus::Closed);
  Feed failing{{{"200-a\r\n"}, -1}};
  EXPECT_EQ(ReadReply(failing.reader).status, ReplyStatus::Failed);
  Feed abandoned{{{"200-a\r\n", ""}, 0}};
  EXPECT_EQ(ReadReply(abandoned.reader).status, ReplyStatus::Aborted);
}

}  // namespace
