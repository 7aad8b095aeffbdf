#include "internal/PaneMenu.h"

#include <QMenu>

#include "internal/Cp1252.h"

namespace platform {

void AddPaneMenuItems(QMenu& menu, const std::vector<PaneMenuItems>& sources) {
  for (const PaneMenuItems& source : sources) {
    const std::vector<PaneMenuItem> items = source ? source() : std::vector<PaneMenuItem>();
    if (items.empty()) continue;
    menu.addSeparator();
    for (const PaneMenuItem& item : items) {
      QAction* action = menu.addAction(FromCp1252(item.caption));
      action->setCheckable(item.checkable);
      action->setChecked(item.checked);
      action->setEnabled(item.enabled);
      QObject::connect(action, &QAction::triggered, &menu, [run = item.run] {
        if (run) run();
      });
    }
  }
}

}  // namespace platform
