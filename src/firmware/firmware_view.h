// The Firmware Update view's rules for every front end: when its button offers the update, what
// the view repaints as data blocks and the update's phases come, and the update started by the
// button with the window locked while it runs. The front end makes the controls
// (firmware/firmware_controls.h) and passes the button's click on.
#pragma once

#include "app/shell.h"
#include "display/canvas.h"
#include "firmware/firmware_controls.h"

// The front end has made the view's controls (entering), or is about to remove them (leaving).
void EnterFirmwareView();
void LeaveFirmwareView();
// The view's text after the status line, and the button as the verdict and a running update let
// it be.
void PaintFirmwareViewAll(Canvas* canvas);
// The update button clicked (or pressed from the keyboard): the update on a job thread of its
// own, unless one runs.
void OnUpdateButton();
// Where the main window says that it closes once the update has ended: beside the phase line.
ViewRect FirmwareClosingNotePlace();
