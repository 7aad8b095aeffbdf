// The output pane does not wrap: a long line stays one row, read to its end by
// scrolling sideways. Everything else about the pane is gui_pane_test's.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QWidget>

#include "DialogHarness.h"
#include "res/resource.h"

namespace {

TEST(OutputLog, NoWrapping) {
  DialogHarness h("");
  OutputLog& log = h.Dlg().m_transcript;
  QWidget* pane = h.Item(IDC_OUTPUT);
  const int wide = static_cast<int>(log.GetWindowTextLength());
  log.AppendKind(std::string(2000, 'w') + "\n", TranscriptKind::Text);
  h.ProcessEvents();
  QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(pane)->textInterface();
  const QRect first = text->characterRect(wide);
  const QRect last = text->characterRect(wide + 1999);
  EXPECT_EQ(last.top(), first.top());
  EXPECT_GT(last.left() - first.left(), pane->width());
}

}  // namespace
