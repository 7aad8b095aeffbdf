#pragma once

#include "DialogTemplate.h"

// The main dialog's template: every control with its place, in tab order.
const DialogTemplate& MainDialogTemplate();
