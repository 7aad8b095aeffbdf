// The window's tabs as the Site Manager and Run on Sites see them: one tab
// per connection, each a whole main dialog with its own session.
#pragma once

#include <string>

#include "SessionOwner.h"
#include "SiteList.h"
#include "SitePasswords.h"

class CSiteCmdDlg;

class SiteTabs {
 public:
  virtual ~SiteTabs() = default;
  // The open tab of the saved site called name, or nullptr.
  virtual CSiteCmdDlg* FindSiteTab(const std::string& name) = 0;
  // A new tab for the site, named after it, its fields not yet filled; it
  // comes to the front unless background.
  virtual CSiteCmdDlg& OpenSiteTab(const Site& site, bool background) = 0;
  // Brings the tab to the front, its pane showing the given line (-1: as it stands).
  virtual void ShowTab(CSiteCmdDlg& tab, long line) = 0;
  // The session in a tab (one opened on it when none shows it), its pane at line.
  virtual void ShowSession(SessionId session, long line) = 0;
  // Every session of the program.
  virtual SessionOwner& Sessions() = 0;
  // Where the site list is read from and written to.
  virtual std::string SiteListPath() const = 0;
  // What the user typed for saved sites in this run of the program.
  SitePasswords& Passwords() { return Sessions().Passwords(); }
};
