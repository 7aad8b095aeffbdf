// Run on Sites in the real window: one command on several saved sites at
// once, each in its own tab, against scripted servers on 127.0.0.1 (and
// pyftpdlib where it is installed).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "DialogHarness.h"
#include "MainWindow.h"
#include "MessageBox.h"
#include "RunOnSites.h"
#include "SiteCmdDlg.h"
#include "SiteScripts.h"
#include "TestPeers.h"

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

bool WaitUntil(const std::function<bool()>& done) { return QTest::qWaitFor(done, 10000); }

// The saved sites and the window with its Run on Sites, in a folder (and $XDG_CONFIG_HOME) of their own.
struct Bench {
  explicit Bench(const std::vector<Site>& sites, const std::string& commandList = {})
      : folder(fs::temp_directory_path() / ("korvastel-run-" + std::to_string(::getpid()))),
        oldFolder(fs::current_path()),
        oldConfig(std::getenv("XDG_CONFIG_HOME")) {
    fs::create_directories(folder);
    fs::current_path(folder);
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    std::ofstream(folder / "commandList.ini", std::ios::binary) << commandList;
    SiteList list;
    std::string error;
    for (const Site& site : sites) EXPECT_TRUE(list.Put("", site, error)) << error;
    EXPECT_TRUE(list.Write(SiteList::DefaultPath(), error)) << error;
    platform::SetMessageBoxPresenter([this](const platform::MessageBoxCall& call) {
      boxes.push_back(call);
      return IDOK;
    });
    window = std::make_unique<MainWindow>();
    window->OpenRunOnSites();
    dlg = window->RunOnSites();
  }
  ~Bench() {
    window->close();  // as the program ends: each tab closes before the window goes
    window.reset();
    platform::SetMessageBoxPresenter({});
    ::setenv("XDG_CONFIG_HOME", oldConfig.c_str(), 1);
    fs::current_path(oldFolder);
    fs::remove_all(folder);
  }

  template <class T>
  T* Named(const char* name) const {
    return ::Named<T>(dlg, name);
  }
  // A tab with the password typed, as the Site Manager leaves it.
  CSiteCmdDlg& Tab(const Site& site, const std::string& password = "p") {
    CSiteCmdDlg& tab = window->OpenSiteTab(site, true);
    tab.m_password = password;
    return tab;
  }
  void Check(int row) { Named<QListWidget>("Sites")->item(row)->setCheckState(Qt::Checked); }
  void Click(const char* button) { Named<QPushButton>(button)->click(); }
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

  fs::path folder, oldFolder;
  std::string oldConfig;
  std::vector<platform::MessageBoxCall> boxes;
  std::unique_ptr<MainWindow> window;
  RunOnSitesDlg* dlg = nullptr;
};

}  // namespace

TEST(RunOnSites, OneCommandOnManySitesEachRowSaysHowItWent) {
  ScriptedServer answers({LoginThen({ExpectLine(), Send("200-one\r\n200-two\r\n200 \"who\", ok\r\n")})});
  ScriptedServer second({LoginThen({ExpectLine(), Send("200 second here\r\n")})});
  ScriptedServer refuses(
      {Script{Send("220 hi\r\n"), ExpectLine(), Send("331 pw\r\n"), ExpectLine(), Send("530 Login incorrect.\r\n")}});
  ScriptedServer silent({Script{Hold()}});
  for (ScriptedServer* s : {&answers, &second, &refuses, &silent}) ASSERT_TRUE(s->Start()) << s->Error();
  const std::vector<Site> sites{MakeSite("alpha", {answers.Port()}), MakeSite("beta", {DeadPort(), second.Port()}),
                                MakeSite("gamma", {refuses.Port()}), MakeSite("delta", {answers.Port()}),
                                MakeSite("omega", {silent.Port()})};
  Bench b(sites);
  // delta has no password anywhere; the others were typed in their tabs.
  CSiteCmdDlg& alpha = b.Tab(sites[0]);
  b.Tab(sites[1]);
  b.Tab(sites[2]);
  CSiteCmdDlg& omega = b.Tab(sites[4]);
  EXPECT_TRUE(b.Named<QCheckBox>("auto add SITE pref.")->isChecked());
  b.Named<QLineEdit>("Command")->setText("WHO");
  for (int row = 0; row < 5; ++row) b.Check(row);
  b.Click("Run");
  EXPECT_TRUE(WaitUntil([&] { return b.window->TabCount() == 5; })) << "delta gets a tab of its own";

  // Every row's cells are checked through Copy below; omega's before its tab goes.
  ASSERT_TRUE(b.RowsEnded(4));
  EXPECT_EQ(b.Cell(4, 1), "connecting");
  EXPECT_EQ(b.Cell(4, 4), "");
  EXPECT_NE(answers.Received(0).find("SITE WHO\r\n"), std::string::npos) << answers.Received(0);
  EXPECT_EQ(answers.Connections(), 1u) << "delta never connected";
  EXPECT_TRUE(b.boxes.empty()) << b.boxes.front().text;

  // A double click brings alpha's tab to the front; its pane from the row's line on holds the run.
  b.window->SetCurrent(3);
  emit b.Named<QTableWidget>("Results")->cellDoubleClicked(0, 2);
  EXPECT_EQ(&b.window->Tab(b.window->CurrentIndex()), &alpha);
  const long line = b.dlg->Results().Row(0).line;
  std::istringstream pane(alpha.m_transcript.GetText());
  std::string before, after, text;
  for (long i = 0; std::getline(pane, text); ++i) (i + 1 < line ? before : after) += text + "\n";
  EXPECT_EQ(before.find("SITE WHO"), std::string::npos) << before;
  EXPECT_NE(after.find(">SITE WHO\n200-one"), std::string::npos) << after;

  // The silent site's tab goes: its row fails, nothing else moves.
  b.window->CloseTab(omega);
  EXPECT_TRUE(WaitUntil([&] { return b.Cell(4, 3) == "tab closed"; }));
  EXPECT_EQ(b.Cell(4, 1), "failed");

  const std::string time = R"(\t\d+\.\d\n)";
  b.Click("Copy");
  const std::string copied = QApplication::clipboard()->text().toStdString();
  EXPECT_TRUE(std::regex_match(copied, std::regex("Site\tState\tCode\tReply\tTime\n"
                                                  "alpha\tdone\t200\t200 \"who\", ok" + time +
                                                  "beta\tdone\t200\t200 second here" + time +
                                                  "gamma\tfailed\t530\tlogin refused: 530 Login incorrect." + time +
                                                  "delta\tfailed\t\tno password: open the site from the Site "
                                                  "Manager and type it" + time +
                                                  "omega\tfailed\t\ttab closed" + time)))
      << copied;

  const fs::path saved = b.folder / "results.csv";
  b.dlg->SetFileChooser([&](std::function<void(const std::string&)> chosen) { chosen(saved.string()); });
  b.Click("Save");
  const std::string csv = peers::ReadFile(saved);
  EXPECT_TRUE(std::regex_search(csv, std::regex("^Site,State,Code,Reply,Time\r\n"
                                                "alpha,done,200,\"200 \"\"who\"\", ok\",\\d+\\.\\d\r\n"
                                                "beta,done,200,200 second here,")))
      << csv;
  b.dlg->SetFileChooser([&](std::function<void(const std::string&)> chosen) { chosen("/nonexistent/r.csv"); });
  b.Click("Save");
  ASSERT_EQ(b.boxes.size(), 1u);
  EXPECT_NE(b.boxes[0].text.find("/nonexistent/r.csv"), std::string::npos) << b.boxes[0].text;
}

TEST(RunOnSites, AUserCommandWaitsForABusyTabAndARawOneGoesToAnIdleOneAtOnce) {
  const std::string commandList =
      "[adduser]\ngroup = Users\ncmdDsc = add user\ncmd = ADDUSER %1 %2, GADDUSER %3 %1\n"
      "param1 = name\nparam2 = password\nparam3 = group\n";
  ScriptedServer server({LoginThen({ExpectLine(), Pause(300), Send("200 slow\r\n"), ExpectLine(), Send("200 ok\r\n"),
                                    ExpectLine(), Send("250 last\r\n"), ExpectLine(), Send("200 raw\r\n")})});
  ASSERT_TRUE(server.Start()) << server.Error();
  const Site site = MakeSite("alpha", {server.Port()});
  Bench b({site}, commandList);
  CSiteCmdDlg& tab = b.Tab(site);
  tab.ConnectSite(site, "p", true);
  ASSERT_TRUE(WaitUntil([&] { return tab.IsConnected() && !tab.IsWorking(); }));
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

  // The tab is busy with a command of its own: the user command follows it.
  tab.SendCommand("SITE SLOW");
  b.Named<QLineEdit>("Argument 2")->setText("secret");
  third->setText("staff");
  b.Click("Run");
  EXPECT_TRUE(WaitUntil([&] { return b.Cell(0, 1) == "waiting"; }));
  ASSERT_TRUE(b.RowsEnded(1));
  EXPECT_EQ(b.Cell(0, 1) + " " + b.Cell(0, 3), "done 250 last");

  // Idle and logged in: a raw command, without "SITE ", goes at once.
  command->setCurrentIndex(0);
  b.Named<QCheckBox>("auto add SITE pref.")->setChecked(false);
  b.Named<QLineEdit>("Command")->setText("RAW");
  b.Click("Run");
  ASSERT_TRUE(b.RowsEnded(1));
  EXPECT_EQ(b.Cell(0, 3), "200 raw");
  EXPECT_EQ(server.Received(0).substr(server.Received(0).find("SITE SLOW")),
            "SITE SLOW\r\nSITE ADDUSER bob secret\r\nSITE GADDUSER staff bob\r\nRAW\r\n");
  EXPECT_TRUE(b.boxes.empty());
}

TEST(RunOnSites, PyFtpdAnswersASiteCommand) {
  const std::string python = peers::FindPython({"pyftpdlib"});
  if (python.empty()) GTEST_SKIP() << "pyftpdlib is missing (apt-get install python3-pyftpdlib)";
  peers::PyFtpd server;
  const unsigned port = server.Start(python, 60);
  ASSERT_NE(port, 0u);
  const Site site = MakeSite("real", {port}, "tester");
  Bench b({site});
  b.Tab(site, "t3st-only");
  b.Named<QLineEdit>("Command")->setText("HELP");
  b.Check(0);
  b.Click("Run");
  ASSERT_TRUE(b.RowsEnded(1));
  EXPECT_EQ(b.Cell(0, 1), "done") << b.Cell(0, 3);
  EXPECT_EQ(b.Cell(0, 2), "214") << b.Cell(0, 3);
}
