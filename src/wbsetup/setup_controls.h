// The Wide Band Setup view's controls as its rules (wbsetup/setup_view.h) use them. Each front
// end makes them from SetupLayout and implements these over them; the native tests record them.
// All run on the main thread, but for the three that say otherwise.
#pragma once

#include "firmware/programming.h"
#include "wbsetup/setup_layout.h"

#include <string>
#include <string_view>

// Makes (shown) or removes a control of the layout; one that is there already, or gone already,
// is left as it is. A new field is empty, a new offset bar at its centre.
void ShowSetupControl(SetupControl control, bool shown);
bool SetupControlShown(SetupControl control);

// A field's or the note's text; a field holds at most FIELD_TEXT_LIMIT characters of it, but a
// text set here stays whole.
void SetSetupText(SetupControl control, std::string_view text);
std::string SetupText(SetupControl control);

// A Response box lists the seven rates (ResponseChoices) and, while extra is not empty, an eighth
// item with that text; row is the one shown (NO_SELECTION for none).
void SetSetupChoice(SetupControl box, int row, std::string_view extra);
int SetupChoice(SetupControl box);

void SetSetupChecked(SetupControl button, bool checked);
bool SetupChecked(SetupControl button);

// The offset bar's position; the bar keeps it within NB_OFFSET_USER_LOWEST to
// NB_OFFSET_USER_HIGHEST.
void SetSetupBarPosition(int position);
int SetupBarPosition();

void FocusSetupControl(SetupControl control);
// The control that has the keyboard's focus, SETUP_NO_CONTROL for none of the view's.
SetupControl FocusedSetupControl();

// On the setup write's own thread: every input control (fields, boxes, buttons, the bar) enabled
// or not; the write's progress bar moved on (PROGRESS_RESET empties it) with, when phase is not
// empty, SETUP_PHASE's text naming the phase the bar now counts.
void EnableSetupInputs(bool enabled);
void StepSetupProgress(ProgressMessage message, std::string_view phase);

// From any thread: OnSetupViewWake(wake) is called on the main thread, once it has handled what
// was already waiting (the user's keys among it).
enum SetupWake : int {
    SETUP_WAKE_DATA = 0,        // a data block was read
    SETUP_WAKE_WRITE_ENDED = 1, // the write has ended
};
void WakeSetupView(SetupWake wake);
// OnUnitSetupTakeDue is called on the main thread after delayMs, once; a later call replaces an
// earlier one, CancelUnitSetupTake drops it.
void TakeUnitSetupLater(int delayMs);
void CancelUnitSetupTake();
// The view's controls, made as the view is entered and removed as it is left (app/views.h).
void CreateSetupControls();
void DestroySetupControls();
