// The program's window: one tab per connection, each a whole main dialog
// with its own session. With one tab it shows that dialog alone, as the
// program always did; the tab bar exists only from the second tab on (a
// hidden bar would still show a screen reader a focused tab). Below the
// dialogs, three buttons reach the saved sites.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "Session.h"
#include "SiteTabs.h"

class CSiteCmdDlg;
class ProgramSessions;
class QPushButton;
class QStackedWidget;
class QTabBar;
class QVBoxLayout;
class RunOnSitesDlg;
class SiteManagerDlg;

// A dialog to screen readers and window managers, as the program's window always was.
class MainWindow : public QDialog, public SiteTabs, private TrustAsker {
 public:
  MainWindow();
  ~MainWindow() override;

  // An empty tab, in front; prepare fills its fields before it starts.
  CSiteCmdDlg& NewTab(const std::function<void(CSiteCmdDlg&)>& prepare = {});
  // Disconnects and closes the tab; the window closes with its last tab.
  void CloseTab(CSiteCmdDlg& tab);
  int TabCount() const { return static_cast<int>(m_tabs.size()); }
  CSiteCmdDlg& Tab(int index) { return *m_tabs[static_cast<std::size_t>(index)]; }
  int CurrentIndex() const;
  void SetCurrent(int index);
  // Ctrl+Tab and Ctrl+Shift+Tab.
  void Cycle(int step);
  void OpenSiteManager();
  void OpenRunOnSites();
  RunOnSitesDlg* RunOnSites() { return m_runOnSites.get(); }
  // Runs once the last tab has closed.
  std::function<void()> onAllClosed;

  CSiteCmdDlg* FindSiteTab(const std::string& name) override;
  CSiteCmdDlg& OpenSiteTab(const Site& site, bool background) override;
  void ShowTab(CSiteCmdDlg& tab, long line) override;
  std::string SiteListPath() const override;
  void ShowSession(SessionId session, long line) override;
  SessionOwner& Sessions() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Escape is the tab's own (it ends that dialog); the window ignores what reaches it.
  void reject() override {}
  void accept() override {}

 private:
  // A session no tab shows asks here.
  bool AskTrust(const std::string& host, unsigned port, const TlsInfo& info, const std::string& remembered) override;
  CSiteCmdDlg& AddTab(const std::function<void(CSiteCmdDlg&)>& prepare, bool background, SessionId session = 0);
  void RemoveTab(CSiteCmdDlg& tab);
  void ShowCentred();
  void UpdateTitles();
  // The tab bar made or removed as the count of tabs asks, following the pages.
  void UpdateTabBar();
  void ShowPage(int index);
  int IndexOf(const CSiteCmdDlg& tab) const;

  std::unique_ptr<ProgramSessions> m_sessions;  // first: it outlives every tab and dialog below
  QVBoxLayout* m_column = nullptr;
  std::unique_ptr<QTabBar> m_tabBar;                 // a child widget; gone while there is one tab
  QStackedWidget* m_pages = nullptr;                 // the dialogs, in tab order; its current one is the current tab
  std::vector<std::unique_ptr<CSiteCmdDlg>> m_tabs;  // in tab-bar order
  std::unique_ptr<SiteManagerDlg> m_siteManager;
  std::unique_ptr<RunOnSitesDlg> m_runOnSites;  // kept when closed: its results stay for the next look
};
