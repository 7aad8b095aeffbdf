// The pane's owners' items, put into its context menu.
#pragma once

#include <vector>

#include "../PaneMenu.h"

class QMenu;

namespace platform {
// Each source's items after a separator, at the end of menu.
void AddPaneMenuItems(QMenu& menu, const std::vector<PaneMenuItems>& sources);
}  // namespace platform
