// The main menu's commands and their accelerators, for every front end: what each does, and the
// commands that a running job locks refused however they come (a beep). The views' own buttons
// are the views'.
#pragma once

// Runs a command of the menu's table (resources/resource.h's IDM_ identifiers): 0, or -1 for an
// identifier that is no menu command.
int RunMenuCommand(int command);
