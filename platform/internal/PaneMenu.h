// The pane's owners' items, put into its context menu.
#pragma once

#include <vector>

#include "../PaneMenu.h"

class QMenu;

namespace platform {
// Every extension's items for the caret's line, after one separator.
void AddPaneMenuItems(QMenu& menu, const std::vector<PaneMenuExtension>& extensions, long long caretLine);
}  // namespace platform
