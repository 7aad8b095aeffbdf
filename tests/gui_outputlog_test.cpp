// The output pane: its look, and appends at the end whatever a screen reader
// did in it. Colour runs and the caret rules are the transcript model's test;
// the view following appended lines is the pane's.
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

TEST(OutputLog, BannerLookAndNoWrapping) {
  const std::string empty;
  DialogHarness h(&empty);
  h.Start();
  OutputLog& log = h.Dlg().m_transcript;
  const std::string banner = log.GetText();
  EXPECT_EQ(banner.rfind("-= Korvastel version 1.0.1.2 BETA =- ", 0), 0u);
  EXPECT_EQ(log.GetColorAt(0), logTextColor);

  QWidget* pane = h.Item(IDC_OUTPUT);
  EXPECT_EQ(pane->palette().color(QPalette::Base), QColor(80, 80, 80));
  EXPECT_TRUE(pane->font().bold());
  // No wrapping: the end of a line far wider than the pane stays on its row.
  const long wide = log.GetWindowTextLength();
  log.AppendKind(std::string(2000, 'w') + "\n", TranscriptKind::Text);
  h.ProcessEvents();
  const QRect first = PaneText(h)->characterRect(static_cast<int>(wide));
  const QRect last = PaneText(h)->characterRect(static_cast<int>(wide) + 1999);
  EXPECT_EQ(last.top(), first.top());
  EXPECT_GT(last.left() - first.left(), pane->width());
}

// A screen reader may move the caret or select text while a reply arrives
// (its calls get past the input blocker): the rest of the reply still goes
// to the end, and what it selected stays selected and unchanged.
TEST(OutputLog, AppendsGoToTheEndWhileAScreenReaderSelectsMidReply) {
  const std::string empty;
  DialogHarness h(&empty);
  h.Start();
  OutputLog& log = h.Dlg().m_transcript;
  const auto start = static_cast<int>(log.GetWindowTextLength());
  log.BeginAppend(TranscriptKind::Command);
  log.AppendText("\n>SITE WHO\n");
  PaneText(h)->setSelection(0, start + 2, start + 6);  // "SITE"
  log.AppendText("200-one\n");
  PaneText(h)->setCursorPosition(start + 1);
  log.AppendText("200 two\n");
  log.BeginAppend(TranscriptKind::Disconnect);  // the next block leaves the caret alone too
  log.AppendText("\n>Disconnected.\n");

  const std::string text = log.GetText();
  EXPECT_EQ(text.substr(static_cast<std::size_t>(start)), "\n>SITE WHO\n200-one\n200 two\n\n>Disconnected.\n");
  EXPECT_EQ(log.GetColorAt(start + 20), logCommandColor);
  EXPECT_EQ(log.GetColorAt(static_cast<long>(text.size()) - 2), logDisconnectColor);
  EXPECT_EQ(PaneText(h)->selectionCount(), 0);
  EXPECT_EQ(PaneText(h)->cursorPosition(), start + 1);

  PaneText(h)->setSelection(0, start + 2, start + 6);
  log.AppendKind("200 three\n", TranscriptKind::Command);
  int a = 0;
  int b = 0;
  PaneText(h)->selection(0, &a, &b);
  EXPECT_EQ(std::make_pair(a, b), std::make_pair(start + 2, start + 6));
  EXPECT_EQ(PaneText(h)->text(a, b).toStdString(), "SITE");
  EXPECT_TRUE(log.EndsWith("\n>Disconnected.\n200 three\n"));
}

}  // namespace
