// The user actions panel in the real dialog, offscreen: groups and commands
// from commandList.ini, the argument rows, and what Execute puts on the wire.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "DialogHarness.h"
#include "SiteScripts.h"
#include "res/resource.h"

namespace {

using namespace siteserver;

// Logged in to a server that answers "200 ok" to a few more lines than a test
// sends, so a line sent by mistake fails the test instead of hanging it.
std::unique_ptr<ScriptedServer> Connect(DialogHarness& h) {
  auto server = Serve({LoginThen(Answers(6))});
  EXPECT_TRUE(h.Connect(server->Port())) << h.Pane();
  return server;
}

std::vector<int> EnabledRows(DialogHarness& h) {
  std::vector<int> rows;
  for (int n = 1; n <= 9; ++n)
    if (h.Item(IDC_PARAM_FIRST + n - 1)->isEnabled()) rows.push_back(n);
  return rows;
}

std::string Label(DialogHarness& h, int n) { return h.Text(IDC_PARAM_LABEL_FIRST + n - 1); }

void Argument(DialogHarness& h, int n, const std::string& text) { h.Type(IDC_PARAM_FIRST + n - 1, text); }

std::string Block(const std::string& name, const std::string& group, const std::string& description,
                  const std::string& cmd, const std::string& extra = "") {
  return "[" + name + "]\ngroup = " + group + "\ncmdDsc = " + description + "\ncmd = " + cmd + "\n" + extra + "\n";
}

TEST(UserCommands, CommandListExampleEndToEnd) {
  const std::string ini =
      "; user commands\n" +
      Block("note", "Users", "note on a user", "NOTE %1 %2", "param1 = user name\nparam2 = comment") +
      Block("show", "Users", "\"show, then list\"", "SHOW %1, LIST %1", "param1 = user name") +
      Block("plain", "Groups", "plain list", "LIST");
  DialogHarness h(ini);
  EXPECT_EQ(Items(h.Dlg().m_groupList), (std::vector<std::string>{"Groups", "Users"}));
  EXPECT_EQ(Items(h.Dlg().m_commandList), (std::vector<std::string>{"plain list"}));
  EXPECT_EQ(h.Dlg().m_commandList->currentIndex(), -1);
  EXPECT_TRUE(EnabledRows(h).empty());

  h.SelectComboItem(IDC_GROUP, 1);
  EXPECT_EQ(Items(h.Dlg().m_commandList), (std::vector<std::string>{"note on a user", "show, then list"}));
  h.SelectComboItem(IDC_COMMAND, 1);
  EXPECT_EQ(EnabledRows(h), (std::vector<int>{1}));
  EXPECT_EQ(Label(h, 1), "user name");

  // Every row's text is substituted, also that of a disabled row (the order
  // of the steps is the command list's own test).
  auto server = Connect(h);
  Argument(h, 1, "%2");
  Argument(h, 2, "x");
  h.Click(IDC_EXECUTE_USER);
  h.ExpectWire(*server, kLoginWire + "SITE SHOW x\r\nSITE LIST x\r\n");
}

TEST(UserCommands, RowsFollowThePlaceholdersOfTheChosenCommand) {
  std::string allLabels, otherLabels;
  for (int n = 1; n <= 9; ++n) {
    allLabels += "param" + std::to_string(n) + " = L" + std::to_string(n) + "\n";
    otherLabels += "param" + std::to_string(n) + " = p" + std::to_string(n) + "\n";
  }
  const std::string ini = Block("all", "G", "all nine", "ALL %1 %2 %3 %4 %5 %6 %7 %8 %9", allLabels) +
                          Block("two5", "G", "two and five", "FIRST %2, SECOND x %5", otherLabels);
  DialogHarness h(ini);
  h.SelectComboItem(IDC_COMMAND, 0);
  EXPECT_EQ(Label(h, 9), "L9");

  // %5 stands only in the second line; the other rows lose what they showed.
  h.SelectComboItem(IDC_COMMAND, 1);
  EXPECT_EQ(EnabledRows(h), (std::vector<int>{2, 5}));
  for (int n = 1; n <= 9; ++n) EXPECT_EQ(Label(h, n), n == 2 || n == 5 ? "p" + std::to_string(n) : "") << "row " << n;
  // The label members follow, so writing all members back keeps the labels.
  h.Click(IDC_RESET_PARAMS);
  EXPECT_EQ(Label(h, 5), "p5");
}

TEST(UserCommands, ResetOnChangeAndResetButton) {
  const std::string ini = Block("a", "G", "first", "A %1 %2") + Block("b", "G", "second", "B %1");
  DialogHarness h(ini);
  h.SelectComboItem(IDC_COMMAND, 0);
  for (int n = 1; n <= 9; ++n) Argument(h, n, "v" + std::to_string(n));

  // Off: the fields keep their texts, also the one the new command disables.
  h.SelectComboItem(IDC_COMMAND, 1);
  EXPECT_FALSE(h.Item(IDC_PARAM_FIRST + 1)->isEnabled());
  for (int n = 1; n <= 9; ++n) EXPECT_EQ(h.Text(IDC_PARAM_FIRST + n - 1), "v" + std::to_string(n));

  h.Click(IDC_RESET_ON_CHANGE);
  EXPECT_EQ(h.Dlg().m_form.resetOnChange, true);
  h.SelectComboItem(IDC_COMMAND, 0);
  for (int n = 1; n <= 9; ++n) EXPECT_EQ(h.Text(IDC_PARAM_FIRST + n - 1), "") << "row " << n;

  Argument(h, 7, "seven");
  h.Click(IDC_RESET_PARAMS);
  EXPECT_EQ(h.Text(IDC_PARAM_FIRST + 6), "");
}

// Execute with no command chosen in the combo sends nothing, at start and
// after a group change, although m_currentCommand still names an entry.
TEST(UserCommands, GroupChangeLeavesNoChoiceAndExecuteThenSendsNothing) {
  const std::string ini = Block("a1", "Alpha", "alpha one", "ALPHA1") + Block("b1", "Beta", "beta one", "BETA1 %1") +
                          Block("b2", "Beta", "beta two", "BETA2 %1 %2", "param1 = who\nparam2 = what") +
                          Block("a2", "Alpha", "alpha two", "ALPHA2");
  DialogHarness h(ini);
  auto server = Connect(h);

  h.Click(IDC_EXECUTE_USER);
  h.SelectComboItem(IDC_GROUP, 1);
  h.SelectComboItem(IDC_COMMAND, 1);
  EXPECT_EQ(EnabledRows(h), (std::vector<int>{1, 2}));
  EXPECT_EQ(h.Dlg().m_currentCommand, 1);

  h.SelectComboItem(IDC_GROUP, 0);
  EXPECT_EQ(Items(h.Dlg().m_commandList), (std::vector<std::string>{"alpha one", "alpha two"}));
  EXPECT_EQ(h.Dlg().m_commandList->currentIndex(), -1);
  EXPECT_TRUE(EnabledRows(h).empty());
  EXPECT_EQ(Label(h, 1), "");
  h.Click(IDC_EXECUTE_USER);
  h.ProcessEvents(50);
  h.ExpectWire(*server, kLoginWire);

  // The first command that does go out is the chosen one.
  h.SelectComboItem(IDC_COMMAND, 0);
  h.Click(IDC_EXECUTE_USER);
  h.ExpectWire(*server, kLoginWire + "SITE ALPHA1\r\n");
}

// A command goes out whole or not at all (which lines can't is the command
// list's own test): the box says why, and no line of it went out.
TEST(UserCommands, ACommandThatCannotGoOutWholeSendsNothingAndSaysWhy) {
  const std::string ini = Block("cr", "G", "split", "ONE, TWO\rDELE x") + Block("ok", "G", "fine", "FINE %1");
  DialogHarness h(ini);
  auto server = Connect(h);

  h.SelectComboItem(IDC_COMMAND, 0);  // a CR inside a line of the file itself
  h.boxes.clear();
  h.Click(IDC_EXECUTE_USER);
  ASSERT_EQ(h.boxes.size(), 1u);
  EXPECT_EQ(h.boxes[0].caption, "Command not sent");
  EXPECT_EQ(h.boxes[0].type, platform::kBoxError);
  EXPECT_NE(h.boxes[0].text.find("\"split\" was not sent: its line 2 holds a line break"), std::string::npos)
      << h.boxes[0].text;

  h.SelectComboItem(IDC_COMMAND, 1);
  Argument(h, 1, "x");
  h.Click(IDC_EXECUTE_USER);
  h.ExpectWire(*server, kLoginWire + "SITE FINE x\r\n");  // ONE did not go out before
}

// The table grows past its first 50 entries: every command of a big group is
// listed and can be executed.
TEST(UserCommands, AThousandCommandsInOneGroupAreAllListedAndUsable) {
  std::ostringstream ini;
  ini << Block("small", "Alpha", "small", "SMALL");
  for (int i = 0; i < 1000; ++i) {
    char id[8];
    std::snprintf(id, sizeof id, "%04d", i);
    ini << Block(std::string("c") + id, "Big", std::string("command ") + id, std::string("RUN ") + id + " %1",
                 "param1 = target");
  }
  const std::string text = ini.str();
  DialogHarness h(text);

  for (int group : {1, 0, 1}) h.SelectComboItem(IDC_GROUP, group);
  ASSERT_EQ(h.Dlg().m_commandList->count(), 1000);
  EXPECT_EQ(h.Dlg().m_commandList->Entry(999), "command 0999");

  auto server = Connect(h);
  for (int index : {50, 999}) {
    h.SelectComboItem(IDC_COMMAND, index);
    EXPECT_EQ(Label(h, 1), "target");
    Argument(h, 1, "t");
    h.Click(IDC_EXECUTE_USER);
  }
  h.ExpectWire(*server, kLoginWire + "SITE RUN 0050 t\r\nSITE RUN 0999 t\r\n");
}

TEST(UserCommands, OddCommandListsAreListedAndExecutedAsWritten) {
  const std::string ini =
      "[only]\ngroup = G\n\n" + Block("empty", "G", "no lines", "") +
      Block("dup1", "G", "same", "FIRST %1", "param1 = one") + Block("dup2", "G", "same", "SECOND %2", "param2 = two") +
      Block("case1", "Users", "lower", "LOWER") +
      Block("case2", "USERS", "upper", "UPPER") + Block("lf", "two\\nlines", "hidden", "HIDDEN");
  DialogHarness h(ini);
  EXPECT_TRUE(h.boxes.empty());
  EXPECT_EQ(Items(h.Dlg().m_groupList), (std::vector<std::string>{"G", "USERS", "Users", "two\\nlines"}));
  EXPECT_EQ(Items(h.Dlg().m_commandList), (std::vector<std::string>{"", "no lines", "same", "same"}));

  auto server = Connect(h);
  for (int index : {0, 1}) {  // a command without lines uses no argument and sends nothing
    h.SelectComboItem(IDC_COMMAND, index);
    EXPECT_TRUE(EnabledRows(h).empty());
    h.Click(IDC_EXECUTE_USER);
  }
  h.ProcessEvents(50);
  h.ExpectWire(*server, kLoginWire);

  // Of two equal descriptions, choosing either chooses the later command.
  h.SelectComboItem(IDC_COMMAND, 2);
  EXPECT_EQ(h.Dlg().m_currentCommand, 3);
  EXPECT_EQ(EnabledRows(h), (std::vector<int>{2}));
  EXPECT_EQ(Label(h, 2), "two");
  Argument(h, 1, "x");
  Argument(h, 2, "y");
  h.Click(IDC_EXECUTE_USER);
  h.ExpectWire(*server, kLoginWire + "SITE SECOND y\r\n");

  // Groups differing in case are listed apart but choose each other's commands;
  // a group name with backslash-n is listed as written and chooses nothing.
  h.SelectComboItem(IDC_GROUP, 1);
  EXPECT_EQ(Items(h.Dlg().m_commandList), (std::vector<std::string>{"lower", "upper"}));
  h.SelectComboItem(IDC_GROUP, 2);
  EXPECT_EQ(Items(h.Dlg().m_commandList), (std::vector<std::string>{"lower", "upper"}));
  h.SelectComboItem(IDC_GROUP, 3);
  EXPECT_TRUE(Items(h.Dlg().m_commandList).empty());
  EXPECT_TRUE(EnabledRows(h).empty());
}

// The sample file that ships with the program; its groups, commands, rows and
// labels are the command list's test, listing them the tests above.
TEST(UserCommands, SampleFileListsAsIntended) {
  std::ifstream in(KORVASTEL_EXAMPLE_COMMAND_LIST, std::ios::binary);
  ASSERT_TRUE(in) << KORVASTEL_EXAMPLE_COMMAND_LIST;
  const std::string ini{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  DialogHarness h(ini);
  EXPECT_TRUE(h.boxes.empty());
  h.SelectComboItem(IDC_GROUP, 5);
  h.SelectComboItem(IDC_COMMAND, IndexOf(h.Dlg().m_commandList, "new member, with IP and welcome"));
  EXPECT_EQ(Label(h, 4), "ident@IP mask\n(e.g. *@10.1.2.*)");
  // The second line of a two-line label stands on a baseline inside its row.
  const QWidget* label = h.Item(IDC_PARAM_LABEL_FIRST + 3);
  EXPECT_LE(label->fontMetrics().lineSpacing() + label->fontMetrics().ascent(), label->height());
}

}  // namespace
