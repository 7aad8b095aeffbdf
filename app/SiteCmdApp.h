// The program with its window.
#pragma once

#include <string>

#include "CommandLine.h"

class CSiteCmdDlg;

// Puts a start-up address into the dialog's connection fields before it is
// shown; false, with the reason in `message`, when it can't be shown there.
bool FillConnectionFields(const StartTarget& target, CSiteCmdDlg& dlg, std::string& message);

// Starts the window system and the window, with the address to fill in or
// the reason the one given is not used; returns once the last tab has closed.
int RunProgram(int argc, char** argv, const StartOptions& start);
