// The front end of the native tests: the repaints the portable rules ask for are recorded here;
// every other call of the shell and the menu is taken and let go, and every file box cancelled.
#pragma once

#include "app/shell.h"

#include <vector>

extern std::vector<ViewRect> RequestedRepaints; // a whole-window repaint as {0, 0, 0, 0}

// Forgets every record.
void ClearShellRecord();
