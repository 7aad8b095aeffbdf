// The tabbed window: one tab alone looks as the dialog always did, further
// tabs bring the tab bar, the keys switch and close tabs, and each tab's
// session runs on while another waits. Offscreen, against scripted servers.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QLineEdit>
#include <QTabBar>
#include <QTest>

#include "DialogHarness.h"
#include "SiteScripts.h"
#include "WindowHarness.h"
#include "res/resource.h"

namespace {

using namespace siteserver;

// The page tabs a screen reader finds anywhere in the window, hidden or not.
int PageTabs(QAccessibleInterface* node) {
  if (!node) return 0;
  int count = node->role() == QAccessible::PageTab || node->role() == QAccessible::PageTabList;
  for (int i = 0; i < node->childCount(); ++i) count += PageTabs(node->child(i));
  return count;
}

class Tabs : public ::testing::Test, public WindowHarness {
 protected:
  Tabs() { window->onAllClosed = [this] { allClosed = true; }; }
  ~Tabs() override {
    if (window) window->onAllClosed = {};
  }
  QTabBar* Bar() const { return window->findChild<QTabBar*>(); }
  bool allClosed = false;
};

TEST_F(Tabs, OneTabIsTheDialogAloneAndTheKeysOpenSwitchAndCloseTabs) {
  CSiteCmdDlg& first = window->NewTab();
  // Beside the dialog only the three buttons, below it; no tab bar, not even for a screen reader.
  EXPECT_EQ(Bar(), nullptr);
  EXPECT_EQ(PageTabs(QAccessible::queryAccessibleInterface(window.get())), 0);
  const QRect dialog = first.geometry();
  for (const char* name : {"Site Manager", "New Tab", "Run on Sites"}) {
    QAbstractButton* button = Named<QAbstractButton>(window.get(), name);
    ASSERT_TRUE(button) << name;
    EXPECT_GE(button->geometry().top(), dialog.bottom()) << name;
  }
  EXPECT_EQ(boxes.size(), 1u);  // the missing command list, said once
  // The window bears the dialog's name, as the dialog alone did.
  EXPECT_TRUE(WaitUntil([&] { return window->windowTitle() == "-= Korvastel 1.0.1.2 =-"; }));

  // The keys work wherever the focus is in the window: here in the host field.
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
  ASSERT_EQ(window->TabCount(), 2);
  ASSERT_NE(Bar(), nullptr);
  EXPECT_TRUE(Bar()->isVisible());
  EXPECT_EQ(PageTabs(QAccessible::queryAccessibleInterface(window.get())), 3);  // the list and its two tabs
  EXPECT_EQ(window->CurrentIndex(), 1);
  EXPECT_EQ(Bar()->tabText(1), "New Tab");
  // Only the tab in front is shown (and painted, and read by a screen reader).
  EXPECT_FALSE(first.isVisible());
  EXPECT_TRUE(window->Tab(1).isVisible());
  EXPECT_EQ(boxes.size(), 1u) << "a second tab says nothing more of the command list";
  window->NewTab();
  QTest::keyClick(window.get(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(window->CurrentIndex(), 0);
  QTest::keyClick(window.get(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(window->CurrentIndex(), 2);

  QTest::keyClick(window.get(), Qt::Key_W, Qt::ControlModifier);
  ASSERT_TRUE(WaitUntil([&] { return window->TabCount() == 2; }));
  EXPECT_TRUE(Bar()->isVisible());
  QTest::keyClick(window.get(), Qt::Key_W, Qt::ControlModifier);
  ASSERT_TRUE(WaitUntil([&] { return window->TabCount() == 1; }));
  EXPECT_EQ(Bar(), nullptr);
  EXPECT_EQ(PageTabs(QAccessible::queryAccessibleInterface(window.get())), 0);
  EXPECT_EQ(&window->Tab(0), &first);
  EXPECT_FALSE(allClosed);
  window->close();
  ASSERT_TRUE(WaitUntil([&] { return allClosed; }));
}

TEST_F(Tabs, ALongWaitInOneTabNeverStopsAnotherAndClosingItDropsItsLine) {
  auto slow = Serve({LoginThen({ExpectLine(), Hold()})});
  auto quick = Serve({LoginThen(Answers(1))});
  CSiteCmdDlg& a = window->NewTab();
  CSiteCmdDlg& b = window->NewTab();
  ASSERT_TRUE(ConnectTab(a, slow->Port())) << a.m_transcript.GetText();
  ASSERT_TRUE(ConnectTab(b, quick->Port())) << b.m_transcript.GetText();
  EXPECT_EQ(Bar()->tabText(0), "u@127.0.0.1");

  a.SendCommand("SITE WHO");  // never answered
  ASSERT_TRUE(WaitUntil([&] { return slow->Received(0).find("SITE WHO") != std::string::npos; }));
  b.SendCommand("SITE USERS");
  ASSERT_TRUE(WaitUntil([&] { return b.m_transcript.GetText().find("200 ok") != std::string::npos; }));
  EXPECT_TRUE(a.IsWorking());

  window->CloseTab(a);
  ASSERT_TRUE(WaitUntil([&] { return window->TabCount() == 1 && slow->ClientClosed(0); }));
  EXPECT_TRUE(b.IsConnected());
}

// The session's end without a close (a logout, a signal): the window goes
// with its tabs open and the caret in an edit, and no handler of a tab
// being torn down may run.
TEST_F(Tabs, DestroyedWithItsTabsOpenItRunsNoHandlerOfAGoneTab) {
  for (int i = 0; i < 3; ++i) window->NewTab();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  for (int i = 0; i < 3; ++i) {
    window->SetCurrent(i);
    auto* port = qobject_cast<QLineEdit*>(window->Tab(i).Control(IDC_PORT));
    port->setFocus();
    port->setText("x");  // a field that can't be read: leaving it would say so in a box
  }
  const std::size_t before = boxes.size();
  window.reset();
  EXPECT_EQ(boxes.size(), before);
}

}  // namespace
