// The transcript model: line index, runs of kinds of text, edits in the middle, its
// view, search across chunk borders, and writing with and without times.
#include "Transcript.h"

#include <gtest/gtest.h>

#include <memory>
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
  bool gone = false;
  void OnAppended(Transcript::Pos from, Transcript::Pos to) override { appended.push_back({from, to}); }
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
  EXPECT_EQ(t.Find("needle", 0, true, true), first);
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

}  // namespace
