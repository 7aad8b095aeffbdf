// Items other parts of the window add to the pane's context menu, in plain
// C++: the pane asks for them each time the menu opens, with the line the
// caret is on, so they show the state of that moment.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct PaneMenuItem {
  std::string text;  // Windows-1252; "&" marks its key
  std::function<void()> run;
  bool enabled = true;
  std::string toolTip;  // shown while it is disabled too: say why
  bool checkable = false;
  bool checked = false;
};

// Its items follow the pane's own, in the order the extensions were added.
using PaneMenuExtension = std::function<std::vector<PaneMenuItem>(long long caretLine)>;
