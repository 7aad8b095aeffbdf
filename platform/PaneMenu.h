// Items the pane's owner adds to the pane's context menu, in plain C++: the
// pane asks for them each time the menu opens, so they show the state of
// that moment.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct PaneMenuItem {
  std::string caption;  // Windows-1252; "&" marks the access key
  std::function<void()> run;
  bool checkable = false;
  bool checked = false;
  bool enabled = true;
};

using PaneMenuItems = std::function<std::vector<PaneMenuItem>()>;
