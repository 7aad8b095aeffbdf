// A tab's session log. A saved site whose "Keep a log of this site" is on
// logs its sessions; the pane's menu turns the log on or off for the tab's
// session alone ("Keep a Log") and opens the folder the log goes to.
#pragma once

#include <string>

#include "PaneMenu.h"
#include "SessionOwner.h"
#include "SiteList.h"

class CSiteCmdDlg;

// Before a session connects: the log starts when the site keeps one and
// nobody decided otherwise for this session; a log kept already goes on
// under name (the site's, or LOGIN@HOST as the fields stand now).
void LogOnConnect(SessionOwner& owner, SessionId id, const Site* site, const std::string& name);

// The tab's items for its pane's context menu.
PaneMenuExtension TabLogMenu(CSiteCmdDlg& tab, SessionOwner& owner);
