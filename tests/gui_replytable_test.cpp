// The Reply Table window as the user meets it: headers that sort numbers
// as numbers and reverse on a second click, the filter, Copy and Save that
// a spreadsheet opens safely; and the pane's "Show as Table" item.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "DialogHarness.h"
#include "ReplyTableWindow.h"
#include "SiteScripts.h"
#include "res/resource.h"

using namespace siteserver;

namespace {

// A column of the view as shown, top to bottom.
std::string Column(QTableView* view, int column) {
  std::string cells;
  for (int row = 0; row < view->model()->rowCount(); ++row)
    cells += view->model()->index(row, column).data().toString().toStdString() + ";";
  return cells;
}

void ClickHeader(QTableView* view, int column) {
  QHeaderView* header = view->horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(column) + 4, header->height() / 2));
}

ReplyTableWindow* OpenTableWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->windowTitle() == "Reply Table" && w->isVisible()) return dynamic_cast<ReplyTableWindow*>(w);
  return nullptr;
}

// A pane menu item as the menu shows it: enabled, tooltip; triggered when asked.
std::pair<bool, std::string> MenuItem(DialogHarness& h, bool trigger, const char* text = "Show as Ta&ble") {
  std::pair<bool, std::string> seen{false, "no item"};
  WithPaneMenu(h.Dlg().m_transcript.ScrollArea(), [&](QMenu* menu) {
    for (QAction* a : menu ? menu->actions() : QList<QAction*>())
      if (a->text() == text) {
        seen = {a->isEnabled(), (menu->toolTipsVisible() ? "" : "hidden: ") + a->toolTip().toStdString()};
        if (trigger) a->trigger();
      }
  });
  return seen;
}

}  // namespace

TEST(ReplyTableWindow, SortsNumbersAsNumbersFiltersAndCopiesSafely) {
  QApplication::clipboard()->clear();
  ReplyTable table{{"User", "Up", "Idle"},
                   {{"bob", "512 MB", "12:40"}, {"alice", "10 GB", "0:01"}, {"=cmd()", "2 KB", "1:00:00"},
                    {"Carol", "", "9:59"}}};
  ReplyTableWindow window(table, "SITE USERS", "alpha");
  window.show();
  ASSERT_EQ(window.windowTitle(), "Reply Table");
  QStringList labels;
  for (QLabel* label : window.findChildren<QLabel*>()) labels << label->text();
  EXPECT_TRUE(labels.contains("Command: SITE USERS") && labels.contains("Site: alpha")) << labels.join('|').toStdString();
  auto* view = Named<QTableView>(&window, "Rows");
  EXPECT_EQ(Column(view, 0), "bob;alice;=cmd();Carol;") << "the reply's order until a header is clicked";

  ClickHeader(view, 1);
  EXPECT_EQ(Column(view, 1), ";2 KB;512 MB;10 GB;") << "sizes by their bytes, the empty cell first";
  ClickHeader(view, 1);
  EXPECT_EQ(Column(view, 1), "10 GB;512 MB;2 KB;;") << "a second click reverses";
  ClickHeader(view, 2);
  EXPECT_EQ(Column(view, 2), "0:01;9:59;12:40;1:00:00;") << "times by their seconds";
  ClickHeader(view, 0);
  EXPECT_EQ(Column(view, 0), "=cmd();alice;bob;Carol;") << "text ignoring case";

  Named<QLineEdit>(&window, "Filter")->setText("CAR");
  EXPECT_EQ(Column(view, 0), "Carol;");
  Named<QLineEdit>(&window, "Filter")->setText("m");
  EXPECT_EQ(Column(view, 0), "=cmd();bob;") << "any column: =cmd(), 512 MB";
  Named<QPushButton>(&window, "Copy")->click();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "User\tUp\tIdle\n'=cmd()\t2 KB\t1:00:00\nbob\t512 MB\t12:40\n");

  std::vector<platform::MessageBoxCall> boxes;
  platform::SetMessageBoxPresenter([&](const platform::MessageBoxCall& call) {
    boxes.push_back(call);
    return platform::kAnswerOk;
  });
  TempDir folder("korvastel-table-");
  const std::filesystem::path saved = folder.Path() / "t.csv";
  window.SetFileChooser([&](std::function<void(const std::string&)> chosen) { chosen(saved.string()); });
  Named<QPushButton>(&window, "Save")->click();
  EXPECT_EQ(ReadFile(saved), "User,Up,Idle\r\n'=cmd(),2 KB,1:00:00\r\nbob,512 MB,12:40\r\n");
  window.SetFileChooser([&](std::function<void(const std::string&)> chosen) { chosen("/nonexistent/t.csv"); });
  Named<QPushButton>(&window, "Save")->click();
  platform::SetMessageBoxPresenter({});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Reply Table");
  EXPECT_NE(boxes[0].text.find("/nonexistent/t.csv"), std::string::npos) << boxes[0].text;
}

TEST(ReplyTableWindow, PaneMenuShowsTheTableUnderTheCaretOrTheLastOne) {
  const std::string table =
      "200- | User  | Idle  |\r\n200- |-------+-------|\r\n200- | bob   | 12:40 |\r\n200- | alice | 0:01  |\r\n"
      "200 Done.\r\n";
  auto server = Serve({LoginThen({ExpectLine(), Send(table), ExpectLine(), Send("200-no\r\n200 table\r\n")})});
  DialogHarness h("");
  EXPECT_EQ(MenuItem(h, false), std::make_pair(false, std::string("No reply in this tab holds a table.")));
  ASSERT_TRUE(h.Connect(server->Port()));
  for (const char* command : {"WHO", "HELP"}) h.Raw(command);
  // The caret at the end is under no reply: the last table.
  EXPECT_EQ(MenuItem(h, true), std::make_pair(true, std::string("The table in the reply to SITE WHO")));
  ReplyTableWindow* window = OpenTableWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Column(Named<QTableView>(window, "Rows"), 1), "12:40;0:01;");
  window->close();

  const std::string pane = h.Pane();
  h.Dlg().m_transcript.SetSel(static_cast<long>(pane.find("200 table")), static_cast<long>(pane.find("200 table")));
  EXPECT_EQ(MenuItem(h, false), std::make_pair(false, std::string("The reply to SITE HELP holds no table.")));
  // Cleared, the pane's lines are other lines: a table where SITE WHO's reply stood is no reply of it.
  const auto echoLine = std::count(pane.begin(), pane.begin() + static_cast<long>(pane.find(">SITE WHO")), '\n');
  MenuItem(h, true, "C&lear");
  h.Dlg().m_transcript.AppendAtEnd(std::string(static_cast<std::size_t>(echoLine), '\n') +
                                   ">SITE WHX\n| a | b |\n|---|---|\n| 1 | 2 |\n| 3 | 4 |\n\n\n");
  EXPECT_EQ(MenuItem(h, false), std::make_pair(false, std::string("No reply in this tab holds a table.")));
}
