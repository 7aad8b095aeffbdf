#pragma once

class CSiteCmdDlg;

// Makes the main dialog's controls, in tab order, each bound to its member of
// the dialog's form and to its handler, and lays them out: the panels above,
// the pane below taking whatever room the window has beyond its smallest size.
void BuildMainDialog(CSiteCmdDlg& dialog);
