// The Site Manager driven through its widgets, found by accessible name as a
// screen reader finds them. Offscreen; the keyring cases run on a bus of
// their own (tests/gui.cmake).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DialogHarness.h"
#include "Keyring.h"
#include "MessageBox.h"
#include "ScriptedServer.h"
#include "SiteManager.h"
#include "SiteScripts.h"
#include "TestTabs.h"
#include "res/resource.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

std::string FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class SiteManager : public ::testing::Test {
 protected:
  SiteManager() {
    static std::atomic<int> counter{0};
    folder = fs::temp_directory_path() / ("korvastel-sm-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::create_directories(folder);
    path = folder / "sites.conf";
    tabs = std::make_unique<TestTabs>(path.string());
    // The tabs read their command list from the working folder.
    m_oldFolder = fs::current_path();
    fs::current_path(folder);
    std::ofstream(folder / "commandList.ini") << "[Site]\n";
    platform::SetMessageBoxPresenter([this](const platform::MessageBoxCall& call) {
      boxes.push_back(call);
      return answer;
    });
  }
  ~SiteManager() override {
    dlg.reset();
    tabs.reset();
    platform::SetMessageBoxPresenter({});
    std::error_code ec;
    fs::current_path(m_oldFolder, ec);
    fs::remove_all(folder, ec);
  }

  void Open() {
    dlg = std::make_unique<SiteManagerDlg>(*tabs, nullptr);
    dlg->chooseFile = [this](bool) { return chosen.string(); };
    dlg->show();
    dlg->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
  }

  template <class T = QWidget>
  T* W(const char* name) const {
    for (T* w : dlg->findChildren<T*>())
      if (w->accessibleName() == QLatin1String(name)) return w;
    ADD_FAILURE() << "no control named " << name;
    return nullptr;
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
  int Row() const { return W<QListWidget>("Sites")->currentRow(); }
  Names ListNames() const {
    Names names;
    auto* list = W<QListWidget>("Sites");
    for (int i = 0; i < list->count(); ++i) names.push_back(list->item(i)->text().toStdString());
    return names;
  }
  Names SavedNames() const {
    SiteList list;
    std::string error;
    EXPECT_TRUE(list.Read(path.string(), error)) << error;
    Names names;
    for (const Site& s : list.Sites()) names.push_back(s.name);
    return names;
  }
  // The one box shown since the last call, and that it said `words`.
  void ExpectBox(const std::string& words) {
    ASSERT_EQ(boxes.size(), 1u) << (boxes.empty() ? "no box" : boxes.back().text);
    EXPECT_NE(boxes[0].text.find(words), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[0].caption, "Site Manager");
    boxes.clear();
  }
  void WriteSites(const std::vector<Site>& sites) {
    SiteList list;
    std::string error;
    for (const Site& s : sites) ASSERT_TRUE(list.Put("", s, error)) << error;
    ASSERT_TRUE(list.Write(path.string(), error)) << error;
  }
  bool WaitUntil(const std::function<bool()>& done, int ms = 5000) {
    return QTest::qWaitFor(done, ms);
  }

  fs::path folder, path, chosen;
  std::unique_ptr<TestTabs> tabs;
  std::unique_ptr<SiteManagerDlg> dlg;
  std::vector<platform::MessageBoxCall> boxes;
  int answer = IDOK;

 private:
  fs::path m_oldFolder;
};

Site MakeSite(const std::string& name, std::vector<SiteAddress> addresses, const std::string& login = "u") {
  Site site;
  site.name = name;
  site.addresses = std::move(addresses);
  site.login = login;
  return site;
}

TEST_F(SiteManager, EditsAreKeptAndRefusalsLoseNothing) {
  Open();
  EXPECT_TRUE(ListNames().empty());
  Click("New Site");
  EXPECT_EQ(ListNames(), Names{"New site"});
  EXPECT_EQ(dlg->focusWidget(), W("Name"));
  Set("Addresses", "127.0.0.1:2121\n\n[::1]");
  Set("Login", "admin");
  Click("New Site");  // keeps the first
  EXPECT_EQ(ListNames(), (Names{"New site", "New site (2)"}));
  EXPECT_EQ(Get("Name"), "New site (2)");
  EXPECT_TRUE(boxes.empty());

  Set("Name", "New site");
  Set("Addresses", "h2");
  Select(0);
  ExpectBox("There is a site called \"New site\" already");
  EXPECT_EQ(Row(), 1);
  EXPECT_EQ(Get("Name"), "New site");
  EXPECT_EQ(Get("Addresses"), "h2");

  Set("Name", "backup");
  Set("Addresses", "ok.example\nbad host");
  Click("Close");
  ExpectBox("Address line 2");
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_EQ(Get("Addresses"), "ok.example\nbad host");
  Set("Addresses", "ok.example");
  Set("Anti-idle seconds", "soon");
  Click("Connect");
  ExpectBox("Anti-idle seconds");
  EXPECT_TRUE(tabs->tabs.empty());
  Set("Anti-idle seconds", "60");
  Click("Close");
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(dlg->isVisible());
  SiteList saved;
  std::string error;
  ASSERT_TRUE(saved.Read(path.string(), error)) << error;
  ASSERT_EQ(saved.Sites().size(), 2u);
  EXPECT_EQ(AddressesText(saved.Sites()[0].addresses), "127.0.0.1:2121\n[::1]:21");
  EXPECT_EQ(saved.Sites()[0].login, "admin");
  EXPECT_EQ(saved.Sites()[1].name, "backup");
  EXPECT_EQ(saved.Sites()[1].antiIdleSeconds, 60u);

  // Renamed when another site is selected; deleted only on Yes.
  Open();
  EXPECT_EQ(Get("Name"), "New site");
  Select(1);
  EXPECT_EQ(Get("Addresses"), "ok.example:21");
  Set("Name", "spare");
  Select(0);
  EXPECT_EQ(SavedNames(), (Names{"New site", "spare"}));
  Select(1);
  answer = IDNO;
  Click("Delete");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].type & (MB_YESNO | MB_DEFBUTTON2), MB_YESNO | MB_DEFBUTTON2);
  boxes.clear();
  EXPECT_EQ(ListNames(), (Names{"New site", "spare"}));
  answer = IDYES;
  Click("Delete");
  EXPECT_EQ(ListNames(), Names{"New site"});
  EXPECT_EQ(SavedNames(), Names{"New site"});
}

TEST_F(SiteManager, ListThatCantBeReadOrWrittenIsReportedAndNeverOverwritten) {
  const std::string corrupt = "[ok]\naddress=h\nno equals sign here\n";
  std::ofstream(path, std::ios::binary) << corrupt;
  Open();
  ExpectBox(path.string() + ", line 3");
  EXPECT_TRUE(ListNames().empty());
  Click("New Site");
  Set("Addresses", "h");
  chosen = folder / "export.conf";
  Click("Export");
  ExpectBox("can't be saved until");
  EXPECT_NE(FileText(chosen).find("[New site]"), std::string::npos);
  answer = IDNO;
  Click("Close");
  ExpectBox("can't be saved until");
  EXPECT_TRUE(dlg->isVisible());  // the user chose to stay with the changes
  answer = IDYES;
  Click("Close");
  boxes.clear();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(FileText(path), corrupt);

  fs::remove(path);
  fs::create_directory(path);
  Open();
  ExpectBox("is a folder");

  // A folder that turns into a file under the list: the write fails, the edit stays.
  dlg.reset();
  tabs = std::make_unique<TestTabs>((folder / "sub" / "sites.conf").string());
  Open();
  EXPECT_TRUE(boxes.empty());
  std::ofstream(folder / "sub") << "in the way";
  Click("New Site");
  Set("Addresses", "h");
  Click("New Site");
  ExpectBox("Can't write");
  EXPECT_EQ(ListNames(), (Names{"New site", "New site (2)"}));
  Select(0);
  EXPECT_EQ(Get("Addresses"), "h:21");
}

TEST_F(SiteManager, ExportThenImportAddsTheSitesUnderFreeNames) {
  WriteSites({MakeSite("a", {{"h1", 21}}, "x"), MakeSite("b", {{"h2", 2121}})});
  Open();
  chosen = folder / "export.conf";
  Click("Export");
  Click("Import");
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(ListNames(), (Names{"a", "b", "a (2)", "b (2)"}));
  EXPECT_EQ(SavedNames(), ListNames());
  Select(2);
  EXPECT_EQ(Get("Login"), "x");
  chosen = folder / "missing.conf";
  Click("Import");
  ExpectBox("missing.conf");
}

TEST_F(SiteManager, ConnectTriesTheNextAddressWhenTheFirstIsDead) {
  // A port that was free a moment ago: nothing listens there.
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size), 0);
  ::close(probe);
  const unsigned dead = ntohs(address.sin_port);
  siteserver::ScriptedServer server({siteserver::LoginThen()});
  ASSERT_TRUE(server.Start()) << server.Error();
  WriteSites({MakeSite("main", {{"127.0.0.1", dead}, {"127.0.0.1", server.Port()}})});

  Open();
  Set("Password", "p");
  Click("Connect");
  EXPECT_FALSE(dlg->isVisible());
  ASSERT_EQ(tabs->opened, Names{"main"});
  CSiteCmdDlg& tab = *tabs->tabs[0];
  EXPECT_EQ(tabs->front, &tab);
  EXPECT_TRUE(WaitUntil([&] { return tab.IsConnected(); })) << tab.m_transcript.GetText();
  WaitUntil([&] { return server.Received(0) == "USER u\r\nPASS p\r\n"; });
  EXPECT_EQ(server.Received(0), "USER u\r\nPASS p\r\n");
  EXPECT_NE(tab.m_transcript.GetText().find("Could not use 127.0.0.1:" + std::to_string(dead)), std::string::npos)
      << tab.m_transcript.GetText();
  EXPECT_EQ(tab.TabTitle(), "main");
  EXPECT_TRUE(boxes.empty()) << boxes[0].text;
}

// Run by tests/with_keyring.sh, or on a bus where no keyring answers.
class SiteManagerKeyring : public SiteManager {
 protected:
  platform::KeyringAnswer Stored(const std::string& site, const std::string& login) {
    platform::KeyringAnswer answer;
    QEventLoop loop;
    platform::ReadSitePassword(site, login, [&](const platform::KeyringAnswer& a) {
      answer = a;
      loop.quit();
    });
    loop.exec();
    return answer;
  }
  bool StoredBecomes(const std::string& site, const std::string& login, platform::KeyringAnswer::Status status,
                     const std::string& password = {}) {
    return WaitUntil([&] {
      const auto a = Stored(site, login);
      return a.status == status && a.password == password;
    });
  }
  QCheckBox* Remember() { return W<QCheckBox>("Remember password in the system keyring"); }
};

TEST_F(SiteManagerKeyring, RemembersThePassword) {
  using Status = platform::KeyringAnswer::Status;
  Open();
  Click("New Site");
  Set("Name", "main");
  Set("Addresses", "h");
  Set("Login", "admin");
  Set("Password", "s3cret");
  Remember()->setChecked(true);
  Click("Close");
  EXPECT_TRUE(StoredBecomes("main", "admin", Status::Done, "s3cret"));
  EXPECT_EQ(FileText(path).find("s3cret"), std::string::npos);

  Open();
  EXPECT_TRUE(Remember()->isEnabled());
  EXPECT_TRUE(WaitUntil([&] { return Get("Password") == "s3cret"; }));
  Set("Name", "prime");
  Set("Login", "root");
  Click("Close");
  EXPECT_TRUE(StoredBecomes("prime", "root", Status::Done, "s3cret"));
  EXPECT_TRUE(StoredBecomes("main", "admin", Status::NotFound));

  Open();
  EXPECT_TRUE(WaitUntil([&] { return Get("Password") == "s3cret"; }));
  Remember()->setChecked(false);
  Click("Close");
  EXPECT_TRUE(StoredBecomes("prime", "root", Status::NotFound));

  // Ticked again with no password typed: nothing to read next time, so the field waits for one.
  Open();
  Remember()->setChecked(true);
  Click("Close");
  Open();
  EXPECT_TRUE(WaitUntil([&] { return dlg->focusWidget() == W("Password"); }));
  EXPECT_EQ(Get("Password"), "");
  EXPECT_TRUE(boxes.empty()) << boxes[0].text;
}

TEST_F(SiteManagerKeyring, NoKeyringDisablesTheBox) {
  Open();
  EXPECT_TRUE(WaitUntil([&] { return !Remember()->isEnabled(); }));
  const std::string why = Remember()->accessibleDescription().toStdString();
  EXPECT_TRUE(why.starts_with("No system keyring is available: ") && why.size() > 32) << why;
  EXPECT_EQ(Remember()->toolTip().toStdString(), why);
}

}  // namespace
