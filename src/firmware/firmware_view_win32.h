// The Firmware Update view as the main window reaches it: its controls are children of the main
// window while the view is shown (firmware/firmware_controls.h), and its text is painted by the
// main window's paint sequence through the view's rules (firmware/firmware_view.h).
#pragma once

#include "display/canvas.h"

#include <windows.h>

// Paints the view after the status line, which leaves StatusFont selected.
void PaintFirmwareView(Canvas* canvas);
// A click on an id-less push button of the view; acts only for the update button.
void StartFirmwareWorker(HWND control);
// Alt+U clicks the update button, as its mnemonic would in a dialog: true when it was Alt+U.
bool FirmwareSysChar(WPARAM character);
