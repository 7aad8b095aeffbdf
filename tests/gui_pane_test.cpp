// The drawn output pane as the user and a screen reader meet it: keys,
// long lines that never wrap, mouse, find bar, saving, the time column, the context menu, the accessible
// text with its events, and the limit that drops the oldest lines.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QWheelEvent>
#include <csignal>
#include <fstream>
#include <regex>

#include "DialogHarness.h"
#include "res/resource.h"

namespace {

QAbstractScrollArea* PaneOf(DialogHarness& h) { return qobject_cast<QAbstractScrollArea*>(h.Item(IDC_OUTPUT)); }
QAccessibleTextInterface* TextOf(DialogHarness& h) {
  return QAccessible::queryAccessibleInterface(h.Item(IDC_OUTPUT))->textInterface();
}
std::pair<int, int> Selection(DialogHarness& h) {
  int a = 0;
  int b = 0;
  TextOf(h)->selection(0, &a, &b);
  return {a, b};
}
QPoint ViewportPoint(DialogHarness& h, int offset) {
  const QRect r = TextOf(h)->characterRect(offset);  // the left edge of the character's cell
  return PaneOf(h)->viewport()->mapFromGlobal(QPoint(r.left() + 1, r.center().y()));
}
// Opens the pane's context menu and picks the entry whose text starts with `entry`.
void PickFromContextMenu(DialogHarness& h, const QString& entry) {
  bool picked = false;
  WithPaneMenu(PaneOf(h), [&](QMenu* menu) {
    for (QAction* a : menu ? menu->actions() : QList<QAction*>())
      if (a->text().remove(QLatin1Char('&')).startsWith(entry)) {
        picked = true;
        a->trigger();
      }
  });
  ASSERT_TRUE(picked) << entry.toStdString();
}

TEST(Pane, KeyboardSelectsCopiesAndPages) {
  DialogHarness h("");
  OutputLog& log = h.Dlg().m_transcript;
  QAbstractScrollArea* pane = PaneOf(h);
  h.ProcessEvents();
  EXPECT_EQ(pane->horizontalScrollBar()->value(), 0);
  EXPECT_EQ(pane->verticalScrollBar()->value(), 0);  // the banner fits

  // ScrollToNewLines moves the view down by the lines added, no further than
  // the last full page: from the top, 500 lines take it to that page.
  log.BeginAppend(TranscriptKind::Command);
  int before = log.GetLineCount();
  for (int i = 0; i < 500; ++i) log.AppendText("line " + std::to_string(i) + "\n");
  log.ScrollToNewLines(before);
  EXPECT_EQ(log.GetFirstVisibleLine(), log.GetLineCount() - log.GetVisibleLineCount());
  // From a view scrolled up to read, the step shows whole: one line, one line down.
  pane->verticalScrollBar()->setValue(100);
  before = log.GetLineCount();
  log.AppendText("caf\xE9 \x80" + std::string(300, '-') + "\n");
  log.ScrollToNewLines(before);
  EXPECT_EQ(log.GetFirstVisibleLine(), 101);
  const std::string all = log.GetText();
  pane->setFocus();

  QTest::keyClick(pane, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(TextOf(h)->cursorPosition(), 0);
  EXPECT_EQ(log.GetFirstVisibleLine(), 0);
  QTest::keyClick(pane, Qt::Key_End, Qt::ShiftModifier);
  QTest::keyClick(pane, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), all.substr(0, all.find('\n')));

  const int page = log.GetVisibleLineCount();
  QTest::keyClick(pane, Qt::Key_PageDown);
  EXPECT_EQ(log.GetFirstVisibleLine(), page);
  QTest::keyClick(pane, Qt::Key_PageDown);
  QTest::keyClick(pane, Qt::Key_PageUp);
  EXPECT_EQ(log.GetFirstVisibleLine(), page);
  const QPointF at(20, 20);
  QWheelEvent down(at, pane->viewport()->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
  QApplication::sendEvent(pane->viewport(), &down);
  EXPECT_EQ(log.GetFirstVisibleLine(), page + QApplication::wheelScrollLines());

  // The long last line: End goes to its end and the view follows sideways.
  QTest::keyClick(pane, Qt::Key_End, Qt::ControlModifier);
  QTest::keyClick(pane, Qt::Key_Up);
  QTest::keyClick(pane, Qt::Key_End);
  EXPECT_EQ(TextOf(h)->cursorPosition(), static_cast<int>(all.size()) - 1);
  EXPECT_GT(pane->horizontalScrollBar()->value(), 0);
  EXPECT_GE(log.GetFirstVisibleLine(), log.GetLineCount() - page);
  // It stays one row: the pane does not wrap.
  const QRect lineStart = TextOf(h)->characterRect(static_cast<int>(all.rfind('\n', all.size() - 2)) + 1);
  const QRect lineEnd = TextOf(h)->characterRect(static_cast<int>(all.size()) - 2);
  EXPECT_EQ(lineEnd.top(), lineStart.top());
  EXPECT_GT(lineEnd.left() - lineStart.left(), pane->width());

  QTest::keyClick(pane, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(pane, Qt::Key_C, Qt::ControlModifier);
  const QString copied = QApplication::clipboard()->text();
  EXPECT_EQ(copied.size(), static_cast<qsizetype>(all.size()));
  EXPECT_TRUE(copied.contains(QString::fromUtf8("caf\u00E9 \u20AC---")));                 // Windows-1252, not Latin-1
  EXPECT_EQ(QApplication::clipboard()->mimeData()->data("text/plain"), copied.toUtf8());  // what other programs get
  EXPECT_EQ(Selection(h), std::make_pair(0, static_cast<int>(all.size())));
}

TEST(Pane, MouseDragsASelectionAndDoubleClickTakesAWord) {
  DialogHarness h("");
  OutputLog& log = h.Dlg().m_transcript;
  const long start = log.GetWindowTextLength();
  log.AppendKind("alpha beta_2 gamma\nsecond line\n", TranscriptKind::Command);
  h.ProcessEvents();
  QWidget* vp = PaneOf(h)->viewport();
  QTest::mousePress(vp, Qt::LeftButton, {}, ViewportPoint(h, static_cast<int>(start) + 6));
  QTest::mouseMove(vp, ViewportPoint(h, static_cast<int>(start) + 22));
  QTest::mouseRelease(vp, Qt::LeftButton, {}, ViewportPoint(h, static_cast<int>(start) + 22));
  const auto [a, b] = Selection(h);
  EXPECT_EQ(TextOf(h)->text(a, b).toStdString(), "beta_2 gamma\nsec");

  QTest::mouseDClick(vp, Qt::LeftButton, {}, ViewportPoint(h, static_cast<int>(start) + 8));
  const auto [c, d] = Selection(h);
  EXPECT_EQ(TextOf(h)->text(c, d).toStdString(), "beta_2");
}

TEST(Pane, FindBarFindsIgnoringCaseWrapsAndScrollsToTheMatch) {
  DialogHarness h("");
  OutputLog& log = h.Dlg().m_transcript;
  log.BeginAppend(TranscriptKind::Command);
  for (int i = 0; i < 3000; ++i) log.AppendText("200- user" + std::to_string(i) + (i == 2500 ? " Needle" : "") + "\n");
  log.AppendText("200 needle at the end\n");
  const std::string all = log.GetText();
  const auto first = static_cast<int>(all.find("Needle"));
  const auto last = static_cast<int>(all.find("needle at"));
  QAbstractScrollArea* pane = PaneOf(h);
  pane->setFocus();
  QTest::keyClick(pane, Qt::Key_Home, Qt::ControlModifier);

  QTest::keyClick(pane, Qt::Key_F, Qt::ControlModifier);
  auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  ASSERT_NE(field, nullptr);
  ASSERT_TRUE(pane->isAncestorOf(field));
  QTest::keyClicks(field, "NEEDLE");
  EXPECT_EQ(Selection(h), std::make_pair(first, first + 6));
  const auto matchLine = static_cast<int>(std::count(all.begin(), all.begin() + first, '\n'));
  const int top = log.GetFirstVisibleLine();
  EXPECT_LE(top, matchLine);
  EXPECT_GT(top + log.GetVisibleLineCount(), matchLine);

  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(Selection(h), std::make_pair(last, last + 6));
  QTest::keyClick(field, Qt::Key_Return);  // wraps to the first again
  EXPECT_EQ(Selection(h), std::make_pair(first, first + 6));
  QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);  // and backwards to the last
  EXPECT_EQ(Selection(h), std::make_pair(last, last + 6));

  auto* matchCase = pane->findChild<QCheckBox*>();
  ASSERT_NE(matchCase, nullptr);
  matchCase->setChecked(true);  // "NEEDLE" is nowhere in capitals
  EXPECT_EQ(Selection(h), std::make_pair(last, last + 6));
  bool saysNotFound = false;
  for (QLabel* l : pane->findChildren<QLabel*>()) saysNotFound |= l->isVisible() && l->text() == "Not found";
  EXPECT_TRUE(saysNotFound);

  QTest::keyClick(field, Qt::Key_Escape);
  EXPECT_FALSE(field->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), pane);
}

TEST(Pane, SavesBytesExactlyWithOrWithoutTimesAndKeepsTheOldFileOnFailure) {
  DialogHarness h("");
  OutputLog& log = h.Dlg().m_transcript;
  log.AppendKind("\n>SITE WHO\n200 caf\xE9\r\nend", TranscriptKind::Command);
  const auto file = h.folder / "saved.txt";
  ASSERT_TRUE(log.SaveTranscript(file.string(), false));
  EXPECT_EQ(ReadFile(file), log.GetText());

  ASSERT_TRUE(log.SaveTranscript(file.string(), true));
  // Every line stamped "HH:MM:SS "; which line gets a stamp is the transcript's test.
  const std::string timed = ReadFile(file);
  const std::regex stamped(R"((^|\n)\d\d:\d\d:\d\d )");
  EXPECT_EQ(std::distance(std::sregex_iterator(timed.begin(), timed.end(), stamped), std::sregex_iterator()),
            log.GetLineCount()) << timed;

  // A disk that fills up: the write fails, the box says so, the old file stays
  // and no half-written file is left beside it.
  log.AppendKind(std::string(300000, 'x') + "\n", TranscriptKind::Command);
  const std::string old = "the old transcript\n";
  std::ofstream(file, std::ios::binary) << old;
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 100000;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool ok = log.SaveTranscript(file.string(), false);
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_FALSE(ok);
  EXPECT_EQ(ReadFile(file), old);
  ASSERT_EQ(h.boxes.size(), 1u);
  EXPECT_NE(h.boxes[0].text.find("could not be saved"), std::string::npos);
  EXPECT_EQ(h.boxes[0].type, platform::kBoxError);
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(h.folder)) ++files;
  EXPECT_EQ(files, 2);  // commandList.ini and saved.txt
}

TEST(Pane, ShowTimesIsRememberedLeavesTheTextAloneAndClearEmpties) {
  int plainLeft = 0;
  {
    DialogHarness h("");
    h.ProcessEvents();
    const std::string text = h.Pane();
    plainLeft = TextOf(h)->characterRect(0).left();
    PickFromContextMenu(h, "Show Times");
    h.ProcessEvents();
    EXPECT_GT(TextOf(h)->characterRect(0).left(), plainLeft + 40);  // a gutter of "HH:MM:SS"
    EXPECT_EQ(h.Pane(), text);
    EXPECT_TRUE(QSettings("Dunvarrow", "korvastel").value("pane/showTimes").toBool());
  }
  DialogHarness h("");
  h.ProcessEvents();
  EXPECT_GT(TextOf(h)->characterRect(0).left(), plainLeft + 40);
  PickFromContextMenu(h, "Show Times");
  h.ProcessEvents();
  EXPECT_EQ(TextOf(h)->characterRect(0).left(), plainLeft);
  EXPECT_FALSE(QSettings("Dunvarrow", "korvastel").value("pane/showTimes").toBool());

  PickFromContextMenu(h, "Clear");
  EXPECT_EQ(h.Pane(), "");
  EXPECT_EQ(h.Dlg().m_transcript.GetLineCount(), 1);
  h.Dlg().m_transcript.AppendKind("\n>SITE WHO\n", TranscriptKind::Command);  // the pane goes on after a clear
  EXPECT_EQ(h.Pane(), "\n>SITE WHO\n");
}

// A screen reader may move the caret or select text while a reply arrives
// (its calls get past the input blocker): the reply still goes to the end and
// what it selected stays. The events it gets need a live accessibility bus;
// the end-to-end check (pane_atspi_check.py) listens for them.
TEST(Pane, AccessibleTextReadsTextLinesWordsAndColourRuns) {
  DialogHarness h("");
  OutputLog& log = h.Dlg().m_transcript;
  h.ProcessEvents();
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(h.Item(IDC_OUTPUT));
  QAccessibleTextInterface* t = a->textInterface();
  const auto start = static_cast<int>(log.GetWindowTextLength());
  log.BeginAppend(TranscriptKind::Command);
  log.AppendText("\n>SITE WHO\n");
  t->setSelection(0, start + 2, start + 6);  // "SITE"
  log.AppendText("200-one\n");
  t->setCursorPosition(start + 1);
  log.BeginAppend(TranscriptKind::Notice);  // another kind in the same colour: one run
  log.AppendText("200 two\n");
  h.ProcessEvents();
  log.AppendKind("\n>Disconnected.\n", TranscriptKind::Disconnect);
  h.ProcessEvents();
  EXPECT_EQ(log.GetText().substr(static_cast<std::size_t>(start)), "\n>SITE WHO\n200-one\n200 two\n\n>Disconnected.\n");
  EXPECT_EQ(t->selectionCount(), 0);
  EXPECT_EQ(t->cursorPosition(), start + 1);

  EXPECT_EQ(a->role(), QAccessible::EditableText);
  EXPECT_TRUE(a->state().multiLine);
  EXPECT_EQ(t->characterCount(), static_cast<int>(log.GetWindowTextLength()));
  EXPECT_EQ(t->text(start + 1, start + 10).toStdString(), ">SITE WHO");
  int s = 0;
  int e = 0;
  EXPECT_EQ(t->textAtOffset(start + 13, QAccessible::LineBoundary, &s, &e).toStdString(), "200-one\n");
  EXPECT_EQ(t->textAfterOffset(start + 13, QAccessible::LineBoundary, &s, &e).toStdString(), "200 two\n");
  EXPECT_EQ(t->textAtOffset(start + 13, QAccessible::WordBoundary, &s, &e).toStdString(), "200");
  const QString banner = t->attributes(0, &s, &e);
  EXPECT_EQ(std::make_pair(s, e), std::make_pair(0, start));
  EXPECT_TRUE(banner.contains("color:rgb(255,255,255);")) << banner.toStdString();
  EXPECT_TRUE(banner.contains("font-weight:700;"));
  EXPECT_TRUE(t->attributes(start + 5, &s, &e).contains("color:rgb(128,160,255);"));
  EXPECT_EQ(std::make_pair(s, e), std::make_pair(start, start + 27));
  EXPECT_TRUE(t->attributes(start + 30, &s, &e).contains("color:rgb(255,160,128);"));

  t->setSelection(0, start + 2, start + 6);
  log.AppendKind("200 three\n", TranscriptKind::Command);
  EXPECT_EQ(Selection(h), std::make_pair(start + 2, start + 6));
  EXPECT_EQ(t->cursorPosition(), start + 6);
  EXPECT_TRUE(log.EndsWith("\n>Disconnected.\n200 three\n"));
}

// With a limit of 1 MB, a long reply loses its oldest lines: the view, the
// selection, copy and find stay in step, and the accessible text starts with the
// line that says what went and where to raise the limit.
TEST(Pane, DropsTheOldestLinesAndKeepsViewSelectionAndFindInStep) {
  QSettings("Dunvarrow", "korvastel").setValue("pane/maxMegabytes", 1);
  DialogHarness h("");
  QSettings("Dunvarrow", "korvastel").remove("pane/maxMegabytes");
  OutputLog& log = h.Dlg().m_transcript;
  QAbstractScrollArea* pane = PaneOf(h);
  QAccessibleTextInterface* t = TextOf(h);
  h.ProcessEvents();

  const auto line = [](int n) { return "200-line " + std::to_string(n) + "." + std::string(40, ' ') + "\n"; };
  log.BeginAppend(TranscriptKind::Command);
  log.AppendText("\n>SITE USERS\n");
  const int first = log.GetLineCount() - 1;  // the number of line 0's line
  int selectionEnd = 0;
  for (int n = 0; n < 30000; ++n) {
    log.AppendText(line(n));
    if (n == 24990) selectionEnd = static_cast<int>(log.GetWindowTextLength()) + 4;
    if (n == 25000) {  // from the banner into what is kept; line 24000 at the top
      t->setSelection(0, 3, selectionEnd);
      log.LineScroll(first + 24000 - log.GetFirstVisibleLine());
    }
    if (n % 1000 == 0) h.ProcessEvents();
  }
  h.ProcessEvents();
  const std::string all = log.GetText();
  const auto at = [&all, &line](int n) { return static_cast<int>(all.find(line(n))); };
  EXPECT_LE(all.size(), 1u << 20);
  EXPECT_EQ(at(0), -1);

  int s = 0;
  int e = 0;
  const std::string top = t->textAtOffset(0, QAccessible::LineBoundary, &s, &e).toStdString();
  EXPECT_TRUE(top.starts_with("Earlier text was dropped: ")) << top;
  EXPECT_NE(top.find("This pane keeps the newest 1.0 MB of the transcript. To keep more, raise maxMegabytes under "
                     "[pane] in " + QSettings("Dunvarrow", "korvastel").fileName().toStdString()),
            std::string::npos)
      << top;
  EXPECT_TRUE(t->attributes(0, &s, &e).contains("color:rgb(255,160,128);"));
  EXPECT_EQ(std::make_pair(s, e), std::make_pair(0, static_cast<int>(top.size())));
  EXPECT_TRUE(t->attributes(at(24000), &s, &e).contains("color:rgb(128,160,255);"));

  // What was selected of the dropped text went; the rest stays selected.
  EXPECT_EQ(Selection(h), std::make_pair(static_cast<int>(top.size()), at(24991) + 4));
  PaneOf(h)->setFocus();
  QTest::keyClick(pane, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), all.substr(top.size(), at(24991) + 4 - top.size()));
  // The view shows the lines it showed.
  EXPECT_EQ(log.GetFirstVisibleLine(), first + 24000);
  EXPECT_EQ(t->characterRect(at(24000)).top(), pane->viewport()->mapToGlobal(QPoint(0, 0)).y());

  // A block that spans drops scrolls down by the lines it added.
  const int before = log.GetLineCount();
  for (int n = 30000; n < 35000; ++n) log.AppendText(line(n));
  log.ScrollToNewLines(before);
  EXPECT_EQ(log.GetFirstVisibleLine(), first + 29000);

  QTest::keyClick(pane, Qt::Key_F, Qt::ControlModifier);
  QTest::keyClicks(QApplication::focusWidget(), "line 34000.");
  const int found = static_cast<int>(log.GetText().find(line(34000))) + 4;
  EXPECT_EQ(Selection(h), std::make_pair(found, found + 11));
}

}  // namespace
