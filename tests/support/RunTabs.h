// A stand-in for the window's tab host: each tab a whole main dialog,
// started offscreen, kept until the host goes or the test closes it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "SiteCmdDlg.h"
#include "SiteTabs.h"

class RunTabs : public SiteTabs {
 public:
  explicit RunTabs(std::string siteListPath) : m_siteListPath(std::move(siteListPath)) {}
  ~RunTabs() override;

  CSiteCmdDlg* FindSiteTab(const std::string& name) override;
  CSiteCmdDlg& OpenSiteTab(const Site& site, bool background) override;
  void ShowTab(CSiteCmdDlg& tab, long line) override { shown.emplace_back(&tab, line); }
  std::string SiteListPath() const override { return m_siteListPath; }

  // Closes a tab as the host does: whoever follows it hears first.
  void Close(CSiteCmdDlg& tab);
  std::function<void(CSiteCmdDlg&)> onClosing;
  std::vector<std::pair<CSiteCmdDlg*, long>> shown;  // every ShowTab, in order
  std::size_t Count() const { return m_tabs.size(); }

 private:
  struct Tab {
    std::string name;
    std::unique_ptr<CSiteCmdDlg> dlg;
  };
  std::string m_siteListPath;
  std::vector<Tab> m_tabs;
};
