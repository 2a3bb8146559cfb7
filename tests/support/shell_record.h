// The front end of the native tests: what the portable rules ask of the shell and the menu is
// recorded here, and the file boxes answer what a test put in FileBoxAnswers.
#pragma once

#include "app/shell.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

extern std::vector<ViewRect> RequestedRepaints; // a whole-window repaint as {0, 0, 0, 0}
extern int StatusLineRedraws;
extern int FocusReturns;
// "keep " and "release " per call, in order.
extern std::string SystemAwakeCalls;
// Each command's item as last set: true enabled; and the window's close.
extern std::map<int, bool> MenuItemsEnabled;
extern bool CloseEnabled;
// The next paths the file boxes give, the first first; an empty one, or none left, cancels.
extern std::deque<std::string> FileBoxAnswers;
// The boxes asked for, "save TITLE in FOLDER as NAME" or "open TITLE in FOLDER".
extern std::vector<std::string> FileBoxesShown;

// The view switch's calls of the front end ("show 2 ", "hide 2 ", "timer 1 ", "review ",
// "recording item ", "record item 1 ", "update button 1 "), in order.
extern std::string ViewControlCalls;

// Forgets every record and answer.
void ClearShellRecord();
