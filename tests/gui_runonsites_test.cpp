// Run on Sites in the real window: one command on several saved sites at
// once over the program's sessions, against scripted servers on 127.0.0.1.
// The run's own rules are the session tests'; here the window reaches them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <regex>
#include <sstream>

#include "DialogHarness.h"
#include "RunOnSites.h"
#include "SiteScripts.h"
#include "WindowHarness.h"

using namespace siteserver;
namespace fs = std::filesystem;

namespace {

Site MakeSite(const std::string& name, std::vector<unsigned> ports, const std::string& login = "u") {
  Site site;
  site.name = name;
  for (unsigned port : ports) site.addresses.push_back({"127.0.0.1", port});
  site.login = login;
  return site;
}

// The saved sites and the window with its Run on Sites, in a folder (and $XDG_CONFIG_HOME) of their own.
struct Bench : WindowHarness {
  explicit Bench(const std::vector<Site>& sites, const std::string& commandList = {})
      : WindowHarness(commandList, true), sites(sites) {
    SiteList list;
    std::string error;
    for (const Site& site : sites) EXPECT_TRUE(list.Put("", site, error)) << error;
    EXPECT_TRUE(list.Write(SiteList::DefaultPath(), error)) << error;
    window->OpenRunOnSites();
    dlg = window->RunOnSites();
  }

  template <class T>
  T* Named(const char* name) const {
    return ::Named<T>(dlg, name);
  }
  // A tab on the site, connected with a typed password as the Site Manager leaves it.
  CSiteCmdDlg& Tab(const Site& site) {
    CSiteCmdDlg& tab = window->OpenSiteTab(site, true);
    tab.ConnectSite(site, "p");
    EXPECT_TRUE(WaitUntil([&] { return tab.IsConnected() && !tab.IsWorking(); }));
    return tab;
  }
  QCheckBox* SiteBox(int row) const { return Named<QCheckBox>(sites[static_cast<std::size_t>(row)].name.c_str()); }
  void Check(int row) { SiteBox(row)->setChecked(true); }
  // The one question of a run, while it is open.
  QDialog* Asking() const {
    for (QDialog* d : dlg->findChildren<QDialog*>())
      if (d->windowTitle() == "Passwords" && d->isVisible()) return d;
    return nullptr;
  }
  void Click(const char* button) { Named<QPushButton>(button)->click(); }
  void Run(const char* command) {
    Named<QLineEdit>("Command")->setText(command);
    Click("Run");
  }
  bool RowsEnded(std::size_t count) {
    return WaitUntil([&] {
      std::size_t ended = 0;
      for (const SiteRunRow& r : dlg->Results().Rows()) ended += r.Ended();
      return ended >= count;
    });
  }
  std::string Cell(int row, int column) {
    QTableWidgetItem* item = Named<QTableWidget>("Results")->item(row, column);
    return item ? item->text().toStdString() : std::string();
  }

  std::vector<Site> sites;
  RunOnSitesDlg* dlg = nullptr;
};

}  // namespace

TEST(RunOnSites, OneCommandOnManySitesEachRowSaysHowItWent) {
  auto answers = Serve({LoginThen({ExpectLine(), Send("200-one\r\n200-two\r\n200 \"who\", ok\r\n")})});
  auto second = Serve({LoginThen({ExpectLine(), Send("200 second here\r\n")})});
  auto refuses =
      Serve({Script{Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Send("530 Login incorrect.\r\n")}});
  auto silent = Serve({LoginThen({ExpectLine(), Hold()})});
  const std::vector<Site> sites{MakeSite("alpha", {answers->Port()}), MakeSite("beta", {DeadPort(), second->Port()}),
                                MakeSite("gamma", {refuses->Port()}), MakeSite("delta", {answers->Port()}),
                                MakeSite("=HYPERLINK(\"http://x.example\",\"omega\")", {silent->Port()})};
  Bench b(sites);
  // delta has no password anywhere; the others were typed in this run of the program.
  for (int row : {0, 1, 2, 4}) b.window->Passwords().Set(sites[static_cast<std::size_t>(row)].name, "p");
  EXPECT_TRUE(b.Named<QCheckBox>("auto add SITE pref.")->isChecked());
  // Each site as a check box to a screen reader is runonsites_atspi_check.py's.
  for (int row = 0; row < 5; ++row) b.Check(row);
  b.Run("WHO");
  // delta's password is asked for, alone, before any site connects; Cancel fails that row only.
  ASSERT_TRUE(b.WaitUntil([&] { return b.Asking() != nullptr; }));
  const auto fields = b.Asking()->findChildren<QLineEdit*>();
  ASSERT_EQ(fields.size(), 1);
  EXPECT_EQ(fields[0]->accessibleName(), "delta");
  EXPECT_EQ(fields[0]->echoMode(), QLineEdit::Password);
  QTest::qWait(50);
  EXPECT_EQ(answers->Connections() + second->Connections(), 0u);
  Named<QPushButton>(b.Asking(), "Cancel")->click();

  ASSERT_TRUE(b.RowsEnded(4));
  EXPECT_EQ(b.window->TabCount(), 0) << "a run opens no tab";
  EXPECT_EQ(b.Cell(4, 1), "waiting");
  EXPECT_EQ(b.Cell(4, 4), "");
  EXPECT_NE(answers->Received(0).find("SITE WHO\r\n"), std::string::npos) << answers->Received(0);
  EXPECT_EQ(answers->Connections(), 1u) << "delta never connected";
  EXPECT_TRUE(b.boxes.empty()) << b.boxes.front().text;

  // The silent site's session is closed while its row waits: that row fails, nothing else moves.
  b.window->Sessions().Close(b.dlg->SessionOfRow(4));
  EXPECT_TRUE(b.WaitUntil([&] { return b.Cell(4, 3) == "closed"; }));
  EXPECT_TRUE(b.WaitUntil([&] { return silent->ClientClosed(0); }));

  // A double click shows alpha's session in a tab; its pane from the row's line on holds the run.
  emit b.Named<QTableWidget>("Results")->cellDoubleClicked(0, 2);
  ASSERT_EQ(b.window->TabCount(), 1);
  CSiteCmdDlg& alpha = b.window->Tab(b.window->CurrentIndex());
  EXPECT_EQ(alpha.TabTitle(), "alpha");
  EXPECT_EQ(alpha.GetSessionId(), b.dlg->SessionOfRow(0));
  const long line = b.dlg->Results().Row(0).line;
  std::istringstream pane(alpha.m_transcript.GetText());
  std::string before, after, text;
  for (long i = 0; std::getline(pane, text); ++i) (i < line ? before : after) += text + "\n";
  EXPECT_EQ(before.find("SITE WHO"), std::string::npos) << before;
  EXPECT_EQ(after.rfind(">SITE WHO\n200-one", 0), 0u) << after;
  emit b.Named<QTableWidget>("Results")->cellDoubleClicked(0, 2);
  EXPECT_EQ(b.window->TabCount(), 1) << "the tab that shows it already comes to the front";

  const std::string time = R"(\t\d+\.\d\n)";
  b.Click("Copy");
  const std::string copied = QApplication::clipboard()->text().toStdString();
  EXPECT_TRUE(std::regex_match(copied, std::regex("Site\tState\tCode\tReply\tTime\n"
                                                  "alpha\tdone\t200\t200 \"who\", ok" +
                                                  time + "beta\tdone\t200\t200 second here" + time +
                                                  "gamma\tfailed\t530\tlogin refused: 530 Login incorrect." + time +
                                                  "delta\tfailed\t\tno password: cancelled" + time +
                                                  "'=HYPERLINK\\(\"http://x.example\",\"omega\"\\)\tfailed\t\t"
                                                  "closed" +
                                                  time)))
      << copied;

  const fs::path saved = b.folder / "results.csv";
  b.dlg->SetFileChooser([&](std::function<void(const std::string&)> chosen) { chosen(saved.string()); });
  b.Click("Save");
  const std::string csv = ReadFile(saved);
  EXPECT_TRUE(std::regex_search(
      csv, std::regex("^Site,State,Code,Reply,Time\r\n"
                      "alpha,done,200,\"200 \"\"who\"\", ok\",\\d+\\.\\d\r\n"
                      "beta,done,200,200 second here,(.|\r\n)*"
                      "\"'=HYPERLINK\\(\"\"http://x.example\"\",\"\"omega\"\"\\)\",failed,,closed,")))
      << csv;
  b.dlg->SetFileChooser([&](std::function<void(const std::string&)> chosen) { chosen("/nonexistent/r.csv"); });
  b.Click("Save");
  ASSERT_EQ(b.boxes.size(), 1u);
  EXPECT_NE(b.boxes[0].text.find("/nonexistent/r.csv"), std::string::npos) << b.boxes[0].text;
}

TEST(RunOnSites, AUserCommandWaitsForABusyTabAndATabClosedMeanwhileLeavesTheRunItsSession) {
  const std::string commandList =
      "[adduser]\ngroup = Users\ncmdDsc = add user\ncmd = ADDUSER %1 %2, GADDUSER %3 %1\n"
      "param1 = name\nparam2 = password\nparam3 = group\n";
  auto server = Serve({LoginThen({ExpectLine(), Pause(300), Send("200 slow\r\n"), ExpectLine(), Send("200 ok\r\n"),
                                  ExpectLine(), Send("250 last\r\n"), ExpectLine(), Send("200 raw\r\n")})});
  const Site site = MakeSite("alpha", {server->Port()});
  Bench b({site}, commandList);
  CSiteCmdDlg& tab = b.Tab(site);
  auto* command = b.Named<QComboBox>("command");
  command->setCurrentIndex(1);
  auto* third = b.Named<QLineEdit>("Argument 3");
  EXPECT_TRUE(third->isEnabled());
  EXPECT_FALSE(b.Named<QLineEdit>("Argument 4")->isEnabled());
  bool labelled = false;
  for (QLabel* label : b.dlg->findChildren<QLabel*>()) labelled |= label->buddy() == third && label->text() == "group";
  EXPECT_TRUE(labelled);

  b.Named<QLineEdit>("Argument 1")->setText("bob");
  b.Named<QLineEdit>("Argument 2")->setText("x\ny");
  b.Named<QLineEdit>("Command")->setText("IGNORED");
  b.Check(0);
  b.Click("Run");
  ASSERT_EQ(b.boxes.size(), 1u);
  EXPECT_EQ(b.boxes[0].caption, "Command not sent");
  EXPECT_TRUE(b.dlg->Results().Rows().empty());
  b.boxes.clear();

  // The tab is busy with a command of its own: the user command follows it
  // on the tab's session, and the tab closing meanwhile does not end it.
  tab.SendCommand("SITE SLOW");
  b.Named<QLineEdit>("Argument 2")->setText("secret");
  third->setText("staff");
  b.Click("Run");
  EXPECT_TRUE(b.WaitUntil([&] { return b.Cell(0, 1) == "waiting"; }));
  b.window->CloseTab(tab);
  ASSERT_TRUE(b.RowsEnded(1));
  EXPECT_EQ(b.Cell(0, 1) + " " + b.Cell(0, 3), "done 250 last");
  EXPECT_EQ(b.window->TabCount(), 0);
  EXPECT_FALSE(server->ClientClosed(0));

  // Idle and logged in: a raw command, without "SITE ", goes at once on the same connection.
  command->setCurrentIndex(0);
  b.Named<QCheckBox>("auto add SITE pref.")->setChecked(false);
  b.Run("RAW");
  ASSERT_TRUE(b.RowsEnded(1));
  EXPECT_EQ(b.Cell(0, 3), "200 raw");
  EXPECT_EQ(server->Received(0).substr(server->Received(0).find("SITE SLOW")),
            "SITE SLOW\r\nSITE ADDUSER bob secret\r\nSITE GADDUSER staff bob\r\nRAW\r\n");
  EXPECT_EQ(server->Connections(), 1u);
  EXPECT_TRUE(b.boxes.empty());
  // Closing Run on Sites lets go of a session no tab shows.
  b.dlg->close();
  EXPECT_TRUE(b.WaitUntil([&] { return server->ClientClosed(0); }));
}

TEST(RunOnSites, PasswordsFromThisRunAreUsedAndThoseLackingAreAskedForOnce) {
  auto first = Serve({LoginThen({ExpectLine(), Send("200 one\r\n"), ExpectLine(), Send("200 1\r\n")})});
  auto second = Serve({LoginThen({ExpectLine(), Send("200 two\r\n"), ExpectLine(), Send("200 2\r\n")})});
  auto third = Serve({LoginThen({ExpectLine(), Send("200 three\r\n")})});
  Site kept = MakeSite("kept", {third->Port()});
  kept.rememberPassword = true;  // the keyring has nothing for it (or there is none)
  Site proxied = MakeSite("proxied", {third->Port()});
  proxied.proxy = "socks5://pu@127.0.0.1:" + std::to_string(third->Port());  // its proxy password is nowhere
  Bench b({MakeSite("typed", {first->Port()}), MakeSite("new", {second->Port()}), kept, proxied});
  b.window->Passwords().Set("typed", "pw1");  // as the Site Manager keeps what is typed there
  b.window->Passwords().Set("proxied", "pw4");
  for (int row = 0; row < 4; ++row) b.Check(row);
  b.Run("WHO");
  ASSERT_TRUE(b.WaitUntil([&] { return b.Asking() != nullptr; }));
  QDialog* asking = b.Asking();
  ASSERT_EQ(asking->findChildren<QLineEdit*>().size(), 2);
  Named<QLineEdit>(asking, "new")->setText("pw2");  // "kept" is left empty
  Named<QPushButton>(asking, "OK")->click();
  ASSERT_TRUE(b.RowsEnded(4));
  EXPECT_EQ(b.Cell(0, 3) + "|" + b.Cell(1, 3) + "|" + b.Cell(2, 3), "200 one|200 two|no password: none was typed");
  EXPECT_EQ(b.Cell(3, 3), "no proxy password: open the site from the Site Manager and type it");
  EXPECT_NE(first->Received(0).find("PASS pw1\r\n"), std::string::npos);
  EXPECT_NE(second->Received(0).find("PASS pw2\r\n"), std::string::npos);
  EXPECT_EQ(b.window->Passwords().Get("new"), std::optional<std::string>("pw2"));
  EXPECT_EQ(third->Connections(), 0u);

  // The next run asks nothing: both sessions are still logged in.
  b.SiteBox(2)->setChecked(false);
  b.SiteBox(3)->setChecked(false);
  b.Click("Run");
  ASSERT_TRUE(b.RowsEnded(2));
  EXPECT_EQ(b.Asking(), nullptr);
  EXPECT_EQ(b.Cell(0, 3) + "|" + b.Cell(1, 3), "200 1|200 2");
  EXPECT_EQ(first->Connections() + second->Connections(), 2u);
  EXPECT_TRUE(b.boxes.empty());
}

TEST(RunOnSites, ARowPastTheTimeoutEndsAndItsLineIsDropped) {
  auto silent = Serve({Script{Hold()}});
  const Site site = MakeSite("mute", {silent->Port()});
  Bench b({site});
  b.window->Passwords().Set("mute", "p");
  b.Check(0);
  b.Named<QLineEdit>("Command")->setText("WHO");
  auto* timeout = b.Named<QLineEdit>("Timeout");
  EXPECT_EQ(timeout->text(), "60");
  for (const char* bad : {"", "0", "-5", "1.5", "90000", "ten"}) {
    timeout->setText(bad);
    b.Click("Run");
    ASSERT_EQ(b.boxes.size(), 1u) << bad;
    EXPECT_NE(b.boxes[0].text.find("timeout"), std::string::npos) << b.boxes[0].text;
    b.boxes.clear();
  }
  EXPECT_TRUE(b.dlg->Results().Rows().empty());
  EXPECT_EQ(silent->Connections(), 0u);

  timeout->setText("1");
  b.Click("Run");
  ASSERT_TRUE(b.RowsEnded(1));
  EXPECT_EQ(b.Cell(0, 1) + " " + b.Cell(0, 3), "failed timed out");
  EXPECT_TRUE(b.WaitUntil([&] { return silent->ClientClosed(0); }));
}

TEST(RunOnSites, ShowAsTableJoinsTheSitesTablesWithASiteColumn) {
  const auto table = [](const char* rows) {
    return Send(std::string("200- User  | Up\r\n200- ------+------\r\n") + rows + "200 ok\r\n");
  };
  auto alpha = Serve({LoginThen({ExpectLine(), table("200- bob   | 2 GB\r\n200- alice | 3 MB\r\n")})});
  auto beta = Serve({LoginThen({ExpectLine(), table("200- bob   | 900 MB\r\n")})});
  auto plain = Serve({LoginThen({ExpectLine(), Send("200 no table here\r\n")})});
  Bench b({MakeSite("alpha", {alpha->Port()}), MakeSite("beta", {beta->Port()}), MakeSite("gamma", {plain->Port()})});
  auto* show = b.Named<QPushButton>("Show as Table");
  EXPECT_FALSE(show->isEnabled());
  EXPECT_EQ(show->toolTip(), "No site's reply holds a table.");
  for (int row = 0; row < 3; ++row) {
    b.window->Passwords().Set(b.sites[static_cast<std::size_t>(row)].name, "p");
    b.Check(row);
  }
  b.Run("USERS");
  ASSERT_TRUE(b.RowsEnded(3));
  ASSERT_TRUE(show->isEnabled());
  show->click();
  QWidget* window = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->windowTitle() == "Reply Table") window = w;
  ASSERT_NE(window, nullptr);
  auto* rows = Named<QTableView>(window, "Rows");
  rows->sortByColumn(2, Qt::DescendingOrder);
  std::string shown;
  for (int row = 0; row < rows->model()->rowCount(); ++row)
    for (int column = 0; column < 3; ++column)
      shown += rows->model()->index(row, column).data().toString().toStdString() + (column < 2 ? "," : ";");
  EXPECT_EQ(rows->model()->headerData(0, Qt::Horizontal).toString(), "Site");
  EXPECT_EQ(shown, "alpha,bob,2 GB;beta,bob,900 MB;alpha,alice,3 MB;");
  Named<QLineEdit>(window, "Filter")->setText("BOB");
  EXPECT_EQ(rows->model()->rowCount(), 2);
  window->close();
}
