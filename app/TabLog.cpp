#include "TabLog.h"

#include <QDesktopServices>
#include <QFile>
#include <QUrl>

#include "SiteCmdDlg.h"

void LogOnConnect(SessionOwner& owner, SessionId id, const Site* site, const std::string& name) {
  if (owner.KeepsLog(id) || (site && site->keepLog && !owner.LogChosen(id))) owner.KeepLog(id, name);
}

PaneMenuExtension TabLogMenu(CSiteCmdDlg& tab, SessionOwner& owner) {
  return [&tab, &owner](long long) {
    const SessionId id = tab.GetSessionId();
    PaneMenuItem keep;
    keep.text = "&Keep a Log";
    keep.checkable = true;
    const Site* site = tab.SavedSite();
    keep.checked = id && (owner.KeepsLog(id) || (site && site->keepLog && !owner.LogChosen(id)));
    keep.enabled = id != 0;
    keep.run = [&tab, &owner, on = !keep.checked] {
      const SessionId now = tab.GetSessionId();
      if (!now) return;
      if (on) owner.KeepLog(now, tab.TabTitle(), true);
      else owner.StopLog(now, true);
    };
    PaneMenuItem open;
    open.text = "&Open Log Folder";
    open.run = [&tab, &owner] {
      // A tab without a name yet opens the folder of all logs.
      const std::string title = tab.TabTitle();
      std::string folder = owner.LogFolderOf(title);
      if (title.empty()) folder.erase(folder.rfind('/'));
      if (const std::string error = MakeLogFolder(folder); !error.empty()) {
        tab.Box("The log folder could not be made:\n\n" + Shown(error), "Open Log Folder", platform::kBoxError);
        return;
      }
      QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(folder))));
    };
    return std::vector<PaneMenuItem>{keep, open};
  };
}
