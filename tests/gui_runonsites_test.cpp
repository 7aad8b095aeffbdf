// Run on Sites: one command on several saved sites at once, each in its own
// tab, against scripted servers on 127.0.0.1 (and pyftpdlib where it is installed).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
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

#include "MessageBox.h"
#include "RunOnSites.h"
#include "RunTabs.h"
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

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    QTest::qWait(1);
  }
  return true;
}

// The saved sites, the tabs, and the dialog over them, in a folder of their own.
struct Bench {
  explicit Bench(const std::vector<Site>& sites, const std::string& commandList = {}) {
    static int counter = 0;
    folder = fs::temp_directory_path() / ("korvastel-run-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::create_directories(folder);
    oldFolder = fs::current_path();
    fs::current_path(folder);
    std::ofstream(folder / "commandList.ini", std::ios::binary) << commandList;
    SiteList list;
    std::string error;
    for (const Site& site : sites) EXPECT_TRUE(list.Put("", site, error)) << error;
    EXPECT_TRUE(list.Write((folder / "sites.conf").string(), error)) << error;
    platform::SetMessageBoxPresenter([this](const platform::MessageBoxCall& call) {
      boxes.push_back(call);
      return IDOK;
    });
    tabs = std::make_unique<RunTabs>((folder / "sites.conf").string());
    tabs->onClosing = [this](CSiteCmdDlg& tab) {
      if (dlg) dlg->TabClosing(tab);
    };
    dlg = std::make_unique<RunOnSitesDlg>(*tabs);
    dlg->show();
  }
  ~Bench() {
    dlg.reset();
    tabs.reset();
    platform::SetMessageBoxPresenter({});
    fs::current_path(oldFolder);
    fs::remove_all(folder);
  }

  template <class T>
  T* Named(const char* name) const {
    for (T* w : dlg->findChildren<T*>())
      if (w->accessibleName() == QLatin1String(name)) return w;
    ADD_FAILURE() << "no control named " << name;
    return nullptr;
  }
  // A tab with the password typed, as the Site Manager leaves it.
  CSiteCmdDlg& Tab(const Site& site, const std::string& password = "p") {
    CSiteCmdDlg& tab = tabs->OpenSiteTab(site, true);
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
  std::vector<platform::MessageBoxCall> boxes;
  std::unique_ptr<RunTabs> tabs;
  std::unique_ptr<RunOnSitesDlg> dlg;
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
  EXPECT_TRUE(WaitUntil([&] { return b.tabs->Count() == 5u; })) << "delta gets a tab of its own";

  ASSERT_TRUE(b.RowsEnded(4));
  EXPECT_EQ(b.Cell(0, 0), "alpha");
  EXPECT_EQ(b.Cell(0, 1), "done");
  EXPECT_EQ(b.Cell(0, 2), "200");
  EXPECT_EQ(b.Cell(0, 3), "200 \"who\", ok");
  EXPECT_EQ(b.Cell(1, 1), "done");
  EXPECT_EQ(b.Cell(1, 3), "200 second here");
  EXPECT_EQ(b.Cell(2, 1), "failed");
  EXPECT_EQ(b.Cell(2, 2), "530");
  EXPECT_EQ(b.Cell(2, 3), "login refused: 530 Login incorrect.");
  EXPECT_EQ(b.Cell(3, 3), "no password: open the site from the Site Manager and type it");
  EXPECT_EQ(b.Cell(4, 1), "connecting");
  EXPECT_TRUE(std::regex_match(b.Cell(0, 4), std::regex(R"(\d+\.\d)"))) << b.Cell(0, 4);
  EXPECT_EQ(b.Cell(4, 4), "");
  EXPECT_NE(answers.Received(0).find("SITE WHO\r\n"), std::string::npos) << answers.Received(0);
  EXPECT_NE(second.Received(0).find("SITE WHO\r\n"), std::string::npos) << second.Received(0);
  EXPECT_EQ(answers.Connections(), 1u) << "delta never connected";
  EXPECT_TRUE(b.boxes.empty()) << b.boxes.front().text;

  // A double click shows the tab where the reply began.
  auto* table = b.Named<QTableWidget>("Results");
  emit table->cellDoubleClicked(0, 2);
  ASSERT_EQ(b.tabs->shown.size(), 1u);
  EXPECT_EQ(b.tabs->shown[0].first, &alpha);
  const long line = b.tabs->shown[0].second;
  EXPECT_EQ(line, b.dlg->Results().Row(0).line);
  // The pane before that line knows nothing of the run; from it on, the command and its reply.
  std::istringstream pane(alpha.m_transcript.GetText());
  std::string before, after, text;
  for (long i = 0; std::getline(pane, text); ++i) (i + 1 < line ? before : after) += text + "\n";
  EXPECT_EQ(before.find("SITE WHO"), std::string::npos) << before;
  EXPECT_NE(after.find(">SITE WHO\n200-one"), std::string::npos) << after;

  // The silent site's tab goes: its row fails, nothing else moves.
  b.tabs->Close(omega);
  EXPECT_EQ(b.Cell(4, 1), "failed");
  EXPECT_EQ(b.Cell(4, 3), "tab closed");

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
  std::ifstream in(saved, std::ios::binary);
  const std::string csv((std::istreambuf_iterator<char>(in)), {});
  EXPECT_TRUE(std::regex_search(csv, std::regex("^Site,State,Code,Reply,Time\r\n"
                                                "alpha,done,200,\"200 \"\"who\"\", ok\",\\d+\\.\\d\r\n"
                                                "beta,done,200,200 second here,")))
      << csv;
  EXPECT_NE(csv.find("\r\nomega,failed,,tab closed,"), std::string::npos) << csv;
  b.dlg->SetFileChooser([&](std::function<void(const std::string&)> chosen) { chosen("/nonexistent/r.csv"); });
  b.Click("Save");
  ASSERT_EQ(b.boxes.size(), 1u);
  EXPECT_NE(b.boxes[0].text.find("/nonexistent/r.csv"), std::string::npos) << b.boxes[0].text;
}

TEST(RunOnSites, AUserCommandWaitsForABusyTabAndARawOneGoesToAnIdleOneAtOnce) {
  const std::string commandList =
      "[adduser]\ngroup = Users\ncmdDsc = add user\ncmd = ADDUSER %1 %2, GADDUSER %3 %1\n"
      "param1 = name\nparam2 = password\nparam3 = group\n"
      "[who]\ngroup = Users\ncmdDsc = who\ncmd = WHO\n";
  ScriptedServer server({LoginThen({ExpectLine(), Pause(300), Send("200 slow\r\n"), ExpectLine(), Send("200 ok\r\n"),
                                    ExpectLine(), Send("250 last\r\n"), ExpectLine(), Send("200 raw\r\n")})});
  ASSERT_TRUE(server.Start()) << server.Error();
  const Site site = MakeSite("alpha", {server.Port()});
  Bench b({site}, commandList);
  CSiteCmdDlg& tab = b.Tab(site);
  tab.ConnectSite(site, "p", true);
  ASSERT_TRUE(WaitUntil([&] { return tab.IsConnected() && !tab.IsWorking(); }));
  auto* group = b.Named<QComboBox>("group");
  auto* command = b.Named<QComboBox>("command");
  ASSERT_EQ(group->count(), 1);
  ASSERT_EQ(command->count(), 3);  // none, "add user", "who"
  command->setCurrentIndex(1);
  for (int n = 1; n <= 9; ++n)
    EXPECT_EQ(b.Named<QLineEdit>(("Argument " + std::to_string(n)).c_str())->isEnabled(), n <= 3) << n;
  auto* third = b.Named<QLineEdit>("Argument 3");
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
  EXPECT_EQ(b.Cell(0, 1), "done");
  EXPECT_EQ(b.Cell(0, 2), "250");
  EXPECT_EQ(b.Cell(0, 3), "250 last");

  // Idle and logged in: a raw command, without "SITE ", goes at once.
  command->setCurrentIndex(0);
  EXPECT_FALSE(b.Named<QLineEdit>("Argument 1")->isEnabled());
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
