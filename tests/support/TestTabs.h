// A stand-in for the window's tab host: each tab a whole main dialog,
// started offscreen, kept until the host goes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "SiteCmdDlg.h"
#include "SiteTabs.h"

class TestTabs : public SiteTabs {
 public:
  explicit TestTabs(std::string siteListPath) : m_siteListPath(std::move(siteListPath)) {}

  CSiteCmdDlg* FindSiteTab(const std::string& name) override;
  CSiteCmdDlg& OpenSiteTab(const Site& site, bool background) override;
  void ShowTab(CSiteCmdDlg& tab, long line) override;
  std::string SiteListPath() const override { return m_siteListPath; }

  std::vector<std::unique_ptr<CSiteCmdDlg>> tabs;
  std::vector<std::string> opened;  // the sites' names, in the order their tabs were opened
  CSiteCmdDlg* front = nullptr;     // the tab last brought to the front
  long shownLine = -1;              // the line ShowTab was last asked for

 private:
  std::string m_siteListPath;
};
