#include "TestTabs.h"

CSiteCmdDlg* TestTabs::FindSiteTab(const std::string& name) {
  for (auto& tab : tabs)
    if (tab->TabTitle() == name) return tab.get();
  return nullptr;
}

CSiteCmdDlg& TestTabs::OpenSiteTab(const Site& site, bool background) {
  tabs.push_back(std::make_unique<CSiteCmdDlg>());
  tabs.back()->Start();
  opened.push_back(site.name);
  if (!background) front = tabs.back().get();
  return *tabs.back();
}

void TestTabs::ShowTab(CSiteCmdDlg& tab, long line) {
  front = &tab;
  shownLine = line;
}
