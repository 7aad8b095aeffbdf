// The output pane: its format, colours, appends at the end whatever the user
// did in it, and line counting and scrolling as the writers rely on them.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QTest>
#include <QWidget>

#include "DialogHarness.h"
#include "res/resource.h"

namespace {

QAccessibleTextInterface* PaneText(DialogHarness& h) {
  return QAccessible::queryAccessibleInterface(h.Item(IDC_OUTPUT))->textInterface();
}

// Lines as the pane presents them to a reader of its text.
int ShownLines(DialogHarness& h) {
  QAccessibleTextInterface* text = PaneText(h);
  int lines = 0;
  int start = 0;
  int end = 0;
  for (int at = 0;; at = end) {
    text->textAtOffset(at, QAccessible::LineBoundary, &start, &end);
    ++lines;
    if (end >= text->characterCount()) break;
  }
  // A final line end opens one more, empty line.
  if (text->characterCount() > 0 && text->text(text->characterCount() - 1, text->characterCount()) == "\n") ++lines;
  return lines;
}

TEST(OutputLog, BannerFormatAndColouredAppends) {
  const std::string empty;
  DialogHarness h(&empty);
  h.Start();
  OutputLog& log = h.Dlg().m_richOutput;
  const std::string banner = log.GetText();
  EXPECT_EQ(banner.rfind("-= Korvastel version 1.0.1.2 BETA =- ", 0), 0u);
  EXPECT_NE(banner.find("\n" + std::string(85, '~') + "\n\n"), std::string::npos);
  EXPECT_NE(banner.find("This version allows you to add or modify your custom commands in an ini file.\n"
                        "You can also use multiple commands now that use up to 9 different parameters.\n"
                        "Please send any bugs to the address given above. \n\n\n"),
            std::string::npos);
  EXPECT_EQ(log.GetColorAt(0), logTextColor);

  QWidget* pane = h.Item(IDC_OUTPUT);
  EXPECT_EQ(pane->palette().color(QPalette::Base), QColor(80, 80, 80));
  EXPECT_TRUE(pane->font().bold());
  // No wrapping: the end of a line far wider than the pane stays on its row.
  const long wide = log.GetWindowTextLength();
  log.AppendColored(std::string(2000, 'w') + "\n", logTextColor);
  h.ProcessEvents();
  const QRect first = PaneText(h)->characterRect(static_cast<int>(wide));
  const QRect last = PaneText(h)->characterRect(static_cast<int>(wide) + 1999);
  EXPECT_EQ(last.top(), first.top());
  EXPECT_GT(last.left() - first.left(), pane->width());

  const long start = log.GetWindowTextLength();
  log.AppendColored("\n>SITE WHO\n", logCommandColor);
  log.AppendText("200 nobody\n");  // a reply line takes its exchange's colour
  log.AppendColored("\n>Disconnected.\n", logDisconnectColor);
  EXPECT_EQ(log.GetText().substr(static_cast<std::size_t>(start)), "\n>SITE WHO\n200 nobody\n\n>Disconnected.\n");
  EXPECT_EQ(log.GetColorAt(start + 1), logCommandColor);
  EXPECT_EQ(log.GetColorAt(start + 12), logCommandColor);
  EXPECT_EQ(log.GetColorAt(start + 25), logDisconnectColor);
}

TEST(OutputLog, AppendsGoToTheEndAfterTheUserClickedAndTyped) {
  const std::string empty;
  DialogHarness h(&empty);
  h.Start();
  OutputLog& log = h.Dlg().m_richOutput;
  QWidget* pane = h.Item(IDC_OUTPUT);
  pane->setFocus();
  PaneText(h)->setCursorPosition(5);
  QTest::keyClicks(pane, "typed");
  ASSERT_NE(log.GetText().find("typed"), std::string::npos);

  log.BeginColoredAppend(logCommandColor);
  log.AppendText("\n>SITE WHO\n");
  log.AppendText("200 ok\n");
  const std::string text = log.GetText();
  EXPECT_EQ(text.substr(text.size() - 18), "\n>SITE WHO\n200 ok\n");
  EXPECT_EQ(log.GetColorAt(static_cast<long>(text.size()) - 3), logCommandColor);

  // Every byte of the code page survives.
  std::string bytes;
  for (int b = 1; b < 256; ++b)
    if (b != '\n' && b != '\r') bytes.push_back(static_cast<char>(b));
  const long start = log.GetWindowTextLength();
  log.AppendColored(bytes, logCommandColor);
  EXPECT_EQ(log.GetText().substr(static_cast<std::size_t>(start)), bytes);
}

TEST(OutputLog, LineCountsAndScrollingFollowTheAppendedLines) {
  const std::string empty;
  DialogHarness h(&empty);
  h.Start();
  OutputLog& log = h.Dlg().m_richOutput;
  log.BeginColoredAppend(logCommandColor);
  const int before = log.GetLineCount();
  // LF, CR and CR LF each end one line, as the document counts them.
  log.AppendText("a\nb\rc\r\nd");
  log.AppendText("\r");
  log.AppendText("\ne\n");
  const int counted = log.GetLineCount();
  EXPECT_EQ(counted - before, 5);
  log.ScrollToNewLines(before);
  log.GetText();  // the pending text reaches the document
  EXPECT_EQ(ShownLines(h), counted);

  const int top = log.GetFirstVisibleLine();
  const int noted = log.GetLineCount();
  for (int i = 0; i < 300; ++i) log.AppendText("line " + std::to_string(i) + "\n");
  log.ScrollToNewLines(noted);
  EXPECT_GE(log.GetFirstVisibleLine(), top + 250);  // the view follows the new lines
  EXPECT_EQ(log.GetText().substr(log.GetText().size() - 9), "line 299\n");
}

}  // namespace
