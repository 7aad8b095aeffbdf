// From the controls to the wire, in the real dialog offscreen against the
// scripted server: whatever way a text got into a field, and each of the
// site-action buttons; and the one pane line of a history store
// that can't be written.
#include <gtest/gtest.h>

#include <QAccessible>
#include <cstdlib>
#include <fstream>

#include "DialogHarness.h"
#include "SiteScripts.h"
#include "res/resource.h"

namespace {

using namespace siteserver;

TEST(DataExchange, EachSiteActionButtonSendsItsOwnLine) {
  // Column by column, top to bottom, as the window shows them; three columns.
  const std::vector<std::string> verbs = {"ALUP",   "ALDN",   "WKUP",    "WKDN",  "DAYUP",  "DAYDN",
                                          "NEW",    "WHO",    "SWHO",    "LASTON", "LOGINS", "TRAFFIC",
                                          "USERS",  "GROUPS", "STAT",    "STATS", "VERS",   "IDLE"};
  const int count = static_cast<int>(verbs.size()), rows = (count + 2) / 3;
  DialogHarness h("");
  EXPECT_EQ(h.Item(IDC_SITE_FIRST + count), nullptr) << "a button for each action, and no more";
  auto server = Serve({LoginThen(Answers(count))});
  ASSERT_TRUE(h.Connect(server->Port())) << h.Pane();
  std::string expected = kLoginWire;
  for (int i = 0; i < count; ++i) {
    ASSERT_NE(h.Item(IDC_SITE_FIRST + i), nullptr) << verbs[i];
    EXPECT_EQ(h.Text(IDC_SITE_FIRST + i), verbs[i]) << "caption of button " << IDC_SITE_FIRST + i;
    if (i % rows != 0) {
      const QRect above = h.Item(IDC_SITE_FIRST + i - 1)->geometry(), here = h.Item(IDC_SITE_FIRST + i)->geometry();
      EXPECT_EQ(here.left(), above.left()) << verbs[i];
      EXPECT_GT(here.top(), above.bottom()) << verbs[i];
    }
    h.Click(IDC_SITE_FIRST + i);
    expected += "SITE " + verbs[i] + "\r\n";
    h.ExpectWire(*server, expected);
  }
}

// Voice control and screen readers set a field's text through the
// accessibility interface, without the focus ever entering the field, and
// press buttons the same way.
TEST(DataExchange, TextSetThroughTheAccessibilityInterfaceIsWhatGoesOut) {
  DialogHarness h("");
  auto server = Serve({LoginThen(Answers(1))});
  ASSERT_TRUE(h.Connect(server->Port())) << h.Pane();
  QWidget* const focus = h.Window()->focusWidget();
  QAccessibleInterface* field = QAccessible::queryAccessibleInterface(h.Item(IDC_RAW_COMMAND));
  ASSERT_TRUE(field && field->editableTextInterface());
  field->editableTextInterface()->replaceText(0, field->textInterface()->characterCount(), "SECOND");
  EXPECT_EQ(h.Text(IDC_RAW_COMMAND), "SECOND");

  QAccessibleInterface* execute = QAccessible::queryAccessibleInterface(h.Item(IDC_EXECUTE_RAW));
  ASSERT_TRUE(execute && execute->actionInterface());
  execute->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  h.ExpectWire(*server, kLoginWire + "SITE SECOND\r\n");
  EXPECT_EQ(h.Window()->focusWidget(), focus) << "the focus never passed through the field";
}

// A store that can't be written: the pane says so once per run, in the
// disconnect colour, with the path and the reason; every attempt goes on.
TEST(DataExchange, AHistoryThatCannotBeWrittenIsReportedOncePerRun) {
  namespace fs = std::filesystem;
  const fs::path config = std::getenv("XDG_CONFIG_HOME"), folder = config / "Dunvarrow";
  // The reason is the system's, whatever it is.
  const std::string line =
      "\n>The connection history could not be saved: " + (folder / "korvastel.conf").string() + ": Not a directory\n";
  fs::remove_all(folder);
  std::ofstream(folder) << "a file where the store's folder belongs\n";
  for (int run = 0; run < 2; ++run) {
    DialogHarness h("");
    const Script refuse{Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Send("530 no\r\n")};
    auto server = Serve({refuse, refuse});
    h.Connect(server->Port(), "first");
    h.Connect(server->Port(), "second");
    const std::string pane = h.Pane();
    const std::size_t at = pane.find(line);
    ASSERT_NE(at, std::string::npos) << pane;
    EXPECT_EQ(pane.find(line, at + 1), std::string::npos) << "once per run";
    EXPECT_EQ(h.Dlg().m_transcript.GetColorAt(static_cast<long>(at + 2)), palette::kDisconnect);
    EXPECT_NE(pane.find(">USER second"), std::string::npos) << "the program goes on";
    EXPECT_EQ(h.Dlg().m_historyList->count(), 2) << "the entries stay listed for this run";
    EXPECT_TRUE(h.boxes.empty());
  }
  fs::remove(folder);
}

}  // namespace
