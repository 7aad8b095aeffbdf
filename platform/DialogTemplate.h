// A dialog described as data: each control with its id, kind, style, caption and
// rectangle in dialog units, listed in tab order.
#pragma once

#include <functional>
#include <string>
#include <variant>
#include <vector>

class CWnd;

enum class ControlKind { PushButton, CheckBox, Edit, ComboBox, Static, GroupBox, RichEdit };

// Style bits; several apply to one kind only.
enum ControlStyle : unsigned {
  WS_NONE = 0,
  STYLE_HIDDEN = 1u << 0,
  STYLE_DISABLED = 1u << 1,
  ES_PASSWORD = 1u << 2,
  ES_NUMBER = 1u << 3,
  BS_LEFTTEXT = 1u << 4,  // check box text left of the box
  CBS_SORT = 1u << 5,
  WS_VSCROLL = 1u << 6,
  BS_FLAT = 1u << 7,
  ES_AUTOHSCROLL = 1u << 8,
};

// What the dialog keeps in step with a control: a text, a number (an edit
// read as an unsigned number), a tick, or a wrapper attached to the control.
using ControlBinding = std::variant<std::monostate, std::string*, unsigned*, bool*, CWnd*>;

struct ControlTemplate {
  int id;  // -1 for labels nobody addresses
  ControlKind kind;
  unsigned style;
  std::string caption;
  int x, y, cx, cy;                 // dialog units
  std::string accessibleName = {};  // for controls with no caption and no label in front
  ControlBinding binding = {};
  // Place in the data exchange, which keeps an order of its own: reading
  // stops at a number field that can't be read, so the order shows.
  int exchangeOrder = 0;
  // Runs on the control's notification: a click (buttons, check boxes), a
  // selection change (lists), the focus leaving (edits).
  std::function<void()> handler = {};
};

struct DialogTemplate {
  int id;
  std::string caption;
  std::string fontFace;
  int pointSize;
  int cx, cy;                             // dialog units
  std::vector<ControlTemplate> controls;  // template (tab) order
};
