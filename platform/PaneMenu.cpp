#include "internal/PaneMenu.h"

#include <QMenu>
#include <utility>

#include "internal/Cp1252.h"

namespace platform {

void AddPaneMenuItems(QMenu& menu, const std::vector<PaneMenuExtension>& extensions, long long caretLine) {
  bool first = true;
  for (const PaneMenuExtension& extension : extensions) {
    if (!extension) continue;
    for (PaneMenuItem& item : extension(caretLine)) {
      if (std::exchange(first, false)) menu.addSeparator();
      QAction* action = menu.addAction(FromCp1252(item.text));
      action->setEnabled(item.enabled);
      action->setCheckable(item.checkable);
      action->setChecked(item.checked);
      action->setToolTip(FromCp1252(item.toolTip));
      if (item.run) QObject::connect(action, &QAction::triggered, &menu, std::move(item.run));
    }
  }
  menu.setToolTipsVisible(true);
}

}  // namespace platform
