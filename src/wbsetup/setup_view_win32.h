// The Wide Band Setup view as the main window reaches it: its controls are children of the main
// window, created when the view is entered and destroyed when it is left, and its plots are
// painted by the main window's paint sequence.
#pragma once

#include "display/canvas.h"

#include <windows.h>

#include <string>

void CreateSetupControls();
void DestroySetupControls();
// Paints the view after the status line, which leaves StatusFont selected.
void PaintSetupView(Canvas* canvas);
// A click on one of the view's id-less push buttons or radio buttons.
void OnSetupCommand(HWND control);
// A horizontal scroll of the narrowband offset bar, with its SB_ request code.
void OnOffsetScroll(int request);
// An edit control of the view lost the focus: check, round and show its value.
void ValidateSetupField(HWND control);

// Open Setup... and Save Setup As... over the shown view: the system's box, then the file.
enum SetupFileCommand : int { SETUP_FILE_OPEN = 0, SETUP_FILE_SAVE = 1 };
void OnSetupFileCommand(SetupFileCommand command);
// The same for a file already chosen. Open shows the file's setup as the user's choice for every
// item; Save writes what the view shows, after the check of the field being typed in. 0, or -1
// after a box owned by the main window that names the file and says why, the view and an
// earlier file left as they were.
int OpenSetupFile(const std::string& path);
int SaveSetupFile(const std::string& path);
