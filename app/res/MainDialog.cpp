#include "MainDialog.h"

#include "SiteActions.h"
#include "SiteCmdDlg.h"
#include "resource.h"

namespace {

constexpr unsigned kEdit = ES_AUTOHSCROLL;
constexpr unsigned kButton = BS_FLAT;
constexpr unsigned kList = CBS_SORT | WS_VSCROLL;

// A member kept in step with a control, and its place in the data exchange.
struct Bound {
  ControlBinding target;
  int order;
};
using Handler = std::function<void()>;

ControlTemplate Label(const char* text, int x, int y, int cx, int cy = 8) {
  return {-1, ControlKind::Static, WS_NONE, text, x, y, cx, cy};
}
ControlTemplate Group(const char* text, int x, int y, int cx, int cy) {
  return {-1, ControlKind::GroupBox, WS_NONE, text, x, y, cx, cy};
}
ControlTemplate Button(int id, const char* text, int x, int y, int cx, int cy, Handler handler, Bound bound = {}) {
  return {id, ControlKind::PushButton, kButton, text, x, y, cx, cy, "", bound.target, bound.order, std::move(handler)};
}
ControlTemplate Check(int id, const char* text, unsigned style, int x, int y, int cx, int cy, Bound bound,
                      Handler handler) {
  return {id, ControlKind::CheckBox, style | BS_FLAT, text, x, y, cx, cy, "", bound.target, bound.order,
          std::move(handler)};
}
ControlTemplate Edit(int id, unsigned style, int x, int y, int cx, int cy, const char* name, Bound bound,
                     Handler handler = {}) {
  return {id, ControlKind::Edit, kEdit | style, "", x, y, cx, cy, name, bound.target, bound.order, std::move(handler)};
}
ControlTemplate List(int id, int x, int y, int cx, int cy, const char* name, Bound bound, Handler handler) {
  return {id, ControlKind::ComboBox, kList, "", x, y, cx, cy, name, bound.target, bound.order, std::move(handler)};
}

DialogTemplate Build(CSiteCmdDlg& d) {
  // Leaving an edit takes every field into the members.
  const Handler leave = [&d] { d.OnEditKillFocus(); };
  DialogTemplate t{IDD_SITECMD_DIALOG, "Korvastel", "MS Sans Serif", 8, 514, 341, {}};
  auto& c = t.controls;
  // Frames first, so every control lies above them.
  c.push_back(Group("Connection", 7, 7, 300, 67));
  c.push_back(Group("standard actions", 7, 80, 153, 107));
  c.push_back(Group("anti idle", 165, 80, 143, 59));
  c.push_back(Group("raw command", 165, 140, 143, 47));
  c.push_back(Group("user actions", 317, 7, 190, 180));

  c.push_back(Label("server:", 12, 15, 100));
  c.push_back(Edit(IDC_HOST, 0, 12, 23, 113, 14, "", {&d.m_host, 14}, leave));
  c.push_back(Label("Port", 133, 15, 30));
  c.push_back(Edit(IDC_PORT, ES_NUMBER, 133, 23, 36, 14, "", {&d.m_port, 12}, leave));
  c.push_back(Check(IDC_PASSIVE, "Passive", BS_LEFTTEXT | STYLE_HIDDEN | STYLE_DISABLED, 191, 23, 38, 15,
                    {&d.m_passive, 6}, [&d] { d.OnPassiveCheck(); }));
  // Between the (hidden) Passive box and the Connect button, touching neither.
  c.push_back(Check(IDC_TLS, "TLS", 0, 230, 23, 27, 15, {&d.m_tls, 15}, [&d] { d.OnTlsCheck(); }));
  c.push_back(Label("login:", 12, 41, 80));
  c.push_back(Edit(IDC_LOGIN, 0, 12, 49, 82, 14, "", {&d.m_login, 10}, leave));
  c.push_back(Label("password:", 107, 41, 56));
  c.push_back(Edit(IDC_PASSWORD, ES_PASSWORD, 107, 49, 57, 14, "", {&d.m_password, 11}, leave));
  c.push_back(Button(IDC_CONNECT, "Connect", 258, 20, 43, 22, [&d] { d.OnConnect(); },
                     {static_cast<CWnd*>(&d.m_connectButton), 1}));

  // The site actions, row by row across the three columns.
  const int rows[3][6] = {{91, 105, 120, 134, 150, 165}, {91, 106, 120, 135, 150, 165}, {91, 106, 120, 135, 150, 165}};
  const int columns[3] = {13, 61, 109};
  for (int row = 0; row < 6; ++row)
    for (int col = 0; col < 3; ++col) {
      const SiteAction& action = kSiteActions[col * 6 + row];
      c.push_back(Button(action.id, action.caption, columns[col], rows[col][row], 44, 12,
                         [&d, id = action.id] { d.OnSiteAction(id); }));
    }

  const int labelRows[9] = {33, 48, 64, 80, 95, 110, 125, 140, 155};
  const int editRows[9] = {33, 48, 63, 78, 93, 108, 123, 138, 153};
  static const char* argumentNames[9] = {"Argument 1", "Argument 2", "Argument 3", "Argument 4", "Argument 5",
                                         "Argument 6", "Argument 7", "Argument 8", "Argument 9"};
  auto argumentRow = [&](int n) {
    c.push_back({IDC_PARAM_LABEL_FIRST + n, ControlKind::Static, WS_NONE, "Argument", 323, labelRows[n] + 1, 80, 15, "",
                 &d.m_paramLabels[static_cast<std::size_t>(n)], 25 + n});
    // The first four arguments take the fields in when left; the last five do not.
    c.push_back(Edit(IDC_PARAM_FIRST + n, STYLE_DISABLED, 403, editRows[n], 93, 14, argumentNames[n],
                     {&d.m_params[static_cast<std::size_t>(n)], 16 + n}, n < 4 ? leave : Handler()));
  };

  c.push_back(List(IDC_COMMAND, 403, 17, 94, 85, "command", {static_cast<CWnd*>(&d.m_commandList), 3},
                   [&d] { d.OnCommandSelChange(); }));
  for (int n = 0; n < 4; ++n) argumentRow(n);
  c.push_back(Button(IDC_EXECUTE_USER, "Execute", 452, 171, 45, 13, [&d] { d.OnExecuteUser(); }));
  c.push_back(Button(IDC_RESET_PARAMS, "Reset", 403, 171, 44, 13, [&d] { d.OnResetParams(); }));
  c.push_back(Check(IDC_RESET_ON_CHANGE, "Reset on change", BS_LEFTTEXT, 321, 170, 70, 15, {&d.m_resetOnChange, 7},
                    [&d] { d.OnResetOnChangeCheck(); }));
  c.push_back(Check(IDC_ANTI_IDLE, "enable anti idle command", 0, 173, 88, 109, 15, {&d.m_antiIdle, 5},
                    [&d] { d.OnAntiIdleCheck(); }));
  c.push_back(Label("Command:", 173, 107, 38));
  c.push_back(Edit(IDC_ANTI_IDLE_COMMAND, 0, 213, 104, 88, 14, "", {&d.m_antiIdleCommand, 8}, leave));
  c.push_back(Label("send every n seconds:", 173, 122, 90));
  c.push_back(Edit(IDC_ANTI_IDLE_INTERVAL, ES_NUMBER, 265, 119, 37, 14, "", {&d.m_antiIdleInterval, 9}, leave));
  c.push_back(Edit(IDC_RAW_COMMAND, 0, 171, 151, 131, 13, "raw command", {&d.m_rawCommand, 13}, leave));
  c.push_back(Check(IDC_AUTO_SITE, "auto add SITE pref.", 0, 171, 170, 77, 15, {&d.m_autoSite, 4},
                    [&d] { d.OnAutoSiteCheck(); }));
  c.push_back(Button(IDC_EXECUTE_RAW, "Execute", 253, 168, 48, 13, [&d] { d.OnExecuteRaw(); }));
  c.push_back(Label("history:", 176, 41, 60));
  c.push_back(List(IDC_HISTORY, 176, 49, 125, 104, "", {static_cast<CWnd*>(&d.m_historyList), 2},
                   [&d] { d.OnHistorySelChange(); }));
  c.push_back(List(IDC_GROUP, 322, 17, 81, 85, "group", {static_cast<CWnd*>(&d.m_groupList), 0},
                   [&d] { d.OnGroupSelChange(); }));
  for (int n = 4; n < 9; ++n) argumentRow(n);

  c.push_back({IDC_OUTPUT, ControlKind::RichEdit, WS_VSCROLL, "", 7, 191, 500, 143, "output",
                 static_cast<CWnd*>(&d.m_transcript), 34});
  c.push_back({1, ControlKind::PushButton, kButton | STYLE_HIDDEN | STYLE_DISABLED, "OK", 263, 227, 40, 33});
  return t;
}

}  // namespace

DialogTemplate MainDialogTemplate(CSiteCmdDlg& dialog) { return Build(dialog); }
