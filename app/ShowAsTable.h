// "Show as Table" in a tab's pane menu: the table of the reply under the
// caret, or else of the last reply that holds one, in a Reply Table window.
#pragma once

class CSiteCmdDlg;

// Adds the item to the tab's pane menu; call once the tab's window is built.
void AddShowAsTable(CSiteCmdDlg& tab);

class QPushButton;
class QWidget;
class SessionOwner;
class SiteRunner;

// Run on Sites' "Show as Table": the tables of every done row joined, with
// a first column "Site". Made disabled; UpdateRunTableButton follows the rows.
QPushButton* MakeRunTableButton(QWidget* parent, const SiteRunner& runner, SessionOwner& owner);
void UpdateRunTableButton(QPushButton& button, const SiteRunner& runner, const SessionOwner& owner);
