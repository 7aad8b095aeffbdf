// The output pane's look. Colour runs and the caret rules are the transcript
// model's test; appends while a screen reader selects, and the view following
// appended lines, are the pane's.
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
  DialogHarness h("");
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

}  // namespace
