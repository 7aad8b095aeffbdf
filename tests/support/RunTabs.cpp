#include "RunTabs.h"

#include <algorithm>

RunTabs::~RunTabs() {
  while (!m_tabs.empty()) Close(*m_tabs.back().dlg);
}

CSiteCmdDlg* RunTabs::FindSiteTab(const std::string& name) {
  for (Tab& tab : m_tabs)
    if (tab.name == name) return tab.dlg.get();
  return nullptr;
}

CSiteCmdDlg& RunTabs::OpenSiteTab(const Site& site, bool) {
  auto dlg = std::make_unique<CSiteCmdDlg>();
  dlg->Start();
  m_tabs.push_back({site.name, std::move(dlg)});
  return *m_tabs.back().dlg;
}

void RunTabs::Close(CSiteCmdDlg& tab) {
  if (onClosing) onClosing(tab);
  std::erase_if(m_tabs, [&tab](const Tab& t) { return t.dlg.get() == &tab; });
}
