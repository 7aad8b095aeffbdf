#pragma once

#include "DialogTemplate.h"

class CSiteCmdDlg;

// The main dialog's template: every control with its place, in tab order,
// the member of `dialog` it is bound to and the handler its notification runs.
DialogTemplate MainDialogTemplate(CSiteCmdDlg& dialog);
