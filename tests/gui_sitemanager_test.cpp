// The Site Manager of the real window, driven through its widgets by
// accessible name as a screen reader finds them. Offscreen; the keyring cases
// run on a bus of their own (tests/gui.cmake).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <fstream>

#include "DialogHarness.h"
#include "Keyring.h"
#include "Palette.h"
#include "SiteManager.h"
#include "SiteScripts.h"
#include "WindowHarness.h"
#include "res/resource.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// The window's list lives under $XDG_CONFIG_HOME, here the test's own folder.
class SiteManager : public ::testing::Test, public WindowHarness {
 protected:
  SiteManager() : WindowHarness("[Site]\n", true), path(SiteList::DefaultPath()) {}
  void UseConfig(const fs::path& config) {
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);  // put back with the rest when the test ends
    path = SiteList::DefaultPath();
  }

  void Open() {
    window->OpenSiteManager();
    dlg = nullptr;
    for (QDialog* d : window->findChildren<QDialog*>())
      if (auto* sm = dynamic_cast<SiteManagerDlg*>(d); sm && sm->isVisible()) dlg = sm;
    ASSERT_TRUE(dlg);
    dlg->chooseFile = [this](bool) { return chosen.string(); };
    EXPECT_TRUE(QTest::qWaitForWindowActive(dlg));
  }
  template <class T = QWidget>
  T* W(const char* name) const {
    return Named<T>(dlg, name);
  }
  void Click(const char* name) { W<QAbstractButton>(name)->click(); }
  void Set(const char* name, const std::string& text) {
    if (auto* edit = qobject_cast<QPlainTextEdit*>(W(name))) edit->setPlainText(QString::fromLatin1(text));
    else W<QLineEdit>(name)->setText(QString::fromLatin1(text));
  }
  std::string Get(const char* name) const {
    if (auto* edit = qobject_cast<QPlainTextEdit*>(W(name))) return edit->toPlainText().toStdString();
    return W<QLineEdit>(name)->text().toStdString();
  }
  void Select(int row) { W<QListWidget>("Sites")->setCurrentRow(row); }  // as a click on the row
  Names ListNames() const {
    Names names;
    auto* list = W<QListWidget>("Sites");
    for (int i = 0; i < list->count(); ++i) names.push_back(list->item(i)->text().toStdString());
    return names;
  }
  // The sites as written, one "name|addresses|login|anti-idle seconds" each.
  Names Saved() const {
    SiteList list;
    std::string error;
    EXPECT_TRUE(list.Read(path.string(), error)) << error;
    Names sites;
    for (const Site& s : list.Sites())
      sites.push_back(s.name + "|" + AddressesText(s.addresses) + "|" + s.login + "|" + std::to_string(s.antiIdleSeconds));
    return sites;
  }
  // The one box shown since the last call, and that it said `words`.
  void ExpectBox(const std::string& words) {
    ASSERT_EQ(boxes.size(), 1u) << (boxes.empty() ? "no box" : boxes.back().text);
    EXPECT_NE(boxes[0].text.find(words), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[0].caption, "Site Manager");
    boxes.clear();
  }

  fs::path path, chosen;
  SiteManagerDlg* dlg = nullptr;
};

TEST_F(SiteManager, EditsAreKeptAndRefusalsLoseNothing) {
  Open();
  Click("New Site");
  EXPECT_EQ(dlg->focusWidget(), W("Name"));
  Set("Addresses", "127.0.0.1:2121\n\n[::1]");
  Set("Login", "admin");
  Click("New Site");  // keeps the first
  EXPECT_EQ(ListNames(), (Names{"New site", "New site (2)"}));

  Set("Name", "New site");
  Set("Addresses", "h2");
  Select(0);
  ExpectBox("There is a site called \"New site\" already");
  EXPECT_EQ(W<QListWidget>("Sites")->currentRow(), 1);
  EXPECT_EQ(Get("Name"), "New site");

  Set("Name", "backup");
  Set("Addresses", "ok.example\nbad host");
  Click("Close");
  ExpectBox("Address line 2");
  EXPECT_EQ(Get("Addresses"), "ok.example\nbad host");
  Set("Addresses", "ok.example");
  Set("Anti-idle seconds", "soon");
  Click("Connect");
  ExpectBox("Anti-idle seconds");
  EXPECT_EQ(window->TabCount(), 0);
  Set("Anti-idle seconds", "60");
  Click("Close");
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(Saved(), (Names{"New site|127.0.0.1:2121\n[::1]:21|admin|360", "backup|ok.example:21||60"}));

  // Renamed when another site is selected; deleted only on Yes.
  Open();
  Select(1);
  Set("Name", "spare");
  Select(0);
  EXPECT_EQ(Saved()[1], "spare|ok.example:21||60");
  Select(1);
  answer = platform::kAnswerNo;
  Click("Delete");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].type & (platform::kBoxYesNo | platform::kBoxNoByDefault), platform::kBoxYesNo | platform::kBoxNoByDefault);
  boxes.clear();
  EXPECT_EQ(ListNames(), (Names{"New site", "spare"}));
  answer = platform::kAnswerYes;
  Click("Delete");
  EXPECT_EQ(Saved().size(), 1u);
}

TEST_F(SiteManager, ListThatCantBeReadOrWrittenIsReportedAndNeverOverwritten) {
  const std::string corrupt = "[ok]\naddress=h\nno equals sign here\n";
  WriteFile(path, corrupt);
  Open();
  ExpectBox(path.string() + ", line 3");
  EXPECT_TRUE(ListNames().empty());
  Click("New Site");
  Set("Addresses", "h");
  chosen = folder / "export.conf";
  Click("Export");
  ExpectBox("can't be saved until");
  EXPECT_NE(ReadFile(chosen).find("[New site]"), std::string::npos);
  answer = platform::kAnswerNo;
  Click("Close");
  ExpectBox("can't be saved until");
  EXPECT_TRUE(dlg->isVisible());  // the user chose to stay with the changes
  answer = platform::kAnswerYes;
  Click("Close");
  boxes.clear();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(ReadFile(path), corrupt);

  // A folder that turns into a file under the list: the write fails, the edit stays.
  UseConfig(folder / "sub");
  Open();
  EXPECT_TRUE(boxes.empty());
  std::ofstream(folder / "sub") << "in the way";
  Click("New Site");
  Set("Addresses", "h");
  Click("New Site");
  ExpectBox("Can't write");
  Select(0);
  EXPECT_EQ(Get("Addresses"), "h:21");
}

TEST_F(SiteManager, ExportThenImportAddsTheSitesUnderFreeNames) {
  WriteFile(path, "[a]\naddress=h1\nlogin=x\n[b]\naddress=h2:2121\n");
  Open();
  chosen = folder / "export.conf";
  Click("Export");
  Click("Import");
  EXPECT_EQ(Saved(), (Names{"a|h1:21|x|360", "b|h2:2121||360", "a (2)|h1:21|x|360", "b (2)|h2:2121||360"}));
  chosen = folder / "missing.conf";
  Click("Import");
  ExpectBox("missing.conf");
}

// Picks "Keep a Log" in the tab's pane menu: whether it was checked, or -1
// when the menu lacked it or "Open Log Folder".
int PickKeepALog(CSiteCmdDlg& tab) {
  int checked = -1, open = 0;
  WithPaneMenu(tab.m_transcript.ScrollArea(), [&](QMenu* menu) {
    for (QAction* a : menu ? menu->actions() : QList<QAction*>()) {
      open += a->text() == "&Open Log Folder";
      if (a->text() != "&Keep a Log" || !a->isCheckable()) continue;
      checked = a->isChecked();
      a->trigger();
    }
  });
  return open == 1 ? checked : -1;
}

std::string Logged(const fs::path& folder) {
  std::string logged;
  for (const auto& entry : fs::directory_iterator(folder)) logged += ReadFile(entry.path());
  return logged;
}

// Connect opens a tab of the site's name with the password typed. "Keep a
// log of this site": the site's sessions write their transcript,
// the password starred; the pane's "Keep a Log" turns it off for the
// session, and on for a quick connect, which logs as LOGIN@HOST.
TEST_F(SiteManager, ConnectOpensTheSitesTabWhoseLogIsKeptUntilThePaneMenuStopsIt) {
  const ScopedEnv state("XDG_STATE_HOME", (folder / "state").string());
  const fs::path logs = folder / "state" / "korvastel" / "logs";
  auto server = siteserver::Serve({siteserver::LoginThen(siteserver::Answers(2))});
  auto other = siteserver::Serve({siteserver::LoginThen()});
  WriteFile(path, "[Main EU]\naddress=127.0.0.1:" + std::to_string(server->Port()) + "\nlogin=u\n");
  Open();
  auto* keep = W<QCheckBox>("Keep a log of this site");
  EXPECT_FALSE(keep->isChecked());
  keep->click();
  Set("Password", "s3cr3t");
  Click("Connect");
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_NE(ReadFile(path).find("log=yes\n"), std::string::npos) << ReadFile(path);
  ASSERT_EQ(window->TabCount(), 1);
  CSiteCmdDlg& tab = window->Tab(0);
  EXPECT_EQ(window->FindSiteTab("Main EU"), &tab);
  EXPECT_EQ(tab.TabTitle(), "Main EU");
  ASSERT_TRUE(QTest::qWaitFor([&] { return tab.IsConnected(); })) << tab.m_transcript.GetText();
  EXPECT_EQ(server->Received(0), "USER u\r\nPASS s3cr3t\r\n");
  EXPECT_TRUE(boxes.empty()) << boxes[0].text;
  tab.SendCommands({"SITE WHO"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return tab.m_transcript.EndsWith("200 ok\n"); })) << tab.m_transcript.GetText();
  EXPECT_EQ(PickKeepALog(tab), 1);
  tab.SendCommands({"SITE USERS"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return tab.m_transcript.GetText().find("SITE USERS\n200 ok") != std::string::npos; }));
  const std::string logged = Logged(logs / "Main EU");
  for (const char* line : {" >PASS **********\n", " >SITE WHO\n", " 200 ok\n"})
    EXPECT_NE(logged.find(line), std::string::npos) << line << " in\n" << logged;
  EXPECT_EQ(logged.find("s3cr3t"), std::string::npos);
  EXPECT_EQ(logged.find("SITE USERS"), std::string::npos) << "kept no more once stopped";

  CSiteCmdDlg& quick = window->NewTab();
  EXPECT_EQ(PickKeepALog(quick), 0);
  ASSERT_TRUE(ConnectTab(quick, other->Port(), "s3cr3t")) << (boxes.empty() ? "" : boxes.back().text);
  EXPECT_NE(Logged(logs / "u@127.0.0.1").find(" >USER u\n"), std::string::npos);
}

TEST_F(SiteManager, TwoSiteManagersKeepEachOthersSitesAndSayWhichBothChanged) {
  WriteFile(path, "[a]\naddress=h\n[b]\naddress=h\n");
  Open();
  SiteManagerDlg* first = dlg;
  SiteManagerDlg second(*window, nullptr);  // as another instance of the program would
  second.show();
  dlg = &second;
  Click("New Site");
  Set("Name", "c");
  Set("Addresses", "h");
  Select(0);
  dlg = first;
  Set("Login", "x");
  Select(1);
  EXPECT_TRUE(boxes.empty()) << boxes[0].text;
  EXPECT_EQ(ListNames(), (Names{"a", "b", "c"}));
  EXPECT_EQ(Saved(), (Names{"a|h:21|x|360", "b|h:21||360", "c|h:21||360"}));

  dlg = &second;
  Select(1);
  Set("Login", "second");
  Select(0);
  EXPECT_EQ(Get("Login"), "x");  // taken in from the first window
  dlg = first;
  Set("Login", "first");
  Click("Close");
  ExpectBox("this window's version is kept:\n\"b\"");
  EXPECT_EQ(Saved(), (Names{"a|h:21|x|360", "b|h:21|first|360", "c|h:21||360"}));

  // A save that takes in the other window's version of the site shown shows it, so leaving keeps it.
  Open();
  first = dlg;
  Select(2);
  dlg = &second;
  Select(2);
  Set("Login", "c2");
  Select(0);
  dlg = first;
  chosen = folder / "more.conf";
  std::ofstream(chosen) << "[d]\naddress=h\n";
  Click("Import");
  EXPECT_TRUE(boxes.empty()) << boxes[0].text;
  EXPECT_EQ(Get("Login"), "c2");
  Click("Close");
  EXPECT_EQ(Saved()[2], "c|h:21|c2|360");
}

TEST_F(SiteManager, TypedPasswordsAreKeptForTheRunFollowRenamesAndGoWithTheSite) {
  Open();
  Click("New Site");
  Set("Name", "main");
  Set("Addresses", "h");
  Set("Password", "s3cret");
  Click("Close");
  EXPECT_EQ(window->Passwords().Get("main"), "s3cret");
  EXPECT_EQ(ReadFile(path).find("s3cret"), std::string::npos);
  Open();
  EXPECT_EQ(Get("Password"), "s3cret");
  Set("Name", "prime");
  Click("New Site");
  EXPECT_EQ(window->Passwords().Get("main"), std::nullopt);
  EXPECT_EQ(window->Passwords().Get("prime"), "s3cret");
  Select(0);
  answer = platform::kAnswerYes;
  Click("Delete");
  boxes.clear();
  EXPECT_EQ(window->Passwords().Get("prime"), std::nullopt);
}

TEST_F(SiteManager, NamesAreQuotedEscapedAndEncryptionIsNamedForWhatItIs) {
  WriteFile(path, "[evil\x1b[2J]\naddress=h\nencryption=explicit\n");
  Open();
  QAccessibleInterface* combo = QAccessible::queryAccessibleInterface(W("Encryption"));
  EXPECT_EQ(combo->text(QAccessible::Name).toStdString(), "Encryption");
  EXPECT_EQ(combo->text(QAccessible::Value).toStdString(), "Explicit (AUTH TLS)");
  answer = platform::kAnswerNo;
  Click("Delete");
  ExpectBox("Delete the site \"evil\\x1b[2J\"?");
}

TEST_F(SiteManager, ProxyIsKeptWithoutItsPasswordAndItsFailureIsShown) {
  auto server = siteserver::Serve({siteserver::LoginThen()});
  const std::string proxy = "127.0.0.1:" + std::to_string(siteserver::DeadPort()), url = "socks5://gate@" + proxy;
  WriteFile(path, "[p]\naddress=127.0.0.1:" + std::to_string(server->Port()) + "\nlogin=u\n");
  Open();
  EXPECT_EQ(W<QLineEdit>("Proxy password")->echoMode(), QLineEdit::Password);
  Set("Proxy", "http://" + proxy);
  Click("Close");
  ExpectBox("does not start with \"socks5://\"");
  EXPECT_EQ(dlg->focusWidget(), W("Proxy"));
  Set("Proxy", "socks5://gate:pr0xy-pw@" + proxy);
  Click("Close");
  ExpectBox("in the Proxy password field");
  Set("Proxy", url);
  Set("Proxy password", "pr0xy-pw");
  Click("Close");
  EXPECT_TRUE(boxes.empty()) << boxes[0].text;
  EXPECT_NE(ReadFile(path).find("\nproxy=" + url + "\n"), std::string::npos) << ReadFile(path);
  EXPECT_EQ(ReadFile(path).find("pr0xy-pw"), std::string::npos);
  EXPECT_EQ(window->Sessions().ProxyPasswords().Get("p"), "pr0xy-pw");

  // Export and import carry the proxy, never its password.
  Open();
  EXPECT_EQ(Get("Proxy password"), "pr0xy-pw");
  chosen = folder / "export.conf";
  Click("Export");
  EXPECT_EQ(ReadFile(chosen).find("pr0xy-pw"), std::string::npos);
  Click("Import");
  Select(1);
  EXPECT_EQ(Get("Proxy"), url);
  EXPECT_EQ(Get("Proxy password"), "");

  // Connect goes through the proxy, which is down: the box and the pane say so, and the site hears nothing.
  Select(0);
  Set("Password", "p");
  Click("Connect");
  ASSERT_EQ(window->TabCount(), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }));
  const std::string words = "the proxy " + proxy + " could not be reached";
  EXPECT_EQ(boxes[0].caption + "|" + boxes[0].text, "Can't connect!|" + words);
  const std::string pane = window->Tab(0).m_transcript.GetText();
  const std::size_t at = pane.find(">" + words + ".\n");
  ASSERT_NE(at, std::string::npos) << pane;
  EXPECT_EQ(window->Tab(0).m_transcript.GetColorAt(static_cast<long>(at + 1)), palette::kDisconnect);
  EXPECT_EQ(server->Connections(), 0u);
}

// Run by tests/with_keyring.sh, or on a bus where no keyring answers.
class SiteManagerKeyring : public SiteManager {
 protected:
  bool StoredBecomes(const std::string& site, const std::string& login, platform::KeyringAnswer::Status status,
                     const std::string& password = {}, bool proxy = false) {
    return QTest::qWaitFor([&] {
      platform::KeyringAnswer got;
      QEventLoop loop;
      (proxy ? platform::ReadProxyPassword : platform::ReadSitePassword)(site, login, [&](const platform::KeyringAnswer& a) {
        got = a;
        loop.quit();
      });
      loop.exec();
      return got.status == status && got.password == password;
    });
  }
  QCheckBox* Remember() { return W<QCheckBox>("Remember password in the system keyring"); }
  // "main" at h, admin and s3cret; the box is the test's to tick.
  void NewRememberedSite() {
    Open();
    Click("New Site");
    Set("Name", "main");
    Set("Addresses", "h");
    Set("Login", "admin");
    Set("Password", "s3cret");
  }
};

TEST_F(SiteManagerKeyring, RemembersThePassword) {
  using Status = platform::KeyringAnswer::Status;
  NewRememberedSite();
  Remember()->setChecked(true);
  Click("Close");
  EXPECT_TRUE(StoredBecomes("main", "admin", Status::Done, "s3cret"));
  EXPECT_EQ(ReadFile(path).find("s3cret"), std::string::npos);

  Open();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Get("Password") == "s3cret"; }));
  Set("Name", "prime");
  Set("Login", "root");
  Click("Close");
  EXPECT_TRUE(StoredBecomes("prime", "root", Status::Done, "s3cret"));
  EXPECT_TRUE(StoredBecomes("main", "admin", Status::NotFound));

  Open();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Get("Password") == "s3cret"; }));
  Remember()->setChecked(false);
  Click("Close");
  EXPECT_TRUE(StoredBecomes("prime", "root", Status::NotFound));

  // Ticked again with the field emptied: nothing to read next time, so the field waits for one.
  Open();
  Set("Password", "");
  Remember()->setChecked(true);
  Click("Close");
  Open();
  EXPECT_TRUE(QTest::qWaitFor([&] { return dlg->focusWidget() == W("Password"); }));
  EXPECT_EQ(Get("Password"), "");
  EXPECT_TRUE(boxes.empty()) << boxes[0].text;
}

TEST_F(SiteManagerKeyring, RemembersTheProxyPasswordBesideTheSites) {
  using Status = platform::KeyringAnswer::Status;
  NewRememberedSite();
  Set("Proxy", "socks5://gate@127.0.0.1:1080");
  Set("Proxy password", "pr0xy");
  Remember()->setChecked(true);
  Click("Close");
  EXPECT_TRUE(StoredBecomes("main", "gate", Status::Done, "pr0xy", true));
  EXPECT_TRUE(StoredBecomes("main", "admin", Status::Done, "s3cret"));
  EXPECT_EQ(ReadFile(path).find("pr0xy"), std::string::npos);

  // A new run of the program knows it from the keyring alone; a new proxy user moves it.
  window->Sessions().ProxyPasswords().Forget("main");
  Open();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Get("Proxy password") == "pr0xy"; }));
  Set("Proxy", "socks5://door@127.0.0.1:1080");
  Click("Close");
  EXPECT_TRUE(StoredBecomes("main", "door", Status::Done, "pr0xy", true));
  EXPECT_TRUE(StoredBecomes("main", "gate", Status::NotFound, {}, true));
  Open();
  Remember()->setChecked(false);
  Click("Close");
  EXPECT_TRUE(StoredBecomes("main", "door", Status::NotFound, {}, true));
  EXPECT_EQ(window->Sessions().ProxyPasswords().Get("main"), std::nullopt);
  EXPECT_TRUE(boxes.empty()) << boxes[0].text;
}

TEST_F(SiteManagerKeyring, NoKeyringDisablesTheBox) {
  Open();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Remember()->isEnabled(); }));
  const std::string why = Remember()->accessibleDescription().toStdString();
  EXPECT_TRUE(why.starts_with("No system keyring is available: ") && why.size() > 32) << why;
  EXPECT_EQ(Remember()->toolTip().toStdString(), why);
}

}  // namespace
