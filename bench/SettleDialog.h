// The window hands an exchange to its session's worker and shows the lines as
// they come back through the event loop: a benchmark waits for them here.
#pragma once

#include <QApplication>

#include "SiteCmdDlg.h"

inline void SettleDialog(CSiteCmdDlg& dlg) {
  QApplication::processEvents();
  while (dlg.IsWorking()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QApplication::processEvents();
}
