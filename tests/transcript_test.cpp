// The transcript model: line index, runs of kinds of text, edits in the middle, its
// view, search across chunk borders, writing with and without times, and the
// limit that drops the oldest lines.
#include "Transcript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <random>
#include <string>

namespace {

using Kind = Transcript::Kind;

void Append(Transcript& t, const std::string& text) {
  t.SetSelection(t.Length(), t.Length());
  t.ReplaceSelection(text);
}

std::vector<std::string> Lines(const Transcript& t) {
  std::vector<std::string> out;
  for (Transcript::Pos i = 0; i < t.LineCount(); ++i) out.push_back(t.Text(t.LineStart(i), t.LineEnd(i)));
  return out;
}

TEST(Transcript, LineEndsAsTheRichEditCountsThem) {
  Transcript t;
  EXPECT_EQ(t.LineCount(), 1);
  // LF, CR and CR LF each end one line, also when CR and LF arrive apart.
  for (const char* piece : {"a\nb\rc\r\nd", "\r", "\ne\n"}) Append(t, piece);
  EXPECT_EQ(t.Text(), "a\nb\rc\r\nd\r\ne\n");
  EXPECT_EQ(Lines(t), (std::vector<std::string>{"a", "b", "c", "d", "e", ""}));
  EXPECT_EQ(t.LineOf(0), 0);
  EXPECT_EQ(t.LineOf(5), 2);  // the CR of "c\r\n"
  EXPECT_EQ(t.LineOf(6), 2);
  EXPECT_EQ(t.LineOf(7), 3);
  EXPECT_EQ(t.LongestLine(), 1);

  // Every byte of the code page survives, also across a chunk border.
  std::string bytes(Transcript::kChunkSize - 3, 'x');
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  const auto start = t.Length();
  Append(t, bytes);
  EXPECT_EQ(t.Text(start, t.Length()), bytes);
  EXPECT_EQ(t.LongestLine(), static_cast<Transcript::Pos>(Transcript::kChunkSize - 3 + 10));

  // A snapshot keeps its bytes through edits in the middle and a clear.
  const Transcript::Snapshot snap = t.Snap(start, t.Length());
  t.SetSelection(start + 2, start + 2);
  t.ReplaceSelection("edited");
  t.Clear();
  Append(t, std::string(Transcript::kChunkSize + 10, 'y'));
  std::string kept;
  snap.ForEachSpan([&kept](const char* d, std::size_t n) { kept.append(d, n); });
  EXPECT_EQ(kept, bytes);
}

TEST(Transcript, KindRunsCaretAndEditsInTheMiddle) {
  std::time_t now = 1000;
  Transcript t;
  t.SetClock([&now] { return now; });
  Append(t, "banner\n");
  t.SetInsertKind(Kind::Command);
  now = 2000;
  Append(t, "\n>SITE WHO\n");
  t.SetInsertKind(Kind::Reply);  // goes on in the kind of its exchange
  Append(t, "200 ok\n");
  EXPECT_EQ(t.KindAt(0), Kind::Text);
  EXPECT_EQ(t.KindAt(7), Kind::Command);
  EXPECT_EQ(t.KindAt(1000), Kind::Command);  // past the end: the last byte's kind
  std::vector<std::pair<Transcript::Pos, Kind>> runs;
  t.ForEachRun(3, 30, [&](Transcript::Pos a, Transcript::Pos b, Kind k) { runs.push_back({b - a, k}); });
  EXPECT_EQ(runs, (std::vector<std::pair<Transcript::Pos, Kind>>{{4, Kind::Text}, {18, Kind::Command}}));
  EXPECT_EQ(t.LineTime(0), 1000);
  EXPECT_EQ(t.LineTime(2), 2000);

  // The user types into the banner: the text after it keeps its kinds,
  // lines and times; the caret ends behind the typed text.
  t.SetSelection(2, 2);
  t.SetInsertKind(Kind::Login);
  now = 3000;
  t.ReplaceSelection("XY\nZ");
  EXPECT_EQ(t.Text(), "baXY\nZnner\n\n>SITE WHO\n200 ok\n");
  EXPECT_EQ(t.Caret(), 6);
  EXPECT_EQ(t.KindAt(2), Kind::Login);
  EXPECT_EQ(t.KindAt(6), Kind::Text);
  EXPECT_EQ(t.KindAt(14), Kind::Command);
  EXPECT_EQ(t.LineCount(), 6);
  EXPECT_EQ(t.LineTime(3), 2000);  // ">SITE WHO" kept its arrival time

  // A selection is replaced; deleting joins lines again.
  t.SetSelection(4, 2);
  EXPECT_EQ(t.SelectionStart(), 2);
  t.DeleteAtCaret(true);
  EXPECT_EQ(t.Text(0, 8), "ba\nZnner");
  t.DeleteAtCaret(false);
  EXPECT_EQ(t.Text(0, 7), "baZnner");
  EXPECT_EQ(t.LineCount(), 5);

  // Positions outside the text are clamped; an append goes to the end.
  t.SetSelection(-5, 1 << 30);
  EXPECT_EQ(t.SelectionStart(), 0);
  EXPECT_EQ(t.SelectionEnd(), t.Length());

  t.Clear();
  EXPECT_EQ(t.Length(), 0);
  EXPECT_EQ(t.LineCount(), 1);
  EXPECT_EQ(t.Caret(), 0);
}

// Its view hears of every append, whoever made it, and of the transcript's end.
struct Seen : Transcript::View {
  std::vector<std::pair<Transcript::Pos, Transcript::Pos>> appended;
  std::vector<std::string> removed;
  bool gone = false;
  void OnAppended(Transcript::Pos from, Transcript::Pos to) override { appended.push_back({from, to}); }
  void OnDropped(const Transcript::Snapshot& text, Transcript::Pos) override {
    removed.emplace_back();
    text.ForEachSpan([this](const char* d, std::size_t n) { removed.back().append(d, n); });
  }
  void OnTranscriptGone() override { gone = true; }
};

TEST(Transcript, AppendsAtTheEndLeaveTheCaretAndSelectionAlone) {
  Seen seen;
  auto owned = std::make_unique<Transcript>();
  Transcript& t = *owned;
  t.SetView(&seen);
  t.SetInsertKind(Kind::Notice);
  t.AppendAtEnd("200-one\n");
  EXPECT_EQ(t.Caret(), t.Length());  // a caret at the end stays at the end
  t.SetSelection(4, 1);
  t.AppendAtEnd("200 two\n");
  EXPECT_EQ(t.Text(), "200-one\n200 two\n");
  EXPECT_EQ(t.Anchor(), 4);
  EXPECT_EQ(t.Caret(), 1);
  EXPECT_EQ(t.KindAt(9), Kind::Notice);
  t.SetSelection(0, t.Length());  // a selection reaching the end does not grow
  t.AppendAtEnd("end");
  EXPECT_EQ(t.SelectionEnd(), 16);
  t.AppendAtEnd("");
  t.ReplaceSelection("typed");  // the view made this edit itself
  EXPECT_EQ(seen.appended, (std::vector<std::pair<Transcript::Pos, Transcript::Pos>>{{0, 8}, {8, 16}, {16, 19}}));
  owned.reset();
  EXPECT_TRUE(seen.gone);
}

TEST(Transcript, FindsForwardBackwardAndAcrossChunkBorders) {
  Transcript t;
  std::string text(Transcript::kChunkSize - 3, '.');
  text += "Caf\xC9 needle";  // "Café" crosses the first chunk's end
  text += std::string(100, '.') + "NEEDLE";
  Append(t, text);
  const auto cafe = static_cast<Transcript::Pos>(Transcript::kChunkSize - 3);
  EXPECT_EQ(t.Find("caf\xE9", 0, true, false), cafe);
  EXPECT_EQ(t.Find("caf\xE9", 0, true, true), -1);
  EXPECT_EQ(t.Find("Caf\xC9", 0, true, true), cafe);
  const auto first = cafe + 5;
  const auto second = t.Length() - 6;
  EXPECT_EQ(t.Find("needle", 0, true, false), first);
  EXPECT_EQ(t.Find("needle", first + 1, true, false), second);
  EXPECT_EQ(t.Find("needle", second + 1, true, false), -1);
  EXPECT_EQ(t.Find("NEEDLE", 0, true, true), second);
  // Backward: the last match that ends at or before the position.
  EXPECT_EQ(t.Find("needle", t.Length(), false, false), second);
  EXPECT_EQ(t.Find("needle", second + 5, false, false), first);
  EXPECT_EQ(t.Find("caf\xE9", cafe + 4, false, false), cafe);
  EXPECT_EQ(t.Find("caf\xE9", cafe + 3, false, false), -1);
  EXPECT_EQ(t.Find("", 0, true, false), -1);
  EXPECT_EQ(t.Find(std::string(t.Length() + 1, '.'), 0, true, false), -1);
}

TEST(Transcript, WritesBytesWithOrWithoutTimes) {
  std::time_t now = 10;
  Transcript t;
  t.SetClock([&now] { return now; });
  Append(t, "one\r\n");
  now = 20;
  Append(t, "\xE9two\n");
  std::string plain;
  std::string timed;
  const auto stamp = [](std::time_t s) { return std::to_string(s) + " "; };
  t.Write([&](const char* d, std::size_t n) { plain.append(d, n); }, false, stamp);
  t.Write([&](const char* d, std::size_t n) { timed.append(d, n); }, true, stamp);
  EXPECT_EQ(plain, "one\r\n\xE9two\n");
  EXPECT_EQ(timed, "10 one\r\n20 \xE9two\n");  // no stamp for the empty line behind the last LF
}

std::string NumberedLine(Transcript::Pos n) {  // 32 bytes
  const std::string digits = std::to_string(n);
  return "line " + std::string(7 - digits.size(), '0') + digits + " " + std::string(18, '.') + "\n";
}

TEST(Transcript, DropsTheOldestWholeLinesAndSaysSoAtTheTop) {
  constexpr Transcript::Pos kLimit = Transcript::kMinLimit;
  std::time_t now = 0;
  Seen seen;
  Transcript t;
  t.SetClock([&now] { return now; });
  t.SetView(&seen);
  t.SetLimit(kLimit, "Raise it.");
  t.AppendAtEnd(std::string(5000, 'x') + "\n");  // line 0, the longest until it goes
  for (Transcript::Pos n = 1; n < 75000; ++n) {
    now = n;
    t.SetInsertKind(n % 1000 == 0 ? Kind::Command : Kind::Text);
    t.AppendAtEnd(NumberedLine(n));
    if (n == 70000) t.SetSelection(5, t.LineStart(69990) + 3);  // from dropped text into kept text
  }
  // Dropped in steps of a sixteenth of the limit, whole lines, the newest kept.
  ASSERT_GT(seen.removed.size(), 10u);
  EXPECT_EQ(seen.removed[0].substr(0, 5001 + 32), std::string(5000, 'x') + "\n" + NumberedLine(1));
  EXPECT_TRUE(seen.removed[1].starts_with("Earlier text was dropped: "));
  EXPECT_LE(t.Length(), kLimit);
  EXPECT_GT(t.Length(), kLimit * 15 / 16 - 20000);
  const Transcript::Pos first = t.FirstLine();
  const Transcript::Pos firstKept = first + 1;
  EXPECT_EQ(t.Text(t.LineStart(firstKept), t.Length()).substr(0, 32), NumberedLine(firstKept));
  EXPECT_TRUE(t.Text().ends_with(NumberedLine(74999)));
  EXPECT_EQ(t.LineCount(), 75001);  // lines keep their numbers
  EXPECT_EQ(t.DroppedLines(), firstKept);
  EXPECT_EQ(t.DroppedBytes(), 5001 + 32 * (firstKept - 1));

  // One line at the top, in the hint colour's kind, tells how much went and where to raise the limit.
  const std::string marker = t.Text(0, t.LineStart(firstKept));
  EXPECT_EQ(t.LineStart(first), 0);
  EXPECT_TRUE(marker.starts_with("Earlier text was dropped: ")) << marker;
  EXPECT_NE(marker.find(" lines so far. This pane keeps the newest 1.0 MB of the transcript. Raise it.\n"),
            std::string::npos)
      << marker;
  EXPECT_EQ(t.KindAt(0), Kind::Hint);
  EXPECT_EQ(t.LongestLine(), static_cast<Transcript::Pos>(marker.size()) - 1);

  // Times, kinds and positions stay with their lines.
  EXPECT_EQ(t.LineTime(firstKept), firstKept);
  EXPECT_EQ(t.LineTime(74000), 74000);
  EXPECT_EQ(t.KindAt(t.LineStart(74000)), Kind::Command);
  EXPECT_EQ(t.KindAt(t.LineStart(74001)), Kind::Text);
  EXPECT_EQ(t.LineOf(t.Find("line 0072345", 0, true, true)), 72345);
  EXPECT_EQ(t.Anchor(), t.LineStart(firstKept));  // what was dropped of the selection
  EXPECT_EQ(t.Caret(), t.LineStart(69990) + 3);
  std::string timed;
  t.Write([&](const char* d, std::size_t n) { timed.append(d, n); }, true,
          [](std::time_t s) { return std::to_string(s) + " "; });
  EXPECT_GT(t.LineTime(first), firstKept);  // the time of the last drop
  EXPECT_TRUE(timed.starts_with(std::to_string(t.LineTime(first)) + " Earlier")) << timed.substr(0, 20);
  EXPECT_NE(timed.find("\n" + std::to_string(firstKept) + " " + NumberedLine(firstKept)), std::string::npos);

  // A smaller limit drops at once; a limit below the least is the least.
  t.SetLimit(1, "");
  EXPECT_EQ(t.Limit(), Transcript::kMinLimit);
  t.Clear();
  EXPECT_EQ(t.FirstLine(), 0);
  EXPECT_EQ(t.DroppedBytes(), 0);

  // An endless line and a flood of empty lines are bounded too.
  t.AppendAtEnd("first\n");
  std::string tail;
  for (int i = 0; i < 30; ++i) tail += std::string(100000, static_cast<char>('a' + i % 26));
  t.AppendAtEnd(tail);  // the newest line alone is past the limit: it keeps its end
  EXPECT_LE(t.Length(), kLimit);
  EXPECT_EQ(t.LineCount() - t.FirstLine(), 2);
  const Transcript::Pos line = t.LineCount() - 1;
  EXPECT_TRUE(tail.ends_with(t.Text(t.LineStart(line), t.Length())));
  EXPECT_GT(t.Length() - t.LineStart(line), kLimit / 2);

  t.Clear();
  for (int i = 0; i < 100; ++i) t.AppendAtEnd(std::string(2000, '\n'));
  EXPECT_LE(t.LineCount() - t.FirstLine(), kLimit / Transcript::kBytesPerLine + 1);
  EXPECT_EQ(t.LineCount(), 200001);
}

// The compact index against a plain one, through block borders, lines below
// 0 (a drop's line put at the top), a start before its block's base, and
// lines spread over more than 4 GiB.
TEST(Transcript, LineIndexHoldsWhatAPlainIndexHolds) {
  using Pos = LineIndex::Pos;
  std::deque<Pos> starts{0};
  std::deque<std::time_t> times{7};
  Pos first = 0;
  LineIndex index(7);
  std::mt19937_64 random(12345);
  const auto pick = [&](Pos n) { return static_cast<Pos>(random() % static_cast<std::uint64_t>(n)); };
  std::time_t now = 7;
  Pos lowest = 0;
  for (int step = 0; step < 60000; ++step) {
    const Pos r = pick(100);
    if (r < 70) {  // a new line, now and then far behind the last
      const Pos start = starts.back() + (pick(500) == 0 ? (Pos{5} << 30) : pick(100));
      now += pick(8) == 0 ? 1 : 0;
      starts.push_back(start);
      times.push_back(now);
      index.PushBack(start, now);
    } else if (r < 76) {
      const Pos start = starts.back() + pick(3);
      starts.back() = start;
      index.SetStart(first + static_cast<Pos>(starts.size()) - 1, start);
    } else if (r < 82) {
      times.back() = now;
      index.SetLastTime(now);
    } else if (r < 88 && starts.size() > 1) {
      starts.pop_back();
      times.pop_back();
      index.PopBack();
    } else if (r < 94) {  // a drop: lines go (none in the first half), one comes at the top
      const Pos keep = step < 30000 ? first : first + pick(static_cast<Pos>(starts.size()));
      starts.erase(starts.begin(), starts.begin() + (keep - first));
      times.erase(times.begin(), times.begin() + (keep - first));
      first = keep;
      index.DropFront(keep);
      const Pos start = starts.front() - pick(3000);
      starts.push_front(start);
      times.push_front(++now);
      --first;
      index.PushFront(start, now);
      lowest = std::min(lowest, first);
    } else if (r < 96) {  // an edit in the middle gives the lines behind it their times back
      const auto from = static_cast<std::size_t>(pick(static_cast<Pos>(starts.size())));
      std::vector<std::time_t> back;
      for (std::size_t i = from; i < starts.size(); ++i) back.push_back(times[i] = now - pick(3));
      index.SetTimes(first + static_cast<Pos>(from), back);
    }
    if (step % 997 != 0 && step + 1 < 60000) continue;
    ASSERT_EQ(index.First(), first);
    ASSERT_EQ(index.End(), first + static_cast<Pos>(starts.size()));
    for (std::size_t i = 0; i < starts.size(); ++i) {
      const Pos line = first + static_cast<Pos>(i);
      ASSERT_EQ(index.Start(line), starts[i]) << "line " << line << " step " << step;
      ASSERT_EQ(index.Time(line), times[i]) << "line " << line << " step " << step;
    }
    const Pos at = starts[static_cast<std::size_t>(pick(static_cast<Pos>(starts.size())))];
    const auto last = std::upper_bound(starts.begin(), starts.end(), at) - starts.begin() - 1;
    ASSERT_EQ(index.LineAt(at), first + last);
    ASSERT_EQ(index.LineAt(starts.front() - 1), first - 1);
  }
  EXPECT_LT(lowest, -LineIndex::kBlockLines);
  EXPECT_GT(first, 0);
}
}  // namespace
