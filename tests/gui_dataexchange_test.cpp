// From the controls to the wire, in the real dialog offscreen against the
// scripted server: whatever way a text got into a field, and each of the
// eighteen site-action buttons; and the one pane line of a history store
// that can't be written.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QLineEdit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "DialogHarness.h"
#include "ScriptedServer.h"
#include "SiteScripts.h"
#include "res/resource.h"

namespace {

using namespace siteserver;

const std::string kNoCommands;
const std::string kLogin = "USER admin\r\nPASS secret\r\n";

// Greets, takes the login, then answers `commands` lines with "200 ok".
std::unique_ptr<ScriptedServer> Site(int commands) {
  auto server = std::make_unique<ScriptedServer>(std::vector<Script>{LoginThen(Answers(commands))});
  EXPECT_TRUE(server->Start()) << server->Error();
  return server;
}

void Connect(DialogHarness& h, unsigned port, const std::string& login = "admin") {
  h.Fill(port, login, "secret");
  h.Click(IDC_CONNECT);
}

std::string Sent(const ScriptedServer& server) {
  const std::string all = server.Received(0);
  return all.size() >= kLogin.size() ? all.substr(kLogin.size()) : std::string();
}

void ExpectSent(DialogHarness& h, const ScriptedServer& server, const std::string& expected) {
  h.WaitUntil([&] { return Sent(server) == expected; }, 3000);
  EXPECT_EQ(Sent(server), expected);
}

TEST(DataExchange, EachSiteActionButtonSendsItsOwnLine) {
  // Column by column, top to bottom, as the window shows them.
  const char* const verbs[] = {"ALUP",   "ALDN",   "WKUP",    "WKDN",  "DAYUP",  "DAYDN", "NEW",   "WHO",  "SWHO",
                               "LASTON", "LOGINS", "TRAFFIC", "USERS", "GROUPS", "STAT",  "STATS", "VERS", "IDLE"};
  DialogHarness h(&kNoCommands);
  h.Start();
  auto server = Site(18);
  Connect(h, server->Port());
  ASSERT_TRUE(h.Dlg().IsConnected()) << h.Pane();
  std::string expected;
  for (int i = 0; i < 18; ++i) {
    EXPECT_EQ(h.Text(IDC_SITE_FIRST + i), verbs[i]) << "caption of button " << IDC_SITE_FIRST + i;
    h.Click(IDC_SITE_FIRST + i);
    expected += std::string("SITE ") + verbs[i] + "\r\n";
    ExpectSent(h, *server, expected);
  }
}

// Voice control and screen readers set a field's text through the
// accessibility interface, without the focus ever entering the field, and
// press buttons the same way.
TEST(DataExchange, TextSetThroughTheAccessibilityInterfaceIsWhatGoesOut) {
  DialogHarness h(&kNoCommands);
  h.Start();
  auto server = Site(2);
  Connect(h, server->Port());
  ASSERT_TRUE(h.Dlg().IsConnected()) << h.Pane();

  h.Focus(IDC_RAW_COMMAND);
  h.Type(IDC_RAW_COMMAND, "FIRST");
  h.Click(IDC_EXECUTE_RAW);
  ExpectSent(h, *server, "SITE FIRST\r\n");

  QWidget* const focus = h.Window()->focusWidget();
  QAccessibleInterface* field = QAccessible::queryAccessibleInterface(h.Item(IDC_RAW_COMMAND));
  ASSERT_TRUE(field && field->editableTextInterface());
  field->editableTextInterface()->replaceText(0, field->textInterface()->characterCount(), "SECOND");
  EXPECT_EQ(h.Text(IDC_RAW_COMMAND), "SECOND");

  QAccessibleInterface* execute = QAccessible::queryAccessibleInterface(h.Item(IDC_EXECUTE_RAW));
  ASSERT_TRUE(execute && execute->actionInterface());
  execute->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  ExpectSent(h, *server, "SITE FIRST\r\nSITE SECOND\r\n");
  EXPECT_EQ(h.Window()->focusWidget(), focus) << "the focus never passed through the field";
}

// A store that can't be written: the pane says so once per run, in the
// disconnect colour, with the path and the reason; every attempt goes on.
void ExpectReportedOncePerRun(const std::string& line) {
  for (int run = 0; run < 2; ++run) {
    DialogHarness h(&kNoCommands);
    h.Start();
    const Script refuse{Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Send("530 no\r\n")};
    ScriptedServer server({refuse, refuse});
    ASSERT_TRUE(server.Start()) << server.Error();
    Connect(h, server.Port(), "first");
    Connect(h, server.Port(), "second");
    const std::string pane = h.Pane();
    const std::size_t at = pane.find(line);
    ASSERT_NE(at, std::string::npos) << pane;
    EXPECT_EQ(pane.find(line, at + 1), std::string::npos) << "once per run";
    EXPECT_EQ(h.Dlg().m_transcript.GetColorAt(static_cast<long>(at + 2)), logDisconnectColor);
    EXPECT_NE(pane.find(">USER second"), std::string::npos) << "the program goes on";
    EXPECT_EQ(h.Dlg().m_historyList.GetCount(), 2) << "the entries stay listed for this run";
    EXPECT_TRUE(h.boxes.empty());
  }
}

TEST(DataExchange, AHistoryThatCannotBeWrittenIsReportedOncePerRun) {
  namespace fs = std::filesystem;
  const fs::path config = std::getenv("XDG_CONFIG_HOME"), folder = config / "Dunvarrow";
  const std::string report =
      "\n>The connection history could not be saved: " + (folder / "korvastel.conf").string() + ": ";
  fs::remove_all(folder);
  std::ofstream(folder) << "a file where the store's folder belongs\n";
  ExpectReportedOncePerRun(report + "Not a directory\n");  // the reason is the system's, whatever it is
  fs::remove(folder);
}

}  // namespace
