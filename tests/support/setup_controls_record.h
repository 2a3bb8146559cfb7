// The Wide Band Setup view's controls in the native tests: what the rules set is kept per control,
// and the wakes and the timer they ask for wait until the test delivers them.
#pragma once

#include "wbsetup/setup_controls.h"

#include <array>
#include <string>

struct RecordedControl {
    bool shown = false;
    std::string text; // a field's or a note's
    int choice = -1;  // a Response box's row shown
    bool checked = false;
};
extern std::array<RecordedControl, SETUP_CONTROL_COUNT> RecordedControls;

// Forgets every control (none shown) and what waits; the view's own controls are then made as
// a front end makes them on entering the view.
void ClearSetupControls();
void MakeAlwaysControls();
// Hands the waiting wakes, then a due look at the unit's values, to the view's rules: what the
// main thread's loop does once it is idle.
void DeliverSetupWakes();
