// The Wide Band Setup view as the main window reaches it: its controls are children of the main
// window, made when the view is entered and destroyed when it is left (wbsetup/setup_layout.h),
// and their input goes to the view's rules (wbsetup/setup_view.h).
#pragma once

#include "display/canvas.h"

#include <windows.h>

// Paints the view after the status line, which leaves StatusFont selected.
void PaintSetupView(Canvas* canvas);
// A click on one of the view's id-less push buttons or radio buttons.
void OnSetupCommand(HWND control);
// A horizontal scroll of the narrowband offset bar, with its SB_ request code.
void OnOffsetScroll(int request);
// An edit control of the view lost the focus: check, round and show its value.
void ValidateSetupField(HWND control);
